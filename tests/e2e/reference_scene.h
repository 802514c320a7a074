// The scene as the saver's window shows it, drawn headless through SceneProc on the portable
// platform: the reference that rendered frames of other builds and tools are compared with.
#pragma once

#include "platform/test_hooks/test_hooks.h"

// Puts the object file into a drive folder of its own, as its Cube.dat, and creates the scene's
// window of width x height on a virtual clock. False when the window could not be made or the
// object not loaded; CloseReferenceScene then still cleans up.
bool OpenReferenceScene(const char* objectFile, int width, int height);

// One timer tick delivered to the window: the frame it then shows, and the frame angle drawn.
TestHooks::Pixels NextReferenceFrame(int* frameAngle);

// Destroys the window, resets the platform and removes the drive folder.
void CloseReferenceScene();
