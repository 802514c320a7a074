// Shared by the host's hook-based tests: a recording stand-in for the scene, a clean platform per
// test, and the platform's call log rendered as readable traffic lines.
#include "tests/host/host_test_support.h"


#include "host/default_handler.h"
#include "host/host_state.h"

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

namespace {

}  // namespace

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

std::vector<std::string> HostTest::Traffic(const std::vector<LogKind>& kinds) const {
  std::vector<TestHooks::LoggedCall> log = TestHooks::CallLog();
  std::vector<std::string> lines;
  size_t nextScene = 0;
  auto flushScene = [&](size_t position) {
    while (nextScene < sceneDouble.calls.size() && sceneDouble.calls[nextScene].platformCallsBefore <= position) {
      lines.push_back("SceneProc " + MessageName(sceneDouble.calls[nextScene].message));
      ++nextScene;
    }
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
        lines.push_back("PostMessage " + HandleName(a[0]) + " " + MessageName(static_cast<UINT>(a[1])) + " " +
                        HandleName(a[2]) + " " + std::to_string(a[3]));
        break;
      case LogKind::DefWindowProc:
        lines.push_back("DefWindowProc " + MessageName(static_cast<UINT>(a[1])));
        break;
      case LogKind::Sleep:
        lines.push_back("Sleep " + std::to_string(a[0]));
        break;
      case LogKind::SetCursor:
        lines.push_back("SetCursor " + HandleName(a[0]));
        break;
      case LogKind::SetForegroundWindow:
        lines.push_back("SetForegroundWindow " + HandleName(a[0]));
        break;
      case LogKind::SystemParametersInfo:
        lines.push_back("SystemParametersInfo " + std::to_string(a[0]) + " " + std::to_string(a[1]));
        break;
      case LogKind::LoadLibrary:
        lines.push_back("LoadLibrary " + call.text + (a[0] ? "" : " failed"));
        break;
      case LogKind::FreeLibrary:
        lines.push_back("FreeLibrary");
        break;
      case LogKind::RegisterClass:
        lines.push_back("RegisterClass " + call.text);
        break;
      case LogKind::CreateWindow:
        lines.push_back("CreateWindow " + call.text + " parent " + HandleName(a[3]));
        break;
      case LogKind::DestroyWindow:
        lines.push_back("DestroyWindow " + HandleName(a[0]));
        break;
      case LogKind::RegOpenKey:
        lines.push_back("RegOpenKey " + call.text + (a[0] == ERROR_SUCCESS ? "" : " failed"));
        break;
      case LogKind::EndDialog:
        lines.push_back("EndDialog " + HandleName(a[0]) + " " + std::to_string(a[1]));
        break;
      default:
        lines.push_back("call of kind " + std::to_string(static_cast<int>(call.kind)));
        break;
    }
  }
  flushScene(log.size());
  return lines;
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
