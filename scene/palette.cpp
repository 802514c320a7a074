// The 216-colour logical palette of the scene: the 6x6x6 colour cube.
#include "scene/palette.h"

namespace {

constexpr WORD kPaletteVersion = 0x300;

BYTE Level(int step) { return static_cast<BYTE>(step * kCubeLevelStep); }

}  // namespace

HPALETTE BuildPalette() {
  SIZE_T bytes = sizeof(LOGPALETTE) + (kPaletteSize - 1) * sizeof(PALETTEENTRY);
  HLOCAL block = LocalAlloc(LPTR, bytes);
  if (block == nullptr) return nullptr;
  LOGPALETTE* descriptor = static_cast<LOGPALETTE*>(block);
  descriptor->palVersion = kPaletteVersion;
  descriptor->palNumEntries = kPaletteSize;
  // palPalEntry is declared with one element; the block has room for all 256.
  PALETTEENTRY* entries = descriptor->palPalEntry;
  for (int r = 0; r < kCubeLevels; ++r) {
    for (int g = 0; g < kCubeLevels; ++g) {
      for (int b = 0; b < kCubeLevels; ++b) {
        PALETTEENTRY& entry = entries[kCubeFirstEntry + (r * kCubeLevels + g) * kCubeLevels + b];
        entry.peRed = Level(r);
        entry.peGreen = Level(g);
        entry.peBlue = Level(b);
        entry.peFlags = PC_RESERVED;
      }
    }
  }
  HPALETTE palette = CreatePalette(descriptor);
  LocalFree(block);
  return palette;
}
