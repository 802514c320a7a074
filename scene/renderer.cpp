// Drawing the Object: the initial pose, and one Instance turned, ordered, projected and filled.
#include "scene/renderer.h"

#include "geometry/depth_order.h"
#include "geometry/fixed_point.h"
#include "geometry/rotation.h"
#include "scene/colour_table.h"
#include "scene/scene_proc.h"

namespace {

constexpr int32_t kGridStep = 500;       // the grid's spacing in model units
constexpr int32_t kGridDistance = 3000;  // how far the turned grid is pushed from the viewer

constexpr int32_t kPoseAngle = -60;  // degrees about z, turned with index 299: -61 degrees

// Projects every vertex of face into points; false when one is at or behind the viewer.
bool ProjectFace(const Face& face, const Vertex& position, int32_t angleIndex, AxisCode axis, POINT* points) {
  for (int32_t j = 0; j < face.vertexCount; ++j) {
    Vertex placed = TurnAndPlace(face.vertices[j], angleIndex, axis, position);
    if (placed.z >= 0) return false;
    points[j] = ProjectToScreen(placed);
  }
  return true;
}

// The brush of a colour, or null for no fill and for a colour the table cannot reach now.
HBRUSH FillBrush(int32_t colourIndex) {
  if (colourIndex < 0 || colourIndex >= colourTable.entryCount) return nullptr;
  const ColourEntry* entries = ColourTableEntries();
  return entries != nullptr ? entries[colourIndex].brush : nullptr;
}

void SelectFaceBrush(HDC surface, int32_t colourIndex) {
  if (colourIndex == scene.lastColourIndex) return;
  HBRUSH brush = FillBrush(colourIndex);
  SelectObject(surface, brush != nullptr ? brush : GetStockObject(NULL_BRUSH));
  // A colour out of reach leaves the null brush selected, as no fill does; its next Face tries
  // the table again instead of taking the null brush for its colour's.
  scene.lastColourIndex = brush != nullptr ? colourIndex : kNoFill;
}

bool Drawable(const Face& face) {
  return face.vertices != nullptr && face.vertexCount > 0 && face.vertexCount <= kMaxFaceVertices;
}

}  // namespace

// The loader's coordinate limit keeps the sums small; saturation only guards Objects that did not
// come through the loader.
Vertex TurnAndPlace(const Vertex& point, int32_t angleIndex, AxisCode axis, const Vertex& offset) {
  Vertex turned = point;
  RotatePoint(turned, angleIndex, axis);
  return Vertex{Saturate32(int64_t{turned.x} + offset.x), Saturate32(int64_t{turned.y} + offset.y),
                Saturate32(int64_t{turned.z} + offset.z)};
}

// The frame angle is the angle index itself here: a turn by frameAngle degrees, not frameAngle - 1.
void LayOutInstances(int32_t frameAngle, DepthRecord (&instances)[kInstanceCount]) {
  int32_t slot = 0;
  for (int32_t gx = -kGridStep; gx <= kGridStep; gx += kGridStep) {
    for (int32_t gy = -kGridStep; gy <= kGridStep; gy += kGridStep) {
      DepthRecord& instance = instances[slot];
      instance.index = slot++;
      instance.position = Vertex{gx, gy, 0};
      RotatePoint(instance.position, frameAngle, kAxisZ);
      RotatePoint(instance.position, frameAngle, kAxisX);
      instance.position.z -= kGridDistance;
    }
  }
}

POINT ProjectToScreen(const Vertex& point) {
  int64_t x = int64_t{point.x} * kFocalLength / point.z;
  int64_t y = int64_t{point.y} * kFocalLength / point.z;
  return POINT{Saturate32(scene.centreX - x), Saturate32(y + scene.centreY)};
}

void RotateObject(Object& object, int32_t angle, AxisCode axis) {
  if (object.faces == nullptr) return;
  int32_t angleIndex = angle + kObjectAngleOffset;
  for (int32_t i = 0; i < object.faceCount; ++i) {
    Face& face = object.faces[i];
    RotatePoint(face.centroid, angleIndex, axis);
    if (face.vertices == nullptr) continue;
    for (int32_t j = 0; j < face.vertexCount; ++j) RotatePoint(face.vertices[j], angleIndex, axis);
  }
}

void PoseObject(Object& object) { RotateObject(object, kPoseAngle, kAxisZ); }

void DrawInstance(HDC surface, const Object& object, const Vertex& position, int32_t angle, AxisCode axis) {
  if (object.faces == nullptr) return;
  int32_t angleIndex = angle + kObjectAngleOffset;
  int32_t count = object.faceCount < kMaxFaces ? object.faceCount : kMaxFaces;
  DepthRecord order[kMaxFaces];
  for (int32_t i = 0; i < count; ++i) {
    order[i].index = i;
    order[i].position = TurnAndPlace(object.faces[i].centroid, angleIndex, axis, position);
  }
  SortByDepth(order, count);
  POINT points[kMaxFaceVertices];
  for (int32_t n = 0; n < count; ++n) {
    const Face& face = object.faces[order[n].index];
    if (!Drawable(face) || !ProjectFace(face, position, angleIndex, axis, points)) continue;
    SelectFaceBrush(surface, face.colourIndex);
    Polygon(surface, points, face.vertexCount);
  }
}
