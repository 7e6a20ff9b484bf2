// Writes a DEM-like ARC ASCII grid for the whole-run benchmark: a smooth terrain with a little
// noise, values with three decimals, about 1% no-data cells (-9999). The same size always gives
// the same bytes.
//   veldrix_make_grid 2501 2501 dem_2501.asc
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// xorshift64*: fixed seed, so the grid never changes between runs or machines.
struct Random {
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  std::uint64_t NEXT() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1Dull;
  }
};

// The elevation of cell (i, j) in thousandths of a metre.
std::int64_t ELEVATION_MM(std::int64_t i, std::int64_t j, Random& random) {
  double x = static_cast<double>(i), y = static_cast<double>(j);
  double z = 1200.0 + 900.0 * std::sin(x / 310.0) * std::cos(y / 470.0) +
             180.0 * std::sin((x + 2.0 * y) / 97.0) + 40.0 * std::cos((3.0 * x - y) / 23.0);
  std::int64_t noise = static_cast<std::int64_t>(random.NEXT() % 4001) - 2000;  // +-2 m
  return std::llround(z * 1000.0) + noise;
}

char* PUT_CELL(char* p, std::int64_t mm) {
  if (mm < 0) {
    *p++ = '-';
    mm = -mm;
  }
  p += std::snprintf(p, 24, "%lld.%03lld", static_cast<long long>(mm / 1000),
                     static_cast<long long>(mm % 1000));
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <ncols> <nrows> <file>\n", argv[0]);
    return 2;
  }
  long ncols = std::strtol(argv[1], nullptr, 10), nrows = std::strtol(argv[2], nullptr, 10);
  if (ncols <= 0 || nrows <= 0) return 2;
  std::string final_name = argv[3], temp_name = final_name + ".part";
  std::FILE* out = std::fopen(temp_name.c_str(), "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "%s: %s\n", temp_name.c_str(), std::strerror(errno));
    return 1;
  }
  std::fprintf(out,
               "ncols         %ld\nnrows         %ld\nxllcorner     500000.000\n"
               "yllcorner     4100000.000\ncellsize      30.000\nNODATA_value  -9999\n",
               ncols, nrows);
  Random random;
  std::vector<char> row(static_cast<std::size_t>(ncols) * 24 + 2);
  for (long j = 0; j < nrows; ++j) {
    char* p = row.data();
    for (long i = 0; i < ncols; ++i) {
      if (i > 0) *p++ = ' ';
      if (random.NEXT() % 100 == 0) {
        std::memcpy(p, "-9999", 5);
        p += 5;
      } else {
        p = PUT_CELL(p, ELEVATION_MM(i, j, random));
      }
    }
    *p++ = '\n';
    std::fwrite(row.data(), 1, static_cast<std::size_t>(p - row.data()), out);
  }
  if (std::fclose(out) != 0 || std::rename(temp_name.c_str(), final_name.c_str()) != 0) {
    std::fprintf(stderr, "%s: %s\n", final_name.c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}
