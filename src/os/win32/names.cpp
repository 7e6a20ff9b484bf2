#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>

#include "os/name_bytes.hpp"
#include "os/os.hpp"
#include "os/win32/text.hpp"

namespace veldrix {
namespace {

bool IS_CONSOLE(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// The answer typed at a console is in the console's input code page; one that comes from a
// pipe or a file has no code page of its own.
unsigned ANSWER_CONSOLE_CODE_PAGE() { return IS_CONSOLE(STD_INPUT_HANDLE) ? GetConsoleCP() : 0; }

std::size_t AS_TYPED(std::string_view typed, std::span<char, kNameMax + 1> out) {
  const std::size_t length = std::min(typed.size(), kNameMax);
  std::copy_n(typed.begin(), length, out.begin());
  out[length] = '\0';
  return length;
}

// Appends the decimal digits of `value` at `at`; the new end.
std::size_t APPEND_NUMBER(std::span<wchar_t> into, std::size_t at, std::uint64_t value) {
  wchar_t digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0 && at + 1 < into.size()) into[at++] = digits[--count];
  into[at] = L'\0';
  return at;
}

// The spill's name: the folder (the current one when empty), then one the folder lacks.
bool SPILL_NAME(std::string_view folder, unsigned attempt, std::span<wchar_t> name) {
  std::size_t at = WIDE_FROM(kUtf8CodePage, folder.empty() ? "." : folder, name);
  constexpr std::wstring_view kLead = L"\\~veldrix-spill-";
  if (at == 0 || at + kLead.size() + 48 >= name.size()) return false;
  at = std::copy(kLead.begin(), kLead.end(), name.begin() + at) - name.begin();
  at = APPEND_NUMBER(name, at, GetCurrentProcessId());
  name[at++] = L'-';
  at = APPEND_NUMBER(name, at, GetTickCount64() + attempt);
  return at + 1 < name.size();
}

}  // namespace

std::size_t WIDE_FROM(unsigned code_page, std::string_view bytes, std::span<wchar_t> out) {
  if (out.empty()) return 0;
  if (bytes.empty()) {
    out[0] = L'\0';
    return 0;
  }
  const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
  const int got =
      MultiByteToWideChar(code_page, flags, bytes.data(), static_cast<int>(bytes.size()),
                          out.data(), static_cast<int>(out.size() - 1));
  out[got > 0 ? got : 0] = L'\0';
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::size_t BYTES_FROM(unsigned code_page, std::wstring_view wide, std::span<char> out) {
  if (out.empty()) return 0;
  const int got =
      wide.empty()
          ? 0
          : WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                out.data(), static_cast<int>(out.size() - 1), nullptr, nullptr);
  out[got > 0 ? got : 0] = '\0';
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

unsigned REPORT_CODE_PAGE() {
  return IS_CONSOLE(STD_ERROR_HANDLE) ? GetConsoleOutputCP() : CP_UTF8;
}

std::size_t OS_FULL_NAME(std::string_view typed, std::span<char, kNameMax + 1> out) {
  // A NUL would end the name the system sees early: kept as typed, for the open to refuse.
  if (typed.find('\0') != std::string_view::npos) return AS_TYPED(typed, out);
  wchar_t wide[kNameMax + 1];
  const unsigned code_page = ANSWER_CODE_PAGE(ANSWER_CONSOLE_CODE_PAGE(), typed);
  static_assert(kAnsiCodePage == CP_ACP && kUtf8CodePage == CP_UTF8);
  if (WIDE_FROM(code_page, typed, wide) == 0) {
    return AS_TYPED(typed, out);
  }
  wchar_t full[kNameMax + 1];
  const DWORD length = GetFullPathNameW(wide, kNameMax + 1, full, nullptr);
  if (length == 0 || length > kNameMax) return AS_TYPED(typed, out);
  const std::size_t bytes = BYTES_FROM(CP_UTF8, {full, length}, out);
  if (bytes == 0 || bytes >= kNameMax) return AS_TYPED(typed, out);
  return bytes;
}

std::size_t OS_FOLDER_PART(std::string_view name) { return WINDOWS_FOLDER_PART(name); }

std::string_view OS_NAME_FOR_REPORT(std::string_view name, std::span<char> room) {
  const unsigned code_page = REPORT_CODE_PAGE();
  if (code_page == CP_UTF8) return name;
  wchar_t wide[kNameMax + 1];
  if (WIDE_FROM(CP_UTF8, name, wide) == 0) return name;
  const std::size_t length = BYTES_FROM(code_page, wide, room);
  return length == 0 ? name : std::string_view(room.data(), length);
}

FolderFacts OS_FOLDER_FACTS(std::string_view folder) {
  FolderFacts facts;
  wchar_t wide[kNameMax + 1];
  if (WIDE_FROM(CP_UTF8, folder.empty() ? "." : folder, wide) == 0) return facts;
  ULARGE_INTEGER free_to_caller{};
  if (!GetDiskFreeSpaceExW(wide, &free_to_caller, nullptr, nullptr)) return facts;
  facts.known = true;
  facts.free_bytes = free_to_caller.QuadPart;
  wchar_t root[kNameMax + 1];
  facts.in_memory =
      GetVolumePathNameW(wide, root, kNameMax + 1) && GetDriveTypeW(root) == DRIVE_RAMDISK;
  return facts;
}

OsError OS_OPEN_SPILL(std::string_view folder, FileHandle& spill) {
  wchar_t name[kNameMax + 64];
  DWORD error = ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
    if (!SPILL_NAME(folder, attempt, name)) return ERROR_FILENAME_EXCED_RANGE;
    // Deleted by the system when its last handle closes, which the end of the process does.
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      spill = reinterpret_cast<FileHandle>(file);
      return 0;
    }
    error = GetLastError();
  }
  return static_cast<OsError>(error);
}

bool OS_HANDLE_LEFT(FileHandle) { return true; }

}  // namespace veldrix
