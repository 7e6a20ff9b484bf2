#include "textio/files/parallel_fill.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "textio/files/connection.hpp"
#include "textio/files/record_slots.hpp"
#include "textio/records/free.hpp"

namespace veldrix {
namespace {

constexpr std::int32_t kUnit = 72;

struct ShareCase {
  std::int64_t items, shares;
};

const ShareCase kShareCases[] = {{1, 1}, {5, 2}, {7, 3}, {16, 16}, {17, 16}, {3, 16}, {1000, 7}};

// Every item lies in exactly one share, the shares in order and without a gap, each of
// items / shares items, rounded down or up.
TEST(Shares, CoverTheItemsInOrder) {
  for (const ShareCase& c : kShareCases) {
    EXPECT_EQ(SHARE_START(0, c.items, c.shares), 0) << c.items << "/" << c.shares;
    EXPECT_EQ(SHARE_START(c.shares, c.items, c.shares), c.items) << c.items << "/" << c.shares;
    for (std::int64_t k = 0; k < c.items; ++k) {
      std::int64_t i = SHARE_OF(k, c.items, c.shares);
      EXPECT_LE(SHARE_START(i, c.items, c.shares), k) << c.items << "/" << c.shares << " " << k;
      EXPECT_LT(k, SHARE_START(i + 1, c.items, c.shares)) << c.items << "/" << c.shares << " " << k;
    }
    for (std::int64_t i = 0; i < c.shares; ++i) {
      std::int64_t length =
          SHARE_START(i + 1, c.items, c.shares) - SHARE_START(i, c.items, c.shares);
      EXPECT_LE(length * c.shares, c.items + c.shares - 1)
          << c.items << "/" << c.shares << " " << i;
      EXPECT_GE(length * c.shares, c.items - c.shares + 1)
          << c.items << "/" << c.shares << " " << i;
    }
  }
}

TEST(Shares, OneThreadForEveryLeastShareAtMostACore) {
  EXPECT_EQ(SHARES(0), 1u);
  EXPECT_EQ(SHARES(2 * kLeastShare - 1), 1u);
  EXPECT_EQ(SHARES(2 * kLeastShare), std::min<std::size_t>(2, CORES()));
  EXPECT_EQ(SHARES(std::uint64_t{1} << 40), CORES());
}

TEST(OnCores, DoesEveryPartOnce) {
  std::array<int, kMaxCores> done{};
  ON_CORES(kMaxCores, [&done](std::size_t part) { ++done[part]; });
  for (int d : done) EXPECT_EQ(d, 1);
}

// A file of a header line and records of "r<k>\n" filled in runs at once: the runs cover the slots
// handed out exactly, in order and without a gap, and the joined file holds every record in order.
struct SplitCase {
  std::size_t records, runs;
};

const SplitCase kSplitCases[] = {{2, 2}, {7, 3}, {16, 16}, {100, 16}, {5, 16}};

std::string RECORD(std::size_t k) {
  char text[32];
  std::snprintf(text, sizeof text, "%05zu\n", k);
  return text;
}

TEST(SlotsSplit, RunsCoverTheSlotsInOrderAndJoinWhole) {
#ifndef VELDRIX_LINUX_EXTRAS
  GTEST_SKIP() << "the Linux extras are off: the records go out through write()";
#endif
  auto path = std::filesystem::temp_directory_path() / ("vdx_split_" + std::to_string(::getpid()));
  for (const SplitCase& c : kSplitCases) {
    CONNECT(kUnit, path.string(), "unknown");
    WRITE_FREE(kUnit, {ITEM(std::string_view("head"))});
    RecordSlots s;
    SLOTS_BEGIN(s, CONNECTION(kUnit), 6);
    std::int64_t head = s.done;
    SLOTS_MORE(s, c.records);
    ASSERT_TRUE(s.mapped);
    ASSERT_GE(static_cast<std::size_t>(s.limit - s.next), c.records * 6);
    std::array<SlotRun, kMaxCores> runs;
    char* first = s.next;
    SLOTS_SPLIT(s, c.records, std::span(runs.data(), c.runs));
    EXPECT_EQ(runs[0].next, first) << c.records << "/" << c.runs;
    for (std::size_t i = 0; i + 1 < c.runs; ++i) {
      EXPECT_EQ(runs[i].limit, runs[i + 1].next) << c.records << "/" << c.runs << " " << i;
    }
    EXPECT_EQ(runs[c.runs - 1].limit, first + c.records * 6) << c.records << "/" << c.runs;
    ON_CORES(c.runs, [&runs, first](std::size_t part) {
      for (SlotRun& r = runs[part]; r.next != r.limit; RUN_SLOT_DONE(r)) {
        RECORD(static_cast<std::size_t>(r.next - first) / 6).copy(r.next, 6);
      }
    });
    // Before the join, every ending keeps all of them.
    EXPECT_EQ(KEPT_NOW(FILE_OF(CONNECTION(kUnit))), head + static_cast<std::int64_t>(c.records * 6))
        << c.records << "/" << c.runs;
    SLOTS_JOINED(s, c.records);
    SLOTS_END(s);
    DISCONNECT(kUnit);
    std::string want;
    for (std::size_t k = 0; k < c.records; ++k) want += RECORD(k);
    std::ostringstream file;
    file << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(file.str().substr(static_cast<std::size_t>(head)), want)
        << c.records << "/" << c.runs;
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace veldrix
