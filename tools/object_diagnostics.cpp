// What an object file's author is told: what the saver refuses, line by line, and what it
// accepts silently but an author rarely means. Every fact comes from the saver's own reading
// (the loader's report, the colour table's channel reading, the renderer's placement).
#include "tools/object_diagnostics.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "geometry/depth_order.h"
#include "geometry/trig_tables.h"
#include "scene/colour_table.h"
#include "scene/line_reader.h"
#include "scene/palette.h"
#include "scene/renderer.h"
#include "scene/scene_proc.h"

namespace {

const char* const kChannelNames[kColourChannels] = {"red", "green", "blue"};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

// "face 3", and for a piece of a longer line which characters of it.
std::string FaceName(int32_t i, const FaceSource& source) {
  std::string name = Format("face %d", static_cast<int>(i + 1));
  if (source.piece > 0) name += " (" + PieceCharacters(source) + " of the line)";
  return name;
}

const char* SeparatorName(MissingSeparator missing) {
  switch (missing) {
    case MissingSeparator::kFirstComma: return "first ','";
    case MissingSeparator::kSecondComma: return "second ','";
    default: return "closing ')'";
  }
}

void DiagnoseReading(int32_t i, const FaceSource& source, std::vector<Diagnostic>& out) {
  const std::string face = FaceName(i, source);
  if (source.missing == MissingSeparator::kClosingBracket) {
    out.push_back({source.line, true, face + ": no closing ']' after the colour; the saver reads no further"});
  } else if (source.missing != MissingSeparator::kNone) {
    out.push_back({source.line, true,
                   Format("%s: triple %d without its %s", face.c_str(), static_cast<int>(source.triple),
                          SeparatorName(source.missing))});
  }
  if (source.missing == MissingSeparator::kClosingBracket) return;
  if (source.straddlingTriple > 0) {
    out.push_back({source.line, false,
                   Format("%s: triple %d is not of the form (x,y,z): the saver takes its separators from what follows",
                          face.c_str(), static_cast<int>(source.straddlingTriple))});
  }
  if (source.closingParentheses == 0) {
    out.push_back({source.line, true, face + ": no vertex (no ')'), which the saver cannot load"});
  } else if (source.closingParentheses < 3) {
    out.push_back({source.line, false,
                   Format("%s has %d vertices: fewer than 3 enclose no area", face.c_str(),
                          static_cast<int>(source.closingParentheses))});
  } else if (source.closingParentheses > kMaxFaceVertices) {
    out.push_back({source.line, false,
                   Format("%s has %d vertices: the saver uses the first %d", face.c_str(),
                          static_cast<int>(source.closingParentheses), static_cast<int>(kMaxFaceVertices))});
  }
}

bool HasDigit(const char* text) {
  for (; *text != '\0'; ++text) {
    if (std::isdigit(static_cast<unsigned char>(*text))) return true;
  }
  return false;
}

// The nearest level of the colour cube to a channel value (0..255).
int32_t NearestLevel(int32_t value) {
  return (value + kCubeLevelStep / 2) / kCubeLevelStep * kCubeLevelStep;
}

void DiagnoseColour(int32_t i, const FaceSource& source, std::vector<Diagnostic>& out) {
  if (!source.colourPrefix) return;
  const std::string face = FaceName(i, source);
  int32_t channels[kColourChannels];
  if (!ReadColourChannels(source.colourText, channels)) {
    // 'N...' and a text without numbers mean no fill; numbers without two commas rarely do.
    if (source.colourText[0] != 'N' && HasDigit(source.colourText)) {
      out.push_back({source.line, false,
                     Format("%s: colour \"%s\" has fewer than two commas, so the face has no fill", face.c_str(),
                            source.colourText)});
    }
    return;
  }
  int32_t drawn[kColourChannels];
  bool offPalette = false;
  for (int c = 0; c < kColourChannels; ++c) {
    const int32_t wrapped = static_cast<int32_t>(static_cast<uint32_t>(channels[c]) & 0xFFu);
    if (channels[c] != wrapped) {
      out.push_back({source.line, false,
                     Format("%s: %s %d is outside 0-255 and wraps to %d", face.c_str(), kChannelNames[c],
                            static_cast<int>(channels[c]), static_cast<int>(wrapped))});
    }
    drawn[c] = NearestLevel(wrapped);
    offPalette = offPalette || drawn[c] != wrapped;
  }
  if (offPalette) {
    out.push_back({source.line, false,
                   Format("%s: colour \"%s\" is not on the 6x6x6 palette (levels 0, 51, ..., 255) and is drawn as %d,%d,%d",
                          face.c_str(), source.colourText, static_cast<int>(drawn[0]), static_cast<int>(drawn[1]),
                          static_cast<int>(drawn[2]))});
  }
}

// The first frame angle at which a vertex of the face, in some Instance, is at or behind the
// viewer (z >= 0), where the saver cannot draw it; 0 when it never is.
int32_t AngleBehindViewer(const Face& face, int32_t vertex) {
  int32_t angle = 0;
  for (int32_t frame = 0; frame < kFramesPerCycle; ++frame) {
    angle = NextFrameAngle(angle);
    DepthRecord instances[kInstanceCount];
    LayOutInstances(angle, instances);
    for (const DepthRecord& instance : instances) {
      const Vertex placed = TurnAndPlace(face.vertices[vertex], angle + kObjectAngleOffset, kAxisY, instance.position);
      if (placed.z >= 0) return angle;
    }
  }
  return 0;
}

void DiagnoseReach(const Object& posed, int32_t i, const FaceSource& source, std::vector<Diagnostic>& out) {
  const Face& face = posed.faces[i];
  if (face.vertices == nullptr) return;
  for (int32_t j = 0; j < face.vertexCount; ++j) {
    const int32_t angle = AngleBehindViewer(face, j);
    if (angle == 0) continue;
    out.push_back({source.line, false,
                   Format("%s: vertex %d is so far from the vertical axis that it passes behind the viewer "
                          "(frame angle %d), and the face is then left out",
                          FaceName(i, source).c_str(), static_cast<int>(j + 1), static_cast<int>(angle))});
    return;  // one vertex tells the author enough about the face
  }
}

// A posed copy of the Object's vertices, as the saver turns them once after loading.
struct PosedCopy {
  std::vector<Face> faces;
  std::vector<std::vector<Vertex>> vertices;
  Object object{};
};

void MakePosedCopy(const Object& object, PosedCopy& copy) {
  copy.faces.assign(object.faces, object.faces + object.faceCount);
  copy.vertices.resize(copy.faces.size());
  for (size_t i = 0; i < copy.faces.size(); ++i) {
    Face& face = copy.faces[i];
    if (face.vertices == nullptr) continue;
    copy.vertices[i].assign(face.vertices, face.vertices + face.vertexCount);
    face.vertices = copy.vertices[i].data();
  }
  copy.object.faceCount = object.faceCount;
  copy.object.faces = copy.faces.data();
  PoseObject(copy.object);
}

// Usable lines past the last Face, which the saver never reads.
void DiagnoseIgnoredLines(const ObjectInput& input, std::vector<Diagnostic>& out) {
  LineReader reader;
  if (!StartInputLineReader(input, reader)) return;
  char line[kLineBufferSize];
  int32_t usable = 0, firstIgnored = 0, ignored = 0;
  while (ReadUsableLine(reader, line)) {
    if (++usable <= kMaxFaces) continue;
    if (ignored++ == 0) firstIgnored = reader.line;
  }
  CloseInputLineReader(reader);
  if (ignored == 0) return;
  out.push_back({firstIgnored, false,
                 Format("usable line %d and the %d after it are ignored: the saver reads %d faces at most",
                        static_cast<int>(kMaxFaces + 1), static_cast<int>(ignored - 1), static_cast<int>(kMaxFaces))});
}

}  // namespace

