// The portable program's main(): the command line, the display, then WinMain as Windows calls it.
#include <cstdlib>

#include "platform/portable/kernel_internal.h"
#include "platform/portable/presenter.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace {

// CUBRIX_HEADLESS_SECONDS=n lets a run without a display end by itself after n seconds.
void LimitHeadlessRun() {
  const char* seconds = getenv("CUBRIX_HEADLESS_SECONDS");
  if (seconds == nullptr) return;
  long value = strtol(seconds, nullptr, 10);
  constexpr long kLongestLimit = 24L * 60 * 60;
  if (value > 0) SetHeadlessLimit(static_cast<DWORD>((value < kLongestLimit ? value : kLongestLimit) * 1000));
}

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
  if (!PresenterOpen()) LimitHeadlessRun();
  int result = WinMain(GetModuleHandleA(nullptr), nullptr, ArgumentText(GetCommandLineA()), 1);
  PresenterClose();
  return result;
}
