// Cost of one cell value in the grid writer: G14.8 of a single-precision value into the
// 14-character work text, through the record builder and through the field routine alone; the
// field routine also on a mix of every form a cell takes, and through the general routine.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "textio/numbers/number_format.hpp"
#include "textio/records/fixed.hpp"

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

// A cell mix: mostly elevations, a tenth negative values below 1, a tenth values that take the
// exponent form (below 0.1 or from 10^8 on), and a few no-data values and zeros.
std::vector<float> CELL_MIX() {
  std::vector<float> v = DEM_VALUES();
  std::mt19937 rng(148);
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_real_distribution<double> unit(0.0, 1.0), exponent(-30.0, 30.0);
  for (float& x : v) {
    int p = pick(rng);
    if (p < 10) x = static_cast<float>(-unit(rng));
    if (p >= 10 && p < 20) x = static_cast<float>(std::pow(10.0, exponent(rng)));
    if (p == 20) x = -9999.0f;
    if (p == 21) x = 0.0f;
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

void CELL_FIELD(float value, int digits, std::span<char> out) { FORMAT_G(value, digits, out); }

// The field routine alone on a set of values; the loop costs no division (a power-of-two size).
template <std::vector<float> (*kValues)(), void (*kFormat)(float, int, std::span<char>)>
void BM_Field(benchmark::State& state) {
  std::vector<float> values = kValues();
  std::array<char, 14> text;
  std::size_t i = 0;
  for (auto _ : state) {
    kFormat(values[i], 8, text);
    benchmark::DoNotOptimize(text);
    i = (i + 1) & (values.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Field<DEM_VALUES, CELL_FIELD>)->Name("BM_FormatG14_8");
BENCHMARK(BM_Field<CELL_MIX, CELL_FIELD>)->Name("BM_CellMixG14_8");
BENCHMARK(BM_Field<CELL_MIX, FORMAT_G_GENERAL>)->Name("BM_CellMixG14_8General");

}  // namespace
