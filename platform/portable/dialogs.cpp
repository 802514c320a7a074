// Portable message boxes and modal dialogs: on a display through the presenter, headless through hooks.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/portable/dialog_resource.h"
#include "platform/portable/dialogs.h"
#include "platform/portable/presenter.h"
#include "platform/portable/test_seam.h"
#include "platform/portable/window_record.h"
#include "platform/portable/window_table.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::LogKind;

namespace {

// Templates are registered before main() runs, so this table is constant-initialised.
constexpr int kMaxDialogResources = 8;
const DialogResource* dialogResources[kMaxDialogResources];
int dialogResourceCount;

std::function<int(const MessageBoxCall&)> messageBoxResponder;
std::function<void(HWND)> dialogDriver;

// Dialog units of the 8-point dialog font: 4 horizontal units are 6 pixels, 8 vertical are 13.
int DialogUnitsToPixelsX(int units) { return units * 6 / 4; }
int DialogUnitsToPixelsY(int units) { return units * 13 / 8; }

constexpr int kMessageBoxWidth = 360;
constexpr int kMessageBoxHeight = 110;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonMargin = 10;

const DialogResource* FindDialogResource(LPCSTR templateName) {
  uintptr_t value = reinterpret_cast<uintptr_t>(templateName);
  if (value > 0xFFFF) return nullptr;  // the program names its templates by number only
  for (int i = 0; i < dialogResourceCount; ++i) {
    if (static_cast<uintptr_t>(dialogResources[i]->id) == value) return dialogResources[i];
  }
  return nullptr;
}

// Shows the box on the display and waits, with other windows' messages still flowing. A
// termination signal meanwhile ends the box first (user.cpp finds it by its state, which has no
// dialog procedure).
int ShowMessageBoxOnDisplay(HWND owner, LPCSTR text, LPCSTR caption) {
  DialogState state;
  HWND box = CreateDialogWindow(caption, WS_POPUP | WS_CAPTION, kMessageBoxWidth, kMessageBoxHeight, &state);
  int left = (kMessageBoxWidth - kButtonWidth) / 2;
  int top = kMessageBoxHeight - kButtonHeight - kButtonMargin;
  DialogButton ok{IDOK, "OK", left, top, kButtonWidth, kButtonHeight, true};
  int result = 0;
  if (PresenterOpenDialog(box, owner, caption, text, &ok, 1, kMessageBoxWidth, kMessageBoxHeight)) {
    result = RunModalLoop(box) ? static_cast<int>(state.result) : 0;
    PresenterCloseDialog(box);
  }
  DestroyWindow(box);
  return result;
}

// Whether the window stands inside another program's window (a daemon's): there the user's
// input belongs to that program, so nobody could answer a box of ours.
bool InsideAnotherProgramsWindow(HWND window) {
  for (int depth = 0; window != nullptr; ++depth) {
    const WindowRecord* record = FindWindowRecord(window);
    if (record == nullptr) return depth > 0;  // a parent that is not ours
    window = record->parent;
  }
  return false;
}

// Inside another program's window the message is drawn within the owner, which it covers until
// the owner goes; no window of ours appears elsewhere on the screen. Nobody there can answer it,
// so it returns at once, as though dismissed.
int ShowMessageInOwner(HWND owner, LPCSTR text, LPCSTR caption) {
  int width = 0;
  int height = 0;
  if (!WindowClientSize(owner, &width, &height)) return IDOK;
  HWND panel = CreateMessagePanel(owner, width, height);
  if (panel != nullptr && !PresenterShowMessagePanel(panel, caption, text, width, height)) DestroyWindow(panel);
  return IDOK;
}

std::vector<DialogButton> ButtonsOf(const DialogResource& resource, HWND dialog) {
  std::vector<DialogButton> buttons;
  for (int i = 0; i < resource.controlCount; ++i) {
    const DialogControlResource& control = resource.controls[i];
    buttons.push_back(DialogButton{control.id, control.text, DialogUnitsToPixelsX(control.x),
                                   DialogUnitsToPixelsY(control.y), DialogUnitsToPixelsX(control.width),
                                   DialogUnitsToPixelsY(control.height), (control.style & BS_DEFPUSHBUTTON) != 0});
    CreateDialogControl(dialog, control.id, control.text, control.style, buttons.back().x, buttons.back().y,
                        buttons.back().width, buttons.back().height);
  }
  return buttons;
}

HWND FirstTabStop(const DialogResource& resource, HWND dialog) {
  for (int i = 0; i < resource.controlCount; ++i) {
    if ((resource.controls[i].style & WS_TABSTOP) != 0) return GetDlgItem(dialog, resource.controls[i].id);
  }
  return nullptr;
}

}  // namespace

