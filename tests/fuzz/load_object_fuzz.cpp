// libFuzzer target: any object file gives a LoadResult and a sound Object, draws without fault,
// and releases every handle; its bytes read from memory load exactly as the file does.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/trig_tables.h"
#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"
#include "scene/colour_table.h"
#include "scene/object_file.h"
#include "scene/renderer.h"
#include "scene/scene_proc.h"

namespace {

constexpr int32_t kModelLimit = kMaxFileCoordinate * kModelUnitsPerFileUnit;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool WithinLimit(const Vertex& v) {
  return v.x >= -kModelLimit && v.x <= kModelLimit && v.y >= -kModelLimit && v.y <= kModelLimit &&
         v.z >= -kModelLimit && v.z <= kModelLimit;
}

void CheckObject(const Object& object, int32_t result) {
  Require(result >= 0 && result < kLoadResultCount);
  Require(object.faceCount >= 0 && object.faceCount <= kMaxFaces);
  Require(colourTable.entryCount >= 0 && colourTable.entryCount <= object.faceCount);
  if (object.faces == nullptr) return;
  for (int32_t i = 0; i < object.faceCount; ++i) {
    const Face& face = object.faces[i];
    Require(face.vertexCount >= 0 && face.vertexCount <= kMaxFaceVertices);
    Require(WithinLimit(face.centroid));
    // Faces left zero after a missing ']' hold index 0 whether or not the table has an entry;
    // a Face with vertices always went through the colour lookup.
    if (face.vertices == nullptr) continue;
    Require(face.colourIndex >= kNoFill && face.colourIndex < colourTable.entryCount);
    for (int32_t j = 0; j < face.vertexCount; ++j) Require(WithinLimit(face.vertices[j]));
  }
}

// Everything a load gives, as numbers: its result, each Face, the colours and the report.
std::vector<int32_t> Outcome(int32_t result, const Object& object, const LoadReport& report) {
  std::vector<int32_t> outcome{result, object.faceCount, colourTable.entryCount, report.parsedLines};
  for (int32_t i = 0; object.faces != nullptr && i < object.faceCount; ++i) {
    const Face& f = object.faces[i];
    outcome.insert(outcome.end(), {f.vertexCount, f.colourIndex, f.centroid.x, f.centroid.y, f.centroid.z, f.vertices != nullptr});
    for (int32_t j = 0; f.vertices != nullptr && j < f.vertexCount; ++j) {
      outcome.insert(outcome.end(), {f.vertices[j].x, f.vertices[j].y, f.vertices[j].z});
    }
  }
  for (int32_t i = 0; i < colourTable.entryCount; ++i) outcome.push_back(static_cast<int32_t>(ColourTableEntries()[i].colour));
  for (int32_t i = 0; i < report.parsedLines && i < kMaxFaces; ++i) {
    const FaceSource& s = report.faces[i];
    outcome.insert(outcome.end(), {s.line, s.piece, s.closingParentheses, s.colourPrefix, static_cast<int32_t>(s.missing),
                                   s.triple, s.straddlingTriple});
    outcome.insert(outcome.end(), s.colourText, s.colourText + strnlen(s.colourText, sizeof s.colourText));
  }
  return outcome;
}

// Poses the Object and draws it as the scene would, at the nearest and farthest Instance depths.
void DrawObject(Object& object) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 64, 48);
  HGDIOBJ savedBitmap = SelectObject(dc, bitmap);
  HGDIOBJ savedBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
  scene.centreX = 32;
  scene.centreY = 24;
  scene.lastColourIndex = kWhiteBrushSelected;
  RotateObject(object, -60, kAxisZ);
  for (int32_t angle : {1, 90, 181, 359}) {
    DrawInstance(dc, object, Vertex{-512, 507, -2398}, angle, kAxisY);
    DrawInstance(dc, object, Vertex{512, -507, -3603}, angle, kAxisY);
  }
  SelectObject(dc, savedBrush);
  SelectObject(dc, savedBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

// The scratch object file, in memory: writing a file on disk every run cost a quarter of the
// target's time, and a fixed name in the working folder is shared by parallel jobs. The loader
// opens it by name, through /proc.
struct ScratchFile {
  int descriptor;
  std::string path;
};

ScratchFile OpenScratchFile() {
  int descriptor = memfd_create("cubrix_fuzz_object", 0);
  if (descriptor < 0) {
    std::perror("load_object_fuzz: memfd_create");
    std::exit(1);
  }
  return {descriptor, PlatformPathOfHostFile(("/proc/self/fd/" + std::to_string(descriptor)).c_str())};
}

bool FillScratchFile(const ScratchFile& scratch, const uint8_t* data, size_t size) {
  return ftruncate(scratch.descriptor, 0) == 0 &&
         pwrite(scratch.descriptor, data, size, 0) == static_cast<ssize_t>(size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = (BuildTrigTables(), TestHooks::ResetPlatform(), true);  // the recorder counts handles
  (void)ready;
  static const ScratchFile scratch = OpenScratchFile();
  if (!FillScratchFile(scratch, data, size)) return 0;

  Object object{};
  LoadReport report{};
  const int32_t result = LoadObject(object, scratch.path.c_str(), &report);
  CheckObject(object, result);
  const std::vector<int32_t> fromFile = Outcome(result, object, report);
  if (result == kLoadSucceeded) DrawObject(object);
  FreeObject(object);
  FreeColourTable();

  LoadReport memoryReport{};
  const int32_t memoryResult = LoadObjectFromMemory(object, reinterpret_cast<const char*>(data), size, &memoryReport);
  Require(Outcome(memoryResult, object, memoryReport) == fromFile);
  FreeObject(object);
  FreeColourTable();
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::GlobalBlock) == 0);
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::Brush) == 0);
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::DC) == 0);
  Require(TestHooks::LiveHandles(TestHooks::HandleKind::Bitmap) == 0);
  TestHooks::ClearCallLog();  // the platform logs every selection; keep memory flat over millions of runs
  return 0;
}
