// The system's screen-saver password: verification while a full-screen saver runs, and changing it.
#pragma once

#include "platform/win32.h"

// PwdChangePasswordA("SCRSAVE", owner, 0, 0) of MPR.DLL; its result is not used.
typedef DWORD(WINAPI* PwdChangePasswordEntry)(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2);

// On the Windows 95 platform with protection turned on: loads PASSWORD.CPL's verify entry and
// tells the system that a saver runs. Otherwise leaves everything as it is.
void LoadPasswordSupport();
// Frees the password component; tells the system the saver stopped if a verify entry was loaded.
void UnloadPasswordSupport();
// SPI_SCREENSAVERRUNNING, on the Windows 95 platform only.
void SetSaverRunning(bool on);
// The "a" switch: text starts at the owner window's decimal handle. Always 0.
int RunChangePassword(LPCSTR text);
// Runs the system's password change owned by the given window, if MPR.DLL offers it.
void ChangePassword(HWND owner);
