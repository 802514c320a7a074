// The X11 presenter against a real X server (Xvfb in scripts/test): frames, input, foreign
// parents, other programs' windows and dialogs. Skipped when there is no DISPLAY.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/portable/dialog_resource.h"
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_table.h"
#include "platform/portable/x11/x11.h"
#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>

namespace {

constexpr int kTestDialogId = 901;
constexpr int kHelpButtonId = 1000;
constexpr UINT_PTR kPokeTimer = 5;
constexpr char kBoxCaption[] = "Presenter test box";

// Messages that reached the test windows' procedure, in order.
std::vector<MSG> delivered;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  delivered.push_back(MSG{window, message, wParam, lParam, 0, {0, 0}});
  return DefWindowProcA(window, message, wParam, lParam);
}

// The 0x00RRGGBB colour of a pixel of the display: each channel's bits at the top of its byte.
uint32_t ColourOfPixel(Display* connection, unsigned long pixel) {
  const Visual* visual = DefaultVisual(connection, DefaultScreen(connection));
  uint32_t colour = 0;
  int shift = 16;
  for (unsigned long mask : {visual->red_mask, visual->green_mask, visual->blue_mask}) {
    const int bits = __builtin_popcountl(mask);
    const unsigned long value = (pixel & mask) >> __builtin_ctzl(mask);
    colour |= static_cast<uint32_t>(bits >= 8 ? value >> (bits - 8) : value << (8 - bits)) << shift;
    shift -= 8;
  }
  return colour;
}

// What the display keeps of each colour: as many of each channel's top bits as its pixels hold.
std::vector<uint32_t> AsShown(Display* connection, std::vector<uint32_t> colours) {
  const Visual* visual = DefaultVisual(connection, DefaultScreen(connection));
  uint32_t kept = 0;
  for (unsigned long mask : {visual->red_mask, visual->green_mask, visual->blue_mask}) {
    kept = kept << 8 | (0xFFu << (8 - std::min(__builtin_popcountl(mask), 8)) & 0xFFu);
  }
  for (uint32_t& colour : colours) colour &= kept;
  return colours;
}

class X11Test : public ::testing::Test {
 protected:
  // One presenter connection and one observer connection serve the whole suite: X servers
  // now and then refuse a burst of new connections.
  static void SetUpTestSuite() {
    const char* name = getenv("DISPLAY");
    if (name == nullptr || *name == '\0' || !PresenterOpen(&kWindowSink)) return;
    for (int attempt = 0; attempt < 10 && observer_ == nullptr; ++attempt) {
      observer_ = XOpenDisplay(nullptr);
      if (observer_ == nullptr) usleep(10000);
    }
  }

  static void TearDownTestSuite() {
    PresenterClose();
    if (observer_ != nullptr) XCloseDisplay(observer_);
    observer_ = nullptr;
  }

  void SetUp() override {
    const char* name = getenv("DISPLAY");
    if (name == nullptr || *name == '\0') GTEST_SKIP() << "no DISPLAY";
    ASSERT_TRUE(PresenterActive());
    ASSERT_NE(observer_, nullptr);
    TestHooks::ResetPlatform();
    delivered.clear();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "X11TestClass";
    RegisterClassA(&windowClass);
  }

  void TearDown() override {
    TestHooks::ResetPlatform();
    if (PresenterActive()) XSync(PresenterDisplay(), True);
  }

  HWND Popup(int width, int height) {
    return CreateWindowExA(WS_EX_TOPMOST, "X11TestClass", "Screen Saver", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, nullptr, nullptr);
  }

