// Loading the object file from real files: format, colours, units, centroids and every result code
// that needs no failing allocation.
#include "scene/object_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>

#include "scene/colour_table.h"
#include "tests/scene/object_file_fixture.h"

namespace {

constexpr COLORREF kRed = 0x020000FFu;
constexpr COLORREF kWhite = 0x02FFFFFFu;

TEST_F(ObjectFileTest, LoadsTheRedSquareAndWhiteTriangle) {
  ASSERT_EQ(Load("#front face\n[255,0,0] (-1,-1,1) (1,-1,1) (1,1,1) (-1,1,1)\n\n(0,0,0) (2.5,0,0) (0,-1.5,0)\n"),
            kLoadSucceeded);
  ASSERT_EQ(object.faceCount, 2);
  const Face& square = FaceAt(0);
  EXPECT_EQ(square.colourIndex, 0);
  ASSERT_EQ(square.vertexCount, 4);
  EXPECT_TRUE(SameVertex(square.vertices[0], -10, -10, 10));
  EXPECT_TRUE(SameVertex(square.vertices[1], 10, -10, 10));
  EXPECT_TRUE(SameVertex(square.vertices[2], 10, 10, 10));
  EXPECT_TRUE(SameVertex(square.vertices[3], -10, 10, 10));
  EXPECT_TRUE(SameVertex(square.centroid, 0, 0, 10));
  const Face& triangle = FaceAt(1);
  EXPECT_EQ(triangle.colourIndex, 1);
  ASSERT_EQ(triangle.vertexCount, 3);
  EXPECT_TRUE(SameVertex(triangle.vertices[1], 20, 0, 0));
  EXPECT_TRUE(SameVertex(triangle.vertices[2], 0, -10, 0));
  EXPECT_TRUE(SameVertex(triangle.centroid, 6, -3, 0));
  ASSERT_EQ(colourTable.entryCount, 2);
  EXPECT_EQ(colourTable.entries[0].colour, kRed);
  EXPECT_EQ(colourTable.entries[1].colour, kWhite);
  EXPECT_NE(colourTable.entries[0].brush, nullptr);
  EXPECT_NE(colourTable.entries[1].brush, nullptr);
}

TEST_F(ObjectFileTest, AMissingFileYieldsThreeAndNoFaces) {
  EXPECT_EQ(LoadObject(object, "no_such_directory/no_such_file.dat"), kFileUnreadable);
  EXPECT_EQ(object.faceCount, 0);
  EXPECT_EQ(object.faces, nullptr);
}

TEST_F(ObjectFileTest, AFileWithoutUsableLinesYieldsFive) {
  EXPECT_EQ(Load(""), kNoFaces);
  EXPECT_EQ(Load("\n\n   \n#comment\n     \r\n#(1,2,3)\n"), kNoFaces);
  EXPECT_EQ(object.faceCount, 0);
  EXPECT_EQ(object.faces, nullptr);
  EXPECT_EQ(colourTable.entryCount, 0);
}

TEST_F(ObjectFileTest, LineEndsDoNotChangeWhatLoads) {
  std::string lines[] = {"[0,51,102] (1,2,3) (4,5,6) (7,8,9)", "", "(9,8,7)", "[N] (1,1,1) (2,2,2)"};
  std::string lf, crlf;
  for (const std::string& line : lines) {
    lf += line + "\n";
    crlf += line + "\r\n";
  }
  ASSERT_EQ(Load(lf), kLoadSucceeded);
  std::string expected = Describe();
  FreeObject(object);
  FreeColourTable();
  ASSERT_EQ(Load(lf.substr(0, lf.size() - 1)), kLoadSucceeded);
  EXPECT_EQ(Describe(), expected);
  FreeObject(object);
  FreeColourTable();
  ASSERT_EQ(Load(crlf), kLoadSucceeded);
  EXPECT_EQ(Describe(), expected);
  EXPECT_EQ(object.faceCount, 3);
}

TEST_F(ObjectFileTest, BlankLookingLinesWithTabsOrIndentedHashAreFacesWithoutVertices) {
  EXPECT_EQ(Load("\t\t\n   #x\n(1,2,3)\n"), kVertexLockFailed);
  ASSERT_EQ(object.faceCount, 3);
  EXPECT_EQ(FaceAt(0).vertexCount, 0);
  EXPECT_EQ(FaceAt(0).vertices, nullptr);
  EXPECT_EQ(FaceAt(1).vertexCount, 0);
  ASSERT_EQ(FaceAt(2).vertexCount, 1);
  EXPECT_TRUE(SameVertex(FaceAt(2).vertices[0], 10, 20, 30));
}

TEST_F(ObjectFileTest, OnlyTheFirstTwentyUsableLinesAreRead) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "(" + std::to_string(i) + ",0,0)\n# between\n";
  for (int i = 0; i < 5; ++i) text += "[1,2,3] (1,2,3\n";  // would add a colour and fail if read
  EXPECT_EQ(Load(text), kLoadSucceeded);
  ASSERT_EQ(object.faceCount, 20);
  EXPECT_TRUE(SameVertex(FaceAt(19).vertices[0], 190, 0, 0));
  EXPECT_EQ(colourTable.entryCount, 1);
}

