// Byte search sixteen bytes at a time: the msvcrt that MinGW-w64 links against, as Wine gives it,
// looks at one byte at a time.
#include <emmintrin.h>

#include <bit>
#include <cstring>

#include "os/os.hpp"

namespace veldrix {

// Fast path: under Wine, a 2501 x 2501 run takes 0.90 of its time with memchr (15 interleaved
// pairs, Wine's start included); the tail of fewer than sixteen bytes goes to memchr.
const char* OS_FIND_BYTE(std::string_view bytes, char byte) {
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; end - at >= 16; at += 16) {
    const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, wanted)));
    if (hits != 0) return at + std::countr_zero(hits);
  }
  return static_cast<const char*>(std::memchr(at, byte, static_cast<std::size_t>(end - at)));
}

}  // namespace veldrix
