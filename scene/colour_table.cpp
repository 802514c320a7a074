// The process-wide table of fill colours, one solid brush per distinct colour, only ever appended to.
#include "scene/colour_table.h"

#include <cstring>

#include "scene/number_text.h"

ColourTable colourTable = {};

namespace {

constexpr unsigned kChannelMask = 0xFFu;  // only the low 8 bits of each channel count
constexpr UINT kZeroedMovable = GMEM_MOVEABLE | GMEM_ZEROINIT;

// The channel's low 8 bits, taken without signed arithmetic (-1 gives 255).
DWORD Channel(int32_t value) { return static_cast<uint32_t>(value) & kChannelMask; }

// Parses "red,green,blue" in place into the channels as read; false for a no-fill text.
bool ParseChannels(char* work, int32_t (&channels)[kColourChannels]) {
  if (work[0] == 'N') return false;
  char* firstComma = std::strchr(work, ',');
  if (firstComma == nullptr) return false;
  *firstComma = '\0';
  char* secondComma = std::strchr(firstComma + 1, ',');
  if (secondComma == nullptr) return false;
  *secondComma = '\0';
  channels[0] = ReadInteger(work);
  channels[1] = ReadInteger(firstComma + 1);
  channels[2] = ReadInteger(secondComma + 1);
  return true;
}

int32_t FindColour(COLORREF colour) {
  for (int32_t i = 0; i < colourTable.entryCount; ++i) {
    if (colourTable.entries[i].colour == colour) return i;
  }
  return kNoFill;
}

// Makes room for one entry more than entryCount; false leaves the table as it was.
bool GrowTable() {
  SIZE_T bytes = sizeof(ColourEntry) * (static_cast<SIZE_T>(colourTable.entryCount) + 1);
  if (colourTable.tableBlock == nullptr) {
    HGLOBAL block = GlobalAlloc(kZeroedMovable, bytes);
    if (block == nullptr) return false;
    colourTable.tableBlock = block;
  } else {
    GlobalUnlock(colourTable.tableBlock);
    colourTable.entries = nullptr;
    HGLOBAL block = GlobalReAlloc(colourTable.tableBlock, bytes, kZeroedMovable);
    if (block == nullptr) {
      ColourTableEntries();  // the old block stays valid: lock it again
      return false;
    }
    colourTable.tableBlock = block;
  }
  // A block that cannot be locked stays with the table and is locked again when next needed.
  colourTable.entries = static_cast<ColourEntry*>(GlobalLock(colourTable.tableBlock));
  return colourTable.entries != nullptr;
}

int32_t AddColour(COLORREF colour) {
  if (!GrowTable()) return kNoFill;
  ColourEntry& slot = colourTable.entries[colourTable.entryCount];
  slot.colour = colour;
  slot.brush = CreateSolidBrush(colour);
  if (slot.brush == nullptr) return kNoFill;  // the grown slot is reused by the next new colour
  return colourTable.entryCount++;
}

}  // namespace

bool ReadColourChannels(const char* colourText, int32_t (&channels)[kColourChannels]) {
  char work[kColourTextChars + 1];
  std::strncpy(work, colourText, kColourTextChars);
  work[kColourTextChars] = '\0';
  return ParseChannels(work, channels);
}

void GetColourIndex(const char* colourText, int32_t* colourIndex) {
  int32_t channels[kColourChannels];
  if (!ReadColourChannels(colourText, channels)) {
    *colourIndex = kNoFill;
    return;
  }
  const COLORREF colour = PALETTERGB(Channel(channels[0]), Channel(channels[1]), Channel(channels[2]));
  // A table that cannot be reached cannot be searched, and growing it could add a colour twice.
  if (colourTable.tableBlock != nullptr && ColourTableEntries() == nullptr) {
    *colourIndex = kNoFill;
    return;
  }
  int32_t found = FindColour(colour);
  *colourIndex = found != kNoFill ? found : AddColour(colour);
}

ColourEntry* ColourTableEntries() {
  if (colourTable.entries == nullptr && colourTable.tableBlock != nullptr) {
    colourTable.entries = static_cast<ColourEntry*>(GlobalLock(colourTable.tableBlock));
  }
  return colourTable.entries;
}

void FreeColourTable() {
  ColourEntry* entries = ColourTableEntries();
  if (entries != nullptr) {
    for (int32_t i = 0; i < colourTable.entryCount; ++i) DeleteObject(entries[i].brush);
  }
  if (colourTable.tableBlock != nullptr) {
    if (entries != nullptr) GlobalUnlock(colourTable.tableBlock);
    GlobalFree(colourTable.tableBlock);
  }
  colourTable = ColourTable{};
}
