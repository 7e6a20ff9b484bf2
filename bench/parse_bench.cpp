// Throughput of the grid-row read: one statement of 2501 single-precision values from one line,
// and the same through the general scanner alone.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "textio/lines/input_lines.hpp"
#include "textio/records/free.hpp"

namespace {

using namespace veldrix;

constexpr std::size_t kRow = 2501;

// Values such as "1067.123" separated by one blank, about one in a hundred "-9999".
std::string ROW_LINE() {
  std::mt19937 rng(20001010);
  std::uniform_int_distribution<int> metres(0, 4499), thousandths(0, 999), pick(0, 99);
  std::string line;
  char cell[24];
  for (std::size_t k = 0; k < kRow; ++k) {
    if (pick(rng) == 0) {
      line += "-9999";
    } else {
      std::snprintf(cell, sizeof cell, "%d.%03d", metres(rng), thousandths(rng));
      line += cell;
    }
    line += k + 1 < kRow ? " " : "";
  }
  return line;
}

// The statement as the program reads it, and with the general scanner alone (its oracle).
template <int (*kRead)(Reader&, std::span<const Target>)>
void BM_ReadRow2501(benchmark::State& state) {
  std::string line = ROW_LINE();
  static std::array<float, kRow> row;
  Target group = GROUP(row);
  for (auto _ : state) {
    Reader r;
    READER_STRING(r, line);
    if (kRead(r, std::span(&group, 1)) != 0) state.SkipWithError("row did not read");
    benchmark::DoNotOptimize(row.data());
    benchmark::ClobberMemory();
  }
  // In GB/s of 10^9 bytes: SetBytesProcessed would print GiB/s under the same "G/s".
  state.counters["bytes_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations() * line.size()),
                         benchmark::Counter::kIsRate, benchmark::Counter::kIs1000);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRow));
}
BENCHMARK(BM_ReadRow2501<READ_FREE_FROM>)->Name("BM_ReadRow2501");
BENCHMARK(BM_ReadRow2501<READ_FREE_FROM_GENERAL>)->Name("BM_ReadRow2501General");

}  // namespace
