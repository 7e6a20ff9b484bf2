#include "textio/files/record_slots.hpp"

#include <algorithm>
#include <array>
#include <string_view>

#include "os/os.hpp"
#include "textio/ending/failure.hpp"
#include "textio/ending/interrupt.hpp"
#include "textio/files/parallel_fill.hpp"

namespace veldrix {
namespace {

// A store into the window that faults is a failed write of its connection.
bool ON_WINDOW_FAULT(char* at, OsError error) {
  FaultWindow& w = FAULT_WINDOW();
  std::size_t file = w.file;
  if (file >= kOpenFiles || at < w.begin || at >= w.end) return false;
  const Connection& c = CONNECTION_OF_FILE(file);
  // The run ends here, unless another thread is already ending it (its trim cut the window
  // under this thread's stores): then this one waits for the process to end.
  BLOCK_ENDING_SIGNALS();
  // A page past the file's end: another program cut the file below the window.
  REFUSE_SHORTENED(c, w.offset + (at - w.begin) + 1);
  FAIL_IO(kWriteError, c.unit, c.name(), error);
}

void UNMAP(RecordSlots& s) {
  if (s.window == nullptr) return;
  FaultWindow& w = FAULT_WINDOW();
  w.file = kOpenFiles;
  w.begin = nullptr;
  w.end = nullptr;
  MappedWindow window = {s.window, s.window_bytes};
  OS_UNMAP(window);
  s.window = nullptr;
}

// From the record at s.done on, every record goes out through write(), at the file's end: a file
// that another program cuts then stays shorter than its records, and is found.
void STAGE(RecordSlots& s) {
  UNMAP(s);
  s.mapped = false;
  s.reserved = s.done;
  // The file may hold a reservation beyond the completed records; the writes go after them.
  OsError refused = OS_SET_LENGTH(s.c->fd, s.done);
  if (refused == 0) refused = OS_WRITES_AT_END(s.c->fd);
  if (refused != 0) FAIL_IO(kWriteError, s.c->unit, s.c->name(), refused);
}

// Grows the file to s.done + bytes. Where the file system reserves blocks they are reserved, and
// a full disk is a refusal here. Where it cannot reserve at all (ramfs, ext2) the file is only
// grown: its blocks are taken as the window's pages are made writable.
bool GROW(RecordSlots& s, std::int64_t bytes) {
  Room room = OS_RESERVE(s.c->fd, s.done, bytes);
  if (room == Room::kRefused) return false;
  s.unreserved = room == Room::kGrown;
  s.reserved = s.done + bytes;
  return true;
}

// Makes room in the file for `bytes` after s.done, of `wanted` records still to come. The length
// grows a step ahead; where a step does not fit (a full disk, a file-size limit) just the window,
// so that every record that fits is kept.
Room MAKE_ROOM(RecordSlots& s, std::size_t bytes, std::size_t wanted) {
  auto window = static_cast<std::int64_t>(bytes);
  std::size_t step = std::min(wanted, static_cast<std::size_t>(kLengthStep) / s.length) * s.length;
  if (s.done + window > s.reserved && !GROW(s, static_cast<std::int64_t>(step)) &&
      !GROW(s, window)) {
    return Room::kRefused;
  }
  return s.unreserved ? Room::kGrown : Room::kReserved;
}

// Makes room for and maps the file's bytes for up to `wanted` records after s.done; false when
// the file system refuses either (a full disk, a quota, a file-size limit, no shared mapping on
// this file system). A window starts where a multiple of kWindowBytes does in the file, and its
// slots end in the granule after the next one, so that the record that crosses into the next
// window is still its own.
// Fast path: with windows at those places the kernel gives their pages in large aligned pieces,
// and a 2501 x 2501 run takes 0.75 of the time it takes with windows from the page of the first
// record (11 interleaved pairs on one core; 0.73 on two).
bool MAP_WINDOW(RecordSlots& s, std::size_t wanted) {
  UNMAP(s);
  static const auto granule = OS_MAP_GRANULE();
  constexpr auto kPlace = static_cast<std::int64_t>(kWindowBytes);
  std::int64_t base = s.done - s.done % kPlace;
  auto offset = static_cast<std::size_t>(s.done - base);
  std::size_t records = std::min(wanted, (kWindowBytes + granule - offset) / s.length);
  std::size_t bytes = records * s.length;
  Room room = MAKE_ROOM(s, bytes, wanted);
  if (room == Room::kRefused) return false;
  // Unreserved, the pages made writable in one call are where the blocks are taken: a window
  // that cannot have them all goes out through write(), which keeps every record that fits and
  // says why the next one did not.
  MappedWindow window;
  s.prepared = room == Room::kGrown;
  if (OS_MAP(s.c->fd, base, offset + bytes, s.prepared, window) != 0) return false;
  s.window = window.base;
  s.window_bytes = window.bytes;
  s.next = s.window + offset;
  s.limit = s.next + bytes;
  FaultWindow& w = FAULT_WINDOW();
  w.begin = s.window;
  w.end = s.window + s.window_bytes;
  w.offset = base;
  w.file = FILE_INDEX(*s.c);
  return true;
}

// Where the bytes that another program left end, in a file grown back over its cut: just after
// the last byte before `kept` that is not zero (a record is text, never a zero byte); -1 when the
// file cannot be read. The grown part starts at the first hole at the latest, so that only the
// zeroed rest of the block where the cut fell is read.
std::int64_t LEFT_LENGTH(FileHandle file, std::int64_t kept) {
  std::int64_t end = OS_DATA_END(file);
  if (end < 0) return -1;
  std::int64_t left = std::min<std::int64_t>(end, kept);
  std::array<char, 4096> block;
  while (left > 0) {
    std::int64_t from = std::max<std::int64_t>(left - std::ssize(block), 0);
    auto n = static_cast<std::size_t>(left - from);
    std::size_t got = 0;
    if (OS_READ_AT(file, std::span(block.data(), n), from, got) != 0 || got != n) return -1;
    std::size_t last = std::string_view(block.data(), n).find_last_not_of('\0');
    if (last != std::string_view::npos) return from + static_cast<std::int64_t>(last) + 1;
    left = from;
  }
  return left;
}

// The room is made after the length was checked: a cut that came between the two was grown back
// with zeros (a hole, or the zeroed rest of the block where the cut fell), the last kept byte
// among them. The file is cut back to where that program left it, and the run ends as for any cut.
void REFUSE_GROWN_OVER_CUT(const RecordSlots& s) {
  if (s.done <= 0) return;
  char last = 0;
  std::size_t got = 0;
  if (OsError refused = OS_READ_AT(s.c->fd, std::span(&last, 1), s.done - 1, got)) {
    FAIL_IO(kWriteError, s.c->unit, s.c->name(), refused);
  }
  if (got == 1 && last != '\0') return;
  if (std::int64_t left = LEFT_LENGTH(s.c->fd, s.done); left >= 0) {
    (void)OS_SET_LENGTH(s.c->fd, left);
  }
  FAIL_IO_BECAUSE(kWriteError, s.c->unit, s.c->name(), kFileShortened);
}

}  // namespace

void SLOTS_BEGIN(RecordSlots& s, Connection& c, std::size_t length) {
  s.c = &c;
  s.kept = &KEPT_LENGTH(c);
  s.length = length;
  s.next = s.limit = nullptr;
  s.done = s.reserved = s.kept->load();
  s.unreserved = false;
  // A kept length means a disk file that its first record has cut, written, so not read-only:
  // what a mapping needs.
  s.mapped = s.done >= 0;
  if (s.mapped) OS_CATCH_WINDOW_FAULTS(ON_WINDOW_FAULT);
}

void SLOTS_MORE(RecordSlots& s, std::size_t wanted) {
  wanted = std::max<std::size_t>(wanted, 1);
  // Before a reservation can grow the file back over a cut, or a write go after one.
  REFUSE_SHORTENED(*s.c, std::max(s.reserved, s.kept->load()));
  if (s.mapped) {
    bool window = MAP_WINDOW(s, wanted);
    if (!window) STAGE(s);
    REFUSE_GROWN_OVER_CUT(s);  // either grows the file to the length it checked, or beyond
    if (window) return;
  }
  std::size_t records = std::min(wanted, s.staged.size() / s.length);
  s.next = s.staged.data();
  s.limit = s.next + records * s.length;
}

void SLOTS_PREPARE(const RecordSlots& s, char* from, char* to) {
  if (s.mapped && !s.prepared) OS_PREPARE_WINDOW(std::span(from, to));
}

void SLOT_WRITE(RecordSlots& s) {
  PUT_LINE(*s.c, std::string_view(s.next, s.length));
  s.next += s.length;
}

void SLOTS_SPLIT(RecordSlots& s, std::size_t n, std::span<SlotRun> runs) {
  FillingRun* entries = FILE_OF(*s.c).runs;
  auto parts = static_cast<std::int64_t>(std::min(runs.size(), kMaxCores));
  auto length = static_cast<std::int64_t>(s.length);
  for (std::int64_t i = 0; i < static_cast<std::int64_t>(kMaxCores); ++i) {
    FillingRun& e = entries[i];
    // Out of use while it changes, so that no ending counts a stale run's progress.
    e.start.store(-1, std::memory_order_release);
    if (i >= parts) continue;
    auto items = static_cast<std::int64_t>(n);
    std::int64_t from = SHARE_START(i, items, parts) * length;
    std::int64_t to = SHARE_START(i + 1, items, parts) * length;
    e.done.store(0, std::memory_order_relaxed);
    e.end.store(s.done + to, std::memory_order_relaxed);
    e.start.store(s.done + from, std::memory_order_release);
    runs[static_cast<std::size_t>(i)] = {s.next + from, s.next + to, s.length, &e.done, &s};
  }
}

void SLOTS_JOINED(RecordSlots& s, std::size_t n) {
  s.next += n * s.length;
  s.done += static_cast<std::int64_t>(n * s.length);
  s.kept->store(s.done, std::memory_order_release);
}

void SLOTS_END(RecordSlots& s) {
  UNMAP(s);
  s.next = s.limit = nullptr;
}

}  // namespace veldrix
