// The scene driver: builds the back buffer and loads the Object on creation, draws one frame per
// timer tick, writes the run statistics and releases everything on destruction.
#include "scene/scene_proc.h"

#include <cstdio>

#include "geometry/depth_order.h"
#include "geometry/trig_tables.h"
#include "host/default_handler.h"
#include "scene/colour_table.h"
#include "scene/palette.h"
#include "scene/renderer.h"
#include "scene/run_statistics.h"

namespace {

SceneState StartSceneState() {
  SceneState start{};
  start.lastColourIndex = kWhiteBrushSelected;
  return start;
}

constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT kFramePeriodMs = 50;
constexpr int32_t kDegreesPerFrame = 2;
constexpr int32_t kFrameAngleWrap = 359;  // above 359 the angle drops by 359, not 360
constexpr UINT kWindowsDirectoryChars = 1024;
constexpr const char kObjectFileFormat[] = "%s\\Cube.dat";
constexpr const char kLoadFailureCaption[] = "LoadObject";

int32_t ClientWidth() { return scene.clientRect.right - scene.clientRect.left; }
int32_t ClientHeight() { return scene.clientRect.bottom - scene.clientRect.top; }

void SetClientArea(const RECT& client) {
  scene.clientRect = client;
  scene.centreX = ClientWidth() / 2;
  scene.centreY = ClientHeight() / 2;
}

void CreateBackBuffer(HDC reference) {
  scene.backDC = CreateCompatibleDC(reference);
  scene.backBitmap = CreateCompatibleBitmap(reference, ClientWidth(), ClientHeight());
  scene.savedBitmap = SelectObject(scene.backDC, scene.backBitmap);
}

void SelectDrawingObjects() {
  // Every Face is outlined with a one-pixel black line.
  scene.savedBrush = SelectObject(scene.backDC, GetStockObject(WHITE_BRUSH));
  scene.savedPen = SelectObject(scene.backDC, GetStockObject(BLACK_PEN));
  scene.lastColourIndex = kWhiteBrushSelected;
  scene.scenePalette = BuildPalette();
  if (scene.scenePalette != nullptr) scene.savedPalette = SelectPalette(scene.backDC, scene.scenePalette, FALSE);
}

void BuildBackBuffer(HWND window) {
  HDC windowDC = GetDC(window);
  CreateBackBuffer(windowDC);
  ReleaseDC(window, windowDC);
  SelectDrawingObjects();
}

void LoadSceneObject(HWND window) {
  char directory[kWindowsDirectoryChars];
  UINT length = GetWindowsDirectoryA(directory, kWindowsDirectoryChars);
  // Without the Windows directory there is no object file to read, rather than one elsewhere.
  int32_t result = kFileUnreadable;
  if (length > 0 && length < kWindowsDirectoryChars) {
    char path[kWindowsDirectoryChars + sizeof kObjectFileFormat];
    std::snprintf(path, sizeof path, kObjectFileFormat, directory);
    result = LoadPosedObject(path);
  }
  if (result != kLoadSucceeded) {
    MessageBoxA(window, LoadResultMessage(result), kLoadFailureCaption, MB_OK | MB_ICONWARNING);
    return;  // no timer: no frame is ever drawn in this run
  }
  SetTimer(window, kAnimationTimer, kFramePeriodMs, nullptr);
}

void CreateScene(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  SetClientArea(client);
  BuildBackBuffer(window);
  BuildTrigTables();
  LoadSceneObject(window);
  scene.startTick = GetTickCount();
}

void ComposeFrame() {
  FillRect(scene.backDC, &scene.clientRect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  DepthRecord instances[kInstanceCount];
  LayOutInstances(scene.frameAngle, instances);
  SortByDepth(instances, kInstanceCount);
  for (const DepthRecord& instance : instances) {
    DrawInstance(scene.backDC, scene.sceneObject, instance.position, scene.frameAngle, kAxisY);
  }
}

void DrawFrame(HWND window) {
  scene.frameAngle = NextFrameAngle(scene.frameAngle);
  HDC windowDC = GetDC(window);
  HPALETTE keptPalette = nullptr;
  if (scene.scenePalette != nullptr) {
    keptPalette = SelectPalette(windowDC, scene.scenePalette, FALSE);
    RealizePalette(windowDC);
  }
  ComposeFrame();
  BitBlt(windowDC, 0, 0, ClientWidth(), ClientHeight(), scene.backDC, 0, 0, SRCCOPY);
  if (scene.scenePalette != nullptr) SelectPalette(windowDC, keptPalette, FALSE);
  ReleaseDC(window, windowDC);
  if (scene.frameCount < INT32_MAX) ++scene.frameCount;
}

// Puts back what backDC held, then deletes the scene's own objects.
void ReleaseBackBuffer() {
  SelectObject(scene.backDC, scene.savedBitmap);
  SelectObject(scene.backDC, scene.savedBrush);
  SelectObject(scene.backDC, scene.savedPen);
  if (scene.scenePalette != nullptr) {
    SelectPalette(scene.backDC, scene.savedPalette, FALSE);
    DeleteObject(scene.scenePalette);
  }
  DeleteObject(scene.backBitmap);
  DeleteDC(scene.backDC);
  scene.backDC = nullptr;
  scene.backBitmap = nullptr;
  scene.scenePalette = nullptr;
}

void DestroyScene(HWND window) {
  scene.endTick = GetTickCount();
  WriteRunStatistics(kRunStatisticsPath, scene.startTick, scene.endTick, scene.frameCount);
  KillTimer(window, kAnimationTimer);
  ReleaseScene();
}

}  // namespace

int32_t NextFrameAngle(int32_t frameAngle) {
  frameAngle += kDegreesPerFrame;
  return frameAngle > kFrameAngleWrap ? frameAngle - kFrameAngleWrap : frameAngle;
}

void BuildScene(HDC reference, const RECT& client) {
  SetClientArea(client);
  CreateBackBuffer(reference);
  SelectDrawingObjects();
  BuildTrigTables();
}

int32_t LoadPosedObject(const char* path) {
  int32_t result = LoadObject(scene.sceneObject, path);
  if (result == kLoadSucceeded) PoseObject(scene.sceneObject);
  return result;
}

void DrawNextFrame() {
  scene.frameAngle = NextFrameAngle(scene.frameAngle);
  ComposeFrame();
}

void ReleaseScene() {
  FreeObject(scene.sceneObject);
  ReleaseBackBuffer();
  // Last, once none of its brushes is selected anywhere.
  FreeColourTable();
}

SceneState scene = StartSceneState();

void ResetSceneState() { scene = StartSceneState(); }

LRESULT SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 0;
    case WM_CREATE:
      CreateScene(window);
      break;
    case WM_TIMER:
      DrawFrame(window);
      break;
    case WM_DESTROY:
      DestroyScene(window);
      break;
    default:
      break;
  }
  return HostDefaultHandler(window, message, wParam, lParam);
}
