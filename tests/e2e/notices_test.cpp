// What the program says beyond the dialogue without changing the run: a warning for an answer that
// does not mean what it looks like or for values its rules drop or blank, a hint after a keyword
// it does not find, and the two arguments it answers without asking anything.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

struct Notice {
  const char* name;
  std::string answers;
  std::string err;  // all of standard error
  // The answers of the run that must end alike (the same standard output, status and files) and
  // print nothing on standard error; none for the arguments answered without a dialogue.
  std::string plain = "";
  std::vector<std::string> arguments = {};
  std::vector<std::string> out_has = {};  // when answered without a dialogue
  std::string input_file = "in.asc";
  std::string grid = ONES_GRID(3);  // the input of the run, and of the plain one
  std::string plain_grid = ONES_GRID(3);
};

const std::string k60(60, 'n'), k59(59, 'n'), k58(58, 'n');

// The warning for a name whose 60th byte is part of a UTF-8 character that goes on after it.
std::string SPLIT_WARNING(const std::string& name) {
  return "Warning: output file name cut at 60 bytes inside a character; the name used ends in "
         "part of it: \"" +
         name + "\"\r\n";
}

std::string WARNED(const std::string& answer, const std::string& value, const std::string& why) {
  return "Warning: factor answer \"" + answer + "\" read as " + value + ": " + why + "\r\n";
}

const std::string kAnswers = "in.asc\nout.grd\n1\n";

// A 3-column grid of `rows` rows with the header lines given, and then the cell lines.
std::string GRID3(const std::string& header, int rows, const std::string& lines) {
  return "ncols 3\nnrows " + std::to_string(rows) + "\n" + header + lines;
}
const std::string kCorner = "xllcorner 0\nyllcorner 0\n";
const std::string kHeader = kCorner + "cellsize 1\nNODATA_value -9999\n";

// clang-format off
const Notice kNotices[] = {
  {"CommaInFactor", "in.asc\nout.grd\n1,5\n",
   WARNED("1,5", "1", "a comma ends a value; write decimals with a point"), "in.asc\nout.grd\n1\n"},
  {"TextAfterFactor", "in.asc\nout.grd\n0.3048 m\r\n",
   WARNED("0.3048 m", "0.3048", "the rest of the line after the number is ignored"),
   "in.asc\nout.grd\n0.3048\n"},
  {"FactorFeetIsFalse", "in.asc\nout.grd\nfeet\n",
   WARNED("feet", "0", "an answer starting with F or .F is the truth value false"),
   "in.asc\nout.grd\n0\n"},
  {"FactorTrueAfterBlankLine", "in.asc\nout.grd\n\n .TRUE.\n",
   WARNED(" .TRUE.", "-1", "an answer starting with T or .T is the truth value true"),
   "in.asc\nout.grd\n-1\n"},
  {"CommaAloneKeepsMinusOne", "in.asc\nout.grd\n,\n",
   WARNED(",", "-1", "a comma or slash first gives no value, the factor keeps -1"),
   "in.asc\nout.grd\n-1\n"},
  {"RepeatCount", "in.asc\nout.grd\n2*7\n",
   WARNED("2*7", "7", "n*v is a repeat count n and the value v (n* alone: none)"),
   "in.asc\nout.grd\n7\n"},
  {"QExponent", "in.asc\nout.grd\n1.5Q2\n", WARNED("1.5Q2", "150", "not a plain number"),
   "in.asc\nout.grd\n150\n"},
  {"LongAnswerShownInPart", "in.asc\nout.grd\n2 " + std::string(60, 'x') + "\n",
   "Warning: factor answer \"2 " + std::string(38, 'x') + "...\" read as 2: the rest of the line "
   "after the number is ignored\r\n", "in.asc\nout.grd\n2\n"},
  // Cells within 0.1 of NODATA_value: those not equal to it are told, counted from the top row.
  {"CellsNearNodata", kAnswers,
   "Warning: 3 cells were written as no-data for lying within 0.1 of NODATA_value 0 without being "
   "equal to it; the first is in row 2 from the top, column 3, value -0.05\r\n", kAnswers, {}, {}, "in.asc",
   GRID3(kCorner + "cellsize 1\nNODATA_value 0\n", 3, "0 0.1 2\n3 0 -0.05\n0.04 -0.09 6\n"),
   GRID3(kCorner + "cellsize 1\nNODATA_value 0\n", 3, "0 0.1 2\n3 0 0\n0 0 6\n")},
  {"OneCellNearNodata", kAnswers,
   "Warning: 1 cell was written as no-data for lying within 0.1 of NODATA_value -9999 without "
   "being equal to it; the first is in row 1 from the top, column 2, value -9999.05\r\n", kAnswers, {}, {},
   "in.asc", GRID3(kHeader, 1, "1 -9999.05 -9999\n"), GRID3(kHeader, 1, "1 -9999 -9999\n")},
  // Lines that go on beyond their row: the count, the first one's line number and its extra values.
  {"ValuesBeyondTheirRow", kAnswers,
   "Warning: 2 lines held values beyond the end of their row, which were skipped, as a row starts "
   "on a new line; the first is line 8, with 5 more. The file's rows are likely wrapped at a fixed "
   "count of values a line\r\n", kAnswers, {}, {}, "in.asc",
   GRID3(kHeader, 3, "1 2\n3 4 5 6,7\t8\n9 10 11\n12 13 14 15 / 16 17\r\n"),
   GRID3(kHeader, 3, "1 2\n3\n9 10 11\n12 13 14\n")},
  // A row over two lines, blanks after a row and a slash's comment drop no value.
  {"RowsOverLinesSlashAndBlanks", kAnswers, "", kAnswers, {}, {}, "in.asc",
   GRID3(kHeader, 3, "1\n2 3\t \r\n4 5 / 6 7\n8 9 10 \n"),
   GRID3(kHeader, 3, "1 2 3\n4 5 0\n8 9 10\n")},
  // A keyword in another case or another keyword in its place: the same fatal line, then a hint.
  {"KeywordInCapitals", kAnswers, HINTED("ncols", "NCOLS"), kAnswers, {}, {}, "in.asc",
   "NCOLS 3\nnrows 1\n" + kHeader + "1 2 3\n", "nrows 1\n" + kHeader + "1 2 3\n"},
  {"NodataInLowerCase", kAnswers, HINTED("NODATA_value", "nodata_value"), kAnswers, {}, {},
   "in.asc", GRID3(kCorner + "cellsize 1\nnodata_value -9999\n", 1, "1 2 3\n"),
   GRID3(kCorner + "cellsize 1\n", 1, "1 2 3\n")},
  {"CenterForCorner", kAnswers, HINTED("xllcorner", "XLLCENTER"), kAnswers, {}, {},
   "in.asc", GRID3("XLLCENTER 0.5\nyllcenter 0.5\ncellsize 1\nNODATA_value -9999\n", 1, "1\n"),
   GRID3("cellsize 1\nNODATA_value -9999\n", 1, "1\n")},
  {"DxForCellsize", kAnswers, HINTED("cellsize", "dx"), kAnswers, {}, {}, "in.asc",
   GRID3(kCorner + "dx 1\ndy 1\nNODATA_value -9999\n", 1, "1\n"),
   GRID3(kCorner + "NODATA_value -9999\n", 1, "1\n")},
  {"PlainAnswersSayNothing", "in.asc\nout.grd\n \t+1.5D2 \t\r\r\n", "", "in.asc\nout.grd\n150\n"},
  {"OutputNameCut", "in.asc\n" + k60 + "ignored.grd\n1\n",
   "Warning: output file name cut at 60 bytes; the name used is \"" + k60 + "\"\r\n",
   "in.asc\n" + k60 + "\n1\n"},
  {"InputNameCut", " " + k60 + "\nout.grd\n1\n",
   "Warning: input file name cut at 60 bytes; the name used is \"" + k60.substr(1) + "\"\r\n",
   k60.substr(1) + "\nout.grd\n1\n", {}, {}, k60.substr(1)},
  {"OutputNameCutInsideATwoByteCharacter", "in.asc\n" + k59 + "\xC3\xA9.grd\n1\n",
   SPLIT_WARNING(k59 + "\xC3"), "in.asc\n" + k59 + "\xC3\n1\n"},
  {"OutputNameCutInsideAThreeByteCharacter", "in.asc\n" + k58 + "\xE2\x82\xAC\n1\n",
   SPLIT_WARNING(k58 + "\xE2\x82"), "in.asc\n" + k58 + "\xE2\x82\n1\n"},
  {"OutputNameCutAfterAWholeCharacter", "in.asc\n" + k58 + "\xC3\xA9\xC3\xA9\n1\n",
   "Warning: output file name cut at 60 bytes; the name used is \"" + k58 + "\xC3\xA9\"\r\n",
   "in.asc\n" + k58 + "\xC3\xA9\n1\n"},
  {"NameOf60WithBlanksAfterIt", "in.asc\n" + k60 + " \t \n1\n", "", "in.asc\n" + k60 + "\n1\n"},
  {"OtherArgumentsAreIgnored", "in.asc\nout.grd\n1\n", "", "in.asc\nout.grd\n1\n",
   {"--help", "in.asc"}},
  {"Help", "", "", "", {"--help"},
   {"Usage: veldrix\n", "| veldrix\n", "are ignored", "man veldrix\n"}},
  {"Version", "", "", "", {"--version"}, {"veldrix " VELDRIX_VERSION "\n"}},
};
// clang-format on

