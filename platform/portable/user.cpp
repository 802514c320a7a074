// Portable user entries: window classes, the window table, the message queue, timers, cursor.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/portable/gdi/gdi.h"
#include "platform/portable/kernel.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_record.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::HandleKind;
using Seam::LogKind;

namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  uint64_t due;
};

// Own handles lie above every X resource id (those stay below 2^29), and are never reused.
constexpr uintptr_t kWindowHandleBase = 0x20010000u;
constexpr UINT kMinimumTimerElapse = 10;  // Windows raises shorter periods to this
constexpr int kLongestWaitMs = 100;       // a waiting loop still notices signals

std::map<std::string, WNDCLASSA> classes;
std::map<std::string, std::string> classNames;  // keeps lpszClassName alive for each class
std::map<uintptr_t, WindowRecord> windows;
uintptr_t nextWindowSerial = 1;
constexpr ATOM kFirstClassAtom = 0xC000;  // class atoms live in 0xC000..0xFFFF, as on Windows
ATOM nextAtom = kFirstClassAtom;

std::deque<MSG> postedMessages;
bool quitPending = false;
int quitCode = 0;
std::vector<Timer> timers;

HWND foregroundWindow = nullptr;
POINT injectedCursor{0, 0};
bool cursorHidden = false;
bool saverRunning = false;
int screenWidthOverride = 0;
int screenHeightOverride = 0;

bool IsForeignId(HWND window) {
  uintptr_t value = reinterpret_cast<uintptr_t>(window);
  return value != 0 && value <= 0xFFFFFFFFu && PresenterForeignWindowExists(static_cast<uint32_t>(value));
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->procedure == nullptr) return 0;
  WNDPROC procedure = record->procedure;  // the record may go while the procedure runs
  return procedure(window, message, wParam, lParam);
}

LRESULT SendLogged(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LogCall(LogKind::SendMessage, reinterpret_cast<intptr_t>(window), static_cast<intptr_t>(message), static_cast<intptr_t>(wParam), lParam);
  return Deliver(window, message, wParam, lParam);
}

// A message's time and pointer position, taken when it is posted or handed out.
MSG Stamped(MSG msg) {
  msg.time = GetTickCount();
  // Where the last input left the pointer: asking the display would cost a round trip a message.
  if (!PresenterActive() || !PresenterLastPointer(&msg.pt)) GetCursorPos(&msg.pt);
  return msg;
}

// A message not stamped yet: a paint, timer or quit message until it is handed out.
MSG Unstamped(HWND window, UINT message, WPARAM wParam = 0) { return MSG{window, message, wParam, 0, 0, {0, 0}}; }

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Stamped(MSG{window, message, wParam, lParam, 0, {0, 0}});
}

bool Matches(const MSG& msg, HWND window, UINT first, UINT last) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (first == 0 && last == 0) return true;
  return msg.message >= first && msg.message <= last;
}

void ForgetWindowMessages(HWND window) {
  std::deque<MSG> kept;
  for (const MSG& msg : postedMessages) {
    if (msg.hwnd != window) kept.push_back(msg);
  }
  postedMessages.swap(kept);
  for (size_t i = timers.size(); i-- > 0;) {
    if (timers[i].window == window) {
      timers.erase(timers.begin() + static_cast<std::ptrdiff_t>(i));
      CountHandle(HandleKind::Timer, -1);
    }
  }
}

bool TakePosted(MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  for (auto it = postedMessages.begin(); it != postedMessages.end(); ++it) {
    if (!Matches(*it, window, first, last)) continue;
    *msg = *it;
    if (remove) postedMessages.erase(it);
    return true;
  }
  return false;
}

bool TakePaint(MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  for (auto& [handle, record] : windows) {
    if (!record.paintPending || !Matches(Unstamped(reinterpret_cast<HWND>(handle), WM_PAINT), window, first, last)) {
      continue;
    }
    *msg = Unstamped(reinterpret_cast<HWND>(handle), WM_PAINT);
    if (remove) record.paintPending = false;
    return true;
  }
  return false;
}

// A due timer gives one WM_TIMER; taking it starts the next period from now, so missed periods
// do not pile up.
bool TakeTimer(MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  uint64_t now = ClockNow();
  for (Timer& timer : timers) {
    if (timer.due > now || !Matches(Unstamped(timer.window, WM_TIMER), window, first, last)) continue;
    *msg = Unstamped(timer.window, WM_TIMER, timer.id);
    if (remove) timer.due = now + timer.elapse;
    return true;
  }
  return false;
}

