#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "os/os.hpp"

namespace veldrix {
namespace {

std::string FULL(const std::string& typed) {
  std::array<char, kNameMax + 1> out;
  out.fill('#');
  std::size_t n = OS_FULL_NAME(typed, out);
  EXPECT_EQ(out[n], '\0');
  return std::string(out.data(), n);
}

// A folder with a folder, a file and a link to the folder in it.
class FullName : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(d + "/sub");
    std::ofstream(d + "/file") << "x";
    std::filesystem::create_directory_symlink(d + "/sub", d + "/link");
  }
  void TearDown() override { std::filesystem::remove_all(d); }
  std::string d = (std::filesystem::temp_directory_path() /
                   ("vdx_names_" + std::to_string(std::random_device{}())))
                      .string();
};

struct NameCase {
  const char* name;
  const char* typed;  // after the folder
  const char* want;   // after the folder
};

// A ".." goes with the name before it only where that name is a folder: after a link, a file or
// a missing name the system resolves it as it opens the name, so it is kept.
const NameCase kNameCases[] = {
    {"PlainDotsGo", "/./sub/../x", "/x"},
    {"DotDotAfterAFolderAtTheEnd", "/sub/..", "/"},
    {"DotAtTheEnd", "/sub/.", "/sub/"},
    {"DoubleSlash", "//sub//x", "/sub/x"},
    {"DotDotAfterALinkIsKept", "/link/../x", "/link/../x"},
    {"DotDotAfterAFileIsKept", "/file/../x", "/file/../x"},
    {"DotDotAfterAMissingNameIsKept", "/missing/../x", "/missing/../x"},
};

TEST_F(FullName, Cases) {
  for (const NameCase& c : kNameCases) {
    EXPECT_EQ(FULL(d + c.typed), d + c.want) << c.name;
  }
}

TEST_F(FullName, RootAndEmpty) {
  EXPECT_EQ(FULL("/../x"), "/x");
  EXPECT_EQ(FULL(""), "");
  EXPECT_EQ(FULL(std::string("a\0b", 3)), std::string("a\0b", 3));  // no file's name: as typed
}

// A relative name is taken from the current folder; a full name of 256 bytes or more falls back
// to the name as typed, cut to 255.
TEST_F(FullName, RelativeAndTheLengthLimit) {
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(FULL("x.asc"), cwd + "/x.asc");
  if (cwd.size() > 200) GTEST_SKIP() << "the current folder's name is too long for the limits";
  std::string fits(kNameMax - cwd.size() - 1, 'a');
  EXPECT_EQ(FULL(fits), cwd + "/" + fits);
  std::string one_more = fits + "a";
  EXPECT_EQ(FULL(one_more), one_more);
  std::string too_long(300, 'b');
  EXPECT_EQ(FULL(too_long), too_long.substr(0, kNameMax));
}

// The folder part, as the spill beside the output finds its folder.
TEST(FolderPart, Table) {
  struct Row {
    std::string_view name;
    std::size_t folder;
  };
  constexpr Row kRows[] = {{"/a/b", 2}, {"/b", 1}, {"b", 0}, {"", 0}, {"/a/b/", 4}, {"/a//b", 2}};
  for (const Row& row : kRows) EXPECT_EQ(OS_FOLDER_PART(row.name), row.folder) << row.name;
}

}  // namespace
}  // namespace veldrix
