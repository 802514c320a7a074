// The X11 presenter's windows: an X window for each of our windows (a popup, a child of ours, or
// a child inside another program's window), the marks by which other programs find them, the
// frames shown in them, the pointer over them and their focus.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/presenter.h"
#include "platform/portable/x11/x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace {

constexpr long kWindowEvents =
    ExposureMask | KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask | StructureNotifyMask;

// Our own mark for the window class, so that only windows of this platform are taken for Windows
// windows; the title is the standard WM_NAME.
constexpr char kClassProperty[] = "_CUBRIX_CLASS";
constexpr long kLongestMarkLongs = 1024;  // 4 KiB: far beyond any class name or title we set

// Each window stays at one address for its whole life: Xlib's shared image (its obdata) keeps a
// pointer to the frame's shared-segment record, so the records must not move when the list grows.
std::vector<std::unique_ptr<NativeWindow>> windows;

// A text property of a window; false when it is missing, too long, or the window is gone.
bool ReadText(Display* connection, Window xid, Atom property, std::string* text) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(connection, xid, property, 0, kLongestMarkLongs, False, AnyPropertyType,
                                        &type, &format, &count, &remaining, &data);
  const bool complete = status == Success && type != None && format == 8 && remaining == 0;
  if (complete) text->assign(data != nullptr ? reinterpret_cast<const char*>(data) : "", data != nullptr ? count : 0);
  if (data != nullptr) XFree(data);
  return complete;
}

bool SameIgnoringCase(const std::string& text, const char* wanted) {
  const size_t length = strlen(wanted);
  if (text.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (toupper(static_cast<unsigned char>(text[i])) != toupper(static_cast<unsigned char>(wanted[i]))) return false;
  }
  return true;
}

bool TextMatches(Display* connection, Window xid, Atom property, const char* wanted) {
  std::string text;
  return ReadText(connection, xid, property, &text) && (wanted == nullptr || SameIgnoringCase(text, wanted));
}

void DestroyNative(NativeWindow& native) {
  ReleaseFrames(native);
  if (native.gc != nullptr) XFreeGC(x11.display, native.gc);
  native.gc = nullptr;
  if (native.xid != 0) XDestroyWindow(x11.display, native.xid);
  native.xid = 0;
}

}  // namespace

NativeWindow* FindByHandle(HWND window) {
  for (const auto& native : windows) {
    if (native->window == window) return native.get();
  }
  return nullptr;
}

NativeWindow* FindByXid(Window xid) {
  for (const auto& native : windows) {
    if (xid != 0 && native->xid == xid) return native.get();
  }
  return nullptr;
}

bool IsOurs(Window xid) { return FindByXid(xid) != nullptr; }

bool IsForeignParentOfOurs(Window xid) {
  return std::any_of(windows.begin(), windows.end(), [xid](const auto& child) { return child->foreignParent == xid; });
}

void DestroyAllNatives() {
  for (const auto& native : windows) DestroyNative(*native);
  windows.clear();
}

// ---- Windows ----

bool PresenterCreateWindow(HWND window, HWND parent, uint32_t foreignParent, int x, int y, int width, int height,
                           bool popup, const char* className, const char* title) {
  if (x11.display == nullptr || FindByHandle(window) != nullptr) return false;
  Window parentXid = x11.root;
  const bool inForeignParent = parent == nullptr && foreignParent != 0;
  if (parent != nullptr) {
    const NativeWindow* own = FindByHandle(parent);
    if (own == nullptr || own->xid == 0) return false;
    parentXid = own->xid;
  } else if (foreignParent != 0) {
    // We learn of the parent's end through its DestroyNotify. Watched first and then looked at,
    // a parent that ends later is reported, and one that has already ended is found missing.
    XSelectInput(x11.display, foreignParent, StructureNotifyMask);
    if (!PresenterForeignWindowExists(foreignParent)) return false;
    parentXid = foreignParent;
    // That look was a round trip, so every earlier error is in: from here on they are the child's.
    x11.lastErrorCode = 0;
  }
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(x11.display, x11.screen);
  attributes.border_pixel = 0;
  attributes.override_redirect = popup ? True : False;
  attributes.event_mask = kWindowEvents;
  const unsigned w = static_cast<unsigned>(std::clamp(width, 1, kMaxWindowSide));
  const unsigned h = static_cast<unsigned>(std::clamp(height, 1, kMaxWindowSide));
  Window xid = XCreateWindow(x11.display, parentXid, x, y, w, h, 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask, &attributes);
  // Another program's window may refuse a child (or end meanwhile): the server says so only now.
  if (inForeignParent && xid != 0) XSync(x11.display, False);
  if (xid == 0 || (inForeignParent && x11.lastErrorCode != 0)) return false;
  // Only top-level windows are found by class and title, as on Windows.
  PresenterTagWindow(x11.display, xid, parentXid == x11.root ? className : nullptr, title);
  windows.push_back(std::make_unique<NativeWindow>(NativeWindow{window, parent, parent == nullptr ? foreignParent : 0,
                                                                xid, false, 0, width, height,
                                                                XCreateGC(x11.display, xid, 0, nullptr), {Frame()}}));
  XMapRaised(x11.display, xid);
  if (popup) PresenterFocus(window);
  XFlush(x11.display);
  return true;
}

