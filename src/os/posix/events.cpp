// Control events and requests to end, as signals; the ways the process ends.
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "os/os.hpp"

namespace veldrix {
namespace {

// Requests to end that other programs send (timeout, kill, service managers, limits), besides
// the real-time signals. The program's own faults (SIGSEGV, SIGFPE, SIGABRT, ...) are not among
// them.
constexpr int kRequestsToEnd[] = {
    SIGTERM,   SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// control-C, control-BREAK and closing the window (the terminal hanging up).
constexpr int kConsoleSignals[] = {SIGINT, SIGQUIT, SIGHUP};

EventHook g_hook = nullptr;
WindowFaultHook g_fault_hook = nullptr;

// Every signal that ends the run through the hook.
sigset_t ENDING_SIGNALS() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : kConsoleSignals) sigaddset(&set, signal_number);
  for (int signal_number : kRequestsToEnd) sigaddset(&set, signal_number);
#ifdef SIGRTMIN
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
    sigaddset(&set, signal_number);
  }
#endif
  return set;
}

void ON_SIGNAL(int signal_number) { g_hook(signal_number); }

// A signal ignored when the program started (a run under nohup, or in the background of a
// script) was ignored on purpose by whoever started it.
bool IGNORED_AT_START(int signal_number) {
  struct sigaction old = {};
  return sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN;
}

// A fault that the hook does not take is the program's own: on return the access faults again
// and the default action ends the process, as it would have without this handler.
void ON_BUS_ERROR(int, siginfo_t* info, void*) {
  if (g_fault_hook(static_cast<char*>(info->si_addr), EIO)) return;
  std::signal(SIGBUS, SIG_DFL);
}

}  // namespace

ControlEvent OS_EVENT_KIND(int code) {
  switch (code) {
    case 0: return ControlEvent::kNone;
    case SIGINT: return ControlEvent::kControlC;
    case SIGQUIT: return ControlEvent::kControlBreak;
    case SIGHUP: return ControlEvent::kWindowClose;
    default: return ControlEvent::kRequestToEnd;
  }
}

void OS_WATCH_EVENTS(EventHook hook) {
  g_hook = hook;
  struct sigaction action = {};
  action.sa_handler = ON_SIGNAL;
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

void OS_BLOCK_EVENTS() {
  sigset_t set = ENDING_SIGNALS();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The signal goes to its default action, which ends the process; in the handler the signal is
// blocked, so it takes effect at the unblock.
void OS_END_BY_EVENT(int code) {
  std::signal(code, SIG_DFL);
  ::raise(code);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, code);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  ::_exit(128 + code);  // only should the signal's action not end it
}

void OS_CATCH_WINDOW_FAULTS(WindowFaultHook hook) {
  if (std::exchange(g_fault_hook, hook) != nullptr) return;
  struct sigaction action = {};
  action.sa_sigaction = ON_BUS_ERROR;
  action.sa_flags = SA_SIGINFO;
  sigfillset(&action.sa_mask);  // the failure report is not cut short by a console event
  sigaction(SIGBUS, &action, nullptr);
}

void OS_EXIT(std::uint32_t status) { ::_exit(static_cast<int>(status)); }

}  // namespace veldrix
