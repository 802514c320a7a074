// Start-up: each kind of argument text runs its mode, and that mode's result is the exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_state.h"
#include "host/startup.h"
#include "platform/test_hooks/test_hooks.h"
#include "tests/host/host_test_support.h"

namespace {

using TestHooks::LogKind;

HINSTANCE const kInstance = reinterpret_cast<HINSTANCE>(0x400000);

void CloseAtOnce(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

DWORD WINAPI ChangeStandIn(LPCSTR, HWND, DWORD, DWORD) { return 0; }

class DispatchTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    FreshStart();
  }

  void FreshStart() {
    FreshPlatform();
    sceneDouble.handOnToDefault = true;
    sceneDouble.onCreate = CloseAtOnce;
    SetDialogDriverHook([](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDOK, 0); });
  }

  std::string Decimal(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

  bool SaverWindowMade() { return !TestHooks::CallLogOf(LogKind::CreateWindow).empty(); }
  intptr_t DialogOwner() {
    std::vector<TestHooks::LoggedCall> shown = TestHooks::CallLogOf(LogKind::DialogBox);
    return shown.size() == 1 ? shown[0].args[0] : -1;
  }
};

TEST_F(DispatchTest, RecordsTheInstanceAndThePlatform) {
  SetWin95Override(Win95Override::Yes);
  DispatchCommandLine(kInstance, "/x");
  EXPECT_EQ(kInstance, hostState.moduleInstance);
  EXPECT_TRUE(hostState.win95Platform);
  SetWin95Override(Win95Override::No);
  DispatchCommandLine(kInstance, "/x");
  EXPECT_FALSE(hostState.win95Platform);
}

TEST_F(DispatchTest, NoSwitchShowsTheDialogWithoutOwner) {
  HWND foreground = MakeTestWindow("Display Properties");
  SetForegroundWindow(foreground);
  EXPECT_EQ(0, DispatchCommandLine(kInstance, ""));
  EXPECT_EQ(0, DialogOwner());
}

TEST_F(DispatchTest, ConfigurationSwitchOwnsTheDialogByTheForegroundWindow) {
  HWND foreground = MakeTestWindow("Display Properties");
  SetForegroundWindow(foreground);
  EXPECT_EQ(0, DispatchCommandLine(kInstance, "/c:5678"));
  EXPECT_EQ(reinterpret_cast<intptr_t>(foreground), DialogOwner());
}

TEST_F(DispatchTest, DialogFailureIsTheExitCode) {
  TestHooks::FailCall(TestHooks::Call::DialogBox);
  EXPECT_EQ(-1, DispatchCommandLine(kInstance, "/c"));
}

TEST_F(DispatchTest, FullScreenRunsTheSaver) {
  EXPECT_EQ(0, DispatchCommandLine(kInstance, "/s /p 99"));
  EXPECT_TRUE(SaverWindowMade());
  EXPECT_FALSE(hostState.previewMode);
}

TEST_F(DispatchTest, PreviewRunsInsideAnExistingWindow) {
  for (const char* prefix : {"/p ", "/l", "-P   "}) {
    SCOPED_TRACE(prefix);
    FreshStart();  // one saver per process: the class stays registered after a run
    HWND parent = MakeTestWindow("Display Properties");
    std::string text = prefix + Decimal(parent);
    TestHooks::ClearCallLog();
    EXPECT_EQ(0, DispatchCommandLine(kInstance, text.c_str()));
    std::vector<TestHooks::LoggedCall> created = TestHooks::CallLogOf(LogKind::CreateWindow);
    ASSERT_EQ(1u, created.size());
    EXPECT_EQ(reinterpret_cast<intptr_t>(parent), created[0].args[3]);
  }
}

TEST_F(DispatchTest, PreviewWithoutAWindowMakesNothing) {
  HWND parent = MakeTestWindow("Display Properties");
  TestHooks::ClearCallLog();
  for (const std::string& text : {std::string("/p"), std::string("/p 0"), "/p:" + Decimal(parent),
                                  "/p\t" + Decimal(parent), std::string("/p 4294967295")}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(-1, DispatchCommandLine(kInstance, text.c_str()));
  }
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::RegisterClass).empty());
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::LoadLibrary).empty());
}

TEST_F(DispatchTest, PasswordChangeOnlyOnWindows95) {
  RegisterInProcessModule("MPR.DLL", {Entry("PwdChangePasswordA", ChangeStandIn)});
  SetWin95Override(Win95Override::No);
  EXPECT_EQ(-1, DispatchCommandLine(kInstance, "/a 1234"));
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::LoadLibrary).empty());
  SetWin95Override(Win95Override::Yes);
  EXPECT_EQ(0, DispatchCommandLine(kInstance, "/a 1234"));
  EXPECT_EQ(1u, TestHooks::CallLogOf(LogKind::LoadLibrary).size());
}

TEST_F(DispatchTest, UnknownSwitchesRunNothing) {
  for (const char* text : {"/x", "/?", "/\x80", "\t/s", "/\ts"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(-1, DispatchCommandLine(kInstance, text));
  }
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::DialogBox).empty());
  EXPECT_FALSE(SaverWindowMade());
}

}  // namespace
