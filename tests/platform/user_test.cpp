// Tests of the portable window manager: message order, re-entrancy, timers, destruction, queries.
#include <gtest/gtest-spi.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/portable/signals.h"
#include "platform/win32.h"
#include "tests/support/message_sequence.h"
#include "tests/support/platform_test.h"

using TestHooks::Call;
using TestHooks::HandleKind;
using TestHooks::LogKind;

namespace {

// ---- Message sequences, as data: every row here pins both parameters ----

using Sequence::Row;
constexpr unsigned kSentRow = Sequence::kSent | Sequence::kPinned;
constexpr unsigned kDispatchedRow = Sequence::kDispatched | Sequence::kPinned;
constexpr unsigned kDefaultRow = Sequence::kDefault | Sequence::kPinned;

// What reached one window since the log was cleared.
void ExpectSequence(HWND window, const std::vector<Row>& expected) {
  const unsigned kinds = Sequence::kSent | Sequence::kDispatched | Sequence::kDefault;
  Sequence::ExpectSequence(expected, Sequence::Logged(kinds, window));
}

// ---- A window whose behaviour each test sets ----

std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> behaviour;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (behaviour) return behaviour(window, message, wParam, lParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

class UserTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    behaviour = nullptr;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.lpszClassName = "TestClass";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
  }
  void TearDown() override {
    behaviour = nullptr;
    PlatformTest::TearDown();
  }
  HWND Create(DWORD style = WS_POPUP, HWND parent = nullptr, const char* title = "Test") {
    return CreateWindowExA(0, "TestClass", title, style, 0, 0, 640, 480, parent, nullptr, nullptr, nullptr);
  }
  // Dispatches whatever is pending now, without waiting.
  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
};

// Creating a visible window: WM_CREATE and WM_SHOWWINDOW are sent before CreateWindowExA
// returns; the first WM_PAINT waits in the queue.
const std::vector<Row> kCreateVisibleSequence = {
    {WM_CREATE, kSentRow, 0, 0},       {WM_CREATE, kDefaultRow, 0, 0},
    {WM_SHOWWINDOW, kSentRow, 1, 0},   {WM_SHOWWINDOW, kDefaultRow, 1, 0},
    {WM_PAINT, kDispatchedRow, 0, 0},  {WM_PAINT, kDefaultRow, 0, 0},
};

// A comparison that fails names the first row that differs in both sequences; an optional row
// may be there or not.
const std::vector<Row> kExpectedRows = {
    {WM_CREATE, kSentRow, 0, 0}, {WM_PAINT, kDispatchedRow, 0, 0}, {WM_CLOSE, kDispatchedRow, 0, 0}};
const std::vector<Row> kOneRowOff = {
    {WM_CREATE, kSentRow, 0, 0}, {WM_TIMER, kDispatchedRow, 0, 0}, {WM_CLOSE, kDispatchedRow, 0, 0}};
const std::vector<Row> kOneRowShort = {{WM_CREATE, kSentRow, 0, 0}, {WM_PAINT, kDispatchedRow, 0, 0}};
const std::vector<Row> kWithOptionalTimer = {{WM_CREATE, kSentRow, 0, 0},
                                             {WM_TIMER, kDispatchedRow | Sequence::kOptional, 0, 0},
                                             {WM_PAINT, kDispatchedRow, 0, 0}};

TEST(SequenceTest, AFailureMarksTheFirstRowThatDiffers) {
  EXPECT_NONFATAL_FAILURE(Sequence::ExpectSequence(kExpectedRows, kOneRowOff),
                          "WM_PAINT dispatched w=0x0 l=0x0}  <-- first difference");
  EXPECT_NONFATAL_FAILURE(Sequence::ExpectSequence(kExpectedRows, kOneRowOff),
                          "WM_TIMER dispatched w=0x0 l=0x0}  <-- first difference");
  EXPECT_NONFATAL_FAILURE(Sequence::ExpectSequence(kExpectedRows, kOneRowShort), "(ends here)  <-- first difference");
  Sequence::ExpectSequence(kWithOptionalTimer, kOneRowShort);
  Sequence::ExpectSequence(kWithOptionalTimer, {kOneRowOff[0], kOneRowOff[1], kOneRowShort[1]});
}