  // Lets the presenter read the display for up to timeoutMs; true once `message` reached `window`.
  bool WaitFor(HWND window, UINT message, int timeoutMs = 2000) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      for (const MSG& m : delivered) {
        if (m.hwnd == window && m.message == message) return true;
      }
      PresenterPumpEvents(20);
    }
    return false;
  }

  const MSG* Delivered(HWND window, UINT message) {
    for (const MSG& m : delivered) {
      if (m.hwnd == window && m.message == message) return &m;
    }
    return nullptr;
  }

  void Send(HWND window, XEvent event, long mask) {
    event.xany.window = PresenterNativeWindow(window);
    event.xany.display = observer_;
    XSendEvent(observer_, event.xany.window, False, mask, &event);
    XSync(observer_, False);
  }

  void SendKey(HWND window, KeySym symbol, unsigned state) {
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.keycode = XKeysymToKeycode(observer_, symbol);
    event.xkey.state = state;
    event.xkey.same_screen = True;
    Send(window, event, KeyPressMask);
  }

  void SendButton(HWND window, unsigned button, int x, int y) {
    XEvent event{};
    event.xbutton.type = ButtonPress;
    event.xbutton.button = button;
    event.xbutton.x = x;
    event.xbutton.y = y;
    event.xbutton.same_screen = True;
    Send(window, event, ButtonPressMask);
  }

  // The colours the X server holds for a window, read through a connection of its own.
  std::vector<uint32_t> ServerPixels(HWND window, int width, int height) {
    XSync(PresenterDisplay(), False);
    XImage* image = XGetImage(observer_, PresenterNativeWindow(window), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    std::vector<uint32_t> pixels;
    if (image == nullptr) return pixels;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) pixels.push_back(ColourOfPixel(observer_, XGetPixel(image, x, y)));
    }
    XDestroyImage(image);
    return pixels;
  }

  // Draws a pattern off screen and blits it to the window, as the saver draws a frame.
  void DrawFrame(HWND window, int width, int height) {
    HDC dc = GetDC(window);
    HDC back = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ saved = SelectObject(back, bitmap);
    for (int band = 0; band < 8; ++band) {
      HBRUSH brush = CreateSolidBrush(RGB(band * 30, 255 - band * 30, band * 11));
      const RECT rect = {band * width / 8, 0, (band + 1) * width / 8, height};
      FillRect(back, &rect, brush);
      DeleteObject(brush);
    }
    const POINT triangle[] = {{width / 2, 2}, {width - 3, height - 3}, {3, height / 2}};
    Polygon(back, triangle, 3);
    BitBlt(dc, 0, 0, width, height, back, 0, 0, SRCCOPY);
    SelectObject(back, saved);
    DeleteObject(bitmap);
    DeleteDC(back);
    ReleaseDC(window, dc);
  }

  // Holds the server from the observer's connection for `ms` while `act` runs; true when the hold
  // had ended by the time act returned, that is, when act waited for the server.
  template <typename Act>
  static bool WaitedForHeldServer(int ms, Act act) {
    XGrabServer(observer_);
    XSync(observer_, False);
    std::atomic<bool> released{false};
    std::thread release([ms, &released] {
      usleep(static_cast<useconds_t>(ms) * 1000);
      released = true;
      XUngrabServer(observer_);
      XFlush(observer_);
    });
    act();
    const bool waited = released;
    release.join();
    return waited;
  }

  static Display* observer_;
};

Display* X11Test::observer_ = nullptr;

}  // namespace

TEST_F(X11Test, AFrameBlittedToAWindowIsWhatTheServerHolds) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared memory" : "plain XPutImage");
    Seam::SetSwitch(Seam::Switch::SharedMemory, shared);
    HWND window = Popup(96, 64);
    ASSERT_NE(window, nullptr);
    DrawFrame(window, 96, 64);
    if (!shared || XShmQueryExtension(observer_)) {
      EXPECT_EQ(PresenterFrameIsShared(window), shared);
    }
    const TestHooks::Pixels surface = TestHooks::WindowPixels(window);
    EXPECT_EQ(ServerPixels(window, 96, 64), AsShown(observer_, surface.data));
    DestroyWindow(window);
  }
}

// The saver's frames: a clear, a square that moves (and on some frames is not there), one blit of
// the whole client area. Only what changed is sent, straight from the window's surface.
TEST_F(X11Test, EachFrameTheServerHoldsIsTheWindowsSurface) {
  constexpr int kWidth = 120, kHeight = 80;
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared memory" : "plain XPutImage");
    Seam::SetSwitch(Seam::Switch::SharedMemory, shared);
    HWND window = Popup(kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    HDC back = CreateCompatibleDC(dc);
    HGDIOBJ saved = SelectObject(back, CreateCompatibleBitmap(dc, kWidth, kHeight));
    const RECT whole = {0, 0, kWidth, kHeight};
    for (int frame = 0; frame < 8; ++frame) {
      FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      if (frame % 3 != 2) {
        const int left = 10 * frame - 15, top = 5 * frame;
        const POINT square[] = {{left, top}, {left + 30, top}, {left + 30, top + 30}, {left, top + 30}};
        Polygon(back, square, 4);
      }
      BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
      ASSERT_EQ(ServerPixels(window, kWidth, kHeight), AsShown(observer_, TestHooks::WindowPixels(window).data))
          << "frame " << frame;
    }
    uint32_t* frameImage = nullptr;
    int stride = 0;
    Surface surface{};
    ASSERT_TRUE(DcSurface(dc, &surface));
    if (PresenterWindowFrame(window, kWidth, kHeight, &frameImage, &stride)) {
      EXPECT_EQ(surface.pixels, frameImage) << "the window's surface is its frame image";
    }
    DeleteObject(SelectObject(back, saved));
    DeleteDC(back);
    DestroyWindow(window);
  }
}

