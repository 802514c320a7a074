// The portable program's main(): the command line, the display, then WinMain as Windows calls it.
#include "platform/portable/kernel.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
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
  PresenterOpen();  // headless when there is no display
  return WinMain(GetModuleHandleA(nullptr), nullptr, noArgumentText, 1);
}
