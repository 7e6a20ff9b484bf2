#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

// Replaces the child with the program under test, in `f`, or with the command `words`.
[[noreturn]] void EXEC_PROGRAM(const Folder& f, std::vector<std::string> words = PROGRAM_WORDS()) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  if (::chdir(f.path.c_str()) == 0) ::execvp(argv[0], argv.data());
  ::_exit(127);
}

// Runs the program in `f` with standard error on a pipe: on a fresh pseudo-terminal when
// `master` is given, otherwise reading `in` with its standard output thrown away. `act(pid)` runs
// meanwhile; returns what the program wrote on standard error and its exit status.
template <class Act>
std::pair<std::string, int> INTERRUPTED(const Folder& f, int* master, int in, Act act,
                                        const std::vector<std::string>& words = PROGRAM_WORDS()) {
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return {"no pipe", -1};
  pid_t pid = master != nullptr ? ::forkpty(master, nullptr, nullptr, nullptr) : ::fork();
  if (pid == 0) {
    if (master == nullptr) ::dup2(in, 0), ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::dup2(err[1], 2);
    EXEC_PROGRAM(f, words);
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
  SKIP_UNLESS_LINUX("a pseudo-terminal");
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

struct Event {
  const char* name;
  int signal;
  int status;
  const char* event;  // its name in the report line; none: not a console event, no line
  const char* band_bytes = nullptr;  // the band size the run is given; none: its own
};

const Event kEvents[] = {
    {"ControlC", SIGINT, 130, "control-C"},
    {"ControlBreak", SIGQUIT, 1, "control-BREAK"},
    {"WindowClose", SIGHUP, 2, "window-CLOSE"},
    // Requests to end from other programs end the run by the same signal, silently.
    {"TerminateFromKillOrTimeout", SIGTERM, 128 + SIGTERM, nullptr},
    {"UserSignal1", SIGUSR1, 128 + SIGUSR1, nullptr},
    {"AlarmClock", SIGALRM, 128 + SIGALRM, nullptr},
    {"CpuTimeLimit", SIGXCPU, 128 + SIGXCPU, nullptr},
    {"StackFaultSignal", SIGSTKFLT, 128 + SIGSTKFLT, nullptr},
    {"FirstRealTimeSignal", SIGRTMIN, 128 + SIGRTMIN, nullptr},
    {"LastRealTimeSignal", SIGRTMAX, 128 + SIGRTMAX, nullptr},
    // Bands of 100 rows: the event may come while a band is read again.
    {"ControlCInBands", SIGINT, 130, "control-C", "1000400"},
    {"TerminateInBands", SIGTERM, 128 + SIGTERM, nullptr, "1000400"},
};

// Whether the first cell record has begun: the file's length may run ahead of its records (a
// reserved window), so its first byte after the header is looked at, not the length.
bool CELLS_BEGUN(const std::filesystem::path& output, off_t head) {
  int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC);
  char byte = 0;
  bool begun = fd >= 0 && ::pread(fd, &byte, 1, head) == 1 && byte != '\0';
  if (fd >= 0) ::close(fd);
  return begun;
}

// Runs the program on `f`'s big.asc into big.grd and sends `signal` as soon as the cell records
// have begun; a run that ends before the signal comes is run again.
std::pair<std::string, int> INTERRUPTED_WHILE_WRITING(const Folder& f, int signal, off_t head) {
  WRITE_FILE(f / "answers", "big.asc\nbig.grd\n1\n");
  std::pair<std::string, int> ending;  // status 0 until a run is interrupted
  for (int attempt = 0; attempt < 5 && ending.second == 0; ++attempt) {
    int in = ::open((f / "answers").c_str(), O_RDONLY | O_CLOEXEC);
    ending = INTERRUPTED(f, nullptr, in, [&](pid_t pid) {
      for (int k = 0; k < 300000 && !CELLS_BEGUN(f / "big.grd", head); ++k)  // at most a minute
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      ::kill(pid, signal);
    });
    ::close(in);
  }
  return ending;
}

// The header, then whole cell records of a grid of ones, fewer than all of them.
void EXPECT_ONLY_WHOLE_CELL_RECORDS(const std::filesystem::path& output, const std::string& head,
                                    int size) {
  std::string out = READ_FILE(output);
  ASSERT_GE(out.size(), head.size());
  EXPECT_EQ(SHOWN(out.substr(0, head.size())), SHOWN(head));
  std::size_t records = (out.size() - head.size()) / 16;
  EXPECT_EQ(out.size(), head.size() + 16 * records) << "a part of a record is left";
  EXPECT_LT(records, std::size_t(size) * std::size_t(size)) << "the run ended before the event";
  EXPECT_EQ(std::count(out.begin(), out.end(), '\0'), 0) << "zero bytes are left";
  std::size_t at = head.size(), whole = head.size() + 16 * records;
  while (at < whole && out.compare(at, 16, kOneRecord) == 0) at += 16;
  EXPECT_EQ(at, whole) << "a damaged cell record: " << SHOWN(out.substr(at, 16));
}

class EventWhileWriting : public testing::TestWithParam<Event> {};

TEST_P(EventWhileWriting, LeavesTheHeaderAndOnlyWholeCellRecords) {
  SKIP_UNLESS_LINUX("signals");
  constexpr int kSize = 2501;
  const std::string head = ONES_HEAD(kSize);
  Folder f;
  WRITE_FILE(f / "big.asc", ONES_GRID(kSize));
  if (GetParam().band_bytes != nullptr) ::setenv("VELDRIX_BAND_BYTES", GetParam().band_bytes, 1);
  auto ending = INTERRUPTED_WHILE_WRITING(f, GetParam().signal, off_t(head.size()));
  ::unsetenv("VELDRIX_BAND_BYTES");
  ASSERT_NE(ending.second, 0) << "five runs all ended before the signal came";
  std::string line = GetParam().event != nullptr ? LINE(GetParam().event) : "";
  EXPECT_EQ(ending, std::make_pair(line, GetParam().status));
  EXPECT_ONLY_WHOLE_CELL_RECORDS(f / "big.grd", head, kSize);
}

// The sender's own statuses: the system refused the event; the run ended before it was sent.
constexpr int kSenderRefused = 3;
constexpr int kSenderTooLate = 4;

// Runs the program under event_sender (built beside veldrix.exe) on a fresh pseudo-terminal,
// which Wine makes the console of both, on `f`'s big.asc into big.grd: the sender sends `event`
// once the cell records have begun. A run that ends before the event comes is run again.
std::pair<std::string, int> SENT_WHILE_WRITING(const Folder& f, const std::string& sender,
                                               int event, off_t head) {
  WRITE_FILE(f / "answers", "big.asc\nbig.grd\n1\n");
  std::vector<std::string> words = PROGRAM_WORDS();
  words.insert(words.end() - 1,
               {sender, std::to_string(event), "answers", "big.grd", std::to_string(head)});
  std::pair<std::string, int> ending{"", kSenderTooLate};
  for (int attempt = 0; attempt < 5 && ending.second == kSenderTooLate; ++attempt) {
    std::filesystem::remove(f / "big.grd");
    int master = -1;
    ending = INTERRUPTED(
        f, &master, -1, [](pid_t) {}, words);
    ::close(master);
  }
  return ending;
}

INSTANTIATE_TEST_SUITE_P(Interrupt, EventWhileWriting, testing::ValuesIn(kEvents),
                         CASE_NAME<Event>);

struct ConsoleEvent {
  const char* name;
  int event;   // CTRL_C_EVENT, CTRL_BREAK_EVENT
  int status;  // the low byte of the exit code: C000013A, 1
  const char* line;
};

const ConsoleEvent kConsoleEvents[] = {
    {"ControlC", 0, 0x3A, "control-C"},
    {"ControlBreak", 1, 1, "control-BREAK"},
};

class ConsoleEventWhileWriting : public testing::TestWithParam<ConsoleEvent> {};

// Wine 8 sends control-C to the programs of a console on a terminal, and refuses control-BREAK
// (error 6), which is then skipped; it has no console without a terminal. A control-C typed on
// the terminal reaches a program only while it reads the console, not during the conversion.
TEST_P(ConsoleEventWhileWriting, LeavesTheHeaderAndOnlyWholeCellRecords) {
  SKIP_UNLESS_WINDOWS("console control events");
  const ConsoleEvent& e = GetParam();
  const auto sender =
      std::filesystem::path(PROGRAM_WORDS().back()).parent_path() / "event_sender.exe";
  if (!std::filesystem::exists(sender)) GTEST_SKIP() << "no " << sender << " beside the program";
  constexpr int kSize = 2501;
  const std::string head = ONES_HEAD(kSize);
  Folder f;
  WRITE_FILE(f / "big.asc", ONES_GRID(kSize));
  auto ending = SENT_WHILE_WRITING(f, sender.string(), e.event, off_t(head.size()));
  if (ending.second == kSenderRefused)
    GTEST_SKIP() << "the system refused the event: " << ending.first;
  ASSERT_NE(ending.second, kSenderTooLate) << "five runs all ended before the event came";
  EXPECT_EQ(ending, std::make_pair(LINE(e.line), e.status));
  EXPECT_ONLY_WHOLE_CELL_RECORDS(f / "big.grd", head, kSize);
}

INSTANTIATE_TEST_SUITE_P(Interrupt, ConsoleEventWhileWriting, testing::ValuesIn(kConsoleEvents),
                         CASE_NAME<ConsoleEvent>);

// SIGKILL leaves the zero bytes of the room grown ahead: at most 64 MiB after the records up to
// the first one not completed, never past the finished file's end.
TEST(Interrupt, KillLeavesAtMostTheLengthStepPastTheRecords) {
  constexpr int kSize = 2501;  // 100 MB of records: more than one step
  constexpr std::size_t kStep = std::size_t{64} << 20;
  const std::string head = ONES_HEAD(kSize);
  Folder f;
  WRITE_FILE(f / "big.asc", ONES_GRID(kSize));
  auto ending = INTERRUPTED_WHILE_WRITING(f, SIGKILL, off_t(head.size()));
  ASSERT_EQ(ending.second, 128 + SIGKILL) << "five runs all ended before the signal came";
  std::string out = READ_FILE(f / "big.grd");
  ASSERT_GE(out.size(), head.size());
  EXPECT_EQ(SHOWN(out.substr(0, head.size())), SHOWN(head));
  std::size_t at = head.size();
  while (at + 16 <= out.size() && out.compare(at, 16, kOneRecord) == 0) at += 16;
  EXPECT_LE(out.size() - at, kStep) << "records up to " << at;
  EXPECT_LE(out.size(), head.size() + 16 * std::size_t{kSize} * kSize);
}

// What a terminal `columns` wide (0: without limit) shows for the bytes: a carriage return goes
// back to the line's start and what follows overwrites it; a character past the last column goes
// to the start of a new line; blanks at a line's end are not seen.
std::string SCREEN(const std::string& bytes, std::size_t columns) {
  std::string screen, line;
  std::size_t column = 0;
  auto end_line = [&] {
    screen += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    line.clear();
    column = 0;
  };
  for (char c : bytes) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      end_line();
    } else {
      if (column == columns && columns > 0) end_line();
      if (column == line.size()) line += ' ';
      line[column++] = c;
    }
  }
  end_line();
  return screen;
}

