#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "os/os.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr double kU = 77;  // what every item holds before a read: "unchanged"
constexpr ItemType I = ItemType::Int32, R = ItemType::Real32, D = ItemType::Real64;

// A single-precision item's expected value is the decimal whose nearest binary32 it must hold.
// clang-format off
struct StrCase { ItemType type; std::string_view text; int status; double want; };
// clang-format on

TEST(FreeReadString, OneItemPerType) {
  // clang-format off
  const StrCase cases[] = {
      {I, "   2501", 0, 2501}, {I, "2501.0", 0, 2501}, {I, "2501.9", 0, 2501}, {I, "-2.7", 0, -2},
      {I, "+5", 0, 5}, {I, "25e2", 0, 2500}, {I, "2501 extra words", 0, 2501},
      {I, "-2147483648", 0, -2147483648.0}, {I, "", -1, kU}, {I, " \t  ", -1, kU},
      {I, "3000000000", 64, 0}, {I, "2147483648.0", 64, 0}, {I, "-3e9", 64, 0},
      {I, "T", 0, -1}, {I, "F", 0, 0}, {I, ".T", 0, -1}, {I, ".false", 0, 0}, {I, "3*7", 0, 7},
      {I, "3* 7", 0, kU}, {I, ",", 0, kU}, {I, "/", 0, kU}, {I, "abc", 59, kU},
      {I, "1.5.2", 59, kU}, {I, "1e5e3", 59, kU}, {I, ")", 59, kU}, {I, "E5", 59, kU},
      {I, "12a", 59, kU}, {D, "  523456.5", 0, 523456.5}, {D, "5.2E5", 0, 520000},
      {D, "5.2D5", 0, 520000}, {D, "5.2q5", 0, 520000}, {D, "500,000", 0, 500}, {D, ".5", 0, 0.5},
      {D, "5.", 0, 5}, {D, "15E2", 0, 1500}, {D, "-9999", 0, -9999}, {D, "1d-5", 0, 1e-5},
      {D, "T", 0, -1}, {D, ".f", 0, 0}, {D, "1e400", 64, kU}, {D, "1e-400", 0, 0},
      {D, "0.3048ft", 59, kU}, {R, "0.3048", 0, 0.3048}, {R, "99999.99", 0, 99999.9921875},
      // the usual grid token, with room after it: a tie, and the edge of exact singles
      {R, "1677721.7    ", 0, 1677721.75}, {R, "16777219.0   ", 0, 16777220},
      {R, "1.00000006   ", 0, 1.00000011920928955078125},
      {R, "1e39", 64, kU}, {R, "-1e39", 64, kU}, {R, "1e-50", 0, 0},
      {R, "1e-45", 0, std::numeric_limits<float>::denorm_min()},
      {R, "3.4028235e38", 0, std::numeric_limits<float>::max()}, {R, "T*5", 0, -1},
      {R, "Fx,2", 0, 0},  // a truth value runs on through letters and asterisks
      // Either side of the last exact power of ten of each type.
      {R, "7e10", 0, 7e10}, {R, "7e-10", 0, 7e-10}, {R, "7e11", 0, 7e11}, {R, "7e-11", 0, 7e-11},
      {D, "7e22", 0, 7e22}, {D, "7e-22", 0, 7e-22}, {D, "7e23", 0, 7e23}, {D, "7e-23", 0, 7e-23},
  };
  // clang-format on
  for (const StrCase& c : cases) {
    std::int32_t i = 77;
    float f = 77;
    double d = 77;
    EXPECT_EQ(READ_FREE_STR(c.text, c.type == I   ? INTO(i)
                                    : c.type == R ? INTO(f)
                                                  : INTO(d)),
              c.status)
        << c.text;
    double want = c.type == R ? static_cast<float>(c.want) : c.want;
    EXPECT_EQ(c.type == I ? i : c.type == R ? f : d, want) << c.text;
  }
}

// Statements of n values each, one after another; all but the last give status 0.
struct GroupCase {
  std::string data;
  std::size_t n;
  std::vector<std::vector<float>> groups;
  int last;
};

// Reads the case's groups one statement each from a pipe through an 8-byte buffer, so that
// tokens and blank runs lie across fills.
void REPLAY_GROUPS(const GroupCase& c) {
  const float U = static_cast<float>(kU);
  FileHandle read_end = kNoFile, write_end = kNoFile;
  std::size_t written = 0;
  ASSERT_EQ(OS_PIPE(read_end, write_end), 0);
  ASSERT_EQ(OS_WRITE_ALL(write_end, c.data, written), 0);
  ASSERT_EQ(written, c.data.size());
  OS_CLOSE(write_end);
  char storage[8];
  Reader r;
  READER_ATTACH(r, read_end, storage);
  for (std::size_t k = 0; k < c.groups.size(); ++k) {
    std::vector<float> got(c.n, U);
    const Target items[] = {GROUP(got)};
    ASSERT_EQ(RECORD_BEGIN(r), 0) << c.data.substr(0, 40);
    int want = k + 1 < c.groups.size() ? 0 : c.last;
    EXPECT_EQ(READ_FREE_FROM(r, items), want) << c.data.substr(0, 40);
    EXPECT_EQ(got, c.groups[k]) << c.data.substr(0, 40);
  }
  OS_CLOSE(read_end);
}

