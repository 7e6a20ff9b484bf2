// The job's physical floor with one populate: every input byte read with read() in 1 MiB pieces,
// the whole output's blocks reserved at once (fallocate), the file mapped whole, one
// MADV_POPULATE_WRITE over it, then the 16-byte records stored. No reader, no windows, no
// length grown on the way: what the kernel asks of any program that writes these bytes.
//   veldrix_page_floor out.grd 6255001 dem_2501.asc
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "read_once.hpp"

namespace {

// DSAA and the four header records of a 2501 x 2501 run; any other run's are a few bytes off.
constexpr std::size_t kHeaderBytes = 182;

int FAIL(const char* what) {
  std::perror(what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <file> <records> <input>\n", argv[0]);
    return 2;
  }
  if (READ_ONCE(argv[3]) == 0) return FAIL(argv[3]);
  std::size_t records = std::strtoull(argv[2], nullptr, 10);
  std::size_t bytes = kHeaderBytes + records * 16;
  int fd = ::open(argv[1], O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return FAIL(argv[1]);
  if (::fallocate(fd, 0, 0, static_cast<off_t>(bytes)) != 0) return FAIL("fallocate");
  void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (at == MAP_FAILED) return FAIL("mmap");
  if (::madvise(at, bytes, MADV_POPULATE_WRITE) != 0) return FAIL("madvise");
  char* out = static_cast<char*>(at);
  std::memcpy(out, "DSAA\r\n", 6);
  std::memset(out + 6, ' ', kHeaderBytes - 6);
  static const char kRecord[17] = "   1234.5670  \r\n";
  for (char* p = out + kHeaderBytes; records > 0; --records, p += 16) std::memcpy(p, kRecord, 16);
  if (::munmap(at, bytes) != 0) return FAIL("munmap");
  return ::close(fd) == 0 ? 0 : FAIL("close");
}