// The server reads a shared image some time after the put. While another client holds the
// server, nothing is read, so the next frame must wait before it writes into the image.
TEST_F(X11Test, AFrameWaitsUntilTheServerHasReadTheLastOne) {
  constexpr int kWidth = 64, kHeight = 48;
  const RECT whole = {0, 0, kWidth, kHeight};
  HWND window = Popup(kWidth, kHeight);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (!PresenterFrameIsShared(window)) GTEST_SKIP() << "the server offers no shared memory";
  ServerPixels(window, kWidth, kHeight);  // every put so far is read
  const bool waited = WaitedForHeldServer(300, [dc, &whole] {
    for (COLORREF colour : {RGB(200, 0, 0), RGB(0, 0, 200)}) {
      HBRUSH brush = CreateSolidBrush(colour);
      FillRect(dc, &whole, brush);
      DeleteObject(brush);
    }
  });
  EXPECT_TRUE(waited) << "the image was written again before the server had read it";
  EXPECT_EQ(ServerPixels(window, kWidth, kHeight), AsShown(observer_, TestHooks::WindowPixels(window).data));
  ReleaseDC(window, dc);
  DestroyWindow(window);
}

// With the images traded, the back bitmap holds the other image than the one just sent: drawing on
// it need not wait for the server to read that put, so drawing overlaps the server's reading.
TEST_F(X11Test, DrawingOnTheBackImageDoesNotWaitForThePutOfTheOther) {
  constexpr int kWidth = 64, kHeight = 48;
  const RECT whole = {0, 0, kWidth, kHeight};
  HWND window = Popup(kWidth, kHeight);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  HDC back = CreateCompatibleDC(dc);
  SelectObject(back, CreateCompatibleBitmap(dc, kWidth, kHeight));
  FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
  if (!PresenterFrameIsShared(window)) GTEST_SKIP() << "the server offers no shared memory";
  ServerPixels(window, kWidth, kHeight);  // every put so far is read
  const bool waited = WaitedForHeldServer(500, [dc, back, &whole] {
    BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
    FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  });
  EXPECT_FALSE(waited) << "drawing on one image waited for the server to read the other";
  EXPECT_EQ(ServerPixels(window, kWidth, kHeight), AsShown(observer_, TestHooks::WindowPixels(window).data));
  DeleteDC(back);
  ReleaseDC(window, dc);
  DestroyWindow(window);
}

