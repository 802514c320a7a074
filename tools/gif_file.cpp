// Writing frames of the saver's palette as an animated GIF, with giflib.
#include "tools/gif_file.h"

#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

struct GifWriter {
  GifFileType* file;
  int width;
  int height;
  std::vector<uint8_t> shown;  // the picture as the frames so far leave it; empty before the first
};

namespace {

constexpr int kGifColourBits = 8;
constexpr char kLoopApplication[] = "NETSCAPE2.0";  // the extension every viewer loops by
constexpr GifByteType kLoopForever[] = {1, 0, 0};    // sub-block 1: loop count 0, for ever

// The part of a frame written to the file, in picture coordinates.
struct FrameRect {
  int left;
  int top;
  int width;
  int height;
};

std::string GifError(int code) {
  // What the system said is the useful part: "No space left on device", not "Failed to close".
  const bool written = code != E_GIF_ERR_WRITE_FAILED && code != E_GIF_ERR_DISK_IS_FULL && code != E_GIF_ERR_CLOSE_FAILED;
  if (!written && errno != 0) return std::strerror(errno);
  const char* text = GifErrorString(code);
  return text != nullptr ? text : "GIF error " + std::to_string(code);
}

ColorMapObject* SaverColourMap() {
  ColorMapObject* map = GifMakeMapObject(kGifColours, nullptr);
  if (map == nullptr) return nullptr;
  std::memset(map->Colors, 0, sizeof(GifColorType) * kGifColours);
  for (int r = 0; r < kCubeLevels; ++r) {
    for (int g = 0; g < kCubeLevels; ++g) {
      for (int b = 0; b < kCubeLevels; ++b) {
        GifColorType& entry = map->Colors[kCubeFirstEntry + (r * kCubeLevels + g) * kCubeLevels + b];
        entry.Red = static_cast<GifByteType>(r * kCubeLevelStep);
        entry.Green = static_cast<GifByteType>(g * kCubeLevelStep);
        entry.Blue = static_cast<GifByteType>(b * kCubeLevelStep);
      }
    }
  }
  return map;
}

bool PutLoopExtension(GifFileType* file) {
  return EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(file, sizeof kLoopApplication - 1, kLoopApplication) == GIF_OK &&
         EGifPutExtensionBlock(file, sizeof kLoopForever, kLoopForever) == GIF_OK &&
         EGifPutExtensionTrailer(file) == GIF_OK;
}

// A cube level (0, 51, ..., 255) as its step number; false for a value between levels.
bool CubeLevel(uint32_t value, int* level) {
  if (value % kCubeLevelStep != 0) return false;
  *level = static_cast<int>(value / kCubeLevelStep);
  return true;
}

// The smallest rectangle holding every pixel that differs from what is shown; the whole picture
// for the first frame, and one pixel when nothing changed, since a GIF frame cannot be empty.
FrameRect ChangedRect(const GifWriter& gif, const std::vector<uint8_t>& indices) {
  if (gif.shown.empty()) return FrameRect{0, 0, gif.width, gif.height};
  int left = gif.width, top = gif.height, right = -1, bottom = -1;
  for (int y = 0; y < gif.height; ++y) {
    const size_t row = static_cast<size_t>(y) * static_cast<size_t>(gif.width);
    for (int x = 0; x < gif.width; ++x) {
      if (indices[row + static_cast<size_t>(x)] == gif.shown[row + static_cast<size_t>(x)]) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return FrameRect{0, 0, 1, 1};
  return FrameRect{left, top, right - left + 1, bottom - top + 1};
}

// Each frame stays on the picture for the next to draw over (no disposal), so the file needs only
// the rectangle that changed. Unchanged pixels inside it are written as they are: marking them
// transparent breaks the colour runs and makes the file larger, not smaller.
bool PutFrame(GifWriter& gif, const FrameRect& rect, const std::vector<uint8_t>& indices) {
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.DelayTime = kFrameDelayCentiseconds;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const size_t extensionLength = EGifGCBToExtension(&control, extension);
  bool written = EGifPutExtension(gif.file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extensionLength), extension) == GIF_OK &&
                 EGifPutImageDesc(gif.file, rect.left, rect.top, rect.width, rect.height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<size_t>(rect.width));
  for (int y = rect.top; written && y < rect.top + rect.height; ++y) {
    const size_t start = static_cast<size_t>(y) * static_cast<size_t>(gif.width) + static_cast<size_t>(rect.left);
    std::memcpy(row.data(), indices.data() + start, row.size());
    written = EGifPutLine(gif.file, row.data(), rect.width) == GIF_OK;
  }
  return written;
}

}  // namespace

GifWriter* OpenGif(int descriptor, int width, int height, std::string* error) {
  int code = 0;
  GifFileType* file = EGifOpenFileHandle(descriptor, &code);  // closed with the GIF
  if (file == nullptr) {
    close(descriptor);
    *error = GifError(code);
    return nullptr;
  }
  EGifSetGifVersion(file, true);  // GIF89a: frame delays and the loop extension
  ColorMapObject* map = SaverColourMap();
  const bool started = map != nullptr && EGifPutScreenDesc(file, width, height, kGifColourBits, 0, map) == GIF_OK &&
                       PutLoopExtension(file);
  GifFreeMapObject(map);
  if (!started) {
    *error = GifError(file->Error);
    EGifCloseFile(file, &code);
    return nullptr;
  }
  return new GifWriter{file, width, height, {}};
}

bool WriteGifFrame(GifWriter* gif, const std::vector<uint8_t>& indices, std::string* error) {
  const FrameRect rect = ChangedRect(*gif, indices);
  const bool written = PutFrame(*gif, rect, indices);
  if (!written) *error = GifError(gif->file->Error);
  gif->shown = indices;
  return written;
}

bool CloseGif(GifWriter* gif, std::string* error) {
  int code = 0;
  const bool closed = EGifCloseFile(gif->file, &code) == GIF_OK;
  if (!closed) *error = GifError(code);
  delete gif;
  return closed;
}

bool CubeIndex(uint32_t pixel, uint8_t* index) {
  int red = 0, green = 0, blue = 0;
  if (!CubeLevel((pixel >> 16) & 0xFFu, &red) || !CubeLevel((pixel >> 8) & 0xFFu, &green) ||
      !CubeLevel(pixel & 0xFFu, &blue)) {
    return false;
  }
  *index = static_cast<uint8_t>(kCubeFirstEntry + (red * kCubeLevels + green) * kCubeLevels + blue);
  return true;
}
