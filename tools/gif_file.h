// Writing frames of the saver's palette as an animated GIF, with giflib.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/palette.h"

// The GIF's colour map is the saver's logical palette, entry for entry: the 6x6x6 cube in entries
// 15..230, black elsewhere. A pixel's index is its cube entry.
constexpr int kGifColours = kPaletteSize;
// The saver draws a frame every 50 ms; GIF delays count hundredths of a second.
constexpr int kFrameDelayCentiseconds = 5;

struct GifWriter;  // giflib's file behind it

// Starts a looping animation of width x height on the open descriptor, which the GIF then owns
// (it is closed with it, or at once on failure); null (with *error set) on failure.
GifWriter* OpenGif(int descriptor, int width, int height, std::string* error);
// Appends one frame of palette indices, row after row from the top. The file holds only the
// rectangle that changed since the previous frame, so it decodes to the same pictures.
bool WriteGifFrame(GifWriter* gif, const std::vector<uint8_t>& indices, std::string* error);
// Finishes and closes the file; false (with *error set) when it could not be completed.
bool CloseGif(GifWriter* gif, std::string* error);

// The palette index of a pixel (0xXXRRGGBB, the top byte unused) of the colour cube; false for
// any other colour.
bool CubeIndex(uint32_t pixel, uint8_t* index);
