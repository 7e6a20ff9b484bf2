#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <stdlib.h>
#include <windows.h>

#include <bit>

#include "os/os.hpp"

namespace veldrix {
namespace {

DWORD WINAPI RUN_WORKER(void* argument) {
  const Worker& worker = *static_cast<const Worker*>(argument);
  worker.run(worker.arg);
  return 0;
}

}  // namespace

std::size_t OS_CORES() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  return static_cast<std::size_t>(std::popcount(static_cast<std::uint64_t>(process)));
}

// Control events come on threads of their own, so a worker needs nothing blocked.
bool OS_START_WORKER(Worker& worker) {
  const HANDLE thread = CreateThread(nullptr, 0, RUN_WORKER, &worker, 0, nullptr);
  if (thread == nullptr) return false;
  worker.id = reinterpret_cast<std::uintptr_t>(thread);
  return true;
}

void OS_JOIN_WORKER(Worker& worker) {
  const auto thread = reinterpret_cast<HANDLE>(worker.id);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  worker.id = 0;
}

std::uintptr_t OS_THREAD_ID() { return GetCurrentThreadId(); }

void OS_WAIT_FOREVER() {
  for (;;) Sleep(INFINITE);
}

// The C runtime's copy, "NAME=value" each in the ANSI code page.
std::span<const char* const> OS_ENVIRONMENT() {
  char** variables = _environ;
  std::size_t n = 0;
  while (variables != nullptr && variables[n] != nullptr) ++n;
  return {const_cast<const char* const*>(variables), n};
}

double OS_SECONDS() {
  LARGE_INTEGER frequency{}, now{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace veldrix
