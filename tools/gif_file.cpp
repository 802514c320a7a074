// Writing frames of the saver's palette as an animated GIF, with giflib.
#include "tools/gif_file.h"

#include <gif_lib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

struct GifWriter {
  GifFileType* file;
  int width;
  int height;
};

namespace {

constexpr int kGifColourBits = 8;
constexpr char kLoopApplication[] = "NETSCAPE2.0";  // the extension every viewer loops by
constexpr GifByteType kLoopForever[] = {1, 0, 0};    // sub-block 1: loop count 0, for ever

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
  return new GifWriter{file, width, height};
}

bool WriteGifFrame(GifWriter* gif, const std::vector<uint8_t>& indices, std::string* error) {
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;  // each frame covers the whole picture
  control.DelayTime = kFrameDelayCentiseconds;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const size_t extensionLength = EGifGCBToExtension(&control, extension);
  bool written = EGifPutExtension(gif->file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extensionLength), extension) == GIF_OK &&
                 EGifPutImageDesc(gif->file, 0, 0, gif->width, gif->height, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> row(static_cast<size_t>(gif->width));
  for (int y = 0; written && y < gif->height; ++y) {
    std::memcpy(row.data(), indices.data() + static_cast<size_t>(y) * row.size(), row.size());
    written = EGifPutLine(gif->file, row.data(), gif->width) == GIF_OK;
  }
  if (!written) *error = GifError(gif->file->Error);
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
