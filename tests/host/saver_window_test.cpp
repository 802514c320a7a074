// The saver window: what its procedure does with each message in both modes, and the order of
// effects of a whole run.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/host_state.h"
#include "host/saver_window.h"
#include "platform/test_hooks/test_hooks.h"
#include "tests/host/host_test_support.h"

namespace {

using Sequence::Call;
using Sequence::Row;
using TestHooks::LogKind;

constexpr LPARAM kHelpPoint = 0x00280014;  // where a help request was made: x 20, y 40

// One message handed to the saver window's procedure, its answer, and the traffic it causes.
struct ProcRow {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result;
  std::vector<Row> traffic;
};

Row Default(UINT message) { return Row(message, Sequence::kDefault); }
Row Scene(UINT message) { return Call("SceneProc " + MessageName(message)); }
// Posted to the saver window's parent, with the parent as wParam.
Row ToParent(UINT message, HWND parent, LPARAM lParam) {
  return Row(message, Sequence::kPosted | Sequence::kParent | Sequence::kPinned, reinterpret_cast<WPARAM>(parent),
             lParam);
}

const std::vector<LogKind> kProcKinds = {LogKind::DefWindowProc, LogKind::PostMessage, LogKind::Sleep,
                                         LogKind::SetCursor};

// Full screen, while the saver runs: input and timers reach the scene, task switches are swallowed.
const std::vector<ProcRow> kFullScreenRunning = {
    {WM_SETTEXT, 0, 0, 0, {}},
    {WM_PAINT, 0, 0, kSceneAnswer, {Call("SetCursor null"), Scene(WM_PAINT)}},
    {WM_HELP, 0, kHelpPoint, kSceneAnswer, {Scene(WM_HELP)}},
    {WM_CONTEXTMENU, 0, kHelpPoint, kSceneAnswer, {Scene(WM_CONTEXTMENU)}},
    {WM_KEYDOWN, 'A', 0, kSceneAnswer, {Scene(WM_KEYDOWN)}},
    {WM_SYSKEYDOWN, 0x12, 0, kSceneAnswer, {Scene(WM_SYSKEYDOWN)}},
    {WM_MOUSEMOVE, 0, 0x00050005, kSceneAnswer, {Scene(WM_MOUSEMOVE)}},
    {WM_LBUTTONDOWN, 1, 0, kSceneAnswer, {Scene(WM_LBUTTONDOWN)}},
    {WM_RBUTTONDOWN, 2, 0, kSceneAnswer, {Scene(WM_RBUTTONDOWN)}},
    {WM_MBUTTONDOWN, 0x10, 0, kSceneAnswer, {Scene(WM_MBUTTONDOWN)}},
    {WM_SYSCOMMAND, SC_NEXTWINDOW, 0, 0, {}},
    {WM_SYSCOMMAND, SC_PREVWINDOW, 0, 0, {}},
    {WM_SYSCOMMAND, SC_SCREENSAVE, 0, 0, {}},
    {WM_SYSCOMMAND, SC_NEXTWINDOW | 2, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
    {WM_SYSCOMMAND, SC_SCREENSAVE | 0xF, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
    {WM_SYSCOMMAND, 0xF060, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},  // SC_CLOSE
    {WM_TIMER, 1, 0, kSceneAnswer, {Call("Sleep 0"), Scene(WM_TIMER)}},
    {WM_CLOSE, 0, 0, kSceneAnswer, {Scene(WM_CLOSE)}},
    {WM_ERASEBKGND, 0, 0, kSceneAnswer, {Scene(WM_ERASEBKGND)}},
    {WM_SETCURSOR, 0, 0, kSceneAnswer, {Scene(WM_SETCURSOR)}},
    {WM_APP, 0, 0, kSceneAnswer, {Scene(WM_APP)}},
};

// Full screen, once closing is approved: no frame, and input and paint go to the system only.
const std::vector<ProcRow> kFullScreenClosing = {
    {WM_SETTEXT, 0, 0, 0, {}},
    {WM_PAINT, 0, 0, 0, {Default(WM_PAINT)}},
    {WM_HELP, 0, kHelpPoint, kSceneAnswer, {Scene(WM_HELP)}},
    {WM_KEYDOWN, 'A', 0, 0, {Default(WM_KEYDOWN)}},
    {WM_SYSKEYDOWN, 0x12, 0, 0, {Default(WM_SYSKEYDOWN)}},
    {WM_MOUSEMOVE, 0, 0, 0, {Default(WM_MOUSEMOVE)}},
    {WM_LBUTTONDOWN, 1, 0, 0, {Default(WM_LBUTTONDOWN)}},
    {WM_RBUTTONDOWN, 2, 0, 0, {Default(WM_RBUTTONDOWN)}},
    {WM_MBUTTONDOWN, 0x10, 0, 0, {Default(WM_MBUTTONDOWN)}},
    {WM_SYSCOMMAND, SC_PREVWINDOW, 0, 0, {}},
    {WM_TIMER, 1, 0, 0, {}},
    {WM_CLOSE, 0, 0, kSceneAnswer, {Scene(WM_CLOSE)}},
};

// Preview, while the saver runs: help goes to the settings page that holds the preview, and
// nothing is swallowed or hidden.
std::vector<ProcRow> PreviewRunning(HWND parent) {
  return {
      {WM_SETTEXT, 0, 0, 0, {}},
      {WM_PAINT, 0, 0, kSceneAnswer, {Scene(WM_PAINT)}},
      {WM_HELP, 0, kHelpPoint, 1, {ToParent(WM_HELP, parent, kHelpPoint)}},
      {WM_CONTEXTMENU, 0, kHelpPoint, 1, {ToParent(WM_CONTEXTMENU, parent, kHelpPoint)}},
      {WM_KEYDOWN, 'A', 0, kSceneAnswer, {Scene(WM_KEYDOWN)}},
      {WM_MOUSEMOVE, 0, 0, kSceneAnswer, {Scene(WM_MOUSEMOVE)}},
      {WM_LBUTTONDOWN, 1, 0, kSceneAnswer, {Scene(WM_LBUTTONDOWN)}},
      {WM_SYSCOMMAND, SC_NEXTWINDOW, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
      {WM_SYSCOMMAND, SC_PREVWINDOW, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
      {WM_SYSCOMMAND, SC_SCREENSAVE, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
      {WM_TIMER, 1, 0, kSceneAnswer, {Call("Sleep 0"), Scene(WM_TIMER)}},
      {WM_CLOSE, 0, 0, kSceneAnswer, {Scene(WM_CLOSE)}},
  };
}

// Preview, once closing is approved (the flag is process-wide): the same stops as full screen.
std::vector<ProcRow> PreviewClosing(HWND parent) {
  return {
      {WM_SETTEXT, 0, 0, 0, {}},
      {WM_PAINT, 0, 0, 0, {Default(WM_PAINT)}},
      {WM_HELP, 0, kHelpPoint, 1, {ToParent(WM_HELP, parent, kHelpPoint)}},
      {WM_KEYDOWN, 'A', 0, 0, {Default(WM_KEYDOWN)}},
      {WM_MOUSEMOVE, 0, 0, 0, {Default(WM_MOUSEMOVE)}},
      {WM_SYSCOMMAND, SC_NEXTWINDOW, 0, kSceneAnswer, {Scene(WM_SYSCOMMAND)}},
      {WM_TIMER, 1, 0, 0, {}},
  };
}

class SaverWindowProcTest : public HostTest {
 protected:
  // A saver window made the way RunSaver makes it, without running its loop.
  HWND MakeSaverWindow(HWND parent) {
    hostState.previewMode = parent != nullptr;
    WNDCLASSA saverClass{};
    saverClass.lpfnWndProc = SaverWindowProc;
    saverClass.lpszClassName = kSaverClassName;
    RegisterClassA(&saverClass);
    DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
    HWND window = CreateWindowExA(0, kSaverClassName, parent ? kPreviewTitle : kFullScreenTitle, style, 0, 0, 160,
                                  120, parent, nullptr, nullptr, nullptr);
    NameWindow(window, "saver");
    return window;
  }

  void RunRows(HWND window, const std::vector<ProcRow>& rows) {
    for (size_t i = 0; i < rows.size(); ++i) {
      const ProcRow& row = rows[i];
      SCOPED_TRACE("row " + std::to_string(i) + ": " + MessageName(row.message) + " wParam " +
                   std::to_string(row.wParam));
      TestHooks::ClearCallLog();
      sceneDouble.calls.clear();
      LRESULT result = SaverWindowProc(window, row.message, row.wParam, row.lParam);
      EXPECT_EQ(row.result, result);
      Sequence::ExpectSequence(row.traffic, Traffic(kProcKinds, window));
      for (const SceneCall& call : sceneDouble.calls) {
        EXPECT_EQ(window, call.window);
        EXPECT_EQ(row.wParam, call.wParam);  // handed on unchanged
        EXPECT_EQ(row.lParam, call.lParam);
      }
    }
  }
};

TEST_F(SaverWindowProcTest, FullScreenWhileRunning) {
  HWND window = MakeSaverWindow(nullptr);
  RunRows(window, kFullScreenRunning);
}

TEST_F(SaverWindowProcTest, FullScreenOnceClosingIsApproved) {
  HWND window = MakeSaverWindow(nullptr);
  hostState.closeApproved = true;
  RunRows(window, kFullScreenClosing);
}

TEST_F(SaverWindowProcTest, PreviewWhileRunning) {
  HWND parent = MakeTestWindow("Display Properties");
  NameWindow(parent, "parent");
  HWND window = MakeSaverWindow(parent);
  RunRows(window, PreviewRunning(parent));
}

TEST_F(SaverWindowProcTest, PreviewOnceClosingIsApproved) {
  HWND parent = MakeTestWindow("Display Properties");
  NameWindow(parent, "parent");
  HWND window = MakeSaverWindow(parent);
  hostState.closeApproved = true;
  RunRows(window, PreviewClosing(parent));
}

TEST_F(SaverWindowProcTest, CreationAnchorsThePointerAndHidesItOnlyFullScreen) {
  SetInjectedCursor(POINT{300, 200});
  MakeSaverWindow(nullptr);
  EXPECT_EQ(300, hostState.cursorAnchor.x);
  EXPECT_EQ(200, hostState.cursorAnchor.y);
  EXPECT_TRUE(PointerHidden());
  ASSERT_FALSE(sceneDouble.calls.empty());
  EXPECT_EQ(static_cast<UINT>(WM_CREATE), sceneDouble.calls.front().message);
  // The anchor is taken before the scene starts its work.
  std::vector<Row> traffic = Traffic({LogKind::SetCursor});
  ASSERT_GE(traffic.size(), 2u);
  Sequence::ExpectSequence({Call("SetCursor null"), Scene(WM_CREATE)}, {traffic[0], traffic[1]});
}

TEST_F(SaverWindowProcTest, PreviewCreationLeavesThePointerVisible) {
  HWND parent = MakeTestWindow("Display Properties");
  SetInjectedCursor(POINT{17, 23});
  TestHooks::ClearCallLog();
  MakeSaverWindow(parent);
  EXPECT_EQ(17, hostState.cursorAnchor.x);
  EXPECT_EQ(23, hostState.cursorAnchor.y);
  EXPECT_FALSE(PointerHidden());
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::SetCursor).empty());
}

// A stand-in for the input-method library's entry: records what it was asked.
struct ImeCall {
  HWND window;
  HANDLE context;
};
std::vector<ImeCall> imeCalls;
HANDLE const kAttachedContext = reinterpret_cast<HANDLE>(0x1CE);
HANDLE imeAnswer = kAttachedContext;

HANDLE WINAPI FakeImmAssociateContext(HWND window, HANDLE context) {
  imeCalls.push_back({window, context});
  return imeAnswer;
}

TEST_F(SaverWindowProcTest, InputMethodIsDetachedOnCreationAndRestoredOnDestruction) {
  imeCalls.clear();
  imeAnswer = kAttachedContext;
  RegisterInProcessModule("IMM32.DLL", {Entry("ImmAssociateContext", FakeImmAssociateContext)});
  HMODULE imm = LoadLibraryA("IMM32.DLL");  // loaded by someone else before the saver starts
  ASSERT_NE(nullptr, imm);
  HWND window = MakeSaverWindow(nullptr);
  EXPECT_EQ(imm, hostState.imeLibrary);
  ASSERT_EQ(1u, imeCalls.size());
  EXPECT_EQ(window, imeCalls[0].window);
  EXPECT_EQ(nullptr, imeCalls[0].context);
  EXPECT_EQ(kAttachedContext, hostState.savedImeContext);

  DestroyWindow(window);
  ASSERT_EQ(2u, imeCalls.size());
  EXPECT_EQ(window, imeCalls[1].window);
  EXPECT_EQ(kAttachedContext, imeCalls[1].context);
  FreeLibrary(imm);
}

TEST_F(SaverWindowProcTest, NoContextToRestoreMeansNoSecondCall) {
  imeCalls.clear();
  imeAnswer = nullptr;
  RegisterInProcessModule("IMM32.DLL", {Entry("ImmAssociateContext", FakeImmAssociateContext)});
  HMODULE imm = LoadLibraryA("IMM32.DLL");
  HWND window = MakeSaverWindow(nullptr);
  DestroyWindow(window);
  EXPECT_EQ(1u, imeCalls.size());
  FreeLibrary(imm);
}

TEST_F(SaverWindowProcTest, InputMethodLibraryIsNeverLoadedForTheSaver) {
  imeCalls.clear();
  RegisterInProcessModule("IMM32.DLL", {Entry("ImmAssociateContext", FakeImmAssociateContext)});
  HWND window = MakeSaverWindow(nullptr);
  DestroyWindow(window);
  EXPECT_TRUE(imeCalls.empty());
  EXPECT_EQ(nullptr, hostState.imeLibrary);
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::LoadLibrary).empty());
}

TEST_F(SaverWindowProcTest, DestructionPostsTheQuitMessageBeforeTheSceneReleases) {
  HWND window = MakeSaverWindow(nullptr);
  sceneDouble.calls.clear();
  DestroyWindow(window);
  ASSERT_FALSE(sceneDouble.calls.empty());
  EXPECT_EQ(static_cast<UINT>(WM_DESTROY), sceneDouble.calls.back().message);
  MSG quit{};
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(0u, quit.wParam);
}

// ---- Whole runs ----

const std::vector<LogKind> kRunKinds = {LogKind::RegOpenKey,    LogKind::LoadLibrary,   LogKind::FreeLibrary,
                                        LogKind::SystemParametersInfo, LogKind::RegisterClass,
                                        LogKind::CreateWindow,  LogKind::SetForegroundWindow,
                                        LogKind::DestroyWindow};

BOOL WINAPI AlwaysAllow(HWND) { return TRUE; }

void CloseAtOnce(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

// Passes the new window's client size to the scene in a WM_USER, then closes.
void ReportSizeAndClose(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  PostMessageA(window, WM_USER, static_cast<WPARAM>(client.right), client.bottom);
  CloseAtOnce(window);
}

std::pair<int, int> ReportedSize() {
  for (const SceneCall& call : sceneDouble.calls) {
    if (call.message == WM_USER) return {static_cast<int>(call.wParam), static_cast<int>(call.lParam)};
  }
  return {-1, -1};
}

class RunSaverTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    sceneDouble.handOnToDefault = true;
    sceneDouble.onCreate = CloseAtOnce;
  }

  // The Windows 95 platform with protection on and a system component that verifies.
  void TurnProtectionOn() {
    hostState.win95Platform = true;
    TestHooks::SetRegistryValue("Control Panel\\Desktop", "ScreenSaveUsePassword", DwordRegistryValue(1));
    RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", AlwaysAllow)});
  }

  // The traffic with the created saver window named, once it is known.
  std::vector<Row> RunTraffic() {
    std::vector<TestHooks::LoggedCall> created = TestHooks::CallLogOf(LogKind::CreateWindow);
    for (const TestHooks::LoggedCall& call : created) {
      if (call.text == kSaverClassName) NameWindow(reinterpret_cast<HWND>(call.args[0]), "saver");
    }
    std::vector<Row> rows;
    for (const Row& row : Traffic(kRunKinds)) {
      if (row.text.rfind("SceneProc", 0) != 0) rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(RunSaverTest, FullScreenWithProtectionLoadsBeforeTheClassAndUnloadsAfterTheLoop) {
  TurnProtectionOn();
  EXPECT_EQ(0, RunSaver(nullptr));
  std::vector<Row> expected = Calls({
      "RegOpenKey Control Panel\\Desktop",
      "LoadLibrary PASSWORD.CPL",
      "SystemParametersInfo 97 1",
      "RegisterClass WindowsScreenSaverClass",
      "CreateWindow WindowsScreenSaverClass parent null",
      "SetForegroundWindow saver",
      "DestroyWindow saver",
      "FreeLibrary",
      "SystemParametersInfo 97 0",
  });
  Sequence::ExpectSequence(expected, RunTraffic());
  EXPECT_FALSE(SaverRunningFlag());
  EXPECT_EQ(nullptr, hostState.passwordLibrary);
  EXPECT_EQ(0, TestHooks::LiveHandles(TestHooks::HandleKind::Window));
  EXPECT_EQ(0, TestHooks::LiveHandles(TestHooks::HandleKind::Module));
  EXPECT_EQ(0, TestHooks::LiveHandles(TestHooks::HandleKind::Key));
}

TEST_F(RunSaverTest, TheClassRedrawsOnResizeHasItsOwnContextABlackBackgroundAndNoCursor) {
  hostState.moduleInstance = reinterpret_cast<HINSTANCE>(0x400000);
  EXPECT_EQ(0, RunSaver(nullptr));
  std::vector<TestHooks::LoggedCall> registered = TestHooks::CallLogOf(LogKind::RegisterClass);
  ASSERT_EQ(1u, registered.size());
  EXPECT_EQ(0x2B, registered[0].args[0]);
  EXPECT_EQ(reinterpret_cast<intptr_t>(GetStockObject(BLACK_BRUSH)), registered[0].args[1]);
  EXPECT_EQ(0, registered[0].args[2]);
  EXPECT_EQ(0x400000, registered[0].args[3]);
}

TEST_F(RunSaverTest, FullScreenWindowCoversTheScreenOnTop) {
  SetScreenSizeOverride(800, 600);
  sceneDouble.onCreate = ReportSizeAndClose;
  EXPECT_EQ(0, RunSaver(nullptr));
  EXPECT_EQ(std::make_pair(800, 600), ReportedSize());
  std::vector<TestHooks::LoggedCall> created = TestHooks::CallLogOf(LogKind::CreateWindow);
  ASSERT_EQ(1u, created.size());
  EXPECT_EQ(0x96000000, static_cast<uint32_t>(created[0].args[1]));
  EXPECT_EQ(static_cast<intptr_t>(WS_EX_TOPMOST), created[0].args[2]);
  EXPECT_FALSE(hostState.previewMode);
}

TEST_F(RunSaverTest, PreviewNeverTouchesThePasswordSupport) {
  TurnProtectionOn();
  HWND parent = MakeTestWindow("Display Properties");
  NameWindow(parent, "parent");
  TestHooks::ClearCallLog();
  EXPECT_EQ(0, RunSaver(parent));
  std::vector<Row> expected = Calls({
      "RegisterClass WindowsScreenSaverClass",
      "CreateWindow WindowsScreenSaverClass parent parent",
      "DestroyWindow saver",
  });
  Sequence::ExpectSequence(expected, RunTraffic());
  EXPECT_TRUE(hostState.previewMode);
  std::vector<TestHooks::LoggedCall> created = TestHooks::CallLogOf(LogKind::CreateWindow);
  ASSERT_EQ(1u, created.size());
  EXPECT_EQ(0x52000000, static_cast<uint32_t>(created[0].args[1]));
  EXPECT_EQ(0, created[0].args[2]);
  EXPECT_TRUE(IsWindow(parent));
}

TEST_F(RunSaverTest, PreviewTakesTheParentsClientSize) {
  HWND parent = MakeTestWindow("Display Properties");
  sceneDouble.onCreate = ReportSizeAndClose;
  EXPECT_EQ(0, RunSaver(parent));
  EXPECT_EQ(std::make_pair(320, 240), ReportedSize());
}

// The system's verification, refusing the first close and allowing the next.
int verifyCalls = 0;
BOOL WINAPI RefuseFirst(HWND window) {
  ++verifyCalls;
  if (verifyCalls == 1) PostMessageA(window, WM_USER, 0, 0);  // try again once the refusal is over
  return verifyCalls > 1;
}

TEST_F(RunSaverTest, CloseRequestsPassTheSystemsVerificationThroughTheSaverWindow) {
  TurnProtectionOn();
  verifyCalls = 0;
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", RefuseFirst)});
  sceneDouble.onCreate = [](HWND window) { PostMessageA(window, WM_KEYDOWN, 'A', 0); };
  sceneDouble.onUser = [](HWND window, WPARAM) {
    AdvanceVirtualClock(200);  // a close request this long after a refusal is asked again
    PostMessageA(window, WM_LBUTTONDOWN, 1, 0);
  };
  EXPECT_EQ(0, RunSaver(nullptr));
  EXPECT_EQ(2, verifyCalls);
  EXPECT_TRUE(hostState.closeApproved);
  int verifyRequests = 0;
  for (const SceneCall& call : sceneDouble.calls) verifyRequests += call.message == WM_APP ? 1 : 0;
  EXPECT_EQ(2, verifyRequests);  // each check went through the saver window's own procedure
  EXPECT_FALSE(SaverRunningFlag());
}

TEST_F(RunSaverTest, SecondFullScreenStartBringsTheFirstForwardAndLoadsNothing) {
  TurnProtectionOn();
  WNDCLASSA firstClass{};
  firstClass.lpfnWndProc = TestWindowProc;
  firstClass.lpszClassName = kSaverClassName;
  RegisterClassA(&firstClass);
  HWND first = CreateWindowExA(0, kSaverClassName, kFullScreenTitle, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                               nullptr, nullptr, nullptr);
  NameWindow(first, "first saver");
  TestHooks::ClearCallLog();
  EXPECT_EQ(0, RunSaver(nullptr));
  Sequence::ExpectSequence({Call("SetForegroundWindow first saver")}, RunTraffic());
  EXPECT_TRUE(sceneDouble.calls.empty());
  EXPECT_FALSE(SaverRunningFlag());
}

TEST_F(RunSaverTest, AWindowOfTheClassWithAnotherTitleIsNoRunningSaver) {
  WNDCLASSA otherClass{};
  otherClass.lpfnWndProc = TestWindowProc;
  otherClass.lpszClassName = kSaverClassName;
  RegisterClassA(&otherClass);
  CreateWindowExA(0, kSaverClassName, kPreviewTitle, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  TestHooks::ClearCallLog();
  RunSaver(nullptr);
  EXPECT_EQ(1u, TestHooks::CallLogOf(LogKind::RegisterClass).size());
}

TEST_F(RunSaverTest, FailedRegistrationStillUnloadsThePasswordSupport) {
  TurnProtectionOn();
  TestHooks::FailCall(TestHooks::Call::RegisterClass);
  EXPECT_EQ(-1, RunSaver(nullptr));
  std::vector<Row> expected = Calls({
      "RegOpenKey Control Panel\\Desktop",
      "LoadLibrary PASSWORD.CPL",
      "SystemParametersInfo 97 1",
      "RegisterClass WindowsScreenSaverClass",
      "FreeLibrary",
      "SystemParametersInfo 97 0",
  });
  Sequence::ExpectSequence(expected, RunTraffic());
  EXPECT_EQ(nullptr, hostState.saverWindow);
}

TEST_F(RunSaverTest, FailedCreationStillUnloadsThePasswordSupport) {
  TurnProtectionOn();
  TestHooks::FailCall(TestHooks::Call::CreateWindow);
  EXPECT_EQ(-1, RunSaver(nullptr));
  std::vector<Row> rows = RunTraffic();
  ASSERT_GE(rows.size(), 2u);
  Sequence::ExpectSequence(Calls({"FreeLibrary", "SystemParametersInfo 97 0"}), {rows[rows.size() - 2], rows.back()});
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::SetForegroundWindow).empty());
  EXPECT_EQ(0, TestHooks::LiveHandles(TestHooks::HandleKind::Module));
}

TEST_F(RunSaverTest, FailedPreviewCreationReturnsMinusOne) {
  HWND parent = MakeTestWindow("Display Properties");
  TestHooks::FailCall(TestHooks::Call::CreateWindow);
  EXPECT_EQ(-1, RunSaver(parent));
  EXPECT_TRUE(sceneDouble.calls.empty());
}

}  // namespace
