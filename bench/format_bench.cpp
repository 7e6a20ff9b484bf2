// Cost of one cell value in the grid writer: G14.8 of a single-precision value into the
// 14-character work text, through the record builder and through the field routine alone.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "textio/numbers/number_format.hpp"
#include "textio/records/fixed.hpp"
#include "textio/records/record_build.hpp"

namespace {

using namespace veldrix;

constexpr FieldSpec kCellValue[] = {REAL(14, 8)};

// Elevations in metres with two to four decimals, a few sea-floor depths and no-data cells.
std::vector<float> DEM_VALUES() {
  std::mt19937 rng(20001010);
  std::uniform_real_distribution<double> height(-50.0, 4500.0);
  std::uniform_int_distribution<int> pick(0, 99), decimals(2, 4);
  std::vector<float> v(4096);
  for (float& x : v) {
    int p = pick(rng);
    int d = decimals(rng);
    double scale = d == 2 ? 100.0 : d == 3 ? 1000.0 : 10000.0;
    double h = static_cast<double>(static_cast<std::int64_t>(height(rng) * scale)) / scale;
    x = p == 0 ? -9999.0f : static_cast<float>(h);
  }
  return v;
}

void BM_WriteFixedStrG14_8(benchmark::State& state) {
  std::vector<float> values = DEM_VALUES();
  std::array<char, 14> text;
  std::size_t i = 0;
  for (auto _ : state) {
    WRITE_FIXED_STR(text, kCellValue, {ITEM(values[i])});
    benchmark::DoNotOptimize(text);
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteFixedStrG14_8);

void BM_FormatG14_8(benchmark::State& state) {
  std::vector<float> values = DEM_VALUES();
  std::array<char, 14> text;
  std::size_t i = 0;
  for (auto _ : state) {
    FORMAT_G(values[i], 8, text);
    benchmark::DoNotOptimize(text);
    i = (i + 1) % values.size();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatG14_8);

}  // namespace
