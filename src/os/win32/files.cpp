#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "os/os.hpp"
#include "os/win32/text.hpp"

namespace veldrix {
namespace {

HANDLE HANDLE_OF(FileHandle file) { return reinterpret_cast<HANDLE>(file); }
OsError LAST_ERROR() { return static_cast<OsError>(GetLastError()); }

// One call moves at most this much: ReadFile and WriteFile count in 32 bits.
constexpr std::size_t kMostInOneCall = std::size_t{1} << 30;

// FILETIME counts 100 ns from 1601; the facts count nanoseconds from 1970, which fit.
constexpr std::int64_t kFrom1601To1970 = 116444736000000000;
std::int64_t NANOSECONDS(std::int64_t hundreds) { return (hundreds - kFrom1601To1970) * 100; }

OVERLAPPED AT_OFFSET(std::uint64_t at) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(at);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  return where;
}

// Handles whose writes go to the end of the file: Win32 has no such mode to set on an open
// handle, so a write asks for the end itself.
std::atomic<FileHandle> g_at_end[16];

bool WRITES_AT_END(FileHandle file) {
  return std::any_of(std::begin(g_at_end), std::end(g_at_end),
                     [file](const std::atomic<FileHandle>& slot) { return slot.load() == file; });
}

bool WRITE_ONCE(FileHandle file, std::string_view bytes, DWORD& done) {
  const auto size = static_cast<DWORD>(std::min(bytes.size(), kMostInOneCall));
  if (!WRITES_AT_END(file)) return WriteFile(HANDLE_OF(file), bytes.data(), size, &done, nullptr);
  OVERLAPPED end = AT_OFFSET(UINT64_MAX);  // both halves 0xFFFFFFFF: the end, wherever it is
  return WriteFile(HANDLE_OF(file), bytes.data(), size, &done, &end);
}

OsError SET_END(HANDLE file, std::int64_t length) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = length;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end) ? 0 : LAST_ERROR();
}

bool NO_SUCH_CALL(DWORD error) {
  return error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER;
}

bool IS_FOLDER(const wchar_t* name) {
  const DWORD attributes = GetFileAttributesW(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

struct Access {
  DWORD rights;
  bool read_only;
};

// Read and write; write alone (a pipe whose server only reads); read alone when writing is
// refused. Others may read the file while it is open here, never write it.
constexpr Access kAccesses[] = {
    {GENERIC_READ | GENERIC_WRITE, false}, {GENERIC_WRITE, false}, {GENERIC_READ, true}};

bool MAY_TRY_NEXT(OpenFor how, DWORD error) {
  if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) return true;
  // Another program reading the input shares reading alone: read it that way too.
  return how == OpenFor::kReading && error == ERROR_SHARING_VIOLATION;
}

}  // namespace

FileFacts OS_FACTS(FileHandle file) {
  FileFacts facts;
  const HANDLE handle = HANDLE_OF(file);
  const DWORD type = GetFileType(handle);
  if (type == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return facts;
  facts.known = true;
  facts.kind = type == FILE_TYPE_DISK   ? FileKind::kDisk
               : type == FILE_TYPE_PIPE ? FileKind::kPipe
               : type == FILE_TYPE_CHAR ? FileKind::kDevice
                                        : FileKind::kUnknown;
  BY_HANDLE_FILE_INFORMATION info;
  if (type != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) return facts;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) facts.kind = FileKind::kFolder;
  facts.volume = info.dwVolumeSerialNumber;
  facts.file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  facts.size =
      static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
  const ULARGE_INTEGER written{
      {info.ftLastWriteTime.dwLowDateTime, info.ftLastWriteTime.dwHighDateTime}};
  facts.modified = NANOSECONDS(static_cast<std::int64_t>(written.QuadPart));
  FILE_BASIC_INFO basic;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    facts.changed = NANOSECONDS(basic.ChangeTime.QuadPart);
  }
  return facts;
}

FileFacts OS_FACTS_OF_NAME(std::string_view name) {
  wchar_t wide[kNameMax + 1];
  if (WIDE_FROM(CP_UTF8, name, wide) == 0) return {};
  // No access asked, every share granted and folders allowed: this open disturbs no one.
  const HANDLE file = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  const FileFacts facts = OS_FACTS(reinterpret_cast<FileHandle>(file));
  CloseHandle(file);
  return facts;
}

OsError OS_OPEN(std::string_view name, OpenFor how, OpenedFile& file) {
  wchar_t wide[kNameMax + 1];
  // The system would take a name only up to a NUL in it: a file the user did not name.
  if (name.find('\0') != std::string_view::npos) return ERROR_INVALID_NAME;
  if (WIDE_FROM(CP_UTF8, name, wide) == 0) return ERROR_INVALID_NAME;
  const DWORD disposition = how == OpenFor::kWriting ? OPEN_ALWAYS : OPEN_EXISTING;
  DWORD error = ERROR_ACCESS_DENIED;
  for (const Access& access : kAccesses) {
    if (access.rights == GENERIC_WRITE && how == OpenFor::kReading) continue;
    const HANDLE handle = CreateFileW(wide, access.rights, FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      file.handle = reinterpret_cast<FileHandle>(handle);
      file.kind = OS_FACTS(file.handle).kind;
      file.read_only = access.read_only;
      return 0;
    }
    error = GetLastError();
    if (!MAY_TRY_NEXT(how, error)) break;
  }
  // A folder refuses every access without saying why.
  if (error == ERROR_ACCESS_DENIED && IS_FOLDER(wide)) return ERROR_DIRECTORY;
  return static_cast<OsError>(error);
}

