// Rasterizer properties: the fill rule against a per-pixel oracle, shared edges, clipping, outlines.
#include "platform/portable/gdi/raster.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

__extension__ typedef __int128 Wide;

constexpr uint32_t kInk = 0x00FF8000u;
constexpr int32_t kMinCoordinate = INT32_MIN;
constexpr int32_t kMaxCoordinate = INT32_MAX;

struct Canvas {
  int width;
  int height;
  std::vector<uint32_t> pixels;

  Canvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), 0) {}
  Surface surface() { return Surface{pixels.data(), width, height, width}; }
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  int count(uint32_t pixel) const {
    int n = 0;
    for (uint32_t p : pixels) n += p == pixel;
    return n;
  }
};

// The fill convention, evaluated for one pixel from scratch: its corner (x, y) is inside when an
// odd number of edges cross row y at or left of x (an edge from y0 to y1 crosses the rows
// y0 .. y1 - 1).
bool OracleInside(const std::vector<POINT>& polygon, int x, int y) {
  int crossings = 0;
  for (size_t i = 0; i < polygon.size(); ++i) {
    const POINT& a = polygon[i];
    const POINT& b = polygon[(i + 1) % polygon.size()];
    if (a.y == b.y) continue;
    const POINT& top = a.y < b.y ? a : b;
    const POINT& bottom = a.y < b.y ? b : a;
    if (y < top.y || y >= bottom.y) continue;
    const Wide height = Wide{bottom.y} - top.y;
    const Wide dx = Wide{bottom.x} - top.x;
    const Wide crossingTimesHeight = Wide{top.x} * height + (Wide{y} - top.y) * dx;
    if (crossingTimesHeight <= Wide{x} * height) ++crossings;
  }
  return crossings % 2 == 1;
}

void ExpectMatchesOracle(const std::vector<POINT>& polygon, int width, int height) {
  Canvas canvas(width, height);
  EdgeTable table;
  FillPolygon(canvas.surface(), polygon.data(), static_cast<int>(polygon.size()), kInk, table);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(canvas.at(x, y) == kInk, OracleInside(polygon, x, y)) << "pixel " << x << "," << y;
    }
  }
}

int FilledCount(const std::vector<POINT>& polygon, int width, int height) {
  Canvas canvas(width, height);
  EdgeTable table;
  FillPolygon(canvas.surface(), polygon.data(), static_cast<int>(polygon.size()), kInk, table);
  return canvas.count(kInk);
}

std::vector<POINT> RandomPolygon(std::mt19937& random, int minCoordinate, int maxCoordinate) {
  std::uniform_int_distribution<int> vertexCount(3, 12);
  std::uniform_int_distribution<int> coordinate(minCoordinate, maxCoordinate);
  std::vector<POINT> polygon(static_cast<size_t>(vertexCount(random)));
  for (POINT& p : polygon) p = POINT{coordinate(random), coordinate(random)};
  return polygon;
}

}  // namespace

TEST(FillPolygonTest, KnownShapesCoverTheirPixelCorners) {
  // Convex: an axis-aligned rectangle covers exactly its width times height.
  EXPECT_EQ(FilledCount({{2, 3}, {12, 3}, {12, 8}, {2, 8}}, 20, 20), 50);
  // Convex: the right triangle x + y < 10 keeps the points strictly inside; the 10 points on
  // its hypotenuse lie on a right edge and stay out.
  EXPECT_EQ(FilledCount({{0, 0}, {10, 0}, {0, 10}}, 20, 20), 55);
  // Concave: a 9 x 9 square with a 3 x 6 notch.
  EXPECT_EQ(FilledCount({{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}}, 20, 20), 63);
  // Self-intersecting: a bow tie of two triangles of area 25 each.
  EXPECT_EQ(FilledCount({{0, 0}, {10, 10}, {10, 0}, {0, 10}}, 20, 20), 50);
  // The same rectangle in either winding direction.
  EXPECT_EQ(FilledCount({{2, 8}, {12, 8}, {12, 3}, {2, 3}}, 20, 20), 50);
}

