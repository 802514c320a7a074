// The scene driver through the portable platform's hooks: creation, frames, brush selections,
// the statistics file, failed loads and the release of every handle.
#include "scene/scene_proc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "host/host_state.h"
#include "platform/test_hooks/test_hooks.h"
#include "scene/colour_table.h"
#include "scene/palette.h"
#include "scene/renderer.h"
#include "tests/support/platform_test.h"

// Every allocation of this program is counted, so a test can prove that frames allocate nothing.
// The replacements pair malloc with free; GCC cannot see that pairing once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::atomic<long> allocationCount{0};
}  // namespace

void* operator new(std::size_t size) {
  ++allocationCount;
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using TestHooks::Call;
using TestHooks::HandleKind;
using TestHooks::LogKind;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kBlack = 0x000000;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class SceneTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    ResetSceneState();
    ResetHostState();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SceneProc;
    windowClass.lpszClassName = "SceneTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
  }

  void TearDown() override {
    if (window != nullptr && IsWindow(window)) DestroyWindow(window);
    PlatformTest::TearDown();
    ResetSceneState();
  }

  std::string ObjectFilePath() const { return drive_ + "/windows/Cube.dat"; }
  std::string StatisticsPath() const { return drive_ + "/windows/times.dat"; }

  void WriteObjectFile(const std::string& text) {
    std::ofstream out(ObjectFilePath(), std::ios::binary);
    out << text;
  }

  void WriteSampleObject() {
    std::ifstream in(std::string(CUBRIX_SOURCE_DIR) + "/data/Cube.dat", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::ostringstream text;
    text << in.rdbuf();
    WriteObjectFile(text.str());
  }

  void Create(int width = kWidth, int height = kHeight) {
    window = CreateWindowExA(0, "SceneTest", "Screen Saver", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(window, nullptr);
  }

  void Tick(int frames = 1) {
    for (int i = 0; i < frames; ++i) SendMessageA(window, WM_TIMER, 1, 0);
  }

  void Destroy() {
    DestroyWindow(window);
    window = nullptr;
  }

  static void ExpectEverythingReleased() {
    for (HandleKind kind : {HandleKind::GlobalBlock, HandleKind::LocalBlock, HandleKind::DC, HandleKind::Bitmap,
                            HandleKind::Brush, HandleKind::Pen, HandleKind::Palette, HandleKind::Timer,
                            HandleKind::Window}) {
      EXPECT_EQ(TestHooks::LiveHandles(kind), 0) << "handle kind " << static_cast<int>(kind);
    }
  }

  // The brushes selected into the back buffer since the log was last cleared.
  std::vector<intptr_t> BrushSelections() const {
    std::vector<intptr_t> brushes;
    for (const TestHooks::LoggedCall& call : TestHooks::CallLogOf(LogKind::SelectObject)) {
      if (call.args[0] == reinterpret_cast<intptr_t>(scene.backDC)) brushes.push_back(call.args[1]);
    }
    return brushes;
  }

  HWND window = nullptr;
};

// ---- Creation ----

TEST_F(SceneTest, CreationLoadsThePosesTheObjectAndStartsTheTimer) {
  WriteSampleObject();
  Create();
  EXPECT_EQ(scene.centreX, 320);
  EXPECT_EQ(scene.centreY, 240);
  EXPECT_EQ(scene.sceneObject.faceCount, 6);
  EXPECT_EQ(colourTable.entryCount, 6);
  std::vector<TestHooks::LoggedCall> timers = TestHooks::CallLogOf(LogKind::SetTimer);
  ASSERT_EQ(timers.size(), 1u);
  EXPECT_EQ(timers[0].args[0], reinterpret_cast<intptr_t>(window));
  EXPECT_EQ(timers[0].args[1], 1);
  EXPECT_EQ(timers[0].args[2], 50);
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::MessageBox).empty());
  EXPECT_EQ(scene.startTick, kStartTick);
  // The back buffer holds its own bitmap, the white brush and the black pen.
  EXPECT_EQ(DcSelectedBitmap(scene.backDC), scene.backBitmap);
  EXPECT_EQ(DcSelectedBrush(scene.backDC), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(DcSelectedPen(scene.backDC), GetStockObject(BLACK_PEN));
  EXPECT_EQ(DcSelectedPalette(scene.backDC), scene.scenePalette);
}

