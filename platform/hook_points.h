// What the portable platform reports to, and takes from, the test hooks: the kinds of calls,
// log entries and handles, and the records that pass between them. The program itself sets none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace HookPoints {

// Calls that a test can make fail as Windows reports failure.
enum class Call {
  GlobalAlloc,
  GlobalReAlloc,
  GlobalLock,
  LocalAlloc,
  CreateSolidBrush,
  CreatePalette,
  CreateCompatibleDC,
  CreateCompatibleBitmap,
  GetDC,
  RegisterClass,
  CreateWindow,
  SetTimer,
  LoadLibrary,
  RegOpenKey,
  DialogBox,
  GetWindowsDirectory,
};

// Entries of the call log, with what each records.
enum class LogKind {
  PostMessage,          // window, message, wParam, lParam
  SendMessage,          // window, message, wParam, lParam
  DefWindowProc,        // window, message, wParam, lParam
  DispatchMessage,      // window, message, wParam, lParam
  SetTimer,             // window, id, elapse
  KillTimer,            // window, id
  RegisterClass,        // style, background brush, cursor, instance; text: class name
  CreateWindow,         // window, style, exStyle, parent; text: class name
  DestroyWindow,        // window
  SetForegroundWindow,  // window
  SetCursor,            // cursor
  SystemParametersInfo, // action, param
  MessageBox,           // owner, type; text: caption + '\n' + text
  DialogBox,            // owner, template id, param
  EndDialog,            // dialog, result
  CheckDlgButton,       // dialog, id, check
  EnableWindow,         // window, enable
  LoadLibrary,          // module (0 when it failed); text: name
  FreeLibrary,          // module
  GetProcAddress,       // module; text: entry name
  Sleep,                // milliseconds
  RegOpenKey,           // result; text: sub-key
  RegQueryValue,        // result; text: value name
  RegCloseKey,          // key
  SelectObject,         // dc, object, previous
  SelectPalette,        // dc, palette, previous
};

// Kinds of handles whose creation (+1) and release (-1) are counted.
enum class HandleKind { GlobalBlock, LocalBlock, DC, Bitmap, Brush, Pen, Palette, Window, Module, Timer, Key };

// A registry value as the registry holds it.
constexpr DWORD kRegBinary = 3;  // REG_BINARY, which the saver itself never reads
struct RegistryValue {
  DWORD type;              // REG_DWORD, REG_SZ or kRegBinary
  std::vector<BYTE> data;  // the value's bytes as the registry holds them
};
// An entry of a module that a test registers in-process, for LoadLibraryA/GetProcAddress.
struct ModuleEntry {
  std::string name;
  FARPROC address;
};
// A message box as the code under test asked for it.
struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};

}  // namespace HookPoints
