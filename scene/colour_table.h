// The process-wide table of fill colours, one solid brush per distinct colour, only ever appended to.
#pragma once

#include <cstdint>

#include "platform/win32.h"

constexpr int32_t kNoFill = -1;  // colour index of a Face drawn as its outline only

// The longest colour text read; a longer one is cut to this many characters.
constexpr int kColourTextChars = 31;

struct ColourEntry {
  COLORREF colour;  // palette-relative: 0x02 in the top byte, then blue, green, red
  HBRUSH brush;
};

// Entries stand in the order their colours were first met; an index stays valid for the whole run.
// The block stays locked for its whole life, except for the moment of each resize.
struct ColourTable {
  int32_t entryCount;
  HGLOBAL tableBlock;
  ColourEntry* entries;
};

extern ColourTable colourTable;

constexpr int kColourChannels = 3;  // red, green, blue, in the text's order

// The red, green and blue that a colour text names, as read before only their low 8 bits are
// taken; false for a text that means no fill. GetColourIndex reads every colour this way.
bool ReadColourChannels(const char* colourText, int32_t (&channels)[kColourChannels]);

// Writes to colourIndex the index of the colour that colourText ("red,green,blue") names, adding
// an entry and its brush when the colour is new; -1 for no fill (a text starting with 'N', fewer
// than two commas) and when the table cannot grow or the brush cannot be made.
void GetColourIndex(const char* colourText, int32_t* colourIndex);

// The entries, locking the block again if a failed lock after a resize left it unlocked; null
// while it cannot be locked. Readers go through this rather than `entries`.
ColourEntry* ColourTableEntries();

// Deletes every brush and frees the block; the table is empty afterwards and may be filled again.
void FreeColourTable();