// Sloped edges, where sampling corners and sampling centres part: the pixels the system fills.
TEST(FillPolygonTest, SlopedShapesFillThePixelsTheSystemFills) {
  struct Case {
    std::vector<POINT> polygon;
    std::vector<POINT> pixels;
  };
  const Case cases[] = {
      {{{10, 10}, {15, 12}, {11, 15}},
       {{11, 11}, {12, 11}, {11, 12}, {12, 12}, {13, 12}, {14, 12}, {11, 13}, {12, 13}, {13, 13}, {11, 14}, {12, 14}}},
      {{{10, 10}, {14, 11}, {13, 15}, {9, 13}},
       {{10, 11}, {11, 11}, {12, 11}, {13, 11}, {10, 12}, {11, 12}, {12, 12}, {13, 12}, {9, 13}, {10, 13}, {11, 13},
        {12, 13}, {13, 13}, {11, 14}, {12, 14}, {13, 14}}},
  };
  for (const Case& c : cases) {
    Canvas drawn(20, 20), expected(20, 20);
    for (const POINT& p : c.pixels) expected.pixels[static_cast<size_t>(p.y * 20 + p.x)] = kInk;
    EdgeTable table;
    FillPolygon(drawn.surface(), c.polygon.data(), static_cast<int>(c.polygon.size()), kInk, table);
    EXPECT_EQ(drawn.pixels, expected.pixels) << "a polygon of " << c.polygon.size() << " points";
  }
}

TEST(FillPolygonTest, PentagramLeavesItsCentreOpenUnderEvenOdd) {
  const std::vector<POINT> star = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  Canvas canvas(100, 100);
  EdgeTable table;
  FillPolygon(canvas.surface(), star.data(), 5, kInk, table);
  EXPECT_EQ(canvas.at(50, 50), 0u) << "the inner pentagon is crossed twice";
  EXPECT_EQ(canvas.at(50, 15), kInk) << "the top point";
  EXPECT_EQ(canvas.at(10, 37), kInk) << "the left point";
  ExpectMatchesOracle(star, 100, 100);
}

TEST(FillPolygonTest, DegenerateShapesFillNothing) {
  EXPECT_EQ(FilledCount({{0, 5}, {10, 5}, {20, 5}}, 20, 20), 0);
  EXPECT_EQ(FilledCount({{3, 3}, {3, 3}, {3, 3}}, 20, 20), 0);
  EXPECT_EQ(FilledCount({{0, 0}, {10, 10}}, 20, 20), 0);
  EXPECT_EQ(FilledCount({{4, 0}, {4, 10}, {4, 5}}, 20, 20), 0);
}

// Rows between two edges are filled in a run of their own, which must end exactly where the set
// of edges changes: a notch opening below the top, edges ending and beginning on one row, two
// edges crossing inside the run, and runs cut by the surface's top and bottom.
TEST(FillPolygonTest, RunsBetweenTwoEdgesEndWhereTheEdgesChange) {
  const std::vector<std::vector<POINT>> shapes = {
      {{0, 0}, {30, 0}, {30, 30}, {20, 30}, {15, 10}, {10, 30}, {0, 30}},   // notch from below
      {{0, 0}, {10, 0}, {15, 20}, {20, 0}, {30, 0}, {15, 30}},              // notch from above
      {{5, 0}, {25, 10}, {5, 20}, {25, 30}, {5, 40}},                      // a zigzag right side
      {{0, 0}, {30, 30}, {30, 0}, {0, 30}},                                 // crossing edges
      {{3, -20}, {28, 5}, {10, 60}},                                        // clipped above and below
      {{0, 5}, {40, 5}, {40, 6}, {0, 25}},                                  // a one-row run, then a long one
  };
  for (size_t i = 0; i < shapes.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectMatchesOracle(shapes[i], 40, 36);
  }
}

TEST(FillPolygonTest, RandomPolygonsMatchTheOracle) {
  std::mt19937 random(20261209);
  for (int i = 0; i < 300; ++i) {
    const std::vector<POINT> polygon = RandomPolygon(random, -30, 90);
    SCOPED_TRACE(i);
    ExpectMatchesOracle(polygon, 64, 48);
  }
}

