// Builds the fixed-point lookup tables, once per run, with double-precision floating point.
#include "geometry/trig_tables.h"

#include <cmath>

int32_t FineSin[kFineSinCount];
int32_t Sin128[kAngleIndexCount];
int32_t Cos128[kAngleIndexCount];
int32_t SlopeAngle[kSlopeAngleCount];

namespace {

// Every degree/radian conversion uses the single-precision number nearest to 3.14159
// (3.1415901184082031), not the true pi: the original tables were made that way, and eight
// entries of Sin128/Cos128 (at +-30, +-210 and +-120, +-300 degrees) come out 63, not 64, because of it.
const double kPiF = static_cast<double>(3.14159f);

int32_t Truncate(double value) { return static_cast<int32_t>(value); }

void BuildFineSin() {
  for (int32_t c = 0; c < kFineSinCount; ++c) {
    const double theta = ((c / 10.0) * kPiF) / 180.0;
    FineSin[c] = Truncate(std::sin(theta) * kFineSinScale);
  }
  // The formula gives 9999 for 89.9 and 90.0 degrees; a right angle must read as a full 1.0.
  FineSin[899] = kFineSinScale;
  FineSin[900] = kFineSinScale;
}

void BuildSinCos128() {
  for (int32_t k = 0; k < kAngleIndexCount; ++k) {
    const double theta = ((k - kAngleIndexZero) * kPiF) / 180.0;
    // The round to single precision lifts the quarter turns, whose products lie within 2e-9 of
    // +-128, to exactly +-128 before truncation; truncation alone would give +-127.
    Sin128[k] = Truncate(static_cast<float>(std::sin(theta) * 128.0));
    Cos128[k] = Truncate(static_cast<float>(std::cos(theta) * 128.0));
  }
}

void BuildSlopeAngle() {
  SlopeAngle[0] = 900;
  for (int32_t k = 1; k < kSlopeAngleCount; ++k) {
    const double tangent =
        k <= kSlopeSteps ? static_cast<double>(kSlopeSteps) / k : (2.0 * kSlopeSteps - k) / kSlopeSteps;
    const int32_t hundredths = Truncate((std::atan(tangent) * 18000.0) / kPiF);
    SlopeAngle[k] = hundredths / 10;
  }
}

}  // namespace

void BuildTrigTables() {
  BuildFineSin();
  BuildSinCos128();
  BuildSlopeAngle();
}
