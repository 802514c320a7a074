// End-to-end helper, portable build: renders the whole 359-frame cycle of the scene headless and
// compares every frame with a screenshot of the Windows build, to find the frame it shows.
//
// Usage: e2e_render_frames <object file> <width> <height> <screenshot: packed RGB bytes>
// Prints per frame "frame <k> angle <frame angle> equal <equal pixels> of <pixels>", and for the
// best frame "best <k> angle <a> equal <n> of <pixels> object <n> of <n> edge <n> inner <n>":
// how many pixels that either image draws (not black) agree, and of the differing pixels how
// many lie next to a colour change of the reference (polygon edges) and how many do not.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/e2e/reference_scene.h"

namespace {

constexpr int kCycleLength = 359;
constexpr uint32_t kBlack = 0;

struct Image {
  int width;
  int height;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, row after row
};

bool ReadScreenshot(const char* path, int width, int height, Image* image) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (bytes.size() != count * 3) return false;
  image->width = width;
  image->height = height;
  image->pixels.resize(count);
  for (size_t i = 0; i < count; ++i) {
    image->pixels[i] = (uint32_t{bytes[3 * i]} << 16) | (uint32_t{bytes[3 * i + 1]} << 8) | bytes[3 * i + 2];
  }
  return true;
}

int64_t EqualPixels(const Image& shot, const std::vector<uint32_t>& frame) {
  int64_t equal = 0;
  for (size_t i = 0; i < frame.size(); ++i) equal += (shot.pixels[i] & 0xFFFFFF) == (frame[i] & 0xFFFFFF);
  return equal;
}

size_t PixelIndex(int width, int x, int y) {
  return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
}

// Whether a pixel of the reference frame has a neighbour of another colour: a polygon's edge.
bool OnEdge(const std::vector<uint32_t>& frame, int width, int height, int x, int y) {
  const uint32_t colour = frame[PixelIndex(width, x, y)];
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int nx = x + dx;
      const int ny = y + dy;
      if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
      if (frame[PixelIndex(width, nx, ny)] != colour) return true;
    }
  }
  return false;
}

void PrintBest(int frame, int angle, const Image& shot, const std::vector<uint32_t>& reference) {
  int64_t equal = 0, drawn = 0, drawnEqual = 0, edge = 0, inner = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const size_t i = PixelIndex(shot.width, x, y);
      const uint32_t mine = reference[i] & 0xFFFFFF;
      const uint32_t theirs = shot.pixels[i];
      const bool same = mine == theirs;
      equal += same;
      if (mine != kBlack || theirs != kBlack) {
        ++drawn;
        drawnEqual += same;
      }
      if (!same) (OnEdge(reference, shot.width, shot.height, x, y) ? edge : inner) += 1;
    }
  }
  std::printf("best %d angle %d equal %lld of %zu object %lld of %lld edge %lld inner %lld\n", frame, angle,
              static_cast<long long>(equal), reference.size(), static_cast<long long>(drawnEqual),
              static_cast<long long>(drawn), static_cast<long long>(edge), static_cast<long long>(inner));
}

int RenderCycle(const Image& shot) {
  int bestFrame = 0, bestAngle = 0;
  int64_t bestEqual = -1;
  std::vector<uint32_t> best;
  for (int frame = 1; frame <= kCycleLength; ++frame) {
    int angle = 0;
    TestHooks::Pixels pixels = NextReferenceFrame(&angle);
    if (pixels.width != shot.width || pixels.height != shot.height) return 1;
    const int64_t equal = EqualPixels(shot, pixels.data);
    std::printf("frame %d angle %d equal %lld of %zu\n", frame, angle, static_cast<long long>(equal),
                pixels.data.size());
    if (equal > bestEqual) {
      bestEqual = equal;
      bestFrame = frame;
      bestAngle = angle;
      best.swap(pixels.data);
    }
  }
  PrintBest(bestFrame, bestAngle, shot, best);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: e2e_render_frames <object file> <width> <height> <screenshot.rgb>\n");
    return 2;
  }
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  Image shot;
  if (width <= 0 || height <= 0 || !ReadScreenshot(argv[4], width, height, &shot)) {
    std::fprintf(stderr, "the screenshot is not %s x %s packed RGB pixels\n", argv[2], argv[3]);
    return 2;
  }
  const bool opened = OpenReferenceScene(argv[1], width, height);
  if (!opened) std::fprintf(stderr, "the scene could not be created or its object not loaded\n");
  const int result = opened ? RenderCycle(shot) : 1;
  CloseReferenceScene();
  return result;
}
