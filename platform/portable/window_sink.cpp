// The sink through which the presenter's news reaches the Win32 areas: window messages, windows
// that went, frame images let go of, and the loss of the display.
#include "platform/portable/gdi/gdi.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

namespace {

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) { PostMessageA(window, message, wParam, lParam); }

void Command(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void WindowGone(HWND window) { DestroyWindow(window); }

}  // namespace

const PresenterSink kWindowSink{Post, Command, WindowGone, DestroyChildrenOfForeign, WindowFrameReleased,
                                RequestTermination};
