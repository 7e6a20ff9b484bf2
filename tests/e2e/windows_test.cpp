// What the Windows build does that its Linux twin cannot show: the full exit code, names that are
// not ASCII, and the share modes that refuse a file another program holds open for writing. Run
// with the program under Wine (VELDRIX_E2E_PROGRAM=.../veldrix.exe VELDRIX_E2E_RUNNER=wine64).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

// Wine itself, which starts cmd as it starts the program.
std::string RUNNER() {
  std::vector<std::string> words = PROGRAM_WORDS();
  return words.size() > 1 ? words.front() : "wine64";
}

struct ExitCode {
  const char* name;
  std::string answers;
  std::string errorlevel;  // what cmd's %errorlevel% shows
};

const ExitCode kExitCodes[] = {
    {"ConversionIsZero", "in.asc\nout.grd\n2\n", "0"},
    {"FatalHeaderLineIsOne", "bad.asc\nout.grd\n2\n", "1"},
    {"MissingInputIsC000001D", "missing.asc\nout.grd\n2\n", "-1073741795"},
    {"FactorNotANumberIsC000003B", "in.asc\nout.grd\nabc\n", "-1073741765"},
};

class FullExitCode : public testing::TestWithParam<ExitCode> {};

// The status Linux sees is the code's low byte; cmd sees all of it.
TEST_P(FullExitCode, IsWhatCmdSees) {
  SKIP_UNLESS_WINDOWS("the full exit code");
  const ExitCode& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", kWorkedGrid);
  WRITE_FILE(f / "bad.asc", "NCOLS 3\n");
  WRITE_FILE(f / "answers", c.answers);
  // In a script of two lines: within one line, cmd expands %errorlevel% before the line runs.
  WRITE_FILE(f / "check.cmd", "@\"" + SHOWN_PATH(PROGRAM_WORDS().back()) +
                                  "\" <answers >NUL 2>NUL\r\n@echo %errorlevel%\r\n");
  Outcome run = RUN_WORDS(f, "", {RUNNER(), "cmd", "/c", "check.cmd"});
  // cmd ends with the status the script left, which Linux sees as its low byte.
  EXPECT_EQ(run.status, std::stoll(c.errorlevel) & 0xFF) << run.err;
  EXPECT_EQ(SHOWN(run.out), SHOWN(c.errorlevel + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Windows, FullExitCode, testing::ValuesIn(kExitCodes), CASE_NAME<ExitCode>);

// Typed from a pipe, the name's bytes are UTF-8: the files are found and made by that name, and a
// report shows it in UTF-8 again.
TEST(Windows, NamesThatAreNotAsciiConvertAndAreReportedAsTyped) {
  SKIP_UNLESS_WINDOWS("names through the wide API");
  const std::string hoehe = "h\xC3\xB6he";
  Folder f;
  WRITE_FILE(f / (hoehe + ".asc"), kWorkedGrid);
  WRITE_FILE(f / "plain.asc", kWorkedGrid);
  Outcome plain = RUN(f, "plain.asc\nplain.grd\n2\n");
  ASSERT_EQ(plain.status, 0) << plain.err;
  Outcome run = RUN(f, hoehe + ".asc\n" + hoehe + ".grd\n2\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(SHOWN(run.out), SHOWN(plain.out));
  ASSERT_TRUE(fs::exists(f / (hoehe + ".grd")));
  EXPECT_EQ(READ_FILE(f / (hoehe + ".grd")), READ_FILE(f / "plain.grd"));

  Outcome missing = RUN(f, hoehe + "n/dgm.asc\nout.grd\n2\n");
  EXPECT_EQ(missing.status, 29);
  std::string report = "forrtl: severe (29): file not found, unit 50, file " +
                       SHOWN_PATH(f / (hoehe + "n") / "dgm.asc") + "\r\r\n";
  EXPECT_EQ(SHOWN(missing.err.substr(0, report.size())), SHOWN(report));
}

// Another Windows program holding `file` open for writing: cmd, its output appended to the file
// while it waits for a line on its input (a pipe, closed to let it go).
struct Holder {
  pid_t pid = -1;
  int line = -1;
};

Holder HOLD_FOR_WRITING(const Folder& f, const std::string& file) {
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) std::abort();
  std::string words[] = {RUNNER(), "cmd", "/c", "set /p x=held>> " + file};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0), ::dup2(::open("/dev/null", O_WRONLY), 1), ::dup2(1, 2);
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), nullptr};
    if (::chdir(f.path.c_str()) == 0) ::execvp(argv[0], argv);
    ::_exit(127);
  }
  ::close(in[0]);
  return {pid, in[1]};
}

void LET_GO(Holder& holder) {
  ::close(holder.line);
  int status = 0;
  ::waitpid(holder.pid, &status, 0);
}

struct Held {
  const char* name;
  const char* file;
  int unit;
};

const Held kHeld[] = {{"OutputHeldForWriting", "out.grd", 60},
                      {"InputHeldForWriting", "in.asc", 50}};

class ShareMode : public testing::TestWithParam<Held> {};

TEST_P(ShareMode, RefusesAFileAnotherProgramWritesAndLeavesItAlone) {
  SKIP_UNLESS_WINDOWS("share modes");
  const Held& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", kWorkedGrid);
  WRITE_FILE(f / "out.grd", "old\r\n");
  const std::string before = READ_FILE(f / c.file) + "held";  // with the holder's prompt
  Holder holder = HOLD_FOR_WRITING(f, c.file);
  for (int k = 0; k < 3000 && READ_FILE(f / c.file) != before; ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  bool held = READ_FILE(f / c.file) == before;
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n");
  LET_GO(holder);
  ASSERT_TRUE(held) << "cmd never held " << c.file;
  EXPECT_EQ(run.status, 30) << run.err;
  // The platform's line, then the report.
  std::string report = "forrtl: severe (30): open failure, unit " + std::to_string(c.unit) +
                       ", file " + SHOWN_PATH(f / c.file) + "\r\r\n";
  std::size_t at = run.err.find(report);
  ASSERT_NE(at, std::string::npos) << SHOWN(run.err);
  EXPECT_EQ(run.err.rfind("forrtl: ", 0), 0u);
  EXPECT_EQ(run.err.find('\n'), at - 1) << SHOWN(run.err);
  EXPECT_EQ(READ_FILE(f / c.file), before);
  EXPECT_EQ(READ_FILE(f / "out.grd"), c.unit == 60 ? before : "old\r\n");
}

INSTANTIATE_TEST_SUITE_P(Windows, ShareMode, testing::ValuesIn(kHeld), CASE_NAME<Held>);

}  // namespace
}  // namespace veldrix_test
