// The one way a failed operation ends the run, the stop, and the normal end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace veldrix {

// Failure numbers of the catalogue; the process exit status is the number itself (the low byte
// of hexadecimal C0000000 plus the number).
inline constexpr int kPermissionDenied = 9;
inline constexpr int kRewindError = 20;
inline constexpr int kEndOfFile = 24;
inline constexpr int kCloseError = 28;
inline constexpr int kFileNotFound = 29;
inline constexpr int kOpenFailure = 30;
inline constexpr int kWriteError = 38;
inline constexpr int kReadError = 39;
inline constexpr int kNoSuchDevice = 42;
inline constexpr int kBadFileName = 43;
inline constexpr int kWriteReadOnly = 47;
inline constexpr int kSyntaxError = 59;
inline constexpr int kConversionError = 64;

// Opens the closed standard streams on /dev/null, prepares what a failure report needs (the
// stack walker) and registers the console events.
void START_UP();

// Writes the failure report on the error stream (the system's own line first when os_error is
// not 0), the call-stack listing, closes every connection and ends the process.
[[noreturn]] void FAIL_IO(int number, std::int32_t unit, std::string_view name, int os_error);

// The report of a refused open, its number chosen by the system's reason.
[[noreturn]] void OPEN_FAILURE(int os_error, std::int32_t unit, std::string_view name);

// Ends the run from inside a routine: the text (if any) as one record on the error stream, every
// connection closed, exit status 1. A stop only ever ends a failed run.
[[noreturn]] void STOP_RUN(std::string_view text);

// What follows the driver's return: every connection closed, no message, exit status 0.
[[noreturn]] void NORMAL_END();

// The bytes of a failure report line, "forrtl: severe (29): file not found, unit 50, file
// /data/dem.asc" followed by CR CR LF. Returns the length written into out.
std::size_t REPORT_LINE(int number, std::int32_t unit, std::string_view name, std::span<char> out);

}  // namespace veldrix
