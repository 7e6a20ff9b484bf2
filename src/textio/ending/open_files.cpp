#include "textio/ending/open_files.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace veldrix {
namespace {

OpenFile g_open[kOpenFiles];

}  // namespace

OpenFile& OPEN_FILE(std::size_t index) { return g_open[index]; }

int TRIM(const OpenFile& f) {
  int fd = f.fd.load();
  std::int64_t kept = f.kept.load();
  struct stat info = {};
  if (fd < 0 || kept < 0 || ::fstat(fd, &info) != 0 || info.st_size <= kept) return 0;
  return ::ftruncate(fd, kept) == 0 ? 0 : errno;
}

void KEEP_COMPLETED_RECORDS() {
  for (const OpenFile& f : g_open) TRIM(f);
}

void CLOSE_ALL() {
  KEEP_COMPLETED_RECORDS();
  for (OpenFile& f : g_open) {
    int fd = f.fd.exchange(-1);
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace veldrix
