// Default message handling and the close decision, driven through the portable platform's hooks:
// which messages close, the pointer rule, and the password check's timing and re-entry.
#include "host/default_handler.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/host_state.h"
#include "platform/test_hooks/test_hooks.h"
#include "tests/support/message_sequence.h"
#include "tests/support/platform_test.h"

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
  AdvanceVirtualClock(verify.takesMs);
  if (verify.whileOpen) verify.whileOpen(window);
  return verify.answer;
}

LRESULT CALLBACK HandlerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return HostDefaultHandler(window, message, wParam, lParam);
}

// One row of expected traffic: what the handler asked of the platform, by message and kind only.
using Sequence::Row;
constexpr unsigned kTrafficKinds = Sequence::kPosted | Sequence::kSent | Sequence::kDefault;

class DefaultHandlerTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    UseVirtualClock(1000000);
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

  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return HostDefaultHandler(window, message, wParam, lParam);
  }

  // Posts, sends and default handling since the last call, as rows.
  std::vector<Row> Traffic() {
    std::vector<Row> rows = Sequence::Logged(kTrafficKinds);
    TestHooks::ClearCallLog();
    return rows;
  }

  void ExpectTraffic(const std::vector<Row>& expected) { Sequence::ExpectSequence(expected, Traffic()); }

  void MovePointerTo(int x, int y) {
    SetInjectedCursor(POINT{x, y});
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

const Row kPostClose{WM_CLOSE, Sequence::kPosted};
const Row kVerifyRequestSent{WM_APP, Sequence::kSent};
const Row kDestroySent{WM_DESTROY, Sequence::kSent};
Row Default(UINT message) { return Row{message, Sequence::kDefault}; }
Row Sent(UINT message) { return Row{message, Sequence::kSent}; }

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
  SetInjectedCursor(POINT{50, 50});
  Send(WM_MOUSEMOVE, 0, (400 << 16) | 400);
  ExpectTraffic({Default(WM_MOUSEMOVE)});
}

TEST_F(DefaultHandlerTest, KeysAndButtonsPostACloseRequest) {
  const std::initializer_list<UINT> closers{WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  for (UINT message : closers) {
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
  EXPECT_TRUE(PointerHidden());
  SetCursor(reinterpret_cast<HCURSOR>(1));
  Send(WM_SHOWWINDOW, 0, 0);
  EXPECT_FALSE(PointerHidden());
  Send(WM_SHOWWINDOW, 1, 0);
  EXPECT_TRUE(PointerHidden());
  ExpectTraffic({Default(WM_SHOWWINDOW), Default(WM_SHOWWINDOW)});
}

TEST_F(DefaultHandlerTest, APreviewNeverClosesOnInputNorHidesThePointer) {
  hostState.previewMode = true;
  SetInjectedCursor(POINT{500, 500});
  const std::initializer_list<UINT> inputs{WM_MOUSEMOVE, WM_KEYDOWN, WM_LBUTTONDOWN, WM_SETCURSOR, WM_SHOWWINDOW};
  for (UINT message : inputs) {
    Send(message, 1, 0);
    ExpectTraffic({Default(message)});
  }
  EXPECT_FALSE(PointerHidden());
  Send(WM_ACTIVATEAPP, 0, 0);
  ExpectTraffic({Default(WM_ACTIVATEAPP)});
}

TEST_F(DefaultHandlerTest, AfterApprovalEverythingGoesToTheDefault) {
  hostState.closeApproved = true;
  EXPECT_EQ(Send(WM_SETCURSOR), 0);
  Send(WM_KEYDOWN);
  ExpectTraffic({Default(WM_SETCURSOR), Default(WM_KEYDOWN)});
  EXPECT_FALSE(PointerHidden());
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
  SetInjectedCursor(POINT{321, 123});
  EXPECT_EQ(Send(WM_CLOSE), 0);
  ExpectTraffic({kVerifyRequestSent});
  EXPECT_EQ(verify.calls, 1);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(hostState.closeApproved);
  EXPECT_FALSE(hostState.passwordCheckActive);
  EXPECT_TRUE(PointerHidden());
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
  AdvanceVirtualClock(199);
  EXPECT_EQ(Send(WM_CLOSE), 0);
  EXPECT_EQ(verify.calls, 1);
  AdvanceVirtualClock(1);
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 2);
}

TEST_F(DefaultHandlerTest, The200msRuleHoldsAcrossTheTickCounterWrap) {
  UseVirtualClock(0xFFFFFFFFu - 99);  // the check ends 100 ms before the wrap
  UseRefusingVerification();
  Send(WM_CLOSE);
  ASSERT_EQ(hostState.lastCheckEnd, 0xFFFFFF9Cu);
  AdvanceVirtualClock(199);
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 1);
  AdvanceVirtualClock(1);  // 100 ms after the wrap: 200 ms in all
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 2);
}

TEST_F(DefaultHandlerTest, TheFirstCloseIsAskedEvenJustAfterTheCounterWrapped) {
  UseRefusingVerification();
  UseVirtualClock(50);  // 51 ms after the all-bits-set tick count that means "no check yet"
  Send(WM_CLOSE);
  EXPECT_EQ(verify.calls, 1);
}

TEST_F(DefaultHandlerTest, InputDuringTheCheckNeitherClosesNorNests) {
  UseRefusingVerification();
  verify.whileOpen = [](HWND w) {
    SetInjectedCursor(POINT{900, 900});
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
  std::vector<Row> expected = {kVerifyRequestSent,        Sent(WM_MOUSEMOVE),
                               Default(WM_MOUSEMOVE),     Sent(WM_KEYDOWN),
                               Default(WM_KEYDOWN),       Sent(WM_SETCURSOR),
                               Default(WM_SETCURSOR),     kPostClose};
  Sequence::ExpectSequence(expected, traffic);
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

// ---- Tick arithmetic ----

TEST(ElapsedTicks, CountsForwardAndAcrossTheWrap) {
  EXPECT_EQ(ElapsedTicks(100, 300), 200u);
  EXPECT_EQ(ElapsedTicks(0xFFFFFF9Cu, 100), 200u);  // 100 ms before the wrap to 100 ms after it
  EXPECT_EQ(ElapsedTicks(7, 7), 0u);
  EXPECT_EQ(ElapsedTicks(1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ElapsedTicks(0, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