// The caption and text always go to standard error too, so a headless run still tells why.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string shownCaption = caption != nullptr ? caption : "Error";
  std::string shownText = text != nullptr ? text : "";
  std::string logged = shownCaption + "\n" + shownText;
  LogCall(LogKind::MessageBox, reinterpret_cast<intptr_t>(owner), static_cast<intptr_t>(type), 0, 0, logged.c_str());
  fprintf(stderr, "%s: %s\n", shownCaption.c_str(), shownText.c_str());
  if (messageBoxResponder) return messageBoxResponder(MessageBoxCall{owner, shownText, shownCaption, type});
  if (PresenterActive() && InsideAnotherProgramsWindow(owner)) {
    return ShowMessageInOwner(owner, shownText.c_str(), shownCaption.c_str());
  }
  if (PresenterActive()) return ShowMessageBoxOnDisplay(owner, shownText.c_str(), shownCaption.c_str());
  return IDOK;
}

// Creates the dialog from its template, sends WM_INITDIALOG and runs the modal loop until
// EndDialog; -1 when the template is unknown or the dialog cannot be shown.
INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM param) {
  LogCall(LogKind::DialogBox, reinterpret_cast<intptr_t>(owner), reinterpret_cast<intptr_t>(templateName), param);
  const DialogResource* resource = FindDialogResource(templateName);
  if (resource == nullptr || procedure == nullptr || InjectedFailure(Call::DialogBox)) return -1;
  if (!PresenterActive() && !dialogDriver) {
    fprintf(stderr, "%s: a dialog needs a display (set DISPLAY)\n", resource->caption);
    return -1;
  }
  DialogState state;
  state.procedure = procedure;
  int width = DialogUnitsToPixelsX(resource->width);
  int height = DialogUnitsToPixelsY(resource->height);
  HWND dialog = CreateDialogWindow(resource->caption, resource->style, width, height, &state);
  std::vector<DialogButton> buttons = ButtonsOf(*resource, dialog);
  bool shown = !PresenterActive() || PresenterOpenDialog(dialog, owner, resource->caption, nullptr, buttons.data(),
                                                         static_cast<int>(buttons.size()), width, height);
  INT_PTR result = -1;
  if (shown) {
    SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(*resource, dialog)), param);
    if (dialogDriver && !state.ended) dialogDriver(dialog);
    bool ended = RunModalLoop(dialog);
    result = ended && state.ended ? state.result : -1;
    if (PresenterActive()) PresenterCloseDialog(dialog);
  }
  DestroyWindow(dialog);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  LogCall(LogKind::EndDialog, reinterpret_cast<intptr_t>(dialog), result);
  DialogState* state = FindDialogState(dialog);
  if (state == nullptr) return FALSE;
  state->ended = true;
  state->result = result;
  return TRUE;
}

void RegisterDialogResource(const DialogResource* resource) {
  for (int i = 0; i < dialogResourceCount; ++i) {
    if (dialogResources[i]->id == resource->id) {
      dialogResources[i] = resource;
      return;
    }
  }
  if (dialogResourceCount < kMaxDialogResources) dialogResources[dialogResourceCount++] = resource;
}

void SetMessageBoxHook(std::function<int(const MessageBoxCall&)> responder) {
  messageBoxResponder = std::move(responder);
}

void SetDialogDriverHook(std::function<void(HWND dialog)> driver) { dialogDriver = std::move(driver); }

void ResetDialogs() {
  messageBoxResponder = nullptr;
  dialogDriver = nullptr;
}
