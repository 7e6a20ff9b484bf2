#include "textio/files/connection.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <string>

#include "textio/ending/failure.hpp"
#include "textio/ending/interrupt.hpp"
#include "textio/ending/open_files.hpp"

namespace veldrix {
namespace {

constexpr std::size_t kReadBuffer = 128 * 1024;

// Slot i's file, when it has one, is entry i of the open files.
Connection g_slots[kOpenFiles];
char g_buffers[kOpenFiles][kReadBuffer];

struct ConsoleStream {
  std::int32_t unit;
  int fd;
  std::string_view name;
};

constexpr ConsoleStream kConsole[] = {
    {kConsoleInput, STDIN_FILENO, "CONIN$"},
    {kConsoleOutput, STDOUT_FILENO, "CONOUT$"},
};

std::size_t SLOT_INDEX(const Connection& c) { return static_cast<std::size_t>(&c - g_slots); }

Connection& FREE_SLOT(std::int32_t unit) {
  for (Connection& c : g_slots) {
    if (!c.in_use) return c;
  }
  FAIL_IO(kOpenFailure, unit, "", 0);
}

void SET_NAME(Connection& c, std::string_view name) {
  c.name_length = std::min(name.size(), kNameMax);
  std::copy_n(name.begin(), c.name_length, c.name_bytes.begin());
  c.name_bytes[c.name_length] = '\0';
}

Connection* FIND(std::int32_t unit) {
  for (Connection& c : g_slots) {
    if (c.in_use && c.unit == unit) return &c;
  }
  return nullptr;
}

bool NO_WRITE_ACCESS(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// An output FIFO is opened for writing only: opened for reading too, the program would be a
// reader of its own, and the grid would vanish into the pipe or fill it and block.
bool FIFO_OUTPUT(const Connection& c, bool create) {
  struct stat info = {};
  return create && ::stat(c.name_bytes.data(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// Opens read-write (an output FIFO write-only), once more read-only when write access is refused;
// returns the errno.
int OPEN(Connection& c, bool create) {
  bool fifo = FIFO_OUTPUT(c, create);
  int flags = (fifo ? O_WRONLY : O_RDWR) | O_CLOEXEC | (create ? O_CREAT : 0);
  c.fd = ::open(c.name_bytes.data(), flags, 0666);
  if (c.fd >= 0) return 0;
  int refused = errno;
  if (!NO_WRITE_ACCESS(refused) || fifo) return refused;  // a FIFO read-only would wait for ever
  c.fd = ::open(c.name_bytes.data(), O_RDONLY | O_CLOEXEC);
  if (c.fd < 0) return refused;
  c.read_only = true;
  return 0;
}

// Other programs may read an open file but not write it, as far as they keep to advisory locks:
// the output is locked for this run alone, the input against writers only. A lock held elsewhere
// refuses the open; a file system without locks is used unlocked.
// Only a disk file is locked: a device (/dev/null, a terminal) or a FIFO has one inode for every
// program on the machine, so a lock there would refuse runs that share nothing. A lock that the
// file system emulates may refuse an exclusive lock on a read-only descriptor (EBADF); the
// read-only output then fails at its first write as it should.
void LOCK(const Connection& c, bool exclusive, bool disk_file) {
  if (!disk_file || ::flock(c.fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return;
  int error = errno;
  if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL || error == EBADF) return;
  FAIL_IO(kOpenFailure, c.unit, c.name(), error);
}

// A name and the ".." after it are left out only where the name is a folder: after a symbolic
// link ".." leads to the parent of the link's target, and after a missing name or a file it
// fails, as the system has it when it opens the name.
bool FOLDER_BEFORE_DOTDOT(const std::filesystem::path& path) {
  struct stat info = {};
  return path.filename() != ".." && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The absolute path as lexically normal, but for a ".." after a name that is not a folder: that
// one is kept, so that the path names the file the system opens by it.
//   /d/./a/../b -> /d/b    /d/a/.. -> /d/    /d/link/../b -> /d/link/../b    /../b -> /b
std::filesystem::path WITHOUT_PLAIN_DOTS(const std::filesystem::path& absolute) {
  std::filesystem::path result;
  bool folder_end = false;  // the path ends in a separator
  for (const std::filesystem::path& part : absolute) {
    folder_end = part.empty() || part == ".";
    if (folder_end) continue;
    if (part != "..") {
      result /= part;
    } else if (result == result.root_path() || FOLDER_BEFORE_DOTDOT(result)) {
      result = result.parent_path();
      folder_end = true;
    } else {
      result /= part;
    }
  }
  if (folder_end && result.has_relative_path()) result /= "";
  return result;
}

bool MATCHES(std::string_view status, std::string_view word) {
  while (!status.empty() && status.back() == ' ') status.remove_suffix(1);
  return std::equal(status.begin(), status.end(), word.begin(), word.end(),
                    [](char a, char b) { return (a | 0x20) == b; });
}

}  // namespace

Connection& CONNECTION(std::int32_t unit) {
  if (Connection* c = FIND(unit)) return *c;
  for (const ConsoleStream& s : kConsole) {
    if (s.unit != unit) continue;
    Connection& c = FREE_SLOT(unit);
    c = Connection{};
    c.unit = unit;
    c.fd = s.fd;
    c.in_use = c.console = true;
    SET_NAME(c, s.name);
    READER_ATTACH(c.reader, s.fd, g_buffers[SLOT_INDEX(c)]);
    return c;
  }
  FAIL_IO(kOpenFailure, unit, "", 0);  // a file number used before its connect
}

std::size_t RESOLVE_NAME(std::string_view field, std::span<char, kNameMax + 1> out) {
  std::size_t first = field.find_first_not_of(' ');
  std::string_view name = first == std::string_view::npos ? "" : field.substr(first);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
  std::string_view result = name;
  std::string absolute;
  if (!name.empty() && name.find('\0') == std::string_view::npos) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::absolute(std::filesystem::path(name), error);
    if (!error) absolute = WITHOUT_PLAIN_DOTS(path).string();
    if (!error && absolute.size() < kNameMax + 1) result = absolute;
  }
  std::size_t n = std::min(result.size(), kNameMax);
  std::copy_n(result.begin(), n, out.begin());
  out[n] = '\0';
  return n;
}

void CONNECT(std::int32_t unit, std::string_view name_field, std::string_view status) {
  Connection& c = FREE_SLOT(unit);
  c = Connection{};
  c.unit = unit;
  c.name_length = RESOLVE_NAME(name_field, c.name_bytes);
  if (c.name().find('\0') != std::string_view::npos) FAIL_IO(kBadFileName, unit, c.name(), 0);
  bool create = MATCHES(status, "unknown");
  if (!create && !MATCHES(status, "old")) FAIL_IO(kOpenFailure, unit, c.name(), 0);
  if (int error = OPEN(c, create); error != 0) OPEN_FAILURE(error, unit, c.name());
  struct stat info = {};
  c.cut_before_write = ::fstat(c.fd, &info) == 0 && S_ISREG(info.st_mode);
  LOCK(c, create, c.cut_before_write);
  FILE_OF(c).kept.store(-1);
  FILE_OF(c).fd.store(c.fd);
  c.in_use = true;
  READER_ATTACH(c.reader, c.fd, g_buffers[SLOT_INDEX(c)]);
}

void REWIND(std::int32_t unit, std::int64_t offset) {
  Connection& c = CONNECTION(unit);
  if (::lseek(c.fd, offset, SEEK_SET) < 0) FAIL_IO(kRewindError, unit, c.name(), errno);
  READER_ATTACH(c.reader, c.fd, g_buffers[SLOT_INDEX(c)]);
  c.reader.origin = offset;
}

int OPEN_AGAIN(std::int32_t unit) {
  // The descriptor's own entry names the open file itself, whatever has become of its name.
  char path[32] = "/proc/self/fd/";
  char* end = std::to_chars(path + 14, path + sizeof path - 1, CONNECTION(unit).fd).ptr;
  *end = '\0';
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

void DISCONNECT(std::int32_t unit) {
  Connection& c = CONNECTION(unit);
  if (c.console) {
    c.in_use = false;
    return;
  }
  REFUSE_SHORTENED(c, FILE_OF(c).kept.load());
  if (int error = TRIM(FILE_OF(c)); error != 0) FAIL_IO(kCloseError, unit, c.name(), error);
  FILE_OF(c).kept.store(-1);
  FILE_OF(c).fd.store(-1);
  c.in_use = false;
  if (::close(c.fd) != 0) FAIL_IO(kCloseError, unit, c.name(), errno);
}

OpenFile& FILE_OF(const Connection& c) { return OPEN_FILE(SLOT_INDEX(c)); }

std::atomic<std::int64_t>& KEPT_LENGTH(const Connection& c) { return FILE_OF(c).kept; }

void REFUSE_SHORTENED(const Connection& c, std::int64_t length) {
  struct stat info = {};
  if (c.console || length <= 0 || ::fstat(c.fd, &info) != 0 || info.st_size >= length) return;
  FAIL_IO_BECAUSE(kWriteError, c.unit, c.name(), kFileShortened);
}

void PUT_RECORD(std::int32_t unit, RecordBuffer& record) {
  record.bytes[record.length] = '\r';
  record.bytes[record.length + 1] = '\n';
  PUT_LINE(CONNECTION(unit), std::string_view(record.bytes.data(), record.length + 2));
}

namespace {

// The first record written to a disk file starts it anew: the old file is cut where the record
// goes, before the record, so that however the run ends (SIGKILL included) no byte of a longer
// old file follows a record of this run.
int CUT_BEFORE_FIRST_RECORD(Connection& c) {
  c.cut_before_write = false;
  off_t here = ::lseek(c.fd, 0, SEEK_CUR);
  if (here < 0 || ::ftruncate(c.fd, here) != 0) return errno;
  KEPT_LENGTH(c).store(here);
  return 0;
}

}  // namespace

// A console event that comes while the record goes out waits for it, the first record's cut
// included; a failure report wins over a waiting event. A record written only in part is not
// counted, so every ending trims it.
void PUT_LINE(Connection& c, std::string_view line) {
  if (c.read_only) FAIL_IO(kWriteReadOnly, c.unit, c.name(), 0);
  HOLD_EVENTS();
  int error = c.cut_before_write ? CUT_BEFORE_FIRST_RECORD(c) : 0;
  std::size_t written = 0;
  if (error == 0) error = WRITE_ALL(c.fd, line, written);
  if (error > 0) FAIL_IO(kWriteError, c.unit, c.name(), error);
  std::atomic<std::int64_t>& kept = KEPT_LENGTH(c);
  if (error == 0 && kept.load() >= 0) kept.store(kept.load() + static_cast<std::int64_t>(written));
  SERVE_HELD_EVENT();
}

}  // namespace veldrix
