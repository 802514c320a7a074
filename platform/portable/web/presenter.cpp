// The web presenter: the page's <canvas> is the screen, the rectangles a drawing call changed go to
// it together with putImageData, and the page's DOM input arrives as window messages. Every wait
// yields to the browser through emscripten_sleep (the program is built with ASYNCIFY), so the page
// stays live; the page is woken once a frame, by the wait for the saver's next tick.
// The page hands each run a `page` object (web/page.js) that these calls reach through Module.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/portable/presenter.h"
#include "platform/win32.h"

namespace {

// The canvas as a window of another program: a preview run is given it as its parent.
constexpr uint32_t kCanvasWindowId = 1;
constexpr int kLongestSleepMs = 100;
// A loop that finds a message every time it looks never waits. One that draws gives the page its
// turn between frames (PresenterPumpEvents); one that draws nothing still yields this often.
constexpr double kLongestBlockMs = 40;

// What the page queues (page.js: EVENT): a kind and two numbers.
enum EventKind { kPointerMove = 1, kKeyDown = 2, kButtonDown = 3, kDeactivated = 4, kDialogCommand = 5 };

struct WebWindow {
  HWND window;
  int width;
  int height;
};

bool opened = false;
const PresenterSink* sink = nullptr;
std::vector<WebWindow> windows;
HWND canvasWindow = nullptr;  // the one window the canvas shows
// The rectangles shown since the last flush, each converted into the canvas's byte order (RGBA)
// with its rows packed, one after another in the first heldCount pixels: an image of just the
// rectangle costs putImageData far less than a window-sized one with a dirty rectangle. Each is
// described by five numbers: where its pixels start in heldPixels, x, y, width, height. The
// buffer only grows (a resize would clear the pixels about to be written, every frame).
std::vector<uint32_t> heldPixels;
size_t heldCount = 0;
std::vector<int> heldRectangles;
bool pixelsShownSinceLook = false;
int framesShown = 0;
bool endRequested = false;
double lastYield = 0;
bool turnOwed = false;  // a frame was shown since the page last had its turn
// Until the page learns where the pointer is, it is reported at the origin; a run that had to
// take its anchor so measures from the first position the page learns of.
bool reportedBlind = false;
bool originFixed = false;
POINT origin{0, 0};

EM_JS(int, PageScreenSide, (int vertical), { return Module['page']['screen'](vertical); });
EM_JS(void, PageOpenCanvas, (int width, int height), { Module['page']['openCanvas'](width, height); });
EM_JS(void, PagePut, (const uint32_t* pixels, const int* rectangles, int count), {
  Module['page']['put'](HEAPU8.buffer, pixels, HEAP32.subarray(rectangles >> 2, (rectangles >> 2) + 5 * count));
});
EM_JS(int, PageFrameShown, (int count), { return Module['page']['frameShown'](count); });
EM_JS(void, PageHidePointer, (), { Module['page']['hidePointer'](); });
EM_JS(int, PagePointer, (int* xy), {
  var p = Module['page']['pointer']();
  if (!p) return 0;
  HEAP32[xy >> 2] = p[0];
  HEAP32[(xy >> 2) + 1] = p[1];
  return 1;
});
// Takes the oldest queued event into kind, a, b; false when there is none.
EM_JS(int, PageNextEvent, (int* event), {
  var e = Module['page']['next']();
  if (!e) return 0;
  HEAP32.set(e, event >> 2);
  return 1;
});
EM_JS(void, PageShowMessage, (int dialog, const char* caption, const char* text, int buttonId), {
  Module['page']['message'](dialog, UTF8ToString(caption), UTF8ToString(text), buttonId);
});
EM_JS(void, PageCloseMessage, (int dialog), { Module['page']['closeMessage'](dialog); });

int HandleValue(HWND window) { return static_cast<int>(reinterpret_cast<uintptr_t>(window)); }

WebWindow* FindWebWindow(HWND window) {
  auto found = std::find_if(windows.begin(), windows.end(),
                            [window](const WebWindow& known) { return known.window == window; });
  return found == windows.end() ? nullptr : &*found;
}


// Input goes to the window on the canvas; a message box's answer to the box.
bool PostEvent(const int (&event)[3]) {
  if (event[0] == kDialogCommand) {
    sink->command(reinterpret_cast<HWND>(static_cast<uintptr_t>(event[1])), event[2]);
    return true;
  }
  if (canvasWindow == nullptr) return false;
  switch (event[0]) {
    case kPointerMove:
      sink->post(canvasWindow, WM_MOUSEMOVE, 0, PointParam(event[1], event[2]));
      return true;
    case kKeyDown:
      PostKeyDown(*sink, canvasWindow, static_cast<WPARAM>(event[1]), event[2] != 0, 0);
      return true;
    case kButtonDown:
      sink->post(canvasWindow, static_cast<UINT>(event[1]), 0, 0);
      return true;
    case kDeactivated:
      sink->post(canvasWindow, WM_ACTIVATEAPP, 0, 0);
      return true;
    default:
      return false;
  }
}

// Frames are the pictures shown between two looks at the queue: the page may stop the run at one.
void NoteFrameEnd() {
  if (!pixelsShownSinceLook) return;
  pixelsShownSinceLook = false;
  turnOwed = true;
  if (PageFrameShown(++framesShown) != 0) endRequested = true;
}

void Yield(int milliseconds) {
  emscripten_sleep(static_cast<unsigned>(milliseconds));
  lastYield = emscripten_get_now();
  turnOwed = false;
}

}  // namespace

