// The dialogs area (dialogs.cpp): how message boxes and modal dialogs run without a display.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

// A message box as the code under test asked for it.
struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT type;
};
// Decides what a message box returns, in place of the display; without one, a box returns IDOK
// headless.
void SetMessageBoxHook(std::function<int(const MessageBoxCall&)> responder);
// Called once a dialog is created and initialised; it drives the dialog by sending or posting
// messages to it. Without a driver a dialog cannot be shown headless and DialogBoxParamA gives -1.
void SetDialogDriverHook(std::function<void(HWND dialog)> driver);

// Both hooks are cleared (ResetPortablePlatform).
void ResetDialogs();
