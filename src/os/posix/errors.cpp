// Refusals: what the program makes of an errno, and the system's own line for it.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "os/os.hpp"

namespace veldrix {
namespace {

struct ReasonOf {
  OsError error;
  OsReason reason;
};

constexpr ReasonOf kReasons[] = {
    {ENOENT, OsReason::kNoSuchFile},    {ENOTDIR, OsReason::kNoSuchFile},
    {EACCES, OsReason::kNoAccess},      {EPERM, OsReason::kNoAccess},
    {EROFS, OsReason::kReadOnlyDisk},   {EISDIR, OsReason::kIsFolder},
    {ENXIO, OsReason::kNoDevice},       {ENODEV, OsReason::kNoDevice},
    {ENAMETOOLONG, OsReason::kBadName}, {EINVAL, OsReason::kBadName},
    {EMFILE, OsReason::kTooManyOpen},   {ENFILE, OsReason::kTooManyOpen},
    {EINTR, OsReason::kInterrupted},    {EOPNOTSUPP, OsReason::kNotSupported},
    {ENOLCK, OsReason::kNoLocks},       {EWOULDBLOCK, OsReason::kWouldBlock},
};

// The GNU strerror_r returns its text (often a constant); the XSI one fills the room.
[[maybe_unused]] const char* TEXT_OF(const char* gnu, const char*) { return gnu; }
[[maybe_unused]] const char* TEXT_OF(int xsi, const char* room) {
  return xsi == 0 ? room : "Unknown error";
}

}  // namespace

OsReason OS_REASON(OsError error) {
  for (const ReasonOf& r : kReasons) {
    if (r.error == error) return r.reason;
  }
  return OsReason::kOther;
}

std::string_view OS_ERROR_TEXT(OsError error, std::span<char> room) {
  if (room.empty()) return {};
  room[0] = '\0';
  const char* text = TEXT_OF(::strerror_r(error, room.data(), room.size()), room.data());
  std::string_view line(text, ::strnlen(text, room.size()));
  if (text == room.data()) return line;
  std::size_t n = std::min(line.size(), room.size());
  std::copy_n(line.begin(), n, room.begin());
  return {room.data(), n};
}

}  // namespace veldrix