TEST_F(ObjectFileTest, ALongLineCountsAsSeveralLines) {
  std::string first = "(1,2,3)" + std::string(254 - 7, ' ');
  std::string rest = "(4,5,6)" + std::string(46 - 7, ' ');
  EXPECT_EQ(Load(first + rest + "\n"), kLoadSucceeded);
  ASSERT_EQ(object.faceCount, 2);
  EXPECT_TRUE(SameVertex(FaceAt(1).vertices[0], 40, 50, 60));
}

TEST_F(ObjectFileTest, AMissingClosingBracketYieldsFourAndEndsTheParsing) {
  EXPECT_EQ(Load("(1,1,1)\n[255,0,0 (1,2,3)\n[0,0,255] (1,2,3)\n"), kMalformedData);
  ASSERT_EQ(object.faceCount, 3);
  EXPECT_EQ(FaceAt(0).vertexCount, 1);
  for (int32_t i = 1; i < 3; ++i) {
    EXPECT_EQ(FaceAt(i).vertexCount, 0);
    EXPECT_EQ(FaceAt(i).colourIndex, 0);
    EXPECT_EQ(FaceAt(i).vertexBlock, nullptr);
  }
  EXPECT_EQ(colourTable.entryCount, 1);  // the white of the first line only
}

TEST_F(ObjectFileTest, NoFillColoursAddNoEntry) {
  EXPECT_EQ(Load("[N] (1,1,1)\n[None] (1,1,1)\n[none] (1,1,1)\n[] (1,1,1)\n[1,2] (1,1,1)\n"), kLoadSucceeded);
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(FaceAt(i).colourIndex, kNoFill) << i;
  EXPECT_EQ(colourTable.entryCount, 0);
}

TEST_F(ObjectFileTest, ColourChannelsKeepTheirLowEightBits) {
  EXPECT_EQ(Load("[300,0,-1] (1,1,1)\n"), kLoadSucceeded);
  ASSERT_EQ(colourTable.entryCount, 1);
  EXPECT_EQ(colourTable.entries[0].colour, 0x02FF002Cu);
}

TEST_F(ObjectFileTest, EqualColoursShareOneEntry) {
  EXPECT_EQ(Load("[0,0,255] (1,1,1)\n(1,1,1)\n[ 0 , 0 , 255 ] (1,1,1)\n(2,2,2)\n[255,255,255] (1,1,1)\n"),
            kLoadSucceeded);
  EXPECT_EQ(FaceAt(0).colourIndex, 0);
  EXPECT_EQ(FaceAt(1).colourIndex, 1);
  EXPECT_EQ(FaceAt(2).colourIndex, 0);
  EXPECT_EQ(FaceAt(3).colourIndex, 1);
  EXPECT_EQ(FaceAt(4).colourIndex, 1);
  EXPECT_EQ(colourTable.entryCount, 2);
}

