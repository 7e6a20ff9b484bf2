#include "e2e/harness.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace veldrix_test {

const std::string kDialogue =
    " veldrix, version of October 10,2000     \r\n"
    "    Note: corrects for ARC export by increasing\r\n"
    "    xll, yll by 1/2 dx, dy\r\n"
    " Enter input filename (max. 60 char): \r\n"
    " Enter output .grd filename (max. 60 char): \r\n"
    " Enter conversion factor: \r\n";

Folder::Folder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "veldrix-XXXXXX").string();
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

Outcome RUN(const Folder& folder, const std::string& input,
            const std::vector<std::string>& prefix) {
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) std::abort();
  std::vector<std::string> words = prefix;
  words.push_back(VELDRIX_BINARY);
  pid_t child = ::fork();
  if (child == 0) {
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
