// Shared by the loader tests: writes an object file, loads it, and releases everything afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "scene/colour_table.h"
#include "scene/object_file.h"

class ObjectFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeObject(object);
    FreeColourTable();
    std::remove(path.c_str());
  }

  // Writes bytes as the object file and loads it.
  int32_t Load(const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return LoadObject(object, path.c_str());
  }

  const Face& FaceAt(int32_t i) const { return object.faces[i]; }

  // Everything the loader produced, as text, to compare two loads.
  std::string Describe() const {
    std::ostringstream out;
    out << "faces " << object.faceCount << "\n";
    for (int32_t i = 0; object.faces != nullptr && i < object.faceCount; ++i) {
      const Face& face = object.faces[i];
      out << face.vertexCount << " colour " << face.colourIndex << " centroid " << face.centroid.x << ","
          << face.centroid.y << "," << face.centroid.z << ":";
      for (int32_t j = 0; face.vertices != nullptr && j < face.vertexCount; ++j) {
        out << " " << face.vertices[j].x << "," << face.vertices[j].y << "," << face.vertices[j].z;
      }
      out << "\n";
    }
    for (int32_t i = 0; i < colourTable.entryCount; ++i) out << "entry " << colourTable.entries[i].colour << "\n";
    return out.str();
  }

  std::string path = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".dat";
  Object object{};
};

inline bool SameVertex(const Vertex& v, int32_t x, int32_t y, int32_t z) { return v.x == x && v.y == y && v.z == z; }
