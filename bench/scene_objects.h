// The objects of the scene benchmarks and the presentation tests: the sample, and a heavy object
// of 180 faces of 20 vertices a frame.
#pragma once

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

// The sample object file of the source tree, as text.
inline std::string SampleObjectText(const std::string& sourceFolder) {
  std::ifstream in(sourceFolder + "/data/Cube.dat", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// 20 faces of 20 vertices: discs of radius 55 file units fanned about the vertical axis, 9 degrees
// apart, so that seen from any side together they cover about as much as when seen face-on.
// At the Instances' distance one disc covers about 3% of a 1920x1080 screen, and the 180 discs of
// a frame about six screens. Whole file units, triples side by side: each line stays within the
// 254 characters that are read as one line.
inline std::string HeavyObjectText() {
  constexpr double kTurn = 6.283185307179586;
  std::ostringstream text;
  for (int face = 0; face < 20; ++face) {
    double plane = face * kTurn / 40;
    text << "[" << (face % 6) * 51 << "," << (face / 6) * 51 << "," << 255 - (face % 5) * 51 << "]";
    for (int corner = 0; corner < 20; ++corner) {
      double around = corner * kTurn / 20;
      double radial = 55 * std::cos(around);
      text << "(" << static_cast<int>(radial * std::cos(plane)) << "," << static_cast<int>(55 * std::sin(around))
           << "," << static_cast<int>(radial * std::sin(plane)) << ")";
    }
    text << "\n";
  }
  return text.str();
}

