// The whole of what the portable Win32 areas ask of a presenter, the part that shows windows on a
// display (the X11 one is in x11/), and what it tells them through its sink. Without a display
// every call is a no-op that reports "no display", and the platform runs headless in memory.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Where the presenter sends what happens on the display. It calls these only from within
// PresenterPumpEvents (and a frame release also from the calls that let go of windows).
struct PresenterSink {
  // A message for one of our windows: input, loss of activation, a paint, a dialog's key.
  void (*post)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // A dialog's button with this id was pressed (WM_COMMAND from that control).
  void (*command)(HWND dialog, int id);
  // Someone else destroyed the window's native window: it ends as if destroyed here.
  void (*windowGone)(HWND window);
  // Another program's window that is a parent of ours is gone, by its id.
  void (*foreignParentGone)(uint32_t foreignId);
  // The presenter let go of the window's frame images (see PresenterWindowFrame).
  void (*frameReleased)(HWND window);
  // The connection to the display was lost; the run is to end as by SIGTERM.
  void (*connectionLost)();
};

// Input as window messages carry it, for every presenter to post through its sink.
constexpr WPARAM kVkMenu = 0x12, kVkF10 = 0x79;  // the Alt key and F10, system keys on Windows

// A mouse message's lParam: x in the low word, y in the high word.
inline LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(y) & 0xFFFFu) << 16 | (static_cast<uint32_t>(x) & 0xFFFFu));
}

// A key going down: with Alt held or pressed, or F10, it is a system key (WM_SYSKEYDOWN, with the
// context bit); a repeat count of 1 and the scan code in bits 16-23.
inline void PostKeyDown(const PresenterSink& sink, HWND window, WPARAM virtualKey, bool altHeld, unsigned scanCode) {
  constexpr LPARAM kAltContextBit = LPARAM{1} << 29;
  const bool system = altHeld || virtualKey == kVkMenu || virtualKey == kVkF10;
  const LPARAM flags = 1 | static_cast<LPARAM>(scanCode & 0xFFu) << 16 | (system ? kAltContextBit : 0);
  sink.post(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, flags);
}

// Opens the display named by DISPLAY once, reporting to the sink (which must outlive it); false
// when there is none (headless).
bool PresenterOpen(const PresenterSink* sink);
bool PresenterActive();
void PresenterClose();
// For the program's own run: without a display, the first top-level window says once on standard
// error that nothing is shown (tests make such windows all the time and stay quiet).
void PresenterReportHeadlessWindows();
// Called for each top-level window made while no display is open.
void PresenterHeadlessWindowMade();

// Screen size in pixels (headless: a fixed default the tests can rely on).
int PresenterScreenWidth();
int PresenterScreenHeight();

// A native window for an HWND: a full-screen popup (no parent), or a child inside a parent that is
// either one of ours or a foreign X window id. A top-level window carries its class and title
// where other programs on the display can find it.
bool PresenterCreateWindow(HWND window, HWND parent, uint32_t foreignParent, int x, int y, int width,
                           int height, bool popup, const char* className, const char* title);
void PresenterDestroyWindow(HWND window);

// Foreign windows handed to us by id (screen-saver daemons do this).
bool PresenterForeignWindowExists(uint32_t id);
bool PresenterForeignClientSize(uint32_t id, int* width, int* height);
// The topmost top-level window of another program on the display with that class and title
// (compared without regard to case; null matches any), or 0.
uint32_t PresenterFindForeignWindow(const char* className, const char* title);
// Raises a foreign window and gives it the keyboard; false when it is gone.
bool PresenterBringForeignForward(uint32_t id);

// Shows width x height pixels (0x00RRGGBB, rows of stride pixels) in the window at (x, y). Pixels
// that are one of the window's frame images (see PresenterWindowFrame) are sent without a copy.
// The presenter may hold what it is given until PresenterFlush (or PresenterPumpEvents).
void PresenterShowPixels(HWND window, int x, int y, int width, int height, const uint32_t* pixels,
                         int stride);
// Sends everything shown and held so far, as one update. The GDI calls it at the end of each
// drawing call that showed pixels, so that all the rectangles one call changed travel together
// and a frame costs the display one update. A presenter that shows at once does nothing here.
void PresenterFlush();
// The window's frame image, when it is width x height pixels laid out as 0x00RRGGBB: the GDI
// then draws the window's surface straight into it, zero (black) to begin with. It stays until
// the presenter lets go of it, which it reports through the sink's frameReleased.
bool PresenterWindowFrame(HWND window, int width, int height, uint32_t** pixels, int* stride);
// The window's other frame image, of the same size and layout as `inUse` (one of its images), zero
// to begin with: a bitmap may hold it, so that a whole-window copy can exchange the two images.
// It goes with the window's frame image, reported the same way.
bool PresenterWindowSpareFrame(HWND window, const uint32_t* inUse, uint32_t** pixels, int* stride);
// Returns once the display server has read what it was last sent from the window's frame image
// that starts at pixels (from every image of the window, for other pixels), so that it may be
// drawn into again; usually without waiting. The other image may meanwhile still be read.
void PresenterAwaitFrameRead(HWND window, const uint32_t* pixels);

// Pointer. PresenterCursorPos asks the display where the pointer is now (in screen pixels).
// PresenterLastPointer answers without asking: where the last input event for one of our windows,
// or the last PresenterCursorPos, put it; false while none is known. It is what a message is
// stamped with, which then costs no question a message; a presenter that knows no cheaper answer
// returns false, and the stamp asks PresenterCursorPos.
bool PresenterCursorPos(POINT* point);
bool PresenterLastPointer(POINT* point);
void PresenterHideCursor(HWND window);

// Waits up to timeoutMs for display events and posts them as window messages; true if any came.
// Called by the message loop only; a negative timeout waits without limit, and zero only looks.
// What PresenterShowPixels holds is sent before it waits.
bool PresenterPumpEvents(int timeoutMs);
// Whether the connection to the X server was lost; the run is then ended as by SIGTERM, and the
// program's exit status becomes kConnectionLostStatus.
bool PresenterConnectionLost();
// Also the status of a program that cannot reach the server DISPLAY names.
constexpr int kConnectionLostStatus = 1;

// ---- Dialogs and message boxes in the display's own look (their modal loops run in dialogs.cpp) ----

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
// through the sink from PresenterPumpEvents: a click gives WM_COMMAND with the button's id, Enter WM_COMMAND
// IDOK, Escape WM_COMMAND IDCANCEL and F1 WM_HELP (lParam 0). False when there is no display.
bool PresenterOpenDialog(HWND dialog, HWND owner, const char* caption, const char* text,
                         const DialogButton* buttons, int buttonCount, int width, int height);
// Draws a message box's caption and text, centred, inside `panel`, a child that covers its
// owner (for an owner inside another program's window), and again whenever it is exposed. It
// takes no input. False when there is no display.
bool PresenterShowMessagePanel(HWND panel, const char* caption, const char* text, int width, int height);
// Closes a dialog, message box or message panel opened here.
void PresenterCloseDialog(HWND dialog);
