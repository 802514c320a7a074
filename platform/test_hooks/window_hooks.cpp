// Test hooks that read what a dialog procedure set on its controls.
#include "platform/portable/window_record.h"
#include "platform/test_hooks/test_hooks.h"

UINT TestHooks::DialogButtonState(HWND dialog, int id) {
  WindowRecord* control = FindWindowRecord(GetDlgItem(dialog, id));
  return control != nullptr ? control->dialog.checkState : BST_UNCHECKED;
}

bool TestHooks::WindowEnabled(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && record->dialog.enabled;
}