TEST_F(ObjectFileTest, AColourTextLongerThan31CharactersIsCut) {
  // Cut after 31 characters, the blue text is blanks only and reads as 0.
  EXPECT_EQ(Load("[1,2," + std::string(40, ' ') + "3] (1,1,1)\n"), kLoadSucceeded);
  ASSERT_EQ(colourTable.entryCount, 1);
  EXPECT_EQ(colourTable.entries[0].colour, 0x02000201u);
}

TEST_F(ObjectFileTest, CoordinatesAreTruncatedThenScaledByTen) {
  EXPECT_EQ(Load("( 1.9 , -1.9 , 0.5 ) (1e1,-2.5e0,  +3xyz)\n"), kLoadSucceeded);
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[0], 10, -10, 0));
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[1], 100, -20, 30));
}

TEST_F(ObjectFileTest, CoordinatesAreClampedToTheModelLimit) {
  EXPECT_EQ(Load("(5000,-1e9,1e400) (1000,-1000,999.99)\n"), kLoadSucceeded);
  const int32_t limit = kMaxFileCoordinate * kModelUnitsPerFileUnit;
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[0], limit, -limit, limit));
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[1], limit, -limit, 9990));
}

TEST_F(ObjectFileTest, CentroidsAreIntegerMeansTruncatedTowardZero) {
  EXPECT_EQ(Load("(0,0,0) (3,0,0)\n(0,0,0) (-5,0,0)\n(0,0,0) (-5,0,0) (0,0,0)\n"), kLoadSucceeded);
  EXPECT_TRUE(SameVertex(FaceAt(0).centroid, 15, 0, 0));
  EXPECT_TRUE(SameVertex(FaceAt(1).centroid, -25, 0, 0));
  EXPECT_TRUE(SameVertex(FaceAt(2).centroid, -16, 0, 0));
}

TEST_F(ObjectFileTest, AMalformedTripleSpoilsOnlyItsOwnFace) {
  EXPECT_EQ(Load("(1,2,3) (4;5;6)\n(7,8,9)\n"), kMalformedData);
  ASSERT_EQ(object.faceCount, 2);
  EXPECT_EQ(FaceAt(0).vertexCount, 2);
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[0], 10, 20, 30));
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[1], 0, 0, 0));
  EXPECT_TRUE(SameVertex(FaceAt(0).centroid, 5, 10, 15));
  EXPECT_TRUE(SameVertex(FaceAt(1).vertices[0], 70, 80, 90));
}

TEST_F(ObjectFileTest, TheLastFailureMetIsTheResult) {
  EXPECT_EQ(Load("(1,1,1)\n(1,1,1)\n(1;2;3)\n(1,1,1)\nno vertices\n(2,2,2)\n"), kVertexLockFailed);
  EXPECT_EQ(object.faceCount, 6);
  EXPECT_TRUE(SameVertex(FaceAt(5).vertices[0], 20, 20, 20));
}

TEST_F(ObjectFileTest, EveryClosingParenthesisCountsAsAVertex) {
  EXPECT_EQ(Load("(1,2,3))\n"), kLoadSucceeded);
  ASSERT_EQ(FaceAt(0).vertexCount, 2);
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[0], 10, 20, 30));
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[1], 0, 0, 0));
}

TEST_F(ObjectFileTest, SeparatorsAreSearchedInTheWholeRestOfTheLine) {
  EXPECT_EQ(Load("(1,2) (3,4,5)\n"), kLoadSucceeded);
  ASSERT_EQ(FaceAt(0).vertexCount, 2);
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[0], 10, 20, 40));
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[1], 0, 0, 0));
}

