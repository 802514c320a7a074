// cubrix-object-check: reads an object file exactly as the saver does and shows what it made of
// it, so an object can be checked before it is installed as Cube.dat.
//
// Usage: cubrix-object-check <object file>
// Prints the loader's result and each Face (corners, fill, centroid in model units). The exit
// status is the loader's result code: 0 when the saver would animate the object.
#include <cstdio>
#include <string>

#include "platform/win32.h"
#include "scene/colour_table.h"
#include "scene/object_file.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

// The portable platform reads a leading '/' as the root of its drive folder, as Windows reads a
// leading '\'; a host path is opened from the file system's root instead.
std::string LoaderPath(const char* path) {
#ifndef _WIN32
  if (path[0] == '/' && chdir("/") == 0) return std::string(path + 1);
#endif
  return std::string(path);
}

// A palette-relative colour (0x02BBGGRR) as the "red,green,blue" text of the object file.
std::string FillText(int32_t colourIndex) {
  const ColourEntry* entries = ColourTableEntries();
  if (colourIndex == kNoFill || entries == nullptr || colourIndex >= colourTable.entryCount) return "none";
  const COLORREF colour = entries[colourIndex].colour;
  char text[16];
  std::snprintf(text, sizeof text, "%u,%u,%u", static_cast<unsigned>(colour & 0xFFu),
                static_cast<unsigned>((colour >> 8) & 0xFFu), static_cast<unsigned>((colour >> 16) & 0xFFu));
  return text;
}

void PrintFaces(const Object& object) {
  std::printf("%d faces, %d colours\n", static_cast<int>(object.faceCount), static_cast<int>(colourTable.entryCount));
  for (int32_t i = 0; i < object.faceCount && object.faces != nullptr; ++i) {
    const Face& face = object.faces[i];
    std::printf("face %d: %d corners, fill %s, centroid (%d,%d,%d)\n", static_cast<int>(i + 1),
                static_cast<int>(face.vertexCount), FillText(face.colourIndex).c_str(),
                static_cast<int>(face.centroid.x), static_cast<int>(face.centroid.y),
                static_cast<int>(face.centroid.z));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: cubrix-object-check <object file>\n");
    return 2 * kLoadResultCount;  // apart from every result code
  }
  Object object{};
  const int32_t result = LoadObject(object, LoaderPath(argv[1]).c_str());
  std::printf("%s: %s (result %d)\n", argv[1], LoadResultMessage(result), static_cast<int>(result));
  if (result == kLoadSucceeded) PrintFaces(object);
  FreeObject(object);
  FreeColourTable();
  return result;
}
