#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>

#include "os/os.hpp"

namespace veldrix {
namespace {

std::atomic<EventHook> g_event_hook{nullptr};

BOOL WINAPI ON_CONTROL_EVENT(DWORD type) {
  const EventHook hook = g_event_hook.load();
  if (hook == nullptr) return FALSE;
  hook(static_cast<int>(type) + 1);
  // The hook returned: a record is being written and the main thread ends the run after it.
  // Returning would let the system end the process at once for a closing window.
  OS_WAIT_FOREVER();
}

}  // namespace

ControlEvent OS_EVENT_KIND(int code) {
  switch (code - 1) {
    case CTRL_C_EVENT: return ControlEvent::kControlC;
    case CTRL_BREAK_EVENT: return ControlEvent::kControlBreak;
    case CTRL_CLOSE_EVENT: return ControlEvent::kWindowClose;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: return ControlEvent::kRequestToEnd;
    default: return ControlEvent::kNone;
  }
}

void OS_WATCH_EVENTS(EventHook hook) {
  if (g_event_hook.exchange(hook) == nullptr) SetConsoleCtrlHandler(ON_CONTROL_EVENT, TRUE);
}

void OS_BLOCK_EVENTS() {}

void OS_END_BY_EVENT(int) { OS_EXIT(kControlCStatus); }

}  // namespace veldrix