// A whole run on a pseudo-terminal `columns` wide (0: a width it does not tell) with no echo of
// what is typed, its progress line due after `after` milliseconds: every byte the terminal got.
std::string ON_TERMINAL(const Folder& f, const char* after, unsigned short columns) {
  int master = -1;
  winsize size = {};
  size.ws_row = 200;
  size.ws_col = columns;
  pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    ::setenv("VELDRIX_PROGRESS_AFTER", after, 1);
    EXEC_PROGRAM(f);
  }
  // Echo off from this side, before anything is typed: the terminal's modes belong to the pair.
  termios modes = {};
  ::tcgetattr(master, &modes);
  modes.c_lflag &= ~tcflag_t{ECHO};
  ::tcsetattr(master, TCSANOW, &modes);
  std::string answers = "big.asc\nbig.grd\n1\n", got;
  EXPECT_EQ(::write(master, answers.data(), answers.size()), ssize_t(answers.size()));
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) got.append(buf, std::size_t(n));
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_EQ(status, 0);
  return got;
}

struct Terminal {
  const char* name;
  unsigned short columns;
  const char* reading;  // what the line shows while the rows are read; "" for no line at all
  const char* writing;
};

const Terminal kTerminals[] = {
    {"WidthNotTold", 0, "% of the rows read", "0% of the cell records written"},
    {"WiderThanTheLine", 80, "% of the rows read", "0% of the cell records written"},
    {"NarrowerThanTheLine", 20, "% of the rows rea", "0% of the cell rec"},
    {"NarrowerThanAPercent", 2, "", ""},
};

class Progress : public testing::TestWithParam<Terminal> {};

TEST_P(Progress, OnATerminalIsErasedAndLeavesTheScreenAsWithoutIt) {
  SKIP_UNLESS_LINUX("a pseudo-terminal");
  const Terminal& t = GetParam();
  Folder f;
  WRITE_FILE(f / "big.asc", ONES_GRID(300));
  std::string shown = ON_TERMINAL(f, "0", t.columns), none = ON_TERMINAL(f, "60000", t.columns);
  EXPECT_EQ(none.find("% of the"), std::string::npos) << SHOWN(none);
  EXPECT_EQ(SCREEN(shown, t.columns), SCREEN(none, t.columns));
  if (*t.reading == '\0') {
    EXPECT_EQ(SHOWN(shown), SHOWN(none));
    return;
  }
  EXPECT_NE(shown.find(t.reading), std::string::npos) << SHOWN(shown);
  EXPECT_NE(shown.find(t.writing), std::string::npos) << SHOWN(shown);
}

INSTANTIATE_TEST_SUITE_P(Widths, Progress, testing::ValuesIn(kTerminals), CASE_NAME<Terminal>);

}  // namespace
}  // namespace veldrix_test
