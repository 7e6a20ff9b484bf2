#include "textio/ending/open_files.hpp"

#include <algorithm>

namespace veldrix {
namespace {

// Global, as the endings and the fault hook reach them from a signal or fault handler.
OpenFile g_open[kOpenFiles];
FaultWindow g_window;

}  // namespace

OpenFile& OPEN_FILE(std::size_t index) { return g_open[index]; }

FaultWindow& FAULT_WINDOW() { return g_window; }

std::int64_t KEPT_NOW(const OpenFile& f) {
  std::int64_t kept = f.kept.load(std::memory_order_acquire);
  if (kept < 0) return kept;
  for (const FillingRun& run : f.runs) {
    std::int64_t start = run.start.load(std::memory_order_acquire);
    if (start < 0 || start > kept) break;  // no run, or a gap before it
    // A run whose records all count already (an earlier window's) is passed over.
    std::int64_t reached = start + run.done.load(std::memory_order_acquire);
    kept = std::max(kept, reached);
    if (reached < run.end.load(std::memory_order_acquire)) break;
  }
  return kept;
}

OsError TRIM(const OpenFile& f) {
  FileHandle file = f.fd.load();
  std::int64_t kept = KEPT_NOW(f);
  if (file == kNoFile || kept < 0) return 0;
  return OS_TRIM(file, kept);
}

void KEEP_COMPLETED_RECORDS() {
  for (const OpenFile& f : g_open) TRIM(f);
}

void CLOSE_ALL() {
  KEEP_COMPLETED_RECORDS();
  for (OpenFile& f : g_open) {
    FileHandle file = f.fd.exchange(kNoFile);
    if (file != kNoFile) OS_CLOSE(file);
  }
}

}  // namespace veldrix