TEST(FillPolygonTest, ExtremeCoordinatesMatchTheOracleWithoutOverflow) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> anywhere(kMinCoordinate, kMaxCoordinate);
  std::uniform_int_distribution<int> near(-10, 40);
  for (int i = 0; i < 200; ++i) {
    // Mostly far-off vertices with a few near the surface, so long edges cross it.
    std::vector<POINT> polygon;
    for (int v = 0; v < 5; ++v) {
      const bool far = v % 2 == 0;
      polygon.push_back(POINT{far ? anywhere(random) : near(random), far ? anywhere(random) : near(random)});
    }
    SCOPED_TRACE(i);
    ExpectMatchesOracle(polygon, 32, 24);
  }
  const std::vector<POINT> cover = {{kMinCoordinate, kMinCoordinate}, {kMaxCoordinate, kMinCoordinate},
                                    {kMaxCoordinate, kMaxCoordinate}, {kMinCoordinate, kMaxCoordinate}};
  EXPECT_EQ(FilledCount(cover, 32, 24), 32 * 24) << "a polygon around the surface fills all of it";
}

TEST(FillPolygonTest, FanSharingEdgesCoversEachPixelOnce) {
  // Triangles around a centre, in angular order: together they tile the star-shaped polygon
  // through their outer vertices, each pixel exactly once.
  const POINT centre = {40, 30};
  const std::vector<POINT> rim = {{75, 30}, {66, 52}, {41, 58}, {22, 55}, {3, 33},
                                  {9, 14}, {30, 2}, {52, 9}, {70, 12}};
  const int width = 80, height = 60;
  std::vector<int> coverage(static_cast<size_t>(width * height), 0);
  EdgeTable table;
  for (size_t i = 0; i < rim.size(); ++i) {
    Canvas canvas(width, height);
    const POINT triangle[] = {centre, rim[i], rim[(i + 1) % rim.size()]};
    FillPolygon(canvas.surface(), triangle, 3, kInk, table);
    for (size_t p = 0; p < canvas.pixels.size(); ++p) coverage[p] += canvas.pixels[p] == kInk;
  }
  Canvas whole(width, height);
  FillPolygon(whole.surface(), rim.data(), static_cast<int>(rim.size()), kInk, table);
  for (size_t p = 0; p < coverage.size(); ++p) {
    ASSERT_LE(coverage[p], 1) << "pixel " << p % width << "," << p / width << " covered twice";
    ASSERT_EQ(coverage[p] == 1, whole.pixels[p] == kInk) << "pixel " << p % width << "," << p / width;
  }
}

TEST(FillPolygonTest, JitteredTriangleMeshCoversItsRectangleOnce) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> jitter(-4, 4);
  constexpr int kCells = 6, kCell = 10;
  POINT grid[kCells + 1][kCells + 1];
  for (int j = 0; j <= kCells; ++j) {
    for (int i = 0; i <= kCells; ++i) {
      const bool inner = i > 0 && i < kCells && j > 0 && j < kCells;
      grid[j][i] = POINT{i * kCell + (inner ? jitter(random) : 0), j * kCell + (inner ? jitter(random) : 0)};
    }
  }
  const int size = kCells * kCell;
  std::vector<int> coverage(static_cast<size_t>(size * size), 0);
  EdgeTable table;
  for (int j = 0; j < kCells; ++j) {
    for (int i = 0; i < kCells; ++i) {
      const POINT lower[] = {grid[j][i], grid[j][i + 1], grid[j + 1][i + 1]};
      const POINT upper[] = {grid[j][i], grid[j + 1][i + 1], grid[j + 1][i]};
      for (const POINT* triangle : {lower, upper}) {
        Canvas canvas(size, size);
        FillPolygon(canvas.surface(), triangle, 3, kInk, table);
        for (size_t p = 0; p < canvas.pixels.size(); ++p) coverage[p] += canvas.pixels[p] == kInk;
      }
    }
  }
  for (size_t p = 0; p < coverage.size(); ++p) ASSERT_EQ(coverage[p], 1) << "pixel " << p % size << "," << p / size;
}