// The page ends a run (to start another in its place) as a lost display would, that is as a
// termination signal would; the next look at the queue passes it up through the sink.
extern "C" EMSCRIPTEN_KEEPALIVE void PresenterEndRun() { endRequested = true; }

bool PresenterOpen(const PresenterSink* reporting) {
  sink = reporting;
  opened = true;
  lastYield = emscripten_get_now();
  return true;
}
bool PresenterActive() { return opened; }
void PresenterClose() { opened = false; }
// The page is always the display: no run here is headless.
void PresenterReportHeadlessWindows() {}
void PresenterHeadlessWindowMade() {}

int PresenterScreenWidth() { return PageScreenSide(0); }
int PresenterScreenHeight() { return PageScreenSide(1); }

// The first top-level window, or the first child of the canvas, takes the canvas; later windows
// (message boxes and their buttons, message panels) live only in the page's own elements.
bool PresenterCreateWindow(HWND window, HWND parent, uint32_t foreignParent, int, int, int width, int height,
                           bool popup, const char*, const char*) {
  const bool otherForeignParent = parent == nullptr && foreignParent != 0 && foreignParent != kCanvasWindowId;
  if (!opened || FindWebWindow(window) != nullptr || otherForeignParent) return false;
  windows.push_back(WebWindow{window, width, height});
  const bool onCanvas = parent == nullptr && (popup || foreignParent == kCanvasWindowId);
  if (canvasWindow == nullptr && onCanvas && width > 0 && height > 0) {
    canvasWindow = window;
    heldPixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    PageOpenCanvas(width, height);
  }
  return true;
}

// The canvas keeps the last picture: a run held at a frame, or ended, leaves it in view.
void PresenterDestroyWindow(HWND window) {
  const WebWindow* gone = FindWebWindow(window);
  if (gone != nullptr) windows.erase(windows.begin() + (gone - windows.data()));
  if (window != canvasWindow) return;
  canvasWindow = nullptr;
  heldCount = 0;
  heldRectangles.clear();
}

bool PresenterForeignWindowExists(uint32_t id) { return opened && id == kCanvasWindowId; }

bool PresenterForeignClientSize(uint32_t id, int* width, int* height) {
  if (!PresenterForeignWindowExists(id)) return false;
  *width = PageScreenSide(0);
  *height = PageScreenSide(1);
  return true;
}

uint32_t PresenterFindForeignWindow(const char*, const char*) { return 0; }
bool PresenterBringForeignForward(uint32_t) { return false; }