// A whole-window copy trades the window's and the bitmap's frame images. Frames that draw on the
// back bitmap before clearing it, or on the window between copies, must still see every surface
// as plain copies would leave it: here two memory bitmaps, between which nothing is traded.
TEST_F(X11Test, TradedFrameImagesKeepWhatEachSurfaceHolds) {
  constexpr int kWidth = 64, kHeight = 48;
  const RECT whole = {0, 0, kWidth, kHeight};
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared memory" : "plain XPutImage");
    Seam::SetSwitch(Seam::Switch::SharedMemory, shared);
    HWND window = Popup(kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    HDC dc = GetDC(window);
    HDC back = CreateCompatibleDC(dc), backMirror = CreateCompatibleDC(dc), windowMirror = CreateCompatibleDC(dc);
    for (HDC memory : {back, backMirror, windowMirror}) SelectObject(memory, CreateCompatibleBitmap(dc, kWidth, kHeight));
    for (int frame = 0; frame < 12; ++frame) {
      const int left = 7 * frame - 10;
      const POINT square[] = {{left, 4}, {left + 20, 4}, {left + 20, 24}, {left, 24}};
      const RECT band = {0, 3 * frame, kWidth, 3 * frame + 5};
      for (HDC surface : {back, backMirror}) {
        // Every fourth frame draws over the last one, whose pixels the back bitmap traded away.
        if (frame % 4 != 3) FillRect(surface, &whole, black);
        Polygon(surface, square, 4);
      }
      BitBlt(dc, 0, 0, kWidth, kHeight, back, 0, 0, SRCCOPY);
      BitBlt(windowMirror, 0, 0, kWidth, kHeight, backMirror, 0, 0, SRCCOPY);
      if (frame % 5 == 4) {
        // The window changes while the back bitmap's content is still in it.
        FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        FillRect(windowMirror, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      }
      ASSERT_EQ(TestHooks::DcPixels(back).data, TestHooks::DcPixels(backMirror).data) << "frame " << frame;
      ASSERT_EQ(TestHooks::WindowPixels(window).data, TestHooks::DcPixels(windowMirror).data) << "frame " << frame;
      ASSERT_EQ(ServerPixels(window, kWidth, kHeight), AsShown(observer_, TestHooks::WindowPixels(window).data))
          << "frame " << frame;
    }
    // The window goes while the back bitmap holds one of its images: the bitmap keeps its pixels.
    DestroyWindow(window);
    EXPECT_EQ(TestHooks::DcPixels(back).data, TestHooks::DcPixels(backMirror).data);
    for (HDC memory : {back, backMirror, windowMirror}) DeleteDC(memory);
  }
}

// The server's image of a shared frame points at the frame's segment record; windows made and
// ended after it must not move that record.
TEST_F(X11Test, AFrameStillReachesTheServerAfterOtherWindowsComeAndGo) {
  HWND first = Popup(48, 32);
  ASSERT_NE(first, nullptr);
  DrawFrame(first, 48, 32);
  std::vector<HWND> others;
  for (int i = 0; i < 9; ++i) {
    // Beside the first window, which must stay in full view for the read-back.
    others.push_back(CreateWindowExA(0, "X11TestClass", "Other", WS_POPUP | WS_VISIBLE, 100 + 20 * i, 0, 16, 16,
                                     nullptr, nullptr, nullptr, nullptr));
  }
  DestroyWindow(others.front());
  // Memory given back meanwhile is taken again and scribbled over, so a stale record shows.
  std::vector<std::vector<unsigned char>> scribbles;
  for (size_t bytes = 8; bytes <= 8192; bytes += 8) scribbles.emplace_back(bytes, 0xFF);
  HDC dc = GetDC(first);
  const RECT all = {0, 0, 48, 32};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  ReleaseDC(first, dc);
  EXPECT_EQ(ServerPixels(first, 48, 32), AsShown(observer_, std::vector<uint32_t>(48 * 32, 0xFFFFFFu)));
  for (size_t i = 1; i < others.size(); ++i) DestroyWindow(others[i]);
  DestroyWindow(first);
}

TEST_F(X11Test, AnExposedWindowGetsItsLastFrameBackAndAPaintMessage) {
  HWND window = Popup(40, 30);
  DrawFrame(window, 40, 30);
  const std::vector<uint32_t> before = ServerPixels(window, 40, 30);
  // A window mapped over ours and taken away again exposes it.
  Window cover = XCreateSimpleWindow(observer_, DefaultRootWindow(observer_), 0, 0, 40, 30, 0, 0, 0xFFFFFF);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(observer_, cover, CWOverrideRedirect, &attributes);
  XMapRaised(observer_, cover);
  XSync(observer_, False);
  XDestroyWindow(observer_, cover);
  XSync(observer_, False);
  delivered.clear();
  ASSERT_TRUE(WaitFor(window, WM_PAINT));
  EXPECT_EQ(ServerPixels(window, 40, 30), before);
}

TEST_F(X11Test, InputEventsArriveAsWindowMessages) {
  HWND window = Popup(64, 48);
  XSync(PresenterDisplay(), False);
  delivered.clear();
  SendKey(window, XK_a, 0);
  ASSERT_TRUE(WaitFor(window, WM_KEYDOWN));
  EXPECT_EQ(Delivered(window, WM_KEYDOWN)->wParam, WPARAM{'A'});
  SendKey(window, XK_Alt_L, 0);
  ASSERT_TRUE(WaitFor(window, WM_SYSKEYDOWN));
  SendKey(window, XK_x, Mod1Mask);
  SendButton(window, Button1, 3, 4);
  ASSERT_TRUE(WaitFor(window, WM_LBUTTONDOWN));
  EXPECT_EQ(Delivered(window, WM_LBUTTONDOWN)->lParam, LPARAM{4 << 16 | 3});
  SendButton(window, Button3, 1, 1);
  ASSERT_TRUE(WaitFor(window, WM_RBUTTONDOWN));
  SendButton(window, Button2, 1, 1);
  ASSERT_TRUE(WaitFor(window, WM_MBUTTONDOWN));

  XEvent motion{};
  motion.xmotion.type = MotionNotify;
  motion.xmotion.x = 17;
  motion.xmotion.y = 9;
  motion.xmotion.same_screen = True;
  Send(window, motion, PointerMotionMask);
  ASSERT_TRUE(WaitFor(window, WM_MOUSEMOVE));
  EXPECT_EQ(Delivered(window, WM_MOUSEMOVE)->lParam, LPARAM{9 << 16 | 17});
  int systemKeys = 0;
  for (const MSG& m : delivered) systemKeys += m.message == WM_SYSKEYDOWN;
  EXPECT_EQ(systemKeys, 2) << "Alt alone and a key with Alt held";
}

// Messages are stamped with where their own input left the pointer, without asking the server;
// what the close rules read, GetCursorPos, still asks it, so a move our window never saw counts.
TEST_F(X11Test, InputIsStampedWhereItLeftThePointerAndTheCursorIsAskedOfTheServer) {
  HWND window = Popup(64, 48);
  XSync(PresenterDisplay(), False);
  const POINT path[] = {{5, 6}, {20, 11}, {33, 40}};
  for (const POINT& point : path) XWarpPointer(observer_, None, DefaultRootWindow(observer_), 0, 0, 0, 0, point.x, point.y);
  XSync(observer_, False);
  std::vector<POINT> stamps;
  for (int waited = 0; waited <= 2000 && stamps.size() < 3; waited += 20) {
    MSG msg;
    while (PeekMessageA(&msg, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE)) stamps.push_back(msg.pt);
    PresenterPumpEvents(20);
  }
  ASSERT_EQ(stamps.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(stamps[i].x, path[i].x) << "move " << i;
    EXPECT_EQ(stamps[i].y, path[i].y) << "move " << i;
  }
  POINT now = {};
  ASSERT_TRUE(GetCursorPos(&now));
  EXPECT_EQ(now.x, 33);
  XWarpPointer(observer_, None, DefaultRootWindow(observer_), 0, 0, 0, 0, 300, 200);
  XSync(observer_, False);
  ASSERT_TRUE(GetCursorPos(&now));
  EXPECT_EQ(now.x, 300) << "a move outside our window";
  EXPECT_EQ(now.y, 200);
}

// GetMessageA reads the display only when it must; a key still goes before a timer that is due.
TEST_F(X11Test, AKeyGoesBeforeATimerThatIsAlreadyDue) {
  HWND window = Popup(64, 48);
  XSync(PresenterDisplay(), False);
  SetTimer(window, 1, 1, nullptr);
  usleep(20000);
  SendKey(window, XK_a, 0);
  usleep(20000);  // the event is in the presenter's connection, not yet read
  MSG msg = {};
  while (GetMessageA(&msg, nullptr, 0, 0) && msg.message != WM_KEYDOWN && msg.message != WM_TIMER) {
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(msg.message, UINT{WM_KEYDOWN});
  KillTimer(window, 1);
}

TEST_F(X11Test, FocusLeavingForAnotherProgramDeactivates) {
  HWND window = Popup(64, 48);
  XSync(PresenterDisplay(), False);
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(observer_, &focused, &revert);
  EXPECT_EQ(focused, PresenterNativeWindow(window)) << "the popup takes the keyboard";
  Window other = XCreateSimpleWindow(observer_, DefaultRootWindow(observer_), 100, 100, 10, 10, 0, 0, 0);
  XMapWindow(observer_, other);
  XSync(observer_, False);
  delivered.clear();
  XSetInputFocus(observer_, other, RevertToParent, CurrentTime);
  XSync(observer_, False);
  ASSERT_TRUE(WaitFor(window, WM_ACTIVATEAPP));
  EXPECT_EQ(Delivered(window, WM_ACTIVATEAPP)->wParam, WPARAM{0});
  XDestroyWindow(observer_, other);
}

TEST_F(X11Test, AChildLivesInAForeignParentAndEndsWithIt) {
  Window foreign = XCreateSimpleWindow(observer_, DefaultRootWindow(observer_), 10, 10, 152, 112, 0, 0, 0);
  XMapWindow(observer_, foreign);
  XSync(observer_, False);
  HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(foreign));
  ASSERT_TRUE(IsWindow(parent));
  RECT client = {};
  ASSERT_TRUE(GetClientRect(parent, &client));
  EXPECT_EQ(client.right, 152);
  EXPECT_EQ(client.bottom, 112);

  HWND child = CreateWindowExA(0, "X11TestClass", "Preview", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom,
                               parent, nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  Window rootReturn, parentReturn, *children = nullptr;
  unsigned count = 0;
  XSync(PresenterDisplay(), False);
  ASSERT_TRUE(XQueryTree(observer_, PresenterNativeWindow(child), &rootReturn, &parentReturn, &children, &count));
  if (children != nullptr) XFree(children);
  EXPECT_EQ(parentReturn, foreign);
  DrawFrame(child, 152, 112);
  EXPECT_EQ(ServerPixels(child, 152, 112), AsShown(observer_, TestHooks::WindowPixels(child).data))
      << "a preview shows its frames";

  XDestroyWindow(observer_, foreign);
  XSync(observer_, False);
  ASSERT_TRUE(WaitFor(child, WM_DESTROY));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(parent));
}

// Without an X window inside the parent, nothing would ever report the parent's end, so the
// child is refused outright.
TEST_F(X11Test, AForeignParentThatRefusesChildrenGetsNone) {
  XSetWindowAttributes attributes{};
  Window inputOnly = XCreateWindow(observer_, DefaultRootWindow(observer_), 0, 0, 60, 40, 0, 0, InputOnly,
                                   CopyFromParent, 0, &attributes);
  XSync(observer_, False);
  HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(inputOnly));
  ASSERT_TRUE(IsWindow(parent));
  const int windowsBefore = TestHooks::LiveHandles(TestHooks::HandleKind::Window);
  delivered.clear();
  EXPECT_EQ(CreateWindowExA(0, "X11TestClass", "Preview", WS_CHILD | WS_VISIBLE, 0, 0, 60, 40, parent, nullptr,
                            nullptr, nullptr),
            nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(TestHooks::HandleKind::Window), windowsBefore);
  EXPECT_TRUE(delivered.empty()) << "no message reaches a window that was never made";
  XDestroyWindow(observer_, inputOnly);
  XSync(observer_, False);
}

