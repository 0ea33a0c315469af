// The signals of the POSIX calls on Windows: its C library has signal()
// alone, and no process signals another.
#include <windows.h>

#include "platform/windows/posix_calls.h"

namespace {

// Blocking the console's signals: a thread that blocks them holds this
// lock shared, and their handler runs holding it alone, so that it waits
// until no thread has them blocked, and no thread blocks them while it
// runs, as a blocked signal waits on POSIX. (The handler runs on a thread
// of its own, beside every thread of the program.)
SRWLOCK g_signals_blocked = SRWLOCK_INIT;
thread_local bool t_blocking = false;  // this thread holds the lock shared

// Ctrl+C and Ctrl+Break, and the console closing, the user logging off or
// the system shutting down, reach a console program through its console
// control handler, on a thread of their own: they are handed to the
// handlers set for SIGINT (Ctrl+C) and SIGBREAK (all the others). When the
// handler returns for one of the last three, Windows ends the process.
void (*volatile console_handlers[2])(int) = {SIG_DFL, SIG_DFL};

BOOL WINAPI on_console_event(DWORD event) {
  const int sig = event == CTRL_C_EVENT ? SIGINT : SIGBREAK;
  void (*const handler)(int) = console_handlers[sig == SIGINT ? 0 : 1];
  if (handler == SIG_DFL) return FALSE;
  if (handler != SIG_IGN) {
    AcquireSRWLockExclusive(&g_signals_blocked);
    handler(sig);
    ReleaseSRWLockExclusive(&g_signals_blocked);
  }
  return TRUE;
}

}  // namespace

int sigaction(int sig, const struct sigaction* action, struct sigaction* old) {
  if (sig == SIGINT || sig == SIGBREAK) {
    static const bool installed = SetConsoleCtrlHandler(on_console_event, TRUE) != 0;
    if (!installed) {
      errno = EINVAL;
      return -1;
    }
    auto& slot = console_handlers[sig == SIGINT ? 0 : 1];
    if (old != nullptr) *old = {slot, 0, 0};
    if (action != nullptr) slot = action->sa_handler;
    return 0;
  }
  void (*was)(int) = nullptr;
  if (action != nullptr) {
    was = signal(sig, action->sa_handler);
  } else {
    was = signal(sig, SIG_IGN);
    if (was != SIG_ERR) signal(sig, was);
  }
  if (was == SIG_ERR) return -1;
  if (old != nullptr) *old = {was, 0, 0};
  return 0;
}

// The console's signals alone can be blocked: SIGINT and SIGBREAK, both
// or neither, by the bit of either.
int sigprocmask(int how, const sigset_t* set, sigset_t* old) {
  const sigset_t console = (sigset_t{1} << SIGINT) | (sigset_t{1} << SIGBREAK);
  if (old != nullptr) *old = t_blocking ? console : 0;
  if (set == nullptr) return 0;
  bool block = t_blocking;
  if (how == SIG_BLOCK) {
    block = block || (*set & console) != 0;
  } else if (how == SIG_UNBLOCK) {
    block = block && (*set & console) == 0;
  } else if (how == SIG_SETMASK) {
    block = (*set & console) != 0;
  } else {
    errno = EINVAL;
    return -1;
  }
  if (block && !t_blocking) AcquireSRWLockShared(&g_signals_blocked);
  if (!block && t_blocking) ReleaseSRWLockShared(&g_signals_blocked);
  t_blocking = block;
  return 0;
}

int sigfillset(sigset_t* set) {
  *set = ~sigset_t{0};
  return 0;
}

int sigemptyset(sigset_t* set) {
  *set = 0;
  return 0;
}

int kill(pid_t, int) {
  errno = ESRCH;
  return -1;
}

pid_t waitpid(pid_t, int*, int) {
  errno = ECHILD;
  return -1;
}