TEST(FillPolygonTest, ClippedDrawingEqualsTheCropOfAnUnclippedOne) {
  // Fill and outline are the same under translation, so drawing shifted onto a small surface
  // must give exactly the matching window of the drawing on a large one.
  std::mt19937 random(11);
  std::uniform_int_distribution<int> offset(0, 150);
  EdgeTable table;
  for (int i = 0; i < 100; ++i) {
    const std::vector<POINT> polygon = RandomPolygon(random, -20, 220);
    const int dx = offset(random), dy = offset(random);
    Canvas large(200, 200), small(50, 50);
    FillPolygon(large.surface(), polygon.data(), static_cast<int>(polygon.size()), kInk, table);
    DrawOutline(large.surface(), polygon.data(), static_cast<int>(polygon.size()), 1u);
    std::vector<POINT> shifted = polygon;
    for (POINT& p : shifted) p = POINT{p.x - dx, p.y - dy};
    FillPolygon(small.surface(), shifted.data(), static_cast<int>(shifted.size()), kInk, table);
    DrawOutline(small.surface(), shifted.data(), static_cast<int>(shifted.size()), 1u);
    for (int y = 0; y < 50; ++y) {
      for (int x = 0; x < 50; ++x) ASSERT_EQ(small.at(x, y), large.at(x + dx, y + dy)) << i << ": " << x << "," << y;
    }
  }
}

TEST(DrawOutlineTest, RectangleOutlineIsItsPerimeter) {
  Canvas canvas(20, 20);
  const POINT rectangle[] = {{1, 1}, {11, 1}, {11, 6}, {1, 6}};
  DrawOutline(canvas.surface(), rectangle, 4, kInk);
  EXPECT_EQ(canvas.count(kInk), 30);
  for (int x = 1; x <= 11; ++x) {
    EXPECT_EQ(canvas.at(x, 1), kInk);
    EXPECT_EQ(canvas.at(x, 6), kInk);
  }
  for (int y = 1; y <= 6; ++y) {
    EXPECT_EQ(canvas.at(1, y), kInk);
    EXPECT_EQ(canvas.at(11, y), kInk);
  }
}

TEST(DrawOutlineTest, LinesOfExtremeLengthAreClippedToTheirVisiblePixels) {
  Canvas canvas(40, 30);
  const POINT across[] = {{kMinCoordinate, 7}, {kMaxCoordinate, 7}};
  DrawOutline(canvas.surface(), across, 2, kInk);
  EXPECT_EQ(canvas.count(kInk), 40);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(canvas.at(x, 7), kInk);

  Canvas diagonal(20, 20);
  const POINT line[] = {{-1000000, -1000000}, {1000000, 1000000}};
  DrawOutline(diagonal.surface(), line, 2, kInk);
  EXPECT_EQ(diagonal.count(kInk), 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(diagonal.at(i, i), kInk);
}

// The segment rule, pixel by pixel: one pixel per step along the longer axis from a (included)
// to b (excluded), the other coordinate rounded to nearest with halves down.
std::vector<POINT> OracleSegment(const POINT& a, const POINT& b) {
  const int64_t dx = int64_t{b.x} - a.x, dy = int64_t{b.y} - a.y;
  const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
  const int64_t steps = xMajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
  if (steps == 0) return {a};
  std::vector<POINT> pixels;
  for (int64_t i = 0; i < steps; ++i) {
    const int64_t major = (xMajor ? a.x : a.y) + ((xMajor ? dx : dy) < 0 ? -i : i);
    const int64_t numerator = 2 * i * (xMajor ? dy : dx) + steps - 1;
    const int64_t floorQuotient = numerator / (2 * steps) - (numerator % (2 * steps) < 0 ? 1 : 0);
    const int64_t minor = (xMajor ? a.y : a.x) + floorQuotient;
    pixels.push_back(xMajor ? POINT{static_cast<LONG>(major), static_cast<LONG>(minor)}
                            : POINT{static_cast<LONG>(minor), static_cast<LONG>(major)});
  }
  return pixels;
}

TEST(DrawOutlineTest, RandomSegmentsMatchTheOracle) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> coordinate(-40, 80);
  for (int i = 0; i < 2000; ++i) {
    const POINT a{coordinate(random), coordinate(random)}, b{coordinate(random), coordinate(random)};
    Canvas drawn(40, 30), expected(40, 30);
    const POINT segment[] = {a, b};
    DrawOutline(drawn.surface(), segment, 2, kInk);  // a closed outline of two points: a-b and b-a
    for (const std::vector<POINT>& half : {OracleSegment(a, b), OracleSegment(b, a)}) {
      for (const POINT& p : half) {
        if (p.x >= 0 && p.x < 40 && p.y >= 0 && p.y < 30) expected.pixels[static_cast<size_t>(p.y * 40 + p.x)] = kInk;
      }
    }
    ASSERT_EQ(drawn.pixels, expected.pixels) << "segment " << a.x << "," << a.y << " to " << b.x << "," << b.y;
  }
}

