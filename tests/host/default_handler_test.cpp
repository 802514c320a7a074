// Default message handling and the close decision, driven through the portable platform's hooks:
// which messages close, the pointer rule, and the password check's timing and re-entry.
#include "host/default_handler.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/host_state.h"
#include "platform/test_hooks.h"

namespace {

using TestHooks::LogKind;

// What the stand-in verification does when the saver window asks it.
struct VerifyScript {
  BOOL answer = FALSE;
  DWORD takesMs = 0;                    // time the user spends in the password dialog
  std::function<void(HWND)> whileOpen;  // messages that reach the window while it is open
  int calls = 0;
};
VerifyScript verify;

BOOL WINAPI StandInVerify(HWND window) {
  ++verify.calls;
  TestHooks::AdvanceClock(verify.takesMs);
  if (verify.whileOpen) verify.whileOpen(window);
  return verify.answer;
}

LRESULT CALLBACK HandlerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return HostDefaultHandler(window, message, wParam, lParam);
}

// One row of expected traffic: what the handler asked of the platform.
struct Row {
  LogKind kind;
  UINT message;
  bool operator==(const Row& other) const { return kind == other.kind && message == other.message; }
};

std::string Describe(const std::vector<Row>& rows) {
  static const char* const kKinds[] = {"post", "send", "default"};
  std::string text;
  for (const Row& row : rows) text += std::string(kKinds[static_cast<int>(row.kind)]) + " " + std::to_string(row.message) + "\n";
  return text;
}

class DefaultHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestHooks::ResetPlatform();
    TestHooks::UseVirtualClock(1000000);
    ResetHostState();
    verify = VerifyScript{};
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = HandlerWindowProc;
    windowClass.lpszClassName = "DefaultHandlerTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    window = CreateWindowExA(0, "DefaultHandlerTest", "Screen Saver", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    hostState.saverWindow = window;
    TestHooks::ClearCallLog();
  }
  void TearDown() override { TestHooks::ResetPlatform(); }

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return HostDefaultHandler(window, message, wParam, lParam);
  }

  // Posts, sends and default handling since the last call, as rows.
  std::vector<Row> Traffic() {
    std::vector<Row> rows;
    for (const TestHooks::LoggedCall& call : TestHooks::CallLog()) {
      if (call.kind == LogKind::PostMessage || call.kind == LogKind::SendMessage ||
          call.kind == LogKind::DefWindowProc) {
        rows.push_back(Row{call.kind, static_cast<UINT>(call.args[1])});
      }
    }
    TestHooks::ClearCallLog();
    return rows;
  }

  void ExpectTraffic(const std::vector<Row>& expected) {
    std::vector<Row> actual = Traffic();
    EXPECT_EQ(actual, expected) << "expected:\n" << Describe(expected) << "actual:\n" << Describe(actual);
  }

  void MovePointerTo(int x, int y) {
    TestHooks::SetCursorPosition(x, y);
    Send(WM_MOUSEMOVE, 0, 0);
  }

  // The Windows 95 platform with a verification that refuses.
  void UseRefusingVerification() {
    hostState.win95Platform = true;
    hostState.verifyEntry = StandInVerify;
    verify.answer = FALSE;
  }

  HWND window = nullptr;
};

const Row kPostClose{LogKind::PostMessage, WM_CLOSE};
const Row kVerifyRequestSent{LogKind::SendMessage, WM_APP};
const Row kDestroySent{LogKind::SendMessage, WM_DESTROY};
Row Default(UINT message) { return Row{LogKind::DefWindowProc, message}; }

// ---- Input ----

TEST_F(DefaultHandlerTest, AMoveOfFourPixelsStaysAndOfFiveCloses) {
  hostState.cursorAnchor = POINT{100, 100};
  MovePointerTo(103, 101);
  ExpectTraffic({Default(WM_MOUSEMOVE)});
  MovePointerTo(97, 98);  // distance 5 the other way
  ExpectTraffic({kPostClose, Default(WM_MOUSEMOVE)});
  EXPECT_EQ(hostState.cursorAnchor.x, 97);
  EXPECT_EQ(hostState.cursorAnchor.y, 98);
}

TEST_F(DefaultHandlerTest, SmallMovesAddUpAgainstTheAnchor) {
  hostState.cursorAnchor = POINT{10, 10};
  MovePointerTo(12, 10);
  ExpectTraffic({Default(WM_MOUSEMOVE)});
  MovePointerTo(13, 10);
  ExpectTraffic({Default(WM_MOUSEMOVE)});
  MovePointerTo(15, 10);
  ExpectTraffic({kPostClose, Default(WM_MOUSEMOVE)});
}