TEST_F(UserTest, CreatingAVisibleWindow) {
  HWND window = Create(WS_POPUP | WS_VISIBLE);
  ASSERT_NE(window, nullptr);
  Pump();
  ExpectSequence(window, kCreateVisibleSequence);
}

// A posted WM_CLOSE reaching the default procedure: the window is destroyed at once.
const std::vector<Row> kCloseSequence = {
    {WM_CLOSE, kDispatchedRow, 0, 0},
    {WM_CLOSE, kDefaultRow, 0, 0},
    {WM_DESTROY, kSentRow, 0, 0},
    {WM_DESTROY, kDefaultRow, 0, 0},
};

TEST_F(UserTest, DefaultProcedureDestroysOnCloseAndTheLoopEndsWithTheQuitValue) {
  behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(3);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = Create();
  TestHooks::ClearCallLog();
  PostMessageA(window, WM_CLOSE, 0, 0);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(IsWindow(window));
  ExpectSequence(window, kCloseSequence);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

// SendMessageA from inside a window procedure runs the nested message to its end first.
const std::vector<Row> kNestedSendSequence = {
    {WM_USER, kSentRow, 1, 0},
    {WM_USER + 1, kSentRow, 2, 0},
    {WM_USER + 1, kDefaultRow, 2, 0},
    {WM_USER, kDefaultRow, 1, 0},
};

TEST_F(UserTest, SendMessageIsImmediateAndReentrant) {
  behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_USER) {
      LRESULT inner = SendMessageA(window, WM_USER + 1, 2, 0);
      DefWindowProcA(window, message, wParam, lParam);
      return inner + 10;
    }
    if (message == WM_USER + 1) {
      DefWindowProcA(window, message, wParam, lParam);
      return 5;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = Create();
  TestHooks::ClearCallLog();
  EXPECT_EQ(SendMessageA(window, WM_USER, 1, 0), 15);
  ExpectSequence(window, kNestedSendSequence);
  EXPECT_EQ(SendMessageA(nullptr, WM_USER, 0, 0), 0);
}

// A procedure that runs its own message loop inside a sent message (as a password dialog does)
// still gets posted and timer messages meanwhile.
const std::vector<Row> kNestedLoopSequence = {
    {WM_APP, kSentRow, 0, 0},
    {WM_USER, kDispatchedRow, 0, 0},
    {WM_TIMER, kDispatchedRow, 9, 0},
    {WM_USER + 2, kDispatchedRow, 0, 0},
};

TEST_F(UserTest, NestedMessageLoopInsideSendMessage) {
  behaviour = [](HWND window, UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message != WM_APP) return 0;
    PostMessageA(window, WM_USER, 0, 0);
    SetTimer(window, 9, 100, nullptr);
    MSG msg;
    for (bool done = false; !done && GetMessageA(&msg, nullptr, 0, 0);) {
      DispatchMessageA(&msg);
      if (msg.message == WM_TIMER) {
        KillTimer(window, 9);
        PostMessageA(window, WM_USER + 2, 0, 0);
      }
      done = msg.message == WM_USER + 2;
    }
    return 1;
  };
  HWND window = Create();
  TestHooks::ClearCallLog();
  EXPECT_EQ(SendMessageA(window, WM_APP, 0, 0), 1);
  ExpectSequence(window, kNestedLoopSequence);
  EXPECT_EQ(GetTickCount(), 1100u);  // the virtual clock jumped to the timer
}