// Posted messages first, then the quit message, then paint, then timers, as on Windows.
// Posted messages come stamped; the others are stamped here, unless only their kind is wanted.
bool TakeMessage(MSG* msg, HWND window, UINT first, UINT last, bool remove, bool stamp = true) {
  if (TakePosted(msg, window, first, last, remove)) return true;
  bool found = quitPending;
  if (quitPending) {
    *msg = Unstamped(nullptr, WM_QUIT, static_cast<WPARAM>(quitCode));
    if (remove) quitPending = false;
  } else {
    found = TakePaint(msg, window, first, last, remove) || TakeTimer(msg, window, first, last, remove);
  }
  if (found && stamp) *msg = Stamped(*msg);
  return found;
}

uint64_t NextWakeTime() {
  uint64_t wake = UINT64_MAX;
  for (const Timer& timer : timers) wake = timer.due < wake ? timer.due : wake;
  return wake;
}

// Waits for something to arrive: on the virtual clock time jumps to the next timer once the
// display (if any) has nothing; on the real clock the display is watched (or the thread sleeps)
// until then, in slices.
void WaitForMessages() {
  uint64_t wake = NextWakeTime();
  uint64_t now = ClockNow();
  if (VirtualClockActive()) {
    if (PresenterActive() && PresenterPumpEvents(wake == UINT64_MAX ? kLongestWaitMs : 0)) return;
    if (wake == UINT64_MAX && !PresenterActive()) {
      fprintf(stderr, "portable platform: the message loop would wait forever\n");
      abort();
    }
    if (wake != UINT64_MAX && wake > now) AdvanceVirtualClock(wake - now);
    return;
  }
  int timeout = wake <= now ? 0 : (wake - now < kLongestWaitMs ? static_cast<int>(wake - now) : kLongestWaitMs);
  if (PresenterActive()) {
    PresenterPumpEvents(timeout);
  } else {
    timespec pause{0, static_cast<long>(timeout) * 1000000L};
    nanosleep(&pause, nullptr);
  }
}

// The innermost message box on the display (the last made, as they nest) ends as though it had
// been dismissed; false when none is up.
bool EndShownMessageBox() {
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    DialogState* state = it->second.dialog.state;
    if (state == nullptr || state->procedure != nullptr) continue;
    state->ended = true;
    return true;
  }
  return false;
}

// A termination signal turns into window destruction at a safe point. A message box that is up
// is ended first, and the request waits until it has closed: its owner may still be in the middle
// of its creation, and ends as usual only once that is done.
void CheckTermination() {
  if (!TerminationRequested()) return;
  if (EndShownMessageBox()) {
    PostMessageA(nullptr, WM_NULL, 0, 0);  // wakes the box's loop
    return;
  }
  ClearTerminationRequest();
  DestroyAllWindows();
  // Wakes a loop that waits for a window that is now gone, such as a modal dialog's.
  PostMessageA(nullptr, WM_NULL, 0, 0);
}

void HideCursorOverWindows() {
  for (auto& [handle, window] : windows) {
    if (window.cursorHidden) continue;
    window.cursorHidden = true;
    PresenterHideCursor(reinterpret_cast<HWND>(handle));
  }
}

}  // namespace

// ---- Own window records ----

WindowRecord* FindWindowRecord(HWND window) {
  auto found = windows.find(reinterpret_cast<uintptr_t>(window));
  return found == windows.end() ? nullptr : &found->second;
}

HWND AddWindow(const WindowRecord& window, int x, int y) {
  HWND handle = reinterpret_cast<HWND>(kWindowHandleBase + 2 * nextWindowSerial);
  const bool ownParent = FindWindowRecord(window.parent) != nullptr;
  const uint32_t foreignParent = ownParent ? 0 : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window.parent));
  if (PresenterActive()) {
    const bool shown = PresenterCreateWindow(handle, ownParent ? window.parent : nullptr, foreignParent, x, y,
                                             window.width, window.height, (window.style & WS_CHILD) == 0,
                                             window.className.c_str(), window.title.c_str());
    if (!shown && foreignParent != 0) return nullptr;
  } else if (window.parent == nullptr) {
    PresenterHeadlessWindowMade();
  }
  ++nextWindowSerial;
  windows[reinterpret_cast<uintptr_t>(handle)] = window;
  CountHandle(HandleKind::Window, +1);
  return handle;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (auto& [handle, window] : windows) {
    if (window.parent == parent) children.push_back(reinterpret_cast<HWND>(handle));
  }
  return children;
}

