// The kernel and files areas: what the other portable areas use (the clock, the drive folder,
// start-up) and the inputs a test or benchmark may set in place of the system's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// Milliseconds on the platform clock (real monotonic, or virtual); never wraps.
uint64_t ClockNow();
bool VirtualClockActive();
// From now on GetTickCount, Sleep and timers follow a virtual clock that starts at `start` ticks
// and moves only when Sleep, a waiting message loop or AdvanceVirtualClock moves it.
void UseVirtualClock(DWORD start);
// Moves the virtual clock forward; ignored on the real clock.
void AdvanceVirtualClock(uint64_t milliseconds);

// The folder standing for drive C:, and the Windows directory inside it (created on demand).
std::string DriveFolder();
std::string WindowsFolder();
// The host path of a Windows path: drive letter or leading separator -> drive folder, "\" -> "/".
std::string HostPath(const char* windowsPath);

// Names compare without case, as Windows compares them (ASCII letters only, one byte each).
std::string UpperCase(const std::string& text);

// The command line as Windows would hand it over, built from the program's arguments.
void SetCommandLineFromArguments(int argc, char** argv);

// ---- Inputs in place of the system's ----
enum class Win95Override { FromEnvironment, Yes, No };
void SetWin95Override(Win95Override setting);  // FromEnvironment: $CUBRIX_WIN95 decides
void SetCommandLineText(const char* line);
void SetDriveOverride(const std::string& path);  // empty: the environment decides

// A module entry for LoadLibraryA/GetProcAddress that lives in this process.
struct ModuleEntry {
  std::string name;
  FARPROC address;
};
template <typename Function>
ModuleEntry Entry(const char* name, Function* function) {
  // Through void(*)(), the type GCC accepts as "any function", as GetProcAddress callers do.
  return ModuleEntry{name, reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function))};
}
// LoadLibraryA finds the module by name (without case) before it looks on disk.
void RegisterInProcessModule(const std::string& name, const std::vector<ModuleEntry>& entries);
void RemoveInProcessModule(const std::string& name);

// Each area forgets its state (ResetPortablePlatform).
void ResetKernel();
void ResetFiles();
