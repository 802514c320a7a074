// The configuration dialog: the saver has no settings, so it only shows itself and closes.
#pragma once

#include "platform/win32.h"

// Shows the modal dialog with the given owner (or none); the dialog's result, -1 if it could not be made.
int ShowConfiguration(HWND owner);
// The preparation the dialog needs; there is nothing to register, so it always succeeds.
BOOL RegisterConfigControls(HINSTANCE instance);
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
