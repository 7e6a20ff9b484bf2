// The usual grid token against the general scanner: its boundaries in tables, then values of
// every digit count and point position, sampled, and all of them when VELDRIX_EXHAUSTIVE=1.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "textio/numbers/token.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::uint32_t kUntouched = 0x7FA5A5A5;  // a NaN that no read produces

std::uint32_t BITS(float f) { return std::bit_cast<std::uint32_t>(f); }

// The general scanner's values of the first count tokens of the text, as bits.
std::vector<std::uint32_t> GENERAL(std::string_view text, std::size_t count) {
  std::vector<float> values(count, std::bit_cast<float>(kUntouched));
  Target group = GROUP(std::span(values));
  Reader r;
  READER_STRING(r, text);
  EXPECT_EQ(READ_FREE_FROM_GENERAL(r, std::span(&group, 1)), 0) << text;
  std::vector<std::uint32_t> bits;
  for (float v : values) bits.push_back(BITS(v));
  return bits;
}

std::uint32_t GENERAL_VALUE(std::string_view token) {
  float value = std::bit_cast<float>(kUntouched);
  Target item = INTO(value);
  Reader r;
  READER_STRING(r, token);
  EXPECT_EQ(READ_FREE_FROM_GENERAL(r, std::span(&item, 1)), 0) << token;
  return BITS(value);
}

// The token read from a block of exactly kUsualTail bytes (the text, then '#'), so that the
// sanitized build sees any byte read beyond them: how many bytes it took, 0 for none; a token
// taken holds the general scanner's value, bit for bit.
std::size_t TAKEN(std::string_view text) {
  std::vector<char> block(kUsualTail, '#');
  std::memcpy(block.data(), text.data(), std::min(text.size(), block.size()));
  float value = std::bit_cast<float>(kUntouched);
  const char* after = USUAL_TOKEN(block.data(), value);
  if (after == nullptr) return 0;
  EXPECT_EQ(BITS(value), GENERAL_VALUE(text)) << text;
  return static_cast<std::size_t>(after - block.data());
}

// clang-format off
struct TokenCase { std::string_view text; std::size_t taken; };
// clang-format on

TEST(UsualToken, Boundaries) {
  // clang-format off
  const TokenCase cases[] = {
      // either side of 2^24, where the digits stop being exact in single precision
      {"1677721.5 ", 10}, {"1677721.6 ", 10}, {"1677721.7 ", 10}, {"-1677721.7 ", 11},
      {"167772.17 ", 10}, {"-16777.217 ", 11}, {"1.6777217 ", 10}, {"-.16777217 ", 11},
      {"1677721.8 ", 10}, {"1677721.9\t", 10}, {"16777.2155 ", 11}, {"16777215 ", 0},
      {"1.00000006 ", 11}, {"99999.99 ", 9}, {"0.3048 ", 7},
      // digit counts: seven without a point, eight or nine with one, and one more
      {"1234567 ", 8}, {"-1234567\t", 9}, {"12345678 ", 0}, {"1234567. ", 9},
      {"12345678. ", 0}, {"1234567.8 ", 10}, {"1234.5678 ", 10}, {".12345678 ", 10},
      {"1234567.89 ", 11}, {"1.23456789 ", 11}, {".123456789 ", 11}, {"-1234.56789 ", 12},
      {"-1234567.89 ", 12}, {"-.123456789 ", 12}, {"1.234567891 ", 0}, {"123456789 ", 0},
      {"-123456789 ", 0}, {"1234567.891 ", 0},
      // signs, points and what ends a token
      {"0 ", 2}, {"-0 ", 3}, {"7\t", 2}, {".5 ", 3}, {"-.5 ", 4}, {"5. ", 3}, {"-5. ", 4},
      {". ", 0}, {"-. ", 0}, {"- ", 0}, {"+5 ", 0}, {"--5 ", 0}, {"-+5 ", 0}, {"1.5.5 ", 0},
      {"1.5", 0}, {"1.5, ", 0}, {"1.5/ ", 0}, {"1.5e3 ", 0}, {"1.5x ", 0}, {"3*7 ", 0},
      {"1.5\r ", 0}, {"1.5\n", 0}, {" 1.5 ", 0},
  };
  // clang-format on
  for (const TokenCase& c : cases) EXPECT_EQ(TAKEN(c.text), c.taken) << '"' << c.text << '"';
}

// clang-format off
struct RunCase { std::string_view text; std::size_t room; std::size_t count; std::size_t after; };
// clang-format on