// ---- Classes and windows ----

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr || windowClass->lpfnWndProc == nullptr) return 0;
  LogCall(LogKind::RegisterClass, static_cast<intptr_t>(windowClass->style),
          reinterpret_cast<intptr_t>(windowClass->hbrBackground), reinterpret_cast<intptr_t>(windowClass->hCursor),
          reinterpret_cast<intptr_t>(windowClass->hInstance), windowClass->lpszClassName);
  std::string name = UpperCase(windowClass->lpszClassName);
  // A full atom table refuses further classes instead of handing out atom 0, which means failure.
  if (classes.count(name) != 0 || nextAtom == 0 || InjectedFailure(Call::RegisterClass)) return 0;
  classNames[name] = windowClass->lpszClassName;
  classes[name] = *windowClass;
  classes[name].lpszClassName = classNames[name].c_str();
  classes[name].lpszMenuName = nullptr;
  return nextAtom++;
}

// Sends WM_CREATE before it returns, then WM_SHOWWINDOW for a visible window, whose first
// WM_PAINT then waits in the queue. A -1 from WM_CREATE destroys the window again.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE, LPVOID) {
  auto windowClass = classes.find(UpperCase(className != nullptr ? className : ""));
  bool parentOk = parent == nullptr || FindWindowRecord(parent) != nullptr || IsForeignId(parent);
  if (windowClass == classes.end() || !parentOk || ((style & WS_CHILD) != 0 && parent == nullptr) ||
      InjectedFailure(Call::CreateWindow)) {
    LogCall(LogKind::CreateWindow, 0, static_cast<intptr_t>(style), static_cast<intptr_t>(exStyle),
            reinterpret_cast<intptr_t>(parent), className);
    return nullptr;
  }
  WindowRecord window;
  window.className = windowClass->first;
  window.title = title != nullptr ? title : "";
  window.style = style;
  window.width = width > 0 ? width : 0;
  window.height = height > 0 ? height : 0;
  window.parent = parent;
  window.procedure = windowClass->second.lpfnWndProc;
  window.dialog.controlId = static_cast<int>(reinterpret_cast<intptr_t>(menu));
  HWND handle = AddWindow(window, x, y);
  LogCall(LogKind::CreateWindow, reinterpret_cast<intptr_t>(handle), static_cast<intptr_t>(style),
          static_cast<intptr_t>(exStyle), reinterpret_cast<intptr_t>(parent), className);
  if (handle == nullptr) return nullptr;
  if (SendLogged(handle, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (FindWindowRecord(handle) == nullptr) return nullptr;
  if ((style & WS_VISIBLE) != 0) {
    SendLogged(handle, WM_SHOWWINDOW, TRUE, 0);
    if (WindowRecord* record = FindWindowRecord(handle)) record->paintPending = true;
  }
  return FindWindowRecord(handle) != nullptr ? handle : nullptr;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LogCall(LogKind::DefWindowProc, reinterpret_cast<intptr_t>(window), static_cast<intptr_t>(message), static_cast<intptr_t>(wParam), lParam);
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return 0;
  if (message == WM_CLOSE) DestroyWindow(window);
  if (message == WM_PAINT) record->paintPending = false;
  return 0;
}

// WM_DESTROY goes to the window first, then to its children; then the window and everything
// queued for it are gone.
BOOL DestroyWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->destroying) return FALSE;
  LogCall(LogKind::DestroyWindow, reinterpret_cast<intptr_t>(window));
  record->destroying = true;
  SendLogged(window, WM_DESTROY, 0, 0);
  for (HWND child : ChildrenOf(window)) DestroyWindow(child);
  record = FindWindowRecord(window);
  if (record->dc != nullptr) DeleteDC(record->dc);
  if (PresenterActive()) PresenterDestroyWindow(window);
  ForgetWindowMessages(window);
  if (foregroundWindow == window) foregroundWindow = nullptr;
  windows.erase(reinterpret_cast<uintptr_t>(window));
  CountHandle(HandleKind::Window, -1);
  return TRUE;
}

