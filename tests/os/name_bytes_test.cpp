#include "os/name_bytes.hpp"

#include <gtest/gtest.h>

namespace veldrix {
namespace {

struct AnswerBytes {
  const char* name;
  std::string_view bytes;
  bool utf8;
};

const AnswerBytes kAnswerBytes[] = {
    {"Empty", "", true},
    {"Ascii", "C:\\Daten\\dgm.asc", true},
    {"TwoByteUmlaut", "h\xC3\xB6he.asc", true},
    {"ThreeByteEuro", "\xE2\x82\xAC.asc", true},
    {"FourByteLast", "\xF4\x8F\xBF\xBF", true},
    {"ThreeByteLowestAfterOverlongs", "\xE0\xA0\x80", true},
    {"LastBeforeSurrogates", "\xED\x9F\xBF", true},
    {"Latin1Umlaut", "h\xF6he.asc", false},
    {"Cp850Umlaut", "h\x94he.asc", false},
    {"LoneTrailingByte", "\x80", false},
    {"OverlongSlash", "\xC0\xAF", false},
    {"OverlongTwoByteLead", "\xC1\xBF", false},
    {"OverlongThreeByte", "\xE0\x9F\xBF", false},
    {"OverlongFourByte", "\xF0\x8F\xBF\xBF", false},
    {"Surrogate", "\xED\xA0\x80", false},
    {"AboveLastCodePoint", "\xF4\x90\x80\x80", false},
    {"LeadNeverUsed", "\xF5\x80\x80\x80", false},
    {"CutShortAtEnd", "dgm\xC3", false},
    {"FourByteCutShort", "\xF0\x9F\x98", false},
    {"SecondTrailingNotTrailing", "\xE2\x82.asc", false},
    {"ThirdTrailingNotTrailing", "\xF0\x9F\x98!", false},
};

class AnswerDecoding : public testing::TestWithParam<AnswerBytes> {};

TEST_P(AnswerDecoding, TakesUtf8WhereValidElseTheAnsiCodePage) {
  const AnswerBytes& c = GetParam();
  EXPECT_EQ(VALID_UTF8(c.bytes), c.utf8);
  EXPECT_EQ(ANSWER_CODE_PAGE(0, c.bytes), c.utf8 ? kUtf8CodePage : kAnsiCodePage);
  // Typed at a console, the console's code page decides whatever the bytes are.
  EXPECT_EQ(ANSWER_CODE_PAGE(850, c.bytes), 850u);
}

INSTANTIATE_TEST_SUITE_P(Answers, AnswerDecoding, testing::ValuesIn(kAnswerBytes),
                         [](const testing::TestParamInfo<AnswerBytes>& info) {
                           return info.param.name;
                         });

struct FolderOfName {
  const char* name;
  std::string_view path;
  std::string_view folder;
};

const FolderOfName kFoldersOfNames[] = {
    {"Bare", "dgm.asc", ""},
    {"Empty", "", ""},
    {"Backslash", "Daten\\dgm.asc", "Daten"},
    {"Slash", "Daten/dgm.asc", "Daten"},
    {"Mixed", "a\\b/dgm.asc", "a\\b"},
    {"SeparatorRun", "a\\\\dgm.asc", "a"},
    {"DriveRelative", "C:dgm.asc", "C:"},
    {"DriveRoot", "C:\\dgm.asc", "C:\\"},
    {"DriveFolder", "C:\\Daten\\H\xC3\xB6hen\\dgm.asc", "C:\\Daten\\H\xC3\xB6hen"},
    {"Root", "\\dgm.asc", "\\"},
    {"Share", "\\\\host\\share\\dgm.asc", "\\\\host\\share"},
    {"DriveRootRun", "C:\\\\dgm.asc", "C:\\"},
};

class WindowsFolder : public testing::TestWithParam<FolderOfName> {};

TEST_P(WindowsFolder, IsTheNameUpToItsLastSeparator) {
  const FolderOfName& c = GetParam();
  EXPECT_EQ(c.path.substr(0, WINDOWS_FOLDER_PART(c.path)), c.folder);
}

INSTANTIATE_TEST_SUITE_P(Names, WindowsFolder, testing::ValuesIn(kFoldersOfNames),
                         [](const testing::TestParamInfo<FolderOfName>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace veldrix
