// Memory for pixel surfaces, straight from the system: it reads as zero (black) and takes no
// physical page until something is drawn there.
#pragma once

#include <cstddef>
#include <cstdint>

// count pixels, zero, between two inaccessible guard pages (the block ends against the second,
// so a write past the end faults at once, as the sanitizers would report it); null when the
// system refuses.
uint32_t* MapPixels(size_t count);
void UnmapPixels(uint32_t* pixels, size_t count);
