// Fuzzes the command line: finding the argument text, the switch scan, reading a window handle,
// and whole dispatches with each mode run against the portable platform's hooks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/host_state.h"
#include "host/startup.h"
#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"

namespace {

// The longest input worth trying: longer texts only repeat what shorter ones reach.
constexpr size_t kLongestText = 4096;

int lastResult = 0;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "command line fuzz: %s (the mode gave %d)\n", what, lastResult);
  std::abort();
}

// What the digits at the start of the text are worth modulo 2^32, worked out in 64 bits.
uint32_t ReferenceHandle(const char* text) {
  uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = (value * 10 + static_cast<uint64_t>(*text - '0')) % 0x100000000u;
  return static_cast<uint32_t>(value);
}

// A drive folder of this process's own, made on first use and removed when the process ends.
std::string fuzzDrive;

void RemoveFuzzDrive() { std::filesystem::remove_all(fuzzDrive); }

const std::string& FuzzDrive() {
  if (fuzzDrive.empty()) {
    char pattern[] = "/tmp/cubrix-fuzz-XXXXXX";
    Require(mkdtemp(pattern) != nullptr, "cannot make a drive folder");
    fuzzDrive = pattern;
    std::atexit(RemoveFuzzDrive);
  }
  return fuzzDrive;
}

void CloseAtOnce(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

void PrepareModes(bool win95) {
  TestHooks::ResetPlatform();
  SetDriveOverride(FuzzDrive());
  UseVirtualClock(0);
  SetWin95Override(win95 ? Win95Override::Yes : Win95Override::No);
  SetDialogDriverHook([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); });
  ResetHostState();
}

}  // namespace

// The scene is not what is fuzzed here: a stand-in that ends every run as soon as it starts.
LRESULT SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) CloseAtOnce(window);
  return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kLongestText) return 0;
  bool win95 = (data[0] & 1) != 0;
  std::string commandLine(reinterpret_cast<const char*>(data + 1), size - 1);
  commandLine = commandLine.c_str();  // the system's text ends at its first zero byte

  LPCSTR argumentText = FindArgumentText(commandLine.c_str());
  Require(argumentText >= commandLine.c_str() && argumentText <= commandLine.c_str() + commandLine.size(),
          "argument text outside the command line");
  CommandChoice choice = ScanArgumentText(argumentText, win95);
  Require(choice.rest >= argumentText && choice.rest <= commandLine.c_str() + commandLine.size(),
          "scan left the argument text");
  Require(ParseWindowHandle(choice.rest) == ReferenceHandle(choice.rest), "handle value differs from 64-bit reference");

  PrepareModes(win95);
  int result = DispatchCommandLine(reinterpret_cast<HINSTANCE>(0x400000), argumentText);
  lastResult = result;
  switch (choice.mode) {
    case SaverMode::Refused:
      Require(result == -1, "a refused switch must end with -1");
      break;
    case SaverMode::Preview:
      Require(result == 0 || result == -1, "a preview ends with 0 or -1");
      break;
    default:
      Require(result == 0, "this mode ends with 0");
      break;
  }
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::Window) == 0, "a window outlived its mode");
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::Module) == 0, "a module outlived its mode");
  return 0;
}
