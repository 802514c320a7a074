// Kernel services the other portable areas use: the millisecond clock, the drive folder, start-up.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds on the platform clock (real monotonic, or virtual in tests); never wraps.
uint64_t ClockNow();
bool VirtualClockActive();
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
