// The configuration dialog: what its procedure does with each message, driven without a display.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/config_dialog.h"
#include "host/host_state.h"
#include "platform/test_hooks/test_hooks.h"
#include "resources/config_dialog.h"
#include "tests/host/host_test_support.h"

namespace {

using TestHooks::LogKind;

std::vector<MessageBoxCall> messageBoxes;
HWND shownDialog = nullptr;

class ConfigDialogTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    messageBoxes.clear();
    shownDialog = nullptr;
    RecordMessageBoxes(&messageBoxes);
  }

  // Shows the dialog; the driver acts on it and must leave it closed or closing.
  int Show(HWND owner, std::function<void(HWND)> driver) {
    SetDialogDriverHook([driver](HWND dialog) {
      shownDialog = dialog;
      driver(dialog);
    });
    return ShowConfiguration(owner);
  }

  std::vector<Sequence::Row> DialogTraffic() {
    NameWindow(shownDialog, "dialog");
    return Traffic({LogKind::PostMessage, LogKind::EndDialog}, shownDialog);
  }
};

// Pressing OK or Cancel, by click, Enter or Escape, arrives as the command 1 or 2.
TEST_F(ConfigDialogTest, OkAndCancelCloseByWayOfAPostedClose) {
  for (WPARAM command : {WPARAM{IDOK}, WPARAM{IDCANCEL}}) {
    SCOPED_TRACE(command);
    TestHooks::ClearCallLog();
    int result = Show(nullptr, [command](HWND dialog) { SendMessageA(dialog, WM_COMMAND, command, 0); });
    EXPECT_EQ(0, result);
    const Sequence::Row postedClose(WM_CLOSE, Sequence::kPosted | Sequence::kPinned, 0, 0);
    Sequence::ExpectSequence({postedClose, Sequence::Call("EndDialog dialog 0")}, DialogTraffic());
  }
}

TEST_F(ConfigDialogTest, SystemMenuCloseEndsTheDialogWithZero) {
  EXPECT_EQ(0, Show(nullptr, [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }));
  EXPECT_EQ(1u, TestHooks::CallLogOf(LogKind::EndDialog).size());
}

