#include "grid/grid_store.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "grid/memory_limit.hpp"
#include "textio/ending/failure.hpp"
#include "textio/files/record_slots.hpp"

namespace veldrix {
namespace {

// Zero pages until touched: no pass fills the store.
float g_static_cells[static_cast<std::size_t>(kCapacity) * kCapacity];

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

}  // namespace

GridStore& GRID_STORE() {
  static GridStore store{GridCells{std::span(g_static_cells), kCapacity, kCapacity}};
  return store;
}

void FIT_CELLS(GridCells& cells, std::int32_t nx, std::int32_t ny) {
  if (nx <= 0 || ny <= 0) return;  // no cell is read
  bool fits = nx <= cells.column_capacity && ny <= cells.row_capacity;
  // The static store's pages count from the first row to the last one read, whole rows.
  // Both counts are below 2^31, so the cell count and its bytes fit in 64 bits.
  std::uint64_t count = static_cast<std::uint64_t>(fits ? cells.column_capacity : nx) *
                        static_cast<std::uint64_t>(ny);
  std::uint64_t bytes = count * sizeof(float);
  std::uint64_t limit = MEMORY_LIMIT();
  if (bytes > limit || RUN_BESIDE_THE_STORE(bytes) > limit - bytes || bytes > SIZE_MAX)
    TOO_LARGE(nx, ny);
  if (fits) return;
  void* at = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) TOO_LARGE(nx, ny);
  cells.z = std::span(static_cast<float*>(at), static_cast<std::size_t>(count));
  cells.column_capacity = nx;
  cells.row_capacity = ny;
}

// A fault per page of the store costs more than one call for all of them.
void PREPARE_ROWS(GridCells& cells, std::int32_t ny) {
  if (ny <= 0) return;
  std::size_t rows =
      std::min(static_cast<std::size_t>(ny), static_cast<std::size_t>(cells.row_capacity));
  std::size_t bytes = rows * static_cast<std::size_t>(cells.column_capacity) * sizeof(float);
  auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  auto start = reinterpret_cast<std::uintptr_t>(cells.z.data());
  std::uintptr_t first = start - start % page;
  ::madvise(reinterpret_cast<void*>(first), bytes + (start - first), MADV_POPULATE_WRITE);
}

}  // namespace veldrix
