// The test library of the portable platform: it installs a recorder of faults, calls and handles,
// writes the registry's files, and reads the pixels of surfaces and the state of dialog controls.
// Tests and tools link it; the program and the benchmarks do not. What the platform lets a test
// set in place of the system (clock, pointer, version, modules, drive, dialogs) the areas offer
// themselves, in the headers included here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/portable/dialogs.h"
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/kernel.h"
#include "platform/portable/registry.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace TestHooks {

// Puts the platform back to its start (ResetPortablePlatform), clears the faults, the call log
// and the handle counts, and installs the recorder: from the first reset on the log records and
// handles are counted; a program that never resets records nothing.
void ResetPlatform();

// ---- Fault injection: the nth next call of the kind fails as Windows reports failure ----
using Seam::Call;
void FailCall(Call which, int nth = 1);

// ---- Call log: what the code under test asked of the platform, in order ----
using Seam::LogKind;
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
using Seam::HandleKind;
int LiveHandles(HandleKind kind);

// ---- Registry and control.ini, written into the drive folder's Windows directory ----
// Values are made by DwordRegistryValue and StringRegistryValue (registry.h), or as bytes here.
RegistryValue BinaryValue(const std::vector<BYTE>& bytes);
void SetRegistryKey(const std::string& key);  // the key exists, even without values
void SetRegistryValue(const std::string& key, const std::string& name, const RegistryValue& value);
void ClearRegistry();
void SetProfileString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);

// ---- Dialog controls ----
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
}  // namespace TestHooks
