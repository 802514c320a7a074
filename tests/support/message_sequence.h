// Expected window-message traffic as data, compared with the portable platform's call log.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace Sequence {

// What happened to a message (one of the first four), and which parameters a row pins.
enum Flag : unsigned {
  kSent = 1u << 0,        // SendMessageA
  kPosted = 1u << 1,      // PostMessageA
  kDispatched = 1u << 2,  // DispatchMessageA of a message taken from the queue
  kDefault = 1u << 3,     // DefWindowProcA
  kWparam = 1u << 4,      // the row's wParam must match
  kLparam = 1u << 5,      // the row's lParam must match
};
constexpr unsigned kKindFlags = kSent | kPosted | kDispatched | kDefault;

struct Row {
  UINT message;
  unsigned flags;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// The logged messages of the given kinds, to one window or (null) to any, as rows that pin both
// parameters.
std::vector<Row> Logged(unsigned kinds, HWND window = nullptr);

// A message's name, e.g. "WM_TIMER", or its number in hex when it has none here.
std::string MessageName(UINT message);
// A number in hex, e.g. "0x1A".
std::string Hex(unsigned long long value);

// One line per row: message in hex and by name, kind, and the parameters the row pins.
std::string Describe(const std::vector<Row>& rows);

// Row by row: message and kind always, wParam and lParam where the expected row pins them. A
// difference fails the test with both sequences.
void ExpectSequence(const std::vector<Row>& expected, const std::vector<Row>& actual);

}  // namespace Sequence

using Sequence::Hex;
using Sequence::MessageName;
