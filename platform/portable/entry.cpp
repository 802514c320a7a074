// The portable program's main(): the command line, the display, then WinMain as Windows calls it.
#include <cstdio>
#include <cstdlib>

#include "platform/portable/kernel.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace {

// The program reads its arguments through GetCommandLineA, never through WinMain's argument text.
char noArgumentText[] = "";

}  // namespace

// WinMain does not come back: the program ends through ExitProcess, and the X server releases the
// connection's windows, cursor and shared memory when the process is gone. So there is no
// PresenterClose here.
int main(int argc, char** argv) {
  SetCommandLineFromArguments(argc, argv);
  InstallTerminationHandler();
  // Without DISPLAY the run is headless, as documented; a server that DISPLAY names but that
  // does not answer would otherwise pass for that and run unseen until it is killed.
  const char* name = getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    PresenterReportHeadlessWindows();
  } else if (!PresenterOpen(&kWindowSink)) {
    fprintf(stderr, "cubrix: cannot reach the X server of DISPLAY '%s'\n", name);
    return kConnectionLostStatus;
  }
  return WinMain(GetModuleHandleA(nullptr), nullptr, noArgumentText, 1);
}