TEST_F(X11Test, ScreenSizeAndPointerComeFromTheServer) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), DisplayWidth(observer_, DefaultScreen(observer_)));
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), DisplayHeight(observer_, DefaultScreen(observer_)));
  XWarpPointer(observer_, None, DefaultRootWindow(observer_), 0, 0, 0, 0, 123, 45);
  XSync(observer_, False);
  POINT point = {};
  ASSERT_TRUE(GetCursorPos(&point));
  EXPECT_EQ(point.x, 123);
  EXPECT_EQ(point.y, 45);
}

namespace {

const DialogControlResource kTestControls[] = {
    {IDOK, "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 4, 59, 40, 14},
    {IDCANCEL, "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 124, 59, 40, 14},
    {kHelpButtonId, "&Help", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 64, 59, 40, 14},
};
const DialogResource kTestDialog = {kTestDialogId, "Presenter test", WS_POPUP | WS_CAPTION, 8, 16, 174, 79,
                                    kTestControls, 3};

// What the dialog procedure saw, and the caption strip's pixel when help was asked for.
struct DialogTrace {
  std::vector<std::pair<UINT, WPARAM>> messages;
  uint32_t captionPixel = 0;
  std::string title;
};
DialogTrace trace;
Display* traceObserver = nullptr;

INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_HELP || message == WM_COMMAND) trace.messages.emplace_back(message, wParam);
  if (message == WM_HELP) {
    XImage* image = XGetImage(traceObserver, PresenterNativeWindow(dialog), 5, 5, 1, 1, AllPlanes, ZPixmap);
    if (image != nullptr) {
      trace.captionPixel = ColourOfPixel(traceObserver, XGetPixel(image, 0, 0));
      XDestroyImage(image);
    }
    char* name = nullptr;
    if (XFetchName(traceObserver, PresenterNativeWindow(dialog), &name) && name != nullptr) {
      trace.title = name;
      XFree(name);
    }
  }
  if (message == WM_COMMAND && wParam == IDCANCEL) EndDialog(dialog, 42);
  return message == WM_INITDIALOG || message == WM_COMMAND || message == WM_HELP;
}

}  // namespace

