// The program's conventional graphical entry: the start-up values are not needed, so it only
// hands over to the host.
#include "host/startup.h"

#ifndef _WIN32
#include <cstdio>
#include <cstring>

namespace {

constexpr char kUsage[] =
    "usage: cubrix [/s | /p id | /c | /a id]\n"
    "The Cubrix screen saver: nine copies of the solid object in Cube.dat turning on a grid.\n"
    "  /s      run full screen on the X display named by DISPLAY\n"
    "  /p id   draw a preview inside the X window with the decimal id (/l is the same)\n"
    "  /c      show the settings dialog (the saver has no settings); so does no switch at all\n"
    "  /a id   change the screen-saver password (only with CUBRIX_WIN95=1)\n"
    "A switch may start with / or -, and only its first letter counts. See cubrix(6).\n";

// Linux users ask for help and the version as on any other program of theirs; the Windows program
// keeps to the switches the system passes, where '-h' is refused like any unknown letter.
bool AnsweredInformationRequest(LPCSTR argumentText) {
  if (std::strcmp(argumentText, "--help") == 0 || std::strcmp(argumentText, "-h") == 0) {
    std::fputs(kUsage, stdout);
    return true;
  }
  if (std::strcmp(argumentText, "--version") == 0) {
    std::printf("cubrix %s\n", CUBRIX_VERSION_TEXT);
    return true;
  }
  return false;
}

}  // namespace
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
#ifndef _WIN32
  if (AnsweredInformationRequest(FindArgumentText(GetCommandLineA()))) return 0;
#endif
  HostEntry();
}
