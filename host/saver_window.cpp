// The saver window: its class, the full-screen or preview window, the message loop, and the window
// procedure that stands in front of the scene.
#include "host/saver_window.h"

#include "host/default_handler.h"
#include "host/entry_cast.h"
#include "host/host_state.h"
#include "host/password_support.h"
#include "scene/scene_proc.h"

namespace {

constexpr UINT kSaverClassStyle = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
constexpr DWORD kFullScreenStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kPreviewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN;
constexpr WORD kClassIconId = 100;  // asked for, but the program carries no icon, so the class has none
constexpr int kWindowFailed = -1;

struct WindowPlan {
  DWORD exStyle;
  DWORD style;
  LPCSTR title;
  int width;
  int height;
};

WNDCLASSA SaverClass() {
  WNDCLASSA saverClass{};
  saverClass.style = kSaverClassStyle;
  saverClass.lpfnWndProc = SaverWindowProc;
  saverClass.hInstance = hostState.moduleInstance;
  saverClass.hIcon = LoadIconA(hostState.moduleInstance, MAKEINTRESOURCEA(kClassIconId));
  saverClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  saverClass.lpszClassName = kSaverClassName;
  return saverClass;
}

WindowPlan PreviewPlan(HWND parent) {
  RECT client{};
  GetClientRect(parent, &client);
  return {0, kPreviewStyle, kPreviewTitle, client.right, client.bottom};
}

WindowPlan FullScreenPlan() {
  return {WS_EX_TOPMOST, kFullScreenStyle, kFullScreenTitle, GetSystemMetrics(SM_CXSCREEN),
          GetSystemMetrics(SM_CYSCREEN)};
}

// A full-screen saver that already runs is brought to the front instead of starting another.
bool BroughtRunningSaverForward() {
  HWND running = FindWindowA(kSaverClassName, kFullScreenTitle);
  if (!running || !IsWindow(running)) return false;
  SetForegroundWindow(running);
  return true;
}

// GetMessageA answers -1 on failure; stopping there rather than looping on it keeps a broken
// queue from spinning for ever.
int RunMessageLoop() {
  MSG message{};
  BOOL status;
  while ((status = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return status == 0 ? static_cast<int>(message.wParam) : kWindowFailed;
}

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hostState.previewMode) return PreviewForward(window, message, wParam, lParam);
  return SceneProc(window, message, wParam, lParam);
}

// Input methods would draw their own windows over the saver, so the context is detached while
// it runs. IMM32.DLL is only looked up: loading it just for this would be pointless.
void DetachInputMethod(HWND window) {
  hostState.imeLibrary = GetModuleHandleA("IMM32.DLL");
  if (!hostState.imeLibrary) return;
  hostState.imeAssociate =
      EntryCast<ImmAssociateContextEntry>(GetProcAddress(hostState.imeLibrary, "ImmAssociateContext"));
  if (hostState.imeAssociate) hostState.savedImeContext = hostState.imeAssociate(window, nullptr);
}

void RestoreInputMethod(HWND window) {
  if (hostState.imeLibrary && hostState.imeAssociate && hostState.savedImeContext) {
    hostState.imeAssociate(window, hostState.savedImeContext);
  }
}

// Help and context-menu requests in a preview belong to the dialog that hosts it.
void ForwardToParent(HWND window, UINT message, LPARAM lParam) {
  HWND parent = GetParent(window);
  if (parent && IsWindow(parent)) PostMessageA(parent, message, reinterpret_cast<WPARAM>(parent), lParam);
}

bool IsSwallowedCommand(WPARAM command) {
  return command == SC_NEXTWINDOW || command == SC_PREVWINDOW || command == SC_SCREENSAVE;
}

}  // namespace

int RunSaver(HWND parent) {
  WNDCLASSA saverClass = SaverClass();
  WindowPlan plan;
  if (parent) {
    plan = PreviewPlan(parent);
    hostState.previewMode = true;
  } else {
    plan = FullScreenPlan();
    if (BroughtRunningSaverForward()) return 0;
    LoadPasswordSupport();
  }
  HWND window = nullptr;
  if (RegisterClassA(&saverClass)) {
    window = CreateWindowExA(plan.exStyle, kSaverClassName, plan.title, plan.style, 0, 0, plan.width, plan.height,
                             parent, nullptr, hostState.moduleInstance, nullptr);
  }
  hostState.saverWindow = window;
  int result = kWindowFailed;
  if (hostState.saverWindow) {
    if (!hostState.previewMode) SetForegroundWindow(hostState.saverWindow);
    result = RunMessageLoop();
  }
  UnloadPasswordSupport();
  return result;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      DetachInputMethod(window);
      GetCursorPos(&hostState.cursorAnchor);
      if (!hostState.previewMode) HidePointer();
      break;
    case WM_DESTROY:
      RestoreInputMethod(window);
      PostQuitMessage(0);
      break;
    case WM_SETTEXT:
      return 0;
    case WM_PAINT:
      if (hostState.closeApproved) return DefWindowProcA(window, message, wParam, lParam);
      if (!hostState.previewMode) HidePointer();
      break;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (!hostState.previewMode) break;
      ForwardToParent(window, message, lParam);
      return 1;
    case WM_SYSCOMMAND:
      if (!hostState.previewMode && IsSwallowedCommand(wParam)) return 0;
      break;
    case WM_TIMER:
      if (hostState.closeApproved) return 0;  // closing: no further frame is drawn
      Sleep(0);
      break;
    default:
      if (IsInputMessage(message) && hostState.closeApproved) return DefWindowProcA(window, message, wParam, lParam);
      break;
  }
  return PassOn(window, message, wParam, lParam);
}

LRESULT PreviewForward(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return SceneProc(window, message, wParam, lParam);
}
