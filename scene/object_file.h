// The object model (Faces of a solid) and its loader from the plain-text object file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/types.h"
#include "platform/win32.h"
#include "scene/colour_table.h"

// Limits the renderer's fixed arrays rely on.
constexpr int32_t kMaxFaces = 20;
constexpr int32_t kMaxFaceVertices = 20;

// One file unit is this many model units.
constexpr int32_t kModelUnitsPerFileUnit = 10;
// File coordinates are clamped to +-kMaxFileCoordinate. With model coordinates within +-10,000 a
// posed and turned vertex stays within about 17,400 of the origin (two turns, each at most
// length-preserving), so after the Instance's translation |x| stays far below the 2^21 that the
// projection's x * 1024 allows, and -z stays below the 21,474 that the depth key allows.
constexpr int32_t kMaxFileCoordinate = 1000;

struct Face {
  int32_t vertexCount;  // 0..20: the ')' characters of the line's vertex text, counting stopped at 20
  int32_t colourIndex;  // ColourTable index, or -1 for no fill
  Vertex centroid;      // per-axis integer mean of the vertices, truncated toward zero
  HGLOBAL vertexBlock;  // null if its allocation failed
  Vertex* vertices;     // locked address of vertexBlock; null if allocation or locking failed
};

struct Object {
  int32_t faceCount;  // 0..20: Face i comes from the i-th usable line
  HGLOBAL faceBlock;
  Face* faces;  // locked address of faceBlock
};

// The result of LoadObject; each code has a fixed message text.
enum LoadResult : int32_t {
  kLoadSucceeded = 0,
  kFaceAllocationFailed = 1,
  kVertexAllocationFailed = 2,
  kFileUnreadable = 3,
  kMalformedData = 4,
  kNoFaces = 5,
  kVertexLockFailed = 6,
  kFaceLockFailed = 7,
};
constexpr int32_t kLoadResultCount = 8;

// The message of a LoadResult code; an unknown code gives the text of a read error.
const char* LoadResultMessage(int32_t code);

// What stopped the reading of a usable line short.
enum class MissingSeparator : int32_t {
  kNone,
  kClosingBracket,      // a '[' with no ']' after it: the pass ends at this line
  kFirstComma,          // a triple without the ',' after its x
  kSecondComma,         // a triple without the ',' after its y
  kClosingParenthesis,  // a triple without the ')' after its z
};

// Where one Face came from and how its line read, for messages to the file's author.
struct FaceSource {
  int32_t line;                // the file's physical line, from 1
  int32_t piece;               // which 254-character piece of that line, from 0
  int32_t closingParentheses;  // every ')' of the vertex text, not stopped at kMaxFaceVertices
  bool colourPrefix;           // the line begins with '[' and has its ']'
  char colourText[kColourTextChars + 1];  // the prefix's text as the colour table reads it
  MissingSeparator missing;
  int32_t triple;  // with a missing separator of a triple: which triple, from 1
  // The first triple, from 1, whose separators were found only past a parenthesis ('(1,2) (3,4,5)'
  // reads as one triple); 0 when every triple read stood within its own parentheses.
  int32_t straddlingTriple;
};

// What LoadObject can tell about the lines it parsed; it loads the same with or without one.
struct LoadReport {
  int32_t parsedLines;  // usable lines parsed: Face i came from faces[i]
  FaceSource faces[kMaxFaces];
};

// Fills object (whatever it held is forgotten, not released) from the object file at path and
// adds its colours to the ColourTable. Returns the code of the last failure met, or 0. With a
// report, also says where each Face came from. Anything but a plain file (a pipe, a device) gives
// kFileUnreadable.
int32_t LoadObject(Object& object, const char* path, LoadReport* report = nullptr);
// The same from the bytes of an object file already read into memory (the tools' standard input).
int32_t LoadObjectFromMemory(Object& object, const char* bytes, size_t length, LoadReport* report = nullptr);

// Releases every vertex block and the Face array, in any state LoadObject left; the Object is all
// zero afterwards.
void FreeObject(Object& object);
