// The system's screen-saver password: verification while a full-screen saver runs, and changing it.
#include "host/password_support.h"

#include "host/entry_cast.h"
#include "host/host_state.h"
#include "host/startup.h"

namespace {

constexpr LPCSTR kDesktopKey = "Control Panel\\Desktop";
constexpr LPCSTR kUsePasswordValue = "ScreenSaveUsePassword";

// The setting reads into a 4-byte number that starts at zero; shorter data fills its low-order
// bytes and longer data makes the read fail, which leaves protection off.
bool ProtectionTurnedOn(HKEY desktop) {
  DWORD setting = 0;
  DWORD size = sizeof setting;
  LONG status = RegQueryValueExA(desktop, kUsePasswordValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&setting),
                                 &size);
  return status == ERROR_SUCCESS && setting != 0;
}

void LoadVerifyEntry() {
  hostState.passwordLibrary = LoadLibraryA("PASSWORD.CPL");
  if (!hostState.passwordLibrary) return;
  hostState.verifyEntry =
      EntryCast<VerifyScreenSavePwdEntry>(GetProcAddress(hostState.passwordLibrary, "VerifyScreenSavePwd"));
  if (hostState.verifyEntry) {
    SetSaverRunning(true);
  } else {
    UnloadPasswordSupport();
  }
}

}  // namespace

void LoadPasswordSupport() {
  if (!hostState.win95Platform) return;
  if (hostState.passwordLibrary) UnloadPasswordSupport();
  HKEY desktop = nullptr;
  if (RegOpenKeyA(HKEY_CURRENT_USER, kDesktopKey, &desktop) != ERROR_SUCCESS) return;
  if (ProtectionTurnedOn(desktop)) LoadVerifyEntry();
  RegCloseKey(desktop);
}

void UnloadPasswordSupport() {
  if (!hostState.win95Platform || !hostState.passwordLibrary) return;
  FreeLibrary(hostState.passwordLibrary);
  hostState.passwordLibrary = nullptr;
  if (hostState.verifyEntry) {
    hostState.verifyEntry = nullptr;
    SetSaverRunning(false);
  }
}

void SetSaverRunning(bool on) {
  if (!hostState.win95Platform) return;
  DWORD previous = 0;  // the system reports its earlier state here; nothing needs it
  SystemParametersInfoA(SPI_SCREENSAVERRUNNING, on ? 1 : 0, &previous, 0);
}

int RunChangePassword(LPCSTR text) {
  HWND owner = WindowFromHandleValue(ParseWindowHandle(text));
  if (!owner || !IsWindow(owner)) owner = GetForegroundWindow();
  ChangePassword(owner);
  return 0;
}

void ChangePassword(HWND owner) {
  HMODULE mpr = LoadLibraryA("MPR.DLL");
  if (!mpr) return;
  auto change = EntryCast<PwdChangePasswordEntry>(GetProcAddress(mpr, "PwdChangePasswordA"));
  if (change) change("SCRSAVE", owner, 0, 0);
  FreeLibrary(mpr);
}
