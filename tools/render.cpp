// cubrix-render: renders an object file into an animated GIF through the saver's own scene code,
// headless, so an author sees the object move without installing it.
//
// Usage: cubrix-render [--size WxH] [--frames N] [--start N] <object file> <output.gif>
// Frames are numbered as the saver draws them: frame 1 is the first timer tick (frame angle 2)
// and the cycle repeats after 359 frames. Each GIF frame lasts 50 ms and the GIF loops; its
// palette is the saver's. On a file the saver refuses it prints the saver's message and exits
// with the loader's result code.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "scene/object_file.h"
#include "scene/scene_proc.h"
#include "tools/gif_file.h"

namespace {

constexpr int kMaxSide = 4096;
constexpr int kUsageStatus = 2 * kLoadResultCount;  // apart from every result code
constexpr int kOutputStatus = kUsageStatus + 1;

struct Options {
  int width = 640;
  int height = 480;
  int frames = kFramesPerCycle;
  int start = 1;
  const char* objectFile = nullptr;
  const char* output = nullptr;
};

bool ReadNumber(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || number < low || number > high) return false;
  *value = static_cast<int>(number);
  return true;
}

bool ReadSize(const char* text, Options& options) {
  const char* cross = std::strchr(text, 'x');
  if (cross == nullptr) return false;
  const std::string width(text, cross);
  return ReadNumber(width.c_str(), 1, kMaxSide, &options.width) && ReadNumber(cross + 1, 1, kMaxSide, &options.height);
}

bool ReadOptions(int argc, char** argv, Options& options) {
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--size" && hasValue) {
      if (!ReadSize(argv[++i], options)) return false;
    } else if (argument == "--frames" && hasValue) {
      if (!ReadNumber(argv[++i], 1, kFramesPerCycle, &options.frames)) return false;
    } else if (argument == "--start" && hasValue) {
      if (!ReadNumber(argv[++i], 1, kFramesPerCycle, &options.start)) return false;
    } else if (argument.rfind("--", 0) == 0) {
      return false;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 2) return false;
  options.objectFile = files[0];
  options.output = files[1];
  return true;
}

// Reads frames out of the scene's back buffer through a bitmap of its own, which is not
// selected anywhere while GetDIBits reads it, as Windows asks.
struct FrameReader {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ keptBitmap;
  BITMAPINFO info;
  std::vector<uint32_t> pixels;
};

void OpenFrameReader(FrameReader& reader, HDC reference, int width, int height) {
  reader.dc = CreateCompatibleDC(reference);
  reader.bitmap = CreateCompatibleBitmap(reference, width, height);
  reader.keptBitmap = SelectObject(reader.dc, reader.bitmap);
  reader.info = BITMAPINFO{};
  reader.info.bmiHeader.biSize = sizeof reader.info.bmiHeader;
  reader.info.bmiHeader.biWidth = width;
  reader.info.bmiHeader.biHeight = -height;  // top-down rows, as the GIF stores them
  reader.info.bmiHeader.biPlanes = 1;
  reader.info.bmiHeader.biBitCount = 32;
  reader.info.bmiHeader.biCompression = BI_RGB;
  reader.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

bool ReadFrame(FrameReader& reader, HDC source, int width, int height) {
  BitBlt(reader.dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
  SelectObject(reader.dc, reader.keptBitmap);
  const int lines = GetDIBits(reader.dc, reader.bitmap, 0, static_cast<UINT>(height), reader.pixels.data(),
                              &reader.info, DIB_RGB_COLORS);
  SelectObject(reader.dc, reader.bitmap);
  return lines == height;
}

void CloseFrameReader(FrameReader& reader) {
  SelectObject(reader.dc, reader.keptBitmap);
  DeleteObject(reader.bitmap);
  DeleteDC(reader.dc);
}

// The frame as palette indices; false (with the first offending pixel named) for a colour off
// the palette, which the saver's drawing never makes.
bool IndexFrame(const FrameReader& reader, int width, std::vector<uint8_t>& indices, std::string* error) {
  indices.resize(reader.pixels.size());
  for (size_t i = 0; i < reader.pixels.size(); ++i) {
    if (!CubeIndex(reader.pixels[i], &indices[i])) {
      *error = "pixel " + std::to_string(i % static_cast<size_t>(width)) + "," +
               std::to_string(i / static_cast<size_t>(width)) + " is off the palette";
      return false;
    }
  }
  return true;
}

// Draws frames 1 .. start + frames - 1 and writes the last `frames` of them.
int WriteFrames(const Options& options, HDC reference) {
  std::string error;
  GifWriter* gif = OpenGif(options.output, options.width, options.height, &error);
  if (gif == nullptr) {
    std::fprintf(stderr, "%s: %s\n", options.output, error.c_str());
    return kOutputStatus;
  }
  FrameReader reader;
  OpenFrameReader(reader, reference, options.width, options.height);
  std::vector<uint8_t> indices;
  bool written = true;
  for (int frame = 1; written && frame < options.start + options.frames; ++frame) {
    // Frames before the first written one are drawn too, so that every frame is the saver's own.
    DrawNextFrame();
    if (frame < options.start) continue;
    written = ReadFrame(reader, scene.backDC, options.width, options.height) &&
              IndexFrame(reader, options.width, indices, &error) && WriteGifFrame(gif, indices, &error);
    if (!written && error.empty()) error = "the frame could not be read back";
  }
  CloseFrameReader(reader);
  std::string closeError;
  if (!CloseGif(gif, &closeError) && written) {
    written = false;
    error = closeError;
  }
  if (!written) {
    std::fprintf(stderr, "%s: %s\n", options.output, error.c_str());
    std::remove(options.output);
    return kOutputStatus;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ReadOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: cubrix-render [--size WxH] [--frames N] [--start N] <object file> <output.gif>\n"
                 "  --size WxH   picture size, 1 to %d pixels a side (default 640x480)\n"
                 "  --frames N   frames to write, 1 to %d (default %d, the whole cycle)\n"
                 "  --start N    the first frame written, 1 to %d (default 1)\n",
                 kMaxSide, kFramesPerCycle, kFramesPerCycle, kFramesPerCycle);
    return kUsageStatus;
  }
  HDC screen = GetDC(nullptr);
  BuildScene(screen, RECT{0, 0, options.width, options.height});
  const int32_t result = LoadPosedObject(PlatformPathOfHostFile(options.objectFile).c_str());
  int status = result;
  if (result != kLoadSucceeded) {
    std::fprintf(stderr, "%s: %s (result %d)\n", options.objectFile, LoadResultMessage(result), static_cast<int>(result));
  } else {
    status = WriteFrames(options, screen);
  }
  ReleaseScene();
  ReleaseDC(nullptr, screen);
  return status;
}