TEST_F(SceneTest, AFailedLoadShowsItsMessageAndStartsNoTimer) {
  std::vector<MessageBoxCall> boxes;
  RecordMessageBoxes(&boxes, IDOK, [] { AdvanceVirtualClock(4000); });  // the user reads the message
  Create();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].owner, window);
  EXPECT_EQ(boxes[0].caption, "LoadObject");
  EXPECT_EQ(boxes[0].text, "Data file not found or cannot read");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::SetTimer).empty());
  EXPECT_EQ(scene.startTick, kStartTick + 4000);  // taken once the box was closed
  AdvanceVirtualClock(6000);
  Destroy();
  EXPECT_EQ(ReadFile(StatisticsPath()),
            "Started           =5000\r\nEnded             =11000\r\nTotal Frames      =0\r\n"
            "Total Seconds     =6\r\nFrames per Second =0\r\n");
  ExpectEverythingReleased();
}

TEST_F(SceneTest, WithoutTheWindowsDirectoryNoObjectFileIsRead) {
  WriteSampleObject();
  // An object file at the drive's root must not stand in for the missing directory's.
  std::ofstream(drive_ + "/Cube.dat", std::ios::binary) << "[255,0,0] (-5,-5,5) (5,-5,5) (0,5,5)\n";
  std::vector<MessageBoxCall> boxes;
  RecordMessageBoxes(&boxes);
  TestHooks::FailCall(Call::GetWindowsDirectory);
  Create();
  std::remove((drive_ + "/Cube.dat").c_str());
  EXPECT_EQ(TextsOf(boxes), std::vector<std::string>{"Data file not found or cannot read"});
  EXPECT_EQ(scene.sceneObject.faceCount, 0);
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::SetTimer).empty());
}

TEST_F(SceneTest, EraseBackgroundIsAnsweredAndNotPassedOn) {
  WriteSampleObject();
  Create();
  TestHooks::ClearCallLog();
  EXPECT_EQ(SendMessageA(window, WM_ERASEBKGND, 0, 0), 0);
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::DefWindowProc).empty());
  SendMessageA(window, WM_PAINT, 0, 0);
  EXPECT_EQ(TestHooks::CallLogOf(LogKind::DefWindowProc).size(), 1u);
}

// ---- Every result of the load, with every handle released afterwards ----

struct LoadCase {
  const char* name;
  const char* objectText;  // null: no object file at all
  Call failing;
  int nth;  // 0: nothing fails
  int32_t expected;
};

class SceneLoadResultTest : public SceneTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(SceneLoadResultTest, ReportsTheResultAndReleasesEverything) {
  const LoadCase& c = GetParam();
  if (c.objectText != nullptr) WriteObjectFile(c.objectText);
  if (c.nth > 0) TestHooks::FailCall(c.failing, c.nth);
  std::vector<MessageBoxCall> boxes;
  RecordMessageBoxes(&boxes);
  Create();
  if (c.expected == kLoadSucceeded) {
    EXPECT_TRUE(boxes.empty());
    Tick(3);
    EXPECT_EQ(scene.frameCount, 3);
  } else {
    EXPECT_EQ(TextsOf(boxes), std::vector<std::string>{LoadResultMessage(c.expected)});
    EXPECT_TRUE(TestHooks::CallLogOf(LogKind::SetTimer).empty());
  }
  Destroy();
  ExpectEverythingReleased();
  EXPECT_EQ(scene.sceneObject.faces, nullptr);
  EXPECT_EQ(colourTable.entryCount, 0);
}

// Calls in a load of two lines: GlobalAlloc 1 faces, 2 colour table, 3 first vertices;
// GlobalLock 1 faces, 2 colour table, 3 first vertices.
constexpr const char kTwoFaces[] = "[255,0,0] (-5,-5,0) (5,-5,0) (0,5,0)\n(0,0,0) (5,0,0) (0,5,0)\n";

