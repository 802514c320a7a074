// Shared by the host's hook-based tests: a recording stand-in for the scene, a clean platform per
// test, and the platform's call log as rows of traffic.
#include "tests/host/host_test_support.h"

#include "host/default_handler.h"
#include "host/host_state.h"

using Sequence::Call;
using Sequence::Row;
using TestHooks::LogKind;

SceneDouble sceneDouble;

// The scene's message entry, replaced for the host's tests so that what reaches the scene is seen.
LRESULT SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  sceneDouble.calls.push_back({window, message, wParam, lParam, TestHooks::CallLog().size()});
  if (message == WM_CREATE && sceneDouble.onCreate) sceneDouble.onCreate(window);
  if (message == WM_USER && sceneDouble.onUser) sceneDouble.onUser(window, wParam);
  if (sceneDouble.handOnToDefault) return HostDefaultHandler(window, message, wParam, lParam);
  return kSceneAnswer;
}

void HostTest::SetUp() {
  PlatformTest::SetUp();
  FreshPlatform();
}

void HostTest::FreshPlatform() {
  ResetPlatform();
  ResetHostState();
  sceneDouble = SceneDouble{};
  names_.clear();
  TestHooks::ClearCallLog();
}

void HostTest::NameWindow(HWND window, const std::string& name) {
  names_.emplace_back(reinterpret_cast<intptr_t>(window), name);
}

std::string HostTest::HandleName(intptr_t handle) const {
  if (handle == 0) return "null";
  for (const auto& [known, name] : names_) {
    if (known == handle) return name;
  }
  return Hex(static_cast<unsigned long long>(handle));
}

std::vector<Row> HostTest::Traffic(const std::vector<LogKind>& kinds, HWND window) const {
  const intptr_t parent = window != nullptr ? reinterpret_cast<intptr_t>(GetParent(window)) : 0;
  std::vector<TestHooks::LoggedCall> log = TestHooks::CallLog();
  std::vector<Row> rows;
  size_t nextScene = 0;
  auto flushScene = [&](size_t position) {
    while (nextScene < sceneDouble.calls.size() && sceneDouble.calls[nextScene].platformCallsBefore <= position) {
      rows.push_back(Call("SceneProc " + MessageName(sceneDouble.calls[nextScene].message)));
      ++nextScene;
    }
  };
  auto message = [&](unsigned kind, const intptr_t* a) {
    const unsigned toParent = parent != 0 && a[0] == parent ? Sequence::kParent : 0u;
    return Row(static_cast<UINT>(a[1]), kind | toParent | Sequence::kPinned, static_cast<WPARAM>(a[2]), a[3]);
  };
  for (size_t i = 0; i < log.size(); ++i) {
    flushScene(i);
    const TestHooks::LoggedCall& call = log[i];
    bool wanted = false;
    for (LogKind kind : kinds) wanted = wanted || kind == call.kind;
    if (!wanted) continue;
    const intptr_t* a = call.args;
    switch (call.kind) {
      case LogKind::PostMessage:
        rows.push_back(message(Sequence::kPosted, a));
        break;
      case LogKind::SendMessage:
        rows.push_back(message(Sequence::kSent, a));
        break;
      case LogKind::DefWindowProc:
        rows.push_back(message(Sequence::kDefault, a));
        break;
      case LogKind::Sleep:
        rows.push_back(Call("Sleep " + std::to_string(a[0])));
        break;
      case LogKind::SetCursor:
        rows.push_back(Call("SetCursor " + HandleName(a[0])));
        break;
      case LogKind::SetForegroundWindow:
        rows.push_back(Call("SetForegroundWindow " + HandleName(a[0])));
        break;
      case LogKind::SystemParametersInfo:
        rows.push_back(Call("SystemParametersInfo " + std::to_string(a[0]) + " " + std::to_string(a[1])));
        break;
      case LogKind::LoadLibrary:
        rows.push_back(Call("LoadLibrary " + call.text + (a[0] ? "" : " failed")));
        break;
      case LogKind::FreeLibrary:
        rows.push_back(Call("FreeLibrary"));
        break;
      case LogKind::RegisterClass:
        rows.push_back(Call("RegisterClass " + call.text));
        break;
      case LogKind::CreateWindow:
        rows.push_back(Call("CreateWindow " + call.text + " parent " + HandleName(a[3])));
        break;
      case LogKind::DestroyWindow:
        rows.push_back(Call("DestroyWindow " + HandleName(a[0])));
        break;
      case LogKind::RegOpenKey:
        rows.push_back(Call("RegOpenKey " + call.text + (a[0] == ERROR_SUCCESS ? "" : " failed")));
        break;
      case LogKind::EndDialog:
        rows.push_back(Call("EndDialog " + HandleName(a[0]) + " " + std::to_string(a[1])));
        break;
      default:
        rows.push_back(Call("call of kind " + std::to_string(static_cast<int>(call.kind))));
        break;
    }
  }
  flushScene(log.size());
  return rows;
}

std::vector<Row> Calls(const std::vector<std::string>& texts) {
  std::vector<Row> rows;
  for (const std::string& text : texts) rows.push_back(Call(text));
  return rows;
}

LRESULT TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeTestWindow(const char* title) {
  WNDCLASSA plain{};
  plain.lpfnWndProc = TestWindowProc;
  plain.lpszClassName = "CubrixTestWindow";
  RegisterClassA(&plain);  // fails harmlessly when the class is known already
  return CreateWindowExA(0, "CubrixTestWindow", title, WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                         nullptr, nullptr);
}