TEST_F(ConfigDialogTest, HelpButtonAndOtherCommandsLeaveTheDialogOpen) {
  int result = Show(nullptr, [](HWND dialog) {
    EXPECT_EQ(TRUE, SendMessageA(dialog, WM_COMMAND, IDC_CONFIG_HELP, 0));
    EXPECT_EQ(TRUE, SendMessageA(dialog, WM_COMMAND, 0x00010000 | IDOK, 0));  // a notification, not a click
    EXPECT_EQ(TRUE, SendMessageA(dialog, WM_COMMAND, 3, 0));
    EXPECT_TRUE(TestHooks::CallLogOf(LogKind::PostMessage).empty());
    EXPECT_TRUE(IsWindow(dialog));
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(0, result);
}

TEST_F(ConfigDialogTest, OnlyTheLow32BitsOfTheCommandCount) {
  if (sizeof(WPARAM) < 8) GTEST_SKIP() << "WPARAM has no bits above 32 here";
  WPARAM high = static_cast<WPARAM>(1) << (sizeof(WPARAM) * 8 - 1);
  EXPECT_EQ(0, Show(nullptr, [high](HWND dialog) { SendMessageA(dialog, WM_COMMAND, high | IDOK, 0); }));
  EXPECT_EQ(1u, TestHooks::CallLogOf(LogKind::EndDialog).size());
}

TEST_F(ConfigDialogTest, F1ShowsTheHelpBoxAndTheDialogStays) {
  int result = Show(nullptr, [](HWND dialog) {
    EXPECT_EQ(TRUE, SendMessageA(dialog, WM_HELP, 0, 0));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(TestHooks::CallLogOf(LogKind::EndDialog).empty());
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(0, result);
  ASSERT_EQ(1u, messageBoxes.size());
  EXPECT_EQ(shownDialog, messageBoxes[0].owner);
  EXPECT_EQ("Help!", messageBoxes[0].text);
  EXPECT_EQ("", messageBoxes[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_OK), messageBoxes[0].type);
}

struct ProfileCase {
  const char* stored;  // nullptr: no such key
  UINT check;
  intptr_t enabled;
};

TEST_F(ConfigDialogTest, OpeningAppliesThePasswordFlagToControlsTheTemplateLacks) {
  const ProfileCase cases[] = {{nullptr, 0, 0}, {"0", 0, 0}, {"1", 1, 1}, {"2", 2, 1}, {"abc", 0, 0}};
  for (const ProfileCase& test : cases) {
    SCOPED_TRACE(test.stored ? test.stored : "missing");
    if (test.stored) TestHooks::SetProfileString("control.ini", "ScreenSaver.Cubrix", "PWProtected", test.stored);
    TestHooks::ClearCallLog();
    Show(nullptr, [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); });
    std::vector<TestHooks::LoggedCall> checked = TestHooks::CallLogOf(LogKind::CheckDlgButton);
    ASSERT_EQ(1u, checked.size());
    EXPECT_EQ(IDC_CONFIG_PASSWORD_CHECK, checked[0].args[1]);
    EXPECT_EQ(static_cast<intptr_t>(test.check), checked[0].args[2]);
    std::vector<TestHooks::LoggedCall> enabled = TestHooks::CallLogOf(LogKind::EnableWindow);
    ASSERT_EQ(1u, enabled.size());
    EXPECT_EQ(0, enabled[0].args[0]);  // GetDlgItem found no control 111
    EXPECT_EQ(test.enabled, enabled[0].args[1]);
  }
}

TEST_F(ConfigDialogTest, TemplateCarriesExactlyTheThreeButtons) {
  Show(nullptr, [](HWND dialog) {
    EXPECT_NE(nullptr, GetDlgItem(dialog, IDC_CONFIG_OK));
    EXPECT_NE(nullptr, GetDlgItem(dialog, IDC_CONFIG_CANCEL));
    EXPECT_NE(nullptr, GetDlgItem(dialog, IDC_CONFIG_HELP));
    EXPECT_EQ(nullptr, GetDlgItem(dialog, IDC_CONFIG_PASSWORD_OPTION));
    EXPECT_EQ(nullptr, GetDlgItem(dialog, IDC_CONFIG_PASSWORD_CHECK));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  });
}

TEST_F(ConfigDialogTest, DialogIsTemplate2003WithTheGivenOwner) {
  hostState.moduleInstance = GetModuleHandleA(nullptr);
  HWND owner = MakeTestWindow("Display Properties");
  Show(owner, [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); });
  std::vector<TestHooks::LoggedCall> shown = TestHooks::CallLogOf(LogKind::DialogBox);
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ(reinterpret_cast<intptr_t>(owner), shown[0].args[0]);
  EXPECT_EQ(IDD_CONFIG_DIALOG, shown[0].args[1]);
  EXPECT_EQ(0, shown[0].args[2]);
}

TEST_F(ConfigDialogTest, DialogThatCannotBeMadeGivesMinusOne) {
  TestHooks::FailCall(TestHooks::Call::DialogBox);
  EXPECT_EQ(-1, Show(nullptr, [](HWND) { ADD_FAILURE() << "no dialog should exist"; }));
}

TEST_F(ConfigDialogTest, UnhandledMessagesAreLeftToTheDialogManager) {
  HWND window = MakeTestWindow("not a dialog");
  for (UINT message : {UINT{WM_PAINT}, UINT{WM_TIMER}, UINT{WM_SETCURSOR}, UINT{WM_KEYDOWN}, UINT{WM_USER}}) {
    EXPECT_EQ(FALSE, ConfigDialogProc(window, message, 0, 0)) << MessageName(message);
  }
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::PostMessage).empty());
}

}  // namespace
