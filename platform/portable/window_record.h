// The record of one own window, shared by the window table (user.cpp) and the dialog windows.
#pragma once

#include <string>
#include <vector>

#include "platform/portable/window_table.h"
#include "platform/win32.h"

// What the dialog manager (dialog_windows.cpp) keeps of a window.
struct DialogFields {
  int controlId = 0;
  bool enabled = true;
  UINT checkState = BST_UNCHECKED;
  DialogState* state = nullptr;  // a dialog window's modal state
};

struct WindowRecord {
  std::string className;  // upper case
  std::string title;
  DWORD style = 0;
  int width = 0;
  int height = 0;
  HWND parent = nullptr;  // an own parent, or a foreign one by its id
  WNDPROC procedure = nullptr;
  DialogFields dialog;
  bool paintPending = false;
  bool cursorHidden = false;
  bool destroying = false;
  HDC dc = nullptr;
};

// Null when the handle names no own window.
WindowRecord* FindWindowRecord(HWND window);
// Null when another program's window cannot take the window as its child: without an X window
// there, nothing would ever tell the window that its parent is gone.
HWND AddWindow(const WindowRecord& window, int x, int y);
// The own windows whose parent is the given one, in handle order.
std::vector<HWND> ChildrenOf(HWND parent);
