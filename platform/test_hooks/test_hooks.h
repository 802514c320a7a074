// Hooks into the portable platform that only tests use: clock, faults, call log, handles, inputs.
// They live in the test hooks library, which tests link and the program does not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/hook_points.h"
#include "platform/win32.h"

namespace TestHooks {

// Puts the platform back to its start: destroys every window, empties the queue, stops timers,
// clears faults, the log, registered modules and responders, and returns to the real clock.
// From the first reset on the call log records; a program that never resets records nothing.
void ResetPlatform();

// ---- Clock: GetTickCount, Sleep and timers follow a virtual clock once it is in use ----
void UseVirtualClock(DWORD start);
void AdvanceClock(DWORD milliseconds);

// ---- Fault injection: the nth next call of the kind fails as Windows reports failure ----
using HookPoints::Call;
void FailCall(Call which, int nth = 1);

// ---- Call log: what the code under test asked of the platform, in order ----
using HookPoints::LogKind;
struct LoggedCall {
  LogKind kind;
  intptr_t args[4];
  std::string text;
};
std::vector<LoggedCall> CallLog();
void ClearCallLog();
// The log's entries of one kind only, in order.
std::vector<LoggedCall> CallLogOf(LogKind kind);

// ---- Live handles: tests prove that teardown released everything ----
using HookPoints::HandleKind;
int LiveHandles(HandleKind kind);

// ---- Inputs the platform would otherwise take from the system ----
void SetCursorPosition(int x, int y);
bool CursorHidden();
void SetScreenSize(int width, int height);
void SetWin95(bool win95);
void SetCommandLine(const char* commandLine);
// The folder that stands for drive C: (the Windows directory is its "windows" folder).
void SetDriveFolder(const std::string& path);
std::string DriveFolder();
// Whether SystemParametersInfoA(SPI_SCREENSAVERRUNNING) last said that a saver runs.
bool ScreenSaverRunning();

// ---- Registry and control.ini, written into the drive folder's Windows directory ----
using HookPoints::kRegBinary;
using HookPoints::RegistryValue;
RegistryValue DwordValue(DWORD value);
RegistryValue StringValue(const std::string& text);  // with its ending zero
RegistryValue BinaryValue(const std::vector<BYTE>& bytes);
void SetRegistryKey(const std::string& key);  // the key exists, even without values
void SetRegistryValue(const std::string& key, const std::string& name, const RegistryValue& value);
void ClearRegistry();
void SetProfileString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);

// ---- In-process modules for LoadLibraryA/GetProcAddress ----
using HookPoints::ModuleEntry;
template <typename Function>
ModuleEntry Entry(const char* name, Function* function) {
  // Through void(*)(), the type GCC accepts as "any function", as GetProcAddress callers do.
  return ModuleEntry{name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function))};
}
void RegisterModule(const std::string& name, const std::vector<ModuleEntry>& entries);
void RemoveModule(const std::string& name);

// ---- Message boxes and dialogs without a display ----
using HookPoints::MessageBoxCall;
// Decides what a message box returns; without a responder it returns IDOK.
void SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> responder);
// Called once a dialog is created and initialised; it drives the dialog by sending or posting
// messages to it. Without a driver a dialog cannot be shown headless and DialogBoxParamA gives -1.
void SetDialogDriver(std::function<void(HWND dialog)> driver);
// Check state and enabled state of a dialog's control, as the dialog procedure set them.
UINT DialogButtonState(HWND dialog, int id);
bool WindowEnabled(HWND window);

// ---- GDI hooks ----
// A pixel (0x00RRGGBB) of what a device context draws on, or of a window's own surface;
// kNoPixel outside the surface, or for a handle that names none.
constexpr uint32_t kNoPixel = 0xFFFFFFFFu;
uint32_t PixelAt(HDC dc, int x, int y);
uint32_t WindowPixelAt(HWND window, int x, int y);
// A copy of a whole surface, row after row, for counting and hashing; empty for a bad handle.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> data;
};
Pixels DcPixels(HDC dc);
Pixels WindowPixels(HWND window);
// What a device context holds now; null for an invalid context (and, for the bitmap, for a
// window's context, whose surface is not a bitmap of the program's).
HGDIOBJ SelectedBitmap(HDC dc);
HGDIOBJ SelectedBrush(HDC dc);
HGDIOBJ SelectedPen(HDC dc);
HPALETTE SelectedPalette(HDC dc);

}  // namespace TestHooks
