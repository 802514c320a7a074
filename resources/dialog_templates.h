// The program's dialog templates as C++ data, for the portable platform's DialogBoxParamA.
// Built from the same definitions as the Windows resource script, so the two cannot drift apart.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "resources/config_dialog.h"

struct DialogButtonTemplate {
  int id;
  const char* text;
  uint32_t style;
  int x, y, width, height;  // dialog units
};

struct DialogTemplate {
  int resourceId;
  uint32_t style;
  int x, y, width, height;  // dialog units
  const char* caption;
  const char* fontName;
  int fontPoints;
  const DialogButtonTemplate* buttons;  // in template order, which is also the tab order
  int buttonCount;
};

constexpr uint32_t kConfigButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

inline constexpr DialogButtonTemplate kConfigDialogButtons[] = {
    {IDC_CONFIG_OK, CONFIG_OK_TEXT, kConfigButtonStyle | BS_DEFPUSHBUTTON, CONFIG_OK_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
    {IDC_CONFIG_CANCEL, CONFIG_CANCEL_TEXT, kConfigButtonStyle | BS_PUSHBUTTON, CONFIG_CANCEL_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
    {IDC_CONFIG_HELP, CONFIG_HELP_TEXT, kConfigButtonStyle | BS_PUSHBUTTON, CONFIG_HELP_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
};

inline constexpr DialogTemplate kProgramDialogs[] = {
    {IDD_CONFIG_DIALOG, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, CONFIG_DIALOG_X,
     CONFIG_DIALOG_Y, CONFIG_DIALOG_WIDTH, CONFIG_DIALOG_HEIGHT, CONFIG_DIALOG_CAPTION, CONFIG_DIALOG_FONT_NAME,
     CONFIG_DIALOG_FONT_POINTS, kConfigDialogButtons,
     static_cast<int>(sizeof kConfigDialogButtons / sizeof kConfigDialogButtons[0])},
};

// The template with the given numeric resource id, or nullptr when the program has none.
inline const DialogTemplate* FindDialogTemplate(int resourceId) {
  for (const DialogTemplate& dialog : kProgramDialogs) {
    if (dialog.resourceId == resourceId) return &dialog;
  }
  return nullptr;
}
