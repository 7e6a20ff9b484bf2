// Nothing of the user's is touched by mistake: closed standard streams, an output that is the
// input, files locked by other programs, FIFOs, signals ignored by whoever started the run, and
// the memory a cgroup allows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/harness.hpp"

namespace veldrix_test {
namespace {

namespace fs = std::filesystem;

const std::string kCorner = "xllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
const std::string kGrid = "ncols 3\nnrows 2\n" + kCorner + "1 2 3\n4 -9999 6\n";
const std::string kBadToken = "ncols 3\nnrows 2\n" + kCorner + "1 2 3\n4 oops 6\n";

// A square grid of ones, n cells a side.
std::string ONES(int n) {
  std::string row;
  for (int i = 0; i < n; ++i) row += "1 ";
  std::string grid = "ncols " + std::to_string(n) + "\nnrows " + std::to_string(n) + "\n" + kCorner;
  for (int j = 0; j < n; ++j) grid += row + "\n";
  return grid;
}

// What the program writes for `grid` into a regular file.
std::string CONVERTED(const std::string& grid, const std::string& factor = "1") {
  Folder f;
  WRITE_FILE(f / "in.asc", grid);
  Outcome run = RUN(f, "in.asc\nout.grd\n" + factor + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  return READ_FILE(f / "out.grd");
}

// The error stream up to its call-stack listing.
std::string REPORT(const std::string& err) { return err.substr(0, err.find("Image ")); }

// Starts the program in `f` through `prefix`, the answers on standard input, standard output
// thrown away, standard error kept in the file "err" beside `f`'s files.
pid_t START(const Folder& f, const std::string& answers, const std::vector<std::string>& prefix) {
  WRITE_FILE(f / "answers", answers);
  std::vector<std::string> words = prefix, program = PROGRAM_WORDS();
  words.insert(words.end(), program.begin(), program.end());
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(f.path.c_str()) != 0) ::_exit(127);
    ::dup2(::open("answers", O_RDONLY), 0);
    ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::dup2(::open("err", O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// The exit status (128 + the signal for a killed process) once the process has ended, or -1
// when it is still running after `seconds`; it is then killed.
int ENDING(pid_t pid, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool RUNNING(pid_t pid) {
  siginfo_t info = {};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == 0;
}

// --- Closed standard streams ---------------------------------------------------------------

struct ClosedStreams {
  const char* name;
  std::string closing;  // the shell's redirections ahead of the program
  std::string input;
  int status;
  bool output_written;
};

const ClosedStreams kClosedStreams[] = {
    {"ClosedErrorStreamKeepsTheFailureOutOfTheInput", "2>&-", kBadToken, 59, false},
    {"ClosedOutputKeepsTheDialogueOutOfTheInput", ">&-", kGrid, 0, true},
    {"ClosedInputIsTheEndOfTheConsoleInput", "<&-", kGrid, 24, false},
    {"AllThreeClosed", "<&- >&- 2>&-", kGrid, 24, false},
};

class Streams : public testing::TestWithParam<ClosedStreams> {};

TEST_P(Streams, LeaveTheInputFileAsItWas) {
  SKIP_UNLESS_LINUX("closed descriptors, which the next file opened takes");
  const ClosedStreams& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", c.input);
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n", {"sh", "-c", "exec \"$0\" \"$@\" " + c.closing});
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_EQ(SHOWN(READ_FILE(f / "in.asc")), SHOWN(c.input));
  ASSERT_EQ(fs::exists(f / "out.grd"), c.output_written);
  if (c.output_written) {
    EXPECT_EQ(READ_FILE(f / "out.grd"), CONVERTED(c.input));
  }
}

INSTANTIATE_TEST_SUITE_P(Closed, Streams, testing::ValuesIn(kClosedStreams),
                         CASE_NAME<ClosedStreams>);

// --- The output is the input ---------------------------------------------------------------

struct SameFile {
  const char* name;
  std::string output;                // % stands for the folder's own name
  std::string shown;                 // the resolved output name after the folder
  const char* linux_only = nullptr;  // the Linux facility the case needs
};

const SameFile kSameFiles[] = {
    {"SameNameTwice", "dem.asc", "/dem.asc"},
    {"SameNameWithBlanksAround", "   dem.asc  ", "/dem.asc"},
    {"AnotherSpelling", "./../%/dem.asc", "/dem.asc"},
    {"HardLink", "hard.asc", "/hard.asc"},
    {"SymbolicLink", "soft.asc", "/soft.asc", "symbolic links"},
    {"SymbolicLinkThroughAFolderLink", "here/dem.asc", "/here/dem.asc", "symbolic links"},
};

class OutputIsInput : public testing::TestWithParam<SameFile> {};

TEST_P(OutputIsInput, IsRefusedWithTheFileUntouched) {
  const SameFile& c = GetParam();
  if (c.linux_only != nullptr) {
    SKIP_UNLESS_LINUX(c.linux_only);
  }
  Folder f;
  WRITE_FILE(f / "dem.asc", kGrid);
  fs::create_hard_link(f / "dem.asc", f / "hard.asc");
  fs::create_symlink("dem.asc", f / "soft.asc");
  fs::create_directory_symlink(".", f / "here");
  std::string output = c.output;
  if (auto at = output.find('%'); at != std::string::npos)
    output.replace(at, 1, f.path.filename().string());
  Outcome run = RUN(f, "dem.asc\n" + output + "\n1\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(
      SHOWN(run.err),
      SHOWN("Output file is the input file: " + SHOWN_PATH(f.path.string() + c.shown) + "\r\n"));
  EXPECT_EQ(READ_FILE(f / "dem.asc"), kGrid);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputIsInput, testing::ValuesIn(kSameFiles), CASE_NAME<SameFile>);

TEST(OutputIsInput, ACopyOfTheInputIsAnotherFile) {
  Folder f;
  WRITE_FILE(f / "dem.asc", kGrid);
  WRITE_FILE(f / "copy.asc", kGrid);
  Outcome run = RUN(f, "dem.asc\ncopy.asc\n1\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "copy.asc"), CONVERTED(kGrid));
}

// "link/../x" is the x beside the link's target, the file the system opens by that name, for the
// input and the output alike; the x beside the link is not touched.
TEST(Names, DotDotAfterAFolderLinkLeadsFromTheLinksTarget) {
  SKIP_UNLESS_LINUX("symbolic links");
  Folder f;
  fs::create_directories(f / "real" / "sub");
  fs::create_directory_symlink("real/sub", f / "link");
  WRITE_FILE(f / "real" / "in.asc", kGrid);
  WRITE_FILE(f / "in.asc", kBadToken);
  Outcome run = RUN(f, "link/../in.asc\nlink/../out.grd\n1\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "real" / "out.grd"), CONVERTED(kGrid));
  EXPECT_FALSE(fs::exists(f / "out.grd"));
}

// --- Files locked by another program -------------------------------------------------------

struct HeldLock {
  const char* name;
  const char* file;  // the file another program holds
  int lock;          // how it holds it
  int status;
  int unit;
};

const HeldLock kHeldLocks[] = {
    {"InputWrittenElsewhere", "in.asc", LOCK_EX, 30, 50},
    {"OutputWrittenElsewhere", "out.grd", LOCK_EX, 30, 60},
    {"OutputReadElsewhere", "out.grd", LOCK_SH, 30, 60},
    {"InputReadElsewhere", "in.asc", LOCK_SH, 0, 0},
};

class Locks : public testing::TestWithParam<HeldLock> {};

TEST_P(Locks, HeldElsewhereRefuseTheOpenAndNothingIsWritten) {
  SKIP_UNLESS_LINUX("flock");
  const HeldLock& c = GetParam();
  Folder f;
  WRITE_FILE(f / "in.asc", kGrid);
  WRITE_FILE(f / "out.grd", "old\r\n");
  int held = ::open((f / c.file).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, c.lock | LOCK_NB), 0);
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n");
  ::close(held);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(READ_FILE(f / "in.asc"), kGrid);
  if (c.status == 0) {
    EXPECT_EQ(READ_FILE(f / "out.grd"), CONVERTED(kGrid));
    return;
  }
  EXPECT_EQ(SHOWN(REPORT(run.err)),
            SHOWN("forrtl: Resource temporarily unavailable\r\nforrtl: severe (30): open failure, "
                  "unit " +
                  std::to_string(c.unit) + ", file " + (f / c.file).string() + "\r\r\n"));
  EXPECT_EQ(READ_FILE(f / "out.grd"), "old\r\n");
}

INSTANTIATE_TEST_SUITE_P(Held, Locks, testing::ValuesIn(kHeldLocks), CASE_NAME<HeldLock>);

// A device has one inode for every program on the machine: a lock there would refuse runs that
// share nothing (a second run into /dev/null got failure 30).
TEST(Locks, DeviceOutputHeldElsewhereIsNotLocked) {
  SKIP_UNLESS_LINUX("flock and /dev/null");
  Folder f;
  WRITE_FILE(f / "in.asc", kGrid);
  int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  Outcome run = RUN(f, "in.asc\n/dev/null\n1\n");
  ::close(held);
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(Locks, TwoRunsOnOneOutputNeverMixTheirRecords) {
  Folder f;
  WRITE_FILE(f / "in.asc", ONES(300));
  pid_t runs[2] = {START(f, "in.asc\nout.grd\n1\n", {}), START(f, "in.asc\nout.grd\n-1\n", {})};
  int statuses[2] = {ENDING(runs[0], 120), ENDING(runs[1], 120)};
  std::string out = READ_FILE(f / "out.grd");
  // One run wrote it whole while the other was refused, or each did in turn.
  EXPECT_TRUE(out == CONVERTED(ONES(300), "1") || out == CONVERTED(ONES(300), "-1"))
      << statuses[0] << " " << statuses[1] << ", " << out.size() << " bytes";
  for (int s : statuses) EXPECT_TRUE(s == 0 || s == 30) << s;
}

// --- A FIFO as the output ------------------------------------------------------------------

// Opens the FIFO's reading end without waiting for a writer.
int READER(const fs::path& fifo) { return ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

// Reads from the FIFO until its writer closes it or `limit` bytes have come; the wait for the
// writer ends with the program or after a minute.
std::string DRAINED(int fd, pid_t writer, std::size_t limit) {
  std::string got;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (got.size() < limit && std::chrono::steady_clock::now() < deadline) {
    pollfd p = {fd, POLLIN, 0};
    if (::poll(&p, 1, 10) == 0) {
      if (!RUNNING(writer)) break;  // it ended without ever opening the FIFO
      continue;
    }
    char buf[65536];
    ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - got.size()));
    if (n == 0) break;
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

TEST(Fifo, OutputWaitsForItsReaderAndGivesItEveryRecord) {
  SKIP_UNLESS_LINUX("FIFOs");
  Folder f;
  std::string grid = ONES(40);
  WRITE_FILE(f / "in.asc", grid);
  ASSERT_EQ(::mkfifo((f / "out.grd").c_str(), 0666), 0);
  pid_t pid = START(f, "in.asc\nout.grd\n1\n", {});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(RUNNING(pid)) << "the run ended before anyone read its output";
  int fd = READER(f / "out.grd");
  std::string got = DRAINED(fd, pid, SIZE_MAX);
  ::close(fd);
  EXPECT_EQ(ENDING(pid, 60), 0) << READ_FILE(f / "err");
  std::string whole = CONVERTED(grid);
  EXPECT_EQ(got.size(), whole.size());
  EXPECT_TRUE(got == whole);
}

TEST(Fifo, ReaderThatLeavesEarlyIsAFailedWrite) {
  SKIP_UNLESS_LINUX("FIFOs");
  Folder f;
  WRITE_FILE(f / "in.asc", ONES(300));
  ASSERT_EQ(::mkfifo((f / "out.grd").c_str(), 0666), 0);
  pid_t pid = START(f, "in.asc\nout.grd\n1\n", {});
  int fd = READER(f / "out.grd");
  std::string got = DRAINED(fd, pid, 4096);
  ::close(fd);
  EXPECT_EQ(got.substr(0, 6), "DSAA\r\n");
  EXPECT_EQ(ENDING(pid, 60), 38);
  EXPECT_EQ(SHOWN(REPORT(READ_FILE(f / "err"))),
            SHOWN("forrtl: Broken pipe\r\nforrtl: severe (38): error during write, unit 60, file " +
                  (f / "out.grd").string() + "\r\r\n"));
}

// --- The input changed between two readings ----------------------------------------------

// A grid of several bands is read once for the range; every band but the southern one is then
// either kept in a spill file beside the output or read again as its turn comes. An output FIFO
// holds the run between the two until the change is made.
struct InputChange {
  const char* name;
  const char* command;  // run in the folder while the run waits for the FIFO's reader
};

const InputChange kInputChanges[] = {
    {"AppendedTo", "echo 1 1 >> in.asc"},
    {"CutShort", "truncate -s -3 in.asc"},
    {"RewrittenInPlaceWithTheSameBytes", "cp in.asc copy && cp copy in.asc"},
    // The file the run opened is whole and unchanged, but losing its name moves its change time.
    {"ReplacedByRename", "cp in.asc copy && mv copy in.asc"},
};

// A folder on a file system that is or may be held in memory, where the program makes no spill.
bool MAY_BE_IN_MEMORY(const fs::path& folder) {
  struct statfs info = {};
  if (::statfs(folder.c_str(), &info) != 0) return true;
  return info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC ||
         info.f_type == OVERLAYFS_SUPER_MAGIC;
}

// Whether the run waits in the open of its output FIFO, after its first reading; waits up to a
// minute, and kills the run when it never does.
bool OPENING_ITS_OUTPUT(pid_t pid) {
  fs::path wchan = fs::path("/proc") / std::to_string(pid) / "wchan";
  for (int k = 0; k < 6000 && READ_FILE(wchan) != "wait_for_partner"; ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  bool waiting = READ_FILE(wchan) == "wait_for_partner";
  if (!waiting) ::kill(pid, SIGKILL);
  return waiting;
}

// Where the bands wait: in the spill file, or read again (spills turned off, or an output folder
// held in memory, where none is made).
enum class Bands { kSpilled, kReadAgain, kReadAgainBesideAnOutputInMemory };

class InputChanged : public testing::TestWithParam<std::tuple<InputChange, Bands>> {};

TEST_P(InputChanged, BetweenTwoReadingsIsAReadFailureUnlessTheBandsWereKept) {
  SKIP_UNLESS_LINUX("FIFOs and /proc");
  auto [change, bands] = GetParam();
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  Folder f, shm("/dev/shm");
#ifndef VELDRIX_LINUX_EXTRAS
  if (bands == Bands::kReadAgainBesideAnOutputInMemory)
    GTEST_SKIP() << "the Linux extras are off: a folder in memory is taken as a disk";
#endif
  if (bands == Bands::kSpilled && MAY_BE_IN_MEMORY(f.path))
    GTEST_SKIP() << "the temporary folder is or may be in memory";
  const std::string grid = ONES(40);  // 160 bytes a row: bands of two rows, 80 records each
  WRITE_FILE(f / "in.asc", grid);
  fs::path out = bands == Bands::kReadAgainBesideAnOutputInMemory ? shm / "out.grd" : f / "out.grd";
  ASSERT_EQ(::mkfifo(out.c_str(), 0666), 0);
  std::string spill = bands == Bands::kReadAgain ? "VELDRIX_SPILL=0" : "VELDRIX_SPILL=1";
  pid_t pid =
      START(f, "in.asc\n" + out.string() + "\n1\n", {"env", "VELDRIX_BAND_BYTES=320", spill});
  ASSERT_TRUE(OPENING_ITS_OUTPUT(pid)) << "the run never opened its output";
  ASSERT_EQ(std::system(("cd " + f.path.string() + " && " + change.command).c_str()), 0);
  int fd = READER(out);
  std::string got = DRAINED(fd, pid, SIZE_MAX);
  ::close(fd);
  std::string whole = CONVERTED(grid);
  if (bands == Bands::kSpilled) {  // the file is read once, and was whole then
    EXPECT_EQ(ENDING(pid, 60), 0);
    EXPECT_EQ(READ_FILE(f / "err"), "");
    EXPECT_TRUE(got == whole) << got.size() << " bytes";
    return;
  }
  EXPECT_EQ(ENDING(pid, 60), 39);
  EXPECT_EQ(SHOWN(REPORT(READ_FILE(f / "err"))),
            SHOWN("forrtl: File changed by another program while it was read\r\nforrtl: severe "
                  "(39): error during read, unit 50, file " +
                  (f / "in.asc").string() + "\r\r\n"));
  // The southern band's records are out before the check.
  EXPECT_TRUE(got == whole.substr(0, whole.size() - 16 * 40 * 38)) << got.size() << " bytes";
}

std::string CHANGE_NAME(const testing::TestParamInfo<std::tuple<InputChange, Bands>>& info) {
  static const char* const kBands[] = {"Spilled", "ReadAgain", "ReadAgainBesideAnOutputInMemory"};
  return std::string(std::get<0>(info.param).name) + "_" +
         kBands[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Input, InputChanged,
                         testing::Combine(testing::ValuesIn(kInputChanges),
                                          testing::Values(Bands::kSpilled, Bands::kReadAgain,
                                                          Bands::kReadAgainBesideAnOutputInMemory)),
                         CHANGE_NAME);

// A block device has no times or size that tell a rewrite, so only the second reading's own check
// sees the edit: a same-length edit of a row whose sums of the bits stay as they were (+d, -2d,
// +d).
TEST(InputEdited, WithItsSumsKeptOnADeviceIsAReadFailure) {
  SKIP_UNLESS_LINUX("loop devices");
  Folder f;
  std::string row, grid = "ncols 40\nnrows 40\n" + kCorner;
  auto first_row = static_cast<off_t>(grid.size());
  for (int i = 0; i < 40; ++i) row += "4 ";
  for (int j = 0; j < 40; ++j) grid += row + "\n";
  WRITE_FILE(f / "in.img", grid + std::string(511 - (grid.size() + 511) % 512, '\n'));
  std::string attach = "cd " + f.path.string() + " && losetup -f --show in.img >device 2>&1";
  if (std::system(attach.c_str()) != 0) GTEST_SKIP() << "no loop device can be attached here";
  std::string input = READ_FILE(f / "device");
  input.pop_back();  // the line's end
  ASSERT_EQ(::mkfifo((f / "out.grd").c_str(), 0666), 0);
  pid_t pid =
      START(f, input + "\nout.grd\n1\n", {"env", "VELDRIX_BAND_BYTES=320", "VELDRIX_SPILL=0"});
  bool waiting = OPENING_ITS_OUTPUT(pid);
  int fd = ::open(input.c_str(), O_WRONLY | O_CLOEXEC);
  bool edited = ::pwrite(fd, "8 1 8", 5, first_row) == 5 && ::fsync(fd) == 0;
  ::close(fd);
  fd = READER(f / "out.grd");
  DRAINED(fd, pid, SIZE_MAX);
  ::close(fd);
  EXPECT_EQ(std::system(("losetup -d " + input).c_str()), 0);
  ASSERT_TRUE(waiting && edited) << "the run never opened its output, or the edit failed";
  EXPECT_EQ(ENDING(pid, 60), 39);
  EXPECT_EQ(SHOWN(REPORT(READ_FILE(f / "err"))),
            SHOWN("forrtl: File changed by another program while it was read\r\nforrtl: severe "
                  "(39): error during read, unit 50, file " +
                  input + "\r\r\n"));
}

// --- Signals ignored at the start ----------------------------------------------------------

struct IgnoredSignal {
  const char* name;
  int signal_number;
  const char* trap;  // the shell's name of the signal
};

const IgnoredSignal kIgnoredSignals[] = {
    {"HangupUnderNohup", SIGHUP, "HUP"},
    {"ControlCInTheBackgroundOfAScript", SIGINT, "INT"},
    {"ControlBreak", SIGQUIT, "QUIT"},
};

class Ignored : public testing::TestWithParam<IgnoredSignal> {};

// The output is a FIFO read in two parts: between them the program waits in the middle of its
// cell records, and the signal comes then.
TEST_P(Ignored, SignalStaysIgnoredAndTheRunCompletes) {
  SKIP_UNLESS_LINUX("signals");
  const IgnoredSignal& c = GetParam();
  Folder f;
  std::string grid = ONES(100);  // 160 KB of records: more than a pipe holds
  WRITE_FILE(f / "in.asc", grid);
  ASSERT_EQ(::mkfifo((f / "out.grd").c_str(), 0666), 0);
  std::string trap = std::string("trap '' ") + c.trap + "; exec \"$0\" \"$@\"";
  pid_t pid = START(f, "in.asc\nout.grd\n1\n", {"sh", "-c", trap});
  int fd = READER(f / "out.grd");
  std::string got = DRAINED(fd, pid, 4096);
  ::kill(pid, c.signal_number);
  got += DRAINED(fd, pid, SIZE_MAX);
  ::close(fd);
  EXPECT_EQ(ENDING(pid, 60), 0);
  EXPECT_EQ(READ_FILE(f / "err"), "");
  std::string whole = CONVERTED(grid);
  EXPECT_EQ(got.size(), whole.size());
  EXPECT_TRUE(got == whole);
}

INSTANTIATE_TEST_SUITE_P(AtStart, Ignored, testing::ValuesIn(kIgnoredSignals),
                         CASE_NAME<IgnoredSignal>);

// --- An input rewritten while it is read ------------------------------------------------------

// Run in the folder with the program as "$0" "$@": holds it for two seconds as it moves back to the
// input's start before the rows (the seventh lseek: one per header value, then the rows), and
// meanwhile rewrites the input in place, as `cp` does; the exit status goes into the file status.
const std::string kRewriteBeforeTheRows =
    "strace -o trace -e trace=lseek -e inject=lseek:delay_enter=2000000:when=7"
    " \"$0\" \"$@\" <answers >/dev/null 2>err & tracer=$!\n"
    "k=0; until [ \"$(grep -o 'lseek(' trace | wc -l)\" -ge 7 ]; do sleep 0.01; k=$((k+1));"
    " [ $k -gt 1000 ] && exit 201; done\n"
    "cp new.asc in.asc\n"
    "wait $tracer; echo $? >status\n";

TEST(InputRewritten, WhileItIsReadIsAReadFailureAndNoOutput) {
  SKIP_UNLESS_LINUX("strace");
  if (std::system("strace -o /dev/null true 2>/dev/null") != 0)
    GTEST_SKIP() << "strace is not available here";
  Folder f;
  WRITE_FILE(f / "in.asc", kGrid);
  WRITE_FILE(f / "new.asc", "ncols 3\nnrows 2\n" + kCorner + "7 8 9\n9 -9999 7\n");
  WRITE_FILE(f / "answers", "in.asc\nout.grd\n1\n");
  Outcome run = RUN(f, "", {"sh", "-c", kRewriteBeforeTheRows});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(READ_FILE(f / "status"), "39\n");
  std::string report =
      "forrtl: File changed by another program while it was read\r\n"
      "forrtl: severe (39): error during read, unit 50, file " +
      (f / "in.asc").string() + "\r\r\n";
  EXPECT_EQ(SHOWN(READ_FILE(f / "err").substr(0, report.size())), SHOWN(report));
  EXPECT_FALSE(fs::exists(f / "out.grd"));
}

// --- The memory a cgroup allows --------------------------------------------------------------

// The cases of a memory cgroup: the program reads its limit only on Linux, with its extras.
#ifdef VELDRIX_LINUX_EXTRAS
#define SKIP_UNLESS_CGROUP_LIMIT_READ() SKIP_UNLESS_LINUX("a memory cgroup")
#else
#define SKIP_UNLESS_CGROUP_LIMIT_READ() \
  GTEST_SKIP() << "the Linux extras are off: no cgroup limit is read"
#endif

// A memory cgroup of the test's own, its limit set, removed at the end; no path where none can
// be made (no root, no cgroup file system, no memory controller).
struct MemoryCgroup {
  explicit MemoryCgroup(const std::string& limit) {
    const std::pair<fs::path, const char*> kHierarchies[] = {
        {"/sys/fs/cgroup/memory", "memory.limit_in_bytes"},  // v1
        {"/sys/fs/cgroup", "memory.max"}};                   // v2
    for (const auto& [root, file] : kHierarchies) {
      fs::path group = root / ("veldrix-test-" + std::to_string(::getpid()));
      if (::mkdir(group.c_str(), 0755) != 0) continue;
      int fd = ::open((group / file).c_str(), O_WRONLY | O_CLOEXEC);
      bool set = fd >= 0 && ::write(fd, limit.data(), limit.size()) == ssize_t(limit.size());
      if (fd >= 0) ::close(fd);
      if (set && fs::exists(group / "cgroup.procs")) {  // not a plain folder on a tmpfs
        path = group;
        return;
      }
      std::error_code ignored;
      fs::remove(group, ignored);
    }
  }
  ~MemoryCgroup() {
    if (!path.empty()) ::rmdir(path.c_str());
  }
  MemoryCgroup(const MemoryCgroup&) = delete;
  MemoryCgroup& operator=(const MemoryCgroup&) = delete;
  fs::path path;
};

// The store holds a band of rows at a time, so a grid whose cells alone pass the cgroup's limit
// (17.6 MB of cells in 16 MiB) converts inside it.
TEST(MemoryLimit, GridBeyondTheCgroupLimitConvertsABandAtATime) {
  SKIP_UNLESS_CGROUP_LIMIT_READ();
#if defined(__SANITIZE_ADDRESS__) || defined(__clang__)
  GTEST_SKIP() << "sanitized builds carry their own memory overhead";
#endif
  MemoryCgroup group("16777216");
  if (group.path.empty()) GTEST_SKIP() << "no memory cgroup of the test's own can be made here";
  Folder f;
  constexpr int kSize = 2100;
  std::string grid = "ncols 2100\nnrows 2100\n" + kCorner;
  for (int j = 0; j < kSize; ++j) grid += "2100*1.5\n";
  WRITE_FILE(f / "in.asc", grid);
  std::string join =
      "echo $$ > " + (group.path / "cgroup.procs").string() + " && exec \"$0\" \"$@\"";
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n", {"sh", "-c", join});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::string bytes = READ_FILE(f / "out.grd");
  const std::string record = " 1.5000000    \r\n";
  std::size_t head = bytes.size() - std::size_t{16} * kSize * kSize;
  ASSERT_EQ(bytes.compare(head, record.size(), record), 0) << SHOWN(bytes.substr(head, 16));
  std::size_t at = head;
  while (at < bytes.size() && bytes.compare(at, 16, record) == 0) at += 16;
  EXPECT_EQ(at, bytes.size()) << "record " << (at - head) / 16 << ": "
                              << SHOWN(bytes.substr(at, 16));
}

// An output on tmpfs takes the cgroup's memory, 16 bytes a cell, for as long as it lasts: 70.6 MB
// of records cannot fit in 16 MiB, and the run is refused before any is written. A device there
// (/dev/null is on devtmpfs) keeps nothing.
TEST(MemoryLimit, OutputInMemoryBeyondTheCgroupLimitIsRefusedUpFront) {
  SKIP_UNLESS_CGROUP_LIMIT_READ();
#if defined(__SANITIZE_ADDRESS__) || defined(__clang__)
  GTEST_SKIP() << "sanitized builds carry their own memory overhead";
#endif
  MemoryCgroup group("16777216");
  if (group.path.empty()) GTEST_SKIP() << "no memory cgroup of the test's own can be made here";
  if (!MAY_BE_IN_MEMORY("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  Folder f, shm("/dev/shm");
  std::string grid = "ncols 2100\nnrows 2100\n" + kCorner;
  for (int j = 0; j < 2100; ++j) grid += "2100*1.5\n";
  WRITE_FILE(f / "in.asc", grid);
  std::string join =
      "echo $$ > " + (group.path / "cgroup.procs").string() + " && exec \"$0\" \"$@\"";
  Outcome run = RUN(f, "in.asc\n" + (shm / "out.grd").string() + "\n1\n", {"sh", "-c", join});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(SHOWN(run.err),
            SHOWN("Grid too large for this machine's memory: ncols 2100, nrows 2100\r\n"));
  EXPECT_FALSE(fs::exists(shm / "out.grd"));
  Outcome dropped = RUN(f, "in.asc\n/dev/null\n1\n", {"sh", "-c", join});
  EXPECT_EQ(dropped.status, 0) << dropped.err;
}

// A grid near a cgroup's limit: what the run holds beside the store (the process, the output
// window, the pages being written back) decides, so the run converts or is refused, never killed.
struct NearTheLimit {
  const char* name;
  int size;  // of the grid, n x n
  int mebibytes;
  bool converts;  // must convert; otherwise either outcome
};

// A band of rows at a time: each of them converts now.
const NearTheLimit kNearTheLimit[] = {
    {"Grown95", 5000, 95, true},   {"Grown96", 5000, 96, true},   {"Grown97", 5000, 97, true},
    {"Grown98", 5000, 98, true},   {"Grown99", 5000, 99, true},   {"Grown100", 5000, 100, true},
    {"Grown101", 5000, 101, true}, {"Grown102", 5000, 102, true}, {"Grown103", 5000, 103, true},
    {"Grown104", 5000, 104, true}, {"Grown112", 5000, 112, true}, {"Static20", 2501, 20, true},
};

void PrintTo(const NearTheLimit& c, std::ostream* os) { *os << c.name; }

class MemoryNearTheLimit : public testing::TestWithParam<NearTheLimit> {};

TEST_P(MemoryNearTheLimit, ConvertsOrIsRefusedNeverKilled) {
  SKIP_UNLESS_CGROUP_LIMIT_READ();
#if !defined(__SANITIZE_ADDRESS__) && !defined(__clang__)
  const NearTheLimit& c = GetParam();
  MemoryCgroup group(std::to_string(c.mebibytes << 20));
  if (group.path.empty()) GTEST_SKIP() << "no memory cgroup of the test's own can be made here";
  Folder f;
  std::string n = std::to_string(c.size);
  std::string grid = "ncols " + n + "\nnrows " + n + "\n" + kCorner;
  for (int j = 0; j < c.size; ++j) grid += n + "*1\n";
  WRITE_FILE(f / "in.asc", grid);
  std::string join =
      "echo $$ > " + (group.path / "cgroup.procs").string() + " && exec \"$0\" \"$@\"";
  Outcome run = RUN(f, "in.asc\nout.grd\n1\n", {"sh", "-c", join});
  if (run.status == 0) {
    EXPECT_EQ(fs::file_size(f / "out.grd"), ONES_HEAD(c.size).size() + 16 * c.size * c.size);
    return;
  }
  EXPECT_FALSE(c.converts) << "refused";
  ASSERT_EQ(run.status, 1) << "killed by signal " << run.status - 128;
  EXPECT_EQ(SHOWN(run.err), SHOWN("Grid too large for this machine's memory: ncols " + n +
                                  ", nrows " + n + "\r\n"));
  EXPECT_FALSE(fs::exists(f / "out.grd"));
#else
  GTEST_SKIP() << "sanitized builds carry their own memory overhead";
#endif
}

INSTANTIATE_TEST_SUITE_P(Cgroup, MemoryNearTheLimit, testing::ValuesIn(kNearTheLimit),
                         CASE_NAME<NearTheLimit>);

}  // namespace
}  // namespace veldrix_test
