// The scene driver: the saver window's own animation on creation, timer ticks and destruction.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "scene/object_file.h"

// The state of the one scene of the run; written on WM_CREATE, read on WM_TIMER and WM_DESTROY.
struct SceneState {
  Object sceneObject;  // loaded and posed once; every frame starts again from these coordinates
  RECT clientRect;     // read once on WM_CREATE
  int32_t centreX;     // the projection centre in client pixels
  int32_t centreY;
  HDC backDC;  // the back buffer
  HBITMAP backBitmap;
  HGDIOBJ savedBitmap;  // what backDC held before the scene's own selections
  HGDIOBJ savedBrush;
  HGDIOBJ savedPen;
  HPALETTE savedPalette;
  HPALETTE scenePalette;  // null when it could not be built: the scene animates without it
  int32_t frameAngle;     // degrees, advanced by 2 per tick, 1..359 once running
  int32_t frameCount;
  DWORD startTick;
  DWORD endTick;
  // The colour index whose brush the back buffer holds; carried across Faces, Instances and
  // frames so a brush is selected only when the colour changes.
  int32_t lastColourIndex;
};

// lastColourIndex while backDC still holds the stock white brush selected on creation; differs
// from every Face's index, so the first Face drawn, even one without fill, selects its own brush.
constexpr int32_t kWhiteBrushSelected = -2;

extern SceneState scene;

// Puts the scene state back to its start values (the program starts this way; tests call it).
void ResetSceneState();

// The frame angle after frameAngle: 2 degrees on, dropping by 359 (not 360) above 359, so one
// cycle of kFramesPerCycle frames shows every angle 1..359 once and then repeats.
constexpr int32_t kFramesPerCycle = 359;
int32_t NextFrameAngle(int32_t frameAngle);

// The scene without a window, for drawing frames headless; SceneProc does the same work on
// WM_CREATE, WM_TIMER and WM_DESTROY around its window.
// The back buffer of the client's size compatible with reference, its palette, and the tables.
void BuildScene(HDC reference, const RECT& client);
// LoadObject into the scene and, when it succeeds, the initial pose; returns the LoadResult.
int32_t LoadPosedObject(const char* path);
// Advances the frame angle and draws that frame into the back buffer (scene.backDC).
void DrawNextFrame();
// Releases the Object, the back buffer and palette, and the ColourTable, in that order.
void ReleaseScene();

// The scene's message entry: answers WM_ERASEBKGND with 0 itself; does its own work for
// WM_CREATE, WM_TIMER and WM_DESTROY and then, like every other message, hands it on to
// HostDefaultHandler and returns that result.
LRESULT SceneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