// ---- Messages ----

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LogCall(LogKind::PostMessage, reinterpret_cast<intptr_t>(window), static_cast<intptr_t>(message), static_cast<intptr_t>(wParam), lParam);
  if (window != nullptr && FindWindowRecord(window) == nullptr) return FALSE;
  postedMessages.push_back(MakeMessage(window, message, wParam, lParam));
  return TRUE;
}

// Calls the window procedure at once, on this thread; it may send and dispatch further messages.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendLogged(window, message, wParam, lParam);
}

BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT flags) {
  if (PresenterActive()) PresenterPumpEvents(0);
  CheckTermination();
  return TakeMessage(msg, window, first, last, (flags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

namespace {

// Whether the next message to hand out is a paint or a timer, which input goes before.
bool PaintOrTimerNext(HWND window, UINT first, UINT last) {
  MSG next;
  return TakeMessage(&next, window, first, last, false, false) &&
         (next.message == WM_PAINT || next.message == WM_TIMER);
}

// GetMessageA reads the display when it waits, and otherwise only before it hands out a paint or
// a timer without having waited: input that came meanwhile goes first, as on Windows, and a timer
// that is always due cannot hold it back. Each look is a read of the connection, so a frame's
// loop makes one, in its wait.
bool TakeForGetMessage(MSG* msg, HWND window, UINT first, UINT last, bool waited) {
  if (!waited && PresenterActive() && PaintOrTimerNext(window, first, last)) PresenterPumpEvents(0);
  CheckTermination();
  return TakeMessage(msg, window, first, last, true);
}

}  // namespace

// Waits until a message arrives; 0 for the quit message, whose value is then in wParam.
BOOL GetMessageA(MSG* msg, HWND window, UINT first, UINT last) {
  bool waited = false;
  while (!TakeForGetMessage(msg, window, first, last, waited)) {
    WaitForMessages();
    waited = true;
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  LogCall(LogKind::DispatchMessage, reinterpret_cast<intptr_t>(msg->hwnd), static_cast<intptr_t>(msg->message),
          static_cast<intptr_t>(msg->wParam), msg->lParam);
  return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
  quitPending = true;
  quitCode = exitCode;
}

// ---- Timers ----

// Timers belong to a window here: the program never asks for a thread timer.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC) {
  LogCall(LogKind::SetTimer, reinterpret_cast<intptr_t>(window), static_cast<intptr_t>(id), static_cast<intptr_t>(elapse));
  if (FindWindowRecord(window) == nullptr || InjectedFailure(Call::SetTimer)) return 0;
  if (elapse < kMinimumTimerElapse) elapse = kMinimumTimerElapse;
  uint64_t due = ClockNow() + elapse;
  for (Timer& timer : timers) {
    if (timer.window == window && timer.id == id) {
      timer.elapse = elapse;
      timer.due = due;
      return id != 0 ? id : 1;
    }
  }
  timers.push_back(Timer{window, id, elapse, due});
  CountHandle(HandleKind::Timer, +1);
  return id != 0 ? id : 1;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  LogCall(LogKind::KillTimer, reinterpret_cast<intptr_t>(window), static_cast<intptr_t>(id));
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->window != window || it->id != id) continue;
    timers.erase(it);
    CountHandle(HandleKind::Timer, -1);
    return TRUE;
  }
  return FALSE;
}

// ---- Window queries ----

BOOL GetClientRect(HWND window, RECT* rect) {
  int width = 0;
  int height = 0;
  if (rect == nullptr || !WindowClientSize(window, &width, &height)) return FALSE;
  *rect = RECT{0, 0, width, height};
  return TRUE;
}

int GetSystemMetrics(int index) {
  if (index == SM_CXSCREEN) return screenWidthOverride > 0 ? screenWidthOverride : PresenterScreenWidth();
  if (index == SM_CYSCREEN) return screenHeightOverride > 0 ? screenHeightOverride : PresenterScreenHeight();
  return 0;
}

// This program's own top-level windows first; then, on a display, those of other programs there
// (a second saver finds the first that way), by their X ids.
HWND FindWindowA(LPCSTR className, LPCSTR title) {
  for (auto& [handle, window] : windows) {
    if (window.parent != nullptr || window.destroying) continue;
    if (className != nullptr && window.className != UpperCase(className)) continue;
    if (title != nullptr && UpperCase(window.title) != UpperCase(title)) continue;
    return reinterpret_cast<HWND>(handle);
  }
  const uint32_t foreign = PresenterActive() ? PresenterFindForeignWindow(className, title) : 0;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(foreign));
}

