// What the portable window manager asks of the X11 presenter. Without DISPLAY every call is a
// no-op that reports "no display", and the platform runs headless in memory.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Opens the display named by DISPLAY once; false when there is none (headless).
bool PresenterOpen();
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
void PresenterShowPixels(HWND window, int x, int y, int width, int height, const uint32_t* pixels,
                         int stride);
// The window's frame image, when it is width x height pixels laid out as 0x00RRGGBB: the GDI
// then draws the window's surface straight into it, zero (black) to begin with. It stays until
// the presenter lets go of it, which it reports through WindowFrameReleased (gdi_internal.h).
bool PresenterWindowFrame(HWND window, int width, int height, uint32_t** pixels, int* stride);
// The window's other frame image, of the same size and layout as `inUse` (one of its images), zero
// to begin with: a bitmap may hold it, so that a whole-window copy can exchange the two images.
// It goes with the window's frame image, reported the same way.
bool PresenterWindowSpareFrame(HWND window, const uint32_t* inUse, uint32_t** pixels, int* stride);
// Returns once the display server has read what it was last sent of the window's frame images,
// so that they may be drawn into again; usually without waiting.
void PresenterAwaitFrameRead(HWND window);

// Pointer.
bool PresenterCursorPos(POINT* point);
void PresenterHideCursor(HWND window);

// Waits up to timeoutMs for display events and posts them as window messages; true if any came.
// Called by the message loop only; a negative timeout waits without limit.
bool PresenterPumpEvents(int timeoutMs);
// Whether the connection to the X server was lost; the run is then ended as by SIGTERM, and the
// program's exit status becomes kConnectionLostStatus.
bool PresenterConnectionLost();
// Also the status of a program that cannot reach the server DISPLAY names.
constexpr int kConnectionLostStatus = 1;
