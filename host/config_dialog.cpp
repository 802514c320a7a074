// The configuration dialog: the saver has no settings, so it only shows itself and closes.
#include "host/config_dialog.h"

#include <cstdint>

#include "host/host_state.h"
#include "resources/config_dialog.h"

namespace {

constexpr LPCSTR kProfileSection = "ScreenSaver.Cubrix";
constexpr LPCSTR kPasswordKey = "PWProtected";
constexpr LPCSTR kProfileFile = "control.ini";

// The template carries neither control, so on the standard dialog these calls change nothing.
void ShowPasswordSetting(HWND dialog) {
  UINT protectedSetting = GetPrivateProfileIntA(kProfileSection, kPasswordKey, 0, kProfileFile);
  CheckDlgButton(dialog, IDC_CONFIG_PASSWORD_CHECK, protectedSetting);
  EnableWindow(GetDlgItem(dialog, IDC_CONFIG_PASSWORD_OPTION), protectedSetting != 0 ? TRUE : FALSE);
}

// OK and Cancel (clicked, Enter or Escape) arrive as the whole command value 1 or 2.
bool IsCloseCommand(WPARAM wParam) {
  uint32_t command = static_cast<uint32_t>(wParam);
  return command == IDOK || command == IDCANCEL;
}

}  // namespace

int ShowConfiguration(HWND owner) {
  if (!RegisterConfigControls(hostState.moduleInstance)) return 0;
  INT_PTR result = DialogBoxParamA(hostState.moduleInstance, MAKEINTRESOURCEA(IDD_CONFIG_DIALOG), owner,
                                   ConfigDialogProc, 0);
  return static_cast<int>(result);
}

BOOL RegisterConfigControls(HINSTANCE) { return TRUE; }

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowPasswordSetting(dialog);
      return TRUE;  // the dialog manager then focuses the first tab stop, OK
    case WM_COMMAND:
      if (IsCloseCommand(wParam)) PostMessageA(dialog, WM_CLOSE, 0, 0);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_HELP:
      MessageBoxA(dialog, "Help!", "", MB_OK);
      return TRUE;
    default:
      return FALSE;
  }
}