INSTANTIATE_TEST_SUITE_P(
    EveryResultAndFault, SceneLoadResultTest,
    ::testing::Values(LoadCase{"Success", kTwoFaces, Call::GlobalAlloc, 0, kLoadSucceeded},
                      LoadCase{"FaceAllocation", kTwoFaces, Call::GlobalAlloc, 1, kFaceAllocationFailed},
                      LoadCase{"VertexAllocation", kTwoFaces, Call::GlobalAlloc, 3, kVertexAllocationFailed},
                      LoadCase{"NoFile", nullptr, Call::GlobalAlloc, 0, kFileUnreadable},
                      LoadCase{"Malformed", "[1,2,3 (1,1,1)\n", Call::GlobalAlloc, 0, kMalformedData},
                      LoadCase{"NoFaces", "# nothing\n\n", Call::GlobalAlloc, 0, kNoFaces},
                      LoadCase{"VertexLock", kTwoFaces, Call::GlobalLock, 3, kVertexLockFailed},
                      LoadCase{"FaceLock", kTwoFaces, Call::GlobalLock, 1, kFaceLockFailed},
                      LoadCase{"ColourTableAllocation", kTwoFaces, Call::GlobalAlloc, 2, kLoadSucceeded},
                      LoadCase{"ColourTableLock", kTwoFaces, Call::GlobalLock, 2, kLoadSucceeded},
                      LoadCase{"ColourTableGrowth", kTwoFaces, Call::GlobalReAlloc, 1, kLoadSucceeded},
                      LoadCase{"Brush", kTwoFaces, Call::CreateSolidBrush, 1, kLoadSucceeded},
                      LoadCase{"PaletteDescriptor", kTwoFaces, Call::LocalAlloc, 1, kLoadSucceeded},
                      LoadCase{"Palette", kTwoFaces, Call::CreatePalette, 1, kLoadSucceeded},
                      LoadCase{"BackBufferContext", kTwoFaces, Call::CreateCompatibleDC, 1, kLoadSucceeded},
                      LoadCase{"BackBufferBitmap", kTwoFaces, Call::CreateCompatibleBitmap, 1, kLoadSucceeded},
                      LoadCase{"WindowContextOnCreation", kTwoFaces, Call::GetDC, 1, kLoadSucceeded},
                      LoadCase{"WindowContextInAFrame", kTwoFaces, Call::GetDC, 2, kLoadSucceeded}),
    [](const ::testing::TestParamInfo<LoadCase>& param) { return std::string(param.param.name); });

// ---- Frames ----

TEST_F(SceneTest, TheFrameAngleRunsThroughA359TickCycle) {
  WriteSampleObject();
  Create();
  Tick();
  EXPECT_EQ(scene.frameAngle, 2);
  scene.frameAngle = 358;
  Tick();
  EXPECT_EQ(scene.frameAngle, 1);
  scene.frameAngle = 359;
  Tick();
  EXPECT_EQ(scene.frameAngle, 2);
  EXPECT_EQ(scene.frameCount, 3);
}

TEST_F(SceneTest, AFrameReachesTheWindowAsOneCopyOfTheBackBuffer) {
  WriteSampleObject();
  Create();
  Tick();
  TestHooks::Pixels window_pixels = TestHooks::WindowPixels(window);
  TestHooks::Pixels back = TestHooks::DcPixels(scene.backDC);
  ASSERT_EQ(window_pixels.width, kWidth);
  ASSERT_EQ(window_pixels.height, kHeight);
  EXPECT_EQ(window_pixels.data, back.data);
  // Every Instance covers its own centre; the corners stay black.
  DepthRecord instances[kInstanceCount];
  LayOutInstances(2, instances);
  for (const DepthRecord& instance : instances) {
    POINT centre = ProjectToScreen(instance.position);
    EXPECT_NE(TestHooks::WindowPixelAt(window, centre.x, centre.y), kBlack) << instance.index;
  }
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 0, 0), kBlack);
  EXPECT_EQ(TestHooks::WindowPixelAt(window, kWidth - 1, kHeight - 1), kBlack);
  // The window's palette is put back after the copy.
  std::vector<TestHooks::LoggedCall> palettes = TestHooks::CallLogOf(LogKind::SelectPalette);
  ASSERT_GE(palettes.size(), 2u);
  EXPECT_EQ(palettes.back().args[1], palettes[palettes.size() - 2].args[2]);
}

// Through the software GDI: each cube colour is drawn as itself, any other snaps channel by channel.
TEST_F(SceneTest, ThePaletteKeepsCubeColoursAndSnapsOthersPerChannel) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ savedBitmap = SelectObject(dc, CreateCompatibleBitmap(dc, 1, 1));
  HPALETTE palette = BuildPalette();
  ASSERT_NE(palette, nullptr);
  HPALETTE savedPalette = SelectPalette(dc, palette, FALSE);
  auto drawn = [dc](COLORREF colour) {
    const RECT pixel = {0, 0, 1, 1};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &pixel, brush);
    DeleteObject(brush);
    return TestHooks::PixelAt(dc, 0, 0);
  };
  for (int r = 0; r < 256; r += 51) {
    for (int g = 0; g < 256; g += 51) {
      for (int b = 0; b < 256; b += 51) {
        const uint32_t cubeColour = static_cast<uint32_t>(r << 16 | g << 8 | b);
        ASSERT_EQ(drawn(PALETTERGB(r, g, b)), cubeColour) << r << "," << g << "," << b;
      }
    }
  }
  EXPECT_EQ(drawn(PALETTERGB(30, 80, 130)), 0x336699u);
  SelectPalette(dc, savedPalette, FALSE);
  DeleteObject(palette);
  DeleteObject(SelectObject(dc, savedBitmap));
  DeleteDC(dc);
}

