// cubrix-render against the saver's own window: every frame of its GIF is the frame the scene's
// window shows at that tick, pixel for pixel, with the saver's palette and timing, and each frame stores
// only the rectangle that changed.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
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

using Rect = std::array<int, 4>;  // left, top, width, height

struct Gif {
  int width = 0;
  int height = 0;
  std::vector<std::vector<uint32_t>> frames;  // 0x00RRGGBB, row after row
  std::vector<Rect> rects;                    // the part each frame stores
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

// Draws one stored image onto the picture as viewers do.
void Compose(std::vector<uint32_t>& picture, int width, const SavedImage& image, const GifColorType* colours, int transparent) {
  const GifImageDesc& d = image.ImageDesc;
  for (int y = 0; y < d.Height; ++y) {
    for (int x = 0; x < d.Width; ++x) {
      const GifByteType index = image.RasterBits[y * d.Width + x];
      if (index != transparent) picture[static_cast<size_t>((d.Top + y) * width + d.Left + x)] = Rgb(colours[index]);
    }
  }
}

// Decodes a whole GIF with giflib's own reader into the pictures a viewer shows, frame by frame.
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
    std::vector<uint32_t> picture(static_cast<size_t>(gif.width) * static_cast<size_t>(gif.height),
                                  gif.colours[static_cast<size_t>(file->SBackGroundColor)]);
    for (int i = 0; i < file->ImageCount; ++i) {
      const SavedImage& image = file->SavedImages[i];
      const GifImageDesc& d = image.ImageDesc;
      if (d.Left < 0 || d.Top < 0 || d.Left + d.Width > gif.width || d.Top + d.Height > gif.height) {
        ADD_FAILURE() << "frame " << i << " reaches outside the picture";
        break;
      }
      GraphicsControlBlock control{};
      DGifSavedExtensionToGCB(file, i, &control);
      Compose(picture, gif.width, image, d.ColorMap != nullptr ? d.ColorMap->Colors : file->SColorMap->Colors,
              control.TransparentColor);
      gif.frames.push_back(picture);
      gif.rects.push_back(Rect{d.Left, d.Top, d.Width, d.Height});
      gif.delays.push_back(control.DelayTime);
      EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT) << "the next frame draws over this one";
    }
  }
  DGifCloseFile(file, &error);
  return gif;
}

// The smallest rectangle around the pixels in which two pictures differ; one pixel for none.
Rect ChangedRect(const Gif& gif, const std::vector<uint32_t>& before, const std::vector<uint32_t>& after) {
  int left = gif.width, top = gif.height, right = 0, bottom = 0;
  for (int y = 0; y < gif.height; ++y) {
    for (int x = 0; x < gif.width; ++x) {
      if (before[static_cast<size_t>(y * gif.width + x)] == after[static_cast<size_t>(y * gif.width + x)]) continue;
      left = std::min(left, x);
      top = std::min(top, y);
      right = std::max(right, x + 1);
      bottom = std::max(bottom, y + 1);
    }
  }
  return right == 0 ? Rect{0, 0, 1, 1} : Rect{left, top, right - left, bottom - top};
}

// How many frames after the first store more than the rectangle in which they differ from the
// frame before.
int FramesBeyondTheirChange(const Gif& gif) {
  int beyond = 0;
  for (size_t i = 1; i < gif.frames.size(); ++i) beyond += gif.rects[i] != ChangedRect(gif, gif.frames[i - 1], gif.frames[i]);
  return beyond;
}

std::string Sample(const char* name) { return std::string(CUBRIX_DATA_DIR) + "/" + name; }

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether a file whose name starts so is in the working folder (a temporary file left behind).
bool Left(const std::string& start) { return std::system(("ls -a | grep -q '^" + start + "'").c_str()) == 0; }

struct RenderRun {
  int status;
  std::string errors;
  std::string output;
};

