// The call stack, for the listing of a failure report.
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>

#include "os/os.hpp"

namespace veldrix {
namespace {

std::string_view BASENAME(const char* path) {
  std::string_view p = path != nullptr ? path : "";
  std::size_t slash = p.rfind('/');
  if (slash != std::string_view::npos) p.remove_prefix(slash + 1);
  return p.empty() ? std::string_view("Unknown") : p;
}

}  // namespace

// backtrace() loads the unwinder on its first call, which allocates: done at start, a failure
// report (from a signal handler too) never has to.
void OS_PREPARE_CALL_STACK() {
  void* frames[4];
  (void)::backtrace(frames, 4);
}

// Not inlined: the frames left out are this routine's own and its caller's.
[[gnu::noinline]] std::size_t OS_CALL_STACK(std::span<StackFrame> frames, std::size_t skip) {
  constexpr std::size_t kMost = 64;
  void* pcs[kMost];
  std::size_t first = skip + 2;
  std::size_t want = std::min(kMost, first + frames.size());
  auto count = static_cast<std::size_t>(std::max(0, ::backtrace(pcs, static_cast<int>(want))));
  std::size_t n = 0;
  for (std::size_t i = first; i < count && n < frames.size(); ++i, ++n) {
    auto pc = reinterpret_cast<std::uintptr_t>(pcs[i]);
    Dl_info info = {};
    frames[n] = {"Unknown", pc};
    if (::dladdr(pcs[i], &info) != 0) {
      frames[n] = {BASENAME(info.dli_fname), pc - reinterpret_cast<std::uintptr_t>(info.dli_fbase)};
    }
  }
  return n;
}

}  // namespace veldrix
