// The two ways to put cell records into a file on a file system that refuses to reserve blocks
// (fallocate fails: ramfs, ext2, many network file systems), each alone:
//   write  one write() per 16-byte record, as the record layer does there today;
//   map    a shared mapping of a 4 MiB window that ftruncate grew, without a reservation, the
//          records stored into it, a fault on a page (SIGBUS) trimmed to the whole records.
// It prints the seconds the records took and ends 0, or 38 after a refused write or a fault,
// the file holding the header and whole records only.
//   veldrix_unreserved write|map out.grd 6255001
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr std::string_view kHead = "DSAA\r\n";
constexpr std::string_view kRecord = "   1234.5670  \r\n";
constexpr std::size_t kWindow = std::size_t{4} << 20;

int g_fd = -1;
volatile off_t g_kept = 0;  // the header and the whole records stored so far

[[noreturn]] void FAILED(const char* why) {
  if (::ftruncate(g_fd, g_kept) != 0) std::perror("ftruncate");
  std::fprintf(stderr, "failed: %s, %lld bytes kept\n", why, static_cast<long long>(g_kept));
  std::_Exit(38);
}

void ON_BUS_ERROR(int) { FAILED("a fault on a mapped page"); }

void BY_WRITE(std::uint64_t records) {
  for (; records > 0; --records) {
    if (::write(g_fd, kRecord.data(), kRecord.size()) != ssize_t(kRecord.size()))
      FAILED(std::strerror(errno));
    g_kept = g_kept + off_t(kRecord.size());
  }
}

void BY_MAP(std::uint64_t records) {
  std::signal(SIGBUS, ON_BUS_ERROR);
  const off_t page = ::sysconf(_SC_PAGESIZE);
  while (records > 0) {
    off_t base = g_kept - g_kept % page;
    std::size_t offset = std::size_t(g_kept - base);
    std::uint64_t n = std::min<std::uint64_t>(records, (kWindow - offset) / kRecord.size());
    std::size_t bytes = offset + n * kRecord.size();
    if (::ftruncate(g_fd, base + off_t(bytes)) != 0) FAILED(std::strerror(errno));
    void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, g_fd, base);
    if (at == MAP_FAILED) FAILED(std::strerror(errno));
    if (::madvise(at, bytes, MADV_POPULATE_WRITE) != 0) FAILED("the window cannot be populated");
    char* slot = static_cast<char*>(at) + offset;
    for (std::uint64_t k = 0; k < n; ++k, slot += kRecord.size()) {
      std::memcpy(slot, kRecord.data(), kRecord.size());
      g_kept = g_kept + off_t(kRecord.size());
    }
    ::munmap(at, bytes);
    records -= n;
  }
  if (::ftruncate(g_fd, g_kept) != 0) FAILED(std::strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::string_view(argv[1]) != "write" && std::string_view(argv[1]) != "map")) {
    std::fprintf(stderr, "usage: %s write|map <file> <records>\n", argv[0]);
    return 2;
  }
  g_fd = ::open(argv[2], O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (g_fd < 0 || ::write(g_fd, kHead.data(), kHead.size()) != ssize_t(kHead.size())) {
    std::perror(argv[2]);
    return 2;
  }
  g_kept = off_t(kHead.size());
  std::uint64_t records = std::strtoull(argv[3], nullptr, 10);
  auto start = std::chrono::steady_clock::now();
  if (std::string_view(argv[1]) == "write")
    BY_WRITE(records);
  else
    BY_MAP(records);
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.4f\n", took.count());
  return ::close(g_fd) == 0 ? 0 : 38;
}
