// The 216-colour logical palette of the scene: the 6x6x6 colour cube.
#pragma once

#include "platform/win32.h"

constexpr int kPaletteSize = 256;
constexpr int kCubeFirstEntry = 15;  // entries 15..230 hold the cube; the rest stay black
constexpr int kCubeLevels = 6;
constexpr int kCubeLevelStep = 51;  // channel levels 0, 51, 102, 153, 204, 255

// A new logical palette with the cube in entries 15..230, each PC_RESERVED; null when the
// descriptor cannot be allocated or the palette cannot be made.
HPALETTE BuildPalette();
