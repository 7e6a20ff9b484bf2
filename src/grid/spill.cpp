#include "grid/spill.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <string>

#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

// The file systems that keep their files in memory, or may (statfs(2)): a spill there could hold
// every band in memory, where reading the input again costs time only. An overlay's upper layer
// is tmpfs on live systems and in some containers, and cannot be told from here.
constexpr unsigned long kTmpfs = 0x01021994, kRamfs = 0x858458f6;
constexpr unsigned long kInMemory[] = {kTmpfs, kRamfs, 0x794c7630 /* overlay */};

bool MAY_SPILL_ON(const struct statfs& info, std::uint64_t bytes) {
  for (unsigned long magic : kInMemory) {
    if (static_cast<unsigned long>(info.f_type) == magic) return false;
  }
  // A spill that would take more than half the room left would crowd out the output and every
  // other writer of the disk: the bands are read again instead.
  auto room = static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_bsize);
  return bytes <= room / 2;
}

// Whether a descriptor is left beside `fd`: the output is opened after the first reading, and a
// spill that took the last one would fail that open where reading the bands again would not.
bool DESCRIPTOR_LEFT(int fd) {
  int spare = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (spare < 0) return false;
  ::close(spare);
  return true;
}

// An unnamed file of room for `bytes` in the folder, gone with the process however it ends; -1
// where none may be had.
int OPEN_SPILL(const SpillFile& spill, std::uint64_t bytes) {
  if (!spill.allowed) return -1;
  int fd = ::open(spill.folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct statfs info = {};
  if (!DESCRIPTOR_LEFT(fd) || ::fstatfs(fd, &info) != 0 || !MAY_SPILL_ON(info, bytes)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void GIVE_UP(SpillFile& spill) {
  if (spill.fd >= 0) ::close(spill.fd);
  spill.fd = -1;
  spill.given_up = true;
}

// Where band b lies in the spill file: the rows north of it come first, as the first reading
// meets them, and the bytes it takes there, which are the store's first rows.
struct Place {
  off_t at;
  std::size_t bytes;
};

Place PLACE_OF(const GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  BandRows rows = BAND_ROWS(cells, b, ny);
  auto row_bytes = static_cast<std::uint64_t>(nx) * sizeof(float);
  return {static_cast<off_t>(static_cast<std::uint64_t>(ny - rows.north) * row_bytes),
          static_cast<std::size_t>(static_cast<std::uint64_t>(rows.count) * row_bytes)};
}

// pwrite and pread move at most about 2 GiB a call; a band may be larger.
template <typename Call>
bool WHOLE(Call call, char* at, std::size_t bytes, off_t offset) {
  while (bytes > 0) {
    ssize_t n = call(at, bytes, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    bytes -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

// The folder of the file that the output field names.
std::string OUTPUT_FOLDER(std::string_view output_field) {
  std::array<char, kNameMax + 1> name;
  std::size_t n = RESOLVE_NAME(output_field, name);
  return std::filesystem::path(std::string(name.data(), n)).parent_path().string();
}

}  // namespace

// A device or a FIFO (/dev/null is on devtmpfs) keeps nothing.
bool OUTPUT_IN_MEMORY(std::string_view output_field) {
  std::array<char, kNameMax + 1> name;
  RESOLVE_NAME(output_field, name);
  struct stat info = {};
  if (::stat(name.data(), &info) == 0 && !S_ISREG(info.st_mode)) return false;
  std::string folder = OUTPUT_FOLDER(output_field);
  struct statfs where = {};
  if (::statfs(folder.empty() ? "." : folder.c_str(), &where) != 0) return false;
  auto type = static_cast<unsigned long>(where.f_type);
  return type == kTmpfs || type == kRamfs;
}

void SPILL_BESIDE(SpillFile& spill, std::string_view output_field) {
  std::string folder = OUTPUT_FOLDER(output_field);
  spill.folder = folder.empty() || folder.size() > kNameMax ? std::string(".") : folder;
}

void SPILL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  SpillFile& spill = cells.spill;
  if (spill.given_up) return;
  // Every band but the southern one: the rows north of the store's first band.
  auto rows = static_cast<std::uint64_t>(ny - cells.row_capacity);
  if (spill.fd < 0) spill.fd = OPEN_SPILL(spill, rows * static_cast<std::uint64_t>(nx) * 4);
  if (spill.fd < 0) return GIVE_UP(spill);
  Place p = PLACE_OF(cells, b, nx, ny);
  int fd = spill.fd;
  auto put = [fd](char* at, std::size_t bytes, off_t offset) {
    return ::pwrite(fd, at, bytes, offset);
  };
  if (!WHOLE(put, reinterpret_cast<char*>(cells.z.data()), p.bytes, p.at)) GIVE_UP(spill);
}

bool RECALL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  if (cells.spill.fd < 0) return false;
  Place p = PLACE_OF(cells, b, nx, ny);
  int fd = cells.spill.fd;
  auto take = [fd](char* at, std::size_t bytes, off_t offset) {
    return ::pread(fd, at, bytes, offset);
  };
  if (!WHOLE(take, reinterpret_cast<char*>(cells.z.data()), p.bytes, p.at)) {
    GIVE_UP(cells.spill);
    return false;
  }
  // The bands north of it lie before it: cutting the file here hands back what was taken, 4
  // bytes a cell as the output grows by 16, so that the two never take more than the finished
  // output.
  if (p.at == 0) {
    ::close(fd);
    cells.spill.fd = -1;
  } else {
    (void)::ftruncate(fd, p.at);
  }
  return true;
}

}  // namespace veldrix