TEST_F(ObjectFileTest, TriplesPastTheVertexCountAreNotRead) {
  EXPECT_EQ(Load("(1,2,3) (4,5,6\n"), kLoadSucceeded);
  ASSERT_EQ(FaceAt(0).vertexCount, 1);
  EXPECT_TRUE(SameVertex(FaceAt(0).centroid, 10, 20, 30));
  std::string many;
  for (int i = 1; i <= 25; ++i) many += "(" + std::to_string(i) + ",0,0)";
  FreeObject(object);
  EXPECT_EQ(Load(many + "\n"), kLoadSucceeded);
  ASSERT_EQ(FaceAt(0).vertexCount, kMaxFaceVertices);
  EXPECT_TRUE(SameVertex(FaceAt(0).vertices[19], 200, 0, 0));
  EXPECT_TRUE(SameVertex(FaceAt(0).centroid, 105, 0, 0));  // mean of 10..200
}

TEST_F(ObjectFileTest, ANulByteOrCtrlZEndsTheText) {
  EXPECT_EQ(Load(std::string("(1,1,1)\0(2,2,2)\n(3,3,3)\n\x1a(4,4,4)\n", 33)), kLoadSucceeded);
  ASSERT_EQ(object.faceCount, 2);
  EXPECT_EQ(FaceAt(0).vertexCount, 1);
  EXPECT_TRUE(SameVertex(FaceAt(1).vertices[0], 30, 30, 30));
}

TEST_F(ObjectFileTest, TrailingSpacesAreTrimmed) {
  EXPECT_EQ(Load("#only a comment   \n   \n(1,1,1)   \n"), kLoadSucceeded);
  EXPECT_EQ(object.faceCount, 1);
}

TEST_F(ObjectFileTest, FreeObjectLeavesAnEmptyObjectThatCanBeFreedAgain) {
  ASSERT_EQ(Load("(1,1,1)\n"), kLoadSucceeded);
  FreeObject(object);
  EXPECT_EQ(object.faceCount, 0);
  EXPECT_EQ(object.faces, nullptr);
  EXPECT_EQ(object.faceBlock, nullptr);
  FreeObject(object);
}

// One file of every kind of line the report describes: comment, long line, each missing separator.
const std::string kReportedLines = "# a comment\n"
                                   "[255,0,0] (1,2,3) (4,5,6))\n" +
                                   std::string(260, ' ') + "(7,8,9)\n"
                                   "(1 2 3)\n"
                                   "\n"
                                   "(1,2,3) (1,2 3)\n"
                                   "(1,2,3\n"
                                   "[1,2,3 (1,2,3)\n"
                                   "(0,0,0)\n";

TEST_F(ObjectFileTest, AReportSaysWhereEachFaceCameFromAndChangesNothingLoaded) {
  ASSERT_EQ(Load(kReportedLines), kMalformedData);
  const std::string unreported = Describe();
  FreeObject(object);
  FreeColourTable();
  LoadReport report{};
  ASSERT_EQ(LoadObject(object, path.c_str(), &report), kMalformedData);
  EXPECT_EQ(Describe(), unreported);

  ASSERT_EQ(report.parsedLines, 6) << "the missing ']' ends the pass";
  const struct {
    int32_t line, piece, parentheses;
    MissingSeparator missing;
    int32_t triple;
  } expected[] = {
      {2, 0, 3, MissingSeparator::kNone, 0},
      {3, 1, 1, MissingSeparator::kNone, 0},  // the spaces fill the first piece
      {4, 0, 1, MissingSeparator::kFirstComma, 1},
      {6, 0, 2, MissingSeparator::kSecondComma, 2},
      {7, 0, 0, MissingSeparator::kNone, 0},  // no ')': no vertex, so no triple is read
      {8, 0, 0, MissingSeparator::kClosingBracket, 0},
  };
  for (int32_t i = 0; i < report.parsedLines; ++i) {
    const FaceSource& source = report.faces[i];
    EXPECT_EQ(source.line, expected[i].line) << i;
    EXPECT_EQ(source.piece, expected[i].piece) << i;
    EXPECT_EQ(source.closingParentheses, expected[i].parentheses) << i;
    EXPECT_EQ(source.missing, expected[i].missing) << i;
    EXPECT_EQ(source.triple, expected[i].triple) << i;
  }
  EXPECT_TRUE(report.faces[0].colourPrefix);
  EXPECT_STREQ(report.faces[0].colourText, "255,0,0");
  EXPECT_FALSE(report.faces[1].colourPrefix);
}

