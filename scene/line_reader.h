// Line-by-line reading of the object file with the text-mode rules, over a file opened in binary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// A line is read in pieces of at most this many characters (a longer physical line yields several).
constexpr int kLinePieceChars = 254;
constexpr int kLineBufferSize = kLinePieceChars + 1;  // with its terminator

constexpr unsigned char kEndOfDataMark = 26;  // Ctrl-Z: text mode ends the file's data here

// Reads bytes in blocks and applies the text-mode rules: a CR directly before a LF is dropped, and
// a Ctrl-Z ends the data. Files are opened in binary so every platform reads the same characters.
// Bytes already in memory are read as one block that is never refilled.
struct LineReader {
  FILE* file;                   // null when reading bytes in memory
  const unsigned char* memory;  // those bytes; null when reading a file
  unsigned char block[4096];
  size_t blockLength;
  size_t blockPosition;
  bool ended;  // end of file, a read failure or Ctrl-Z: nothing more is read until a rewind
  // Where the piece last read stands, for messages to the file's author: its physical line (from
  // 1) and which piece of that line it is (from 0). A piece that ends without a LF leaves its line open.
  int32_t line;
  int32_t piece;
  bool lineOpen;
};

void StartLineReader(LineReader& reader, FILE* file);
// Reads length bytes at bytes, which must stay in place while the reader is used.
void StartMemoryLineReader(LineReader& reader, const char* bytes, size_t length);

// Reads the next piece of a line into line: at most 254 characters, stopping after a LF if one
// comes first, and terminates it. A NUL byte read from the file ends the line's text as a C string
// (the rest of the piece is still consumed). False when nothing could be read.
bool ReadLinePiece(LineReader& reader, char (&line)[kLineBufferSize]);

// Reads the next usable line of the object file, trimmed: cut at its first LF, trailing spaces
// (not tabs) dropped, and neither empty nor a comment ('#' in the first column). False when the
// file has no further line.
bool ReadUsableLine(LineReader& reader, char (&line)[kLineBufferSize]);

// Goes back to the start of the file; false when the file cannot be repositioned (a pipe).
bool RewindLineReader(LineReader& reader);
