// What the window table (user.cpp) offers the other portable areas (GDI, dialogs, the presenter's sink).
#pragma once

#include <cstdint>

#include "platform/portable/presenter.h"
#include "platform/win32.h"

// What the presenter reports goes to the window table through this sink (window_sink.cpp); the
// program and the tests that show windows open the display with it.
extern const PresenterSink kWindowSink;

// Whether the handle names one of our own windows (not a foreign one).
bool IsOwnWindow(HWND window);
// Client size of an own window, or of a foreign window by id; false when there is none.
bool WindowClientSize(HWND window, int* width, int* height);
// A foreign parent vanished: its own children are destroyed (they get WM_DESTROY).
void DestroyChildrenOfForeign(uint32_t foreignId);
// Destroys every own top-level window: how SIGTERM ends the program.
void DestroyAllWindows();

// ---- Inputs in place of the system's, and what the program set ----
void SetInjectedCursor(POINT position);             // where the pointer is without a display
void SetScreenSizeOverride(int width, int height);  // 0: the display's size
bool PointerHidden();                               // SetCursor(null) was the last call
bool SaverRunningFlag();                            // as SPI_SCREENSAVERRUNNING last set it

// Every window is destroyed and every queue emptied (ResetPortablePlatform).
void ResetUser();

// ---- For dialogs.cpp: the dialog window of a modal dialog or message box (dialog_windows.cpp) ----
struct DialogState {
  DLGPROC procedure = nullptr;  // null for a message box, which only waits for a command
  bool ended = false;
  INT_PTR result = 0;
};
// An own window that routes its messages to the state's procedure.
HWND CreateDialogWindow(const char* caption, DWORD style, int width, int height, DialogState* state);
// A child control of a dialog with the given id.
HWND CreateDialogControl(HWND dialog, int id, const char* text, DWORD style, int x, int y, int width,
                         int height);
// A child that covers its own owner window, where a message box of a window inside another
// program's window is drawn; it goes when the owner goes.
HWND CreateMessagePanel(HWND owner, int width, int height);
DialogState* FindDialogState(HWND dialog);
// Fetches and dispatches messages until the dialog ends or goes away; false when the quit
// message came first (it is posted again, as a modal loop on Windows does).
bool RunModalLoop(HWND dialog);
