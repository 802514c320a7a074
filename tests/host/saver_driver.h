// A window on the saver's own thread that acts on a timer of its own while RunSaver's loop runs:
// how the long-run tests drive and watch a real saver from inside its loop.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32.h"

namespace SaverDriver {

using Tick = void (*)();

constexpr UINT kStart = WM_APP + 1;
constexpr UINT_PTR kTimer = 9;

struct Settings {
  UINT periodMs = 0;
  Tick onTick = nullptr;
};
inline Settings settings;

// The timer is set only when the saver's loop takes the start message, so after the saver's
// own: of two timers due at once, the saver's comes first.
inline LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kStart) {
    SetTimer(window, kTimer, settings.periodMs, nullptr);
    return 0;
  }
  if (message == WM_TIMER && wParam == kTimer) {
    settings.onTick();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Makes the driver window and queues its start for the loop RunSaver is about to run; null when
// the window cannot be made.
inline HWND Start(UINT periodMs, Tick onTick) {
  settings = Settings{periodMs, onTick};
  WNDCLASSA driverClass{};
  driverClass.lpfnWndProc = Procedure;
  driverClass.lpszClassName = "SaverDriver";
  RegisterClassA(&driverClass);  // once per platform: a second registration fails harmlessly
  HWND driver = CreateWindowExA(0, "SaverDriver", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  if (driver != nullptr) PostMessageA(driver, kStart, 0, 0);
  return driver;
}

inline void Stop(HWND driver) {
  KillTimer(driver, kTimer);
  DestroyWindow(driver);
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace SaverDriver
