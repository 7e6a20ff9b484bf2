// The run ends only by an explicit call of NORMAL_END, STOP_RUN, FAIL_IO or INTERRUPT_EXIT.
//
// The one way a failed operation ends the run (FAIL_IO, OPEN_FAILURE), the stop, the normal end.
// INTERRUPT_EXIT (interrupt.hpp) ends it on a console event or a request to end: from the
// handler, or from SERVE_HELD_EVENT at the end of a record write. The mapped output's SIGBUS
// handler reports a failed write through FAIL_IO.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "textio/ending/failure_table.hpp"

namespace veldrix {

// Opens the closed standard streams on the null device (otherwise the first file the program
// opens would take a stream's place and receive the dialogue and the reports), prepares what a
// failure report needs (the stack walker) and registers the console events.
void START_UP();

// Writes the failure report on the error stream (the system's own line first when os_error is
// not 0), the call-stack listing, closes every connection and ends the process.
[[noreturn]] void FAIL_IO(int number, std::int32_t unit, std::string_view name, OsError os_error);

// The failure report after a platform line that the program words itself: where the system saw
// nothing wrong, but another program changed the file under the run.
[[noreturn]] void FAIL_IO_BECAUSE(int number, std::int32_t unit, std::string_view name,
                                  std::string_view reason);

// The report of a refused open, its number chosen by the system's reason.
[[noreturn]] void OPEN_FAILURE(OsError os_error, std::int32_t unit, std::string_view name);

// Ends the run from inside a routine: the parts of its line (if any), joined, as one line on the
// error stream, every file closed with its completed records, exit status 1.
//   STOP_RUN({"Grid too large for this machine's memory: ncols ", "9", ", nrows ", "9"})
[[noreturn]] void STOP_RUN(std::initializer_list<std::string_view> line);

// What follows the driver's return: every connection closed, no message, exit status 0.
[[noreturn]] void NORMAL_END();

}  // namespace veldrix