// Where a line passes exactly between two pixels it takes the upper or left one, whichever way
// it runs: the pixels the system draws for these segments (a closed outline of two points draws
// the segment both ways, so both ends are set).
TEST(DrawOutlineTest, HalfwayStepsTakeTheLesserCoordinate) {
  struct Case {
    POINT a, b;
    std::vector<POINT> pixels;
  };
  const Case cases[] = {
      {{10, 10}, {14, 12}, {{10, 10}, {11, 10}, {12, 11}, {13, 11}, {14, 12}}},
      {{10, 10}, {12, 14}, {{10, 10}, {10, 11}, {11, 12}, {11, 13}, {12, 14}}},
      {{10, 10}, {6, 12}, {{10, 10}, {9, 10}, {8, 11}, {7, 11}, {6, 12}}},
  };
  for (const Case& c : cases) {
    Canvas drawn(20, 20), expected(20, 20);
    for (const POINT& p : c.pixels) expected.pixels[static_cast<size_t>(p.y * 20 + p.x)] = kInk;
    const POINT segment[] = {c.a, c.b};
    DrawOutline(drawn.surface(), segment, 2, kInk);
    EXPECT_EQ(drawn.pixels, expected.pixels) << c.a.x << "," << c.a.y << " to " << c.b.x << "," << c.b.y;
  }
}

TEST(DrawOutlineTest, SinglePointAndOffSurfacePoints) {
  Canvas canvas(10, 10);
  const POINT dot[] = {{4, 5}};
  DrawOutline(canvas.surface(), dot, 1, kInk);
  EXPECT_EQ(canvas.count(kInk), 1);
  EXPECT_EQ(canvas.at(4, 5), kInk);
  const POINT outside[] = {{-5, -5}, {-5, 50}, {-1, 3}};
  Canvas empty(10, 10);
  DrawOutline(empty.surface(), outside, 3, kInk);
  EXPECT_EQ(empty.count(kInk), 0);
}

TEST(FillSpanRectTest, ClipsToTheSurface) {
  Canvas canvas(10, 8);
  FillSpanRect(canvas.surface(), -5, 6, 3, 100, kInk);
  EXPECT_EQ(canvas.count(kInk), 3 * 2);
  FillSpanRect(canvas.surface(), INT64_C(-5000000000), INT64_C(-5000000000), INT64_C(5000000000), 1, 1u);
  EXPECT_EQ(canvas.count(1u), 10);
  FillSpanRect(canvas.surface(), 5, 5, 2, 2, 2u);
  EXPECT_EQ(canvas.count(2u), 0) << "an inverted rectangle is empty";

  Canvas wide(37, 3);
  FillSpanRect(wide.surface(), 0, 0, 37, 3, kInk);
  FillSpanRect(wide.surface(), 3, 1, 34, 2, 0u);
  EXPECT_EQ(wide.count(0u), 31) << "black fills exactly its span";
  EXPECT_EQ(wide.at(2, 1), kInk);
  EXPECT_EQ(wide.at(34, 1), kInk);
}