void PrintTo(const Notice& c, std::ostream* os) { *os << c.name; }

// Every file a run left in its folder, by name.
std::map<std::string, std::string> FILES(const Folder& f) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(f.path)) {
    files[e.path().filename().string()] = READ_FILE(e.path());
  }
  return files;
}

class Notices : public testing::TestWithParam<Notice> {};

TEST_P(Notices, SaidOnStandardErrorOrAnsweredAlone) {
  const Notice& c = GetParam();
  Folder f, g;
  WRITE_FILE(f / c.input_file, c.grid);
  WRITE_FILE(g / c.input_file, c.plain_grid);
  Outcome run = RUN(f, c.answers, {}, c.arguments);
  EXPECT_EQ(SHOWN(run.err), SHOWN(c.err));
  if (c.plain.empty()) {
    EXPECT_EQ(run.status, 0);
    for (const std::string& part : c.out_has) EXPECT_NE(run.out.find(part), std::string::npos);
    EXPECT_EQ(run.out.find("Enter"), std::string::npos) << "no question is asked";
    EXPECT_EQ(FILES(f).size(), 1u);
    return;
  }
  Outcome plain = RUN(g, c.plain);
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(run.status, plain.status);
  EXPECT_EQ(SHOWN(run.out), SHOWN(plain.out));
  std::map<std::string, std::string> written = FILES(f), plain_written = FILES(g);
  EXPECT_EQ(written.erase(c.input_file) + plain_written.erase(c.input_file), 2u);
  EXPECT_EQ(written, plain_written);
  EXPECT_EQ(written.size(), plain.status == 0 ? 1u : 0u) << "the output file is written";
}

INSTANTIATE_TEST_SUITE_P(Answers, Notices, testing::ValuesIn(kNotices), CASE_NAME<Notice>);

}  // namespace
}  // namespace veldrix_test
