// Shared by the stand-in system libraries: where their state lives and how they log a line.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

// The suite names the folder with CUBRIX_E2E_DIR (a Windows path); C:\e2e otherwise.
inline std::string StandInFile(const char* name) {
  char folder[MAX_PATH] = "";
  const DWORD length = GetEnvironmentVariableA("CUBRIX_E2E_DIR", folder, sizeof folder);
  const std::string base = (length == 0 || length >= sizeof folder) ? "C:\\e2e" : folder;
  return base + "\\" + name;
}

// Appends one line and closes the file at once, so the suite never reads half a line.
inline void StandInLog(const char* fileName, const char* format, ...) {
  FILE* log = std::fopen(StandInFile(fileName).c_str(), "a");
  if (log == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(log, format, args);
  va_end(args);
  std::fputc('\n', log);
  std::fclose(log);
}

inline unsigned long long HandleNumber(HWND window) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window));
}
