// Portable termination signals: a signal only sets a flag; the message loop acts on it.
#include "platform/portable/signals.h"

#include <signal.h>

#include "platform/portable/test_seam.h"
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
  // Daemons end their savers with SIGTERM; XSecureLock's reset sends SIGUSR1, a closed terminal
  // SIGHUP. Each would otherwise kill the process before times.dat is written.
  for (int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaction(number, &action, nullptr);
}

void RequestTermination() { terminationRequested = 1; }

// A termination signal turns into window destruction at a safe point. A message box that is up
// is ended first, and the request waits until it has closed: its owner may still be in the middle
// of its creation, and ends as usual only once that is done.
void CheckTermination() {
  if (terminationRequested == 0) return;
  if (EndShownMessageBox()) {
    PostMessageA(nullptr, WM_NULL, 0, 0);  // wakes the box's loop
    return;
  }
  terminationRequested = 0;
  DestroyAllWindows();
  // Wakes a loop that waits for a window that is now gone, such as a modal dialog's.
  PostMessageA(nullptr, WM_NULL, 0, 0);
}

void ResetSignals() { terminationRequested = 0; }
