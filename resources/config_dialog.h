/* Identifiers, texts and layout of the configuration dialog: read by windres and by C++ alike. */
#ifndef CUBRIX_RESOURCES_CONFIG_DIALOG_H
#define CUBRIX_RESOURCES_CONFIG_DIALOG_H

/* Plain #defines only: the resource compiler's preprocessor sees this file too. */

#define IDD_CONFIG_DIALOG 2003

#define CONFIG_DIALOG_X 8
#define CONFIG_DIALOG_Y 16
#define CONFIG_DIALOG_WIDTH 174
#define CONFIG_DIALOG_HEIGHT 79
#define CONFIG_DIALOG_CAPTION "Cubrix"
#define CONFIG_DIALOG_FONT_NAME "MS Sans Serif"
#define CONFIG_DIALOG_FONT_POINTS 8

/* The buttons share one row and one size. */
#define CONFIG_BUTTON_Y 59
#define CONFIG_BUTTON_WIDTH 40
#define CONFIG_BUTTON_HEIGHT 14

#define IDC_CONFIG_OK 1 /* IDOK */
#define CONFIG_OK_TEXT "OK"
#define CONFIG_OK_X 4

#define IDC_CONFIG_CANCEL 2 /* IDCANCEL */
#define CONFIG_CANCEL_TEXT "Cancel"
#define CONFIG_CANCEL_X 124

#define IDC_CONFIG_HELP 1000
#define CONFIG_HELP_TEXT "&Help"
#define CONFIG_HELP_X 64

/* Addressed by the dialog procedure but not carried by the template: calls on them do nothing. */
#define IDC_CONFIG_PASSWORD_OPTION 111
#define IDC_CONFIG_PASSWORD_CHECK 112

#endif
