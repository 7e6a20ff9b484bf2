// Which file a connection or a name stands for, whatever name it was reached by.
#pragma once

#include <cstdint>
#include <string_view>

namespace veldrix {

// The device and inode of a file; known is false when there was no file to ask.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known = false;
};

// The file connected under the number.
FileIdentity IDENTITY_OF(std::int32_t unit);

// What the system says of a file's contents: which file it is, its size and the times its bytes
// and its inode last changed. A file that another program appends to, cuts or rewrites (in
// place or by a rename over it) shows another version.
struct FileVersion {
  FileIdentity file;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
};

FileVersion VERSION_OF(std::int32_t unit);

// Ends the run with the read failure report of the connection, after the platform line
// "The file changed while it was read", when its file is no longer at `version`.
void REFUSE_CHANGED(std::int32_t unit, const FileVersion& version);

// That report, for a change found another way (a second reading that differs from the first).
[[noreturn]] void FAIL_CHANGED(std::int32_t unit);

// Ends the run before the output is connected when the name field, resolved as a connect resolves
// it, is the file of `input` (the same name, another spelling, a hard or a symbolic link): one
// line on the error stream, "Output file is the input file: " and the resolved name, status 1.
void REFUSE_SAME_FILE(std::string_view name_field, const FileIdentity& input);

}  // namespace veldrix
