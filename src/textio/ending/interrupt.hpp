// Console events: control-C (SIGINT), control-BREAK (SIGQUIT) and window-CLOSE (SIGHUP) end the
// run with one report line. Requests to end from other programs (SIGTERM, SIGUSR1, ...) end it
// silently, by the same signal. Either way the output keeps exactly its completed records; an
// event that arrives while a record is being written waits until the record is out.
#pragma once

#include <atomic>

namespace veldrix {

extern std::atomic<int> g_writing_record;
extern std::atomic<int> g_pending_event;
static_assert(std::atomic<int>::is_always_lock_free, "used in signal handlers");

// Registers the handlers, except for an event whose signal was ignored at start, which stays
// ignored; SIGPIPE is ignored so that a closed pipe is a failed write.
void INSTALL_INTERRUPTS();

// Blocks every signal that ends the run: a report or an ending under way is not cut short. The
// first thread to call it owns the ending; any other thread that comes to an ending of its own
// (a fault on the output's pages once the file is trimmed) waits there for the process to end.
// Async-signal-safe.
void BLOCK_ENDING_SIGNALS();

// Trims the output to its completed records, writes the interrupt line (console events only),
// closes every connection and ends the process. Async-signal-safe.
// `code` is the event's (os.hpp: OS_EVENT_KIND).
[[noreturn]] void INTERRUPT_EXIT(int code);

inline bool INTERRUPT_PENDING() { return g_pending_event.load() != 0; }

// While one record goes out, a console event waits for it.
inline void HOLD_EVENTS() { g_writing_record.store(1); }

// The record is out (or abandoned): an event that waited for it ends the run now.
inline void SERVE_HELD_EVENT() {
  g_writing_record.store(0);
  if (int code = g_pending_event.load(); code != 0) INTERRUPT_EXIT(code);
}

}  // namespace veldrix
