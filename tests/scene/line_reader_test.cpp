// Reading the object file's lines with the text-mode rules over a file opened in binary.
#include "scene/line_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// A scratch file holding bytes, open at its start; the caller closes and removes it.
FILE* ScratchFile(const char* path, const std::string& bytes) {
  FILE* file = std::fopen(path, "wb+");
  EXPECT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}

// Writes bytes to a scratch file and reads every line piece back.
std::vector<std::string> ReadPieces(const std::string& bytes) {
  const char* path = "line_reader_test.tmp";
  FILE* file = ScratchFile(path, bytes);
  LineReader reader;
  StartLineReader(reader, file);
  std::vector<std::string> pieces;
  char line[kLineBufferSize];
  while (ReadLinePiece(reader, line)) pieces.emplace_back(line);
  std::fclose(file);
  std::remove(path);
  return pieces;
}

using Pieces = std::vector<std::string>;

// Where each piece stands, as "line.piece", read twice over a rewind.
std::string PiecePositions(const std::string& bytes) {
  const char* path = "line_reader_positions.tmp";
  FILE* file = ScratchFile(path, bytes);
  LineReader reader;
  StartLineReader(reader, file);
  std::string positions;
  char line[kLineBufferSize];
  for (int pass = 0; pass < 2; ++pass) {
    while (ReadLinePiece(reader, line)) positions += std::to_string(reader.line) + "." + std::to_string(reader.piece) + " ";
    positions += "| ";
    RewindLineReader(reader);
  }
  std::fclose(file);
  std::remove(path);
  return positions;
}

TEST(LineReader, KeepsTheLineFeedAndReadsALastLineWithoutOne) {
  EXPECT_EQ(ReadPieces("a\nbc\n"), (Pieces{"a\n", "bc\n"}));
  EXPECT_EQ(ReadPieces("a\nbc"), (Pieces{"a\n", "bc"}));
  EXPECT_EQ(ReadPieces(""), Pieces{});
  EXPECT_EQ(ReadPieces("\n\n"), (Pieces{"\n", "\n"}));
}

TEST(LineReader, DropsACarriageReturnOnlyDirectlyBeforeALineFeed) {
  EXPECT_EQ(ReadPieces("a\r\nb\r\n"), (Pieces{"a\n", "b\n"}));
  EXPECT_EQ(ReadPieces("a\rb\r\r\n"), (Pieces{"a\rb\r\n"}));
  EXPECT_EQ(ReadPieces("a\r"), (Pieces{"a\r"}));
}

TEST(LineReader, CtrlZEndsTheData) {
  EXPECT_EQ(ReadPieces("a\nb\x1a" "c\nd\n"), (Pieces{"a\n", "b"}));
  EXPECT_EQ(ReadPieces("\x1a" "a\n"), Pieces{});
  // A CR before the mark stays a character of its own.
  EXPECT_EQ(ReadPieces("a\r\x1a\n"), (Pieces{"a\r"}));
}

TEST(LineReader, ALongLineComesIn254CharacterPieces) {
  std::string longLine(300, 'x');
  Pieces pieces = ReadPieces(longLine + "\n");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], std::string(254, 'x'));
  EXPECT_EQ(pieces[1], std::string(46, 'x') + "\n");
  // Exactly 254 characters: the line feed comes as a piece of its own.
  EXPECT_EQ(ReadPieces(std::string(254, 'y') + "\nz"), (Pieces{std::string(254, 'y'), "\n", "z"}));
  // A CR LF that straddles the piece boundary still reads as one line feed.
  EXPECT_EQ(ReadPieces(std::string(254, 'w') + "\r\n"), (Pieces{std::string(254, 'w'), "\n"}));
}

TEST(LineReader, ACarriageReturnLineFeedAcrossTheReadBlockBoundaryIsOneLineFeed) {
  std::string bytes;
  while (bytes.size() < sizeof(LineReader{}.block) - 1) bytes += bytes.size() % 100 == 99 ? '\n' : 'k';
  bytes += "\r\nlast";
  Pieces pieces = ReadPieces(bytes);
  ASSERT_GE(pieces.size(), 2u);
  EXPECT_EQ(pieces[pieces.size() - 2].back(), '\n');
  EXPECT_EQ(pieces[pieces.size() - 2].find('\r'), std::string::npos);
  EXPECT_EQ(pieces.back(), "last");
}

TEST(LineReader, ANulByteEndsTheLineTextButNotTheLine) {
  EXPECT_EQ(ReadPieces(std::string("ab\0cd\nef\n", 9)), (Pieces{"ab", "ef\n"}));
}

TEST(LineReader, EachPieceKnowsItsPhysicalLineAndItsPlaceInIt) {
  // A long line's pieces share its number; a NUL, a CR LF and a lone line feed count as text does.
  const std::string bytes = "a\r\n" + std::string(300, 'x') + "\n" + std::string("b\0c\n", 4) + "\n" +
                            std::string(254, 'y') + "\nlast";
  EXPECT_EQ(PiecePositions(bytes), "1.0 2.0 2.1 3.0 4.0 5.0 5.1 6.0 | 1.0 2.0 2.1 3.0 4.0 5.0 5.1 6.0 | ");
}

TEST(LineReader, RewindStartsAgainAfterTheEndOfData) {
  const char* path = "line_reader_rewind.tmp";
  FILE* file = std::fopen(path, "wb+");
  ASSERT_NE(file, nullptr);
  std::fputs("one\n\x1atwo\n", file);
  std::rewind(file);
  LineReader reader;
  StartLineReader(reader, file);
  char line[kLineBufferSize];
  ASSERT_TRUE(ReadLinePiece(reader, line));
  EXPECT_FALSE(ReadLinePiece(reader, line));
  RewindLineReader(reader);
  ASSERT_TRUE(ReadLinePiece(reader, line));
  EXPECT_STREQ(line, "one\n");
  std::fclose(file);
  std::remove(path);
}

}  // namespace
