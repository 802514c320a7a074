// Shared by the host's hook-based tests: a recording stand-in for the scene, a clean platform per
// test, and the platform's call log rendered as readable traffic lines.
#include "tests/host/host_test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

// A folder of the test's own, so that nothing outside it is ever written or removed.
std::string MakeDriveFolder() {
  std::string pattern = ::testing::TempDir() + "cubrix-host-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) ADD_FAILURE() << "cannot make a folder in " << ::testing::TempDir();
  return buffer.data();
}

std::string Hex(intptr_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

void HostTest::SetUp() {
  driveFolder_ = MakeDriveFolder();
  FreshPlatform();
}

void HostTest::FreshPlatform() {
  TestHooks::ResetPlatform();
  TestHooks::SetDriveFolder(driveFolder_);
  TestHooks::UseVirtualClock(1000);
  ResetHostState();
  sceneDouble = SceneDouble{};
  names_.clear();
  TestHooks::ClearCallLog();
}

void HostTest::TearDown() {
  TestHooks::ResetPlatform();
  std::error_code error;
  std::filesystem::remove_all(driveFolder_, error);
  EXPECT_FALSE(error) << "cannot remove " << driveFolder_ << ": " << error.message();
}

void HostTest::NameWindow(HWND window, const std::string& name) {
  names_.emplace_back(reinterpret_cast<intptr_t>(window), name);
}

std::string HostTest::HandleName(intptr_t handle) const {
  if (handle == 0) return "null";
  for (const auto& [known, name] : names_) {
    if (known == handle) return name;
  }
  return Hex(handle);
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
