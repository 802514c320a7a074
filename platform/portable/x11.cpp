// The display presenter. This build runs headless: there is no display, every window lives in memory.
#include "platform/portable/presenter.h"

namespace {
constexpr int kHeadlessWidth = 800;
constexpr int kHeadlessHeight = 600;
}  // namespace

bool PresenterOpen() { return false; }
bool PresenterActive() { return false; }
void PresenterClose() {}
int PresenterScreenWidth() { return kHeadlessWidth; }
int PresenterScreenHeight() { return kHeadlessHeight; }
bool PresenterCreateWindow(HWND, HWND, uint32_t, int, int, int, int, bool, const char*) { return false; }
void PresenterDestroyWindow(HWND) {}
bool PresenterForeignWindowExists(uint32_t) { return false; }
bool PresenterForeignClientSize(uint32_t, int*, int*) { return false; }
void PresenterShowPixels(HWND, int, int, int, int, const uint32_t*, int) {}
bool PresenterCursorPos(POINT*) { return false; }
void PresenterHideCursor(HWND) {}
bool PresenterPumpEvents(int) { return false; }
