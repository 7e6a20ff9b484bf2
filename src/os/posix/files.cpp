// Files: open, identity, length, position, cut and close.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "os/os.hpp"

namespace veldrix {
namespace {

// A name as the system takes it: NUL-terminated. false for a name too long to be one here.
bool C_NAME(std::string_view name, std::span<char, kNameMax + 1> out) {
  if (name.size() > kNameMax) return false;
  std::copy(name.begin(), name.end(), out.begin());
  out[name.size()] = '\0';
  return true;
}

constexpr std::int64_t NANOSECONDS(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileKind KIND(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kDisk;
  if (S_ISFIFO(mode)) return FileKind::kPipe;
  if (S_ISDIR(mode)) return FileKind::kFolder;
  return FileKind::kDevice;
}

FileFacts FACTS(bool found, const struct stat& info) {
  if (!found) return {};
  return {true,
          KIND(info.st_mode),
          static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size),
          NANOSECONDS(info.st_mtim),
          NANOSECONDS(info.st_ctim)};
}

// An output FIFO is opened for writing only: opened for reading too, the program would be a
// reader of its own, and the grid would vanish into the pipe or fill it and block.
bool PIPE_NAME(const char* name) {
  struct stat info = {};
  return ::stat(name, &info) == 0 && S_ISFIFO(info.st_mode);
}

// Other programs may read an open file but not write it, as far as they keep to advisory locks.
// Only a disk file is locked: a device (/dev/null, a terminal) or a FIFO has one inode for every
// program on the machine, so a lock there would refuse runs that share nothing. A file system
// without locks is used unlocked; a lock that the file system emulates may refuse an exclusive
// lock on a read-only descriptor (EBADF): the read-only output then fails at its first write.
OsError LOCK(int fd, bool exclusive) {
  if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return 0;
  int error = errno;
  if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL || error == EBADF) return 0;
  return error;
}

}  // namespace

FileFacts OS_FACTS(FileHandle file) {
  struct stat info = {};
  return FACTS(::fstat(static_cast<int>(file), &info) == 0, info);
}

FileFacts OS_FACTS_OF_NAME(std::string_view name) {
  char c_name[kNameMax + 1];
  struct stat info = {};
  return FACTS(C_NAME(name, c_name) && ::stat(c_name, &info) == 0, info);
}

OsError OS_OPEN(std::string_view name, OpenFor how, OpenedFile& file) {
  file = {};
  char c_name[kNameMax + 1];
  if (!C_NAME(name, c_name)) return ENAMETOOLONG;
  bool writing = how == OpenFor::kWriting;
  bool pipe = writing && PIPE_NAME(c_name);
  int flags = (pipe ? O_WRONLY : O_RDWR) | O_CLOEXEC | (writing ? O_CREAT : 0);
  int fd = ::open(c_name, flags, 0666);
  if (fd < 0) {
    OsError refused = errno;
    OsReason reason = OS_REASON(refused);
    bool no_write_access = reason == OsReason::kNoAccess || reason == OsReason::kReadOnlyDisk;
    if (!no_write_access || pipe) return refused;  // a FIFO read-only would wait for ever
    fd = ::open(c_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return refused;
    file.read_only = true;
  }
  file.handle = fd;
  file.kind = OS_FACTS(fd).kind;
  OsError locked = file.kind == FileKind::kDisk ? LOCK(fd, writing) : 0;
  if (locked != 0) {
    ::close(fd);
    file = {};
  }
  return locked;
}

OsError OS_OPEN_AGAIN(FileHandle file, FileHandle& again) {
  // The descriptor's own entry names the open file itself, whatever has become of its name.
  char path[32] = "/proc/self/fd/";
  char* end = std::to_chars(path + 14, path + sizeof path - 1, file).ptr;
  *end = '\0';
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  again = fd;
  return fd < 0 ? errno : 0;
}

OsError OS_CLOSE(FileHandle file) { return ::close(static_cast<int>(file)) == 0 ? 0 : errno; }

OsError OS_SEEK(FileHandle file, std::int64_t to) {
  return ::lseek(static_cast<int>(file), to, SEEK_SET) < 0 ? errno : 0;
}

OsError OS_POSITION(FileHandle file, std::int64_t& at) {
  off_t here = ::lseek(static_cast<int>(file), 0, SEEK_CUR);
  if (here < 0) return errno;
  at = here;
  return 0;
}

OsError OS_LENGTH(FileHandle file, std::int64_t& length) {
  struct stat info = {};
  if (::fstat(static_cast<int>(file), &info) != 0) return errno;
  length = info.st_size;
  return 0;
}

OsError OS_SET_LENGTH(FileHandle file, std::int64_t length) {
  return ::ftruncate(static_cast<int>(file), length) == 0 ? 0 : errno;
}

OsError OS_TRIM(FileHandle file, std::int64_t kept) {
  struct stat info = {};
  if (::fstat(static_cast<int>(file), &info) != 0 || info.st_size <= kept) return 0;
  return ::ftruncate(static_cast<int>(file), kept) == 0 ? 0 : errno;
}

}  // namespace veldrix