TEST_F(X11Test, DialogTurnsKeysAndClicksIntoCommands) {
  RegisterDialogResource(&kTestDialog);
  trace = DialogTrace();
  traceObserver = observer_;
  HWND owner = Popup(200, 150);
  XSync(PresenterDisplay(), False);
  SetDialogDriverHook([this](HWND dialog) {
    XSync(PresenterDisplay(), False);
    SendKey(dialog, XK_F1, 0);
    SendKey(dialog, XK_Return, 0);
    // The Help button, then Cancel: template units 64,59 and 124,59 are 96,95 and 186,95 pixels.
    SendButton(dialog, Button1, 96 + 5, kDialogCaptionHeight + 95 + 5);
    SendButton(dialog, Button1, 186 + 5, kDialogCaptionHeight + 95 + 5);
  });
  const INT_PTR result = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kTestDialogId), owner, TestDialogProc, 0);
  EXPECT_EQ(result, 42);
  const std::vector<std::pair<UINT, WPARAM>> expected = {
      {WM_HELP, 0}, {WM_COMMAND, IDOK}, {WM_COMMAND, kHelpButtonId}, {WM_COMMAND, IDCANCEL}};
  EXPECT_EQ(trace.messages, expected);
  EXPECT_EQ(trace.captionPixel, AsShown(observer_, {0x000080u})[0]) << "the caption strip was drawn";
  EXPECT_EQ(trace.title, "Presenter test");

  Window focused = 0;
  int revert = 0;
  XSync(PresenterDisplay(), False);
  XGetInputFocus(observer_, &focused, &revert);
  EXPECT_EQ(focused, PresenterNativeWindow(owner)) << "the keyboard is back with the owner";
  PresenterPumpEvents(50);
  EXPECT_EQ(Delivered(owner, WM_ACTIVATEAPP), nullptr) << "focus on our own dialog is no deactivation";
}

