// The portable program's main(): the command line, the display, then WinMain as Windows calls it.
#include "platform/portable/kernel_internal.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/win32.h"

namespace {

// What WinMain receives on Windows: the command line behind the program name and its blanks.
LPSTR ArgumentText(LPSTR line) {
  bool quoted = *line == '"';
  if (quoted) ++line;
  while (*line != '\0' && (quoted ? *line != '"' : *line != ' ')) ++line;
  if (quoted && *line == '"') ++line;
  while (*line == ' ') ++line;
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  SetCommandLineFromArguments(argc, argv);
  InstallTerminationHandler();
  PresenterOpen();  // headless when there is no display
  int result = WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentText(GetCommandLineA()), 1);
  PresenterClose();
  return result;
}
