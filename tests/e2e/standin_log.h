// Shared by the end-to-end helper programs: where the stand-ins keep their state, how a line is logged.
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

// Appends one formatted line to path and closes the file at once, so the suite never reads half
// a line.
inline void AppendLogLine(const std::string& path, const char* format, va_list args) {
  FILE* log = std::fopen(path.c_str(), "a");
  if (log == nullptr) return;
  std::vfprintf(log, format, args);
  std::fputc('\n', log);
  std::fclose(log);
}

inline void StandInLog(const char* fileName, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendLogLine(StandInFile(fileName), format, args);
  va_end(args);
}

inline unsigned long long HandleNumber(HWND window) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window));
}
