// The README's commands that prepare a refused file, each run on the real file it is for: the file
// it writes must convert. The commands are checked against the README and the manual page, so the
// three cannot drift apart.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

const fs::path kRealData = VELDRIX_REALDATA;
const fs::path kSource = VELDRIX_SOURCE;

// Each reads grid.asc and writes fixed.asc.
constexpr std::string_view kKeywords =
    R"(sed -E '1,7s/^[A-Za-z_]+[ \t]/\L&/; 1,7s/^nodata_/NODATA_/' grid.asc > fixed.asc)";
constexpr std::string_view kCentre =
    R"(awk 'NR == FNR { if (tolower($1) == "cellsize") half = $2 / 2; next } )"
    R"(tolower($1) == "xllcenter" { $0 = sprintf("xllcorner %.15g", $2 - half) } )"
    R"(tolower($1) == "yllcenter" { $0 = sprintf("yllcorner %.15g", $2 - half) } 1' )"
    R"(grid.asc grid.asc > fixed.asc)";
// Writes fixed.asc itself, once the first pass found square cells: a refusal leaves no file.
constexpr std::string_view kSquare =
    R"(awk 'NR == FNR { if (tolower($1) == "dx") dx = $2; if (tolower($1) == "dy" && )"
    R"($2 + 0 != dx + 0) { print "dx and dy differ: the cells are not square" > "/dev/stderr"; )"
    R"(exit 1 } next } tolower($1) == "dx" { next } tolower($1) == "dy" { $0 = "cellsize " dx } )"
    R"({ print > "fixed.asc" }' grid.asc grid.asc)";
constexpr std::string_view kNoData =
    R"(sed '/^cellsize[ \t]/a NODATA_value -9999' grid.asc > fixed.asc)";
constexpr std::string_view kNan =
    R"(awk '{ sub(/\r$/, ""); for (i = 1; i <= NF; i++) if (tolower($i) ~ /^[-+]?nan$/) )"
    R"($i = -9999; print }' grid.asc > fixed.asc)";
constexpr std::string_view kGdal =
    "gdal_translate -of AAIGrid -co FORCE_CELLSIZE=YES grid.asc fixed.asc";
constexpr std::string_view kGdalNoData =
    "gdal_translate -of AAIGrid -a_nodata -9999 grid.asc fixed.asc";

constexpr std::string_view kAllRecipes[] = {kKeywords, kCentre, kSquare,    kNoData,
                                            kNan,      kGdal,   kGdalNoData};

struct Case {
  const char* name;
  const char* file = nullptr;             // in the real-data folder; none when `text` is the grid
  std::vector<std::string_view> recipes;  // applied in turn, each to the last one's output
  std::size_t line_count = 0;             // of the converted grid; 0 when the last recipe refuses
  std::string x_range = "";               // record 3 of the converted grid, when checked
  std::string refusal = "";               // what a refusing recipe prints
  const char* variant = "";  // a command that makes this case's own variant of the file
  std::string text = "";
  int blanks = -1;          // no-data records of the converted grid, when checked
  std::string warned = "";  // standard error of the conversion
};