std::vector<Diagnostic> DiagnoseObject(const ObjectInput& input, int32_t result, const Object& object,
                                       const LoadReport& report) {
  std::vector<Diagnostic> out;
  if (result == kFileUnreadable || result == kNoFaces || object.faces == nullptr) {
    out.push_back({0, result != kLoadSucceeded, LoadResultMessage(result)});
    return out;
  }
  BuildTrigTables();
  PosedCopy posed;
  MakePosedCopy(object, posed);
  const int32_t faces = std::min(report.parsedLines, object.faceCount);
  for (int32_t i = 0; i < faces; ++i) {
    const FaceSource& source = report.faces[i];
    DiagnoseReading(i, source, out);
    DiagnoseColour(i, source, out);
    DiagnoseReach(posed.object, i, source, out);
  }
  DiagnoseIgnoredLines(input, out);
  if (result != kLoadSucceeded && std::none_of(out.begin(), out.end(), [](const Diagnostic& d) { return d.error; })) {
    out.push_back({0, true, LoadResultMessage(result)});  // a memory failure, which names no line
  }
  std::stable_sort(out.begin(), out.end(), [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
  return out;
}

std::string PieceCharacters(const FaceSource& source) {
  if (source.piece == 0) return "";
  const int first = source.piece * kLinePieceChars + 1;
  return Format("characters %d-%d", first, first + kLinePieceChars - 1);
}

std::string FormatDiagnostic(const std::string& file, const Diagnostic& diagnostic) {
  const char* kind = diagnostic.error ? "error" : "warning";
  if (diagnostic.line == 0) return file + ": " + kind + ": " + diagnostic.text;
  return file + ":" + std::to_string(diagnostic.line) + ": " + kind + ": " + diagnostic.text;
}