BOOL IsWindow(HWND window) { return FindWindowRecord(window) != nullptr || IsForeignId(window) ? TRUE : FALSE; }

BOOL SetForegroundWindow(HWND window) {
  LogCall(LogKind::SetForegroundWindow, reinterpret_cast<intptr_t>(window));
  if (FindWindowRecord(window) != nullptr) {
    foregroundWindow = window;
    return TRUE;
  }
  // Another program's window in front means none of ours is.
  const uint32_t foreign = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
  if (!IsForeignId(window) || !PresenterBringForeignForward(foreign)) return FALSE;
  foregroundWindow = nullptr;
  return TRUE;
}

HWND GetForegroundWindow() { return foregroundWindow; }

HWND GetParent(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->parent : nullptr;
}

// ---- Device contexts ----

// Every window keeps one context (as with CS_OWNDC): GetDC hands out the same one each time, its
// surface following the client size; it goes with the window.
HDC GetDC(HWND window) {
  if (InjectedFailure(Call::GetDC)) return nullptr;
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return nullptr;
  return SizeWindowDc(&record->dc, window, record->width, record->height) ? record->dc : nullptr;
}

int ReleaseDC(HWND window, HDC dc) {
  const WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && dc != nullptr && record->dc == dc ? 1 : 0;
}

// ---- Cursor, icons, system parameters ----

BOOL GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  if (!PresenterActive() || !PresenterCursorPos(point)) *point = injectedCursor;
  return TRUE;
}

// The program has no cursors of its own: a null cursor hides the pointer, anything else shows it.
HCURSOR SetCursor(HCURSOR cursor) {
  LogCall(LogKind::SetCursor, reinterpret_cast<intptr_t>(cursor));
  cursorHidden = cursor == nullptr;
  if (cursorHidden && PresenterActive()) HideCursorOverWindows();
  return nullptr;
}

HICON LoadIconA(HINSTANCE, LPCSTR) { return nullptr; }

// Only the screen-saver-running flag; the previous state goes to the 32-bit place given.
BOOL SystemParametersInfoA(UINT action, UINT param, PVOID data, UINT) {
  LogCall(LogKind::SystemParametersInfo, static_cast<intptr_t>(action), static_cast<intptr_t>(param));
  if (action != SPI_SCREENSAVERRUNNING) return FALSE;
  if (data != nullptr) {
    DWORD previous = saverRunning ? 1u : 0u;
    memcpy(data, &previous, sizeof previous);
  }
  saverRunning = param != 0;
  return TRUE;
}

// ---- The window table for the other areas ----

bool IsOwnWindow(HWND window) { return FindWindowRecord(window) != nullptr; }

bool WindowClientSize(HWND window, int* width, int* height) {
  if (WindowRecord* record = FindWindowRecord(window)) {
    *width = record->width;
    *height = record->height;
    return true;
  }
  uintptr_t value = reinterpret_cast<uintptr_t>(window);
  return value != 0 && value <= 0xFFFFFFFFu && PresenterForeignClientSize(static_cast<uint32_t>(value), width, height);
}

void DestroyChildrenOfForeign(uint32_t foreignId) {
  for (HWND child : ChildrenOf(reinterpret_cast<HWND>(static_cast<uintptr_t>(foreignId)))) DestroyWindow(child);
}

void DestroyAllWindows() {
  std::vector<HWND> topLevel;
  for (auto& [handle, window] : windows) {
    if (FindWindowRecord(window.parent) == nullptr) topLevel.push_back(reinterpret_cast<HWND>(handle));
  }
  for (HWND window : topLevel) DestroyWindow(window);
}

// ---- Inputs in place of the system's ----

void SetInjectedCursor(POINT position) { injectedCursor = position; }
bool PointerHidden() { return cursorHidden; }
bool SaverRunningFlag() { return saverRunning; }

void SetScreenSizeOverride(int width, int height) {
  screenWidthOverride = width;
  screenHeightOverride = height;
}

void ResetUser() {
  DestroyAllWindows();
  windows.clear();
  classes.clear();
  nextAtom = kFirstClassAtom;
  classNames.clear();
  postedMessages.clear();
  quitPending = false;
  quitCode = 0;
  timers.clear();
  foregroundWindow = nullptr;
  injectedCursor = POINT{0, 0};
  cursorHidden = false;
  saverRunning = false;
  screenWidthOverride = 0;
  screenHeightOverride = 0;
}
