#include "textio/ending/failure.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <span>

#include "textio/ending/interrupt.hpp"
#include "textio/ending/listing.hpp"
#include "textio/files/connection.hpp"
#include "textio/files/streams.hpp"
#include "textio/lines/input_lines.hpp"
#include "textio/lines/record_output.hpp"

namespace veldrix {
namespace {

struct CatalogueEntry {
  int number;
  std::string_view before_unit;  // the text up to the connection number
};

// Each text goes on with ", file " and the connection's name.
constexpr CatalogueEntry kCatalogue[] = {
    {kPermissionDenied, "permission to access file denied, unit "},
    {kRewindError, "REWIND error, unit "},
    {kEndOfFile, "end-of-file during read, unit "},
    {kCloseError, "CLOSE error, unit "},
    {kFileNotFound, "file not found, unit "},
    {kOpenFailure, "open failure, unit "},
    {kWriteError, "error during write, unit "},
    {kReadError, "error during read, unit "},
    {kNoSuchDevice, "no such device, unit "},
    {kBadFileName, "file name specification error, unit "},
    {kWriteReadOnly, "write to READONLY file, unit "},
    {kSyntaxError, "list-directed I/O syntax error, unit "},
    {kConversionError, "input conversion error, unit "},
};

struct OpenReason {
  int os_error;
  int number;
};

// The reasons an open is refused; any other is failure 30 with the system's own line first.
constexpr OpenReason kOpenReasons[] = {
    {ENOENT, kFileNotFound},    {ENOTDIR, kFileNotFound},   {EACCES, kPermissionDenied},
    {EPERM, kPermissionDenied}, {EROFS, kPermissionDenied}, {EISDIR, kPermissionDenied},
    {ENXIO, kNoSuchDevice},     {ENODEV, kNoSuchDevice},    {ENAMETOOLONG, kBadFileName},
    {EINVAL, kBadFileName},     {EMFILE, kOpenFailure},     {ENFILE, kOpenFailure},
};

void EMIT(std::string_view bytes) {
  ssize_t ignored = ::write(STDERR_FILENO, bytes.data(), bytes.size());
  (void)ignored;
}

// "forrtl: " and the system's description of the error, with its own line end.
void PLATFORM_LINE(int os_error) {
  char line[320] = "forrtl: ";
  std::size_t n = std::strlen(line);
  const char* text = ::strerror(os_error);
  std::size_t length = std::min(std::strlen(text), sizeof line - n - 2);
  std::memcpy(line + n, text, length);
  n += length;
  line[n++] = '\r';
  line[n++] = '\n';
  EMIT(std::string_view(line, n));
}

// The bytes of a failure report line, "forrtl: severe (29): file not found, unit 50, file
// /data/dem.asc" followed by CR CR LF. Returns the length written into out.
std::size_t REPORT_LINE(int number, std::int32_t unit, std::string_view name, std::span<char> out) {
  std::string_view text = "unknown failure, unit ";
  for (const CatalogueEntry& e : kCatalogue) {
    if (e.number == number) text = e.before_unit;
  }
  char digits[16];
  std::size_t n = 0;
  auto put = [&](std::string_view s) {
    std::size_t k = std::min(s.size(), out.size() - n);
    std::copy_n(s.begin(), k, out.begin() + static_cast<std::ptrdiff_t>(n));
    n += k;
  };
  put("forrtl: severe (");
  put(std::string_view(
      digits, static_cast<std::size_t>(std::to_chars(digits, digits + 16, number).ptr - digits)));
  put("): ");
  put(text);
  put(std::string_view(
      digits, static_cast<std::size_t>(std::to_chars(digits, digits + 16, unit).ptr - digits)));
  put(", file ");
  put(name);
  put("\r\r\n");
  return n;
}

}  // namespace

void START_UP() {
  OPEN_STANDARD_STREAMS();
  PREPARE_LISTING();
  INSTALL_INTERRUPTS();
}

void FAIL_IO(int number, std::int32_t unit, std::string_view name, int os_error) {
  BLOCK_ENDING_SIGNALS();
  KEEP_COMPLETED_RECORDS();
  if (os_error != 0) PLATFORM_LINE(os_error);
  char line[kNameMax + 128];
  EMIT(std::string_view(line, REPORT_LINE(number, unit, name, line)));
  WRITE_LISTING(STDERR_FILENO);
  CLOSE_ALL();
  std::_Exit(number & 0xFF);
}

void OPEN_FAILURE(int os_error, std::int32_t unit, std::string_view name) {
  for (const OpenReason& r : kOpenReasons) {
    if (r.os_error == os_error) FAIL_IO(r.number, unit, name, 0);
  }
  FAIL_IO(kOpenFailure, unit, name, os_error);
}

void STOP_RUN(std::string_view text) {
  BLOCK_ENDING_SIGNALS();
  KEEP_COMPLETED_RECORDS();
  if (!text.empty()) {
    RecordBuffer record;
    record.length = std::min(text.size(), kRecordMax);
    std::copy_n(text.begin(), record.length, record.bytes.begin());
    PUT_RECORD(kErrorStream, record);
  }
  CLOSE_ALL();
  std::_Exit(1);
}

void NORMAL_END() {
  BLOCK_ENDING_SIGNALS();
  CLOSE_ALL();
  std::_Exit(0);
}

}  // namespace veldrix
