// The X11 presenter's event pump: input, focus, exposure and destruction of our X windows turned
// into what the sink expects, and the completion of shared puts counted off.
#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "platform/portable/presenter.h"
#include "platform/portable/x11/x11.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

// Windows virtual-key codes for the keys that have names here.
constexpr WPARAM kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkShift = 0x10, kVkControl = 0x11,
                 kVkEscape = 0x1B, kVkSpace = 0x20, kVkLeft = 0x25, kVkUp = 0x26, kVkRight = 0x27,
                 kVkDown = 0x28, kVkF1 = 0x70;

WPARAM VirtualKey(KeySym symbol) {
  if (symbol >= XK_a && symbol <= XK_z) return 'A' + (symbol - XK_a);
  if (symbol >= XK_A && symbol <= XK_Z) return 'A' + (symbol - XK_A);
  if (symbol >= XK_0 && symbol <= XK_9) return '0' + (symbol - XK_0);
  if (symbol >= XK_F1 && symbol <= XK_F12) return kVkF1 + (symbol - XK_F1);
  switch (symbol) {
    case XK_BackSpace: return kVkBack;
    case XK_Tab: return kVkTab;
    case XK_Return: case XK_KP_Enter: return kVkReturn;
    case XK_Shift_L: case XK_Shift_R: return kVkShift;
    case XK_Control_L: case XK_Control_R: return kVkControl;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return kVkMenu;
    case XK_Escape: return kVkEscape;
    case XK_space: return kVkSpace;
    case XK_Left: return kVkLeft;
    case XK_Up: return kVkUp;
    case XK_Right: return kVkRight;
    case XK_Down: return kVkDown;
    default: return 0;
  }
}

// Alt (or Meta) held counts as Alt.
void PostKey(HWND window, XKeyEvent& key) {
  PostKeyDown(*x11.sink, window, VirtualKey(XLookupKeysym(&key, 0)), (key.state & Mod1Mask) != 0, key.keycode);
}

// Focus that moves to another of our windows (a message box over the saver) is no loss of
// activation; focus that leaves the program is.
void OnFocusOut(const NativeWindow& native, const XFocusChangeEvent& focus) {
  if (focus.mode == NotifyGrab || focus.mode == NotifyUngrab) return;
  if (focus.detail == NotifyInferior || focus.detail == NotifyPointer) return;
  if (native.parent != nullptr || native.foreignParent != 0) return;
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(x11.display, &focused, &revert);
  if (IsOurs(focused)) return;
  x11.sink->post(native.window, WM_ACTIVATEAPP, 0, 0);
}

// Someone else destroyed one of our X windows (a screen-saver daemon closing its preview, say):
// the window ends as if it had been destroyed here.
void OnDestroyed(Window xid) {
  NativeWindow* native = FindByXid(xid);
  if (native != nullptr) {
    ReleaseFrames(*native);
    native->xid = 0;
    x11.sink->windowGone(native->window);
    return;
  }
  if (IsForeignParentOfOurs(xid)) x11.sink->foreignParentGone(static_cast<uint32_t>(xid));
}

bool IsInput(const XEvent& event) {
  return event.type == MotionNotify || event.type == KeyPress || event.type == ButtonPress;
}

// Where a real input event saw the pointer, kept so that messages are stamped without a round trip.
// A synthetic one (another program's XSendEvent) carries whatever its sender wrote, so it is not.
void NotePointer(const XEvent& event) {
  if (event.xany.send_event || !IsInput(event)) return;
  const bool sameScreen = event.type == MotionNotify ? event.xmotion.same_screen
                          : event.type == KeyPress   ? event.xkey.same_screen
                                                     : event.xbutton.same_screen;
  if (!sameScreen) return;
  x11.pointer = event.type == MotionNotify ? POINT{event.xmotion.x_root, event.xmotion.y_root}
                : event.type == KeyPress   ? POINT{event.xkey.x_root, event.xkey.y_root}
                                           : POINT{event.xbutton.x_root, event.xbutton.y_root};
  x11.pointerKnown = true;
}

bool HandleEvent(XEvent& event) {
  NotePointer(event);
  if (event.type == DestroyNotify) {
    OnDestroyed(event.xdestroywindow.window);
    return true;
  }
  if (event.type == x11.completionType) {
    const auto& completion = reinterpret_cast<XShmCompletionEvent&>(event);
    NativeWindow* native = FindByXid(completion.drawable);
    if (native != nullptr) CountCompletion(*native, completion);
    return false;
  }
  NativeWindow* native = FindByXid(event.xany.window);
  if (native == nullptr) return false;
  if (native->inputBlocks > 0 && IsInput(event)) return false;
  if (native->dialog) {
    DialogHandleEvent(native->window, event);
    return true;
  }
  HWND window = native->window;
  switch (event.type) {
    case MotionNotify:
      x11.sink->post(window, WM_MOUSEMOVE, 0, PointParam(event.xmotion.x, event.xmotion.y));
      return true;
    case KeyPress:
      PostKey(window, event.xkey);
      return true;
    case ButtonPress: {
      const UINT message = event.xbutton.button == Button1   ? WM_LBUTTONDOWN
                           : event.xbutton.button == Button2 ? WM_MBUTTONDOWN
                           : event.xbutton.button == Button3 ? WM_RBUTTONDOWN
                                                             : 0;
      if (message != 0) x11.sink->post(window, message, 0, PointParam(event.xbutton.x, event.xbutton.y));
      return message != 0;
    }
    case FocusOut:
      OnFocusOut(*native, event.xfocus);
      return true;
    case Expose:
      if (event.xexpose.count != 0) return false;
      if (native->frames[native->shownFrame].image != nullptr) PutFrame(*native, 0, 0, native->width, native->height);
      x11.sink->post(window, WM_PAINT, 0, 0);
      return true;
    default:
      return false;
  }
}

// Reads what the connection holds, without waiting, and handles every event read so far. Xlib may
// also have read events while it waited for a reply; poll cannot see those, so this comes first.
bool ReadAndHandle() {
  XEventsQueued(x11.display, QueuedAfterReading);
  bool any = false;
  while (x11.display != nullptr && XEventsQueued(x11.display, QueuedAlready) > 0) {
    XEvent event;
    XNextEvent(x11.display, &event);
    any = HandleEvent(event) || any;
  }
  return any;
}

int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// Whether the connection has data before the deadline (negative: none).
bool ConnectionReadable(int64_t deadlineMs) {
  const int64_t left = deadlineMs < 0 ? -1 : std::max<int64_t>(deadlineMs - NowMs(), 0);
  pollfd connection{ConnectionNumber(x11.display), POLLIN, 0};
  return poll(&connection, 1, static_cast<int>(std::min<int64_t>(left, INT32_MAX))) > 0;
}

}  // namespace

bool PresenterPumpEvents(int timeoutMs) {
  if (x11.display == nullptr) return false;
  // Nothing shown is held through a wait.
  SendEverything();
  const int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
  bool any = ReadAndHandle();
  // The connection is read only when poll says it has data, and a wait that brought only the
  // completion of a put goes on until the deadline: one wait a frame, not one per reply.
  while (timeoutMs != 0 && !any && x11.display != nullptr && !x11.lost && ConnectionReadable(deadline)) {
    any = ReadAndHandle();
  }
  // A repaint of an exposed window goes out at once.
  if (x11.display != nullptr) SendEverything();
  if (x11.lost) {
    PresenterClose();  // frees what is ours; the dead connection sends nothing
    x11.sink->connectionLost();
  }
  return any;
}
