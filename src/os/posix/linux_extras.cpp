// The Linux calls behind extras.hpp.
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <span>
#include <string>
#include <string_view>

#include "os/posix/cgroup_text.hpp"
#include "os/posix/extras.hpp"

namespace veldrix {
namespace {

// The file systems that keep their files in memory, or may (statfs(2)). An overlay's upper
// layer is tmpfs on live systems and in some containers, and cannot be told from here.
constexpr unsigned long kTmpfs = 0x01021994, kRamfs = 0x858458f6, kOverlay = 0x794c7630;

// The start of a small file; empty when it cannot be read.
std::string_view READ_TEXT(const std::string& path, std::span<char> buffer) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::size_t n = 0;
  for (ssize_t got; n < buffer.size() && (got = ::read(fd, &buffer[n], buffer.size() - n)) > 0;)
    n += static_cast<std::size_t>(got);
  ::close(fd);
  return {buffer.data(), n};
}

}  // namespace

// fallocate, not posix_fallocate: where the file system cannot reserve, the latter writes zeros,
// which is neither a reservation nor fast.
Room RESERVE_BLOCKS(int fd, std::int64_t at, std::int64_t bytes) {
  int refused = 0;
  while ((refused = ::fallocate(fd, 0, at, bytes)) != 0 && errno == EINTR) {
  }
  if (refused == 0) return Room::kReserved;
  return errno == EOPNOTSUPP ? Room::kGrown : Room::kRefused;
}

bool POPULATE(void* at, std::size_t bytes) {
  return ::madvise(at, bytes, MADV_POPULATE_WRITE) == 0;
}

void LARGE_PAGES(void* at, std::size_t bytes) { (void)::madvise(at, bytes, MADV_HUGEPAGE); }

int OPEN_NAMELESS(const char* folder) {
  return ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

FolderKind FOLDER_KIND(const char* folder) {
  struct statfs where = {};
  if (::statfs(folder, &where) != 0) return {};
  auto type = static_cast<unsigned long>(where.f_type);
  return {type == kTmpfs || type == kRamfs, type == kOverlay};
}

// A limit set on a cgroup holds for every cgroup below it as well.
std::uint64_t GROUP_LIMIT() {
  char text[8192];
  CgroupLimitFile where;
  if (!CGROUP_LIMIT_FILE(READ_TEXT("/proc/self/cgroup", text), where)) return kNoLimit;
  std::uint64_t least = kNoLimit;
  std::string path = where.path;
  for (;;) {
    std::string folder = std::string(where.root) + (path == "/" ? "" : path);
    char value[64];
    least = std::min(least, LIMIT_VALUE(READ_TEXT(folder + "/" + std::string(where.file), value)));
    if (path.size() <= 1) return least;
    std::size_t slash = path.rfind('/');
    path = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
  }
}

std::uint64_t RESIDENT() {
  char text[256];
  std::string_view statm = READ_TEXT("/proc/self/statm", text);  // "size resident shared ..."
  std::size_t blank = statm.find(' ');
  if (blank == std::string_view::npos) return 0;
  std::uint64_t pages = 0;
  std::from_chars(statm.data() + blank + 1, statm.data() + statm.size(), pages);
  long page_size = ::sysconf(_SC_PAGE_SIZE);
  return page_size > 0 ? pages * static_cast<std::uint64_t>(page_size) : 0;
}

std::size_t AFFINITY() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 0;
  return static_cast<std::size_t>(CPU_COUNT(&set));
}

std::uintptr_t THREAD_KEY() { return static_cast<std::uintptr_t>(::gettid()); }

int REOPEN(int fd) {
  // The descriptor's own entry names the open file itself, whatever has become of its name.
  char path[32] = "/proc/self/fd/";
  char* end = std::to_chars(path + 14, path + sizeof path - 1, fd).ptr;
  *end = '\0';
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

}  // namespace veldrix
