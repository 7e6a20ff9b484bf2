// The integer estimate of a decimal exponent behind the exact digits of the G field, and the
// general G field of a single-precision value (the library's digits, beside the cell's own), which
// only tests, fuzz targets and benchmarks call from outside number_format.cpp.
#pragma once

#include <span>

namespace veldrix {

// floor(e x log10 2) for |e| <= 1000: the decimal exponent of 2^e, by integer arithmetic.
int FLOOR_LOG10_POW2(int e);

// FORMAT_G of a single-precision value as the general routine writes it: the oracle of the cell's
// own G14.8.
void FORMAT_G_GENERAL(float value, int digits, std::span<char> out);

}  // namespace veldrix
