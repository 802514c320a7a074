// Test hooks that stand in for the system's inputs (version, command line, modules, drive, pointer,
// screen, message boxes, dialogs) and read back what the program set (cursor, saver flag, controls).
#include "platform/portable/hooks_internal.h"
#include "platform/portable/kernel_internal.h"
#include "platform/portable/window_record.h"
#include "platform/test_hooks.h"

void TestHooks::SetWin95(bool win95) { SetWin95Override(win95 ? Win95Override::Yes : Win95Override::No); }

void TestHooks::SetCommandLine(const char* commandLine) { SetCommandLineText(commandLine); }

void TestHooks::RegisterModule(const std::string& name, const std::vector<ModuleEntry>& entries) {
  RegisterInProcessModule(name, entries);
}

void TestHooks::RemoveModule(const std::string& name) { RemoveInProcessModule(name); }

void TestHooks::SetDriveFolder(const std::string& path) { SetDriveOverride(path); }

std::string TestHooks::DriveFolder() { return ::DriveFolder(); }

void TestHooks::SetCursorPosition(int x, int y) { SetInjectedCursor(POINT{x, y}); }

bool TestHooks::CursorHidden() { return PointerHidden(); }

void TestHooks::SetScreenSize(int width, int height) { SetScreenSizeOverride(width, height); }

bool TestHooks::ScreenSaverRunning() { return SaverRunningFlag(); }

void TestHooks::SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> responder) {
  SetMessageBoxHook(std::move(responder));
}

void TestHooks::SetDialogDriver(std::function<void(HWND dialog)> driver) { SetDialogDriverHook(std::move(driver)); }

UINT TestHooks::DialogButtonState(HWND dialog, int id) {
  WindowRecord* control = FindWindowRecord(GetDlgItem(dialog, id));
  return control != nullptr ? control->dialog.checkState : BST_UNCHECKED;
}

bool TestHooks::WindowEnabled(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && record->dialog.enabled;
}
