// Pixel surfaces mapped from the system with a guard page on either side.
#include "platform/portable/gdi/pixel_memory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

// Bytes of pages that hold count pixels.
size_t DataPages(size_t count) {
  const size_t page = PageSize();
  return (count * sizeof(uint32_t) + page - 1) / page * page;
}

}  // namespace

uint32_t* MapPixels(size_t count) {
  if (count == 0 || count > SIZE_MAX / sizeof(uint32_t) / 2) return nullptr;
  const size_t page = PageSize();
  const size_t data = DataPages(count);
  // Reserved inaccessible as a whole, then opened up between the guards.
  void* block = mmap(nullptr, data + 2 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  char* first = static_cast<char*>(block) + page;
  if (mprotect(first, data, PROT_READ | PROT_WRITE) != 0) {
    munmap(block, data + 2 * page);
    return nullptr;
  }
  return reinterpret_cast<uint32_t*>(first + data - count * sizeof(uint32_t));
}

void UnmapPixels(uint32_t* pixels, size_t count) {
  if (pixels == nullptr) return;
  const size_t page = PageSize();
  const size_t data = DataPages(count);
  char* end = reinterpret_cast<char*>(pixels) + count * sizeof(uint32_t);
  munmap(end - data - page, data + 2 * page);
}
