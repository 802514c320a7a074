// Tests of the portable drive folder, Windows paths and Windows text mode.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32.h"
#include "tests/platform/platform_fixture.h"

namespace {

using FilesTest = PlatformTest;

std::string ReadHostFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadAll(FILE* file) {
  std::string text;
  for (int c = fgetc(file); c != EOF; c = fgetc(file)) text += static_cast<char>(c);
  return text;
}

TEST_F(FilesTest, WindowsDirectoryIsTheDriveFoldersWindowsFolder) {
  char buffer[MAX_PATH];
  UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer), "C:\\windows");
  EXPECT_EQ(length, 10u);
  EXPECT_TRUE(std::filesystem::is_directory(drive_ + "/windows"));
  char small[5] = "keep";
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 11u);  // the size needed, nothing written
  EXPECT_EQ(std::string(small), "keep");
}

TEST_F(FilesTest, DosPathsLandInTheDriveFolder) {
  char directory[MAX_PATH];
  GetWindowsDirectoryA(directory, sizeof directory);
  std::string cubePath = std::string(directory) + "\\Cube.dat";
  WriteHostFile(drive_ + "/windows/Cube.dat", "cube");
  FILE* byLetter = OpenPlatformFile(cubePath.c_str(), "rb");
  ASSERT_NE(byLetter, nullptr);
  EXPECT_EQ(ReadAll(byLetter), "cube");
  fclose(byLetter);
  FILE* byRoot = OpenPlatformFile("\\windows\\times.dat", "wb");
  ASSERT_NE(byRoot, nullptr);
  fputs("x", byRoot);
  fclose(byRoot);
  EXPECT_EQ(ReadHostFile(drive_ + "/windows/times.dat"), "x");
  EXPECT_EQ(OpenPlatformFile("\\nowhere\\missing.dat", "rb"), nullptr);
}

TEST_F(FilesTest, TextModeWritesCarriageReturnLineFeed) {
  FILE* file = OpenPlatformFile("\\windows\\times.dat", "wt");
  ASSERT_NE(file, nullptr);
  fprintf(file, "Started           =%li\n", 1000L);
  fputs("a\nb", file);
  fclose(file);
  EXPECT_EQ(ReadHostFile(drive_ + "/windows/times.dat"), "Started           =1000\r\na\r\nb");
}

TEST_F(FilesTest, TextModeReadDropsCarriageReturnBeforeLineFeedAndStopsAtCtrlZ) {
  WriteHostFile(drive_ + "/windows/Cube.dat", "one\r\ntwo\rthree\n\r\r\nend\x1Ahidden\n");
  FILE* file = OpenPlatformFile("C:\\windows\\Cube.dat", "rt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAll(file), "one\ntwo\rthree\n\r\nend");
  rewind(file);
  char line[8];
  ASSERT_NE(fgets(line, sizeof line, file), nullptr);
  EXPECT_EQ(std::string(line), "one\n");
  fclose(file);
}

TEST_F(FilesTest, ModeWithoutBIsTextModeAsOnWindows) {
  WriteHostFile(drive_ + "/a.txt", "x\r\ny");
  FILE* file = OpenPlatformFile("\\a.txt", "r");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAll(file), "x\ny");
  fclose(file);
  FILE* binary = OpenPlatformFile("\\a.txt", "rb");
  EXPECT_EQ(ReadAll(binary), "x\r\ny");
  fclose(binary);
}

TEST_F(FilesTest, CarriageReturnAtTheVeryEndIsKept) {
  WriteHostFile(drive_ + "/a.txt", "x\r");
  FILE* file = OpenPlatformFile("\\a.txt", "rt");
  EXPECT_EQ(ReadAll(file), "x\r");
  fclose(file);
}

}  // namespace
