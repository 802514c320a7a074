// Shared geometry records: a model-space point, the element of a depth sort, and the axis of a turn.
#pragma once

#include <cstdint>

// A point in model units (one object-file unit is ten model units). Viewer at the origin,
// looking along -z, +y up.
struct Vertex {
  int32_t x;
  int32_t y;
  int32_t z;
};

// One element of a depth sort: the caller's label (never examined) and the position whose
// horizontal distance from the viewer orders it.
struct DepthRecord {
  int32_t index;
  Vertex position;
};

// The axis of one rotation. The codes are not flags: any value other than these three turns nothing.
typedef uint8_t AxisCode;
constexpr AxisCode kAxisX = 1;
constexpr AxisCode kAxisY = 2;
constexpr AxisCode kAxisZ = 4;
