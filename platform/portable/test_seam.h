// Where the test hooks library plugs into the portable platform's areas. In the program nothing
// is plugged in, and each hook point costs one test of a null pointer or an empty value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/hook_points.h"
#include "platform/win32.h"

// What the hooks library records: faults it injects, the call log and live-handle counts.
struct HookRecorder {
  bool (*injectedFailure)(HookPoints::Call call);
  void (*logCall)(HookPoints::LogKind kind, intptr_t a, intptr_t b, intptr_t c, intptr_t d, const char* text);
  void (*countHandle)(HookPoints::HandleKind kind, int delta);
};
inline const HookRecorder* hookRecorder = nullptr;

// True when a test asked this call to fail now (it counts the call either way).
inline bool InjectedFailure(HookPoints::Call call) {
  return hookRecorder != nullptr && hookRecorder->injectedFailure(call);
}
inline void LogCall(HookPoints::LogKind kind, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0,
                    const char* text = nullptr) {
  if (hookRecorder != nullptr) hookRecorder->logCall(kind, a, b, c, d, text);
}
// Every area reports the handles it creates (+1) and releases (-1).
inline void CountHandle(HookPoints::HandleKind kind, int delta) {
  if (hookRecorder != nullptr) hookRecorder->countHandle(kind, delta);
}

// The virtual clock: while one is set, ticks, Sleep and timers follow it instead of the real clock.
struct VirtualClock {
  DWORD start = 0;   // what GetTickCount reports at virtual time 0
  uint64_t now = 0;  // milliseconds since the clock was set
};
inline VirtualClock* virtualClock = nullptr;

// ---- Inputs that replace what the system would report (kernel, files, user, dialogs) ----
enum class Win95Override { None, Yes, No };
void SetWin95Override(Win95Override setting);
void SetCommandLineText(const char* line);
void RegisterInProcessModule(const std::string& name, const std::vector<HookPoints::ModuleEntry>& entries);
void RemoveInProcessModule(const std::string& name);
void SetDriveOverride(const std::string& path);  // empty: the environment decides
void SetInjectedCursor(POINT position);          // where the pointer is without a display
void SetScreenSizeOverride(int width, int height);  // 0: the display's size
bool PointerHidden();
bool SaverRunningFlag();
void SetMessageBoxHook(std::function<int(const HookPoints::MessageBoxCall&)> responder);
void SetDialogDriverHook(std::function<void(HWND dialog)> driver);

// Each area forgets its state when a test resets the platform.
void ResetKernel();
void ResetUser();
void ResetSignals();
void ResetDialogs();
void ResetRegistry();
void ResetFiles();
void ResetGdi();
