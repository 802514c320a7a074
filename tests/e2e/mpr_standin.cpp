// Stand-in for the system's MPR.DLL: logs the arguments of a password change and the window that
// had the user's attention at that moment, then reports success.
// Log (mpr.log): change <provider> <owner> <flags> <reserved> <foreground window>
#include <windows.h>

#include "tests/e2e/standin_log.h"

extern "C" __declspec(dllexport) DWORD WINAPI PwdChangePasswordA(LPCSTR provider, HWND owner, DWORD flags,
                                                                  LPVOID reserved) {
  StandInLog("mpr.log", "change %s %llu %lu %llu %llu", provider == nullptr ? "(null)" : provider,
             HandleNumber(owner), flags, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(reserved)),
             HandleNumber(GetForegroundWindow()));
  return 0;
}
