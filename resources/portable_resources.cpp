// The program's resources for the portable platform: the configuration dialog template, made
// known under its id before the program starts, as a resource module would be on Windows.
#include "platform/portable/dialog_resource.h"
#include "resources/config_dialog.h"

namespace {

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

const DialogControlResource kConfigButtons[] = {
    {IDC_CONFIG_OK, CONFIG_OK_TEXT, kButtonStyle | BS_DEFPUSHBUTTON, CONFIG_OK_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
    {IDC_CONFIG_CANCEL, CONFIG_CANCEL_TEXT, kButtonStyle | BS_PUSHBUTTON, CONFIG_CANCEL_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
    {IDC_CONFIG_HELP, CONFIG_HELP_TEXT, kButtonStyle | BS_PUSHBUTTON, CONFIG_HELP_X, CONFIG_BUTTON_Y,
     CONFIG_BUTTON_WIDTH, CONFIG_BUTTON_HEIGHT},
};

const DialogResource kConfigDialog = {
    IDD_CONFIG_DIALOG,
    CONFIG_DIALOG_CAPTION,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    CONFIG_DIALOG_X,
    CONFIG_DIALOG_Y,
    CONFIG_DIALOG_WIDTH,
    CONFIG_DIALOG_HEIGHT,
    kConfigButtons,
    static_cast<int>(sizeof kConfigButtons / sizeof kConfigButtons[0]),
};

const bool kRegistered = (RegisterDialogResource(&kConfigDialog), true);

}  // namespace
