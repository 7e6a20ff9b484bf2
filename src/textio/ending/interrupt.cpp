#include "textio/ending/interrupt.hpp"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <string_view>

#include "textio/ending/error_stream.hpp"
#include "textio/ending/failure_table.hpp"
#include "textio/ending/open_files.hpp"

namespace veldrix {

volatile std::sig_atomic_t g_writing_record = 0;
volatile std::sig_atomic_t g_pending_event = 0;

namespace {

// Requests to end that other programs send (timeout, kill, service managers, limits), besides
// the real-time signals: the output is trimmed to its completed records first, nothing is
// reported, and the run ends by the same signal, as the sender expects. The program's own faults
// (SIGSEGV, SIGFPE, SIGABRT, ...) are not among them.
constexpr int kRequestsToEnd[] = {SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
                                  SIGPROF, SIGXCPU, SIGPWR,  SIGPOLL, SIGSTKFLT};

// Every signal that ends the run through INTERRUPT_EXIT.
sigset_t ENDING_SIGNALS() {
  sigset_t set;
  sigemptyset(&set);
  for (const ConsoleEvent& e : kConsoleEvents) sigaddset(&set, e.signal_number);
  for (int signal_number : kRequestsToEnd) sigaddset(&set, signal_number);
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    sigaddset(&set, signal_number);
  }
  return set;
}

void ON_EVENT(int signal_number) {
  if (g_writing_record != 0) {
    g_pending_event = signal_number;
    return;
  }
  INTERRUPT_EXIT(signal_number);
}

// Delivers the signal to its default action, which ends the process; in the handler the signal
// is blocked, so it takes effect at the unblock.
void RAISE_BY_DEFAULT_ACTION(int signal_number) {
  std::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
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
  action.sa_mask = ENDING_SIGNALS();
  action.sa_flags = 0;  // no SA_RESTART: a blocked write returns so that the event is served
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (sigismember(&action.sa_mask, signal_number) != 1) continue;
    if (!IGNORED_AT_START(signal_number)) sigaction(signal_number, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
  // A file-size limit is then a refused write (EFBIG), reported like a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
}

void BLOCK_ENDING_SIGNALS() {
  sigset_t set = ENDING_SIGNALS();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // One report, one trim: a second ending waits for the first to end the process.
  static std::atomic<pid_t> owner{0};
  pid_t self = ::gettid();
  pid_t none = 0;
  if (owner.compare_exchange_strong(none, self) || none == self) {
    ERASE_PROGRESS();  // every ending leaves the screen as it would be without the line
    return;
  }
  for (;;) ::pause();
}

void LEAVE_ENDING_SIGNALS() {
  sigset_t set = ENDING_SIGNALS();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void INTERRUPT_EXIT(int signal_number) {
  BLOCK_ENDING_SIGNALS();  // a second event does not cut this one short
  KEEP_COMPLETED_RECORDS();
  for (const ConsoleEvent& e : kConsoleEvents) {
    if (e.signal_number != signal_number) continue;
    ERROR_WRITE({e.line});
    CLOSE_ALL();
    ::_exit(e.exit_status);
  }
  CLOSE_ALL();
  RAISE_BY_DEFAULT_ACTION(signal_number);  // the run ends by the signal, as the sender expects
  ::_exit(128 + signal_number);            // only should the signal's action not end it
}

}  // namespace veldrix