// A run over a text of its exact size: a token is taken only while kUsualTail bytes from its
// first lie in the text, blanks before it are passed over only with it.
TEST(UsualToken, RunStopsTwelveBytesBeforeTheEnd) {
  // clang-format off
  const RunCase cases[] = {
      {"-1234.56789 ", 4, 1, 12}, {"-1234.56789", 4, 0, 0}, {"1.5 -1234.56789 ", 4, 2, 16},
      {"1.5 -1234.56789", 4, 1, 4}, {"1.5 2.5 3.5 4.5", 4, 1, 4},
      {"1.5 2.5 3.5 4.5 5.5 ", 8, 3, 12}, {"1.5 2.5 3.5 4.5 5.5 ", 2, 2, 8},
      {"  1.5       ", 4, 0, 0}, {" 1.5         ", 4, 1, 5}, {"1.5 \t 2.5         ", 4, 2, 10},
      {"1.5  \t  2.5      ", 4, 1, 4}, {"1.5 x2 3.5 4.5 5.5 ", 4, 1, 4},
      {"1.5 2.5, 3.5 4.5 5.5 ", 4, 1, 4}, {"", 4, 0, 0},
  };
  // clang-format on
  for (const RunCase& c : cases) {
    std::vector<char> block(c.text.begin(), c.text.end());
    std::vector<float> out(c.room, std::bit_cast<float>(kUntouched));
    const char* p = block.data();
    std::size_t count = USUAL_RUN(p, p + block.size(), out);
    EXPECT_EQ(count, c.count) << '"' << c.text << '"';
    EXPECT_EQ(static_cast<std::size_t>(p - block.data()), c.after) << '"' << c.text << '"';
    if (count != c.count) continue;
    std::vector<std::uint32_t> want = GENERAL(c.text, count), got;
    for (std::size_t k = 0; k < count; ++k) got.push_back(BITS(out[k]));
    EXPECT_EQ(got, want) << '"' << c.text << '"';
  }
}

// The usual token of n / 10^places: nine digits with leading zeros where the point leaves no
// more than seven of them before it, else as many as the token may hold; a minus for odd n. It
// must be taken whole and hold the general scanner's value.
void SAME_AS_GENERAL(std::uint32_t n, int places) {
  std::size_t digits = places >= 2 ? 9 : 7 + static_cast<std::size_t>(places);
  std::size_t sign = n % 2, length = sign + digits + 2;  // the point and a blank
  std::size_t point = length - 2 - static_cast<std::size_t>(places);
  char text[kUsualTail];
  std::memset(text, '#', sizeof text);
  text[0] = '-';
  text[point] = '.';
  text[length - 1] = ' ';
  std::uint32_t v = n;
  for (std::size_t k = length - 2; k > point; --k, v /= 10)
    text[k] = static_cast<char>('0' + v % 10);
  for (std::size_t k = point; k-- > sign; v /= 10) text[k] = static_cast<char>('0' + v % 10);
  std::string_view token(text, length);
  float value = std::bit_cast<float>(kUntouched);
  ASSERT_EQ(USUAL_TOKEN(text, value), text + length) << token;
  ASSERT_EQ(BITS(value), GENERAL_VALUE(token)) << token;
}

// How many values each count of places sweeps: the digits the token may hold.
std::uint32_t VALUES_WITH(int places) {
  return places >= 2 ? 1'000'000'000 : places == 1 ? 100'000'000 : 10'000'000;
}

TEST(UsualTokenSweep, RandomValuesAgreeWithGeneralScanner) {
  std::mt19937 rng(24);
  for (int k = 0; k < 1'000'000; ++k) {
    int places = static_cast<int>(rng() % 10);
    std::uint32_t n = rng() % VALUES_WITH(places);
    if (k % 4 == 0) n = (std::uint32_t{1} << 24) - 512 + rng() % 1024;  // the edge of exact
    SAME_AS_GENERAL(n, places);
    if (HasFatalFailure()) return;
  }
}

// Every value a usual token holds, by every count of places: about 8 x 10^9 tokens.
TEST(UsualTokenSweep, EveryValue) {
  const char* on = std::getenv("VELDRIX_EXHAUSTIVE");
  if (on == nullptr || std::string_view(on) != "1") {
    GTEST_SKIP() << "about 8e9 tokens take about 16 minutes on one core; VELDRIX_EXHAUSTIVE=1 runs "
                    "them";
  }
  for (int places = 0; places <= 9; ++places) {
    for (std::uint32_t n = 0; n < VALUES_WITH(places); ++n) {
      SAME_AS_GENERAL(n, places);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace veldrix
