// The native look of dialogs and message boxes on a display (dialog_x11.cpp draws them;
// user.cpp runs their modal loops).
#pragma once

#include "platform/win32.h"

// One push button, in pixels of the dialog's client area.
struct DialogButton {
  int id;
  const char* text;
  int x;
  int y;
  int width;
  int height;
  bool isDefault;
};

// Opens a dialog window on the display for the own window `dialog`: its caption, an optional
// line of text, and its buttons. What the user does comes back as messages posted to `dialog`
// through PresenterPumpEvents: a click gives WM_COMMAND with the button's id, Enter WM_COMMAND
// IDOK, Escape WM_COMMAND IDCANCEL and F1 WM_HELP (lParam 0). False when there is no display.
bool PresenterOpenDialog(HWND dialog, HWND owner, const char* caption, const char* text,
                         const DialogButton* buttons, int buttonCount, int width, int height);
// Draws a message box's caption and text, centred, inside `panel`, a child that covers its
// owner (for an owner inside another program's window), and again whenever it is exposed. It
// takes no input. False when there is no display.
bool PresenterShowMessagePanel(HWND panel, const char* caption, const char* text, int width, int height);
// Closes a dialog, message box or message panel opened here.
void PresenterCloseDialog(HWND dialog);
