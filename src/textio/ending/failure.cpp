#include "textio/ending/failure.hpp"

#include <algorithm>
#include <charconv>

#include "textio/ending/error_stream.hpp"
#include "textio/ending/interrupt.hpp"
#include "textio/ending/listing.hpp"
#include "textio/ending/open_files.hpp"

namespace veldrix {
namespace {

// "forrtl: " and the reason, with its own line end.
void PLATFORM_LINE(std::string_view reason) { ERROR_WRITE({"forrtl: ", reason, "\r\n"}); }

std::string_view FAILURE_TEXT(int number) {
  for (const Failure& f : kFailures) {
    if (f.number == number) return f.before_unit;
  }
  return "unknown failure, unit ";
}

// "forrtl: severe (29): file not found, unit 50, file /data/dem.asc" and CR CR LF.
void REPORT_LINE(int number, std::int32_t unit, std::string_view name) {
  char number_digits[16], unit_digits[16];
  auto number_end = std::to_chars(number_digits, number_digits + 16, number).ptr;
  auto unit_end = std::to_chars(unit_digits, unit_digits + 16, unit).ptr;
  ERROR_WRITE({"forrtl: severe (", std::string_view(number_digits, number_end),
               "): ", FAILURE_TEXT(number), std::string_view(unit_digits, unit_end), ", file ",
               name, "\r\r\n"});
}

}  // namespace

void START_UP() {
  OS_OPEN_MISSING_STREAMS();
  PREPARE_LISTING();
  INSTALL_INTERRUPTS();
}

void FAIL_IO(int number, std::int32_t unit, std::string_view name, OsError os_error) {
  char room[256];
  FAIL_IO_BECAUSE(number, unit, name, os_error == 0 ? "" : OS_ERROR_TEXT(os_error, room));
}

void FAIL_IO_BECAUSE(int number, std::int32_t unit, std::string_view name,
                     std::string_view reason) {
  BLOCK_ENDING_SIGNALS();
  KEEP_COMPLETED_RECORDS();
  if (!reason.empty()) PLATFORM_LINE(reason);
  REPORT_LINE(number, unit, name);
  WRITE_LISTING();
  CLOSE_ALL();
  OS_EXIT(FAILURE_EXIT_STATUS(number));
}

void OPEN_FAILURE(OsError os_error, std::int32_t unit, std::string_view name) {
  OsReason reason = OS_REASON(os_error);
  for (const OpenReason& r : kOpenReasons) {
    if (r.reason == reason) FAIL_IO(r.number, unit, name, 0);
  }
  FAIL_IO(kOpenFailure, unit, name, os_error);
}

void STOP_RUN(std::initializer_list<std::string_view> line) {
  BLOCK_ENDING_SIGNALS();
  KEEP_COMPLETED_RECORDS();
  bool empty = std::all_of(line.begin(), line.end(), [](std::string_view s) { return s.empty(); });
  if (!empty) ERROR_WRITE(line, "\r\n");
  CLOSE_ALL();
  OS_EXIT(kStopStatus);
}

void NORMAL_END() {
  BLOCK_ENDING_SIGNALS();
  CLOSE_ALL();
  OS_EXIT(kNormalStatus);
}

}  // namespace veldrix
