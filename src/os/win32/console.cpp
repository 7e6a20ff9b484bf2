#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "os/os.hpp"

namespace veldrix {
namespace {

constexpr DWORD kStandardHandles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};

DWORD STANDARD_HANDLE(Stream stream) { return kStandardHandles[static_cast<int>(stream)]; }

}  // namespace

FileHandle OS_STREAM(Stream stream) {
  const HANDLE handle = GetStdHandle(STANDARD_HANDLE(stream));
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? kNoFile
                                                             : reinterpret_cast<FileHandle>(handle);
}

void OS_OPEN_MISSING_STREAMS() {
  for (const DWORD which : kStandardHandles) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) continue;
    const HANDLE null =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (null != INVALID_HANDLE_VALUE) SetStdHandle(which, null);
  }
  // The answers are read as bytes, a CR before the LF included, whoever reads them.
  for (int descriptor = 0; descriptor <= 2; ++descriptor) _setmode(descriptor, _O_BINARY);
}

bool OS_IS_TERMINAL(FileHandle stream) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(stream), &mode) != 0;
}

std::size_t OS_TERMINAL_WIDTH(FileHandle stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(stream), &info)) return 0;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 0 ? static_cast<std::size_t>(width) : 0;
}

OsError OS_PIPE(FileHandle& read_end, FileHandle& write_end) {
  HANDLE reading = nullptr;
  HANDLE writing = nullptr;
  if (!CreatePipe(&reading, &writing, nullptr, 0)) return static_cast<OsError>(GetLastError());
  read_end = reinterpret_cast<FileHandle>(reading);
  write_end = reinterpret_cast<FileHandle>(writing);
  return 0;
}

}  // namespace veldrix
