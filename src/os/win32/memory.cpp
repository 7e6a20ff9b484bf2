#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>

#include "os/os.hpp"

namespace veldrix {
namespace {

// The least memory limit of the job the process runs in, kNoLimit when it sets none.
std::uint64_t JOB_LIMIT() {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
  if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                 nullptr)) {
    return kNoLimit;  // not in a job
  }
  std::uint64_t limit = kNoLimit;
  const DWORD flags = job.BasicLimitInformation.LimitFlags;
  if ((flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) != 0) limit = job.ProcessMemoryLimit;
  if ((flags & JOB_OBJECT_LIMIT_JOB_MEMORY) != 0) {
    limit = std::min<std::uint64_t>(limit, job.JobMemoryLimit);
  }
  return limit;
}

}  // namespace

MemoryFacts OS_MEMORY() {
  MemoryFacts facts;
  facts.group = JOB_LIMIT();
  if (facts.group != kNoLimit) return facts;
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (GlobalMemoryStatusEx(&status)) {
    facts.machine = status.ullAvailPhys;
    facts.process = status.ullTotalPageFile;  // the commit limit
  }
  return facts;
}

std::uint64_t OS_RESIDENT_BYTES() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
             ? counters.WorkingSetSize
             : 0;
}

void* OS_ZEROED_PAGES(std::uint64_t bytes) {
  // Committed pages count against the commit limit, which OS_MEMORY reports.
  return VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_RESERVE | MEM_COMMIT,
                      PAGE_READWRITE);
}

void OS_PREPARE_PAGES(std::span<std::byte>) {}

void OS_PREPARE_WINDOW(std::span<char>) {}

}  // namespace veldrix
