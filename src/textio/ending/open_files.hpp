// The files the run has open, as every ending sees them: each one's descriptor and kept length.
// A connection (files/) fills its entry; the endings trim and close what the table holds, from
// a signal handler too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "os/os.hpp"

namespace veldrix {

// As many as there are connections: entry i belongs to connection slot i.
inline constexpr std::size_t kOpenFiles = 6;

// The most threads that share the work on the cells, and so the most that fill one file at once.
// What derives from it (a band's marks, the reader's part buffers, the runs below) is checked
// where it is defined.
inline constexpr std::size_t kMaxCores = 16;

// A stretch of the file that one thread fills with records while other threads fill the
// stretches after it: [start, start + done) holds complete records. The parallel fill
// (files/record_slots.hpp) sets them.
// Each on a cache line of its own: its thread stores its progress after every record.
struct alignas(64) FillingRun {
  std::atomic<std::int64_t> start{-1};  // -1: not in use
  std::atomic<std::int64_t> end{-1};
  std::atomic<std::int64_t> done{0};
};

struct OpenFile {
  std::atomic<FileHandle> fd{kNoFile};  // none: a free slot, or a console stream
  // The bytes that hold completed records, counted from the moment the first record cut the
  // file; -1 before (an old file is then left as it was).
  std::atomic<std::int64_t> kept{-1};
  // The runs being filled after `kept`, in file order; each ends where the next starts.
  FillingRun runs[kMaxCores];
};
// Every ending walks the runs of every file, from a signal handler too.
static_assert(sizeof(OpenFile::runs) == kMaxCores * 64 && kMaxCores <= 64);
static_assert(std::atomic<FileHandle>::is_always_lock_free, "read in signal handlers");
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "read in signal handlers");

OpenFile& OPEN_FILE(std::size_t index);

// The window of a file's own pages being filled (files/record_slots.hpp), for the fault hook: a
// store into it that faults (the file was cut by another program, a media error) is a failed
// write of that file. The window is published before its file and withdrawn file first.
struct FaultWindow {
  char* volatile begin = nullptr;
  char* volatile end = nullptr;
  volatile std::int64_t offset = 0;        // the file offset of `begin`
  volatile std::size_t file = kOpenFiles;  // its entry in the open files; kOpenFiles: none
};

FaultWindow& FAULT_WINDOW();

// The bytes that hold completed records now: the kept length, carried on over the runs that
// continue it as far as every record of them is complete (the longest prefix of whole records,
// never one after a gap). Async-signal-safe.
std::int64_t KEPT_NOW(const OpenFile& f);

// Cuts the file to its kept length (KEPT_NOW); only ever shortens, so a file that another program
// cut is not padded out with zeros. Returns 0 or the system's refusal. Async-signal-safe.
OsError TRIM(const OpenFile& f);

// Cuts every open file to its kept length, so that nothing of a record written only in part,
// and nothing reserved beyond the completed records, stays in it. Async-signal-safe; every way
// the run ends does this before it writes its line.
void KEEP_COMPLETED_RECORDS();

// Closes every open file, keeping exactly its completed records. Async-signal-safe.
void CLOSE_ALL();

}  // namespace veldrix
