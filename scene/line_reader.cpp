// Line-by-line reading of the object file with the text-mode rules, over a file opened in binary.
#include "scene/line_reader.h"

#include <cstdio>

namespace {

constexpr int kNoCharacter = -1;

// The next raw byte, or kNoCharacter at the end of the file or on a read failure.
int NextByte(LineReader& reader) {
  if (reader.blockPosition == reader.blockLength) {
    reader.blockLength = std::fread(reader.block, 1, sizeof reader.block, reader.file);
    reader.blockPosition = 0;
    if (reader.blockLength == 0) return kNoCharacter;
  }
  return reader.block[reader.blockPosition++];
}

// Takes back the byte just read (always within the current block).
void UnreadByte(LineReader& reader) { --reader.blockPosition; }

// The next character as text mode delivers it.
int NextCharacter(LineReader& reader) {
  if (reader.ended) return kNoCharacter;
  int c = NextByte(reader);
  if (c == kNoCharacter || c == kEndOfDataMark) {
    reader.ended = true;
    return kNoCharacter;
  }
  if (c != '\r') return c;
  int following = NextByte(reader);
  if (following == '\n') return '\n';
  if (following != kNoCharacter) UnreadByte(reader);
  return '\r';
}

}  // namespace

void StartLineReader(LineReader& reader, FILE* file) {
  reader.file = file;
  reader.blockLength = 0;
  reader.blockPosition = 0;
  reader.ended = false;
}

bool ReadLinePiece(LineReader& reader, char (&line)[kLineBufferSize]) {
  int length = 0;
  while (length < kLinePieceChars) {
    int c = NextCharacter(reader);
    if (c == kNoCharacter) break;
    line[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[length] = '\0';
  return length > 0;
}

void RewindLineReader(LineReader& reader) {
  std::rewind(reader.file);
  StartLineReader(reader, reader.file);
}
