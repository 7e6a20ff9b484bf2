#include "textio/files/record_slots.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "os/os.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {
namespace {

struct LengthCase {
  const char* name;
  std::size_t header;    // bytes before the first record
  std::int64_t records;  // of 16 bytes
};

const LengthCase kLengthCases[] = {
    {"OneRecord", 6, 1},
    {"LessThanAStep", 150, 1000001},
    {"ExactlyOneStep", 150, kLengthStep / 16},
    {"MoreThanOneStep", 150, std::int64_t{2501} * 2501},
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.name; }

std::int64_t LENGTH(const Connection& c) {
  struct stat info = {};
  return ::fstat(c.fd, &info) == 0 ? info.st_size : -1;
}

// Every record k is in its place: its number, right-aligned in its 14 columns.
void EXPECT_RECORDS_IN_PLACE(const std::string& path, std::size_t header, std::int64_t records) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), header + 16 * std::size_t(records));
  char record[32];
  for (std::int64_t k = 0; k < records; ++k) {
    std::snprintf(record, sizeof record, "%14lld\r\n", static_cast<long long>(k));
    ASSERT_EQ(bytes.compare(header + 16 * std::size_t(k), 16, record), 0) << "record " << k;
  }
}

class FileLength : public testing::TestWithParam<LengthCase> {};

// The length after each hand-out: it covers the slots handed out, runs at most a step ahead of
// the records done (what SIGKILL may leave as zero bytes), grows only when a window does not fit,
// and then a whole step ahead, or to the last record where that comes first. Each window starts
// at its place in the file, and every record lands in its own slot.
TEST_P(FileLength, RunsAStepAheadOfTheRecordsAndEndsWithTheLast) {
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: the length follows the records written";
#endif
  const LengthCase& t = GetParam();
  std::string path = testing::TempDir() + "/record_slots_" + t.name + ".grd";
  constexpr std::int32_t kUnit = 61;
  CONNECT(kUnit, path, "unknown");
  Connection& c = CONNECTION(kUnit);
  PUT_LINE(c, std::string(t.header - 2, 'h') + "\r\n");
  static RecordSlots slots;
  SLOTS_BEGIN(slots, c, 16);
  std::int64_t growths = 0, length = LENGTH(c);
  for (std::int64_t left = t.records; left > 0; --left) {
    if (slots.next == slots.limit) {
      std::int64_t before = length;
      SLOTS_MORE(slots, static_cast<std::size_t>(left));
      length = LENGTH(c);
      std::int64_t window_end = slots.done + (slots.limit - slots.next);
      ASSERT_GE(length, window_end) << "slots handed out past the file's end";
      if (length != before) {
        ++growths;
        ASSERT_LT(before, window_end) << "grown while the window fitted";
        ASSERT_EQ(length, slots.done + 16 * std::min(left, kLengthStep / 16));
      }
      ASSERT_LE(length - slots.done, kLengthStep);
      std::int64_t place = slots.done - (slots.next - slots.window);
      ASSERT_EQ(place % std::int64_t(kWindowBytes), 0) << "a window off its place";
      ASSERT_LE(slots.window_bytes, kWindowBytes + OS_MAP_GRANULE());
      // The window as the fault hook sees it: a fault at the first slot is at file offset done.
      const FaultWindow& w = FAULT_WINDOW();
      ASSERT_EQ(w.file, slots.mapped ? FILE_INDEX(c) : kOpenFiles);
      if (slots.mapped) {
        ASSERT_EQ(w.offset + (slots.next - w.begin), slots.done);
        ASSERT_GE(w.end, slots.limit);
      }
    }
    char record[32];
    std::snprintf(record, sizeof record, "%14lld\r\n", static_cast<long long>(t.records - left));
    std::memcpy(slots.next, record, 16);
    SLOT_DONE(slots);
  }
  SLOTS_END(slots);
  EXPECT_EQ(FAULT_WINDOW().file, kOpenFiles) << "a fault past the run still taken for its file";
  DISCONNECT(kUnit);
  EXPECT_EQ(growths, (t.records * 16 + kLengthStep - 1) / kLengthStep);
  EXPECT_RECORDS_IN_PLACE(path, t.header, t.records);
  std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(RecordSlots, FileLength, testing::ValuesIn(kLengthCases),
                         [](const testing::TestParamInfo<LengthCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace veldrix
