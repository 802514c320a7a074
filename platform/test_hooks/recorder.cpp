// The test hooks' own state: injected faults, the call log, live-handle counts, the virtual clock.
#include <map>
#include <string>
#include <vector>

#include "platform/portable/hooks_internal.h"
#include "platform/portable/kernel_internal.h"
#include "platform/test_hooks.h"

namespace {

std::map<TestHooks::Call, int> pendingFaults;  // calls still to pass before the failing one
std::vector<TestHooks::LoggedCall> callLog;
// Only tests read the log: a saver run by a test program must not grow it frame after frame.
bool recordingCalls = false;
std::map<TestHooks::HandleKind, int> liveHandles;
VirtualClock testClock;

bool InjectedFailureNow(TestHooks::Call call) {
  auto fault = pendingFaults.find(call);
  if (fault == pendingFaults.end()) return false;
  if (--fault->second > 0) return false;
  pendingFaults.erase(fault);
  return true;
}

void RecordCall(TestHooks::LogKind kind, intptr_t a, intptr_t b, intptr_t c, intptr_t d, const char* text) {
  if (!recordingCalls) return;
  callLog.push_back(TestHooks::LoggedCall{kind, {a, b, c, d}, text != nullptr ? text : ""});
}

void RecordHandle(TestHooks::HandleKind kind, int delta) { liveHandles[kind] += delta; }

const HookRecorder kRecorder{InjectedFailureNow, RecordCall, RecordHandle};

// Linking the hooks plugs them in before main(), so handles are counted from the start.
[[maybe_unused]] const bool kPluggedIn = (hookRecorder = &kRecorder, true);

}  // namespace

void TestHooks::FailCall(Call which, int nth) {
  if (nth > 0) pendingFaults[which] = nth;
}

std::vector<TestHooks::LoggedCall> TestHooks::CallLog() { return callLog; }

void TestHooks::ClearCallLog() { callLog.clear(); }

std::vector<TestHooks::LoggedCall> TestHooks::CallLogOf(LogKind kind) {
  std::vector<LoggedCall> matching;
  for (const LoggedCall& call : callLog) {
    if (call.kind == kind) matching.push_back(call);
  }
  return matching;
}

int TestHooks::LiveHandles(HandleKind kind) { return liveHandles[kind]; }

void TestHooks::UseVirtualClock(DWORD start) {
  testClock = VirtualClock{start, 0};
  virtualClock = &testClock;
}

void TestHooks::AdvanceClock(DWORD milliseconds) { AdvanceVirtualClock(milliseconds); }

// Windows go first, while the areas they call into still hold their state.
void TestHooks::ResetPlatform() {
  ResetUser();
  ResetSignals();
  ResetDialogs();
  ResetGdi();
  ResetRegistry();
  ResetKernel();
  ResetFiles();
  virtualClock = nullptr;
  pendingFaults.clear();
  callLog.clear();
  liveHandles.clear();
  recordingCalls = true;
  hookRecorder = &kRecorder;
}
