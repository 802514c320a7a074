// Dialogs and message boxes on the display. This build runs headless: none can be shown.
#include "platform/portable/dialog_x11.h"

bool PresenterOpenDialog(HWND, HWND, const char*, const char*, const DialogButton*, int, int, int) { return false; }
void PresenterCloseDialog(HWND) {}
