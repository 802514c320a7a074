// The floor the process benchmark holds the saver against: a display program that clears a whole
// window-sized XImage and sends all of it with XShmPutImage 20 times a second, as the least a
// full-frame saver could do. Also makes the stand-in parent window of a daemon's preview pane.
//
// Usage: floor_program                 full screen, until SIGTERM
//        floor_program --in ID         in a child filling the X window ID (decimal)
//        floor_program --parent WxH    a top-level window of that size; prints its id, then waits
//        floor_program --put WxH [--in ID]
//                                      full screen or in ID, but clearing and sending only the top-left
//                                      WxH each frame (1x1: the cost of presenting any frame at all)
// On SIGTERM it prints "frames <n> ms <elapsed>" and exits 0.
#include <poll.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

namespace {

constexpr long kFramePeriodMs = 50;

volatile sig_atomic_t stopRequested = 0;
void OnStop(int) { stopRequested = 1; }

long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

Window MakeWindow(Display* display, Window parent, int width, int height, bool overrideRedirect) {
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
  attributes.override_redirect = overrideRedirect ? True : False;
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  Window window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                CopyFromParent, InputOutput, CopyFromParent,
                                CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
  XMapRaised(display, window);
  return window;
}

int HoldParent(Display* display, const char* size) {
  int width = 0, height = 0;
  if (std::sscanf(size, "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) return 2;
  Window window = MakeWindow(display, DefaultRootWindow(display), width, height, true);
  XSync(display, False);
  std::printf("%lu\n", window);
  std::fflush(stdout);
  while (stopRequested == 0) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
    }
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, 200);
  }
  return 0;
}

struct SharedImage {
  XImage* image = nullptr;
  XShmSegmentInfo segment{};
};

bool MakeSharedImage(Display* display, int width, int height, SharedImage* shared) {
  const int screen = DefaultScreen(display);
  shared->image = XShmCreateImage(display, DefaultVisual(display, screen), static_cast<unsigned>(DefaultDepth(display, screen)),
                                  ZPixmap, nullptr, &shared->segment, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height));
  if (shared->image == nullptr) return false;
  const size_t bytes = static_cast<size_t>(shared->image->bytes_per_line) * static_cast<size_t>(height);
  shared->segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (shared->segment.shmid < 0) return false;
  shared->segment.shmaddr = shared->image->data = static_cast<char*>(shmat(shared->segment.shmid, nullptr, 0));
  shared->segment.readOnly = False;
  const bool attached = XShmAttach(display, &shared->segment) != 0;
  XSync(display, False);
  shmctl(shared->segment.shmid, IPC_RMID, nullptr);
  return attached;
}

// Takes events until the server reports that it has read the image.
void AwaitCompletion(Display* display, int completionType) {
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == completionType) return;
  }
}

// The rectangle each frame clears and sends, from the window's top left; zero sizes: all of it.
int putWidth = 0;
int putHeight = 0;

int RunFrames(Display* display, Window parent, int windowWidth, int windowHeight, bool overrideRedirect) {
  Window window = MakeWindow(display, parent, windowWidth, windowHeight, overrideRedirect);
  const int width = putWidth > 0 ? std::min(putWidth, windowWidth) : windowWidth;
  const int height = putHeight > 0 ? std::min(putHeight, windowHeight) : windowHeight;
  SharedImage shared;
  if (!MakeSharedImage(display, width, height, &shared)) {
    std::fprintf(stderr, "floor_program: no shared memory\n");
    return 1;
  }
  GC gc = XCreateGC(display, window, 0, nullptr);
  const int completionType = XShmGetEventBase(display) + ShmCompletion;
  const size_t bytes = static_cast<size_t>(shared.image->bytes_per_line) * static_cast<size_t>(height);
  const long start = NowMs();
  long due = start;
  long frames = 0;
  bool sent = false;
  while (stopRequested == 0) {
    const long wait = due - NowMs();
    if (wait > 0) {
      pollfd connection{ConnectionNumber(display), POLLIN, 0};
      poll(&connection, 1, static_cast<int>(wait));
      while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == completionType) sent = false;
      }
      continue;
    }
    due += kFramePeriodMs;
    if (sent) AwaitCompletion(display, completionType);
    std::memset(shared.image->data, 0, bytes);
    XShmPutImage(display, window, gc, shared.image, 0, 0, 0, 0, static_cast<unsigned>(width),
                 static_cast<unsigned>(height), True);
    XFlush(display);
    sent = true;
    ++frames;
  }
  std::printf("frames %ld ms %ld\n", frames, NowMs() - start);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  struct sigaction action {};
  action.sa_handler = OnStop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "floor_program: no display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  if (argc >= 3 && std::strcmp(argv[1], "--put") == 0) {
    if (std::sscanf(argv[2], "%dx%d", &putWidth, &putHeight) != 2 || putWidth <= 0 || putHeight <= 0) return 2;
    argc -= 2;
    argv += 2;
  }
  if (argc == 3 && std::strcmp(argv[1], "--parent") == 0) return HoldParent(display, argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--in") == 0) {
    const Window parent = std::strtoul(argv[2], nullptr, 10);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, parent, &attributes) == 0) return 1;
    return RunFrames(display, parent, attributes.width, attributes.height, false);
  }
  return RunFrames(display, DefaultRootWindow(display), DisplayWidth(display, screen), DisplayHeight(display, screen),
                   true);
}
