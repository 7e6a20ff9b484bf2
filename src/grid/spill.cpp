#include "grid/spill.hpp"

#include <fcntl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

std::array<char, kNameMax + 1> g_folder = {'.', '\0'};

// The file systems that keep their files in memory (statfs(2)): a spill there would hold every
// band in memory, where reading the input again costs time only.
constexpr unsigned long kTmpfsMagic = 0x01021994;
constexpr unsigned long kRamfsMagic = 0x858458f6;

// An unnamed file in the folder, gone with the process however it ends; -1 where none may be had.
int OPEN_SPILL() {
  const char* setting = std::getenv("VELDRIX_SPILL");
  if (setting != nullptr && std::string_view(setting) == "0") return -1;
  int fd = ::open(g_folder.data(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  struct statfs info = {};
  if (::fstatfs(fd, &info) != 0 || static_cast<unsigned long>(info.f_type) == kTmpfsMagic ||
      static_cast<unsigned long>(info.f_type) == kRamfsMagic) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void GIVE_UP(GridCells& cells) {
  if (cells.spill >= 0) ::close(cells.spill);
  cells.spill = -1;
  cells.spill_given_up = true;
}

// Where band b lies in the spill file: the rows north of it come first, as the first reading
// meets them, and the bytes it takes there, which are the store's first rows.
struct Place {
  off_t at;
  std::size_t bytes;
};

Place PLACE_OF(const GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  std::int32_t north = BAND_NORTH(cells, b, ny);
  auto row_bytes = static_cast<std::uint64_t>(nx) * sizeof(float);
  auto rows = static_cast<std::uint64_t>(north - BAND_SOUTH(cells, b) + 1);
  return {static_cast<off_t>(static_cast<std::uint64_t>(ny - north) * row_bytes),
          static_cast<std::size_t>(rows * row_bytes)};
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

}  // namespace

void SPILL_BESIDE(std::string_view output_field) {
  std::array<char, kNameMax + 1> name;
  std::size_t n = RESOLVE_NAME(output_field, name);
  std::string folder = std::filesystem::path(std::string(name.data(), n)).parent_path().string();
  std::string_view chosen = folder;
  if (chosen.empty() || chosen.size() > kNameMax) chosen = ".";
  chosen.copy(g_folder.data(), chosen.size());
  g_folder[chosen.size()] = '\0';
}

void SPILL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  if (cells.spill_given_up) return;
  if (cells.spill < 0) cells.spill = OPEN_SPILL();
  if (cells.spill < 0) return GIVE_UP(cells);
  Place p = PLACE_OF(cells, b, nx, ny);
  int fd = cells.spill;
  auto put = [fd](char* at, std::size_t bytes, off_t offset) {
    return ::pwrite(fd, at, bytes, offset);
  };
  if (!WHOLE(put, reinterpret_cast<char*>(cells.z.data()), p.bytes, p.at)) GIVE_UP(cells);
}

bool RECALL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  if (cells.spill < 0) return false;
  Place p = PLACE_OF(cells, b, nx, ny);
  int fd = cells.spill;
  auto take = [fd](char* at, std::size_t bytes, off_t offset) {
    return ::pread(fd, at, bytes, offset);
  };
  if (!WHOLE(take, reinterpret_cast<char*>(cells.z.data()), p.bytes, p.at)) {
    GIVE_UP(cells);
    return false;
  }
  // The bands north of it lie before it: cutting the file here hands back what was taken, 4
  // bytes a cell as the output grows by 16, so that the two never take more than the finished
  // output.
  if (p.at == 0) {
    ::close(fd);
    cells.spill = -1;
  } else {
    (void)::ftruncate(fd, p.at);
  }
  return true;
}

}  // namespace veldrix
