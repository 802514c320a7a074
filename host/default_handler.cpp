// Default message handling of the saver window: input becomes close requests, and a close request
// on the Windows 95 platform must first pass the system's password verification.
#include "host/default_handler.h"

#include "host/host_state.h"

namespace {

constexpr int kTimerMessagesDropped = 2;  // timer ticks removed before the password dialog opens

void RequestClose(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

// In 64 bits, so the sum of two distances can never wrap.
uint64_t Distance(LONG a, LONG b) {
  return a > b ? static_cast<uint64_t>(int64_t{a} - b) : static_cast<uint64_t>(int64_t{b} - a);
}

// Closes on a move of more than moveThreshold pixels (x plus y distance) from the anchor; smaller
// moves leave the anchor in place so that they add up. The message's own coordinates are not used.
// A position that cannot be read is no evidence of a move, so it neither closes nor re-anchors.
void CheckPointerMove(HWND window) {
  POINT position{};
  if (!GetCursorPos(&position)) return;
  uint64_t distance = Distance(position.x, hostState.cursorAnchor.x) + Distance(position.y, hostState.cursorAnchor.y);
  if (distance > hostState.moveThreshold) {
    RequestClose(window);
    hostState.cursorAnchor = position;
  }
}

LRESULT HandleClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hostState.win95Platform && !CheckPasswordOnClose(window)) {
    // Movement is measured afresh from where the pointer is now.
    GetCursorPos(&hostState.cursorAnchor);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT AnswerVerifyRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!hostState.win95Platform) return DefWindowProcA(window, message, wParam, lParam);
  if (hostState.verifyEntry == nullptr) return 1;
  return hostState.verifyEntry(window);
}

// Input while the saver runs and no password check is under way.
LRESULT HandleInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam != 0) HidePointer();
      break;
    case WM_ACTIVATEAPP:
      if (wParam == 0) RequestClose(window);
      break;
    case WM_SETCURSOR:
      HidePointer();
      return 1;
    case WM_MOUSEMOVE:
      CheckPointerMove(window);
      break;
    default:
      if (IsInputMessage(message)) RequestClose(window);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

LRESULT HostDefaultHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // A preview never closes on input; after an approved close only the default handling runs.
  if (hostState.previewMode || hostState.closeApproved) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_CLOSE) return HandleClose(window, message, wParam, lParam);
  // Answered before the check below, since it arrives while passwordCheckActive is set.
  if (message == kVerifyRequest) return AnswerVerifyRequest(window, message, wParam, lParam);
  if (hostState.passwordCheckActive) return DefWindowProcA(window, message, wParam, lParam);
  return HandleInput(window, message, wParam, lParam);
}

BOOL CheckPasswordOnClose(HWND window) {
  if (hostState.passwordCheckActive || hostState.closeApproved) return FALSE;
  if (hostState.verifyEntry == nullptr) {
    hostState.closeApproved = true;
    return TRUE;
  }
  DWORD now = GetTickCount();
  if (hostState.lastCheckEnd != kNoCheckYet && ElapsedTicks(hostState.lastCheckEnd, now) < kRecheckDelayMs) {
    return FALSE;
  }
  hostState.passwordCheckActive = true;
  // Ticks queued while the dialog was coming up would otherwise be drawn the moment it opens.
  for (int i = 0; i < kTimerMessagesDropped; ++i) {
    MSG dropped;
    PeekMessageA(&dropped, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD);
  }
  hostState.closeApproved = SendMessageA(window, kVerifyRequest, 0, 0) != 0;
  hostState.passwordCheckActive = false;
  if (!hostState.closeApproved) HidePointer();
  hostState.lastCheckEnd = GetTickCount();
  return hostState.closeApproved ? TRUE : FALSE;
}

bool IsInputMessage(UINT message) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      return true;
    default:
      return false;
  }
}

void HidePointer() { SetCursor(nullptr); }

DWORD ElapsedTicks(DWORD earlier, DWORD later) { return later - earlier; }
