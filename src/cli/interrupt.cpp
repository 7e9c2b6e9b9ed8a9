#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace dozered::cli {
namespace {

// Set by the signal handler (or, on Windows, by the console's handler
// thread): a lock-free atomic is safe in both.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr char kStoppingText[] =
    "dozered-cli: stopping after the step in progress; the drive is closed first\n";

#ifdef _WIN32

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  if (g_interrupted.exchange(1) == 0) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), kStoppingText, sizeof kStoppingText - 1, &written, nullptr);
  }
  return TRUE;
}

#else

void OnSignal(int) {
  if (g_interrupted.exchange(1) == 0) {
    // write() is safe in a signal handler; what it returns changes nothing.
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kStoppingText, sizeof kStoppingText - 1);
  }
}

#endif

}  // namespace

void InstallInterruptHandler() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // System calls the signal lands in carry on rather than fail.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() { return g_interrupted.load() != 0; }

void RequestInterrupt() { g_interrupted.store(1); }

void ClearInterrupt() { g_interrupted.store(0); }

}  // namespace dozered::cli