OsError OS_OPEN_AGAIN(FileHandle file, FileHandle& again) {
  // Sharing writing too: the first handle may hold write access.
  const HANDLE handle =
      ReOpenFile(HANDLE_OF(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  if (handle == INVALID_HANDLE_VALUE) return LAST_ERROR();
  again = reinterpret_cast<FileHandle>(handle);
  return 0;
}

OsError OS_CLOSE(FileHandle file) { return CloseHandle(HANDLE_OF(file)) ? 0 : LAST_ERROR(); }

OsError OS_READ(FileHandle file, std::span<char> into, std::size_t& got) {
  DWORD done = 0;
  const auto size = static_cast<DWORD>(std::min(into.size(), kMostInOneCall));
  const bool read = ReadFile(HANDLE_OF(file), into.data(), size, &done, nullptr);
  got = done;
  if (read) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_BROKEN_PIPE ? 0 : static_cast<OsError>(error);  // the writer is done
}

OsError OS_WRITE_ALL(FileHandle file, std::string_view bytes, std::size_t& written,
                     bool (*abandon)()) {
  written = 0;
  while (written < bytes.size()) {
    DWORD done = 0;
    if (WRITE_ONCE(file, bytes.substr(written), done)) {
      if (done == 0) return ERROR_WRITE_FAULT;
      written += done;
      continue;
    }
    const DWORD error = GetLastError();
    // A control event cancels a console write, as a signal interrupts one.
    if (error != ERROR_OPERATION_ABORTED) return static_cast<OsError>(error);
    if (written == 0 && abandon != nullptr && abandon()) return kWriteAbandoned;
  }
  return 0;
}

OsError OS_WRITES_AT_END(FileHandle file) {
  if (WRITES_AT_END(file)) return 0;
  for (std::atomic<FileHandle>& slot : g_at_end) {
    FileHandle none = 0;
    if (slot.compare_exchange_strong(none, file)) return 0;
  }
  return ERROR_TOO_MANY_OPEN_FILES;
}

// Each call names its offset in an OVERLAPPED: on a handle opened for plain (not overlapped)
// calls that is a positioned read or write that waits for its bytes. No seek comes before or
// after, so threads that share the handle never move each other's place; the system leaves the
// position after the bytes moved, which no caller relies on.
OsError OS_READ_AT(FileHandle file, std::span<char> into, std::int64_t at, std::size_t& got) {
  got = 0;
  while (got < into.size()) {
    OVERLAPPED where = AT_OFFSET(static_cast<std::uint64_t>(at) + got);
    DWORD done = 0;
    const auto size = static_cast<DWORD>(std::min(into.size() - got, kMostInOneCall));
    if (!ReadFile(HANDLE_OF(file), into.data() + got, size, &done, &where)) {
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : LAST_ERROR();
    }
    if (done == 0) break;
    got += done;
  }
  return 0;
}

OsError OS_WRITE_AT(FileHandle file, std::string_view bytes, std::int64_t at) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    OVERLAPPED where = AT_OFFSET(static_cast<std::uint64_t>(at) + written);
    DWORD done = 0;
    const auto size = static_cast<DWORD>(std::min(bytes.size() - written, kMostInOneCall));
    if (!WriteFile(HANDLE_OF(file), bytes.data() + written, size, &done, &where)) {
      return LAST_ERROR();
    }
    if (done == 0) return ERROR_WRITE_FAULT;
    written += done;
  }
  return 0;
}

OsError OS_SEEK(FileHandle file, std::int64_t to) {
  LARGE_INTEGER where;
  where.QuadPart = to;
  return SetFilePointerEx(HANDLE_OF(file), where, nullptr, FILE_BEGIN) ? 0 : LAST_ERROR();
}

OsError OS_POSITION(FileHandle file, std::int64_t& at) {
  LARGE_INTEGER none{}, now{};
  if (!SetFilePointerEx(HANDLE_OF(file), none, &now, FILE_CURRENT)) return LAST_ERROR();
  at = now.QuadPart;
  return 0;
}

OsError OS_LENGTH(FileHandle file, std::int64_t& length) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HANDLE_OF(file), &size)) return LAST_ERROR();
  length = size.QuadPart;
  return 0;
}

OsError OS_SET_LENGTH(FileHandle file, std::int64_t length) {
  return SET_END(HANDLE_OF(file), length);
}

// Files here are not sparse unless made so: the data ends with the file.
std::int64_t OS_DATA_END(FileHandle file) {
  std::int64_t length = -1;
  return OS_LENGTH(file, length) == 0 ? length : -1;
}

Room OS_RESERVE(FileHandle file, std::int64_t at, std::int64_t bytes) {
  const std::int64_t end = at + bytes;
  std::int64_t length = 0;
  if (OS_LENGTH(file, length) != 0) return Room::kRefused;
  if (length >= end) return Room::kReserved;
  // An allocation below the length would cut the file: it is only ever raised here.
  FILE_ALLOCATION_INFO blocks{};
  blocks.AllocationSize.QuadPart = end;
  Room room = Room::kReserved;
  if (!SetFileInformationByHandle(HANDLE_OF(file), FileAllocationInfo, &blocks, sizeof blocks)) {
    // Wine does not offer the call: the file is only grown there.
    if (!NO_SUCH_CALL(GetLastError())) return Room::kRefused;
    room = Room::kGrown;
  }
  return SET_END(HANDLE_OF(file), end) == 0 ? room : Room::kRefused;
}

}  // namespace veldrix
