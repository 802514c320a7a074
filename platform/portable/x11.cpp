// The display presenter: an X window for each of our windows, frames sent through MIT shared
// memory where the server offers it (plain XPutImage otherwise), and input events turned into
// window messages. Without DISPLAY every entry reports "no display" and windows live in memory.
// A window's frame image is normally the GDI's surface of the window itself, so showing a frame
// copies nothing; a second image lets a whole-window copy exchange images instead of copying. The
// server's completion event says when a shared image may be drawn again.
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/portable/gdi_internal.h"
#include "platform/portable/pixel_memory.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/portable/window_table.h"
#include "platform/portable/x11_internal.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>

namespace {

constexpr int kHeadlessWidth = 800;
constexpr int kHeadlessHeight = 600;
constexpr int kMaxWindowSide = 32767;  // X sizes and positions are 16-bit
constexpr int kConnectAttempts = 10;
constexpr long kConnectRetryNs = 10 * 1000 * 1000;
constexpr long kWindowEvents =
    ExposureMask | KeyPressMask | ButtonPressMask | PointerMotionMask | FocusChangeMask | StructureNotifyMask;

// Windows virtual-key codes for the keys that have names here.
constexpr WPARAM kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkShift = 0x10, kVkControl = 0x11,
                 kVkMenu = 0x12, kVkEscape = 0x1B, kVkSpace = 0x20, kVkLeft = 0x25, kVkUp = 0x26,
                 kVkRight = 0x27, kVkDown = 0x28, kVkF1 = 0x70, kVkF10 = 0x79;
constexpr LPARAM kAltContextBit = LPARAM{1} << 29;

// Our own mark for the window class, so that only windows of this platform are taken for Windows
// windows; the title is the standard WM_NAME.
constexpr char kClassProperty[] = "_CUBRIX_CLASS";
constexpr long kLongestMarkLongs = 1024;  // 4 KiB: far beyond any class name or title we set

// An image of a window's frame; the one shown last is kept so that an exposed window can be repainted.
struct Frame {
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shared = false;
  bool direct = false;  // pixels in the image have our 0x00RRGGBB layout
  size_t plainPixels = 0;  // the mapping behind a plain image's data
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
  int unread = 0;      // shared puts whose completion the server has yet to report
};

Display* display = nullptr;
int screen = 0;
Window root = 0;
bool serverOffersSharedMemory = false;
bool sharedMemory = false;
int completionType = -1;  // the event that reports a shared put as done
Cursor blankCursor = 0;
int lastErrorCode = 0;
bool reportHeadless = false;  // the program's own run, without a display, says so once
// Each window stays at one address for its whole life: the server's image keeps a pointer to the
// frame's shared-segment record, so the records must not move when the list grows.
std::vector<std::unique_ptr<NativeWindow>> windows;

// X errors (a foreign window that vanished, a refused shared-memory attach) are expected here;
// they are noted instead of ending the program.
int NoteError(Display*, XErrorEvent* error) {
  lastErrorCode = error->error_code;
  return 0;
}

// Xlib's own handling of a lost server exits on the spot, with nothing written. Returning from
// both handlers instead leaves the connection marked dead (Xlib then skips its requests), and
// the next look at the display ends the run as a termination signal would.
bool connectionLost = false;
int ReportConnectionLost(Display* connection) {
  fprintf(stderr, "cubrix: the connection to the X server %s was lost\n", DisplayString(connection));
  return 0;
}
void NoteConnectionLost(Display*, void*) { connectionLost = true; }

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

// ---- Marks ----

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

// ---- Frames ----

void ReleaseImage(Frame& frame) {
  if (frame.shared) {
    XShmDetach(display, &frame.shm);
    XSync(display, False);
    shmdt(frame.shm.shmaddr);
  } else {
    UnmapPixels(reinterpret_cast<uint32_t*>(frame.image->data), frame.plainPixels);
  }
  frame.image->data = nullptr;
  XDestroyImage(frame.image);
  frame = Frame();
}

void ReleaseFrames(NativeWindow& native) {
  if (native.frames[0].image == nullptr && native.frames[1].image == nullptr) return;
  WindowFrameReleased(native.window);
  for (Frame& frame : native.frames) {
    if (frame.image != nullptr) ReleaseImage(frame);
  }
  native.shownFrame = 0;
}

bool AttachSharedFrame(Frame& frame, int width, int height) {
  Visual* visual = DefaultVisual(display, screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(display, screen));
  frame.image = XShmCreateImage(display, visual, depth, ZPixmap, nullptr, &frame.shm, static_cast<unsigned>(width),
                                static_cast<unsigned>(height));
  if (frame.image == nullptr) return false;
  const size_t bytes = static_cast<size_t>(frame.image->bytes_per_line) * static_cast<size_t>(height);
  frame.shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  void* address = frame.shm.shmid >= 0 ? shmat(frame.shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
  if (address == reinterpret_cast<void*>(-1)) {
    if (frame.shm.shmid >= 0) shmctl(frame.shm.shmid, IPC_RMID, nullptr);
    XDestroyImage(frame.image);
    frame.image = nullptr;
    return false;
  }
  frame.shm.shmaddr = frame.image->data = static_cast<char*>(address);
  frame.shm.readOnly = False;
  // Errors of earlier requests must arrive before the count starts, or they would pass for the attach's.
  XSync(display, False);
  lastErrorCode = 0;
  const bool attached = XShmAttach(display, &frame.shm) && (XSync(display, False), lastErrorCode == 0);
  // Marked for removal now, the segment goes away with its last user even if we crash.
  shmctl(frame.shm.shmid, IPC_RMID, nullptr);
  if (!attached) {
    shmdt(address);
    frame.image->data = nullptr;
    XDestroyImage(frame.image);
    frame.image = nullptr;
    return false;
  }
  frame.shared = true;
  return true;
}

bool CreatePlainFrame(Frame& frame, int width, int height) {
  Visual* visual = DefaultVisual(display, screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(display, screen));
  frame.image = XCreateImage(display, visual, depth, ZPixmap, 0, nullptr, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 32, 0);
  if (frame.image == nullptr) return false;
  // Rows are padded to 32 bits, so the image is a whole number of 32-bit units.
  frame.plainPixels = static_cast<size_t>(frame.image->bytes_per_line) / sizeof(uint32_t) * static_cast<size_t>(height);
  frame.image->data = reinterpret_cast<char*>(MapPixels(frame.plainPixels));
  if (frame.image->data == nullptr) {
    XDestroyImage(frame.image);
    frame.image = nullptr;
    return false;
  }
  return true;
}

bool EnsureFrame(NativeWindow& native, int index) {
  Frame& frame = native.frames[index];
  if (frame.image != nullptr) return true;
  if (native.width <= 0 || native.height <= 0 || native.width > kMaxWindowSide || native.height > kMaxWindowSide) {
    return false;
  }
  if (!(sharedMemory && AttachSharedFrame(frame, native.width, native.height)) &&
      !CreatePlainFrame(frame, native.width, native.height)) {
    return false;
  }
  const XImage* image = frame.image;
  frame.direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000u && image->green_mask == 0xFF00u &&
                 image->blue_mask == 0xFFu && image->byte_order == LSBFirst;
  return true;
}

uint32_t* FramePixels(const Frame& frame) { return reinterpret_cast<uint32_t*>(frame.image->data); }

char* FramePixelAddress(const Frame& frame, int x, int y) {
  return frame.image->data + static_cast<size_t>(y) * static_cast<size_t>(frame.image->bytes_per_line) +
         static_cast<size_t>(x) * sizeof(uint32_t);
}

void CopyIntoFrame(Frame& frame, int x, int y, int width, int height, const uint32_t* pixels, int stride) {
  XImage* image = frame.image;
  // The window's surface is the image itself: nothing to copy.
  if (frame.direct && reinterpret_cast<const char*>(pixels) == FramePixelAddress(frame, x, y)) return;
  const PixelLayout layout = LayoutOf(DefaultVisual(display, screen));
  for (int row = 0; row < height; ++row) {
    const uint32_t* from = pixels + static_cast<size_t>(row) * static_cast<size_t>(stride);
    if (frame.direct) {
      memcpy(FramePixelAddress(frame, x, y + row), from, static_cast<size_t>(width) * sizeof(uint32_t));
    } else {
      for (int column = 0; column < width; ++column) {
        XPutPixel(image, x + column, y + row, PixelFor(layout, from[column]));
      }
    }
  }
}

void PutFrame(NativeWindow& native, int x, int y, int width, int height) {
  const Frame& frame = native.frames[native.shownFrame];
  if (frame.shared) {
    // The server must have read the segment before it is drawn into again: its completion event
    // says so, and PresenterAwaitFrameRead waits for it.
    XShmPutImage(display, native.xid, native.gc, frame.image, x, y, x, y, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), True);
    ++native.unread;
    XFlush(display);
  } else {
    XPutImage(display, native.xid, native.gc, frame.image, x, y, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    XFlush(display);
  }
}

// ---- Windows ----

void DestroyNative(NativeWindow& native) {
  ReleaseFrames(native);
  if (native.gc != nullptr) XFreeGC(display, native.gc);
  native.gc = nullptr;
  if (native.xid != 0) XDestroyWindow(display, native.xid);
  native.xid = 0;
}

// ---- Events ----

LPARAM PointParam(int x, int y) {
  return static_cast<LPARAM>((static_cast<uint32_t>(y) & 0xFFFFu) << 16 | (static_cast<uint32_t>(x) & 0xFFFFu));
}

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

void PostKey(HWND window, XKeyEvent& key) {
  const WPARAM virtualKey = VirtualKey(XLookupKeysym(&key, 0));
  // Alt (or Meta) held or pressed, and F10, are system keys on Windows.
  const bool system = (key.state & Mod1Mask) != 0 || virtualKey == kVkMenu || virtualKey == kVkF10;
  const LPARAM flags = 1 | static_cast<LPARAM>(key.keycode & 0xFFu) << 16 | (system ? kAltContextBit : 0);
  PostMessageA(window, system ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, flags);
}

// Focus that moves to another of our windows (a message box over the saver) is no loss of
// activation; focus that leaves the program is.
void OnFocusOut(const NativeWindow& native, const XFocusChangeEvent& focus) {
  if (focus.mode == NotifyGrab || focus.mode == NotifyUngrab) return;
  if (focus.detail == NotifyInferior || focus.detail == NotifyPointer) return;
  if (native.parent != nullptr || native.foreignParent != 0) return;
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(display, &focused, &revert);
  if (IsOurs(focused)) return;
  PostMessageA(native.window, WM_ACTIVATEAPP, 0, 0);
}

// Someone else destroyed one of our X windows (a screen-saver daemon closing its preview, say):
// the window ends as if it had been destroyed here.
void OnDestroyed(Window xid) {
  NativeWindow* native = FindByXid(xid);
  if (native != nullptr) {
    ReleaseFrames(*native);
    native->xid = 0;
    DestroyWindow(native->window);
    return;
  }
  const bool parentOfOurs = std::any_of(windows.begin(), windows.end(),
                                       [xid](const auto& child) { return child->foreignParent == xid; });
  if (parentOfOurs) DestroyChildrenOfForeign(static_cast<uint32_t>(xid));
}

bool IsInput(const XEvent& event) {
  return event.type == MotionNotify || event.type == KeyPress || event.type == ButtonPress;
}

Bool IsCompletionFor(Display*, XEvent* event, XPointer window) {
  const bool done = event->type == completionType &&
                    reinterpret_cast<XShmCompletionEvent*>(event)->drawable == *reinterpret_cast<Window*>(window);
  return done ? True : False;
}

bool HandleEvent(XEvent& event) {
  if (event.type == DestroyNotify) {
    OnDestroyed(event.xdestroywindow.window);
    return true;
  }
  if (event.type == completionType) {
    NativeWindow* native = FindByXid(reinterpret_cast<XShmCompletionEvent&>(event).drawable);
    if (native != nullptr && native->unread > 0) --native->unread;
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
      PostMessageA(window, WM_MOUSEMOVE, 0, PointParam(event.xmotion.x, event.xmotion.y));
      return true;
    case KeyPress:
      PostKey(window, event.xkey);
      return true;
    case ButtonPress: {
      const UINT message = event.xbutton.button == Button1   ? WM_LBUTTONDOWN
                           : event.xbutton.button == Button2 ? WM_MBUTTONDOWN
                           : event.xbutton.button == Button3 ? WM_RBUTTONDOWN
                                                             : 0;
      if (message != 0) PostMessageA(window, message, 0, PointParam(event.xbutton.x, event.xbutton.y));
      return message != 0;
    }
    case FocusOut:
      OnFocusOut(*native, event.xfocus);
      return true;
    case Expose:
      if (event.xexpose.count != 0) return false;
      if (native->frames[native->shownFrame].image != nullptr) PutFrame(*native, 0, 0, native->width, native->height);
      PostMessageA(window, WM_PAINT, 0, 0);
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- Display ----

PixelLayout LayoutOf(const Visual* visual) {
  PixelLayout layout{{visual->red_mask, visual->green_mask, visual->blue_mask}, {}, {}};
  for (int channel = 0; channel < 3; ++channel) {
    const unsigned long mask = layout.masks[channel];
    layout.lows[channel] = mask != 0 ? __builtin_ctzl(mask) : 0;
    layout.bits[channel] = __builtin_popcountl(mask);
  }
  return layout;
}

unsigned long PixelFor(const PixelLayout& layout, uint32_t rgb) {
  unsigned long pixel = 0;
  for (int channel = 0; channel < 3; ++channel) {
    const unsigned long value = rgb >> (16 - 8 * channel) & 0xFFu;
    const int bits = layout.bits[channel];
    const unsigned long kept = bits >= 8 ? value << (bits - 8) : value >> (8 - bits);
    pixel |= kept << layout.lows[channel] & layout.masks[channel];
  }
  return pixel;
}

bool PresenterOpen() {
  if (display != nullptr) return true;
  const char* name = getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  // A busy X server now and then resets a new connection; a few quick retries get through.
  for (int attempt = 0; attempt < kConnectAttempts && display == nullptr; ++attempt) {
    if (attempt > 0) {
      timespec pause{0, kConnectRetryNs};
      nanosleep(&pause, nullptr);
    }
    display = XOpenDisplay(nullptr);
  }
  if (display == nullptr) return false;
  XSetErrorHandler(NoteError);
  XSetIOErrorHandler(ReportConnectionLost);
  XSetIOErrorExitHandler(display, NoteConnectionLost, nullptr);
  screen = DefaultScreen(display);
  root = RootWindow(display, screen);
  serverOffersSharedMemory = XShmQueryExtension(display) == True;
  sharedMemory = serverOffersSharedMemory;
  completionType = serverOffersSharedMemory ? XShmGetEventBase(display) + ShmCompletion : -1;
  char empty = 0;
  Pixmap blank = XCreateBitmapFromData(display, root, &empty, 1, 1);
  XColor black{};
  blankCursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
  XFreePixmap(display, blank);
  return true;
}

bool PresenterActive() { return display != nullptr; }

void PresenterReportHeadlessWindows() { reportHeadless = true; }

void PresenterHeadlessWindowMade() {
  if (!reportHeadless) return;
  reportHeadless = false;
  fprintf(stderr, "cubrix: no DISPLAY: the run goes on in memory and draws nowhere\n");
}

void PresenterClose() {
  if (display == nullptr) return;
  for (const auto& native : windows) DestroyNative(*native);
  windows.clear();
  DialogsForgetDisplay(display);
  XFreeCursor(display, blankCursor);
  XCloseDisplay(display);
  display = nullptr;
}

int PresenterScreenWidth() { return display != nullptr ? DisplayWidth(display, screen) : kHeadlessWidth; }
int PresenterScreenHeight() { return display != nullptr ? DisplayHeight(display, screen) : kHeadlessHeight; }

// ---- Windows ----

bool PresenterCreateWindow(HWND window, HWND parent, uint32_t foreignParent, int x, int y, int width, int height,
                           bool popup, const char* className, const char* title) {
  if (display == nullptr || FindByHandle(window) != nullptr) return false;
  Window parentXid = root;
  const bool inForeignParent = parent == nullptr && foreignParent != 0;
  if (parent != nullptr) {
    const NativeWindow* own = FindByHandle(parent);
    if (own == nullptr || own->xid == 0) return false;
    parentXid = own->xid;
  } else if (foreignParent != 0) {
    // We learn of the parent's end through its DestroyNotify. Watched first and then looked at,
    // a parent that ends later is reported, and one that has already ended is found missing.
    XSelectInput(display, foreignParent, StructureNotifyMask);
    if (!PresenterForeignWindowExists(foreignParent)) return false;
    parentXid = foreignParent;
    // That look was a round trip, so every earlier error is in: from here on they are the child's.
    lastErrorCode = 0;
  }
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display, screen);
  attributes.border_pixel = 0;
  attributes.override_redirect = popup ? True : False;
  attributes.event_mask = kWindowEvents;
  const unsigned w = static_cast<unsigned>(std::clamp(width, 1, kMaxWindowSide));
  const unsigned h = static_cast<unsigned>(std::clamp(height, 1, kMaxWindowSide));
  Window xid = XCreateWindow(display, parentXid, x, y, w, h, 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask, &attributes);
  // Another program's window may refuse a child (or end meanwhile): the server says so only now.
  if (inForeignParent && xid != 0) XSync(display, False);
  if (xid == 0 || (inForeignParent && lastErrorCode != 0)) return false;
  // Only top-level windows are found by class and title, as on Windows.
  PresenterTagWindow(display, xid, parentXid == root ? className : nullptr, title);
  windows.push_back(std::make_unique<NativeWindow>(NativeWindow{window, parent, parent == nullptr ? foreignParent : 0,
                                                                xid, false, 0, width, height,
                                                                XCreateGC(display, xid, 0, nullptr), {Frame()}}));
  XMapRaised(display, xid);
  if (popup) PresenterFocus(window);
  XFlush(display);
  return true;
}

void PresenterDestroyWindow(HWND window) {
  for (size_t i = 0; i < windows.size(); ++i) {
    if (windows[i]->window != window) continue;
    DestroyNative(*windows[i]);
    windows.erase(windows.begin() + static_cast<std::ptrdiff_t>(i));
    XFlush(display);
    return;
  }
}

bool PresenterForeignWindowExists(uint32_t id) {
  XWindowAttributes attributes;
  return display != nullptr && id != 0 && XGetWindowAttributes(display, id, &attributes) != 0;
}

bool PresenterForeignClientSize(uint32_t id, int* width, int* height) {
  XWindowAttributes attributes;
  if (display == nullptr || id == 0 || XGetWindowAttributes(display, id, &attributes) == 0) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

uint32_t PresenterFindForeignWindow(const char* className, const char* title) {
  Window rootReturn = 0;
  Window parentReturn = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (display == nullptr || !XQueryTree(display, root, &rootReturn, &parentReturn, &children, &count)) return 0;
  uint32_t found = 0;
  // Children come bottom first; a window that vanishes meanwhile just fails to match.
  for (unsigned i = count; i-- > 0 && found == 0;) {
    if (!IsOurs(children[i]) && PresenterTagMatches(display, children[i], className, title)) {
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
  if (display == nullptr || id == 0 || XGetWindowAttributes(display, id, &attributes) == 0) return false;
  XRaiseWindow(display, id);
  if (attributes.map_state == IsViewable) XSetInputFocus(display, id, RevertToParent, CurrentTime);
  // Done before the caller goes on, which is usually to end the program.
  XSync(display, False);
  return true;
}

void PresenterShowPixels(HWND window, int x, int y, int width, int height, const uint32_t* pixels, int stride) {
  if (display == nullptr || pixels == nullptr) return;
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
  if (native->frames[native->shownFrame].shared) PresenterAwaitFrameRead(window);
  CopyIntoFrame(native->frames[native->shownFrame], x, y, width, height, pixels, stride);
  PutFrame(*native, x, y, width, height);
}

bool PresenterWindowFrame(HWND window, int width, int height, uint32_t** pixels, int* stride) {
  if (display == nullptr) return false;
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
  if (display == nullptr) return false;
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

void PresenterAwaitFrameRead(HWND window) {
  NativeWindow* native = FindByHandle(window);
  if (display == nullptr || native == nullptr || native->unread == 0) return;
  if (native->xid == 0) {
    native->unread = 0;  // a window that is gone reports nothing more
    return;
  }
  XEvent event;
  // A frame ago the event was mostly in already; taking it needs no round trip.
  while (native->unread > 0 && XCheckIfEvent(display, &event, IsCompletionFor, reinterpret_cast<XPointer>(&native->xid))) {
    --native->unread;
  }
  if (native->unread == 0) return;
  // Once the server answers, it has handled every put before; a put it refused (the window gone)
  // reports no completion, so none is waited for beyond this.
  XSync(display, False);
  while (XCheckIfEvent(display, &event, IsCompletionFor, reinterpret_cast<XPointer>(&native->xid))) {
  }
  native->unread = 0;
}

// ---- Pointer ----

bool PresenterCursorPos(POINT* point) {
  if (display == nullptr) return false;
  Window rootReturn, child;
  int rootX, rootY, windowX, windowY;
  unsigned mask;
  if (!XQueryPointer(display, root, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &mask)) return false;
  point->x = rootX;
  point->y = rootY;
  return true;
}

void PresenterHideCursor(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  if (display == nullptr || native == nullptr || native->xid == 0) return;
  XDefineCursor(display, native->xid, blankCursor);
  XFlush(display);
}

// ---- Events ----

bool PresenterPumpEvents(int timeoutMs) {
  if (display == nullptr) return false;
  if (XPending(display) == 0 && timeoutMs != 0 && !connectionLost) {
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, timeoutMs);
  }
  bool any = false;
  while (display != nullptr && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    any = HandleEvent(event) || any;
  }
  if (connectionLost) {
    PresenterClose();  // frees what is ours; the dead connection sends nothing
    RequestTermination();
  }
  return any;
}

bool PresenterConnectionLost() { return connectionLost; }

// ---- For the dialogs ----

Display* PresenterDisplay() { return display; }

void PresenterUseSharedMemory(bool allowed) { sharedMemory = allowed && serverOffersSharedMemory; }

bool PresenterFrameIsShared(HWND window) {
  const NativeWindow* native = FindByHandle(window);
  return native != nullptr && native->frames[native->shownFrame].shared;
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
  if (display == nullptr || native == nullptr || native->xid == 0) return;
  XSetInputFocus(display, native->xid, RevertToParent, CurrentTime);
  XFlush(display);
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

void PresenterBlockInput(HWND window, bool blocked) {
  NativeWindow* native = FindByHandle(window);
  if (native != nullptr) native->inputBlocks += blocked ? 1 : (native->inputBlocks > 0 ? -1 : 0);
}
