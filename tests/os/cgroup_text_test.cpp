#include "os/posix/cgroup_text.hpp"

#include <gtest/gtest.h>

namespace veldrix {
namespace {

struct CgroupText {
  const char* name;
  std::string_view text;  // as /proc/self/cgroup reads
  bool found;
  std::string_view root = "";
  std::string_view path = "";
  std::string_view file = "";
};

const CgroupText kCgroupTexts[] = {
    {"MemoryHierarchyOfItsOwn", "5:devices:/x\n4:memory:/process_api/44d2\n0::/\n", true,
     "/sys/fs/cgroup/memory", "/process_api/44d2", "memory.limit_in_bytes"},
    {"MemorySharingAHierarchy", "3:cpu,memory,pids:/a\n", true, "/sys/fs/cgroup/memory", "/a",
     "memory.limit_in_bytes"},
    {"UnifiedOnly", "0::/user.slice/session-2.scope\n", true, "/sys/fs/cgroup",
     "/user.slice/session-2.scope", "memory.max"},
    {"OwnHierarchyBeforeUnified", "0::/u\n7:memory:/m\n", true, "/sys/fs/cgroup/memory", "/m",
     "memory.limit_in_bytes"},
    {"RootCgroupWithoutLineEnd", "0::/", true, "/sys/fs/cgroup", "/", "memory.max"},
    {"ControllerNamedLikeMemory", "4:memoryx:/a\n", false},
    {"NamedHierarchyIsNotUnified", "1:name=systemd:/a\n", false},
    {"Empty", "", false},
    {"NoPath", "0::\n4:memory\n", false},
};

class CgroupFile : public testing::TestWithParam<CgroupText> {};

TEST_P(CgroupFile, NamesTheFileOfTheMemoryLimit) {
  const CgroupText& c = GetParam();
  CgroupLimitFile where;
  ASSERT_EQ(CGROUP_LIMIT_FILE(c.text, where), c.found);
  if (!c.found) return;
  EXPECT_EQ(where.root, c.root);
  EXPECT_EQ(where.path, c.path);
  EXPECT_EQ(where.file, c.file);
}

INSTANTIATE_TEST_SUITE_P(Texts, CgroupFile, testing::ValuesIn(kCgroupTexts),
                         [](const testing::TestParamInfo<CgroupText>& info) {
                           return info.param.name;
                         });

TEST(LimitValue, ReadsByteCountsAndTakesEverythingElseForNoLimit) {
  EXPECT_EQ(LIMIT_VALUE("419430400\n"), 419430400u);
  EXPECT_EQ(LIMIT_VALUE("9223372036854771712\n"), 9223372036854771712u);  // v1's "no limit"
  EXPECT_EQ(LIMIT_VALUE("0\n"), 0u);
  EXPECT_EQ(LIMIT_VALUE("max\n"), UINT64_MAX);
  EXPECT_EQ(LIMIT_VALUE(""), UINT64_MAX);  // no such file
  EXPECT_EQ(LIMIT_VALUE("-1\n"), UINT64_MAX);
  EXPECT_EQ(LIMIT_VALUE("12k\n"), UINT64_MAX);
  EXPECT_EQ(LIMIT_VALUE("99999999999999999999999\n"), UINT64_MAX);
}

}  // namespace
}  // namespace veldrix
