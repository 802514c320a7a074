// Portable termination signals: a signal only sets a flag; the message loop acts on it.
#include "platform/portable/signals.h"

#include <signal.h>

#include "platform/portable/hooks_internal.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace {

volatile sig_atomic_t terminationRequested = 0;

void OnTerminationSignal(int) { terminationRequested = 1; }

}  // namespace

void InstallTerminationHandler() {
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// A termination signal turns into window destruction at a safe point.
void CheckTermination() {
  if (terminationRequested == 0) return;
  terminationRequested = 0;
  DestroyAllWindows();
  // Wakes a loop that waits for a window that is now gone, such as a modal dialog's.
  PostMessageA(nullptr, WM_NULL, 0, 0);
}

void ResetSignals() { terminationRequested = 0; }
