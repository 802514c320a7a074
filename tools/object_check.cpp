// cubrix-object-check: reads an object file exactly as the saver does and shows what it made of
// it, so an object can be checked before it is installed as Cube.dat.
//
// Usage: cubrix-object-check [--] <object file>    ('-' reads standard input)
// Prints the loader's result and each Face (its line, corners, fill, centroid in model units),
// then diagnostics in the compiler form "file:line: error: ..." / "file:line: warning: ..." on
// the error stream. The exit status is the loader's result code: 0 when the saver would animate
// the object, whatever the warnings.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "scene/colour_table.h"
#include "scene/object_file.h"
#include "tools/object_diagnostics.h"
#include "tools/object_input.h"

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

constexpr int kUsageStatus = 2 * kLoadResultCount;  // apart from every result code

void PrintUsage() {
  std::printf(
      "usage: cubrix-object-check [--] <object file>\n"
      "Reads the object file as the Cubrix saver reads its Cube.dat and shows what the saver makes of it:\n"
      "its result, each face, and on the error stream what is wrong or unusual, line by line.\n"
      "'-' reads standard input; standard input, pipes and devices are read whole, up to %s.\n"
      "Exit status: the saver's load result (0 when it would animate the object), %d for a wrong command line.\n",
      kMaxInputText, kUsageStatus);
}

// The object file the command line names, or null (with the reason told) when it names none.
const char* ObjectArgument(int argc, char** argv) {
  const char* named = argc == 3 && std::strcmp(argv[1], "--") == 0 ? argv[2] : nullptr;
  if (argc == 2 && (argv[1][0] != '-' || std::strcmp(argv[1], "-") == 0)) named = argv[1];
  if (named != nullptr && named[0] != '\0') return named;
  if (named == nullptr && argc == 2 && argv[1][0] != '\0') {
    std::fprintf(stderr, "cubrix-object-check: unknown option '%s' (see --help)\n", argv[1]);
  } else {
    std::fprintf(stderr, "cubrix-object-check: expected one object file, or '-' for standard input (see --help)\n");
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    PrintUsage();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("cubrix-object-check %s\n", CUBRIX_VERSION_TEXT);
    return 0;
  }
  const char* argument = ObjectArgument(argc, argv);
  if (argument == nullptr) return kUsageStatus;
  const std::string name = std::strcmp(argument, "-") == 0 ? "<stdin>" : argument;
  ObjectInput input;
  std::string inputError;
  Object object{};
  LoadReport report{};
  int32_t result = kFileUnreadable;
  if (OpenObjectInput(argument, input, &inputError)) result = LoadObjectInput(input, object, &report);
  std::printf("%s: %s (result %d)\n", name.c_str(), LoadResultMessage(result), static_cast<int>(result));
  if (result == kLoadSucceeded) PrintFaces(object, report);
  std::fflush(stdout);
  if (!inputError.empty()) {
    std::fprintf(stderr, "%s\n", FormatDiagnostic(name, Diagnostic{0, true, inputError}).c_str());
  } else {
    for (const Diagnostic& diagnostic : DiagnoseObject(input, result, object, report)) {
      // The result line has said it already.
      if (diagnostic.line == 0 && diagnostic.text == LoadResultMessage(result)) continue;
      std::fprintf(stderr, "%s\n", FormatDiagnostic(name, diagnostic).c_str());
    }
  }
  FreeObject(object);
  FreeColourTable();
  return result;
}
