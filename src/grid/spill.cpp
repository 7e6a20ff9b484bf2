#include "grid/spill.hpp"

#include <array>
#include <string>

#include "os/os.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

// A spill where files are kept in memory (tmpfs, ramfs; an overlay, whose upper layer may be
// tmpfs) could hold every band in memory, where reading the input again costs time only.
bool MAY_SPILL_ON(const FolderFacts& where, std::uint64_t bytes) {
  if (!where.known || where.in_memory || where.may_be_in_memory) return false;
  // A spill that would take more than half the room left would crowd out the output and every
  // other writer of the disk: the bands are read again instead.
  return bytes <= where.free_bytes / 2;
}

// A file with no name and room for `bytes` in the folder, gone with the process however it
// ends; kNoFile where none may be had. The output is opened after the first reading, and a spill
// that took the last handle would fail that open where reading the bands again would not.
FileHandle OPEN_SPILL(const SpillFile& spill, std::uint64_t bytes) {
  FileHandle file = kNoFile;
  if (!spill.allowed || OS_OPEN_SPILL(spill.folder, file) != 0) return kNoFile;
  if (!OS_HANDLE_LEFT(file) || !MAY_SPILL_ON(OS_FOLDER_FACTS(spill.folder), bytes)) {
    OS_CLOSE(file);
    return kNoFile;
  }
  return file;
}

void GIVE_UP(SpillFile& spill) {
  if (spill.fd != kNoFile) OS_CLOSE(spill.fd);
  spill.fd = kNoFile;
  spill.given_up = true;
}

// Where band b lies in the spill file: the rows north of it come first, as the first reading
// meets them, and the bytes it takes there, which are the store's first rows.
struct Place {
  std::int64_t at;
  std::size_t bytes;
};

Place PLACE_OF(const GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  BandRows rows = BAND_ROWS(cells, b, ny);
  auto row_bytes = static_cast<std::uint64_t>(nx) * sizeof(float);
  return {static_cast<std::int64_t>(static_cast<std::uint64_t>(ny - rows.north) * row_bytes),
          static_cast<std::size_t>(static_cast<std::uint64_t>(rows.count) * row_bytes)};
}

// The folder of the file that the output field names.
std::string OUTPUT_FOLDER(std::string_view output_field) {
  std::array<char, kNameMax + 1> name;
  std::size_t n = RESOLVE_NAME(output_field, name);
  return std::string(name.data(), OS_FOLDER_PART(std::string_view(name.data(), n)));
}

}  // namespace

// A device or a FIFO (/dev/null is on devtmpfs) keeps nothing.
bool OUTPUT_IN_MEMORY(std::string_view output_field) {
  std::array<char, kNameMax + 1> name;
  std::size_t n = RESOLVE_NAME(output_field, name);
  FileFacts output = OS_FACTS_OF_NAME(std::string_view(name.data(), n));
  if (output.known && output.kind != FileKind::kDisk) return false;
  return OS_FOLDER_FACTS(OUTPUT_FOLDER(output_field)).in_memory;
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
  if (spill.fd == kNoFile) spill.fd = OPEN_SPILL(spill, rows * static_cast<std::uint64_t>(nx) * 4);
  if (spill.fd == kNoFile) return GIVE_UP(spill);
  Place p = PLACE_OF(cells, b, nx, ny);
  std::string_view band(reinterpret_cast<const char*>(cells.z.data()), p.bytes);
  if (OS_WRITE_AT(spill.fd, band, p.at) != 0) GIVE_UP(spill);
}

bool RECALL_BAND(GridCells& cells, std::int32_t b, std::int32_t nx, std::int32_t ny) {
  if (cells.spill.fd == kNoFile) return false;
  Place p = PLACE_OF(cells, b, nx, ny);
  std::span<char> band(reinterpret_cast<char*>(cells.z.data()), p.bytes);
  std::size_t got = 0;
  if (OS_READ_AT(cells.spill.fd, band, p.at, got) != 0 || got != p.bytes) {
    GIVE_UP(cells.spill);
    return false;
  }
  // The bands north of it lie before it: cutting the file here hands back what was taken, 4
  // bytes a cell as the output grows by 16, so that the two never take more than the finished
  // output.
  if (p.at == 0) {
    OS_CLOSE(cells.spill.fd);
    cells.spill.fd = kNoFile;
  } else {
    (void)OS_SET_LENGTH(cells.spill.fd, p.at);
  }
  return true;
}

}  // namespace veldrix