// Runs the renderer through the shell, after shell commands in front (a pipe, limits).
RenderRun Render(const std::string& arguments, const std::string& inFront = "") {
  const int status = std::system((inFront + CUBRIX_RENDER + " " + arguments + " >render_test.out 2>render_test.err").c_str());
  RenderRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Contents("render_test.err"), Contents("render_test.out")};
  std::remove("render_test.err");
  std::remove("render_test.out");
  return run;
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
  EXPECT_EQ(gif.rects[0], (Rect{0, 0, 320, 240}));
  EXPECT_EQ(FramesBeyondTheirChange(gif), 0);
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
}

TEST(Render, AWrongCommandLineIsNamedInOneLineAndHelpGoesToTheOutput) {
  const std::string size = "': expected WxH, 1 to 4096 pixels a side\n";
  const std::string number = "': expected a whole number from 1 to 359\n";
  for (const char* value : {"0x0", " 8x8", "+8x+8", "abc", "8X8", "8x-8", "4097x8", "8x8x8", "10"}) {
    const RenderRun run = Render(std::string("--size '") + value + "' bad.dat x.gif");
    EXPECT_EQ(run.status, 16) << value;
    EXPECT_EQ(run.errors, std::string("cubrix-render: --size '") + value + size);
  }
  for (const char* value : {"0", "-1", "360", " 8", "+8", "abc", "99999999999"}) {
    for (const std::string option : {"--frames", "--start"}) {
      const RenderRun run = Render(option + " '" + value + "' bad.dat x.gif");
      EXPECT_EQ(run.status, 16) << value;
      EXPECT_EQ(run.errors, "cubrix-render: " + option + " '" + value + number);
    }
  }
  EXPECT_EQ(Render("--colour red bad.dat x.gif").errors, "cubrix-render: unknown option '--colour'\n");
  EXPECT_EQ(Render("bad.dat").status, 16);
  for (const char* names : {"'' x.gif", "bad.dat ''", "-- bad.dat ''"}) {
    EXPECT_EQ(Render(names).errors, "cubrix-render: an empty file name (see --help)\n") << names;
  }
  for (const char* help : {"--help", "-h", "--frames 2 --help"}) {
    const RenderRun run = Render(help);
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_EQ(run.output.rfind("usage: cubrix-render", 0), 0u) << help;
  }
  EXPECT_EQ(Render("--version").output.rfind("cubrix-render ", 0), 0u);
}

