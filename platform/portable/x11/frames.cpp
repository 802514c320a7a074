// The X11 presenter's frame images: shared-memory or plain images of a window's pixels, sent to
// the server and, for shared ones, awaited until the server has read them. A window's frame image
// is normally the GDI's surface of the window itself, so showing a frame copies nothing.
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

#include "platform/portable/gdi/pixel_memory.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/x11/x11.h"

#include <X11/Xutil.h>

namespace {

void ReleaseImage(Frame& frame) {
  if (frame.shared) {
    XShmDetach(x11.display, &frame.shm);
    XSync(x11.display, False);
    shmdt(frame.shm.shmaddr);
  } else {
    UnmapPixels(reinterpret_cast<uint32_t*>(frame.image->data), frame.plainPixels);
  }
  frame.image->data = nullptr;
  XDestroyImage(frame.image);
  frame = Frame();
}

bool AttachSharedFrame(Frame& frame, int width, int height) {
  Visual* visual = DefaultVisual(x11.display, x11.screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(x11.display, x11.screen));
  frame.image = XShmCreateImage(x11.display, visual, depth, ZPixmap, nullptr, &frame.shm, static_cast<unsigned>(width),
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
  XSync(x11.display, False);
  x11.lastErrorCode = 0;
  const bool attached = XShmAttach(x11.display, &frame.shm) && (XSync(x11.display, False), x11.lastErrorCode == 0);
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
  Visual* visual = DefaultVisual(x11.display, x11.screen);
  const unsigned depth = static_cast<unsigned>(DefaultDepth(x11.display, x11.screen));
  frame.image = XCreateImage(x11.display, visual, depth, ZPixmap, 0, nullptr, static_cast<unsigned>(width),
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

// Which completions are awaited: those of puts from one segment to one window.
struct Completion {
  Window xid;
  ShmSeg segment;
};

Bool IsCompletionFor(Display*, XEvent* event, XPointer awaited) {
  const auto* completion = reinterpret_cast<const XShmCompletionEvent*>(event);
  const auto* wanted = reinterpret_cast<const Completion*>(awaited);
  const bool done = event->type == x11.completionType && completion->drawable == wanted->xid &&
                    completion->shmseg == wanted->segment;
  return done ? True : False;
}

}  // namespace

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

void ReleaseFrames(NativeWindow& native) {
  native.held.clear();
  if (native.frames[0].image == nullptr && native.frames[1].image == nullptr) return;
  x11.sink->frameReleased(native.window);
  for (Frame& frame : native.frames) {
    if (frame.image != nullptr) ReleaseImage(frame);
  }
  native.shownFrame = 0;
}

bool EnsureFrame(NativeWindow& native, int index) {
  Frame& frame = native.frames[index];
  if (frame.image != nullptr) return true;
  if (native.width <= 0 || native.height <= 0 || native.width > kMaxWindowSide || native.height > kMaxWindowSide) {
    return false;
  }
  if (!(x11.offersSharedMemory && SwitchOn(Seam::Switch::SharedMemory) && AttachSharedFrame(frame, native.width, native.height)) &&
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
  const PixelLayout layout = frame.direct ? PixelLayout{} : LayoutOf(DefaultVisual(x11.display, x11.screen));
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
    // Held until PresenterFlush, so that one drawing call's rectangles make one batch.
    native.held.push_back(HeldPut{native.shownFrame, x, y, width, height});
  } else {
    XPutImage(x11.display, native.xid, native.gc, frame.image, x, y, x, y, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    x11.unflushed = true;
  }
}

void SendHeldPuts(NativeWindow& native) {
  if (native.held.empty()) return;
  size_t lastOf[2] = {0, 0};
  bool sent[2] = {false, false};
  for (size_t i = 0; i < native.held.size(); ++i) {
    lastOf[native.held[i].frame] = i;
    sent[native.held[i].frame] = true;
  }
  for (size_t i = 0; i < native.held.size(); ++i) {
    const HeldPut& put = native.held[i];
    // An image must have been read before it is drawn into again. The server handles requests in
    // order, so the completion of an image's last put says that all of them were read; the other
    // image may meanwhile be drawn into without waiting for this one.
    const bool last = i == lastOf[put.frame];
    XShmPutImage(x11.display, native.xid, native.gc, native.frames[put.frame].image, put.x, put.y, put.x, put.y,
                 static_cast<unsigned>(put.width), static_cast<unsigned>(put.height), last ? True : False);
  }
  native.held.clear();
  for (int index = 0; index < 2; ++index) {
    if (sent[index]) ++native.frames[index].unread;
  }
  x11.unflushed = true;
}

void CountCompletion(NativeWindow& native, const XShmCompletionEvent& completion) {
  for (Frame& frame : native.frames) {
    if (frame.shared && frame.shm.shmseg == completion.shmseg && frame.unread > 0) --frame.unread;
  }
}

void AwaitFrameRead(NativeWindow& native, Frame& frame) {
  if (frame.unread == 0) return;
  if (native.xid == 0) {
    frame.unread = 0;  // a window that is gone reports nothing more
    return;
  }
  Completion awaited{native.xid, frame.shm.shmseg};
  XEvent event;
  // A frame ago the event was mostly in already; taking it needs no round trip.
  while (frame.unread > 0 && XCheckIfEvent(x11.display, &event, IsCompletionFor, reinterpret_cast<XPointer>(&awaited))) {
    --frame.unread;
  }
  if (frame.unread == 0) return;
  // Once the server answers, it has handled every put before; a put it refused (the window gone)
  // reports no completion, so none is waited for beyond this.
  XSync(x11.display, False);
  while (XCheckIfEvent(x11.display, &event, IsCompletionFor, reinterpret_cast<XPointer>(&awaited))) {
  }
  frame.unread = 0;
}
