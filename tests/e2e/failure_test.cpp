#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                          "--clear-groups"};
const std::string kDeep(250, 'd');

// Checks that the error stream ends with the call-stack listing (the 79-column header, then 1 to
// 20 frame lines, the first in this program's image) and returns what comes before it.
std::string REPORT_OF(const std::string& err) {
  char header[96];
  std::snprintf(header, sizeof header, "%-19.19s%-10.10s%-19.19s%-12.12s%-19.19s\r\n", "Image",
                "PC", "Routine", "Line", "Source");
  std::size_t at = err.find(header);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no listing";
    return err;
  }
  std::string frames = err.substr(at + 81);
  static const std::regex kFrames(
      "([^\r\n]{17}  [0-9A-F]{8}  Unknown {15}Unknown  Unknown\r\n){1,20}");
  EXPECT_TRUE(std::regex_match(frames, kFrames)) << SHOWN(frames);
  std::string image = fs::path(PROGRAM_WORDS().back()).filename().string();  // veldrix.exe too
  EXPECT_EQ(frames.substr(0, 17), (image + std::string(17, ' ')).substr(0, 17));
  return err.substr(0, at);
}

const std::map<int, std::string> kText = {{9, "permission to access file denied"},
                                          {24, "end-of-file during read"},
                                          {29, "file not found"},
                                          {38, "error during write"},
                                          {42, "no such device"},
                                          {43, "file name specification error"},
                                          {47, "write to READONLY file"},
                                          {59, "list-directed I/O syntax error"},
                                          {64, "input conversion error"}};

struct Refusal {
  const char* case_name;  // says what the case checks
  std::string answers;
  int number;
  int unit;
  std::string name;           // as shown; % stands for the run's folder
  std::string platform = "";  // the system's own line ahead of the report
  std::vector<std::string> prefix = {};
  const char* linux_only = nullptr;  // the Linux facility the case needs
};

const std::string kNul("a\0b.asc", 7);
// Runs in a folder whose absolute name has 270 characters or more.
const std::vector<std::string> kInDeep = {"sh", "-c", "cd " + kDeep + " && exec \"$0\" \"$@\""};
// Runs with a console output whose reading end is already closed.
const std::vector<std::string> kReaderGone = {"bash", "-c",
                                              "exec 4> >(:); wait $!; exec \"$0\" \"$@\" >&4"};
// Runs with an argument and the console output on a full device.
std::vector<std::string> TO_FULL_DEVICE(const std::string& argument) {
  return {"sh", "-c", "exec \"$0\" \"$@\" " + argument + " > /dev/full"};
}
const Refusal kRefusals[] = {
    // clang-format off
    {"InputNotFoundAfterDotDot", "   d/../missing.asc\nout.grd\n1\n", 29, 50, "%/missing.asc"},
    {"InputAfterALinkToTheParentAndDotDot", "up/../grid.asc\nout.grd\n1\n", 29, 50,
     "%/up/../grid.asc", "", {}, "symbolic links"},
    {"InputAfterAMissingFolderAndDotDot", "nodir/../grid.asc\nout.grd\n1\n", 29, 50,
     "%/nodir/../grid.asc", "", {}, "a name whose .. is not taken back by the name alone"},
    {"InputInAMissingFolder", "nodir/grid.asc\nout.grd\n1\n", 29, 50, "%/nodir/grid.asc"},
    {"InputUnderAFileUsedAsAFolder", "grid.asc/x\nout.grd\n1\n", 29, 50, "%/grid.asc/x"},
    {"InputIsAFolder", "d\nout.grd\n1\n", 9, 50, "%/d"},
    {"InputWithoutReadPermission", "locked.asc\nout.grd\n1\n", 9, 50, "%/locked.asc", "", kNobody, "setpriv"},
    {"InputIsTheTerminalOfARunWithoutOne", "/dev/tty\nout.grd\n1\n", 42, 50, "/dev/tty", "",
     {"setsid", "-w"}, "setsid and /dev/tty"},
    {"InputIsALinkToANameOver255Characters", "long\nout.grd\n1\n", 43, 50, "%/long", "", {},
     "symbolic links"},
    {"InputNameWithANulIsShownAsTyped", kNul + "\nout.grd\n1\n", 43, 50, kNul},
    {"InputMissingInADeepFolderIsShownAsTyped", "  missing.asc\nout.grd\n1\n", 29, 50,
     "missing.asc", "", kInDeep, "a working folder beyond MAX_PATH, which Wine refuses"},
    {"OutputIsAFolder", "grid.asc\nd\n1\n", 9, 60, "%/d"},
    {"OutputInAMissingFolder", "grid.asc\nnodir/out.grd\n1\n", 29, 60, "%/nodir/out.grd"},
    {"OutputIsALinkToANameOver255Characters", "grid.asc\nlong\n1\n", 43, 60, "%/long", "", {},
     "symbolic links"},
    {"OutputIsAReadOnlyFile", "grid.asc\nold.grd\n1\n", 47, 60, "%/old.grd", "", kNobody, "setpriv"},
    {"OutputDeviceIsFull", "grid.asc\n/dev/full\n1\n", 38, 60, "/dev/full",
     "forrtl: No space left on device\r\n", {}, "/dev/full"},
    {"ConsoleOutputReaderIsGone", "", 38, -1, "CONOUT$", "forrtl: Broken pipe\r\n", kReaderGone,
     "a pipe whose reader is gone (EPIPE)"},
    {"HelpToAFullDevice", "", 38, -1, "CONOUT$", "forrtl: No space left on device\r\n",
     TO_FULL_DEVICE("--help"), "/dev/full"},
    {"VersionToAFullDevice", "", 38, -1, "CONOUT$", "forrtl: No space left on device\r\n",
     TO_FULL_DEVICE("--version"), "/dev/full"},
    {"ConsoleInputEndsBeforeTheInputName", "", 24, -4, "CONIN$"},
    {"ConsoleInputEndsBeforeTheOutputName", "grid.asc\n", 24, -4, "CONIN$"},
    {"ConsoleInputEndsBeforeTheFactor", "grid.asc\nout.grd\n", 24, -4, "CONIN$"},
    {"FactorIsNotANumber", "grid.asc\nout.grd\nabc\n", 59, -4, "CONIN$"},
    {"FactorIsBeyondSinglePrecision", "grid.asc\nout.grd\n1e39\n", 64, -4, "CONIN$"},
    // clang-format on
};

