// Which file a connection or a name stands for, whatever name it was reached by.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// The device and inode of a file, and what changes when its bytes change: its size and its
// modification and change times (in nanoseconds). known is false when there was no file to ask.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;
  bool regular = false;  // a disk file: the only kind whose times and size say it was rewritten
  std::int64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
};

// The file connected under the number.
FileIdentity IDENTITY_OF(std::int32_t unit);

// Ends the run with the read failure of the connection, after the platform line "File changed by
// another program while it was read", when its disk file is no longer as `before` found it: a
// shared lock does not keep another program from rewriting it, and rows of two versions would
// make one grid of neither. Called after the last row is read, and before and after each band
// that is read a second time.
void REFUSE_CHANGED(std::int32_t unit, const FileIdentity& before);

// That report, for a change found another way (a second reading that differs from the first).
[[noreturn]] void FAIL_CHANGED(std::int32_t unit);

// Ends the run before the output is connected when the name field, resolved as a connect resolves
// it, is the file of `input` (the same name, another spelling, a hard or a symbolic link): one
// line on the error stream, "Output file is the input file: " and the resolved name, status 1.
void REFUSE_SAME_FILE(std::string_view name_field, const FileIdentity& input);

}  // namespace veldrix
