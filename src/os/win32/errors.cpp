#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>

#include "os/os.hpp"
#include "os/win32/text.hpp"

namespace veldrix {
namespace {

struct ReasonOfCode {
  DWORD code;
  OsReason reason;
};

constexpr ReasonOfCode kReasons[] = {
    {ERROR_FILE_NOT_FOUND, OsReason::kNoSuchFile},
    {ERROR_PATH_NOT_FOUND, OsReason::kNoSuchFile},
    {ERROR_ACCESS_DENIED, OsReason::kNoAccess},
    {ERROR_WRITE_PROTECT, OsReason::kReadOnlyDisk},
    {ERROR_DIRECTORY, OsReason::kIsFolder},
    {ERROR_INVALID_DRIVE, OsReason::kNoDevice},
    {ERROR_NOT_READY, OsReason::kNoDevice},
    {ERROR_BAD_NETPATH, OsReason::kNoDevice},
    {ERROR_BAD_NET_NAME, OsReason::kNoDevice},
    {ERROR_INVALID_NAME, OsReason::kBadName},
    {ERROR_BAD_PATHNAME, OsReason::kBadName},
    {ERROR_FILENAME_EXCED_RANGE, OsReason::kBadName},
    {ERROR_TOO_MANY_OPEN_FILES, OsReason::kTooManyOpen},
    {ERROR_OPERATION_ABORTED, OsReason::kInterrupted},
    {ERROR_NOT_SUPPORTED, OsReason::kNotSupported},
    {ERROR_INVALID_FUNCTION, OsReason::kNotSupported},
    {ERROR_SHARING_VIOLATION, OsReason::kWouldBlock},
    {ERROR_LOCK_VIOLATION, OsReason::kWouldBlock},
};

// The system's text, from a stack buffer: FormatMessageW allocates nothing when handed one.
std::wstring_view SYSTEM_TEXT(OsError error, std::span<wchar_t> wide) {
  const DWORD got = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(error), 0, wide.data(),
                                   static_cast<DWORD>(wide.size()), nullptr);
  std::wstring_view text(wide.data(), got);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.remove_suffix(1);
  }
  return text;
}

// "Error 1234" where the system has no text for the code.
std::string_view NUMBERED(OsError error, std::span<char> room) {
  char digits[12];
  std::size_t count = 0;
  auto left = static_cast<unsigned>(error);
  do {
    digits[count++] = static_cast<char>('0' + left % 10);
    left /= 10;
  } while (left != 0);
  constexpr std::string_view kLead = "Error ";
  if (room.size() < kLead.size() + count) return {};
  std::copy(kLead.begin(), kLead.end(), room.begin());
  std::reverse_copy(digits, digits + count, room.begin() + kLead.size());
  return {room.data(), kLead.size() + count};
}

}  // namespace

OsReason OS_REASON(OsError error) {
  for (const ReasonOfCode& row : kReasons) {
    if (row.code == static_cast<DWORD>(error)) return row.reason;
  }
  return OsReason::kOther;
}

std::string_view OS_ERROR_TEXT(OsError error, std::span<char> room) {
  wchar_t wide[512];
  const std::wstring_view text = SYSTEM_TEXT(error, wide);
  const std::size_t length = text.empty() ? 0 : BYTES_FROM(REPORT_CODE_PAGE(), text, room);
  if (length == 0) return NUMBERED(error, room);
  return {room.data(), length};
}

void OS_EXIT(std::uint32_t status) {
  // At once, as _exit: no library teardown races the threads that are still running.
  TerminateProcess(GetCurrentProcess(), status);
  ExitProcess(status);
}

}  // namespace veldrix
