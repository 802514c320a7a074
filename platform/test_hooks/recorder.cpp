// The recorder the test library installs in the platform's seam: injected faults, the call log
// and live-handle counts, all kept here and written only through the recorder's hooks.
#include <map>
#include <string>
#include <vector>

#include "platform/test_hooks/test_hooks.h"

namespace {

std::map<TestHooks::Call, int> pendingFaults;  // calls still to pass before the failing one
std::vector<TestHooks::LoggedCall> callLog;
std::map<TestHooks::HandleKind, int> liveHandles;

bool InjectedFailureNow(TestHooks::Call call) {
  auto fault = pendingFaults.find(call);
  if (fault == pendingFaults.end()) return false;
  if (--fault->second > 0) return false;
  pendingFaults.erase(fault);
  return true;
}

void RecordCall(TestHooks::LogKind kind, intptr_t a, intptr_t b, intptr_t c, intptr_t d, const char* text) {
  callLog.push_back(TestHooks::LoggedCall{kind, {a, b, c, d}, text != nullptr ? text : ""});
}

void RecordHandle(TestHooks::HandleKind kind, int delta) { liveHandles[kind] += delta; }

const Seam::Recorder kRecorder{InjectedFailureNow, RecordCall, RecordHandle};

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

// The platform's own reset still reports to the recorder; what it reports is then let go.
void TestHooks::ResetPlatform() {
  ResetPortablePlatform();
  pendingFaults.clear();
  callLog.clear();
  liveHandles.clear();
  Seam::InstallRecorder(&kRecorder);
}
