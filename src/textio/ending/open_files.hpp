// The files the run has open, as every ending sees them: each one's descriptor and kept length.
// A connection (files/) fills its entry; the endings trim and close what the table holds, from
// a signal handler too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace veldrix {

// As many as there are connections: entry i belongs to connection slot i.
inline constexpr std::size_t kOpenFiles = 6;

struct OpenFile {
  std::atomic<int> fd{-1};  // -1: no file (a free slot, or a console stream)
  // The bytes that hold completed records, counted from the moment the first record cut the
  // file; -1 before (an old file is then left as it was).
  std::atomic<std::int64_t> kept{-1};
};
static_assert(std::atomic<int>::is_always_lock_free, "read in signal handlers");
static_assert(std::atomic<std::int64_t>::is_always_lock_free, "read in signal handlers");

OpenFile& OPEN_FILE(std::size_t index);

// Cuts the file to its kept length; only ever shortens, so a file that another program cut is
// not padded out with zeros. Returns 0 or the errno. Async-signal-safe.
int TRIM(const OpenFile& f);

// Cuts every open file to its kept length, so that nothing of a record written only in part,
// and nothing reserved beyond the completed records, stays in it. Async-signal-safe; every way
// the run ends does this before it writes its line.
void KEEP_COMPLETED_RECORDS();

// Closes every open file, keeping exactly its completed records. Async-signal-safe.
void CLOSE_ALL();

}  // namespace veldrix
