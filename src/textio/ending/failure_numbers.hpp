// The failure numbers of the catalogue, the one list of them. A failure report shows the number,
// and the process exit status is its low byte (the status is hexadecimal C0000000 plus the
// number). A read that keeps its status returns 0, kEndOfData, or one of these numbers.
#pragma once

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

}  // namespace veldrix
