#include "textio/lines/input_lines.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veldrix {
namespace {

constexpr char kCtrlZ = 26;

// Moves the unread bytes to the front and reads more after them.
void FILL(Reader& r) {
  if (r.pos > 0) {
    std::memmove(r.buf, r.buf + r.pos, r.len - r.pos);
    r.len -= r.pos;
    r.end -= r.end >= r.pos ? r.pos : r.end;
    r.pos = 0;
  }
  for (;;) {
    ssize_t n = ::read(r.fd, r.buf + r.len, r.capacity - r.len);
    if (n > 0) {
      r.len += static_cast<std::size_t>(n);
      return;
    }
    if (n == 0) {
      r.eof = true;
      return;
    }
    if (errno == EINTR) continue;
    r.failure = kReadError;
    r.os_error = errno;
    r.eof = true;
    return;
  }
}

// Finds where the current record's visible part ends in the bytes held.
void LOCATE(Reader& r) {
  const char* start = r.buf + r.pos;
  const void* lf = std::memchr(start, '\n', r.len - r.pos);
  if (lf != nullptr) {
    std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - r.buf);
    r.next = at + 1;
    r.end = (at > r.pos && r.buf[at - 1] == '\r') ? at - 1 : at;
    r.complete = true;
  } else if (r.eof) {
    r.end = r.next = r.len;
    r.complete = true;
  } else {
    // A CR at the end of the bytes held may be the CR of a CR LF: keep it back until we know.
    r.end = (r.len > r.pos && r.buf[r.len - 1] == '\r') ? r.len - 1 : r.len;
    r.complete = false;
  }
}

// Makes at least n unread bytes available unless the data ends first.
void NEED(Reader& r, std::size_t n) {
  while (r.len - r.pos < n && !r.eof && !r.single) FILL(r);
}

bool CTRL_Z_LINE(Reader& r) {
  if (r.buf[r.pos] != kCtrlZ) return false;
  NEED(r, 2);
  if (r.len - r.pos == 1 || r.buf[r.pos + 1] == '\n') return true;
  if (r.buf[r.pos + 1] != '\r') return false;
  NEED(r, 3);
  return r.len - r.pos >= 3 && r.buf[r.pos + 2] == '\n';
}

}  // namespace

void READER_ATTACH(Reader& r, int fd, std::span<char> storage) {
  r = Reader{};
  r.fd = fd;
  r.buf = storage.data();
  r.capacity = storage.size();
}

void READER_STRING(Reader& r, std::string_view text) {
  r = Reader{};
  r.buf = const_cast<char*>(text.data());  // a string source is only ever read
  r.capacity = r.len = r.end = r.next = text.size();
  r.complete = r.open = r.eof = r.single = true;
}

int RECORD_BEGIN(Reader& r) {
  if (r.single) return kEndOfData;
  while (r.open && !r.complete) {
    r.pos = r.end;
    if (!RECORD_MORE(r) && r.failure != 0) return r.failure;
  }
  if (r.open) r.pos = r.next;
  r.open = false;
  if (r.pos == r.len) NEED(r, 1);
  if (r.failure != 0) return r.failure;
  if (r.pos == r.len || CTRL_Z_LINE(r)) return r.failure != 0 ? r.failure : kEndOfData;
  LOCATE(r);
  r.open = true;
  return 0;
}

bool RECORD_MORE(Reader& r) {
  while (r.pos == r.end) {
    if (r.complete || r.failure != 0) return false;
    FILL(r);
    if (r.failure != 0) return false;
    LOCATE(r);
  }
  return true;
}

}  // namespace veldrix