TEST_F(SceneTest, FacesAreFilledWithTheirPaletteColours) {
  WriteObjectFile("[51,102,153] (-20,-20,0) (20,-20,0) (20,20,0) (-20,20,0)\n");
  Create();
  Tick();
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 320, 240), 0x336699u);
}

TEST_F(SceneTest, OneColourIsSelectedOnceForTheWholeRun) {
  WriteObjectFile("[0,0,255] (-5,-5,5) (5,-5,5) (0,5,5)\n[0,0,255] (-5,-5,-5) (5,-5,-5) (0,5,-5)\n");
  Create();
  TestHooks::ClearCallLog();
  Tick(10);
  EXPECT_EQ(BrushSelections(), std::vector<intptr_t>{reinterpret_cast<intptr_t>(colourTable.entries[0].brush)});
}

TEST_F(SceneTest, BrushesAreSelectedOnlyWhenTheColourChanges) {
  WriteSampleObject();
  Create();
  TestHooks::ClearCallLog();
  Tick(40);
  std::vector<intptr_t> brushes = BrushSelections();
  ASSERT_FALSE(brushes.empty());
  for (size_t i = 1; i < brushes.size(); ++i) EXPECT_NE(brushes[i], brushes[i - 1]) << i;
  EXPECT_LE(brushes.size(), 40u * kInstanceCount * 6u);
  // The last selection is what the back buffer holds, and what the next frame starts from.
  EXPECT_EQ(reinterpret_cast<intptr_t>(DcSelectedBrush(scene.backDC)), brushes.back());
  EXPECT_EQ(colourTable.entries[scene.lastColourIndex].brush, DcSelectedBrush(scene.backDC));
}

TEST_F(SceneTest, FacesKeepTheirFillWhenTheLastGrowthOfTheTableLeftItUnlocked) {
  // The second colour grows the table; the lock after that growth (the load's fourth) fails, and
  // no later colour lookup would lock it again.
  WriteObjectFile("[51,102,153] (-20,-20,0) (20,-20,0) (20,20,0) (-20,20,0)\n[0,255,0] (1,1,1) (2,1,1) (1,2,1)\n");
  TestHooks::FailCall(Call::GlobalLock, 4);
  Create();
  ASSERT_EQ(colourTable.entryCount, 1);
  ASSERT_EQ(colourTable.entries, nullptr);
  TestHooks::ClearCallLog();
  Tick();
  ASSERT_NE(colourTable.entries, nullptr);
  std::vector<intptr_t> brushes = BrushSelections();
  EXPECT_NE(std::find(brushes.begin(), brushes.end(), reinterpret_cast<intptr_t>(colourTable.entries[0].brush)),
            brushes.end());
}

TEST_F(SceneTest, AColourOutOfReachForOneFaceIsTriedAgainAtTheNext) {
  // The second colour's growth leaves the table unlocked; the lock of the first Face drawn fails
  // too, so that Face goes unfilled, but the same colour's next Face must get its brush.
  WriteObjectFile("[51,102,153] (-20,-20,0) (20,-20,0) (20,20,0) (-20,20,0)\n[0,255,0]\n");
  TestHooks::FailCall(Call::GlobalLock, 4);
  Create();
  ASSERT_EQ(colourTable.entries, nullptr);
  TestHooks::FailCall(Call::GlobalLock);
  TestHooks::ClearCallLog();
  Tick();
  const std::vector<intptr_t> brushes = BrushSelections();
  ASSERT_GE(brushes.size(), 2u);
  EXPECT_EQ(brushes[0], reinterpret_cast<intptr_t>(GetStockObject(NULL_BRUSH)));
  ASSERT_NE(colourTable.entries, nullptr);
  EXPECT_EQ(brushes[1], reinterpret_cast<intptr_t>(colourTable.entries[0].brush));
}

