// What the X11 presenter shares with the dialogs it shows (dialog_x11.cpp).
#pragma once

#include <X11/Xlib.h>

#include "platform/win32.h"

Display* PresenterDisplay();

// Where a true-colour visual keeps red, green and blue. A 0x00RRGGBB colour becomes its pixel by
// keeping the top bits of each channel that the visual has room for.
struct PixelLayout {
  unsigned long masks[3];
  int lows[3];
  int bits[3];
};
PixelLayout LayoutOf(const Visual* visual);
unsigned long PixelFor(const PixelLayout& layout, uint32_t rgb);

// Height of the caption strip that a dialog draws above its client area.
constexpr int kDialogCaptionHeight = 20;

// Whether frames may go through shared memory (when the server offers it); windows made after
// the call follow it. Tests use it to exercise the plain path too.
void PresenterUseSharedMemory(bool allowed);
// Whether the window's frames go through shared memory (false before its first frame).
bool PresenterFrameIsShared(HWND window);

// The X window of one of our windows, or 0 when it has none.
Window PresenterNativeWindow(HWND window);

// Turns one of our windows into a dialog: the X windows of its children go (the dialog draws its
// controls itself) and its events are handed to DialogHandleEvent instead of becoming messages.
void PresenterMakeDialog(HWND window);

// Gives the keyboard focus to one of our windows once it is mapped.
void PresenterFocus(HWND window);

// While a dialog owned by the window is open the window takes no input, as its owner is
// disabled on Windows. Calls nest.
void PresenterBlockInput(HWND window, bool blocked);

// Marks an X window with the class and title of its window (either may be null: left unset), as
// every top-level window of ours is marked, so that another program on the display finds it.
void PresenterTagWindow(Display* connection, Window xid, const char* className, const char* title);
// Whether an X window is marked with that class and title (null matches any; case is ignored).
// Windows without a class mark never match.
bool PresenterTagMatches(Display* connection, Window xid, const char* className, const char* title);

// One event of a dialog window; defined by dialog_x11.cpp.
void DialogHandleEvent(HWND dialog, const XEvent& event);
// Frees what the open dialogs hold on the display, which is about to close (the server may be gone
// already); closing them later then finds nothing to do. Defined by dialog_x11.cpp.
void DialogsForgetDisplay(Display* display);
