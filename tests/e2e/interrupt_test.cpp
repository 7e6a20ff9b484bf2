#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

// Runs the program in `f` with standard error on a pipe: on a fresh pseudo-terminal when
// `master` is given, otherwise reading `in` with its standard output thrown away. `act(pid)` runs
// meanwhile; returns what the program wrote on standard error and its exit status.
template <class Act>
std::pair<std::string, int> INTERRUPTED(const Folder& f, int* master, int in, Act act) {
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return {"no pipe", -1};
  pid_t pid = master != nullptr ? ::forkpty(master, nullptr, nullptr, nullptr) : ::fork();
  if (pid == 0) {
    if (master == nullptr) ::dup2(in, 0), ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::dup2(err[1], 2);
    if (::chdir(f.path.c_str()) == 0) ::execl(VELDRIX_BINARY, VELDRIX_BINARY, nullptr);
    ::_exit(127);
  }
  ::close(err[1]);
  act(pid);
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = ::read(err[0], buf, sizeof buf)) > 0;) got.append(buf, std::size_t(n));
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return {got, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

std::string LINE(const std::string& event) {
  return "forrtl: error (200): program aborting due to " + event + " event\r\r\n";
}

TEST(Interrupt, EachConsoleEventAtTheFirstQuestionWritesItsLineAndStatus) {
  // The key typed at the first question; none: the terminal is closed there.
  for (auto [typed, status, name] : {std::tuple{"\x03", 130, "control-C"},
                                     {"\x1c", 1, "control-BREAK"},
                                     {"", 2, "window-CLOSE"}}) {
    SCOPED_TRACE(name);
    const char* key = typed;  // a lambda may not capture a structured binding before C++20's fix
    Folder f;
    int master = -1;
    auto ending = INTERRUPTED(f, &master, -1, [&](pid_t) {
      std::string seen;
      char buf[256];
      for (ssize_t n; seen.find("(max. 60 char): ") == std::string::npos &&
                      (n = ::read(master, buf, sizeof buf)) > 0;)
        seen.append(buf, std::size_t(n));
      ssize_t sent = *key != 0 ? ::write(master, key, 1) : (::close(master), 1);
      EXPECT_EQ(sent, 1);
    });
    EXPECT_EQ(ending, std::make_pair(LINE(name), status));
    if (*key != 0) ::close(master);
  }
}

TEST(Interrupt, ControlCWhileWritingLeavesOnlyWholeCellRecords) {
  Folder f;
  std::string grid = "ncols 1500\nnrows 1500\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  grid += "NODATA_value -9999\n";
  std::string row;
  for (int i = 0; i < 1500; ++i) row += "1 ";
  for (int j = 0; j < 1500; ++j) grid += row + "\n";
  WRITE_FILE(f / "big.asc", grid);
  WRITE_FILE(f / "answers", "big.asc\nbig.grd\n1\n");
  int in = ::open((f / "answers").c_str(), O_RDONLY | O_CLOEXEC);
  auto ending = INTERRUPTED(f, nullptr, in, [&](pid_t pid) {
    // The file's length may run ahead of its records (a reserved window): wait for a record.
    auto written = [&] {
      int fd = ::open((f / "big.grd").c_str(), O_RDONLY | O_CLOEXEC);
      char byte = 0;
      bool seen = fd >= 0 && ::pread(fd, &byte, 1, 4096) == 1 && byte != '\0';
      if (fd >= 0) ::close(fd);
      return seen;
    };
    for (int k = 0; k < 600000 && !written(); ++k)
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    ::kill(pid, SIGINT);
  });
  ::close(in);
  EXPECT_EQ(ending, std::make_pair(LINE("control-C"), 130));
  std::string out = READ_FILE(f / "big.grd");
  std::size_t cells = out.find(" 1.0000000    \r\n");  // the first cell after the header
  ASSERT_NE(cells, std::string::npos) << out.size() << " bytes and no cell record";
  EXPECT_LT(out.size() - cells, 1500u * 1500u * 16u) << "the run ended before the signal came";
  std::string records;  // only whole ones, so the length is a multiple of 16
  while (records.size() < out.size() - cells) records += " 1.0000000    \r\n";
  EXPECT_TRUE(out.compare(cells, std::string::npos, records) == 0) << "a damaged cell record";
}

}  // namespace
}  // namespace veldrix_test
