// The object model and its loader: two passes over the object file, one Face per usable line.
#include "scene/object_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "scene/colour_table.h"
#include "scene/line_reader.h"
#include "scene/number_text.h"

namespace {

constexpr UINT kZeroedMovable = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr const char kDefaultColourText[] = "255,255,255";

const char* const kLoadResultMessages[kLoadResultCount] = {
    "Successful completion",
    "Polygon memory allocation failed",
    "Point memory allocation failed",
    "Data file not found or cannot read",
    "Error reading object data",
    "No polygons in data file",
    "Error locking point memory",
    "Error locking polygon memory",
};

int32_t CountUsableLines(LineReader& reader) {
  char line[kLineBufferSize];
  int32_t count = 0;
  while (count < kMaxFaces && ReadUsableLine(reader, line)) ++count;
  return count;
}

int32_t CountClosingParentheses(const char* text, int32_t limit) {
  int32_t count = 0;
  for (; *text != '\0' && count < limit; ++text) {
    if (*text == ')') ++count;
  }
  return count;
}

// Cuts the text at the next separator and reads the coordinate before it, in model units; null
// when no separator follows, else the text after the separator.
char* ReadCoordinate(char* text, char separator, int32_t* value) {
  char* end = std::strchr(text, separator);
  if (end == nullptr) return nullptr;
  *end = '\0';
  *value = ReadTruncatedDecimal(text, kMaxFileCoordinate) * kModelUnitsPerFileUnit;
  return end + 1;
}

// Reads "x,y,z)" into vertex; null when a separator is missing, *missing then naming it.
char* ReadTriple(char* text, Vertex& vertex, MissingSeparator* missing) {
  text = ReadCoordinate(text, ',', &vertex.x);
  if (text == nullptr) {
    *missing = MissingSeparator::kFirstComma;
    return nullptr;
  }
  text = ReadCoordinate(text, ',', &vertex.y);
  if (text == nullptr) {
    *missing = MissingSeparator::kSecondComma;
    return nullptr;
  }
  text = ReadCoordinate(text, ')', &vertex.z);
  if (text == nullptr) *missing = MissingSeparator::kClosingParenthesis;
  return text;
}

// Whether the three coordinate texts of a triple just read (each now cut at its separator) hold a
// parenthesis, that is, whether the triple took its separators from beyond its own parentheses.
bool Straddles(const char* x) {
  const char* y = x + std::strlen(x) + 1;
  const char* z = y + std::strlen(y) + 1;
  return std::strpbrk(x, "()") != nullptr || std::strpbrk(y, "()") != nullptr || std::strpbrk(z, "()") != nullptr;
}

// Reads the triples of the vertex text into the Face's vertices and sets its centroid. Triples
// past vertexCount are not read. Returns 0, or kMalformedData when a separator is missing.
int32_t ReadTriples(char* text, Face& face, FaceSource* source) {
  int32_t result = kLoadSucceeded;
  int64_t sumX = 0, sumY = 0, sumZ = 0;
  for (int32_t j = 0; j < face.vertexCount; ++j) {
    char* open = std::strchr(text, '(');
    if (open == nullptr) break;
    Vertex& vertex = face.vertices[j];
    MissingSeparator missing = MissingSeparator::kNone;
    text = ReadTriple(open + 1, vertex, &missing);
    // The coordinates of an incomplete triple that were read stay and count toward the centroid.
    sumX += vertex.x;
    sumY += vertex.y;
    sumZ += vertex.z;
    if (text == nullptr) {
      if (source != nullptr) {
        source->missing = missing;
        source->triple = j + 1;
      }
      result = kMalformedData;
      break;
    }
    if (source != nullptr && source->straddlingTriple == 0 && Straddles(open + 1)) source->straddlingTriple = j + 1;
  }
  if (face.vertexCount > 0) {
    face.centroid.x = static_cast<int32_t>(sumX / face.vertexCount);
    face.centroid.y = static_cast<int32_t>(sumY / face.vertexCount);
    face.centroid.z = static_cast<int32_t>(sumZ / face.vertexCount);
  }
  return result;
}

void NoteColourText(FaceSource& source, const char* colourText) {
  source.colourPrefix = true;
  std::strncpy(source.colourText, colourText, kColourTextChars);
  source.colourText[kColourTextChars] = '\0';
}

// Parses one usable line into face. Returns the failure met (or 0); sets *stop when the pass
// ends. With a source, also notes what the line held.
int32_t ParseFace(char* line, Face& face, bool* stop, FaceSource* source) {
  char* vertexText = line;
  if (line[0] == '[') {
    char* close = std::strchr(line + 1, ']');
    if (close == nullptr) {
      if (source != nullptr) source->missing = MissingSeparator::kClosingBracket;
      *stop = true;
      return kMalformedData;
    }
    *close = '\0';
    if (source != nullptr) NoteColourText(*source, line + 1);
    GetColourIndex(line + 1, &face.colourIndex);
    vertexText = close + 1;
  } else {
    GetColourIndex(kDefaultColourText, &face.colourIndex);
  }
  face.vertexCount = CountClosingParentheses(vertexText, kMaxFaceVertices);
  if (source != nullptr) source->closingParentheses = CountClosingParentheses(vertexText, INT32_MAX);
  face.vertexBlock = GlobalAlloc(kZeroedMovable, sizeof(Vertex) * static_cast<SIZE_T>(face.vertexCount));
  face.vertices = face.vertexBlock != nullptr ? static_cast<Vertex*>(GlobalLock(face.vertexBlock)) : nullptr;
  if (face.vertices == nullptr) return face.vertexBlock != nullptr ? kVertexLockFailed : kVertexAllocationFailed;
  return ReadTriples(vertexText, face, source);
}

// The report's record of the line just read, placed by the reader; null without a report.
FaceSource* NoteSource(LoadReport* report, const LineReader& reader, int32_t i) {
  if (report == nullptr) return nullptr;
  FaceSource& source = report->faces[i];
  source = FaceSource{};
  source.line = reader.line;
  source.piece = reader.piece;
  report->parsedLines = i + 1;
  return &source;
}

int32_t ParseFaces(LineReader& reader, Object& object, LoadReport* report) {
  int32_t result = kLoadSucceeded;
  char line[kLineBufferSize];
  bool stop = false;
  for (int32_t i = 0; i < object.faceCount && !stop && ReadUsableLine(reader, line); ++i) {
    int32_t failure = ParseFace(line, object.faces[i], &stop, NoteSource(report, reader, i));
    if (failure != kLoadSucceeded) result = failure;
  }
  return result;
}

// Counts, allocates and parses, reading twice.
int32_t LoadFromReader(Object& object, LineReader& reader, LoadReport* report) {
  object.faceCount = CountUsableLines(reader);
  if (object.faceCount == 0) return kNoFaces;
  if (!RewindLineReader(reader)) return kFileUnreadable;
  object.faceBlock = GlobalAlloc(kZeroedMovable, sizeof(Face) * static_cast<SIZE_T>(object.faceCount));
  object.faces = object.faceBlock != nullptr ? static_cast<Face*>(GlobalLock(object.faceBlock)) : nullptr;
  if (object.faces == nullptr) return object.faceBlock != nullptr ? kFaceLockFailed : kFaceAllocationFailed;
  return ParseFaces(reader, object, report);
}

// Only a plain file reads the same twice: a pipe's second pass would find nothing, and a device
// such as /dev/zero would never end.
bool IsPlainFile(FILE* file) {
  struct stat status;
  return fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

const char* LoadResultMessage(int32_t code) {
  if (code < 0 || code >= kLoadResultCount) return kLoadResultMessages[kMalformedData];
  return kLoadResultMessages[code];
}

int32_t LoadObject(Object& object, const char* path, LoadReport* report) {
  object = Object{};
  if (report != nullptr) report->parsedLines = 0;
  FILE* file = OpenPlatformFile(path, "rb");
  if (file == nullptr) return kFileUnreadable;
  int32_t result = kFileUnreadable;
  if (IsPlainFile(file)) {
    LineReader reader;
    StartLineReader(reader, file);
    result = LoadFromReader(object, reader, report);
  }
  std::fclose(file);
  return result;
}

int32_t LoadObjectFromMemory(Object& object, const char* bytes, size_t length, LoadReport* report) {
  object = Object{};
  if (report != nullptr) report->parsedLines = 0;
  LineReader reader;
  StartMemoryLineReader(reader, bytes, length);
  return LoadFromReader(object, reader, report);
}

void FreeObject(Object& object) {
  if (object.faces != nullptr) {
    for (int32_t i = 0; i < object.faceCount; ++i) {
      Face& face = object.faces[i];
      if (face.vertices != nullptr) {
        GlobalUnlock(face.vertexBlock);
        GlobalFree(face.vertexBlock);
      } else if (face.vertexBlock != nullptr) {
        GlobalFree(face.vertexBlock);  // allocated but never locked
      }
    }
    GlobalUnlock(object.faceBlock);
    GlobalFree(object.faceBlock);
  } else if (object.faceBlock != nullptr) {
    GlobalFree(object.faceBlock);  // allocated but never locked
  }
  object = Object{};
}