TEST_F(UserTest, PeekTakesOneMessageOfTheWindowAndRangeInOrder) {
  HWND first = Create();
  HWND second = Create();
  PostMessageA(first, WM_USER, 1, 0);
  PostMessageA(second, WM_USER, 2, 0);
  PostMessageA(first, WM_TIMER, 3, 0);
  PostMessageA(first, WM_USER, 4, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 2u);
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE | PM_NOYIELD));
  EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, first, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, first, WM_TIMER, WM_TIMER, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 4u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(UserTest, PostingToNoWindowFailsAndIsLogged) {
  auto bogus = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x20FFFFF0u));
  EXPECT_FALSE(PostMessageA(bogus, WM_CLOSE, 0, 0));
  auto posts = TestHooks::CallLogOf(LogKind::PostMessage);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].args[1], WM_CLOSE);
}

TEST_F(UserTest, QuitComesAfterPostedMessagesAndBeforeTimers) {
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  AdvanceVirtualClock(60);
  PostQuitMessage(0);
  PostMessageA(window, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
}

TEST_F(UserTest, TimerFiresWhenDueAndOnlyWhenNothingElseWaits) {
  HWND window = Create();
  EXPECT_EQ(SetTimer(window, 1, 50, nullptr), 1u);
  MSG msg;
  AdvanceVirtualClock(49);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  AdvanceVirtualClock(1);
  PostMessageA(window, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(msg.time, 1050u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(UserTest, OverdueTimerGivesOneMessageNotAPile) {
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  AdvanceVirtualClock(500);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  AdvanceVirtualClock(50);
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(UserTest, PeekWithoutRemoveLeavesTheTimerPending) {
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  AdvanceVirtualClock(50);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD));
  EXPECT_FALSE(PeekMessageA(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE | PM_NOYIELD));
}

TEST_F(UserTest, GetMessageWaitsForTheNextTimerOnTheVirtualClock) {
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  SetTimer(window, 2, 0, nullptr);  // raised to the 10 ms minimum
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 2u);
  EXPECT_EQ(GetTickCount(), 1010u);
  EXPECT_TRUE(KillTimer(window, 2));
  EXPECT_FALSE(KillTimer(window, 2));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_EQ(GetTickCount(), 1050u);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Timer), 1);
  SetTimer(window, 1, 20, nullptr);  // the same timer again: replaced, not added
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Timer), 1);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(GetTickCount(), 1070u);
}

TEST_F(UserTest, TimersOfAWindowGoWithIt) {
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  PostMessageA(window, WM_USER, 0, 0);
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x20FFFFF0u)), 1, 50, nullptr), 0u);
  EXPECT_EQ(SetTimer(nullptr, 1, 50, nullptr), 0u);
  TestHooks::FailCall(Call::SetTimer);
  EXPECT_EQ(SetTimer(window, 2, 50, nullptr), 0u);
  DestroyWindow(window);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Timer), 0);
  AdvanceVirtualClock(100);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

// Destroying a parent: WM_DESTROY reaches the parent first, then its child.
TEST_F(UserTest, DestroyingAParentDestroysItsChildrenAfterIt) {
  std::vector<HWND> destroyed;
  behaviour = [&destroyed](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) destroyed.push_back(window);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND parent = Create();
  HWND child = Create(WS_CHILD | WS_VISIBLE, parent, "Preview");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(GetParent(child), parent);
  EXPECT_EQ(GetParent(parent), nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 2);
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(destroyed, (std::vector<HWND>{parent, child}));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(parent));
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(UserTest, DestroyWindowInsideWmDestroyIsRefused) {
  BOOL nested = TRUE;
  behaviour = [&nested](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) nested = DestroyWindow(window);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = Create();
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(nested);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(UserTest, CreationFailures) {
  behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_CREATE) return -1;
    return DefWindowProcA(window, message, wParam, lParam);
  };
  EXPECT_EQ(Create(), nullptr);  // WM_CREATE refused it
  behaviour = nullptr;
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(Create(WS_CHILD), nullptr);  // a child needs a parent
  EXPECT_EQ(Create(WS_CHILD, reinterpret_cast<HWND>(static_cast<uintptr_t>(0x20FFFFF0u))), nullptr);
  TestHooks::FailCall(Call::CreateWindow);
  EXPECT_EQ(Create(), nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Window), 0);
}

