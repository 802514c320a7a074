// Portable dialog windows: the window of a modal dialog or message box, its controls, its loop.
#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_record.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

using Seam::LogKind;

namespace {

const char kDialogClass[] = "#32770";
const char kButtonClass[] = "BUTTON";

// A modal dialog's messages go to its dialog procedure; a message box ends on any command.
LRESULT CALLBACK DialogWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DialogState* state = FindDialogState(window);
  if (state == nullptr) return 0;
  if (state->procedure != nullptr) return state->procedure(window, message, wParam, lParam);
  if (message == WM_COMMAND) {
    state->ended = true;
    state->result = IDOK;
  }
  return 0;
}

LRESULT CALLBACK ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// The panel draws itself on the display; it only has to let go of what it drew with.
LRESULT CALLBACK MessagePanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PresenterCloseDialog(window);
  return DefWindowProcA(window, message, wParam, lParam);
}

// The part of a dialog's or control's record that both kinds fill alike.
WindowRecord DialogRecord(const char* className, const char* text, DWORD style, int width, int height,
                          WNDPROC procedure) {
  WindowRecord window;
  window.className = className;
  window.title = text != nullptr ? text : "";
  window.style = style;
  window.width = width;
  window.height = height;
  window.procedure = procedure;
  return window;
}

}  // namespace

HWND CreateDialogWindow(const char* caption, DWORD style, int width, int height, DialogState* state) {
  WindowRecord window = DialogRecord(kDialogClass, caption, style, width, height, DialogWindowProc);
  window.dialog.state = state;
  return AddWindow(window, 0, 0);
}

HWND CreateDialogControl(HWND dialog, int id, const char* text, DWORD style, int x, int y, int width, int height) {
  WindowRecord window = DialogRecord(kButtonClass, text, style, width, height, ControlWindowProc);
  window.parent = dialog;
  window.dialog.controlId = id;
  return AddWindow(window, x, y);
}

HWND CreateMessagePanel(HWND owner, int width, int height) {
  WindowRecord window = DialogRecord(kDialogClass, nullptr, WS_CHILD | WS_VISIBLE, width, height, MessagePanelProc);
  window.parent = owner;
  return AddWindow(window, 0, 0);
}

DialogState* FindDialogState(HWND dialog) {
  WindowRecord* record = FindWindowRecord(dialog);
  return record != nullptr ? record->dialog.state : nullptr;
}

bool RunModalLoop(HWND dialog) {
  MSG msg;
  // A dialog destroyed under the loop (a termination signal destroys every window) ends it too.
  for (DialogState* state = FindDialogState(dialog); state != nullptr && !state->ended && IsWindow(dialog);
       state = FindDialogState(dialog)) {
    if (GetMessageA(&msg, nullptr, 0, 0) == FALSE) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    DispatchMessageA(&msg);
  }
  return true;
}

// ---- Dialog controls ----

HWND GetDlgItem(HWND dialog, int id) {
  if (dialog == nullptr) return nullptr;
  for (HWND child : ChildrenOf(dialog)) {
    if (FindWindowRecord(child)->dialog.controlId == id) return child;
  }
  return nullptr;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  LogCall(LogKind::CheckDlgButton, reinterpret_cast<intptr_t>(dialog), id, static_cast<intptr_t>(check));
  WindowRecord* control = FindWindowRecord(GetDlgItem(dialog, id));
  if (control == nullptr) return FALSE;
  control->dialog.checkState = check;
  return TRUE;
}

// Nonzero when the window was disabled before.
BOOL EnableWindow(HWND window, BOOL enable) {
  LogCall(LogKind::EnableWindow, reinterpret_cast<intptr_t>(window), enable);
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  bool wasDisabled = !record->dialog.enabled;
  record->dialog.enabled = enable != FALSE;
  return wasDisabled ? TRUE : FALSE;
}
