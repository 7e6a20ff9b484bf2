// Threads: which one is running, and waiting for the process to end.
#include <unistd.h>

#include "os/os.hpp"

namespace veldrix {

std::uintptr_t OS_THREAD_ID() { return static_cast<std::uintptr_t>(::gettid()); }

void OS_WAIT_FOREVER() {
  for (;;) ::pause();
}

}  // namespace veldrix
