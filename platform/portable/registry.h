// What the registry area (registry.cpp) shares with the hooks that write its files.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// A registry value as the registry holds it.
constexpr DWORD kRegBinary = 3;  // REG_BINARY, which the saver itself never reads
struct RegistryValue {
  DWORD type;              // REG_DWORD, REG_SZ or kRegBinary
  std::vector<BYTE> data;  // the value's bytes as the registry holds them
};

// Blanks, tabs and carriage returns off both ends.
std::string Trim(const std::string& text);
// The lines of a text file without their line ends; none for a missing file.
std::vector<std::string> ReadLines(const std::string& path);
// registry.txt in the Windows directory, and where a profile file lies (bare names there too).
std::string RegistryPath();
std::string ProfilePath(const char* fileName);
// Values as the registry holds them: a little-endian DWORD, a string with its ending zero.
RegistryValue DwordRegistryValue(DWORD value);
RegistryValue StringRegistryValue(const std::string& text);

// Open keys are forgotten (ResetPortablePlatform).
void ResetRegistry();
