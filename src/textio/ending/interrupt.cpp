#include "textio/ending/interrupt.hpp"

#include <string_view>

#include "os/os.hpp"
#include "textio/ending/error_stream.hpp"
#include "textio/ending/failure_table.hpp"
#include "textio/ending/open_files.hpp"

namespace veldrix {

std::atomic<int> g_writing_record{0};
std::atomic<int> g_pending_event{0};

namespace {

void ON_EVENT(int code) {
  if (g_writing_record.load() != 0) {
    g_pending_event.store(code);
    return;
  }
  INTERRUPT_EXIT(code);
}

}  // namespace

void INSTALL_INTERRUPTS() { OS_WATCH_EVENTS(ON_EVENT); }

void BLOCK_ENDING_SIGNALS() {
  OS_BLOCK_EVENTS();
  // One report, one trim: a second ending waits for the first to end the process.
  static std::atomic<std::uintptr_t> owner{0};
  std::uintptr_t self = OS_THREAD_ID();
  std::uintptr_t none = 0;
  if (owner.compare_exchange_strong(none, self) || none == self) {
    ERASE_PROGRESS();  // every ending leaves the screen as it would be without the line
    return;
  }
  OS_WAIT_FOREVER();
}

void INTERRUPT_EXIT(int code) {
  BLOCK_ENDING_SIGNALS();  // a second event does not cut this one short
  KEEP_COMPLETED_RECORDS();
  ControlEvent event = OS_EVENT_KIND(code);
  for (const ConsoleEvent& e : kConsoleEvents) {
    if (e.event != event) continue;
    ERROR_WRITE({e.line});
    CLOSE_ALL();
    OS_EXIT(e.exit_status);
  }
  CLOSE_ALL();
  OS_END_BY_EVENT(code);  // the run ends by the request, as the sender expects
}

}  // namespace veldrix
