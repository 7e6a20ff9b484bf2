// Runs of records of one fixed length to a file connection: the caller fills the slots this
// layer hands out, one record each, and marks each record done the moment all its bytes are
// stored.
//
// For a regular file the slots are the file's own pages: a shared mapping of a bounded window,
// its blocks reserved before any page of it is touched, so a full disk or a quota is met as a
// refused reservation and never as a fault on a page. Where the file system cannot reserve
// (ramfs, ext2) the blocks are taken as the window's pages are all made writable in one call,
// before any is filled; a window that cannot have them is refused like a reservation. A byte
// stored there is in the page cache at once, where write() would have put it, and stays there
// however the process ends. Where the room or the mapping is refused, or the output is not a
// regular file, each done slot goes out in one write() instead, from the record where the
// refusal came on.
//
// Either way the connection's kept length (KEPT_LENGTH) counts exactly the completed records,
// and every ending path trims the file to it. Another program that cuts the file meanwhile ends
// the run with a write failure before more slots are handed out (REFUSE_SHORTENED), or just after
// the room for them is made, when the cut came in between: the file is then cut back to where that
// program left it. The write() path appends, so that a cut is never filled back with zeros.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "os/os.hpp"
#include "textio/files/connection.hpp"

namespace veldrix {

// Where windows start in the file, and about the most one adds to the resident set (one granule
// of OS_MAP_GRANULE more at most); a multiple of every granule in use.
inline constexpr std::size_t kWindowBytes = kOsWindowBytes;

// The most the file's length runs ahead of its first record not yet done: the length is grown a
// step at a time (less at the grid's end), not a window at a time, since each growth makes the
// first writes of the pages after it about three times dearer.
inline constexpr std::int64_t kLengthStep = std::int64_t{64} << 20;

struct RecordSlots {
  Connection* c = nullptr;
  std::atomic<std::int64_t>* kept = nullptr;  // the connection's kept length
  std::size_t length = 0;                     // bytes of one record, its line end included
  char* next = nullptr;                       // the slot to fill next
  char* limit = nullptr;                      // the end of the slots handed out
  std::int64_t done = 0;                      // file offset just past the last mapped record
  std::int64_t reserved = 0;                  // the file's length as this layer grew it
  bool unreserved = false;  // the file system cannot reserve: blocks are taken at the populate
  bool mapped = false;      // the slots are the file's pages; once false, write() from there on
  bool prepared = false;    // the window's pages are writable already (SLOTS_PREPARE)
  char* window = nullptr;   // the mapped window, page aligned
  std::size_t window_bytes = 0;
  std::array<char, 16384> staged;  // the slots of the write() path
};

// Starts a run of records of `length` bytes (at most the staging size) after what the
// connection has written so far.
void SLOTS_BEGIN(RecordSlots& s, Connection& c, std::size_t length);

// Hands out slots for at most `wanted` (at least 1) more records in [s.next, s.limit). Call it
// only when every slot handed out before is done; `wanted` counts every record still to come, as
// the length grows by at most that much.
void SLOTS_MORE(RecordSlots& s, std::size_t wanted);

// Makes the pages of the slots [from, to) writable in one call before they are filled, where
// SLOTS_MORE left that to the caller: a fault per page costs more. Threads that fill parts of the
// slots at once each prepare their own part, so that this kernel work is shared among them too.
// Fast path: a 10000 x 10000 run on two cores then takes 0.79 of the time of one populate per
// window before the threads start (9 interleaved pairs; 2501 x 2501: 0.97, 11 pairs).
void SLOTS_PREPARE(const RecordSlots& s, char* from, char* to);

// The write() path of SLOT_DONE: the staged record goes out in one write.
void SLOT_WRITE(RecordSlots& s);

// The record in the slot at s.next is complete: it counts from now on.
inline void SLOT_DONE(RecordSlots& s) {
  if (!s.mapped) {
    SLOT_WRITE(s);
    return;
  }
  s.next += s.length;
  s.done += static_cast<std::int64_t>(s.length);
  // Every byte of the record is stored before the count says so, as a signal handler sees it.
  std::atomic_signal_fence(std::memory_order_release);
  s.kept->store(s.done, std::memory_order_relaxed);
}

// A run of mapped slots that one thread fills while other threads fill the runs after it: the
// slots [next, limit), the progress of the run's entry in the open files. That progress sits in
// the ending floor (FillingRun), where every ending, a signal handler among them, reads it.
struct SlotRun {
  char* next = nullptr;
  char* limit = nullptr;
  std::size_t length = 0;
  std::atomic<std::int64_t>* done = nullptr;
  const RecordSlots* slots = nullptr;  // where the slots were handed out, for SLOTS_PREPARE
};

// Called by the thread that fills the run, before it fills it.
inline void RUN_PREPARE(const SlotRun& r) { SLOTS_PREPARE(*r.slots, r.next, r.limit); }

// Splits the next n slots handed out (mapped ones, n at most what SLOTS_MORE handed out) into
// runs.size() runs (at most kMaxCores) as SHARE_START splits them, to be filled at once; from now
// on every ending keeps the records of the runs as far as they are all complete from the first.
void SLOTS_SPLIT(RecordSlots& s, std::size_t n, std::span<SlotRun> runs);

// The record in the run's slot at r.next is complete.
inline void RUN_SLOT_DONE(SlotRun& r) {
  r.next += r.length;
  r.done->store(r.done->load(std::memory_order_relaxed) + static_cast<std::int64_t>(r.length),
                std::memory_order_release);
}

// Every run of the split is filled (their threads have ended): the n slots count as done.
void SLOTS_JOINED(RecordSlots& s, std::size_t n);

// Ends the run: the window is unmapped; the file keeps exactly its completed records.
void SLOTS_END(RecordSlots& s);

}  // namespace veldrix
