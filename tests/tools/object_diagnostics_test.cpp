// What the object checker tells an author, line by line, and the gallery it is checked against.
#include "tools/object_diagnostics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "scene/colour_table.h"

namespace {

struct Checked {
  int32_t result;
  std::vector<Diagnostic> diagnostics;
};

Checked CheckFile(const std::string& hostPath) {
  ObjectInput input;
  std::string error;
  EXPECT_TRUE(OpenObjectInput(hostPath.c_str(), input, &error)) << error;
  Object object{};
  LoadReport report{};
  Checked checked;
  checked.result = LoadObjectInput(input, object, &report);
  checked.diagnostics = DiagnoseObject(input, checked.result, object, report);
  FreeObject(object);
  FreeColourTable();
  return checked;
}

Checked Check(const std::string& bytes) {
  const std::string path = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".dat";
  FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  Checked checked = CheckFile(path);
  std::remove(path.c_str());
  return checked;
}

// Each diagnostic as "line kind: text", to compare whole lists.
std::vector<std::string> Lines(const Checked& checked) {
  std::vector<std::string> lines;
  for (const Diagnostic& d : checked.diagnostics) {
    lines.push_back(std::to_string(d.line) + (d.error ? " error: " : " warning: ") + d.text);
  }
  return lines;
}

using Expected = std::vector<std::string>;

const std::string kTriangle = "(0,0,0) (10,0,0) (0,10,0)";

TEST(ObjectDiagnostics, MalformedLinesNameTheLineAndWhatIsMissing) {
  // Separators are searched in the whole rest of the line, so only its last triple can lack one.
  const Checked checked = Check("# header\n(1,2,3) (1,2,3) (4;5;6)\n" + kTriangle + "\n(1,2,3) (7,8,9) (4,5;6)\n\n" +
                                "(1,2,3) (1,2,3)) (4,5,6\n(1,2) (3,4,5) (6,7,8)\n[255,0,0 " + kTriangle + "\n" +
                                kTriangle + "\n");
  EXPECT_EQ(checked.result, kMalformedData);
  EXPECT_EQ(Lines(checked),
            (Expected{
                "2 error: face 1: triple 3 without its first ','",
                "4 error: face 3: triple 3 without its second ','",
                "6 error: face 4: triple 3 without its closing ')'",
                "7 warning: face 5: triple 1 is not of the form (x,y,z): the saver takes its separators from what follows",
                "8 error: face 6: no closing ']' after the colour; the saver reads no further",
            }));
}

TEST(ObjectDiagnostics, WarningsForWhatTheSaverTakesSilently) {
  std::string many;
  for (int j = 0; j < 21; ++j) many += "(" + std::to_string(j) + ",0,1)";
  const Checked checked = Check("[255,0] " + kTriangle + "\n[300,0,-1] " + kTriangle + "\n[100,51,0] " + kTriangle +
                                "\n(0,0,0) (1,1,1)\n" + many + "\n[N] " + kTriangle + "\n[none] " + kTriangle + "\n");
  EXPECT_EQ(checked.result, kLoadSucceeded);
  EXPECT_EQ(Lines(checked),
            (Expected{
                "1 warning: face 1: colour \"255,0\" has fewer than two commas, so the face has no fill",
                "2 warning: face 2: red 300 is outside 0-255 and wraps to 44",
                "2 warning: face 2: blue -1 is outside 0-255 and wraps to 255",
                "2 warning: face 2: colour \"300,0,-1\" is not on the 6x6x6 palette (levels 0, 51, ..., 255) and is "
                "drawn as 51,0,255",
                "3 warning: face 3: colour \"100,51,0\" is not on the 6x6x6 palette (levels 0, 51, ..., 255) and is "
                "drawn as 102,51,0",
                "4 warning: face 4 has 2 vertices: fewer than 3 enclose no area",
                "5 warning: face 5 has 21 vertices: the saver uses the first 20",
            }));
}

TEST(ObjectDiagnostics, LinesPastTheTwentiethAndPiecesOfLongLinesAreNamed) {
  // The first piece is blank and skipped: the second one is face 1.
  std::string bytes = std::string(254, ' ') + "(0,0,0) (1,1,1)\n";
  for (int i = 1; i < 25; ++i) bytes += kTriangle + "\n# comment\n";
  const Checked checked = Check(bytes);
  EXPECT_EQ(checked.result, kLoadSucceeded);
  EXPECT_EQ(Lines(checked),
            (Expected{
                "1 warning: face 1 (characters 255-508 of the line) has 2 vertices: fewer than 3 enclose no area",
                "40 warning: usable line 21 and the 4 after it are ignored: the saver reads 20 faces at most",
            }));
}

TEST(ObjectDiagnostics, AVertexFarFromTheVerticalAxisPassesBehindTheViewer) {
  // The pose keeps z: 2,300 model units from the axis stay in front all cycle, 4,000 do not.
  EXPECT_EQ(Lines(Check("(0,0,230) (10,0,230) (0,10,230)\n")), Expected{});
  const Checked distant = Check("(0,0,0) (10,0,0) (0,10,0)\n(0,0,0) (10,0,400) (0,10,0)\n");
  ASSERT_EQ(distant.diagnostics.size(), 1u);
  EXPECT_EQ(distant.diagnostics[0].line, 2);
  EXPECT_FALSE(distant.diagnostics[0].error);
  EXPECT_NE(distant.diagnostics[0].text.find("face 2: vertex 2 is so far from the vertical axis that it passes behind"),
            std::string::npos)
      << distant.diagnostics[0].text;
}

TEST(ObjectDiagnostics, FilesTheSaverRefusesWholeAreErrorsWithoutALine) {
  EXPECT_EQ(Lines(Check("# only a comment\n")), Expected{"0 error: No polygons in data file"});
  EXPECT_EQ(Lines(CheckFile("no-such-object.dat")), Expected{"0 error: Data file not found or cannot read"});
  EXPECT_EQ(Lines(Check("\t\n" + kTriangle + "\n")), Expected{"1 error: face 1: no vertex (no ')'), which the saver cannot load"});
  EXPECT_EQ(FormatDiagnostic("a.dat", Diagnostic{3, false, "text"}), "a.dat:3: warning: text");
  EXPECT_EQ(FormatDiagnostic("a.dat", Diagnostic{0, true, "text"}), "a.dat: error: text");
}

// The gallery and the sample: each loads cleanly and stays in front of the viewer all cycle.
TEST(Gallery, EveryObjectLoadsWithoutAnyDiagnostic) {
  const std::filesystem::path data(CUBRIX_DATA_DIR);
  std::vector<std::filesystem::path> objects{data / "Cube.dat"};
  for (const auto& entry : std::filesystem::directory_iterator(data / "objects")) objects.push_back(entry.path());
  EXPECT_GE(objects.size(), 7u) << "the sample and at least six gallery objects";
  for (const auto& object : objects) {
    const Checked checked = CheckFile(object.string());
    EXPECT_EQ(checked.result, kLoadSucceeded) << object;
    EXPECT_EQ(Lines(checked), Expected{}) << object;
  }
}

}  // namespace