// clang-format off
const Case kCases[] = {
  {.name = "UpperCaseKeywords", .file = "upper_trailing_blanks_dem.asc", .recipes = {kKeywords},
   .line_count = 5 + 117 * 117},
  {.name = "LowerCaseNodataKeyword", .file = "gdal_pixel_per_line.asc", .recipes = {kKeywords},
   .line_count = 5 + 15 * 12},
  // The first cell centre stays where the file put it: 0.
  {.name = "UpperCaseCentreKeywords", .file = "upper_center_rainfall.asc",
   .recipes = {kKeywords, kCentre}, .line_count = 5 + 76 * 55,
   .x_range = "  0.000000000000000E+000   750.000000000000     "},
  {.name = "LowerCaseCentreKeywords", .file = "lower_center_3x3.asc",
   .recipes = {kKeywords, kCentre}, .line_count = 5 + 3 * 3,
   .x_range = "  0.000000000000000E+000   2.00000000000000     "},
  {.name = "NonSquareCellsAreNotConverted", .file = "dxdy_manning3.asc", .recipes = {kSquare},
   .refusal = "dx and dy differ: the cells are not square\n"},
  {.name = "SquareCellsGiveCellsize", .file = "dxdy_manning3.asc", .recipes = {kSquare},
   .line_count = 5 + 5 * 5, .x_range = "   341297.555800000        344241.555800000     ",
   .variant = "sed -i 's/^dy .*/dy           736.000000000000/' grid.asc",
   // Its cells of 0.04 beside NODATA_value 0 are blanked, and said to be.
   .warned = "Warning: 25 cells were written as no-data for lying within 0.1 of NODATA_value 0 "
   "without being equal to it; the first is in row 1 from the top, column 1, value 0.04\r\n"},
  {.name = "NoNodataValueLine", .file = "no_nodata_4x3.asc", .recipes = {kNoData},
   .line_count = 5 + 3 * 4, .blanks = 0},
  {.name = "NanAsNodataValue", .recipes = {kNan}, .line_count = 5 + 3 * 2,
   .text = "ncols 3\r\nnrows 2\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\n"
           "NODATA_value NaN\r\n1 nan 2\r\n-nan 3 NAN\r\n",
   .blanks = 3},
  {.name = "GdalUpperCaseCentreKeywords", .file = "upper_center_rainfall.asc", .recipes = {kGdal},
   .line_count = 5 + 76 * 55, .x_range = "  0.000000000000000E+000   750.000000000000     "},
  {.name = "GdalNonSquareCells", .file = "dxdy_manning3.asc", .recipes = {kGdal},
   .line_count = 5 + 5 * 5,
   .warned = "Warning: 25 cells were written as no-data for lying within 0.1 of NODATA_value 0 "
   "without being equal to it; the first is in row 1 from the top, column 1, value 0.04\r\n"},
  {.name = "GdalNoNodataValueLine", .file = "no_nodata_4x3.asc", .recipes = {kGdalNoData},
   .line_count = 5 + 3 * 4, .blanks = 0},
};
// clang-format on

// Runs `command` with /bin/sh in `folder`, its standard error into recipe.err; the exit status.
int SHELL(const Folder& folder, std::string_view command) {
  std::string line = "cd '" + folder.path.string() + "' && { " + std::string(command) +
                     "; } 2>recipe.err </dev/null";
  int status = std::system(line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> RECORDS(const std::string& grd) {
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; (end = grd.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(grd.substr(at, end - at));
  }
  return lines;
}

// Puts the case's grid into the folder as grid.asc and applies its recipes; the last one's exit
// status.
int PREPARE(const Folder& f, const Case& c) {
  if (c.file != nullptr) fs::copy_file(kRealData / c.file, f / "grid.asc");
  if (c.file == nullptr) WRITE_FILE(f / "grid.asc", c.text);
  fs::permissions(f / "grid.asc", fs::perms::owner_write, fs::perm_options::add);
  if (*c.variant != '\0' && SHELL(f, c.variant) != 0) return -1;
  int status = 0;
  for (std::size_t k = 0; k < c.recipes.size() && status == 0; ++k) {
    if (k > 0) fs::rename(f / "fixed.asc", f / "grid.asc");
    status = SHELL(f, c.recipes[k]);
  }
  return status;
}

// A failing case is shown by its name, not by its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Recipe : public testing::TestWithParam<Case> {};

TEST_P(Recipe, PreparedFileConverts) {
  const Case& c = GetParam();
  Folder f;
  for (std::string_view recipe : c.recipes) {
    std::string tool(recipe.substr(0, recipe.find(' ')));
    if (SHELL(f, "command -v " + tool + " >/dev/null") != 0) GTEST_SKIP() << "no " << tool;
  }
  int status = PREPARE(f, c);
  if (c.line_count == 0) {
    EXPECT_GT(status, 0);
    EXPECT_EQ(READ_FILE(f / "recipe.err"), c.refusal);
    EXPECT_FALSE(fs::exists(f / "fixed.asc")) << "a refusal leaves nothing half written";
    return;
  }
  ASSERT_EQ(status, 0) << READ_FILE(f / "recipe.err");
  Outcome run = RUN(f, "fixed.asc\nout.grd\n1\n");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, c.warned);
  const std::string grd = READ_FILE(f / "out.grd");
  if (!ON_WINDOWS())  // FIFOs are Linux's
    EXPECT_SAME_RUN(RUN_TO_FIFO(f, "fixed.asc\nout.grd\n1\n", "out.grd"), run, grd);
  std::vector<std::string> records = RECORDS(grd);
  ASSERT_EQ(records.size(), c.line_count);
  EXPECT_EQ(records[0], "DSAA");
  if (!c.x_range.empty()) {
    EXPECT_EQ(SHOWN(records[2]), SHOWN(c.x_range));
  }
  if (c.blanks >= 0) {
    EXPECT_EQ(std::count(records.begin(), records.end(), "  1.70141e+038"), c.blanks);
  }
}

INSTANTIATE_TEST_SUITE_P(Readme, Recipe, testing::ValuesIn(kCases), CASE_NAME<Case>);

// The manual page writes a backslash as \e, a minus as \- and an apostrophe as \(aq.
std::string FROM_ROFF(const std::string& text) {
  std::string plain;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text.compare(k, 2, "\\e") == 0)
      plain += '\\', ++k;
    else if (text.compare(k, 2, "\\-") == 0)
      plain += '-', ++k;
    else if (text.compare(k, 4, "\\(aq") == 0)
      plain += '\'', k += 3;
    else
      plain += text[k];
  }
  return plain;
}

