// Tests of headless message boxes and modal dialogs, driven through the hooks.
#include <csignal>
#include <string>
#include <vector>

#include "platform/portable/dialog_resource.h"
#include "platform/portable/signals.h"
#include "platform/win32.h"
#include "tests/support/platform_test.h"

using TestHooks::HandleKind;
using TestHooks::LogKind;

namespace {

constexpr int kTemplateId = 4321;
constexpr int kHelpButton = 1000;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

const DialogControlResource kButtons[] = {
    {IDOK, "OK", kButton | BS_DEFPUSHBUTTON, 4, 59, 40, 14},
    {kHelpButton, "&Help", kButton, 64, 59, 40, 14},
    {IDCANCEL, "Cancel", kButton, 124, 59, 40, 14},
};
const DialogResource kTestDialog = {kTemplateId, "Test", WS_POPUP | WS_CAPTION, 8, 16, 174, 79, kButtons, 3};

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> seen;

// Ends with the command's id on OK and Cancel, shows a box on F1.
INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  seen.push_back(Seen{message, wParam, lParam});
  if (message == WM_COMMAND && (wParam == IDOK || wParam == IDCANCEL)) {
    EndDialog(dialog, static_cast<INT_PTR>(wParam) + 100);
    return TRUE;
  }
  if (message == WM_HELP) {
    MessageBoxA(dialog, "Help!", "", MB_OK);
    return TRUE;
  }
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

class DialogsTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    RegisterDialogResource(&kTestDialog);
    seen.clear();
  }
  INT_PTR Show(LPARAM param = 0) {
    return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kTemplateId), nullptr, TestDialogProc, param);
  }
};

TEST_F(DialogsTest, MessageBoxAsksTheResponderAndLogsCaptionAndText) {
  std::vector<MessageBoxCall> calls;
  RecordMessageBoxes(&calls, IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Could not open file", "LoadObject", MB_OK | MB_ICONWARNING), IDCANCEL);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].caption, "LoadObject");
  EXPECT_EQ(calls[0].text, "Could not open file");
  EXPECT_EQ(calls[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  auto logged = TestHooks::CallLogOf(LogKind::MessageBox);
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].text, "LoadObject\nCould not open file");
}

TEST_F(DialogsTest, MessageBoxWithoutResponderOrDisplayAnswersOk) {
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
}

TEST_F(DialogsTest, DriverEndsTheDialogThroughAPostedCommand) {
  HWND shown = nullptr;
  SetDialogDriverHook([&shown](HWND dialog) {
    shown = dialog;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(Show(77), IDCANCEL + 100);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(seen[0].lParam, 77);
  EXPECT_NE(seen[0].wParam, 0u);  // the first tab stop: OK
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_COMMAND));
  EXPECT_FALSE(IsWindow(shown));
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(DialogsTest, ControlsOfTheTemplateAreItsItems) {
  SetDialogDriverHook([](HWND dialog) {
    EXPECT_NE(GetDlgItem(dialog, IDOK), nullptr);
    EXPECT_NE(GetDlgItem(dialog, kHelpButton), nullptr);
    EXPECT_EQ(GetDlgItem(dialog, 112), nullptr);
    EXPECT_TRUE(CheckDlgButton(dialog, IDOK, BST_CHECKED));
    EXPECT_EQ(TestHooks::DialogButtonState(dialog, IDOK), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(CheckDlgButton(dialog, 112, BST_CHECKED));
    EXPECT_FALSE(EnableWindow(GetDlgItem(dialog, 111), FALSE));
    HWND help = GetDlgItem(dialog, kHelpButton);
    EXPECT_FALSE(EnableWindow(help, FALSE));  // was enabled
    EXPECT_FALSE(TestHooks::WindowEnabled(help));
    EXPECT_TRUE(EnableWindow(help, TRUE));  // was disabled
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(Show(), IDOK + 100);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(DialogsTest, HelpShowsABoxAndTheDialogStaysOpen) {
  std::vector<MessageBoxCall> boxes;
  RecordMessageBoxes(&boxes);
  SetDialogDriverHook([](HWND dialog) {
    PostMessageA(dialog, WM_HELP, 0, 0);
    PostMessageA(dialog, WM_COMMAND, kHelpButton, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(Show(), IDOK + 100);
  EXPECT_EQ(TextsOf(boxes), std::vector<std::string>{"Help!"});
  std::vector<UINT> messages;
  for (const Seen& each : seen) messages.push_back(each.message);
  EXPECT_EQ(messages, (std::vector<UINT>{WM_INITDIALOG, WM_HELP, WM_COMMAND, WM_COMMAND, WM_DESTROY}));
}

TEST_F(DialogsTest, OtherWindowsKeepTheirTimersWhileTheDialogRuns) {
  WNDCLASSA windowClass{};
  static int ticks;
  ticks = 0;
  windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_TIMER) ++ticks;
    return DefWindowProcA(window, message, wParam, lParam);
  };
  windowClass.lpszClassName = "Ticking";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "Ticking", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  SetTimer(window, 1, 50, nullptr);
  SetDialogDriverHook([](HWND dialog) { SetTimer(dialog, 5, 120, nullptr); });
  seen.clear();
  // The dialog's own timer at 120 ms ends it through the procedure below.
  auto endOnTimer = [](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
    if (message == WM_TIMER && wParam == 5) EndDialog(dialog, 9);
    return TRUE;
  };
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kTemplateId), window, endOnTimer, 0), 9);
  EXPECT_EQ(ticks, 2);
  DestroyWindow(window);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Timer), 0);
}

TEST_F(DialogsTest, QuitDuringTheDialogEndsItAndIsPostedAgain) {
  SetDialogDriverHook([](HWND) { PostQuitMessage(4); });
  EXPECT_EQ(Show(), -1);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 4u);
}

TEST_F(DialogsTest, DialogsThatCannotBeShownGiveMinusOne) {
  EXPECT_EQ(Show(), -1);  // headless without a driver
  SetDialogDriverHook([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, TestDialogProc, 0), -1);
  EXPECT_EQ(DialogBoxParamA(nullptr, "NAMED", nullptr, TestDialogProc, 0), -1);
  TestHooks::FailCall(TestHooks::Call::DialogBox);
  EXPECT_EQ(Show(), -1);
  EXPECT_EQ(Show(), IDOK + 100);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(DialogsTest, TerminationSignalEndsAnOpenDialogInsteadOfWaitingForever) {
  InstallTerminationHandler();
  SetDialogDriverHook([](HWND) { raise(SIGTERM); });
  EXPECT_EQ(Show(), -1);
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
}

}  // namespace