TEST_F(SceneTest, AFaceWithoutFillIsOnlyOutlinedEvenAsTheFirstFaceDrawn) {
  WriteObjectFile("[N] (-20,-20,0) (20,-20,0) (20,20,0) (-20,20,0)\n");
  Create();
  TestHooks::ClearCallLog();
  Tick(2);
  EXPECT_EQ(BrushSelections(), std::vector<intptr_t>{reinterpret_cast<intptr_t>(GetStockObject(NULL_BRUSH))});
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 320, 240), kBlack);
}

TEST_F(SceneTest, FacesAtOrBehindTheViewerAreNotDrawn) {
  WriteSampleObject();
  Create();
  // A face whose corners reach z = +1000 in front of an Instance placed at z = -500.
  Vertex corners[3] = {{-400, -400, 1500}, {400, -400, 1500}, {0, 400, 1500}};
  Face face{3, 0, Vertex{0, 0, 1500}, nullptr, corners};
  Object near{1, nullptr, &face};
  TestHooks::ClearCallLog();
  DrawInstance(scene.backDC, near, Vertex{0, 0, -500}, 1, kAxisY);
  EXPECT_TRUE(BrushSelections().empty());
  TestHooks::Pixels back = TestHooks::DcPixels(scene.backDC);
  for (uint32_t pixel : back.data) ASSERT_EQ(pixel, kBlack);
  // The same face well in front is drawn.
  DrawInstance(scene.backDC, near, Vertex{0, 0, -5000}, 1, kAxisY);
  EXPECT_EQ(BrushSelections().size(), 1u);
  EXPECT_NE(TestHooks::PixelAt(scene.backDC, 320, 240), kBlack);
}

TEST_F(SceneTest, ASceneWithoutPaletteStillAnimates) {
  WriteSampleObject();
  TestHooks::FailCall(Call::LocalAlloc);
  Create();
  EXPECT_EQ(scene.scenePalette, nullptr);
  Tick(2);
  EXPECT_EQ(scene.frameCount, 2);
  EXPECT_NE(TestHooks::WindowPixelAt(window, 320, 240), kBlack);
}

TEST_F(SceneTest, FramesAllocateNothing) {
  WriteSampleObject();
  Create();
  Tick(3);  // the platform's own first-use work
  TestHooks::ClearCallLog();
  long before = allocationCount.load();
  for (int i = 0; i < 200; ++i) {
    Tick();
    TestHooks::ClearCallLog();  // keeps its room, so logging allocates nothing either
  }
  EXPECT_EQ(allocationCount.load() - before, 0);
  EXPECT_EQ(scene.frameCount, 203);
}

// ---- Destruction ----

TEST_F(SceneTest, TheStatisticsFileHoldsTheRun) {
  WriteSampleObject();
  Create();
  Tick(200);
  AdvanceVirtualClock(10000);
  Destroy();
  EXPECT_EQ(ReadFile(StatisticsPath()),
            "Started           =1000\r\nEnded             =11000\r\nTotal Frames      =200\r\n"
            "Total Seconds     =10\r\nFrames per Second =20\r\n");
  ExpectEverythingReleased();
}

TEST_F(SceneTest, TeardownRunsWhenTheStatisticsCannotBeWritten) {
  WriteSampleObject();
  Create();
  Tick(2);
  // The statistics' folder disappears and a plain file takes its name.
  std::remove(ObjectFilePath().c_str());
  ASSERT_EQ(rmdir((drive_ + "/windows").c_str()), 0);
  std::ofstream((drive_ + "/windows").c_str()) << "not a folder";
  Destroy();
  ExpectEverythingReleased();
  std::remove((drive_ + "/windows").c_str());
}

TEST_F(SceneTest, TeardownPutsBackWhatTheBackBufferHeld) {
  WriteSampleObject();
  Create();
  HDC backDC = scene.backDC;
  HGDIOBJ savedBrush = scene.savedBrush;
  Tick();
  TestHooks::ClearCallLog();
  Destroy();
  std::vector<TestHooks::LoggedCall> selections = TestHooks::CallLogOf(LogKind::SelectObject);
  ASSERT_EQ(selections.size(), 3u);
  for (const TestHooks::LoggedCall& call : selections) EXPECT_EQ(call.args[0], reinterpret_cast<intptr_t>(backDC));
  EXPECT_EQ(selections[1].args[1], reinterpret_cast<intptr_t>(savedBrush));
  std::vector<TestHooks::LoggedCall> kills = TestHooks::CallLogOf(LogKind::KillTimer);
  ASSERT_EQ(kills.size(), 1u);
  EXPECT_EQ(kills[0].args[1], 1);
}

}  // namespace
