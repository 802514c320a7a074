// cubrix-render against the saver's own window: every frame of its GIF is the frame the scene's
// window shows at that tick, pixel for pixel, with the saver's palette and timing.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/reference_scene.h"

namespace {

constexpr int kCycle = 359;

struct Gif {
  int width = 0;
  int height = 0;
  std::vector<std::vector<uint32_t>> frames;  // 0x00RRGGBB, row after row
  std::vector<int> delays;                    // hundredths of a second
  bool loops = false;
  std::vector<uint32_t> colours;  // the global colour map
};

uint32_t Rgb(const GifColorType& c) { return (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue; }

bool LoopsForever(const SavedImage& first) {
  for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i) {
    const ExtensionBlock& block = first.ExtensionBlocks[i];
    const ExtensionBlock& next = first.ExtensionBlocks[i + 1];
    if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
        std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3) {
      return next.Bytes[0] == 1 && next.Bytes[1] == 0 && next.Bytes[2] == 0;
    }
  }
  return false;
}

// Decodes a whole GIF of full-size frames with giflib's own reader.
Gif ReadGif(const std::string& path) {
  Gif gif;
  int error = 0;
  GifFileType* file = DGifOpenFileName(path.c_str(), &error);
  if (file == nullptr) return gif;
  if (DGifSlurp(file) == GIF_OK && file->SColorMap != nullptr && file->ImageCount > 0) {
    gif.width = file->SWidth;
    gif.height = file->SHeight;
    for (int i = 0; i < file->SColorMap->ColorCount; ++i) gif.colours.push_back(Rgb(file->SColorMap->Colors[i]));
    gif.loops = LoopsForever(file->SavedImages[0]);
    for (int i = 0; i < file->ImageCount; ++i) {
      const SavedImage& image = file->SavedImages[i];
      EXPECT_EQ(image.ImageDesc.Left, 0);
      EXPECT_EQ(image.ImageDesc.Width, gif.width);
      EXPECT_EQ(image.ImageDesc.Height, gif.height);
      std::vector<uint32_t> frame(static_cast<size_t>(gif.width) * static_cast<size_t>(gif.height));
      for (size_t p = 0; p < frame.size(); ++p) frame[p] = gif.colours[image.RasterBits[p]];
      gif.frames.push_back(std::move(frame));
      GraphicsControlBlock control{};
      DGifSavedExtensionToGCB(file, i, &control);
      gif.delays.push_back(control.DelayTime);
    }
  }
  DGifCloseFile(file, &error);
  return gif;
}

std::string Sample(const char* name) { return std::string(CUBRIX_DATA_DIR) + "/" + name; }

struct RenderRun {
  int status;
  std::string errors;
};

RenderRun Render(const std::string& arguments) {
  const std::string errors = "render_test.err";
  const int status = std::system((std::string(CUBRIX_RENDER) + " " + arguments + " 2>" + errors).c_str());
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(errors.c_str());
  return RenderRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

// How many GIF frames differ from the window's frames firstFrame, firstFrame + 1, ... of a run.
int FramesUnlikeTheWindows(const Gif& gif, const std::string& object, int firstFrame) {
  EXPECT_TRUE(OpenReferenceScene(object.c_str(), gif.width, gif.height));
  int angle = 0;
  for (int frame = 1; frame < firstFrame; ++frame) NextReferenceFrame(&angle);
  int unlike = 0;
  for (const std::vector<uint32_t>& frame : gif.frames) {
    TestHooks::Pixels shown = NextReferenceFrame(&angle);
    for (uint32_t& pixel : shown.data) pixel &= 0xFFFFFFu;
    unlike += shown.data != frame;
  }
  CloseReferenceScene();
  return unlike;
}

TEST(Render, TheWholeCycleIsTheWindowsFramesWithTheSaversPaletteAndTiming) {
  ASSERT_EQ(Render("--size 320x240 " + Sample("Cube.dat") + " cycle.gif").status, 0);
  const Gif gif = ReadGif("cycle.gif");
  std::remove("cycle.gif");
  ASSERT_EQ(gif.frames.size(), static_cast<size_t>(kCycle));
  EXPECT_EQ(gif.width, 320);
  EXPECT_EQ(gif.height, 240);
  EXPECT_TRUE(gif.loops);
  EXPECT_EQ(gif.delays, std::vector<int>(kCycle, 5));
  ASSERT_EQ(gif.colours.size(), 256u);
  for (int entry = 0; entry < 256; ++entry) {
    const int cube = entry - 15;
    const uint32_t expected =
        cube >= 0 && cube < 216 ? (uint32_t(cube / 36 * 51) << 16) | (uint32_t(cube / 6 % 6 * 51) << 8) | uint32_t(cube % 6 * 51) : 0;
    EXPECT_EQ(gif.colours[static_cast<size_t>(entry)], expected) << entry;
  }
  EXPECT_EQ(FramesUnlikeTheWindows(gif, Sample("Cube.dat"), 1), 0);
}

TEST(Render, StartAndFramesPickFramesOfTheRepeatingCycle) {
  ASSERT_EQ(Render("--start 358 --size 160x120 --frames 4 " + Sample("objects/star.dat") + " part.gif").status, 0);
  const Gif part = ReadGif("part.gif");
  ASSERT_EQ(part.frames.size(), 4u);
  EXPECT_EQ(FramesUnlikeTheWindows(part, Sample("objects/star.dat"), 358), 0);
  ASSERT_EQ(Render("--frames 1 " + Sample("objects/gem.dat") + " part.gif").status, 0);
  const Gif one = ReadGif("part.gif");
  std::remove("part.gif");
  EXPECT_EQ(one.frames.size(), 1u);
  EXPECT_EQ(one.width, 640) << "the default size";
  EXPECT_EQ(one.height, 480);
}

TEST(Render, ARefusedFileGivesTheSaversMessageAndResultAndNoPicture) {
  {
    std::ofstream bad("bad.dat");
    bad << "(1,2,3) (4 5 6)\n";
  }
  const RenderRun malformed = Render("bad.dat refused.gif");
  EXPECT_EQ(malformed.status, 4);
  EXPECT_EQ(malformed.errors, "bad.dat: Error reading object data (result 4)\n");
  EXPECT_EQ(Render("absent.dat refused.gif").status, 3);
  std::ifstream picture("refused.gif");
  EXPECT_FALSE(picture.good());
  std::remove("bad.dat");
  for (const char* usage : {"", "bad.dat", "--frames 0 bad.dat x.gif", "--size 10 bad.dat x.gif",
                            "--start 360 bad.dat x.gif", "--colour red bad.dat x.gif"}) {
    const RenderRun run = Render(usage);
    EXPECT_EQ(run.status, 16) << usage;
    EXPECT_EQ(run.errors.rfind("usage: cubrix-render", 0), 0u) << usage;
  }
}

}  // namespace
