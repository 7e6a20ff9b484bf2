// Input lines: how the bytes of a file or the console split into records.
//
// Input lines end at LF; a CR just before the LF is dropped; a last line without LF counts; a
// line holding only Ctrl-Z (26) is the end of data. Lines have no length limit: a record is seen
// through a fixed buffer, one visible piece at a time, so a record longer than the buffer is
// never held whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "os/os.hpp"
#include "textio/ending/failure_table.hpp"

namespace veldrix {

// The bytes buf[0, held) are the part of the source read so far and not yet passed over;
// buf[pos, visible_end) is what is left to see of the current record in them.
//   Always: pos <= held <= capacity, and visible_end <= held.
//   While in_record: pos <= visible_end; the record goes on beyond visible_end unless
//   last_piece, and when last_piece the next record starts at next_record (visible_end <=
//   next_record <= held: the line end lies between them).
//   Between records (!in_record): visible_end and next_record are stale.
struct Reader {
  FileHandle fd = kNoFile;
  char* buf = nullptr;
  std::size_t capacity = 0;
  std::size_t pos = 0;          // the next byte of the current record to take
  std::size_t held = 0;         // bytes in buf
  std::size_t visible_end = 0;  // end of the current record's bytes in buf
  std::size_t next_record = 0;  // start of the record after it, once last_piece
  bool last_piece = false;      // the current record ends at visible_end
  bool in_record = false;       // a record has begun and its rest is not yet passed over
  bool drained = false;         // the source has no more bytes (or refused a read)
  bool from_string = false;     // a text given whole: one record and none after it
  int failure = 0;              // kReadError after a refused read
  OsError os_error = 0;         // the system's refusal of that read
  std::int64_t origin = 0;      // the file offset of buf[0], counted from where it was attached
  std::int64_t records = 0;     // records begun since then: the current one's line number
  // The current record's first byte in buf, or kStartGone once a refill passed over it (a record
  // of more than 256 bytes or a quarter of the buffer), or between records. Kept so that a short
  // console answer can be looked at whole after a statement took its value.
  std::size_t record_start = 0;
};

inline constexpr std::size_t kStartGone = static_cast<std::size_t>(-1);

// The current record from its first byte, when the reader still holds all of it; false for a
// record that a refill passed over in part or whose end is not in the buffer yet.
bool RECORD_WHOLE(const Reader& r, std::string_view& text);

// Attaches a reader to a file or stream (or detaches it, kNoFile), positioned before the first
// record.
void READER_ATTACH(Reader& r, FileHandle fd, std::span<char> storage);

// Makes the text the reader's one and only record, already begun.
void READER_STRING(Reader& r, std::string_view text);

// Passes over the rest of the current record, if one has begun: 0, or kReadError with the reader
// still inside it. The reader is then between records, the next one starting at the file offset
// r.origin + r.pos.
int RECORD_END(Reader& r);

// Passes over the rest of the current record and begins the next one: 0, kEndOfData, or
// kReadError (r.os_error tells why).
int RECORD_BEGIN(Reader& r);

// With the visible part consumed (r.pos == r.visible_end), shows the next piece of the current
// record: true when there is more of it, false at its end or after a refused read (r.failure).
bool RECORD_MORE(Reader& r);

// The visible rest of the current record, for the tests and fuzz targets that look at it; the
// program reads through the record statements instead.
inline std::string_view VISIBLE(const Reader& r) { return {r.buf + r.pos, r.visible_end - r.pos}; }

}  // namespace veldrix
