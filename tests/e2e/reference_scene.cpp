// The scene as the saver's window shows it, drawn headless through SceneProc on the portable
// platform: the reference that rendered frames of other builds and tools are compared with.
#include "tests/e2e/reference_scene.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host/host_state.h"
#include "scene/scene_proc.h"

namespace {

constexpr DWORD kStartTick = 1000;
constexpr char kClassName[] = "ReferenceFrames";

std::string drive;
HWND window = nullptr;

// A drive folder of its own with the object file in its Windows directory.
bool PrepareDrive(const char* objectFile) {
  char folder[] = "/tmp/cubrix-frames-XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  drive = folder;
  if (mkdir((drive + "/windows").c_str(), 0755) != 0) return false;
  std::ifstream in(objectFile, std::ios::binary);
  std::ofstream out(drive + "/windows/Cube.dat", std::ios::binary);
  out << in.rdbuf();
  return in.good() && out.good();
}

void RemoveDrive() {
  if (drive.empty()) return;
  std::remove((drive + "/windows/Cube.dat").c_str());
  std::remove((drive + "/windows/times.dat").c_str());
  rmdir((drive + "/windows").c_str());
  rmdir(drive.c_str());
  drive.clear();
}

LRESULT CALLBACK FrameWindowProc(HWND frameWindow, UINT message, WPARAM wParam, LPARAM lParam) {
  return SceneProc(frameWindow, message, wParam, lParam);
}

}  // namespace

bool OpenReferenceScene(const char* objectFile, int width, int height) {
  if (!PrepareDrive(objectFile)) return false;
  TestHooks::ResetPlatform();
  UseVirtualClock(kStartTick);
  SetDriveOverride(drive);
  SetScreenSizeOverride(width, height);
  ResetSceneState();
  ResetHostState();
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = FrameWindowProc;
  windowClass.lpszClassName = kClassName;
  if (RegisterClassA(&windowClass) == 0) return false;
  window = CreateWindowExA(0, kClassName, "Screen Saver", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                           nullptr, nullptr);
  return window != nullptr && scene.sceneObject.faceCount > 0;
}

TestHooks::Pixels NextReferenceFrame(int* frameAngle) {
  SendMessageA(window, WM_TIMER, 1, 0);  // one frame, drawn and copied to the window
  *frameAngle = scene.frameAngle;
  return TestHooks::WindowPixels(window);
}

void CloseReferenceScene() {
  if (window != nullptr && IsWindow(window)) DestroyWindow(window);
  window = nullptr;
  TestHooks::ResetPlatform();
  ResetSceneState();
  RemoveDrive();
}
