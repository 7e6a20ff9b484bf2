#include "textio/files/record_slots.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <string_view>

#include "textio/ending/failure.hpp"
#include "textio/ending/interrupt.hpp"

namespace veldrix {
namespace {

// The window being filled, for the fault handler: a store into it that faults (the file was cut
// by another program, a media error) is a failed write of its connection.
char* volatile g_window_begin = nullptr;
char* volatile g_window_end = nullptr;
volatile std::int64_t g_window_offset = 0;  // the file offset of g_window_begin
Connection* volatile g_window_connection = nullptr;

void ON_BUS_ERROR(int, siginfo_t* info, void*) {
  char* at = static_cast<char*>(info->si_addr);
  Connection* c = g_window_connection;
  if (c != nullptr && at >= g_window_begin && at < g_window_end) {
    // The run ends here, unless another thread is already ending it (its trim cut the window
    // under this thread's stores): then this one waits for the process to end.
    BLOCK_ENDING_SIGNALS();
    // A page past the file's end: another program cut the file below the window.
    REFUSE_SHORTENED(*c, g_window_offset + (at - g_window_begin) + 1);
    FAIL_IO(kWriteError, c->unit, c->name(), EIO);
  }
  // Not ours: the fault is the program's own. On return the access faults again and the default
  // action ends the process, as it would have without this handler.
  std::signal(SIGBUS, SIG_DFL);
}

void CATCH_BUS_ERRORS() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_sigaction = ON_BUS_ERROR;
  action.sa_flags = SA_SIGINFO;
  sigfillset(&action.sa_mask);  // the failure report is not cut short by a console event
  sigaction(SIGBUS, &action, nullptr);
}

void UNMAP(RecordSlots& s) {
  if (s.window == nullptr) return;
  g_window_connection = nullptr;
  g_window_begin = nullptr;
  g_window_end = nullptr;
  ::munmap(s.window, s.window_bytes);
  s.window = nullptr;
}

// From the record at s.done on, every record goes out through write(), at the file's end
// (O_APPEND): a file that another program cuts then stays shorter than its records, and is found.
void STAGE(RecordSlots& s) {
  UNMAP(s);
  s.mapped = false;
  s.reserved = s.done;
  // The file may hold a reservation beyond the completed records; the writes go after them.
  int flags = ::fcntl(s.c->fd, F_GETFL);
  if (flags < 0 || ::ftruncate(s.c->fd, s.done) != 0 ||
      ::fcntl(s.c->fd, F_SETFL, flags | O_APPEND) != 0) {
    FAIL_IO(kWriteError, s.c->unit, s.c->name(), errno);
  }
}

enum class Room { kReserved, kGrown, kRefused };

// Grows the file to s.done + bytes. Where the file system reserves blocks they are reserved, and
// a full disk is a refusal here. Where it cannot reserve at all (ramfs, ext2) the file is only
// grown: its blocks are taken as the window's pages are made writable.
// fallocate, not posix_fallocate: where the file system cannot reserve, the latter writes zeros,
// which is neither a reservation nor fast.
bool GROW(RecordSlots& s, std::int64_t bytes) {
  if (!s.unreserved) {
    int refused = 0;
    while ((refused = ::fallocate(s.c->fd, 0, s.done, bytes)) != 0 && errno == EINTR) {
    }
    if (refused != 0 && errno != EOPNOTSUPP) return false;
    s.unreserved = refused != 0;
  }
  if (s.unreserved && ::ftruncate(s.c->fd, s.done + bytes) != 0) return false;
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
// this file system).
bool MAP_WINDOW(RecordSlots& s, std::size_t wanted) {
  UNMAP(s);
  static const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
  std::int64_t base = s.done - s.done % page;
  auto offset = static_cast<std::size_t>(s.done - base);
  std::size_t records = std::min(wanted, (kWindowBytes - offset) / s.length);
  std::size_t bytes = records * s.length;
  Room room = MAKE_ROOM(s, bytes, wanted);
  if (room == Room::kRefused) return false;
  void* at = ::mmap(nullptr, offset + bytes, PROT_READ | PROT_WRITE, MAP_SHARED, s.c->fd, base);
  if (at == MAP_FAILED) return false;
  // One call makes every page of the window writable: a fault per page costs more. Unreserved,
  // it is also where the blocks are taken: a window that cannot have them all goes out through
  // write(), which keeps every record that fits and says why the next one did not.
  if (::madvise(at, offset + bytes, MADV_POPULATE_WRITE) != 0 && room == Room::kGrown) {
    ::munmap(at, offset + bytes);
    return false;
  }
  s.window = static_cast<char*>(at);
  s.window_bytes = offset + bytes;
  s.next = s.window + offset;
  s.limit = s.next + bytes;
  g_window_begin = s.window;
  g_window_end = s.window + s.window_bytes;
  g_window_offset = base;
  g_window_connection = s.c;
  return true;
}

// Where the bytes that another program left end, in a file grown back over its cut: just after
// the last byte before `kept` that is not zero (a record is text, never a zero byte); -1 when the
// file cannot be read. The grown part starts at the first hole at the latest, so that only the
// zeroed rest of the block where the cut fell is read.
std::int64_t LEFT_LENGTH(int fd, std::int64_t kept) {
  off_t end = ::lseek(fd, 0, SEEK_HOLE);
  if (end < 0) end = ::lseek(fd, 0, SEEK_END);
  std::int64_t left = std::min<std::int64_t>(end, kept);
  std::array<char, 4096> block;
  while (left > 0) {
    std::int64_t from = std::max<std::int64_t>(left - std::ssize(block), 0);
    auto n = static_cast<std::size_t>(left - from);
    if (::pread(fd, block.data(), n, from) != static_cast<ssize_t>(n)) return -1;
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
  ssize_t read = ::pread(s.c->fd, &last, 1, s.done - 1);
  if (read < 0) FAIL_IO(kWriteError, s.c->unit, s.c->name(), errno);
  if (read == 1 && last != '\0') return;
  if (std::int64_t left = LEFT_LENGTH(s.c->fd, s.done); left >= 0) (void)::ftruncate(s.c->fd, left);
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
  if (s.mapped) CATCH_BUS_ERRORS();
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

void SLOT_WRITE(RecordSlots& s) {
  PUT_LINE(*s.c, std::string_view(s.next, s.length));
  s.next += s.length;
}

void SLOTS_END(RecordSlots& s) {
  UNMAP(s);
  s.next = s.limit = nullptr;
}

}  // namespace veldrix