// The output is replaced only by a complete GIF; what the output path names is never removed.
TEST(Render, AFailedWriteLeavesWhatTheOutputNamedInPlace) {
  const std::string object = Sample("Cube.dat");
  // A full disk: the system's own device where it cannot be removed, else one of our own.
  const bool own = mknod("full.dev", S_IFCHR | 0666, makedev(1, 7)) == 0;
  const std::string full = own ? "full.dev" : "/dev/full";
  const RenderRun disk = Render("--frames 2 " + object + " " + full);
  EXPECT_EQ(disk.status, 17);
  EXPECT_EQ(disk.errors, full + ": No space left on device\n");
  struct stat device;
  EXPECT_TRUE(stat(full.c_str(), &device) == 0 && S_ISCHR(device.st_mode));
  if (own) std::remove("full.dev");

  std::ofstream("kept.gif") << "kept";
  const RenderRun tooLarge = Render("--frames 20 " + object + " kept.gif", "trap '' XFSZ; ulimit -f 1; ");
  EXPECT_EQ(tooLarge.status, 17);
  EXPECT_EQ(Contents("kept.gif"), "kept");
  EXPECT_FALSE(Left("kept.gif.")) << "a temporary file stayed";
  std::remove("kept.gif");

  // Ended by a signal, the renderer removes its temporary file and dies by that signal.
  for (const int signal : {SIGTERM, SIGHUP}) {
    const std::string cut = std::string(CUBRIX_RENDER) + " --size 1000x1000 " + object + " cut.gif 2>/dev/null & " +
                            "while kill -0 $! 2>/dev/null && ! ls -a | grep -q '^cut.gif.'; do sleep 0.01; done; " +
                            "kill -" + std::to_string(signal) + " $!; wait $!";
    const int status = std::system(cut.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 128 + signal);
    EXPECT_FALSE(Left("cut.gif")) << signal;
  }

  // A link to no file yet is followed from its own folder; a failed write leaves nothing there.
  ASSERT_EQ(mkdir("links", 0755), 0);
  ASSERT_EQ(symlink("../made.gif", "links/dangling.gif"), 0);
  EXPECT_EQ(Render("--frames 20 " + object + " links/dangling.gif", "trap '' XFSZ; ulimit -f 1; ").status, 17);
  EXPECT_FALSE(Left("made.gif")) << "a half-written file or a temporary one";
  EXPECT_EQ(Render("--frames 1 " + object + " links/dangling.gif").status, 0);
  EXPECT_EQ(ReadGif("made.gif").frames.size(), 1u);
  EXPECT_FALSE(Left("made.gif."));
  std::remove("made.gif");
  std::remove("links/dangling.gif");
  rmdir("links");

  // A writable file in a folder the user may not write to is written in place.
  // Root writes anywhere: the renderer then runs without the capabilities that override modes
  // (rather than as another user, who may not reach the build folder at all).
  ASSERT_EQ(mkdir("locked", 0755), 0);
  std::ofstream("locked/in.gif") << "old";
  chmod("locked/in.gif", 0666);
  chmod("locked", 0555);
  const std::string asUser = geteuid() == 0 ? "setpriv --bounding-set=-dac_override,-dac_read_search " : "";
  EXPECT_EQ(Render("--frames 1 " + object + " locked/in.gif", asUser).status, 0);
  EXPECT_EQ(ReadGif("locked/in.gif").frames.size(), 1u);
  chmod("locked", 0755);
  std::remove("locked/in.gif");
  rmdir("locked");

  std::ofstream("target.gif") << "old";
  ASSERT_EQ(symlink("target.gif", "link.gif"), 0);
  EXPECT_EQ(Render("--frames 1 " + object + " link.gif").status, 0);
  struct stat link;
  EXPECT_TRUE(lstat("link.gif", &link) == 0 && S_ISLNK(link.st_mode));
  EXPECT_EQ(ReadGif("target.gif").frames.size(), 1u);
  std::remove("link.gif");
  std::remove("target.gif");
}

// Standard input and a pipe by its name (as process substitution gives it) give the GIF of the
// file; a device that never ends is refused at the bound.
TEST(Render, ObjectsComeThroughPipesAsFromTheirFiles) {
  const std::string object = Sample("objects/star.dat");
  ASSERT_EQ(Render("--frames 3 " + object + " file.gif").status, 0);
  ASSERT_EQ(Render("--frames 3 - piped.gif", "cat " + object + " | ").status, 0);
  ASSERT_EQ(Render("--frames 3 /dev/stdin named.gif", "cat " + object + " | ").status, 0);
  ASSERT_EQ(Render("--frames 3 -- " + object + " -dashed.gif").status, 0);
  const RenderRun toOutput = Render("--frames 3 " + object + " -");
  const std::string gif = Contents("file.gif");
  EXPECT_TRUE(Contents("piped.gif") == gif);
  EXPECT_TRUE(Contents("named.gif") == gif);
  EXPECT_TRUE(Contents("-dashed.gif") == gif) << "after '--' a name may start with '-'";
  EXPECT_TRUE(toOutput.output == gif) << "'-' writes the standard output";
  for (const char* name : {"file.gif", "piped.gif", "named.gif", "-dashed.gif"}) std::remove(name);
  const RenderRun endless = Render("/dev/zero zero.gif");
  EXPECT_EQ(endless.status, 3);
  EXPECT_EQ(endless.errors, "/dev/zero: more than 16 MiB, the most read from standard input, a pipe or a device\n");
}

}  // namespace