namespace {

// Finds the message box by its title and presses Enter in it.
LRESULT CALLBACK PokeBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_TIMER) return DefWindowProcA(window, message, wParam, lParam);
  Window rootReturn, parentReturn, *children = nullptr;
  unsigned count = 0;
  XQueryTree(traceObserver, DefaultRootWindow(traceObserver), &rootReturn, &parentReturn, &children, &count);
  for (unsigned i = 0; i < count; ++i) {
    char* name = nullptr;
    if (XFetchName(traceObserver, children[i], &name) && name != nullptr) {
      const bool isBox = strcmp(name, kBoxCaption) == 0;
      XFree(name);
      if (!isBox) continue;
      XEvent event{};
      event.xkey.type = KeyPress;
      event.xkey.window = children[i];
      event.xkey.keycode = XKeysymToKeycode(traceObserver, XK_Return);
      event.xkey.same_screen = True;
      XSendEvent(traceObserver, children[i], False, KeyPressMask, &event);
      XSync(traceObserver, False);
      KillTimer(window, kPokeTimer);
    }
  }
  if (children != nullptr) XFree(children);
  return 0;
}

}  // namespace

TEST_F(X11Test, AMessageBoxShowsUntilEnterIsPressed) {
  traceObserver = observer_;
  WNDCLASSA pokeClass = {};
  pokeClass.lpfnWndProc = PokeBoxProc;
  pokeClass.lpszClassName = "X11PokeClass";
  RegisterClassA(&pokeClass);
  HWND poker = CreateWindowExA(0, "X11PokeClass", "poke", WS_POPUP, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
  SetTimer(poker, kPokeTimer, 50, nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "A longer text that has to be wrapped onto more than one line of the box.",
                        kBoxCaption, MB_OK),
            IDOK);
}

