// cubrix-object-check: reads an object file exactly as the saver does and shows what it made of
// it, so an object can be checked before it is installed as Cube.dat.
//
// Usage: cubrix-object-check <object file>
// Prints the loader's result and each Face (its line, corners, fill, centroid in model units),
// then diagnostics in the compiler form "file:line: error: ..." / "file:line: warning: ..." on
// the error stream. The exit status is the loader's result code: 0 when the saver would animate
// the object, whatever the warnings.
#include <cstdio>
#include <string>

#include "platform/win32.h"
#include "scene/colour_table.h"
#include "scene/object_file.h"
#include "tools/object_diagnostics.h"

namespace {

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

// "line 7", and for a piece of a longer line which characters of it it holds.
std::string Origin(const FaceSource& source) {
  const std::string line = "line " + std::to_string(source.line);
  return source.piece > 0 ? line + " " + PieceCharacters(source) : line;
}

void PrintFaces(const Object& object, const LoadReport& report) {
  std::printf("%d faces, %d colours\n", static_cast<int>(object.faceCount), static_cast<int>(colourTable.entryCount));
  for (int32_t i = 0; i < object.faceCount && i < report.parsedLines && object.faces != nullptr; ++i) {
    const Face& face = object.faces[i];
    std::printf("face %d: %s, %d corners, fill %s, centroid (%d,%d,%d)\n", static_cast<int>(i + 1),
                Origin(report.faces[i]).c_str(), static_cast<int>(face.vertexCount),
                FillText(face.colourIndex).c_str(), static_cast<int>(face.centroid.x),
                static_cast<int>(face.centroid.y), static_cast<int>(face.centroid.z));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: cubrix-object-check <object file>\n");
    return 2 * kLoadResultCount;  // apart from every result code
  }
  const std::string path = PlatformPathOfHostFile(argv[1]);
  Object object{};
  LoadReport report{};
  const int32_t result = LoadObject(object, path.c_str(), &report);
  std::printf("%s: %s (result %d)\n", argv[1], LoadResultMessage(result), static_cast<int>(result));
  if (result == kLoadSucceeded) PrintFaces(object, report);
  std::fflush(stdout);
  for (const Diagnostic& diagnostic : DiagnoseObject(path.c_str(), result, object, report)) {
    std::fprintf(stderr, "%s\n", FormatDiagnostic(argv[1], diagnostic).c_str());
  }
  FreeObject(object);
  FreeColourTable();
  return result;
}
