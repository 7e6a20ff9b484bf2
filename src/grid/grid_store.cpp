#include "grid/grid_store.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "grid/memory_limit.hpp"
#include "os/os.hpp"
#include "textio/ending/failure.hpp"
#include "textio/files/record_slots.hpp"

namespace veldrix {
namespace {

// The line buffers and staging space a run may still touch after the check, as a bound.
constexpr std::uint64_t kLineBuffers = std::uint64_t{1} << 20;

// What the run holds beside a grown store of `bytes` until it ends: the process as it is at the
// check (code, libraries, the input's line buffer), the output window, the buffers still
// untouched, and a margin of 1/64 of the store for what the system keeps on the process's account
// (the store's page tables, 1/512 of it, and the output's pages still being written back, which a
// memory cgroup counts). A store that fits the limit alone would be killed as it fills.
std::uint64_t RUN_BESIDE_THE_STORE(std::uint64_t bytes) {
  return RESIDENT_BYTES() + kWindowBytes + kLineBuffers + bytes / 64;
}

[[noreturn]] void TOO_LARGE(std::int32_t nx, std::int32_t ny) {
  char columns[16], rows[16];
  STOP_RUN({"Grid too large for this machine's memory: ncols ",
            std::string_view(columns, std::to_chars(columns, columns + 16, nx).ptr), ", nrows ",
            std::string_view(rows, std::to_chars(rows, rows + 16, ny).ptr)});
}

// A bound on the bytes of the output's header; its records take 16 bytes a cell.
constexpr std::uint64_t kOutputHead = 512;

// An output held in memory is charged to the process's cgroup as it grows and is never given
// back while the run lasts: the whole of it, beside a store of `bytes` and what the run holds
// beside that, must fit, or the system kills the run part-way through the records.
void REFUSE_OUTPUT_BEYOND_MEMORY(std::int32_t nx, std::int32_t ny, std::uint64_t bytes) {
  std::uint64_t output = kOutputHead + std::uint64_t{16} * static_cast<std::uint64_t>(nx) *
                                           static_cast<std::uint64_t>(ny);
  std::uint64_t held = output + bytes, limit = MEMORY_FOR_FILES();
  if (held > limit || RUN_BESIDE_THE_STORE(bytes) > limit - held) TOO_LARGE(nx, ny);
}

// A bijection of 64-bit words in which inputs that differ in any bit give unrelated outputs.
constexpr std::uint64_t MIX(std::uint64_t x) {
  x = (x ^ x >> 33) * 0xFF51AFD7ED558CCDu;
  x = (x ^ x >> 33) * 0xC4CEB9FE1A85EC53u;
  return x ^ x >> 33;
}

}  // namespace

void FIT_CELLS(GridCells& cells, std::int32_t nx, std::int32_t ny) {
  if (nx <= 0 || ny <= 0) return;  // no cell is read
  // Both counts are below 2^31, so every count and byte count here fits in 64 bits.
  std::uint64_t row_bytes = static_cast<std::uint64_t>(nx) * sizeof(float);
  // The one place the memory limit still decides: the band, and with it a single row, may take
  // a quarter of it, leaving the rest for the output's window and the page cache; and the band
  // with what the run holds beside it must fit.
  std::uint64_t limit = MEMORY_LIMIT(), room = limit / 4;
  if (row_bytes > room) TOO_LARGE(nx, ny);
  std::uint64_t band = std::min(cells.band_bytes, room);
  auto rows = std::clamp<std::uint64_t>(band / row_bytes, 1, static_cast<std::uint64_t>(ny));
  std::uint64_t count = (static_cast<std::uint64_t>(ny) + rows - 1) / rows;
  std::uint64_t bytes = rows * row_bytes + count * sizeof(BandMark);
  if (bytes > limit || RUN_BESIDE_THE_STORE(bytes) > limit - bytes) TOO_LARGE(nx, ny);
  if (cells.output_in_memory) REFUSE_OUTPUT_BEYOND_MEMORY(nx, ny, bytes);
  // Zero pages until touched: only the pages a band touches count.
  void* z = OS_ZEROED_PAGES(rows * row_bytes);
  void* marks = OS_ZEROED_PAGES(count * sizeof(BandMark));
  if (z == nullptr || marks == nullptr) TOO_LARGE(nx, ny);
  cells.z = std::span(static_cast<float*>(z), static_cast<std::size_t>(rows) * nx);
  cells.column_capacity = nx;
  cells.row_capacity = static_cast<std::int32_t>(rows);
  cells.bands = std::span(static_cast<BandMark*>(marks), static_cast<std::size_t>(count));
}

// A fault per page of the store costs more than one call for all of them.
void PREPARE_ROWS(GridCells& cells) { OS_PREPARE_PAGES(std::as_writable_bytes(cells.z)); }

// Each cell's bits and its place in the row, one 64-bit word, through a bijective mix of
// multiplies and shifts (the finalizer of a common 64-bit hash), summed; the row, mixed with its
// place, then added to the sum. A mix with no linear part makes an edit that keeps sums of the
// bits (+d, -2d, +d), cells that change places and rows in another order all change the checksum,
// but by chance. A sum of rows lets the rows of a part be read by several threads at once.
void CHECKSUM_ROW(std::span<const float> row, std::int64_t row_place, std::uint64_t& sum) {
  std::uint64_t cells = 0, place = 0;
  for (float cell : row) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &cell, sizeof bits);
    cells += MIX(place++ << 32 | bits);
  }
  sum += MIX(cells ^ MIX(static_cast<std::uint64_t>(row_place) + 1));
}
}  // namespace veldrix
