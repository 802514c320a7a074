// Tests of the portable drive folder, Windows paths and Windows text mode.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32.h"
#include "tests/support/platform_test.h"

// While fsyncError is set, the platform's fsync() meets this one and fails with that errno, as
// file systems that cannot sync, or that lost written bytes, answer.
int fsyncError = 0;
extern "C" int fsync(int descriptor) {
  if (fsyncError == 0) return fdatasync(descriptor);
  errno = fsyncError;
  return -1;
}

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
  // A folder is no file, as on Windows, though the C library here would open it for reading.
  EXPECT_EQ(OpenPlatformFile("\\windows", "rb"), nullptr);
}

TEST_F(FilesTest, BinaryBytesPassUnchangedAndTextModeIsRefused) {
  WriteHostFile(drive_ + "/a.txt", "x\r\ny\x1A");
  FILE* binary = OpenPlatformFile("\\a.txt", "rb");
  ASSERT_NE(binary, nullptr);
  EXPECT_EQ(ReadAll(binary), std::string("x\r\ny\x1A"));
  fclose(binary);
  EXPECT_EQ(OpenPlatformFile("\\a.txt", "rt"), nullptr);
  EXPECT_EQ(OpenPlatformFile("\\a.txt", "r"), nullptr);
  EXPECT_EQ(OpenPlatformFile("\\b.txt", "w"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(drive_ + "/b.txt"));
}

TEST_F(FilesTest, DriveFolderComesFromTheEnvironmentUnlessSet) {
  TestHooks::ResetPlatform();
  std::string folder = drive_ + "/other";
  setenv("CUBRIX_DRIVE", folder.c_str(), 1);
  FILE* file = OpenPlatformFile("C:\\windows\\x.dat", "wb");
  unsetenv("CUBRIX_DRIVE");
  ASSERT_NE(file, nullptr);
  fclose(file);
  EXPECT_TRUE(std::filesystem::exists(folder + "/windows/x.dat"));
}

TEST_F(FilesTest, ForwardSlashesAndDoubledSeparatorsAlsoRootInTheDrive) {
  FILE* file = OpenPlatformFile("/\\windows/y.dat", "wb");
  ASSERT_NE(file, nullptr);
  fclose(file);
  EXPECT_TRUE(std::filesystem::exists(drive_ + "/windows/y.dat"));
}

TEST_F(FilesTest, AHostFileOpensByItsPlatformPathWhateverItsName) {
  const std::string name = drive_ + "/windows/host\\named.dat";  // a backslash is a plain character here
  WriteHostFile(name, "host");
  FILE* file = OpenPlatformFile(PlatformPathOfHostFile(name.c_str()).c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAll(file), "host");
  fclose(file);
  EXPECT_EQ(OpenPlatformFile(name.c_str(), "rb"), nullptr) << "read as a path inside the drive folder";
}

// One saver per monitor: all end at once and write times.dat together. In the worst order (both
// open, the longer text is written first) the file must still hold one writer's whole text, and
// the old text until a writer has closed. A write that fails leaves the old file.
TEST_F(FilesTest, WritersReplaceTheFileWholeWhenTheyClose) {
  const std::string path = drive_ + "/windows/times.dat";
  WriteHostFile(path, "old text\n");
  chmod(path.c_str(), 0640);
  FILE* first = OpenPlatformFile("\\windows\\times.dat", "wb");
  FILE* second = OpenPlatformFile("\\windows\\times.dat", "wb");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  fputs("the first writer's longer text\n", first);
  fflush(first);
  fputs("second\n", second);
  fflush(second);
  EXPECT_EQ(ReadHostFile(path), "old text\n");
  EXPECT_EQ(fclose(first), 0);
  EXPECT_EQ(ReadHostFile(path), "the first writer's longer text\n");
  EXPECT_EQ(fclose(second), 0);
  EXPECT_EQ(ReadHostFile(path), "second\n");
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);

  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 4;  // any longer write fails (EFBIG)
  auto previous = signal(SIGXFSZ, SIG_IGN);
  FILE* failing = OpenPlatformFile("\\windows\\times.dat", "wb");
  ASSERT_NE(failing, nullptr);
  setrlimit(RLIMIT_FSIZE, &small);
  fputs("longer than the limit\n", failing);
  const int closed = fclose(failing);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(closed, EOF);
  EXPECT_EQ(ReadHostFile(path), "second\n");
  for (const auto& entry : std::filesystem::directory_iterator(drive_ + "/windows")) {
    EXPECT_EQ(entry.path().filename(), "times.dat") << "left behind";
  }
}

// A file system that cannot sync keeps the new text; one that lost written bytes keeps the old.
TEST_F(FilesTest, OnlyASyncThatLostBytesKeepsTheOldFile) {
  const std::string path = drive_ + "/windows/times.dat";
  WriteHostFile(path, "old text\n");
  for (int error : {ENOTSUP, EROFS, EIO}) {
    FILE* file = OpenPlatformFile("\\windows\\times.dat", "wb");
    ASSERT_NE(file, nullptr);
    fputs("new text\n", file);
    fsyncError = error;
    const int closed = fclose(file);
    fsyncError = 0;
    EXPECT_EQ(closed, error == EIO ? EOF : 0) << error;
    EXPECT_EQ(ReadHostFile(path), error == EIO ? "old text\n" : "new text\n") << error;
    WriteHostFile(path, "old text\n");
  }
}

// As fopen does, writing through a link that names no file yet creates the file it names.
TEST_F(FilesTest, ADanglingLinkIsWrittenThroughNotReplaced) {
  const std::string path = drive_ + "/windows/times.dat";
  std::filesystem::create_directories(drive_ + "/kept");
  std::filesystem::create_symlink("../kept/times.dat", path);
  FILE* file = OpenPlatformFile("\\windows\\times.dat", "wb");
  ASSERT_NE(file, nullptr);
  fputs("through the link\n", file);
  EXPECT_EQ(fclose(file), 0);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(ReadHostFile(drive_ + "/kept/times.dat"), "through the link\n");
}

// A named pipe with nobody at its other end: reading opens without waiting for a writer, and
// writing is refused instead of waiting for a reader (the alarm turns a wait into a failed run).
TEST_F(FilesTest, ANamedPipeWithNobodyAtTheOtherEndIsNotWaitedFor) {
  const std::string path = drive_ + "/windows/times.dat";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  alarm(10);
  FILE* reading = OpenPlatformFile("\\windows\\times.dat", "rb");
  ASSERT_NE(reading, nullptr);
  EXPECT_EQ(fgetc(reading), EOF);
  fclose(reading);
  errno = 0;
  EXPECT_EQ(OpenPlatformFile("\\windows\\times.dat", "wb"), nullptr);
  EXPECT_EQ(errno, ENXIO);
  alarm(0);
}

}  // namespace
