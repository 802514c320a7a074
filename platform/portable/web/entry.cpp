// The web program's main(): the command line the page passes, the page as the display (always
// there), then WinMain as Windows calls it. No signals reach a page: the page ends a run through
// PresenterEndRun instead.
#include "platform/portable/kernel.h"
#include "platform/portable/presenter.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace {

// The program reads its arguments through GetCommandLineA, never through WinMain's argument text.
char noArgumentText[] = "";

}  // namespace

int main(int argc, char** argv) {
  SetCommandLineFromArguments(argc, argv);
  PresenterOpen(&kWindowSink);
  return WinMain(GetModuleHandleA(nullptr), nullptr, noArgumentText, 1);
}
