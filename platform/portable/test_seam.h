// The portable platform's seam for tests: a null-checked recorder for faults, the call log and
// handle counts, and switches that select a path. Only the explicit control entries below change
// them; without a recorder each hook costs one load and a branch. Built with CUBRIX_TEST_SEAM=0
// (the CMake option), the control entries are compiled out and the hooks cost nothing.
#pragma once

#include <cstdint>

#ifndef CUBRIX_TEST_SEAM
#define CUBRIX_TEST_SEAM 1
#endif

namespace Seam {

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

// What a test harness records: faults it injects, the call log and live-handle counts.
struct Recorder {
  bool (*injectedFailure)(Call call);  // true when this call is to fail now (it counts the call)
  void (*logCall)(LogKind kind, intptr_t a, intptr_t b, intptr_t c, intptr_t d, const char* text);
  void (*countHandle)(HandleKind kind, int delta);
};

// Paths the platform can take either way; tests and benchmarks compare the two. All are on
// after a reset.
enum class Switch {
  DamageTracking,  // off: every surface counts as damaged all over (gdi/damage.h)
  SharedMemory,    // off: frames go to the display without shared memory (windows made later)
  PixelExchange,   // off: a whole-bitmap copy onto a whole window surface copies (gdi/exchange.h)
};
constexpr int kSwitchCount = 3;
static_assert(static_cast<int>(Switch::PixelExchange) + 1 == kSwitchCount, "a switch added last counts");

struct State {
  const Recorder* recorder = nullptr;
  bool switches[kSwitchCount] = {true, true, true};
};

#if CUBRIX_TEST_SEAM
// ---- Control entries: the only writers of the seam's state ----
// The recorder gets every hook from now on; null removes it. The program installs none.
void InstallRecorder(const Recorder* recorder);
void SetSwitch(Switch which, bool on);
#endif

}  // namespace Seam

#if CUBRIX_TEST_SEAM
inline Seam::State seamState;

// ---- Hooks ----
inline bool SwitchOn(Seam::Switch which) { return seamState.switches[static_cast<int>(which)]; }

inline bool InjectedFailure(Seam::Call call) {
  return seamState.recorder != nullptr && seamState.recorder->injectedFailure(call);
}

inline void LogCall(Seam::LogKind kind, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0,
                    const char* text = nullptr) {
  if (seamState.recorder != nullptr) seamState.recorder->logCall(kind, a, b, c, d, text);
}

// Every area reports the handles it creates (+1) and releases (-1).
inline void CountHandle(Seam::HandleKind kind, int delta) {
  if (seamState.recorder != nullptr) seamState.recorder->countHandle(kind, delta);
}
#else
// Compiled out (CUBRIX_TEST_SEAM=OFF): no recorder can be installed and every switch stays on.
inline bool SwitchOn(Seam::Switch) { return true; }
inline bool InjectedFailure(Seam::Call) { return false; }
inline void LogCall(Seam::LogKind, intptr_t = 0, intptr_t = 0, intptr_t = 0, intptr_t = 0, const char* = nullptr) {}
inline void CountHandle(Seam::HandleKind, int) {}
#endif

// Puts the whole portable platform back to its start, area by area (reset.cpp): every window
// destroyed; queues, timers, objects, keys, blocks and modules gone; overrides cleared; the real
// clock back and every switch on. The recorder stays installed.
void ResetPortablePlatform();