namespace {

// A top-level window of another program: made on the observer's own connection, override-redirect
// like our popups, and marked as the platform marks its windows when className is given.
Window OtherProgramsWindow(Display* connection, const char* className, const char* title, int width, int height) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  Window xid = XCreateWindow(connection, DefaultRootWindow(connection), 20, 20, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWOverrideRedirect, &attributes);
  PresenterTagWindow(connection, xid, className, title);
  XMapRaised(connection, xid);
  XSync(connection, False);
  return xid;
}

Window TopmostChildOfRoot(Display* connection) {
  Window rootReturn, parentReturn, *children = nullptr;
  unsigned count = 0;
  XQueryTree(connection, DefaultRootWindow(connection), &rootReturn, &parentReturn, &children, &count);
  const Window topmost = count > 0 ? children[count - 1] : 0;
  if (children != nullptr) XFree(children);
  return topmost;
}

}  // namespace

TEST_F(X11Test, AnotherProgramsWindowIsFoundByClassAndTitleAndBroughtForward) {
  const std::string className = "CubrixFindTest" + std::to_string(getpid());
  std::string lowerClass = className;
  for (char& c : lowerClass) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  const std::string unmarkedTitle = "Unmarked " + std::to_string(getpid());
  Window other = OtherProgramsWindow(observer_, className.c_str(), "Screen Saver", 64, 48);
  Window unmarked = OtherProgramsWindow(observer_, nullptr, unmarkedTitle.c_str(), 10, 10);
  ASSERT_NE(TopmostChildOfRoot(observer_), other);

  HWND found = FindWindowA(lowerClass.c_str(), "SCREEN SAVER");
  ASSERT_EQ(found, reinterpret_cast<HWND>(static_cast<uintptr_t>(other)));
  EXPECT_TRUE(IsWindow(found));
  RECT client = {};
  ASSERT_TRUE(GetClientRect(found, &client));
  EXPECT_EQ(client.right, 64);
  EXPECT_EQ(client.bottom, 48);
  EXPECT_EQ(FindWindowA(className.c_str(), "Screen Saver Preview"), nullptr);
  EXPECT_EQ(FindWindowA("X11OtherClass", "Screen Saver"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, unmarkedTitle.c_str()), nullptr) << "only windows marked with a class count";

  EXPECT_TRUE(SetForegroundWindow(found));
  EXPECT_EQ(TopmostChildOfRoot(observer_), other);
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(observer_, &focused, &revert);
  EXPECT_EQ(focused, other);
  EXPECT_EQ(GetForegroundWindow(), nullptr);

  XDestroyWindow(observer_, unmarked);
  XDestroyWindow(observer_, other);
  XSync(observer_, False);
  EXPECT_EQ(FindWindowA(className.c_str(), "Screen Saver"), nullptr);
  EXPECT_FALSE(IsWindow(found));
  EXPECT_FALSE(SetForegroundWindow(found));
}

TEST_F(X11Test, OwnWindowsComeFirstAndOnlyTopLevelOnesAreMarked) {
  HWND own = Popup(32, 32);
  HWND child = CreateWindowExA(0, "X11TestClass", "Screen Saver", WS_CHILD | WS_VISIBLE, 0, 0, 8, 8, own, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  XSync(PresenterDisplay(), False);
  Window other = OtherProgramsWindow(observer_, "X11TestClass", "Screen Saver", 16, 16);

  EXPECT_EQ(FindWindowA("x11testclass", "screen saver"), own);
  EXPECT_EQ(PresenterFindForeignWindow("X11TestClass", "Screen Saver"), other) << "our own X window is skipped";
  // What another program on the display sees of ours.
  EXPECT_TRUE(PresenterTagMatches(observer_, PresenterNativeWindow(own), "X11TESTCLASS", "Screen Saver"));
  EXPECT_TRUE(PresenterTagMatches(observer_, PresenterNativeWindow(own), nullptr, nullptr));
  EXPECT_FALSE(PresenterTagMatches(observer_, PresenterNativeWindow(own), "X11TestClass", "Preview"));
  EXPECT_FALSE(PresenterTagMatches(observer_, PresenterNativeWindow(child), nullptr, nullptr));

  DestroyWindow(own);
  EXPECT_EQ(FindWindowA("X11TestClass", "Screen Saver"), reinterpret_cast<HWND>(static_cast<uintptr_t>(other)));
  XDestroyWindow(observer_, other);
  XSync(observer_, False);
}
