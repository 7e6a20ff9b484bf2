#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>

#include "os/os.hpp"
#include "os/win32/text.hpp"

namespace veldrix {
namespace {

// The base names of the modules of the last capture, which its frames point into.
struct ModuleName {
  HMODULE module = nullptr;
  char name[96] = {};
  std::size_t length = 0;
};
ModuleName g_modules[8];

std::string_view BASE_NAME(HMODULE module) {
  for (ModuleName& known : g_modules) {
    if (known.module == module) return {known.name, known.length};
    if (known.module != nullptr) continue;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring_view whole(path, length);
    whole.remove_prefix(std::min(whole.size(), whole.find_last_of(L"\\/") + 1));
    known.module = module;
    known.length = BYTES_FROM(CP_UTF8, whole, known.name);
    return {known.name, known.length};
  }
  return "?";
}

}  // namespace

void OS_PREPARE_CALL_STACK() {
  void* frame = nullptr;
  RtlCaptureStackBackTrace(0, 1, &frame, nullptr);
}

std::size_t OS_CALL_STACK(std::span<StackFrame> frames, std::size_t skip) {
  void* addresses[62];
  const auto most = static_cast<DWORD>(std::min<std::size_t>(frames.size(), 62));
  // Our own frame is left out too.
  const WORD count =
      RtlCaptureStackBackTrace(static_cast<DWORD>(skip + 1), most, addresses, nullptr);
  for (ModuleName& known : g_modules) known = {};
  for (WORD at = 0; at < count; ++at) {
    HMODULE module = nullptr;
    const auto address = reinterpret_cast<std::uintptr_t>(addresses[at]);
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        static_cast<LPCWSTR>(addresses[at]), &module);
    frames[at].image = module == nullptr ? std::string_view("?") : BASE_NAME(module);
    frames[at].offset = address - reinterpret_cast<std::uintptr_t>(module);
  }
  return count;
}

}  // namespace veldrix
