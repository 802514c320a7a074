// The frame's geometry without drawing: Instance layout and order, projection, the initial pose.
#include "scene/renderer.h"

#include <gtest/gtest.h>

#include "geometry/depth_order.h"
#include "geometry/rotation.h"
#include "geometry/trig_tables.h"
#include "scene/scene_proc.h"

namespace {

class RendererGeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildTrigTables();
    ResetSceneState();
  }
  void TearDown() override { ResetSceneState(); }
};

TEST_F(RendererGeometryTest, TheFirstFramePlacesTheNineInstances) {
  DepthRecord instances[kInstanceCount];
  LayOutInstances(2, instances);
  const Vertex expected[kInstanceCount] = {{-481, -508, -2984}, {-497, -16, -3000}, {-512, 476, -3015},
                                           {15, -494, -2985},    {0, 0, -3000},     {-16, 492, -3016},
                                           {511, -478, -2985},   {496, 14, -3001},  {480, 507, -3016}};
  for (int32_t slot = 0; slot < kInstanceCount; ++slot) {
    EXPECT_EQ(instances[slot].index, slot);
    EXPECT_EQ(instances[slot].position.x, expected[slot].x) << slot;
    EXPECT_EQ(instances[slot].position.y, expected[slot].y) << slot;
    EXPECT_EQ(instances[slot].position.z, expected[slot].z) << slot;
  }
}

TEST_F(RendererGeometryTest, TheFirstFrameDrawsTheInstancesFarToNear) {
  DepthRecord instances[kInstanceCount];
  LayOutInstances(2, instances);
  SortByDepth(instances, kInstanceCount);
  const int32_t expectedOrder[kInstanceCount] = {2, 8, 7, 1, 6, 0, 5, 4, 3};
  for (int32_t n = 0; n < kInstanceCount; ++n) EXPECT_EQ(instances[n].index, expectedOrder[n]) << n;
}

TEST_F(RendererGeometryTest, InstancesStayInFrontOfTheViewerOverTheWholeCycle) {
  for (int32_t angle = 1; angle <= 359; ++angle) {
    DepthRecord instances[kInstanceCount];
    LayOutInstances(angle, instances);
    for (const DepthRecord& instance : instances) {
      EXPECT_GE(instance.position.z, -3603) << angle;
      EXPECT_LE(instance.position.z, -2398) << angle;
    }
  }
}

TEST_F(RendererGeometryTest, ProjectsWithAFocalLengthOf1024AboutTheCentre) {
  scene.centreX = 320;
  scene.centreY = 240;
  // (100, 0, 0) of the centre Instance, turned by index 361 and placed at z -3000.
  Vertex turned{100, 0, 0};
  RotatePoint(turned, 2 + kObjectAngleOffset, kAxisY);
  EXPECT_EQ(turned.x, 99);
  EXPECT_EQ(turned.z, 1);
  POINT right = ProjectToScreen(Vertex{99, 0, -2999});
  EXPECT_EQ(right.x, 353);
  EXPECT_EQ(right.y, 240);
  POINT up = ProjectToScreen(Vertex{0, 100, -3000});
  EXPECT_EQ(up.x, 320);
  EXPECT_EQ(up.y, 206);
  // Division truncates toward zero: -1024 * 7 / -3000 is 2.389...
  POINT left = ProjectToScreen(Vertex{-7, -7, -3000});
  EXPECT_EQ(left.x, 318);
  EXPECT_EQ(left.y, 242);
}

TEST_F(RendererGeometryTest, ProjectionOfFarOffPointsSaturatesInsteadOfOverflowing) {
  POINT edge = ProjectToScreen(Vertex{INT32_MAX, INT32_MIN, -1});
  EXPECT_EQ(edge.x, INT32_MAX);
  EXPECT_EQ(edge.y, INT32_MAX);
}

TEST_F(RendererGeometryTest, ThePoseTurnsVerticesAndCentroidsByIndex299AboutZ) {
  Vertex vertices[2] = {{100, 0, 30}, {-40, 70, 0}};
  Face face{2, 0, Vertex{30, 35, 15}, nullptr, vertices};
  Object object{1, nullptr, &face};
  RotateObject(object, -60, kAxisZ);
  // -61 degrees, not -60: C = 62, S = -111, where -60 degrees would give C = 64.
  EXPECT_EQ(vertices[0].x, 48);
  EXPECT_EQ(vertices[0].y, -87);
  EXPECT_EQ(vertices[0].z, 30);
  Vertex second{-40, 70, 0};
  RotatePoint(second, 299, kAxisZ);
  EXPECT_EQ(vertices[1].x, second.x);
  EXPECT_EQ(vertices[1].y, second.y);
  Vertex centroid{30, 35, 15};
  RotatePoint(centroid, 299, kAxisZ);
  EXPECT_EQ(face.centroid.x, centroid.x);
  EXPECT_EQ(face.centroid.y, centroid.y);
  EXPECT_EQ(face.centroid.z, 15);
}

TEST_F(RendererGeometryTest, ThePoseLeavesAnObjectWithoutFacesAlone) {
  Object empty{3, nullptr, nullptr};
  RotateObject(empty, -60, kAxisZ);
  EXPECT_EQ(empty.faceCount, 3);
}

}  // namespace
