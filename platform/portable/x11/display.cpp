// The X11 presenter's connection: opened once on DISPLAY, watched for errors and for the server
// going away, and closed with everything of ours on it; the screen and the pointer.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/portable/presenter.h"
#include "platform/portable/x11/x11.h"

namespace {

constexpr int kHeadlessWidth = 800;
constexpr int kHeadlessHeight = 600;
constexpr int kConnectAttempts = 10;
constexpr long kConnectRetryNs = 10 * 1000 * 1000;

// X errors (a foreign window that vanished, a refused shared-memory attach) are expected here;
// they are noted instead of ending the program.
int NoteError(Display*, XErrorEvent* error) {
  x11.lastErrorCode = error->error_code;
  return 0;
}

// Xlib's own handling of a lost server exits on the spot, with nothing written. Returning from
// both handlers instead leaves the connection marked dead (Xlib then skips its requests), and
// the next look at the display ends the run as a termination signal would.
int ReportConnectionLost(Display* connection) {
  fprintf(stderr, "cubrix: the connection to the X server %s was lost\n", DisplayString(connection));
  return 0;
}

void NoteConnectionLost(Display*, void*) { x11.lost = true; }

}  // namespace

bool PresenterOpen(const PresenterSink* sink) {
  if (x11.display != nullptr) return true;
  x11.sink = sink;
  const char* name = getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  // A busy X server now and then resets a new connection; a few quick retries get through.
  for (int attempt = 0; attempt < kConnectAttempts && x11.display == nullptr; ++attempt) {
    if (attempt > 0) {
      timespec pause{0, kConnectRetryNs};
      nanosleep(&pause, nullptr);
    }
    x11.display = XOpenDisplay(nullptr);
  }
  if (x11.display == nullptr) return false;
  XSetErrorHandler(NoteError);
  XSetIOErrorHandler(ReportConnectionLost);
  XSetIOErrorExitHandler(x11.display, NoteConnectionLost, nullptr);
  x11.screen = DefaultScreen(x11.display);
  x11.root = RootWindow(x11.display, x11.screen);
  x11.offersSharedMemory = XShmQueryExtension(x11.display) == True;
  x11.completionType = x11.offersSharedMemory ? XShmGetEventBase(x11.display) + ShmCompletion : -1;
  char empty = 0;
  Pixmap blank = XCreateBitmapFromData(x11.display, x11.root, &empty, 1, 1);
  XColor black{};
  x11.blankCursor = XCreatePixmapCursor(x11.display, blank, blank, &black, &black, 0, 0);
  XFreePixmap(x11.display, blank);
  return true;
}

bool PresenterActive() { return x11.display != nullptr; }

void PresenterReportHeadlessWindows() { x11.reportHeadless = true; }

void PresenterHeadlessWindowMade() {
  if (!x11.reportHeadless) return;
  x11.reportHeadless = false;
  fprintf(stderr, "cubrix: no DISPLAY: the run goes on in memory and draws nowhere\n");
}

void PresenterClose() {
  if (x11.display == nullptr) return;
  DestroyAllNatives();
  DialogsForgetDisplay(x11.display);
  XFreeCursor(x11.display, x11.blankCursor);
  XCloseDisplay(x11.display);
  x11.display = nullptr;
}

int PresenterScreenWidth() { return x11.display != nullptr ? DisplayWidth(x11.display, x11.screen) : kHeadlessWidth; }

int PresenterScreenHeight() { return x11.display != nullptr ? DisplayHeight(x11.display, x11.screen) : kHeadlessHeight; }

bool PresenterCursorPos(POINT* point) {
  if (x11.display == nullptr) return false;
  Window rootReturn, child;
  int rootX, rootY, windowX, windowY;
  unsigned mask;
  if (!XQueryPointer(x11.display, x11.root, &rootReturn, &child, &rootX, &rootY, &windowX, &windowY, &mask)) return false;
  point->x = rootX;
  point->y = rootY;
  return true;
}

bool PresenterConnectionLost() { return x11.lost; }

Display* PresenterDisplay() { return x11.display; }