void PresenterDestroyWindow(HWND window) {
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i]->window != window) continue;
    DestroyNative(*windows[i]);
    windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(i));
    XFlush(x11.display);
    return;
  }
}

bool PresenterForeignWindowExists(uint32_t id) {
  XWindowAttributes attributes;
  return x11.display != nullptr && id != 0 && XGetWindowAttributes(x11.display, id, &attributes) != 0;
}

bool PresenterForeignClientSize(uint32_t id, int* width, int* height) {
  XWindowAttributes attributes;
  if (x11.display == nullptr || id == 0 || XGetWindowAttributes(x11.display, id, &attributes) == 0) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

uint32_t PresenterFindForeignWindow(const char* className, const char* title) {
  Window rootReturn = 0;
  Window parentReturn = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (x11.display == nullptr || !XQueryTree(x11.display, x11.root, &rootReturn, &parentReturn, &children, &count)) return 0;
  uint32_t found = 0;
  // Children come bottom first; a window that vanishes meanwhile just fails to match.
  for (unsigned i = count; i-- > 0 && found == 0;) {
    if (!IsOurs(children[i]) && PresenterTagMatches(x11.display, children[i], className, title)) {
      found = static_cast<uint32_t>(children[i]);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// Raised, the window shows above everything that does not bypass the stacking; a mapped one
// also takes the keyboard, which an unmapped one would refuse.
bool PresenterBringForeignForward(uint32_t id) {
  XWindowAttributes attributes;
  if (x11.display == nullptr || id == 0 || XGetWindowAttributes(x11.display, id, &attributes) == 0) return false;
  XRaiseWindow(x11.display, id);
  if (attributes.map_state == IsViewable) XSetInputFocus(x11.display, id, RevertToParent, CurrentTime);
  // Done before the caller goes on, which is usually to end the program.
  XSync(x11.display, False);
  return true;
}

// ---- Frames ----

void PresenterShowPixels(HWND window, int x, int y, int width, int height, const uint32_t* pixels, int stride) {
  if (x11.display == nullptr || pixels == nullptr) return;
  NativeWindow* native = FindByHandle(window);
  if (native == nullptr || native->xid == 0 || x < 0 || y < 0) return;
  width = width < native->width - x ? width : native->width - x;
  height = height < native->height - y ? height : native->height - y;
  if (width <= 0 || height <= 0) return;
  // Pixels in one of the window's images are sent from it; others are copied into the one shown.
  for (int index = 0; index < 2; ++index) {
    const Frame& frame = native->frames[index];
    if (frame.image != nullptr && frame.direct &&
        reinterpret_cast<const char*>(pixels) == FramePixelAddress(frame, x, y)) {
      native->shownFrame = index;
      PutFrame(*native, x, y, width, height);
      return;
    }
  }
  if (!EnsureFrame(*native, native->shownFrame)) return;
  // The server may still be reading the image for an earlier put.
  if (native->frames[native->shownFrame].shared) AwaitFrameRead(*native, native->frames[native->shownFrame]);
  CopyIntoFrame(native->frames[native->shownFrame], x, y, width, height, pixels, stride);
  PutFrame(*native, x, y, width, height);
}

bool PresenterWindowFrame(HWND window, int width, int height, uint32_t** pixels, int* stride) {
  if (x11.display == nullptr) return false;
  NativeWindow* native = FindByHandle(window);
  if (native == nullptr || native->xid == 0 || native->dialog || native->width != width || native->height != height ||
      !EnsureFrame(*native, native->shownFrame) || !native->frames[native->shownFrame].direct) {
    return false;
  }
  const Frame& frame = native->frames[native->shownFrame];
  *pixels = FramePixels(frame);
  *stride = frame.image->bytes_per_line / static_cast<int>(sizeof(uint32_t));
  return true;
}

bool PresenterWindowSpareFrame(HWND window, const uint32_t* inUse, uint32_t** pixels, int* stride) {
  if (x11.display == nullptr) return false;
  NativeWindow* native = FindByHandle(window);
  if (native == nullptr || native->xid == 0 || native->dialog) return false;
  for (int index = 0; index < 2; ++index) {
    const Frame& used = native->frames[index];
    if (used.image == nullptr || FramePixels(used) != inUse) continue;
    const int spare = 1 - index;
    if (!EnsureFrame(*native, spare) || !native->frames[spare].direct ||
        native->frames[spare].image->bytes_per_line != used.image->bytes_per_line) {
      return false;
    }
    *pixels = FramePixels(native->frames[spare]);
    *stride = used.image->bytes_per_line / static_cast<int>(sizeof(uint32_t));
    return true;
  }
  return false;
}

void SendEverything() {
  for (const auto& native : windows) SendHeldPuts(*native);
  if (x11.unflushed) XFlush(x11.display);
  x11.unflushed = false;
}

void PresenterFlush() {
  if (x11.display != nullptr) SendEverything();
}

void PresenterAwaitFrameRead(HWND window, const uint32_t* pixels) {
  NativeWindow* native = FindByHandle(window);
  if (x11.display == nullptr || native == nullptr) return;
  for (Frame& frame : native->frames) {
    if (frame.image != nullptr && FramePixels(frame) == pixels) return AwaitFrameRead(*native, frame);
  }
  for (Frame& frame : native->frames) AwaitFrameRead(*native, frame);
}

bool PresenterFrameIsShared(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  return native != nullptr && native->frames[native->shownFrame].shared;
}

// ---- Pointer, focus, dialogs, marks ----

void PresenterHideCursor(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  if (x11.display == nullptr || native == nullptr || native->xid == 0) return;
  XDefineCursor(x11.display, native->xid, x11.blankCursor);
  XFlush(x11.display);
}

Window PresenterNativeWindow(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  return native != nullptr ? native->xid : 0;
}

void PresenterMakeDialog(HWND window) {
  for (const auto& native : windows) {
    if (native->parent == window && native->xid != 0) DestroyNative(*native);
    if (native->window == window) native->dialog = true;
  }
}

// Our top-level windows bypass any window manager, so the map has taken effect by the time the
// server handles this request; a window that is not viewable refuses focus, and the error is noted.
void PresenterFocus(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  if (x11.display == nullptr || native == nullptr || native->xid == 0) return;
  XSetInputFocus(x11.display, native->xid, RevertToParent, CurrentTime);
  XFlush(x11.display);
}

void PresenterBlockInput(HWND window, bool blocked) {
  NativeWindow* native = FindByHandle(window);
  if (native != nullptr) native->inputBlocks += blocked ? 1 : (native->inputBlocks > 0 ? -1 : 0);
}

void PresenterTagWindow(Display* connection, Window xid, const char* className, const char* title) {
  if (className != nullptr) {
    const Atom property = XInternAtom(connection, kClassProperty, False);
    XChangeProperty(connection, xid, property, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(className), static_cast<int>(strlen(className)));
  }
  if (title != nullptr) XStoreName(connection, xid, title);
}

bool PresenterTagMatches(Display* connection, Window xid, const char* className, const char* title) {
  const Atom property = XInternAtom(connection, kClassProperty, True);
  return property != None && TextMatches(connection, xid, property, className) &&
         (title == nullptr || TextMatches(connection, xid, XA_WM_NAME, title));
}
