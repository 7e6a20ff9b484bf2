#include "textio/lines/input_lines.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "os/os.hpp"
#include "textio/files/connection.hpp"
#include "textio/records/fixed.hpp"

namespace veldrix {
namespace {

// Every record of the bytes, read from a pipe through `storage` bytes of buffer; with `whole`
// false only the first visible piece of a record is taken and its rest is passed over.
std::vector<std::string> RECORDS(const std::string& bytes, std::size_t storage, bool whole) {
  FileHandle read_end = kNoFile, write_end = kNoFile;
  std::size_t written = 0;
  EXPECT_EQ(OS_PIPE(read_end, write_end), 0);
  EXPECT_EQ(OS_WRITE_ALL(write_end, bytes, written), 0);
  EXPECT_EQ(written, bytes.size());
  OS_CLOSE(write_end);
  std::vector<char> buffer(storage);
  Reader r;
  READER_ATTACH(r, read_end, buffer);
  std::vector<std::string> out;
  int status = 0;
  while ((status = RECORD_BEGIN(r)) == 0) {
    out.emplace_back(VISIBLE(r));
    for (r.pos = r.visible_end; whole && RECORD_MORE(r); r.pos = r.visible_end)
      out.back() += VISIBLE(r);
    // A record the reader still holds whole is the record read; a short one always is.
    std::string_view held;
    bool kept = whole && RECORD_WHOLE(r, held);
    if (kept) {
      EXPECT_EQ(held, out.back());
    }
    if (whole && out.back().size() <= std::min<std::size_t>(256, storage / 4)) {
      EXPECT_TRUE(kept) << out.back();
    }
  }
  EXPECT_EQ(status, kEndOfData) << "the data must end, not fail";
  OS_CLOSE(read_end);
  return out;
}

struct SplitCase {
  const char* case_name;
  std::string bytes;
  std::vector<std::string> records;
};

// Splitting through an eight-byte buffer, so that lines cross its refills.
// clang-format off
const SplitCase kSplitCases[] = {
    {"CrLfLfAndALastLineWithoutLf", "ab\r\ncd\nef", {"ab", "cd", "ef"}},
    {"CrLfSplitAcrossTwoRefills", "abcdefg\r\nxyz\n", {"abcdefg", "xyz"}},
    {"CrThatNoLfFollowsIsKept", "abcdefg\r", {"abcdefg\r"}},
    {"CrElsewhereIsOrdinary", "a\rb\n\r\r\n", {"a\rb", "\r"}},
    {"EmptyLines", "\n\r\n\n", {"", "", ""}},
    {"TabsAreKept", "\tx\t\n", {"\tx\t"}},
    {"NoBytesNoRecords", "", {}},
    {"LineLongerThanTheBuffer", "0123456789abcdefghijklmnop\r\nz",
     {"0123456789abcdefghijklmnop", "z"}},
    {"CtrlZLineEndsTheData", "a\n\x1a\nb\n", {"a"}},
    {"CtrlZLineWithCrLfEndsTheData", "a\n\x1a\r\nb\n", {"a"}},
    {"CtrlZLineAfterARefillEndsTheData", "1234567\n\x1a", {"1234567"}},
    {"CtrlZLineWithCrLfAfterARefillEndsTheData", "123456\n\x1a\r\nb", {"123456"}},
    {"LinesThatAreNotCtrlZAloneAreRecords", "\x1ax\n\x1a\r\x1a\n", {"\x1ax", "\x1a\r\x1a"}},
};
// clang-format on

class Splitting : public testing::TestWithParam<SplitCase> {};

TEST_P(Splitting, RecordsThroughAnEightByteBuffer) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(RECORDS(c.bytes, 8, true), c.records) << testing::PrintToString(c.bytes);
  EXPECT_EQ(RECORDS(c.bytes, 8, false).size(), c.records.size());
  EXPECT_EQ(RECORDS(c.bytes, 4096, true), c.records);
}

INSTANTIATE_TEST_SUITE_P(LineSplitting, Splitting, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                           return info.param.case_name;
                         });

// Text fields on input, a field of w columns into a text of n characters, from a file.
TEST(LineSplitting, TextFieldsAndStatusReads) {
  auto path = std::filesystem::temp_directory_path() / ("vdx_rec_" + std::to_string(::getpid()));
  std::ofstream(path, std::ios::binary)
      << "ncols 5\r\n\tx\n\n" + std::string(90, 'w') + "\nabcdef\nabcdef\n\x1a\nafter\n";
  CONNECT(70, path.string(), "old");
  // clang-format off
  const struct { int w; std::size_t n; int status; std::string text; } reads[] = {
      {80, 80, 0, "ncols 5" + std::string(73, ' ')}, {0, 3, 0, "\tx "},
      {80, 80, 0, std::string(80, ' ')}, {80, 80, 0, std::string(80, 'w')},
      {6, 4, 0, "cdef"}, {2, 4, 0, "ab  "}, {80, 80, -1, ""}, {80, 80, -1, ""},
  };
  // clang-format on
  for (const auto& rd : reads) {
    std::array<char, 80> text;
    const FieldSpec layout[] = {TEXT(rd.w)};
    EXPECT_EQ(READ_FIXED_STATUS(70, layout, {INTO(std::span(text).first(rd.n))}), rd.status);
    if (rd.status == 0) {
      EXPECT_EQ(std::string(text.data(), rd.n), rd.text);
    }
  }
  REWIND(70);  // readable again from the first line
  std::array<char, 5> first;
  EXPECT_EQ(READ_FIXED_STATUS(70, std::array{TEXT()}, {INTO(std::span(first))}), 0);
  EXPECT_EQ(std::string(first.data(), 5), "ncols");
  DISCONNECT(70);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace veldrix