TEST(Recipe, ReadmeAndManualPageShowEachCommandAsTested) {
  std::string readme = READ_FILE(kSource / "README.md");
  std::string manual = FROM_ROFF(READ_FILE(kSource / "veldrix.1"));
  for (std::string_view recipe : kAllRecipes) {
    EXPECT_NE(readme.find(recipe), std::string::npos) << "README.md lacks " << recipe;
    EXPECT_NE(manual.find(recipe), std::string::npos) << "veldrix.1 lacks " << recipe;
  }
}

// The README's run over every grid of a folder on every core.
constexpr std::string_view kEveryCore =
    R"x(printf '%s\0' *.asc | xargs -0 -P "$(nproc)" -I{} sh -c 'printf "%s\n%s\n1\n" "$1" )x"
    R"x("${1%.asc}.grd" | veldrix > "${1%.asc}.log" 2>&1 || { echo "$1: status $?"; exit 1; }' sh {})x";

TEST(Recipe, EveryCoreRunEndsInFailureWhenAGridFails) {
  EXPECT_NE(READ_FILE(kSource / "README.md").find(kEveryCore), std::string::npos);
  EXPECT_NE(FROM_ROFF(READ_FILE(kSource / "veldrix.1")).find(kEveryCore), std::string::npos);
  Folder f;
  WRITE_FILE(f / "good.asc", ONES_GRID(2));
  WRITE_FILE(f / "bad.asc", "ncols 2\n");
  // `veldrix` on the path starts the program under test, through its runner if it has one.
  Folder bin;
  std::string start = "#!/bin/sh\nexec";
  for (const std::string& word : PROGRAM_WORDS()) start += " '" + word + "'";
  WRITE_FILE(bin / "veldrix", start + " \"$@\"\n");
  fs::permissions(bin / "veldrix", fs::perms::owner_exec, fs::perm_options::add);
  int status = SHELL(
      f, "PATH='" + bin.path.string() + "':\"$PATH\"; " + std::string(kEveryCore) + " > out.txt");
  EXPECT_EQ(status, 123) << READ_FILE(f / "recipe.err");
  EXPECT_EQ(READ_FILE(f / "out.txt"), "bad.asc: status 1\n");
  EXPECT_TRUE(fs::exists(f / "good.grd"));
}

}  // namespace
}  // namespace veldrix_test
