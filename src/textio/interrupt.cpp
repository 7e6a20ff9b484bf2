#include "textio/interrupt.hpp"

#include <unistd.h>

#include <string_view>

#include "textio/connection.hpp"

namespace veldrix {

volatile std::sig_atomic_t g_writing_record = 0;
volatile std::sig_atomic_t g_pending_event = 0;

namespace {

struct ConsoleEvent {
  int signal_number;
  std::string_view line;  // the report line with its line end
  int exit_status;        // an aborted run must not look like a completed one
};

constexpr ConsoleEvent kEvents[] = {
    {SIGINT, "forrtl: error (200): program aborting due to control-C event\r\r\n", 130},
    {SIGQUIT, "forrtl: error (200): program aborting due to control-BREAK event\r\r\n", 1},
    {SIGHUP, "forrtl: error (200): program aborting due to window-CLOSE event\r\r\n", 2},
};

void ON_EVENT(int signal_number) {
  if (g_writing_record != 0) {
    g_pending_event = signal_number;
    return;
  }
  INTERRUPT_EXIT(signal_number);
}

// A signal ignored when the program started (a run under nohup, or in the background of a
// script) was ignored on purpose by whoever started it.
bool IGNORED_AT_START(int signal_number) {
  struct sigaction old = {};
  return sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

}  // namespace

void INSTALL_INTERRUPTS() {
  struct sigaction action = {};
  action.sa_handler = ON_EVENT;
  sigemptyset(&action.sa_mask);
  for (const ConsoleEvent& e : kEvents) sigaddset(&action.sa_mask, e.signal_number);
  action.sa_flags = 0;  // no SA_RESTART: a blocked write returns so that the event is served
  for (const ConsoleEvent& e : kEvents) {
    if (!IGNORED_AT_START(e.signal_number)) sigaction(e.signal_number, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

void INTERRUPT_EXIT(int signal_number) {
  for (const ConsoleEvent& e : kEvents) {
    if (e.signal_number != signal_number) continue;
    ssize_t ignored = ::write(STDERR_FILENO, e.line.data(), e.line.size());
    (void)ignored;
    CLOSE_ALL();
    ::_exit(e.exit_status);
  }
  ::_exit(1);
}

}  // namespace veldrix
