#include "textio/ending/open_files.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace veldrix {
namespace {

struct Run {
  std::int64_t start, end, done;
};

struct KeptCase {
  const char* name;
  std::int64_t kept;
  std::vector<Run> runs;  // entries from the first; the others out of use
  std::int64_t want;
};

// Records of 16 bytes after a header of 100.
const KeptCase kKeptCases[] = {
    {"NoRuns", 132, {}, 132},
    {"BeforeTheFirstRecordCut", -1, {{0, 32, 32}}, -1},
    {"FirstRunUnderWay", 100, {{100, 164, 32}, {164, 228, 64}}, 132},
    {"FirstRunDoneSecondUnderWay", 100, {{100, 164, 64}, {164, 228, 16}}, 180},
    {"AllRunsDone", 100, {{100, 164, 64}, {164, 228, 64}}, 228},
    {"NothingOfTheFirstRunYet", 100, {{100, 164, 0}, {164, 228, 64}}, 100},
    // An earlier window's runs, all counted already, are passed over.
    {"RunsOfAnEarlierWindow", 228, {{100, 164, 64}, {164, 228, 64}}, 228},
    {"GapBeforeARun", 100, {{132, 164, 32}}, 100},
};

class Kept : public testing::TestWithParam<KeptCase> {};

TEST_P(Kept, IsTheLongestPrefixOfCompleteRecords) {
  OpenFile f;
  f.kept.store(GetParam().kept);
  for (std::size_t i = 0; i < GetParam().runs.size(); ++i) {
    f.runs[i].start.store(GetParam().runs[i].start);
    f.runs[i].end.store(GetParam().runs[i].end);
    f.runs[i].done.store(GetParam().runs[i].done);
  }
  EXPECT_EQ(KEPT_NOW(f), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(OpenFiles, Kept, testing::ValuesIn(kKeptCases),
                         [](const testing::TestParamInfo<KeptCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace veldrix
