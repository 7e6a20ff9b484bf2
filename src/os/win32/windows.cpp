// The output's windows: views of a file mapping, kept in a table of the floor's own so that a
// trim can unmap them first (a mapped view refuses any cut) and the fault handler knows them.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>

#include "os/os.hpp"

namespace veldrix {
namespace {

HANDLE HANDLE_OF(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

// kFilling lasts one mapping call, kUnmapping one unmapping: whoever meets them waits them out.
enum ViewState : int { kFree, kFilling, kMapped, kUnmapping, kCut };

struct View {
  std::atomic<int> state{kFree};
  FileHandle file = kNoFile;
  char* base = nullptr;
  std::size_t bytes = 0;
};

View g_views[64];
std::atomic<WindowFaultHook> g_fault_hook{nullptr};
using StatusToError = ULONG(WINAPI*)(LONG);
std::atomic<StatusToError> g_status_to_error{nullptr};

// A slot for a view about to be mapped: kFilling until PUBLISH, so that a trim on another thread
// (a control event's) waits for the view and unmaps it, rather than meeting a view it does not
// know and being refused the cut. nullptr when every slot is taken.
View* CLAIM(FileHandle file) {
  for (View& view : g_views) {
    int free = kFree;
    if (!view.state.compare_exchange_strong(free, kFilling)) continue;
    view.file = file;
    view.base = nullptr;
    view.bytes = 0;
    return &view;
  }
  return nullptr;
}

void PUBLISH(View& view, char* base, std::size_t bytes) {
  view.base = base;
  view.bytes = bytes;
  view.state.store(base != nullptr ? kMapped : kFree);
}

int SETTLED_STATE(const View& view) {
  int state = view.state.load();
  while (state == kFilling || state == kUnmapping) {
    Sleep(0);
    state = view.state.load();
  }
  return state;
}

// Every view of the file is unmapped and left marked as cut, so that a store into it from a
// worker is known as the trim's doing.
void CUT_VIEWS_OF(FileHandle file) {
  for (View& view : g_views) {
    int state = SETTLED_STATE(view);
    if (state != kMapped || view.file != file) continue;
    if (!view.state.compare_exchange_strong(state, kUnmapping)) continue;
    UnmapViewOfFile(view.base);
    view.state.store(kCut);
  }
}

// Whether `at` lies in a view that is mapped, or was until a trim took it away.
bool IN_VIEW(const char* at) {
  for (const View& view : g_views) {
    const int state = view.state.load();
    const bool counts = state == kCut || state == kUnmapping || state == kMapped;
    if (counts && at >= view.base && at < view.base + view.bytes) return true;
  }
  return false;
}

OsError IN_PAGE_ERROR(const EXCEPTION_RECORD& record) {
  const StatusToError convert = g_status_to_error.load();
  if (record.NumberParameters < 3 || convert == nullptr) return ERROR_DISK_FULL;
  return static_cast<OsError>(convert(static_cast<LONG>(record.ExceptionInformation[2])));
}

LONG CALLBACK ON_FAULT(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
  char* at = reinterpret_cast<char*>(record.ExceptionInformation[1]);
  OsError error = 0;
  if (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR && IN_VIEW(at)) {
    error = IN_PAGE_ERROR(record);  // the disk could not take the page: full or failing
  } else if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && IN_VIEW(at)) {
    // A store into a window that an ending has unmapped; or past the end of a file that a program
    // of another system cut under the view (Windows refuses such a cut; a share or Wine may not),
    // which the hook tells by the file's length.
    error = ERROR_NOACCESS;
  } else {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const WindowFaultHook hook = g_fault_hook.load();
  return hook != nullptr && hook(at, error) ? EXCEPTION_CONTINUE_EXECUTION
                                            : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

OsError OS_TRIM(FileHandle file, std::int64_t kept) {
  CUT_VIEWS_OF(file);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(HANDLE_OF(file), &size)) return static_cast<OsError>(GetLastError());
  if (size.QuadPart <= kept) return 0;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = kept;
  return SetFileInformationByHandle(HANDLE_OF(file), FileEndOfFileInfo, &end, sizeof end)
             ? 0
             : static_cast<OsError>(GetLastError());
}

std::size_t OS_MAP_GRANULE() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwAllocationGranularity;
}

OsError OS_MAP(FileHandle file, std::int64_t offset, std::size_t bytes, bool populate,
               MappedWindow& window) {
  // Nothing makes a view's pages writable in one call, nor needs to: a store that meets a full
  // disk in a window that is only grown is an in-page error, which the fault hook ends as a
  // failed write with every completed record kept.
  (void)populate;
  View* view = CLAIM(file);
  if (view == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  const auto end = static_cast<std::uint64_t>(offset) + bytes;
  const HANDLE mapping =
      CreateFileMappingW(HANDLE_OF(file), nullptr, PAGE_READWRITE, static_cast<DWORD>(end >> 32),
                         static_cast<DWORD>(end), nullptr);
  if (mapping == nullptr) {
    const DWORD error = GetLastError();
    PUBLISH(*view, nullptr, 0);
    return static_cast<OsError>(error);
  }
  const auto from = static_cast<std::uint64_t>(offset);
  void* base = MapViewOfFile(mapping, FILE_MAP_WRITE, static_cast<DWORD>(from >> 32),
                             static_cast<DWORD>(from), bytes);
  const DWORD error = base == nullptr ? GetLastError() : 0;
  CloseHandle(mapping);  // the view holds the mapping for as long as it lasts
  PUBLISH(*view, static_cast<char*>(base), bytes);
  if (base == nullptr) return static_cast<OsError>(error);
  window = {static_cast<char*>(base), bytes};
  return 0;
}

void OS_UNMAP(MappedWindow& window) {
  for (View& view : g_views) {
    int state = SETTLED_STATE(view);
    if (view.base != window.base || (state != kMapped && state != kCut)) continue;
    if (state == kCut || view.state.compare_exchange_strong(state, kUnmapping)) {
      if (state == kMapped) UnmapViewOfFile(window.base);
      view.state.store(kFree);
      break;
    }
  }
  window = {};
}

void OS_CATCH_WINDOW_FAULTS(WindowFaultHook hook) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll != nullptr) {
    g_status_to_error.store(reinterpret_cast<StatusToError>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlNtStatusToDosError"))));
  }
  if (g_fault_hook.exchange(hook) == nullptr) AddVectoredExceptionHandler(1, ON_FAULT);
}

}  // namespace veldrix
