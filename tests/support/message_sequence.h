// Expected traffic as data, compared with the portable platform's call log: one row type for every
// sequence test, for window messages and for the other calls a test follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace Sequence {

// What a row stands for (one of the first five), and how it is compared. Each name has one
// meaning everywhere.
enum Flag : unsigned {
  kSent = 1u << 0,        // SendMessageA
  kPosted = 1u << 1,      // PostMessageA
  kDispatched = 1u << 2,  // DispatchMessageA of a message taken from the queue
  kDefault = 1u << 3,     // DefWindowProcA
  kCall = 1u << 4,        // another call, named by the row's text ("Sleep 0", "SceneProc WM_TIMER")
  kParent = 1u << 5,      // a message to the parent of the window followed, not to the window
  kWparam = 1u << 6,      // the row's wParam must match
  kLparam = 1u << 7,      // the row's lParam must match
  kOptional = 1u << 8,    // may be missing: the platforms differ here
};
constexpr unsigned kKindFlags = kSent | kPosted | kDispatched | kDefault | kCall;
constexpr unsigned kPinned = kWparam | kLparam;

struct Row {
  Row(UINT what, unsigned how, WPARAM w = 0, LPARAM l = 0) : message(what), flags(how), wParam(w), lParam(l) {}
  UINT message;
  unsigned flags;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;  // a kCall row's call
};

// A row for another call, by its text.
Row Call(const std::string& text, unsigned flags = 0);

// The logged messages of the given kinds, to one window (and, flagged kParent, to its parent) or,
// with a null window, to any, as rows that pin both parameters.
std::vector<Row> Logged(unsigned kinds, HWND window = nullptr);

// A message's name, e.g. "WM_TIMER", or its number in hex when it has none here.
std::string MessageName(UINT message);
// A number in hex, e.g. "0x1A".
std::string Hex(unsigned long long value);

// One line per row: message in hex and by name and its kind, or the call; the parameters the
// row pins. The row at `marked` is marked as the first that differs (at the end when the other
// sequence is longer).
std::string Describe(const std::vector<Row>& rows, size_t marked = SIZE_MAX);

// Row by row: kind, and message or call, always; wParam and lParam where the expected row pins
// them; an optional expected row may be missing. A difference fails the test with both
// sequences, the first row that differs marked in each.
void ExpectSequence(const std::vector<Row>& expected, const std::vector<Row>& actual);

}  // namespace Sequence

using Sequence::Hex;
using Sequence::MessageName;
