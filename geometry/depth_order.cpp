// Painter's order by a table-driven horizontal distance: far records first.
#include "geometry/depth_order.h"

#include "geometry/fixed_point.h"
#include "geometry/trig_tables.h"

namespace {

// The angle, in tenths of a degree, of the vector (a, b) with a, b >= 0, by the slope table.
// 64-bit quotients keep every slope step inside the table whatever the magnitudes.
int32_t VectorAngle(int64_t a, int64_t b) {
  if (a == b) return kTenthsOf45Degrees;
  if (a == 0) return kTenthsOf90Degrees;
  if (b == 0) return 0;
  if (a > b) return SlopeAngle[2 * kSlopeSteps - b * kSlopeSteps / a];
  return SlopeAngle[a * kSlopeSteps / b];
}

// -value without overflow: the most negative value maps to the most positive.
int32_t NegateSaturating(int32_t value) { return value == INT32_MIN ? INT32_MAX : -value; }

// A depth key is ten times a length: b / sin(angle), with the fine sine's scale of 10000 undone.
constexpr int64_t kDepthKeyNumerator = int64_t{10} * kFineSinScale;
// The original's divisor for a zero sine. The angle 0 has one, and the slope table gives it
// whenever b < a / 900, so such a key is 100 * b rather than about ten times the length: a quirk
// that the depth order keeps.
constexpr int32_t kZeroSineDivisor = 1000;

// Gaps of the depth sort, all taken in this order whatever the count.
constexpr int32_t kSortGaps[] = {9, 5, 3, 2, 1};

}  // namespace

// Within its limits (0 <= b <= 21,474, |a| <= 2,386,092) this is exactly the 32-bit original.
// Beyond them it works in 64 bits and saturates; for b < 0 it measures the angle of (|a|, |b|)
// and keeps b's sign in the result, as the a = 0 case (10 * b) already does, so a point behind
// the viewer sorts as nearer than any point in front.
int32_t Hypotenuse(int32_t a, int32_t b) {
  const int64_t magnitudeA = a < 0 ? -static_cast<int64_t>(a) : a;
  const int64_t magnitudeB = b < 0 ? -static_cast<int64_t>(b) : b;
  int32_t sine = FineSin[VectorAngle(magnitudeA, magnitudeB)];
  if (sine == 0) sine = kZeroSineDivisor;
  return Saturate32(static_cast<int64_t>(b) * kDepthKeyNumerator / sine);
}

int32_t CompareDepth(const Vertex& p, const Vertex& q) {
  const int32_t keyP = Hypotenuse(p.x, NegateSaturating(p.z));
  const int32_t keyQ = Hypotenuse(q.x, NegateSaturating(q.z));
  return keyQ < keyP ? 1 : 0;
}

void SortByDepth(DepthRecord* records, int32_t count) {
  for (int32_t gap : kSortGaps) {
    for (int32_t i = gap; i < count; ++i) {
      const DepthRecord t = records[i];
      int32_t j = i - gap;
      // Stops only at a strictly farther record, so equal keys pass in front of each other.
      while (j >= 0 && CompareDepth(records[j].position, t.position) != 1) {
        records[j + gap] = records[j];
        j -= gap;
      }
      records[j + gap] = t;
    }
  }
}
