#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "os/os.hpp"

namespace veldrix {
namespace {

struct ReasonCase {
  const char* name;
  OsError error;
  OsReason want;
};

// One row for every refusal the program decides by.
const ReasonCase kReasonCases[] = {
    {"NoSuchFile", ENOENT, OsReason::kNoSuchFile},
    {"FolderOnThePathIsAFile", ENOTDIR, OsReason::kNoSuchFile},
    {"Denied", EACCES, OsReason::kNoAccess},
    {"NotPermitted", EPERM, OsReason::kNoAccess},
    {"ReadOnlyDisk", EROFS, OsReason::kReadOnlyDisk},
    {"Folder", EISDIR, OsReason::kIsFolder},
    {"NoSuchDeviceOrAddress", ENXIO, OsReason::kNoDevice},
    {"NoSuchDevice", ENODEV, OsReason::kNoDevice},
    {"NameTooLong", ENAMETOOLONG, OsReason::kBadName},
    {"Invalid", EINVAL, OsReason::kBadName},
    {"ProcessOutOfHandles", EMFILE, OsReason::kTooManyOpen},
    {"SystemOutOfHandles", ENFILE, OsReason::kTooManyOpen},
    {"Interrupted", EINTR, OsReason::kInterrupted},
    {"NotSupported", EOPNOTSUPP, OsReason::kNotSupported},
    {"NoLocks", ENOLCK, OsReason::kNoLocks},
    {"LockHeldElsewhere", EWOULDBLOCK, OsReason::kWouldBlock},
    {"DiskFull", ENOSPC, OsReason::kOther},
    {"InputOutput", EIO, OsReason::kOther},
    {"None", 0, OsReason::kOther},
};

class ReasonTest : public testing::TestWithParam<ReasonCase> {};

TEST_P(ReasonTest, IsTheProgramsReading) {
  EXPECT_EQ(OS_REASON(GetParam().error), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Errors, ReasonTest, testing::ValuesIn(kReasonCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The report's platform line is the system's own text, in the caller's room.
TEST(ErrorText, IsTheSystemsLineCutToTheRoom) {
  char room[256];
  std::string full = std::strerror(ENOSPC);
  std::string_view text = OS_ERROR_TEXT(ENOSPC, room);
  EXPECT_EQ(text, full);
  EXPECT_EQ(text.data(), room);  // never a pointer into the system's own buffers

  char small[5];
  EXPECT_EQ(OS_ERROR_TEXT(ENOSPC, small), full.substr(0, 5));
  EXPECT_EQ(OS_ERROR_TEXT(99999, room), std::strerror(99999));
}

}  // namespace
}  // namespace veldrix