// Converted into the canvas's byte order here and held; only the rectangle goes to the canvas.
void PresenterShowPixels(HWND window, int x, int y, int width, int height, const uint32_t* pixels, int stride) {
  if (window != canvasWindow || canvasWindow == nullptr || pixels == nullptr || x < 0 || y < 0) return;
  const WebWindow& shown = *FindWebWindow(window);
  width = std::min(width, shown.width - x);
  height = std::min(height, shown.height - y);
  if (width <= 0 || height <= 0) return;
  const size_t start = heldCount;
  heldCount += static_cast<size_t>(width) * static_cast<size_t>(height);
  if (heldCount > heldPixels.size()) heldPixels.resize(heldCount);
  for (int row = 0; row < height; ++row) {
    const uint32_t* from = pixels + static_cast<size_t>(row) * static_cast<size_t>(stride);
    uint32_t* to = heldPixels.data() + start + static_cast<size_t>(row) * static_cast<size_t>(width);
    for (int column = 0; column < width; ++column) {
      const uint32_t pixel = from[column];  // 0x00RRGGBB; the canvas reads bytes R, G, B, A
      to[column] = 0xFF000000u | (pixel & 0xFF00u) | (pixel >> 16 & 0xFFu) | (pixel & 0xFFu) << 16;
    }
  }
  heldRectangles.insert(heldRectangles.end(), {static_cast<int>(start), x, y, width, height});
  pixelsShownSinceLook = true;
}

// All the rectangles held go to the page in one call, which puts them on the canvas in one go.
void PresenterFlush() {
  if (heldRectangles.empty()) return;
  PagePut(heldPixels.data(), heldRectangles.data(), static_cast<int>(heldRectangles.size() / 5));
  heldCount = 0;
  heldRectangles.clear();
}

// The GDI keeps its own surfaces: the canvas's picture needs its own byte order anyway.
bool PresenterWindowFrame(HWND, int, int, uint32_t**, int*) { return false; }
bool PresenterWindowSpareFrame(HWND, const uint32_t*, uint32_t**, int*) { return false; }
void PresenterAwaitFrameRead(HWND, const uint32_t*) {}

bool PresenterCursorPos(POINT* point) {
  int xy[2];
  if (!opened || PagePointer(xy) == 0) {
    reportedBlind = true;
    *point = POINT{0, 0};
    return true;
  }
  if (!originFixed) {
    originFixed = true;
    if (reportedBlind) origin = POINT{xy[0], xy[1]};
  }
  *point = POINT{xy[0] - origin.x, xy[1] - origin.y};
  return true;
}

// PresenterCursorPos reads the page's own record of the pointer at no cost: nothing is cheaper.
bool PresenterLastPointer(POINT*) { return false; }

void PresenterHideCursor(HWND window) {
  if (window == canvasWindow) PageHidePointer();
}

bool PresenterPumpEvents(int timeoutMs) {
  if (!opened) return false;
  PresenterFlush();
  NoteFrameEnd();
  if (endRequested) {
    endRequested = false;
    sink->connectionLost();
  }
  int event[3];
  bool any = false;
  while (PageNextEvent(event) != 0) any = PostEvent(event) || any;
  if (!any && timeoutMs != 0) {
    Yield(timeoutMs < 0 || timeoutMs > kLongestSleepMs ? kLongestSleepMs : timeoutMs);
    while (PageNextEvent(event) != 0) any = PostEvent(event) || any;
  } else if (turnOwed ? timeoutMs == 0 : emscripten_get_now() - lastYield > kLongestBlockMs) {
    // A frame was shown and the next begins without a wait (its tick is due already): the page has
    // its turn now, between the two. Input found instead leaves the turn to the wait that follows.
    Yield(0);
  }
  return any;
}

bool PresenterConnectionLost() { return false; }

// ---- Message boxes: the page shows them in its own elements ----

bool PresenterOpenDialog(HWND dialog, HWND, const char* caption, const char* text, const DialogButton* buttons,
                         int buttonCount, int, int) {
  if (!opened || buttonCount < 1) return false;
  PageShowMessage(HandleValue(dialog), caption != nullptr ? caption : "", text != nullptr ? text : "", buttons[0].id);
  return true;
}

bool PresenterShowMessagePanel(HWND panel, const char* caption, const char* text, int, int) {
  if (!opened) return false;
  PageShowMessage(HandleValue(panel), caption != nullptr ? caption : "", text != nullptr ? text : "", 0);
  return true;
}

void PresenterCloseDialog(HWND dialog) {
  if (opened) PageCloseMessage(HandleValue(dialog));
}
