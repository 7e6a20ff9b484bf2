#include "grid/grid_store.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "grid/memory_limit.hpp"
#include "textio/ending/failure.hpp"

namespace veldrix {
namespace {

// Zero pages until touched: no pass fills the store.
float g_static_cells[static_cast<std::size_t>(kCapacity) * kCapacity];

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
  if (nx <= cells.column_capacity && ny <= cells.row_capacity) return;
  // Both counts are below 2^31, so the cell count and its bytes fit in 64 bits.
  std::uint64_t count = static_cast<std::uint64_t>(nx) * static_cast<std::uint64_t>(ny);
  std::uint64_t bytes = count * sizeof(float);
  if (bytes > MEMORY_LIMIT() || bytes > SIZE_MAX) TOO_LARGE(nx, ny);
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
