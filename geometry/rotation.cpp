// Turning a point about one axis with the 1/128 sine and cosine tables.
#include "geometry/rotation.h"

#include "geometry/fixed_point.h"
#include "geometry/trig_tables.h"

namespace {

// An index outside the tables is clamped to the nearest end rather than read out of bounds.
int32_t ClampAngleIndex(int32_t angleIndex) {
  if (angleIndex < 0) return 0;
  if (angleIndex >= kAngleIndexCount) return kAngleIndexCount - 1;
  return angleIndex;
}

// (u*c + v*s) >> 7 in 32-bit two's-complement arithmetic, flooring.
int32_t TurnedCoordinate(int32_t u, int32_t c, int32_t v, int32_t s) {
  return FloorShift7(WrapAdd(WrapMul(u, c), WrapMul(v, s)));
}

}  // namespace

void RotatePoint(Vertex& point, int32_t angleIndex, AxisCode axis) {
  const int32_t k = ClampAngleIndex(angleIndex);
  const int32_t c = Cos128[k];
  const int32_t s = Sin128[k];
  const int32_t minusS = -s;  // |s| <= 128, so this never overflows
  const Vertex p = point;
  switch (axis) {
    case kAxisX:
      point.y = TurnedCoordinate(p.y, c, p.z, s);
      point.z = TurnedCoordinate(p.z, c, p.y, minusS);
      break;
    case kAxisY:
      point.x = TurnedCoordinate(p.x, c, p.z, minusS);
      point.z = TurnedCoordinate(p.z, c, p.x, s);
      break;
    case kAxisZ:
      point.x = TurnedCoordinate(p.x, c, p.y, minusS);
      point.y = TurnedCoordinate(p.y, c, p.x, s);
      break;
    default:
      break;  // the codes are not flags: anything else turns nothing
  }
}
