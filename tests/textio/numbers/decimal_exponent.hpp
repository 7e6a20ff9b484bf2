// The integer estimate of a decimal exponent behind the exact digits of the G field, which only
// tests call from outside number_format.cpp.
#pragma once

namespace veldrix {

// floor(e x log10 2) for |e| <= 1000: the decimal exponent of 2^e, by integer arithmetic.
int FLOOR_LOG10_POW2(int e);

}  // namespace veldrix