TEST_F(ObjectFileTest, BytesInMemoryLoadAsTheirFileDoes) {
  LoadReport fromFile{}, fromMemory{};
  ASSERT_EQ(Load(kReportedLines), kMalformedData);
  FreeObject(object);
  FreeColourTable();
  ASSERT_EQ(LoadObject(object, path.c_str(), &fromFile), kMalformedData);
  const std::string loaded = Describe();
  FreeObject(object);
  FreeColourTable();
  ASSERT_EQ(LoadObjectFromMemory(object, kReportedLines.data(), kReportedLines.size(), &fromMemory), kMalformedData);
  EXPECT_EQ(Describe(), loaded);
  ASSERT_EQ(fromMemory.parsedLines, fromFile.parsedLines);
  for (int32_t i = 0; i < fromFile.parsedLines; ++i) {
    EXPECT_EQ(fromMemory.faces[i].line, fromFile.faces[i].line) << i;
    EXPECT_EQ(fromMemory.faces[i].piece, fromFile.faces[i].piece) << i;
  }
}

#ifndef _WIN32
// A pipe has no second pass to read, and a device may never end: neither is read as the object.
TEST_F(ObjectFileTest, WhatIsNotAPlainFileCannotBeRead) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const std::string triangle = "(0,0,0) (1,0,0) (0,1,0)\n";
  ASSERT_EQ(write(pipeEnds[1], triangle.data(), triangle.size()), static_cast<ssize_t>(triangle.size()));
  close(pipeEnds[1]);
  const std::string pipePath = "/dev/fd/" + std::to_string(pipeEnds[0]);
  EXPECT_EQ(LoadObject(object, PlatformPathOfHostFile(pipePath.c_str()).c_str()), kFileUnreadable);
  close(pipeEnds[0]);
  EXPECT_EQ(LoadObject(object, PlatformPathOfHostFile("/dev/zero").c_str()), kFileUnreadable);
  EXPECT_EQ(object.faceCount, 0);
  // A named pipe nobody writes to is refused at once rather than waited on (the alarm turns a
  // wait into a failed run).
  const std::string fifo = ::testing::TempDir() + "cube-fifo-" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  alarm(10);
  EXPECT_EQ(LoadObject(object, PlatformPathOfHostFile(fifo.c_str()).c_str()), kFileUnreadable);
  alarm(0);
  unlink(fifo.c_str());
}
#endif

TEST(LoadResultMessage, EveryCodeHasItsText) {
  EXPECT_STREQ(LoadResultMessage(kLoadSucceeded), "Successful completion");
  EXPECT_STREQ(LoadResultMessage(kFaceAllocationFailed), "Polygon memory allocation failed");
  EXPECT_STREQ(LoadResultMessage(kVertexAllocationFailed), "Point memory allocation failed");
  EXPECT_STREQ(LoadResultMessage(kFileUnreadable), "Data file not found or cannot read");
  EXPECT_STREQ(LoadResultMessage(kMalformedData), "Error reading object data");
  EXPECT_STREQ(LoadResultMessage(kNoFaces), "No polygons in data file");
  EXPECT_STREQ(LoadResultMessage(kVertexLockFailed), "Error locking point memory");
  EXPECT_STREQ(LoadResultMessage(kFaceLockFailed), "Error locking polygon memory");
}

}  // namespace
