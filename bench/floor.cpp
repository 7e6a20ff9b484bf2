// The floor of a whole run: nothing but the run's record writes, one write() of 16 bytes (a
// 14-column cell and CR LF) per record, to a fresh file.
//   veldrix_floor out.bin 6255006
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <file> <writes>\n", argv[0]);
    return 2;
  }
  long long count = std::strtoll(argv[2], nullptr, 10);
  int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  static const char kRecord[17] = "   1234.5670  \r\n";
  for (long long k = 0; k < count; ++k) {
    if (::write(fd, kRecord, 16) != 16) {
      std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
      return 1;
    }
  }
  return ::close(fd) == 0 ? 0 : 1;
}
