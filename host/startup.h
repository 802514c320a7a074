// The program's entry: finds the mode switch on the command line and runs that one mode.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// What the first switch letter of the argument text asks for.
enum class SaverMode {
  Configure,        // no switch at all: the dialog with no owner
  ConfigureOwned,   // c: the dialog owned by the foreground window
  FullScreen,       // s
  Preview,          // p or l, followed by the parent's handle
  ChangePassword,   // a on the Windows 95 platform, followed by the owner's handle
  Refused,          // anything else, and a on Windows NT
};

struct CommandChoice {
  SaverMode mode;
  LPCSTR rest;  // for Preview and ChangePassword: where the handle's digits should start
};

// Obtains the command line, dispatches its argument text and ends the process with the result.
[[noreturn]] void HostEntry();
// The argument text: the command line less the program name and the blanks that follow it.
LPCSTR FindArgumentText(LPCSTR commandLine);
// Records the instance and platform, then runs the mode the argument text names; -1 when refused.
int DispatchCommandLine(HINSTANCE instance, LPCSTR argumentText);
// Maps the argument text to a mode without touching the platform.
CommandChoice ScanArgumentText(LPCSTR argumentText, bool win95Platform);
// Runs a preview in the window whose decimal handle starts the text; -1 when there is no such window.
int RunPreview(LPCSTR text);
// The value of the decimal digits at the start of text, wrapping modulo 2^32; 0 when there are none.
uint32_t ParseWindowHandle(LPCSTR text);
// The window handle a command-line value stands for.
HWND WindowFromHandleValue(uint32_t value);