TEST_F(UserTest, ClassRegistrationFailures) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TestWindowProc;
  windowClass.lpszClassName = "testclass";
  EXPECT_EQ(RegisterClassA(&windowClass), 0);  // already there, whatever the case
  windowClass.lpszClassName = "Other";
  TestHooks::FailCall(Call::RegisterClass);
  EXPECT_EQ(RegisterClassA(&windowClass), 0);
  EXPECT_NE(RegisterClassA(&windowClass), 0);
}

// A long run of resets, as a fuzzer makes, must not use up the class atoms: atom 0 means failure.
TEST_F(UserTest, ClassAtomsStartAfreshOnResetAndNeverWrapToZero) {
  TestHooks::ResetPlatform();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TestWindowProc;
  windowClass.lpszClassName = "Fresh";
  const ATOM first = RegisterClassA(&windowClass);
  TestHooks::ResetPlatform();
  EXPECT_EQ(RegisterClassA(&windowClass), first);
  std::vector<std::string> names;
  for (int i = 0; i < 0x4000; ++i) names.push_back("class" + std::to_string(i));
  int registered = 1;
  for (const std::string& name : names) {
    windowClass.lpszClassName = name.c_str();
    if (RegisterClassA(&windowClass) == 0) break;
    ++registered;
  }
  EXPECT_EQ(registered, 0x4000);  // 0xC000..0xFFFF, then the table is full
}

TEST_F(UserTest, WindowQueries) {
  SetScreenSizeOverride(800, 600);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
  HWND saver = Create(WS_POPUP, nullptr, "Screen Saver");
  HWND child = Create(WS_CHILD, saver, "Screen Saver");
  EXPECT_EQ(FindWindowA("TESTCLASS", "screen saver"), saver);
  EXPECT_EQ(FindWindowA("TestClass", "Preview"), nullptr);
  EXPECT_EQ(FindWindowA("Other", nullptr), nullptr);
  RECT rect{};
  ASSERT_TRUE(GetClientRect(child, &rect));
  EXPECT_EQ(rect.right, 640);
  EXPECT_EQ(rect.bottom, 480);
  EXPECT_FALSE(GetClientRect(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x20FFFFF0u)), &rect));
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_TRUE(SetForegroundWindow(saver));
  EXPECT_EQ(GetForegroundWindow(), saver);
  DestroyWindow(saver);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(100)), nullptr);
}

TEST_F(UserTest, CursorIsInjectedAndHiddenByANullCursor) {
  SetInjectedCursor(POINT{12, -3});
  POINT point{};
  ASSERT_TRUE(GetCursorPos(&point));
  EXPECT_EQ(point.x, 12);
  EXPECT_EQ(point.y, -3);
  EXPECT_FALSE(PointerHidden());
  SetCursor(nullptr);
  EXPECT_TRUE(PointerHidden());
  EXPECT_EQ(TestHooks::CallLogOf(LogKind::SetCursor).size(), 1u);
}

TEST_F(UserTest, ScreenSaverRunningFlagReportsThePreviousState) {
  DWORD previous = 0xAAAAAAAAu;
  EXPECT_TRUE(SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 1, &previous, 0));
  EXPECT_EQ(previous, 0u);
  EXPECT_TRUE(SaverRunningFlag());
  EXPECT_TRUE(SystemParametersInfoA(SPI_SCREENSAVERRUNNING, 0, &previous, 0));
  EXPECT_EQ(previous, 1u);
  EXPECT_FALSE(SaverRunningFlag());
  EXPECT_FALSE(SystemParametersInfoA(0, 0, nullptr, 0));
}

TEST_F(UserTest, TerminationSignalDestroysTheWindowsAndEndsTheLoop) {
  behaviour = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
  };
  HWND window = Create();
  SetTimer(window, 1, 50, nullptr);
  InstallTerminationHandler();
  struct sigaction installed {};
  sigaction(SIGTERM, nullptr, &installed);
  EXPECT_NE(installed.sa_flags & SA_RESTART, 0) << "the clean-up's writes would fail with EINTR";
  raise(SIGTERM);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
  EXPECT_FALSE(IsWindow(window));
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
}

}  // namespace
