// Threads: the cores, workers, which thread is running, and waiting for the process to end.
#include <pthread.h>
#include <unistd.h>

#include <bit>
#include <csignal>

#include "os/os.hpp"
#include "os/posix/extras.hpp"

extern char** environ;  // POSIX declares it for the program to declare

namespace veldrix {
namespace {

void* RUN_WORKER(void* argument) {
  const Worker& worker = *static_cast<const Worker*>(argument);
  worker.run(worker.arg);
  return nullptr;
}

}  // namespace

std::size_t OS_CORES() {
  static const std::size_t cores = [] {
    std::size_t affinity = AFFINITY();
    if (affinity > 0) return affinity;
    long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<std::size_t>(online) : std::size_t{1};
  }();
  return cores;
}

// A new thread takes the mask of the one that starts it: with the events blocked around the
// start, the worker never has a moment in which an event could come to it.
bool OS_START_WORKER(Worker& worker) {
  sigset_t before;
  ::pthread_sigmask(SIG_SETMASK, nullptr, &before);
  OS_BLOCK_EVENTS();
  pthread_t thread;
  bool started = ::pthread_create(&thread, nullptr, RUN_WORKER, &worker) == 0;
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (started) worker.id = std::bit_cast<std::uintptr_t>(thread);
  return started;
}

void OS_JOIN_WORKER(Worker& worker) {
  ::pthread_join(std::bit_cast<pthread_t>(worker.id), nullptr);
  worker.id = 0;
}

std::uintptr_t OS_THREAD_ID() { return THREAD_KEY(); }

void OS_WAIT_FOREVER() {
  for (;;) ::pause();
}

std::span<const char* const> OS_ENVIRONMENT() {
  std::size_t n = 0;
  while (environ[n] != nullptr) ++n;
  return {const_cast<const char* const*>(environ), n};
}

}  // namespace veldrix