TEST_F(DefaultHandlerTest, ThePointerPositionCountsNotTheMessageCoordinates) {
  hostState.cursorAnchor = POINT{50, 50};
  TestHooks::SetCursorPosition(50, 50);
  Send(WM_MOUSEMOVE, 0, (400 << 16) | 400);
  ExpectTraffic({Default(WM_MOUSEMOVE)});
}

TEST_F(DefaultHandlerTest, KeysAndButtonsPostACloseRequest) {
  for (UINT message : {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
    Send(message, 'A', 0);
    ExpectTraffic({kPostClose, Default(message)});
  }
}

TEST_F(DefaultHandlerTest, LosingActivationClosesGainingItDoesNot) {
  Send(WM_ACTIVATEAPP, 1, 0);
  ExpectTraffic({Default(WM_ACTIVATEAPP)});
  Send(WM_ACTIVATEAPP, 0, 0);
  ExpectTraffic({kPostClose, Default(WM_ACTIVATEAPP)});
}

TEST_F(DefaultHandlerTest, ThePointerIsHiddenOverTheWindow) {
  EXPECT_EQ(Send(WM_SETCURSOR), 1);
  ExpectTraffic({});
  EXPECT_TRUE(TestHooks::CursorHidden());
  SetCursor(reinterpret_cast<HCURSOR>(1));
  Send(WM_SHOWWINDOW, 0, 0);
  EXPECT_FALSE(TestHooks::CursorHidden());
  Send(WM_SHOWWINDOW, 1, 0);
  EXPECT_TRUE(TestHooks::CursorHidden());
  ExpectTraffic({Default(WM_SHOWWINDOW), Default(WM_SHOWWINDOW)});
}

TEST_F(DefaultHandlerTest, APreviewNeverClosesOnInputNorHidesThePointer) {
  hostState.previewMode = true;
  TestHooks::SetCursorPosition(500, 500);
  for (UINT message : {WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_SETCURSOR, WM_SHOWWINDOW}) {
    Send(message, 1, 0);
    ExpectTraffic({Default(message)});
  }
  EXPECT_FALSE(TestHooks::CursorHidden());
  Send(WM_ACTIVATEAPP, 0, 0);
  ExpectTraffic({Default(WM_ACTIVATEAPP)});
}

TEST_F(DefaultHandlerTest, AfterApprovalEverythingGoesToTheDefault) {
  hostState.closeApproved = true;
  EXPECT_EQ(Send(WM_SETCURSOR), 0);
  Send(WM_KEYDOWN);
  ExpectTraffic({Default(WM_SETCURSOR), Default(WM_KEYDOWN)});
  EXPECT_FALSE(TestHooks::CursorHidden());
}

TEST_F(DefaultHandlerTest, OtherMessagesOnlyReachTheDefault) {
  Send(WM_PAINT);
  Send(WM_TIMER, 1, 0);
  ExpectTraffic({Default(WM_PAINT), Default(WM_TIMER)});
}

// ---- Closing ----

TEST_F(DefaultHandlerTest, OnWindowsNtACloseGoesStraightToTheDefault) {
  hostState.verifyEntry = StandInVerify;
  Send(WM_CLOSE);
  ExpectTraffic({Default(WM_CLOSE), kDestroySent, Default(WM_DESTROY)});
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(verify.calls, 0);
}

TEST_F(DefaultHandlerTest, OnWindowsNtTheVerifyRequestIsAnOrdinaryMessage) {
  hostState.verifyEntry = StandInVerify;
  EXPECT_EQ(Send(WM_APP), 0);
  ExpectTraffic({Default(WM_APP)});
  EXPECT_EQ(verify.calls, 0);
}

TEST_F(DefaultHandlerTest, OnWindows95WithoutVerificationTheFirstCloseIsApproved) {
  hostState.win95Platform = true;
  Send(WM_CLOSE);
  EXPECT_TRUE(hostState.closeApproved);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(DefaultHandlerTest, AVerifyRequestWithoutEntryIsAllowed) {
  hostState.win95Platform = true;
  EXPECT_EQ(Send(WM_APP), 1);
  ExpectTraffic({});
}

TEST_F(DefaultHandlerTest, ARefusedCheckKeepsTheWindowHidesThePointerAndMovesTheAnchor) {
  UseRefusingVerification();
  verify.takesMs = 3000;
  hostState.cursorAnchor = POINT{0, 0};
  TestHooks::SetCursorPosition(321, 123);
  EXPECT_EQ(Send(WM_CLOSE), 0);
  ExpectTraffic({kVerifyRequestSent});
  EXPECT_EQ(verify.calls, 1);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(hostState.closeApproved);
  EXPECT_FALSE(hostState.passwordCheckActive);
  EXPECT_TRUE(TestHooks::CursorHidden());
  EXPECT_EQ(hostState.cursorAnchor.x, 321);
  EXPECT_EQ(hostState.cursorAnchor.y, 123);
  EXPECT_EQ(hostState.lastCheckEnd, 1003000u);  // taken after the dialog closed
}

TEST_F(DefaultHandlerTest, AnApprovedCheckClosesAndIsNeverAskedAgain) {
  UseRefusingVerification();
  verify.answer = TRUE;
  Send(WM_CLOSE);
  ExpectTraffic({kVerifyRequestSent, Default(WM_CLOSE), kDestroySent, Default(WM_DESTROY)});
  EXPECT_TRUE(hostState.closeApproved);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(CheckPasswordOnClose(window), FALSE);
  EXPECT_EQ(verify.calls, 1);
}

TEST_F(DefaultHandlerTest, ACloseWithin200msOfARefusalIsDroppedUnasked) {
  UseRefusingVerification();
  Send(WM_CLOSE);
  ASSERT_EQ(verify.calls, 1);
  TestHooks::AdvanceClock(199);
  EXPECT_EQ(Send(WM_CLOSE), 0);
  EXPECT_EQ(verify.calls, 1);
  TestHooks::AdvanceClock(1);
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 2);
}

TEST_F(DefaultHandlerTest, The200msRuleHoldsAcrossTheTickCounterWrap) {
  TestHooks::UseVirtualClock(0xFFFFFFFFu - 99);  // the check ends 100 ms before the wrap
  UseRefusingVerification();
  Send(WM_CLOSE);
  ASSERT_EQ(hostState.lastCheckEnd, 0xFFFFFF9Cu);
  TestHooks::AdvanceClock(199);
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 1);
  TestHooks::AdvanceClock(1);  // 100 ms after the wrap: 200 ms in all
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 2);
}

