// Line-by-line reading of the object file with the text-mode rules, over a file opened in binary.
#include "scene/line_reader.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kNoCharacter = -1;

// The next raw byte, or kNoCharacter at the end of the file or on a read failure.
int NextByte(LineReader& reader) {
  if (reader.blockPosition == reader.blockLength) {
    if (reader.memory != nullptr) return kNoCharacter;
    reader.blockLength = std::fread(reader.block, 1, sizeof reader.block, reader.file);
    reader.blockPosition = 0;
    if (reader.blockLength == 0) return kNoCharacter;
  }
  const unsigned char* bytes = reader.memory != nullptr ? reader.memory : reader.block;
  return bytes[reader.blockPosition++];
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

// Cuts the line at its first LF and drops trailing spaces; true if the line is usable.
bool TrimUsableLine(char* line) {
  char* lineFeed = std::strchr(line, '\n');
  if (lineFeed != nullptr) *lineFeed = '\0';
  size_t length = std::strlen(line);
  while (length > 0 && line[length - 1] == ' ') line[--length] = '\0';
  return length > 0 && line[0] != '#';
}

// Counts the piece just read into the reader's position.
void NotePiece(LineReader& reader, bool endsLine) {
  if (reader.lineOpen) {
    ++reader.piece;
  } else {
    ++reader.line;
    reader.piece = 0;
  }
  reader.lineOpen = !endsLine;
}

}  // namespace

void StartLineReader(LineReader& reader, FILE* file) {
  reader.file = file;
  reader.memory = nullptr;
  reader.blockLength = 0;
  reader.blockPosition = 0;
  reader.ended = false;
  reader.line = 0;
  reader.piece = 0;
  reader.lineOpen = false;
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
  if (length == 0) return false;
  NotePiece(reader, line[length - 1] == '\n');
  return true;
}

bool ReadUsableLine(LineReader& reader, char (&line)[kLineBufferSize]) {
  while (ReadLinePiece(reader, line)) {
    if (TrimUsableLine(line)) return true;
  }
  return false;
}

void StartMemoryLineReader(LineReader& reader, const char* bytes, size_t length) {
  StartLineReader(reader, nullptr);
  reader.memory = reinterpret_cast<const unsigned char*>(bytes != nullptr ? bytes : "");
  reader.blockLength = length;
}

bool RewindLineReader(LineReader& reader) {
  if (reader.memory != nullptr) {
    StartMemoryLineReader(reader, reinterpret_cast<const char*>(reader.memory), reader.blockLength);
    return true;
  }
  // rewind() would fail unnoticed on a pipe, and a second pass would then read nothing.
  if (std::fseek(reader.file, 0, SEEK_SET) != 0) return false;
  std::clearerr(reader.file);
  StartLineReader(reader, reader.file);
  return true;
}
