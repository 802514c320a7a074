// The process-wide fixed-point lookup tables, built once per run with floating point.
#pragma once

#include <cstdint>

// An angle index k in 0..719 stands for the angle (k - 360) degrees, so Sin128 and Cos128 cover
// -360..+359 degrees. An index is used as given, never reduced modulo 360.
constexpr int32_t kAngleIndexCount = 720;
constexpr int32_t kAngleIndexZero = 360;  // the index of 0 degrees

// sin(c / 10 degrees) * 10000 for c = 0..900 (0.0 to 90.0 degrees), truncated; 901 entries so that
// 90.0 degrees itself has one. Entries 899 and 900 are forced to 10000 (the formula gives 9999).
constexpr int32_t kFineSinCount = 901;
constexpr int32_t kFineSinScale = 10000;
extern int32_t FineSin[kFineSinCount];

// sin and cos of (k - 360) degrees times 128, truncated after a round to single precision.
constexpr int32_t kTrigShift = 7;  // products are brought back by >> 7, i.e. divided by 128
extern int32_t Sin128[kAngleIndexCount];
extern int32_t Cos128[kAngleIndexCount];

// The angle, in tenths of a degree rounded down, of a vector (a, b) with a, b >= 0, by slope step:
// steps 0..900 hold a/b = k/900 (90.0 down to 45.0 degrees), steps 900..1800 hold
// b/a = (1800 - k)/900 (45.0 down to 0.0 degrees). 1801 entries so both end slopes are present.
constexpr int32_t kSlopeSteps = 900;
// Angles of SlopeAngle and indices of FineSin are tenths of a degree: these are 45 and 90 degrees.
constexpr int32_t kTenthsOf45Degrees = 450;
constexpr int32_t kTenthsOf90Degrees = 900;
constexpr int32_t kSlopeAngleCount = 2 * kSlopeSteps + 1;
extern int32_t SlopeAngle[kSlopeAngleCount];

// Fills the four tables. Calling it again writes the same values.
void BuildTrigTables();
