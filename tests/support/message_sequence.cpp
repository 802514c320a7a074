// Expected window-message traffic as data, compared with the portable platform's call log.
#include "tests/support/message_sequence.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/test_hooks/test_hooks.h"

namespace Sequence {
namespace {

using TestHooks::LogKind;

unsigned KindOf(LogKind kind) {
  switch (kind) {
    case LogKind::SendMessage: return kSent;
    case LogKind::PostMessage: return kPosted;
    case LogKind::DispatchMessage: return kDispatched;
    case LogKind::DefWindowProc: return kDefault;
    default: return 0;
  }
}

const char* KindName(unsigned flags) {
  switch (flags & kKindFlags) {
    case kSent: return "sent";
    case kPosted: return "posted";
    case kDispatched: return "dispatched";
    case kDefault: return "defwinproc";
    default: return "?";
  }
}

bool Matches(const Row& expected, const Row& actual) {
  return expected.message == actual.message && (expected.flags & kKindFlags) == (actual.flags & kKindFlags) &&
         ((expected.flags & kWparam) == 0 || expected.wParam == actual.wParam) &&
         ((expected.flags & kLparam) == 0 || expected.lParam == actual.lParam);
}

}  // namespace

std::string Hex(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", value);
  return text;
}

std::string MessageName(UINT message) {
  switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SETTEXT: return "WM_SETTEXT";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_ACTIVATEAPP: return "WM_ACTIVATEAPP";
    case WM_SETCURSOR: return "WM_SETCURSOR";
    case WM_HELP: return "WM_HELP";
    case WM_CONTEXTMENU: return "WM_CONTEXTMENU";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_SYSKEYDOWN: return "WM_SYSKEYDOWN";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case WM_TIMER: return "WM_TIMER";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    case WM_MBUTTONDOWN: return "WM_MBUTTONDOWN";
    case WM_APP: return "WM_APP";
    default: return Hex(message);
  }
}

std::vector<Row> Logged(unsigned kinds, HWND window) {
  std::vector<Row> rows;
  for (const TestHooks::LoggedCall& call : TestHooks::CallLog()) {
    const unsigned kind = KindOf(call.kind);
    if ((kind & kinds) == 0) continue;
    if (window != nullptr && call.args[0] != reinterpret_cast<intptr_t>(window)) continue;
    rows.push_back(Row{static_cast<UINT>(call.args[1]), kind | kWparam | kLparam, static_cast<WPARAM>(call.args[2]),
                       call.args[3]});
  }
  return rows;
}

std::string Describe(const std::vector<Row>& rows) {
  std::string text;
  for (const Row& row : rows) {
    const std::string name = MessageName(row.message);
    text += "  {" + Hex(row.message) + (name != Hex(row.message) ? " " + name : "") + " " + KindName(row.flags);
    if ((row.flags & kWparam) != 0) text += " w=" + Hex(row.wParam);
    if ((row.flags & kLparam) != 0) text += " l=" + Hex(static_cast<unsigned long long>(row.lParam));
    text += "}\n";
  }
  return text;
}

void ExpectSequence(const std::vector<Row>& expected, const std::vector<Row>& actual) {
  bool same = actual.size() == expected.size();
  for (size_t i = 0; same && i < actual.size(); ++i) same = Matches(expected[i], actual[i]);
  EXPECT_TRUE(same) << "expected:\n" << Describe(expected) << "actual:\n" << Describe(actual);
}

}  // namespace Sequence
