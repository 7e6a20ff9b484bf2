#include "textio/lines/input_lines.hpp"

#include <algorithm>
#include <cstring>

namespace veldrix {
namespace {

constexpr char kCtrlZ = 26;

// Records this short keep their start through a refill: a console answer, never a long grid row
// (whose moved bytes would cost every refill).
constexpr std::size_t kKeptStart = 256;

// Moves the unread bytes to the front and reads more after them. The current record's start is
// moved with them while the record is short (a quarter of the buffer at most leaves room to read).
void REFILL(Reader& r) {
  std::size_t kept = std::min(kKeptStart, r.capacity / 4);
  bool keep = r.record_start != kStartGone && r.pos - r.record_start <= kept;
  std::size_t drop = keep ? r.record_start : r.pos;
  r.record_start = keep ? 0 : kStartGone;
  if (drop > 0) {
    std::memmove(r.buf, r.buf + drop, r.held - drop);
    r.origin += static_cast<std::int64_t>(drop);
    r.held -= drop;
    r.visible_end -= r.visible_end >= drop ? drop : r.visible_end;
    r.pos -= drop;
  }
  for (;;) {
    std::size_t n = 0;
    OsError error = OS_READ(r.fd, {r.buf + r.held, r.capacity - r.held}, n);
    if (error == 0 && n > 0) {
      r.held += n;
      return;
    }
    if (error == 0) {
      r.drained = true;
      return;
    }
    if (OS_REASON(error) == OsReason::kInterrupted) continue;
    r.failure = kReadError;
    r.os_error = error;
    r.drained = true;
    return;
  }
}

// Finds where the current record's visible part ends in the bytes held.
void LOCATE(Reader& r) {
  const char* start = r.buf + r.pos;
  const char* lf = OS_FIND_BYTE({start, r.held - r.pos}, '\n');
  if (lf != nullptr) {
    std::size_t at = static_cast<std::size_t>(lf - r.buf);
    r.next_record = at + 1;
    r.visible_end = (at > r.pos && r.buf[at - 1] == '\r') ? at - 1 : at;
    r.last_piece = true;
  } else if (r.drained) {
    r.visible_end = r.next_record = r.held;
    r.last_piece = true;
  } else {
    // A CR at the end of the bytes held may be the CR of a CR LF: keep it back until we know.
    r.visible_end = (r.held > r.pos && r.buf[r.held - 1] == '\r') ? r.held - 1 : r.held;
    r.last_piece = false;
  }
}

// Makes at least n unread bytes available unless the data ends first.
void NEED(Reader& r, std::size_t n) {
  while (r.held - r.pos < n && !r.drained && !r.from_string) REFILL(r);
}

bool CTRL_Z_LINE(Reader& r) {
  if (r.buf[r.pos] != kCtrlZ) return false;
  NEED(r, 2);
  if (r.held - r.pos == 1 || r.buf[r.pos + 1] == '\n') return true;
  if (r.buf[r.pos + 1] != '\r') return false;
  NEED(r, 3);
  return r.held - r.pos >= 3 && r.buf[r.pos + 2] == '\n';
}

}  // namespace

void READER_ATTACH(Reader& r, FileHandle fd, std::span<char> storage) {
  r = Reader{};
  r.fd = fd;
  r.buf = storage.data();
  r.capacity = storage.size();
}

void READER_STRING(Reader& r, std::string_view text) {
  r = Reader{};
  r.buf = const_cast<char*>(text.data());  // a string source is only ever read
  r.capacity = r.held = r.visible_end = r.next_record = text.size();
  r.last_piece = r.in_record = r.drained = r.from_string = true;
}

int RECORD_END(Reader& r) {
  while (r.in_record && !r.last_piece) {
    r.pos = r.visible_end;
    if (!RECORD_MORE(r) && r.failure != 0) return r.failure;
  }
  if (r.in_record) r.pos = r.next_record;
  r.in_record = false;
  r.record_start = kStartGone;
  return 0;
}

int RECORD_BEGIN(Reader& r) {
  if (r.from_string) return kEndOfData;
  if (int status = RECORD_END(r); status != 0) return status;
  if (r.pos == r.held) NEED(r, 1);
  if (r.failure != 0) return r.failure;
  if (r.pos == r.held || CTRL_Z_LINE(r)) return r.failure != 0 ? r.failure : kEndOfData;
  r.record_start = r.pos;
  LOCATE(r);
  r.in_record = true;
  ++r.records;
  return 0;
}

bool RECORD_MORE(Reader& r) {
  while (r.pos == r.visible_end) {
    if (r.last_piece || r.failure != 0) return false;
    REFILL(r);
    if (r.failure != 0) return false;
    LOCATE(r);
  }
  return true;
}

bool RECORD_WHOLE(const Reader& r, std::string_view& text) {
  if (!r.in_record || !r.last_piece || r.record_start == kStartGone) return false;
  text = std::string_view(r.buf + r.record_start, r.visible_end - r.record_start);
  return true;
}

}  // namespace veldrix
