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

// The module that holds the address, or nullptr. A walk that runs past the stack's first frame
// (Wine's does) meets words that are no return address: outside every module, or beyond the end
// of the module's image.
HMODULE MODULE_OF(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      static_cast<LPCWSTR>(address), &module);
  if (module == nullptr) return nullptr;
  const auto base = reinterpret_cast<const char*>(module);
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos.e_lfanew);
  const auto offset = static_cast<std::uintptr_t>(static_cast<const char*>(address) - base);
  return offset < nt.OptionalHeader.SizeOfImage ? module : nullptr;
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
  std::size_t listed = 0;
  for (; listed < count; ++listed) {
    const HMODULE module = MODULE_OF(addresses[listed]);
    if (module == nullptr) break;  // the walk has left the stack
    frames[listed].image = BASE_NAME(module);
    frames[listed].offset = reinterpret_cast<std::uintptr_t>(addresses[listed]) -
                            reinterpret_cast<std::uintptr_t>(module);
  }
  return listed;
}

}  // namespace veldrix
