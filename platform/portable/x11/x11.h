// What the files of the X11 presenter share: the connection, the records of windows and their
// frame images, and each file's entries for the others. Frames lie below windows, windows below
// dialogs, and the display's opening and closing and the event pump above them all.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/portable/presenter.h"
#include "platform/win32.h"

constexpr int kMaxWindowSide = 32767;  // X sizes and positions are 16-bit

// The connection to the X server, set up by PresenterOpen (display.cpp).
struct X11Connection {
  Display* display = nullptr;
  int screen = 0;
  Window root = 0;
  bool offersSharedMemory = false;
  int completionType = -1;  // the event that reports a shared put as done
  Cursor blankCursor = 0;
  int lastErrorCode = 0;        // of the last X error, noted rather than fatal
  bool lost = false;            // the server went away
  bool reportHeadless = false;  // the program's own run, without a display, says so once
  bool unflushed = false;       // requests wait in Xlib's buffer for PresenterFlush
  // The pointer's root position as the last input event (or question to the server) told it.
  bool pointerKnown = false;
  POINT pointer{0, 0};
  const PresenterSink* sink = nullptr;
};
inline X11Connection x11;

// A rectangle of a frame image, put to the window once PresenterFlush sends the window's puts.
struct HeldPut {
  int frame;  // which of the window's images
  int x, y, width, height;
};

// An image of a window's frame; the one shown last is kept so that an exposed window can be repainted.
struct Frame {
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shared = false;
  bool direct = false;  // pixels in the image have our 0x00RRGGBB layout
  size_t plainPixels = 0;  // the mapping behind a plain image's data
  int unread = 0;  // batches of shared puts from this image whose completion the server has yet to report
};

struct NativeWindow {
  HWND window;
  HWND parent;             // one of ours, or null
  uint32_t foreignParent;  // an X window of another program, or 0
  Window xid;              // 0 once the X window is gone
  bool dialog;
  int inputBlocks;  // open dialogs that this window owns: its input is ignored meanwhile
  int width;
  int height;
  GC gc;
  Frame frames[2];     // the second only once the GDI asks for a spare
  int shownFrame = 0;  // the image last sent
  std::vector<HeldPut> held{};  // shared puts not yet sent
};

// ---- frames.cpp ----

// Where a true-colour visual keeps red, green and blue. A 0x00RRGGBB colour becomes its pixel by
// keeping the top bits of each channel that the visual has room for.
struct PixelLayout {
  unsigned long masks[3];
  int lows[3];
  int bits[3];
};
PixelLayout LayoutOf(const Visual* visual);
unsigned long PixelFor(const PixelLayout& layout, uint32_t rgb);

// The window's frame images go, and the sink hears of it.
void ReleaseFrames(NativeWindow& native);
// Makes the window's image `index` if it has none; false when it cannot be had.
bool EnsureFrame(NativeWindow& native, int index);
uint32_t* FramePixels(const Frame& frame);
char* FramePixelAddress(const Frame& frame, int x, int y);
void CopyIntoFrame(Frame& frame, int x, int y, int width, int height, const uint32_t* pixels, int stride);
// Sends a rectangle of the image shown to the window, or holds it for SendHeldPuts.
void PutFrame(NativeWindow& native, int x, int y, int width, int height);
// Sends the window's held puts as one batch, in which the last put from each image alone asks for
// a completion.
void SendHeldPuts(NativeWindow& native);
// Returns once the server has read every shared put from this image of the window that was sent.
// Held ones are not waited for: the server is not reading them, and they show what the image
// holds when they go.
void AwaitFrameRead(NativeWindow& native, Frame& frame);
// A shared put's completion has come in; the image it was sent from counts it off.
void CountCompletion(NativeWindow& native, const XShmCompletionEvent& completion);

// ---- windows.cpp ----

NativeWindow* FindByHandle(HWND window);
NativeWindow* FindByXid(Window xid);
bool IsOurs(Window xid);
// Whether one of our windows is a child of that window of another program.
bool IsForeignParentOfOurs(Window xid);
// Every window's X window and frames go, before the connection closes.
void DestroyAllNatives();
// Sends every window's held puts and whatever else waits in Xlib's buffer, in one write.
void SendEverything();

// The X window of one of our windows, or 0 when it has none.
Window PresenterNativeWindow(HWND window);
// Whether the window's frames go through shared memory (false before its first frame).
bool PresenterFrameIsShared(HWND window);
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

// ---- dialogs.cpp ----

// Height of the caption strip that a dialog draws above its client area.
constexpr int kDialogCaptionHeight = 20;
// One event of a dialog window.
void DialogHandleEvent(HWND dialog, const XEvent& event);
// Frees what the open dialogs hold on the display, which is about to close (the server may be gone
// already); closing them later then finds nothing to do.
void DialogsForgetDisplay(Display* display);

// ---- display.cpp ----

Display* PresenterDisplay();
