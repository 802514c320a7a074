// The saver window: its class, the full-screen or preview window, the message loop, and the window
// procedure that stands in front of the scene.
#pragma once

#include "platform/win32.h"

constexpr LPCSTR kSaverClassName = "WindowsScreenSaverClass";
constexpr LPCSTR kFullScreenTitle = "Screen Saver";
constexpr LPCSTR kPreviewTitle = "Preview";

// Runs one saver to its end: full screen without a parent, a preview child inside the parent.
// Returns the quit value (0), 0 at once when a full-screen saver already runs, and -1 when the
// class cannot be registered, the window cannot be created or the message queue fails.
int RunSaver(HWND parent);
LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// How preview windows pass messages on to the scene.
LRESULT PreviewForward(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
