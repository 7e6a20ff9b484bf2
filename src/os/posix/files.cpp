// Files: open, identity, length, position, cut and close; reads and writes at an offset, the
// output's windows and the spill.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "os/os.hpp"
#include "os/posix/extras.hpp"

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
  int fd = REOPEN(static_cast<int>(file));
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

OsError OS_WRITES_AT_END(FileHandle file) {
  int fd = static_cast<int>(file);
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_APPEND) == 0 ? 0 : errno;
}

// pread and pwrite move at most about 2 GiB a call, and neither moves the file's position.
OsError OS_READ_AT(FileHandle file, std::span<char> into, std::int64_t at, std::size_t& got) {
  got = 0;
  while (got < into.size()) {
    ssize_t n = ::pread(static_cast<int>(file), into.data() + got, into.size() - got,
                        static_cast<off_t>(at + static_cast<std::int64_t>(got)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return 0;
}

OsError OS_WRITE_AT(FileHandle file, std::string_view bytes, std::int64_t at) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::pwrite(static_cast<int>(file), bytes.data() + written, bytes.size() - written,
                         static_cast<off_t>(at + static_cast<std::int64_t>(written)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

// The position is put back: a hole is sought from the start, which moves it.
std::int64_t OS_DATA_END(FileHandle file) {
  int fd = static_cast<int>(file);
  off_t end = -1;
#ifdef SEEK_HOLE
  off_t position = ::lseek(fd, 0, SEEK_CUR);
  end = ::lseek(fd, 0, SEEK_HOLE);
  if (position >= 0) ::lseek(fd, position, SEEK_SET);
#endif
  std::int64_t length = -1;
  if (end < 0 && OS_LENGTH(file, length) == 0) end = static_cast<off_t>(length);
  return end;
}

Room OS_RESERVE(FileHandle file, std::int64_t at, std::int64_t bytes) {
  int fd = static_cast<int>(file);
  Room room = RESERVE_BLOCKS(fd, at, bytes);
  if (room == Room::kGrown && ::ftruncate(fd, at + bytes) != 0) return Room::kRefused;
  return room;
}

std::size_t OS_MAP_GRANULE() {
  static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return page;
}

// One call makes every page of the window writable: a fault per page costs more. Where the
// blocks are not reserved it is also where they are taken, so a window that cannot have them all
// is refused. Where they are, the caller may make them writable in parts, one a thread.
OsError OS_MAP(FileHandle file, std::int64_t offset, std::size_t bytes, bool populate,
               MappedWindow& window) {
  void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, static_cast<int>(file),
                    static_cast<off_t>(offset));
  if (at == MAP_FAILED) return errno;
  if (populate && !POPULATE(at, bytes)) {
    OsError refused = errno;
    ::munmap(at, bytes);
    return refused;
  }
  window = {static_cast<char*>(at), bytes};
  return 0;
}

void OS_UNMAP(MappedWindow& window) {
  if (window.base != nullptr) ::munmap(window.base, window.bytes);
  window = {};
}

void OS_PREPARE_WINDOW(std::span<char> part) {
  if (part.empty()) return;
  auto start = reinterpret_cast<std::uintptr_t>(part.data());
  std::uintptr_t first = start - start % OS_MAP_GRANULE();
  (void)POPULATE(reinterpret_cast<void*>(first), part.size() + (start - first));
}

OsError OS_OPEN_SPILL(std::string_view folder, FileHandle& spill) {
  char c_name[kNameMax + 1];
  if (!C_NAME(folder.empty() ? "." : folder, c_name)) return ENAMETOOLONG;
  int fd = OPEN_NAMELESS(c_name);
  spill = fd;
  return fd < 0 ? errno : 0;
}

bool OS_HANDLE_LEFT(FileHandle file) {
  int spare = ::fcntl(static_cast<int>(file), F_DUPFD_CLOEXEC, 0);
  if (spare < 0) return false;
  ::close(spare);
  return true;
}

}  // namespace veldrix
