// Console events: control-C (SIGINT), control-BREAK (SIGQUIT) and window-CLOSE (SIGHUP) end the
// run with one report line. An event that arrives while a record is being written waits until
// the record is out, so an interrupted run never leaves half a record behind.
#pragma once

#include <csignal>

namespace veldrix {

extern volatile std::sig_atomic_t g_writing_record;
extern volatile std::sig_atomic_t g_pending_event;

// Registers the handlers, except for an event whose signal was ignored at start, which stays
// ignored; SIGPIPE is ignored so that a closed pipe is a failed write.
void INSTALL_INTERRUPTS();

// Writes the interrupt line, closes every connection and ends the process. Async-signal-safe.
[[noreturn]] void INTERRUPT_EXIT(int signal_number);

inline bool INTERRUPT_PENDING() { return g_pending_event != 0; }

// Held while one record goes out.
struct WRITE_GUARD {
  WRITE_GUARD() { g_writing_record = 1; }
  ~WRITE_GUARD() {
    g_writing_record = 0;
    if (g_pending_event != 0) INTERRUPT_EXIT(g_pending_event);
  }
  WRITE_GUARD(const WRITE_GUARD&) = delete;
  WRITE_GUARD& operator=(const WRITE_GUARD&) = delete;
};

}  // namespace veldrix
