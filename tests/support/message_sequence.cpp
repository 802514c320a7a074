// Expected traffic as data, compared with the portable platform's call log.
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
    case kCall: return "call";
    default: return "?";
  }
}

bool Matches(const Row& expected, const Row& actual) {
  if ((expected.flags & (kKindFlags | kParent)) != (actual.flags & (kKindFlags | kParent))) return false;
  if ((expected.flags & kCall) != 0) return expected.text == actual.text;
  return expected.message == actual.message && ((expected.flags & kWparam) == 0 || expected.wParam == actual.wParam) &&
         ((expected.flags & kLparam) == 0 || expected.lParam == actual.lParam);
}

std::string DescribeRow(const Row& row) {
  if ((row.flags & kCall) != 0) return "{call " + row.text + ((row.flags & kOptional) != 0 ? " (optional)}" : "}");
  const std::string name = MessageName(row.message);
  std::string text = "{" + Hex(row.message) + (name != Hex(row.message) ? " " + name : "") + " " + KindName(row.flags);
  if ((row.flags & kParent) != 0) text += " to parent";
  if ((row.flags & kWparam) != 0) text += " w=" + Hex(row.wParam);
  if ((row.flags & kLparam) != 0) text += " l=" + Hex(static_cast<unsigned long long>(row.lParam));
  if ((row.flags & kOptional) != 0) text += " (optional)";
  return text + "}";
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

Row Call(const std::string& text, unsigned flags) {
  Row row(0, kCall | flags);
  row.text = text;
  return row;
}

std::vector<Row> Logged(unsigned kinds, HWND window) {
  const HWND parent = window != nullptr ? GetParent(window) : nullptr;
  std::vector<Row> rows;
  for (const TestHooks::LoggedCall& call : TestHooks::CallLog()) {
    const unsigned kind = KindOf(call.kind);
    if ((kind & kinds) == 0) continue;
    const HWND target = reinterpret_cast<HWND>(call.args[0]);
    const bool toParent = window != nullptr && parent != nullptr && target == parent;
    if (window != nullptr && target != window && !toParent) continue;
    rows.emplace_back(static_cast<UINT>(call.args[1]), kind | kPinned | (toParent ? kParent : 0u),
                      static_cast<WPARAM>(call.args[2]), call.args[3]);
  }
  return rows;
}

std::string Describe(const std::vector<Row>& rows, size_t marked) {
  std::string text;
  for (size_t i = 0; i < rows.size(); ++i) {
    text += "  " + DescribeRow(rows[i]) + (i == marked ? "  <-- first difference" : "") + "\n";
  }
  if (marked == rows.size()) text += "  (ends here)  <-- first difference\n";
  return text;
}

// Expected rows are taken in order; an optional one that does not match the actual row is
// passed over, as is one that is left when the actual rows have run out.
void ExpectSequence(const std::vector<Row>& expected, const std::vector<Row>& actual) {
  size_t e = 0, a = 0;
  while (e < expected.size()) {
    if (a < actual.size() && Matches(expected[e], actual[a])) {
      ++e, ++a;
    } else if ((expected[e].flags & kOptional) != 0) {
      ++e;
    } else {
      break;
    }
  }
  if (e == expected.size() && a == actual.size()) return;
  ADD_FAILURE() << "the sequences differ at expected row " << e << ", actual row " << a << "\nexpected:\n"
                << Describe(expected, e) << "actual:\n"
                << Describe(actual, a);
}

}  // namespace Sequence