TEST(FreeReadRecords, GroupsOverSeveralLines) {
  const float U = static_cast<float>(kU);
  const std::string zeros(5000, '0');
  // clang-format off
  const GroupCase cases[] = {
      {"\n0.3048\n", 1, {{0.3048f}}, 0}, {"0.3048 feet\n", 1, {{0.3048f}}, 0},
      {"1,5\n", 1, {{1}}, 0}, {",\n", 1, {{U}}, 0}, {"/\n9\n", 1, {{U}, {9}}, 0},
      {"F\nT\n", 1, {{0}, {-1}}, 0}, {"1 2\n3 4 5\n6 7 8 9\n", 4, {{1, 2, 3, 4}, {6, 7, 8, 9}}, 0},
      {"1 2\n,3\n4\n", 4, {{1, 2, 3, 4}}, 0}, {",1 2 3 4\n", 4, {{U, 1, 2, 3}}, 0},
      {"2,\n,3\n", 3, {{2, U, 3}}, 0}, {" \t\n  ,\n", 2, {{U, U}}, -1},
      {"3*7 1\n", 4, {{7, 7, 7, 1}}, 0}, {"3* 1\n", 4, {{U, U, U, 1}}, 0},
      {"2*,5\n", 3, {{U, U, 5}}, 0}, {"1,,,2\n", 4, {{1, U, U, 2}}, 0},
      {"1 / 3\n4 5\n", 2, {{1, U}, {4, 5}}, 0}, {"1\t2\r\n3\r\n", 3, {{1, 2, 3}}, 0},
      {"T*5,2\n", 2, {{-1, 2}}, 0}, {"1 2\n3\n", 4, {{1, 2, 3, U}}, -1},
      {"1 2\n\x1a\n4\n", 4, {{1, 2, U, U}}, -1}, {"1 2\n3 x4\n", 4, {{1, 2, 3, U}}, 59},
      {"1 1e39\n", 2, {{1, U}}, 64}, {"0." + zeros + "1e5001 7\n", 2, {{1, 7}}, 0},
      // just above and just below the point halfway between 1 and the next binary32
      {"1.000000059604644775390625" + zeros + "1\n", 1, {{std::nextafter(1.0f, 2.0f)}}, 0},
      {"1.000000059604644775390624" + zeros + "9\n", 1, {{1}}, 0},
      // tokens longer than one fill of the 8-byte buffer: a signed exponent, 25 digits
      {"-12345678.25e-3 +0.0000125E+2\n", 2, {{-12345.67825f, 0.00125f}}, 0},
      {"1234567890123456789012345 0012345678901234567890.5\n", 2,
       {{1234567890123456789012345.0f, 12345678901234567890.5f}}, 0},
  };
  // clang-format on
  for (const GroupCase& c : cases) {
    REPLAY_GROUPS(c);
    if (HasFatalFailure()) return;  // as when the assertions stood in this loop
  }
}

// A random token: mostly the usual [-]digits.digits of a grid, sometimes a sign, an exponent,
// a repeat count or a character no number holds; and what stands between two tokens.
std::string RANDOM_TOKEN(std::mt19937& rng) {
  auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string t = pick(5) == 0 ? "-" : pick(40) == 0 ? "+" : "";
  for (int k = pick(11); k > 0; --k) t += static_cast<char>('0' + pick(10));
  if (pick(4) != 0) t += '.';
  for (int k = pick(11); k > 0; --k) t += static_cast<char>('0' + pick(10));
  if (pick(30) == 0) t += "e" + std::to_string(pick(80) - 40);
  if (pick(60) == 0) t.insert(0, "3*");
  if (pick(80) == 0) t.insert(static_cast<std::size_t>(pick(static_cast<int>(t.size()) + 1)), "x");
  const char* between[] = {" ", " ", " ", "\t", "  ", ",", " , ", "\t "};
  return t + between[pick(40) == 0 ? 4 + pick(4) : pick(4)];
}

// Reads the text from a block of its exact size with the fast paths and with the general scanner
// alone: the same status and the same bits in every item. The fast path reads words ahead, so
// the sanitized build sees any byte it reads beyond the record.
void AGREE_WITH_THE_GENERAL_SCANNER(const std::string& text, std::size_t items) {
  std::vector<float> fast(items, static_cast<float>(kU)), general = fast;
  Target a = GROUP(std::span(fast)), b = GROUP(std::span(general));
  std::vector<char> exact(text.begin(), text.end());
  Reader r, s;
  READER_STRING(r, std::string_view(exact.data(), exact.size()));
  READER_STRING(s, text);
  ASSERT_EQ(READ_FREE_FROM(r, std::span(&a, 1)), READ_FREE_FROM_GENERAL(s, std::span(&b, 1)))
      << text;
  ASSERT_EQ(std::memcmp(fast.data(), general.data(), items * sizeof(float)), 0) << text;
}

// The longest usual tokens, and short ones, as the last of a record: 0 to 3 blanks after them.
TEST(FreeReadRecords, UsualTokensAtTheRecordsEnd) {
  for (std::string last : {"-12345678.9", "-1234.56789", "123456789", "-0.5", "7"}) {
    for (std::string blanks : {"", " ", "  ", "   "}) {
      AGREE_WITH_THE_GENERAL_SCANNER("1.5 -2.25 3 40.125 " + last + blanks, 5);
      if (HasFatalFailure()) return;
    }
  }
}

// The statement with its fast paths and with the general scanner alone, on the same random rows.
TEST(FreeReadRecords, UsualTokensAgreeWithTheGeneralScanner) {
  std::mt19937 rng(19);
  constexpr std::size_t kItems = 48;
  for (int line = 0; line < 20000; ++line) {
    std::string text;
    while (text.size() < 400) text += RANDOM_TOKEN(rng);
    AGREE_WITH_THE_GENERAL_SCANNER(text, kItems);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace veldrix
