// Drawing the Object: the initial pose, and one Instance turned, ordered, projected and filled.
#pragma once

#include <cstdint>

#include "geometry/types.h"
#include "platform/win32.h"
#include "scene/object_file.h"

// The angle index that turns the Object by a degrees is a + 359, the angle a - 1 degrees.
constexpr int32_t kObjectAngleOffset = 359;
// x and y are multiplied by 1,024 (a left shift by 10) before the perspective division.
constexpr int32_t kFocalLength = 1024;

constexpr int32_t kInstanceCount = 9;

// The nine Instances of one frame, slot by slot: the 3x3 grid (spacing 500) turned as a whole by
// frameAngle degrees about z and then x, then pushed 3000 units away from the viewer.
void LayOutInstances(int32_t frameAngle, DepthRecord (&instances)[kInstanceCount]);

// Screen position of a point in front of the viewer (z < 0) about (scene.centreX, scene.centreY):
// +x lands right of the centre, +y above it; the focal length is 1,024 pixels.
POINT ProjectToScreen(const Vertex& point);

// A copy of point turned by the angle index about axis and moved by offset: where DrawInstance
// places a vertex or centroid of an Instance in view space.
Vertex TurnAndPlace(const Vertex& point, int32_t angleIndex, AxisCode axis, const Vertex& offset);

// Turns every centroid and vertex of the Object in place by angle (degrees) about axis.
void RotateObject(Object& object, int32_t angle, AxisCode axis);

// The initial pose, once after loading: -60 degrees about z, which the angle index 299 makes -61.
void PoseObject(Object& object);

// Draws one copy of the Object standing at position, turned by angle about axis, onto surface:
// Faces far to near by their centroids, each projected about (scene.centreX, scene.centreY) and
// filled with its colour's brush, selected only when the colour differs from scene.lastColourIndex.
// A Face with a vertex at or behind the viewer (z >= 0) is not drawn. Allocates nothing.
void DrawInstance(HDC surface, const Object& object, const Vertex& position, int32_t angle, AxisCode axis);
