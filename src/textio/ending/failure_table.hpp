// Every way a run ends, with what it prints and the exit status it leaves: the failure numbers
// and their texts, the refused opens that map to them, the console events, the stop and the
// normal end. The one table of them; the reporters in this folder read it.
#pragma once

#include <string_view>

#include "os/os.hpp"

namespace veldrix {

inline constexpr int kEndOfData = -1;  // a read status only: the data ended (24 when fatal)

inline constexpr int kPermissionDenied = 9;  // an open refused: no access, or a folder
inline constexpr int kRewindError = 20;      // the file cannot be moved back to its start
inline constexpr int kEndOfFile = 24;        // the data ended inside a read that needs more
inline constexpr int kCloseError = 28;       // the final cut or the close refused at disconnect
inline constexpr int kFileNotFound = 29;     // no such file, or no such folder on its path
inline constexpr int kOpenFailure = 30;      // any other refused open, or a lock held elsewhere
inline constexpr int kWriteError = 38;       // a write refused: a full disk, a broken pipe, ...
inline constexpr int kReadError = 39;        // a read refused by the system
inline constexpr int kNoSuchDevice = 42;     // a device that does not exist
inline constexpr int kBadFileName = 43;      // a name the system cannot take
inline constexpr int kWriteReadOnly = 47;    // a write to a connection opened read-only
inline constexpr int kSyntaxError = 59;      // a value breaks the free-form syntax
inline constexpr int kConversionError = 64;  // a value of number shape does not fit its item

// A failure report shows its number and the text up to the connection number; the line goes on
// with ", file " and the connection's name. The exit status is FAILURE_EXIT_STATUS (os.hpp): the
// number's low byte (the number itself for every failure here), or hexadecimal C0000000 plus the
// number on a console platform whose statuses are 32 bits wide.
struct Failure {
  int number;
  std::string_view before_unit;
};

inline constexpr Failure kFailures[] = {
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

// The platform lines the program words itself, where the system saw nothing wrong but another
// program changed a file under the run (failure 38 for the output, 39 for the input).
inline constexpr std::string_view kFileShortened = "File shortened by another program";
inline constexpr std::string_view kFileChanged =
    "File changed by another program while it was read";

// The reasons an open is refused that have a number of their own, reported without the system's
// line; any other (a lock held elsewhere among them) is failure 30 with the system's line first.
struct OpenReason {
  OsReason reason;
  int number;
};

inline constexpr OpenReason kOpenReasons[] = {
    {OsReason::kNoSuchFile, kFileNotFound},       {OsReason::kNoAccess, kPermissionDenied},
    {OsReason::kReadOnlyDisk, kPermissionDenied}, {OsReason::kIsFolder, kPermissionDenied},
    {OsReason::kNoDevice, kNoSuchDevice},         {OsReason::kBadName, kBadFileName},
    {OsReason::kTooManyOpen, kOpenFailure},
};

// The console events: control-C, control-BREAK and closing the window. An aborted run must not
// look like a completed one, so none of them ends with status 0.
struct ConsoleEvent {
  ControlEvent event;
  std::string_view line;  // the report line with its line end
  std::uint32_t exit_status;
};

inline constexpr ConsoleEvent kConsoleEvents[] = {
    {ControlEvent::kControlC, "forrtl: error (200): program aborting due to control-C event\r\r\n",
     kControlCStatus},
    {ControlEvent::kControlBreak,
     "forrtl: error (200): program aborting due to control-BREAK event\r\r\n", 1},
    {ControlEvent::kWindowClose,
     "forrtl: error (200): program aborting due to window-CLOSE event\r\r\n", 2},
};

// A stop only ever ends a failed run (a missing header value, a grid too large, an output that
// is the input); the normal end follows the driver's return. Requests to end from other
// programs end the run the way the request would have ended it (interrupt.hpp).
inline constexpr std::uint32_t kStopStatus = 1;
inline constexpr std::uint32_t kNormalStatus = 0;

}  // namespace veldrix
