// Tests of seeding a new drive folder from the template installed beside the program.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/portable/drive_template.h"
#include "platform/win32.h"
#include "tests/support/platform_test.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// drive_ is the fixture's fresh (already made) drive; the template and a second drive sit beside it.
class DriveTemplateTest : public PlatformTest {
 protected:
  void SetUp() override {
    PlatformTest::SetUp();
    template_ = drive_ + "/template";
    Write(template_ + "/windows/Cube.dat", "sample object\n");
    Write(template_ + "/windows/sub/notes.txt", "nested\n");
  }
  void TearDown() override {
    unsetenv("CUBRIX_DRIVE_TEMPLATE");
    PlatformTest::TearDown();
  }
  std::string template_;
};

TEST_F(DriveTemplateTest, EveryTemplateFileLandsAtItsPlaceWithItsBytes) {
  std::string target = drive_ + "/new";
  EXPECT_EQ(SeedDrive(target, template_), 2);
  EXPECT_EQ(Read(target + "/windows/Cube.dat"), "sample object\n");
  EXPECT_EQ(Read(target + "/windows/sub/notes.txt"), "nested\n");
  struct stat status;
  ASSERT_EQ(stat((target + "/windows/Cube.dat").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
  // Nothing of the private copy names is left behind.
  for (const auto& entry : fs::directory_iterator(target + "/windows")) {
    EXPECT_EQ(entry.path().filename().string().rfind(".seed-", 0), std::string::npos) << entry.path();
  }
}

TEST_F(DriveTemplateTest, NothingTheDriveHoldsIsReplacedOrFollowed) {
  std::string target = drive_ + "/own";
  Write(target + "/windows/Cube.dat", "the user's own object\n");
  // A dangling link where a template file would go: the seed must not write through it.
  std::string outside = drive_ + "/outside.txt";
  fs::create_directories(target + "/windows/sub");
  fs::create_symlink(outside, target + "/windows/sub/notes.txt");
  EXPECT_EQ(SeedDrive(target, template_), 0);
  EXPECT_EQ(Read(target + "/windows/Cube.dat"), "the user's own object\n");
  EXPECT_FALSE(fs::exists(outside));
  // A second seed of a seeded drive copies nothing again.
  std::string seeded = drive_ + "/again";
  EXPECT_EQ(SeedDrive(seeded, template_), 2);
  Write(seeded + "/windows/Cube.dat", "edited\n");
  EXPECT_EQ(SeedDrive(seeded, template_), 0);
  EXPECT_EQ(Read(seeded + "/windows/Cube.dat"), "edited\n");
}

TEST_F(DriveTemplateTest, AMissingOrUnreadableTemplateSeedsNothing) {
  EXPECT_EQ(SeedDrive(drive_ + "/a", drive_ + "/no-such-template"), 0);
  EXPECT_EQ(SeedDrive(drive_ + "/b", ""), 0);
  EXPECT_FALSE(fs::exists(drive_ + "/a"));
  if (geteuid() != 0) {  // root reads anything, so the unreadable file is a non-root case
    Write(template_ + "/windows/secret.dat", "x");
    chmod((template_ + "/windows/secret.dat").c_str(), 0);
    EXPECT_EQ(SeedDrive(drive_ + "/c", template_), 2);
    EXPECT_FALSE(fs::exists(drive_ + "/c/windows/secret.dat"));
  }
}

// Through the platform: only a drive whose Windows folder is made just now is seeded, so a
// Cube.dat the user removed from an existing drive stays removed.
TEST_F(DriveTemplateTest, OnlyANewlyMadeDriveIsSeeded) {
  setenv("CUBRIX_DRIVE_TEMPLATE", template_.c_str(), 1);
  EXPECT_EQ(DriveTemplateFolder(), template_);
  std::string fresh = drive_ + "/fresh";
  SetDriveOverride(fresh);
  FILE* cube = OpenPlatformFile("C:\\windows\\Cube.dat", "rb");
  ASSERT_NE(cube, nullptr);
  fclose(cube);
  EXPECT_EQ(Read(fresh + "/windows/Cube.dat"), "sample object\n");

  std::string existing = drive_ + "/existing";
  fs::create_directories(existing + "/windows");
  SetDriveOverride(existing);
  char directory[MAX_PATH];
  GetWindowsDirectoryA(directory, sizeof directory);
  EXPECT_FALSE(fs::exists(existing + "/windows/Cube.dat"));
}

}  // namespace