TEST_F(DefaultHandlerTest, TheFirstCloseIsAskedEvenJustAfterTheCounterWrapped) {
  UseRefusingVerification();
  TestHooks::UseVirtualClock(50);  // 51 ms after the all-bits-set tick count that means "no check yet"
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 1);
}

TEST_F(DefaultHandlerTest, InputDuringTheCheckNeitherClosesNorNests) {
  UseRefusingVerification();
  verify.whileOpen = [](HWND w) {
    TestHooks::SetCursorPosition(900, 900);
    SendMessageA(w, WM_MOUSEMOVE, 0, 0);
    SendMessageA(w, WM_KEYDOWN, 'X', 0);
    SendMessageA(w, WM_SETCURSOR, 0, 0);
    // A queued close request that the dialog's own loop dispatches.
    PostMessageA(w, WM_CLOSE, 0, 0);
    MSG msg;
    while (PeekMessageA(&msg, w, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  };
  EXPECT_EQ(Send(WM_CLOSE), 0);
  EXPECT_EQ(verify.calls, 1);
  std::vector<TestHooks::LoggedCall> posts = TestHooks::CallLogOf(LogKind::PostMessage);
  ASSERT_EQ(posts.size(), 1u);  // only the test's own
  std::vector<Row> traffic = Traffic();
  std::vector<Row> expected = {kVerifyRequestSent,        Row{LogKind::SendMessage, WM_MOUSEMOVE},
                               Default(WM_MOUSEMOVE),     Row{LogKind::SendMessage, WM_KEYDOWN},
                               Default(WM_KEYDOWN),       Row{LogKind::SendMessage, WM_SETCURSOR},
                               Default(WM_SETCURSOR),     kPostClose};
  EXPECT_EQ(traffic, expected) << Describe(traffic);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(hostState.passwordCheckActive);
}

TEST_F(DefaultHandlerTest, TheCheckDropsAtMostTwoQueuedTimerTicks) {
  UseRefusingVerification();
  int ticksSeenByDialog = 0;
  verify.whileOpen = [&ticksSeenByDialog](HWND w) {
    MSG msg;
    while (PeekMessageA(&msg, w, WM_TIMER, WM_TIMER, PM_REMOVE)) ++ticksSeenByDialog;
  };
  for (int i = 0; i < 3; ++i) PostMessageA(window, WM_TIMER, 1, 0);
  Send(WM_CLOSE);
  EXPECT_EQ(ticksSeenByDialog, 1);
}

}  // namespace
