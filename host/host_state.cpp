// The one process-wide record of the saver host, at its start values.
#include "host/host_state.h"

namespace {

constexpr DWORD kStartMoveThreshold = 4;  // pixels of pointer travel tolerated before a close

HostState StartHostState() {
  HostState start{};
  start.moveThreshold = kStartMoveThreshold;
  start.lastCheckEnd = kNoCheckYet;
  return start;
}

}  // namespace

HostState hostState = StartHostState();

void ResetHostState() { hostState = StartHostState(); }
