// The program's entry: finds the mode switch on the command line and runs that one mode.
#include "host/startup.h"

#include "host/config_dialog.h"
#include "host/host_state.h"
#include "host/password_support.h"
#include "host/saver_window.h"

namespace {

constexpr DWORD kVersionRecordSize = 148;  // the ANSI version record, as the system expects it

bool QueryWin95Platform() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = kVersionRecordSize;
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

LPCSTR SkipSpaces(LPCSTR text) {
  while (*text == ' ') ++text;
  return text;
}

// Bytes are compared as unsigned values, so that characters of 128 and above are never blanks.
unsigned char ByteAt(LPCSTR text) { return static_cast<unsigned char>(*text); }

}  // namespace

void HostEntry() {
  LPCSTR argumentText = FindArgumentText(GetCommandLineA());
  int result = DispatchCommandLine(GetModuleHandleA(nullptr), argumentText);
  ExitProcess(static_cast<UINT>(result));
}

LPCSTR FindArgumentText(LPCSTR commandLine) {
  LPCSTR cursor = commandLine;
  if (*cursor == '"') {
    cursor = CharNextA(cursor);
    while (*cursor != '"' && *cursor != '\0') cursor = CharNextA(cursor);
    if (*cursor == '"') ++cursor;
  } else {
    while (ByteAt(cursor) > ' ') cursor = CharNextA(cursor);
  }
  // Tab and the other control bytes count as blanks here, unlike in the switch scan.
  while (*cursor != '\0' && ByteAt(cursor) <= ' ') cursor = CharNextA(cursor);
  return cursor;
}

int DispatchCommandLine(HINSTANCE instance, LPCSTR argumentText) {
  hostState.moduleInstance = instance;
  hostState.win95Platform = QueryWin95Platform();
  CommandChoice choice = ScanArgumentText(argumentText, hostState.win95Platform);
  switch (choice.mode) {
    case SaverMode::Configure:
      return ShowConfiguration(nullptr);
    case SaverMode::ConfigureOwned:
      return ShowConfiguration(GetForegroundWindow());
    case SaverMode::FullScreen:
      return RunSaver(nullptr);
    case SaverMode::Preview:
      return RunPreview(choice.rest);
    case SaverMode::ChangePassword:
      return RunChangePassword(choice.rest);
    case SaverMode::Refused:
      break;
  }
  return -1;
}

CommandChoice ScanArgumentText(LPCSTR argumentText, bool win95Platform) {
  LPCSTR cursor = argumentText;
  while (*cursor == ' ' || *cursor == '-' || *cursor == '/') ++cursor;
  switch (*cursor) {
    case '\0':
      return {SaverMode::Configure, cursor};
    case 's':
    case 'S':
      return {SaverMode::FullScreen, cursor};
    case 'p':
    case 'P':
    case 'l':
    case 'L':
      return {SaverMode::Preview, SkipSpaces(cursor + 1)};
    case 'c':
    case 'C':
      return {SaverMode::ConfigureOwned, cursor};
    case 'a':
    case 'A':
      if (win95Platform) return {SaverMode::ChangePassword, SkipSpaces(cursor + 1)};
      return {SaverMode::Refused, cursor};
    default:
      return {SaverMode::Refused, cursor};
  }
}

int RunPreview(LPCSTR text) {
  HWND parent = WindowFromHandleValue(ParseWindowHandle(text));
  if (!parent || !IsWindow(parent)) return -1;
  return RunSaver(parent);
}

uint32_t ParseWindowHandle(LPCSTR text) {
  uint32_t value = 0;
  for (LPCSTR cursor = text; *cursor >= '0' && *cursor <= '9'; ++cursor) {
    value = value * 10u + static_cast<uint32_t>(*cursor - '0');
  }
  return value;
}

HWND WindowFromHandleValue(uint32_t value) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(value)); }
