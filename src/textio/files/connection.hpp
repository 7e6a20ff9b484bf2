// Connections: numbers that name an open file or a console stream in every record operation and
// in every failure report.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "os/os.hpp"
#include "textio/ending/open_files.hpp"
#include "textio/lines/input_lines.hpp"
#include "textio/lines/record_output.hpp"

namespace veldrix {

inline constexpr std::int32_t kConsoleInput = -4;   // standard input, "CONIN$"
inline constexpr std::int32_t kConsoleOutput = -1;  // standard output, "CONOUT$"

struct Connection {
  std::int32_t unit = 0;
  FileHandle fd = kNoFile;
  bool in_use = false;
  bool console = false;
  bool read_only = false;         // the system refused write access at connect time
  bool cut_before_write = false;  // the next record written starts the file anew
  std::array<char, kNameMax + 1> name_bytes{};
  std::size_t name_length = 0;
  Reader reader;

  std::string_view name() const { return {name_bytes.data(), name_length}; }
};

// The connection of a number; a console number is connected on its first use.
Connection& CONNECTION(std::int32_t unit);

// Opens the named file under a status ("old": it must exist; "unknown": created when missing),
// read-write, or read-only when write access is refused. Every failure is fatal.
void CONNECT(std::int32_t unit, std::string_view name_field, std::string_view status);
// Positions the file before the record that starts at `offset` (0: the first), with nothing of
// what was read before held.
void REWIND(std::int32_t unit, std::int64_t offset = 0);
void DISCONNECT(std::int32_t unit);

// A handle of its own, read-only, on the file connected under the number (another thread reads
// it from another place), or kNoFile where none can be had.
FileHandle OPEN_AGAIN(std::int32_t unit);

// The bytes of a file connection that hold completed records, counted from the moment its first
// record cut the file, and -1 before (an old file is then left as it was): its entry in the open
// files, which every ending trims to.
std::atomic<std::int64_t>& KEPT_LENGTH(const Connection& c);

// The connection's entry in the open files: its kept length and the runs being filled after it.
OpenFile& FILE_OF(const Connection& c);
// The index of that entry, and back: the connection of entry `index`. Async-signal-safe.
std::size_t FILE_INDEX(const Connection& c);
const Connection& CONNECTION_OF_FILE(std::size_t index);

// Ends the run with a write failure when another program has cut the file of a connection below
// `length` bytes (what the run has written or reserved in it), leaving the file as it was left:
// growing it back would put zero bytes where records were. Async-signal-safe.
void REFUSE_SHORTENED(const Connection& c, std::int64_t length);

// Ends the record with CR LF and hands it to the connection in one write. Fatal on failure.
void PUT_RECORD(std::int32_t unit, RecordBuffer& record);

// Hands a record that already ends in CR LF to a connection already looked up, in one write:
// a long run of records to one file (grid cells) pays for the lookup once. Fatal on failure.
void PUT_LINE(Connection& c, std::string_view line);

// The name a field connects: surrounding blanks (and trailing NULs) removed, then made absolute
// and lexically normal but for a ".." after a symbolic link, a file or a missing name, which is
// kept (the system resolves it as it opens the name); left as typed when that form needs 256
// characters or more.
//   "  dem.asc   " in /data -> "/data/dem.asc"     "" -> ""     "a/../b" in /d -> "/d/b"
//   "link/../b" in /d -> "/d/link/../b" (the b beside the link's target)
std::size_t RESOLVE_NAME(std::string_view field, std::span<char, kNameMax + 1> out);

}  // namespace veldrix
