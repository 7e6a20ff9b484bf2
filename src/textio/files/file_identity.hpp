// Which file a connection or a name stands for, whatever name it was reached by.
#pragma once

#include <cstdint>
#include <string_view>

#include "os/os.hpp"

namespace veldrix {

// The volume and number of a file, and what changes when its bytes change: its size and its
// modification and change times. Only a disk file's times and size say it was rewritten.
using FileIdentity = FileFacts;

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
