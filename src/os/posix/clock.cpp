// The steady clock.
#include <ctime>

#include "os/os.hpp"

namespace veldrix {

double OS_SECONDS() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace veldrix