class Refused : public testing::TestWithParam<Refusal> {};

TEST_P(Refused, GivesItsReportAndStatusAndTouchesNoOutput) {
  const Refusal& r = GetParam();
  SCOPED_TRACE(SHOWN(r.answers));
  if (r.linux_only != nullptr) {
    SKIP_UNLESS_LINUX(r.linux_only);
  }
  Folder f;
  WRITE_FILE(f / "grid.asc", kWorkedGrid);
  WRITE_FILE(f / "locked.asc", kWorkedGrid);
  fs::permissions(f / "locked.asc", fs::perms::none);
  WRITE_FILE(f / "old.grd", "old\r\n");
  fs::permissions(f / "old.grd", fs::perms::owner_read | fs::perms::others_read);
  fs::create_directories(f / kDeep);
  fs::create_directory(f / "d");
  fs::create_symlink(std::string(300, 'a'), f / "long");
  fs::create_directory_symlink("..", f / "up");  // up/.. is two folders above the run
  Outcome run = RUN(f, r.answers, r.prefix);
  EXPECT_EQ(run.status, r.number);
  std::string name = r.name;
  if (name[0] == '%') name = SHOWN_PATH(f.path.string() + name.substr(1));
  EXPECT_EQ(SHOWN(REPORT_OF(run.err)),
            SHOWN(r.platform + "forrtl: severe (" + std::to_string(r.number) +
                  "): " + kText.at(r.number) + ", unit " + std::to_string(r.unit) + ", file " +
                  name + "\r\r\n"));
  EXPECT_FALSE(fs::exists(f / "out.grd"));
  EXPECT_EQ(READ_FILE(f / "old.grd"), "old\r\n");
}

INSTANTIATE_TEST_SUITE_P(Failure, Refused, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                           return info.param.case_name;
                         });

// Converts grid.asc of `in` into out.grd of a fresh folder, through `prefix`.
std::string CONVERTED(const Folder& in, const std::vector<std::string>& prefix) {
  Folder out;
  Outcome run = RUN(out, (in / "grid.asc").string() + "\nout.grd\n1\n", prefix);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  return READ_FILE(out / "out.grd");
}

TEST(Failure, ReadOnlyInputConvertsAsAWritableOne) {
  SKIP_UNLESS_LINUX("setpriv and a read-only mount");
  Folder in;
  WRITE_FILE(in / "grid.asc", kWorkedGrid);
  std::string writable = CONVERTED(in, {});
  ASSERT_EQ(writable.substr(0, 6), "DSAA\r\n");
  fs::permissions(in / "grid.asc", fs::perms::owner_read | fs::perms::others_read);
  EXPECT_EQ(CONVERTED(in, kNobody), writable);
  std::string d = in.path.string();  // and on a read-only mount, where root may not write either
  std::string mount = "mount --bind " + d + " " + d + " && mount -o remount,bind,ro " + d +
                      " && ! touch " + d + "/probe 2>/dev/null";
  if (std::system(("unshare -m sh -c '" + mount + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "read-only mount case skipped: unshare -m or mount --bind is refused here";
  EXPECT_EQ(CONVERTED(in, {"unshare", "-m", "sh", "-c", mount + " && exec \"$0\" \"$@\""}),
            writable);
}

}  // namespace
}  // namespace veldrix_test
