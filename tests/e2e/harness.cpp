#include "e2e/harness.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace veldrix_test {

const std::string kDialogue =
    " veldrix, version of October 10,2000     \r\n"
    "    Note: corrects for ARC export by increasing\r\n"
    "    xll, yll by 1/2 dx, dy\r\n"
    " Enter input filename (max. 60 char): \r\n"
    " Enter output .grd filename (max. 60 char): \r\n"
    " Enter conversion factor: \r\n";

Folder::Folder(const std::filesystem::path& parent) {
  std::string pattern = (parent / "veldrix-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  path = pattern;
  std::filesystem::permissions(path, std::filesystem::perms::all);  // for unprivileged runs
}

Folder::~Folder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

namespace {

// Feeds the input and drains both outputs without blocking on any of them.
void EXCHANGE(int in, int out, int err, const std::string& input, Outcome& run) {
  std::size_t sent = 0;
  if (input.empty()) ::close(in), in = -1;
  while (out >= 0 || err >= 0) {
    pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {in, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0 && errno != EINTR) break;
    char buf[65536];
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
      if (n > 0) (k == 0 ? run.out : run.err).append(buf, static_cast<std::size_t>(n));
      if (n <= 0) ::close(fds[k].fd), (k == 0 ? out : err) = -1;
    }
    if (in >= 0 && fds[2].revents != 0) {
      ssize_t n = ::write(in, input.data() + sent, input.size() - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
      if (n < 0 || sent == input.size()) ::close(in), in = -1;
    }
  }
  if (in >= 0) ::close(in);
}

}  // namespace

std::vector<std::string> PROGRAM_WORDS() {
  const char* program = std::getenv("VELDRIX_E2E_PROGRAM");
  const char* runner = std::getenv("VELDRIX_E2E_RUNNER");
  std::vector<std::string> words;
  if (runner != nullptr && *runner != '\0') words.push_back(runner);
  // Absolute: each run starts in a folder of its own.
  words.push_back(program != nullptr && *program != '\0'
                      ? std::filesystem::absolute(program).string()
                      : VELDRIX_BINARY);
  return words;
}

bool ON_WINDOWS() {
  std::string name = PROGRAM_WORDS().back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name.ends_with(".exe");
}

std::string SHOWN_PATH(const std::filesystem::path& path) {
  std::string shown = path.string();
  if (!ON_WINDOWS()) return shown;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return "Z:" + shown;
}

Outcome RUN_WORDS(const Folder& folder, const std::string& input, std::vector<std::string> words) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) std::abort();
  // A program that closes its input early must not end the test by SIGPIPE; the program itself
  // starts with the default action, as from a shell.
  std::signal(SIGPIPE, SIG_IGN);
  pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    ::dup2(in[0], 0), ::dup2(out[1], 1), ::dup2(err[1], 2);
    if (::chdir(folder.path.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(in[0]), ::close(out[1]), ::close(err[1]);
  Outcome run;
  EXCHANGE(in[1], out[0], err[0], input, run);
  int status = 0;
  ::waitpid(child, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

Outcome RUN(const Folder& folder, const std::string& input, const std::vector<std::string>& prefix,
            const std::vector<std::string>& arguments) {
  std::vector<std::string> words = prefix, program = PROGRAM_WORDS();
  words.insert(words.end(), program.begin(), program.end());
  words.insert(words.end(), arguments.begin(), arguments.end());
  return RUN_WORDS(folder, input, std::move(words));
}

namespace {

// Reads `fifo`, opened without blocking, until `ended` is readable and nothing is left: a writer
// may open the FIFO late or never, and a program that opened it for reading and writing never
// lets the reader see an end of file while it runs.
std::string DRAINED(int fifo, int ended) {
  std::string bytes;
  char buf[65536];
  for (;;) {
    pollfd fds[2] = {{fifo, POLLIN, 0}, {ended, POLLIN, 0}};
    ::poll(fds, 2, 10);
    bool over = fds[1].revents != 0;  // seen before the last read, so that read gets everything
    ssize_t n;
    while ((n = ::read(fifo, buf, sizeof buf)) > 0) bytes.append(buf, static_cast<std::size_t>(n));
    if (over && n == 0) return bytes;
    if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // no writer yet
  }
}

}  // namespace

Piped RUN_TO_FIFO(const Folder& folder, const std::string& input, const std::string& output,
                  const std::vector<std::string>& prefix) {
  std::filesystem::path path = folder / output;
  std::filesystem::remove(path);
  Piped piped;
  int ended[2];
  if (::mkfifo(path.c_str(), 0666) != 0 || ::pipe2(ended, O_CLOEXEC) != 0) std::abort();
  // Opened before the program starts, so nothing it writes is lost with its last writer.
  int fifo = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fifo < 0) std::abort();
  std::thread reader([&] { piped.bytes = DRAINED(fifo, ended[0]); });
  piped.run = RUN(folder, input, prefix);
  ::close(ended[1]);
  reader.join();
  ::close(fifo), ::close(ended[0]);
  return piped;
}

void EXPECT_SAME_RUN(const Piped& piped, const Outcome& run, const std::string& bytes) {
  SCOPED_TRACE("the same run with its output into a FIFO");
  EXPECT_EQ(piped.run.status, run.status);
  EXPECT_EQ(SHOWN(piped.run.out), SHOWN(run.out));
  EXPECT_EQ(SHOWN(piped.run.err), SHOWN(run.err));
  EXPECT_EQ(piped.bytes.size(), bytes.size());
  EXPECT_TRUE(piped.bytes == bytes) << "the bytes differ";  // they may be megabytes long
}

const std::string kOneRecord = " 1.0000000    \r\n";

const std::string kWorkedGrid =
    "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 10\nNODATA_value -9999\n"
    "1 2 3\n4 -9999 6\n";

std::string HINTED(const std::string& key, const std::string& found) {
  bool cased = found.size() == key.size() &&
               std::equal(found.begin(), found.end(), key.begin(), [](char a, char b) {
                 return std::tolower(static_cast<unsigned char>(a)) ==
                        std::tolower(static_cast<unsigned char>(b));
               });
  return "Warning: \"" + key + "\" not found, but a line starts with \"" + found + "\"" +
         (cased ? ": keywords are matched exactly, case included"
                : ", which is not read in its place") +
         "; the README's section \"Files that are refused, and how to prepare them\" shows how to "
         "prepare the file\r\n";
}

std::string ONES_GRID(int n) {
  std::string grid = "ncols " + std::to_string(n) + "\nnrows " + std::to_string(n) +
                     "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  std::string row;
  for (int i = 0; i < n; ++i) row += "1 ";
  row += '\n';
  grid.reserve(grid.size() + row.size() * static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) grid += row;
  return grid;
}

// Written for the four-digit sizes the tests use: the upper corner then has 11 decimals.
std::string ONES_HEAD(int n) {
  char counts[32];
  std::snprintf(counts, sizeof counts, "%12d%12d\r\n", n, n);
  std::string xy = "  0.500000000000000        " + std::to_string(n - 1) + ".50000000000     \r\n";
  return "DSAA\r\n" + std::string(counts) + xy + xy +
         "   1.00000000000000        1.00000000000000     \r\n";
}

std::string READ_FILE(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WRITE_FILE(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string SHOWN(const std::string& bytes) {
  std::string shown;
  for (char c : bytes) {
    if (c == ' ')
      shown += "\xE2\x90\xA3";  // the open-box blank sign
    else if (c == '\r')
      shown += "\\r";
    else if (c == '\n')
      shown += "\\n\n";
    else
      shown += c;
  }
  return shown;
}

}  // namespace veldrix_test
