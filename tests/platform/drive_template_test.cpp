// Tests of seeding a new drive folder from the template installed beside the program.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <string>

#include "platform/portable/drive_template.h"
#include "platform/win32.h"
#include "tests/support/platform_test.h"

// Links and renames as other file systems answer them: while linkError or renameError is set, the
// seed's link() or renameat2() meets these instead of the C library's and fails with that errno.
int linkError = 0;
int renameError = 0;
extern "C" int link(const char* from, const char* to) noexcept {
  if (linkError == 0) return linkat(AT_FDCWD, from, AT_FDCWD, to, 0);
  errno = linkError;
  return -1;
}
extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags) noexcept {
  if (renameError == 0) {
    return static_cast<int>(syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags));
  }
  errno = renameError;
  return -1;
}

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
  EXPECT_EQ(SeedDrive(target, template_).copied, 2);
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
  EXPECT_EQ(SeedDrive(target, template_).copied, 0);
  EXPECT_EQ(Read(target + "/windows/Cube.dat"), "the user's own object\n");
  EXPECT_FALSE(fs::exists(outside));
  // A second seed of a seeded drive copies nothing again.
  std::string seeded = drive_ + "/again";
  EXPECT_EQ(SeedDrive(seeded, template_).copied, 2);
  Write(seeded + "/windows/Cube.dat", "edited\n");
  EXPECT_EQ(SeedDrive(seeded, template_).copied, 0);
  EXPECT_EQ(Read(seeded + "/windows/Cube.dat"), "edited\n");
}

TEST_F(DriveTemplateTest, AMissingOrUnreadableTemplateSeedsNothing) {
  EXPECT_NE(SeedDrive(drive_ + "/a", drive_ + "/no-such-template").failure, "");
  EXPECT_NE(SeedDrive(drive_ + "/b", "").failure, "");
  EXPECT_FALSE(fs::exists(drive_ + "/a"));
  if (geteuid() != 0) {  // root reads anything, so the unreadable file is a non-root case
    Write(template_ + "/windows/secret.dat", "x");
    chmod((template_ + "/windows/secret.dat").c_str(), 0);
    EXPECT_EQ(SeedDrive(drive_ + "/c", template_).copied, 2);
    EXPECT_FALSE(fs::exists(drive_ + "/c/windows/secret.dat"));
  }
}

// FAT and exFAT refuse links (EPERM) but rename without replacing; a file system that knows
// neither gets an exclusive copy. A link or rename that fails otherwise (EIO, ENOSPC) is a failure.
TEST_F(DriveTemplateTest, WhereHardLinksAreRefusedTheFileIsStillPlacedWhole) {
  struct Case { int link, rename; bool placed; };
  for (const Case& c : {Case{EPERM, 0, true}, Case{EOPNOTSUPP, EINVAL, true},
                        Case{EIO, 0, false}, Case{EPERM, ENOSPC, false}}) {
    SCOPED_TRACE(std::to_string(c.link) + " " + std::to_string(c.rename));
    std::string target = drive_ + "/fat" + std::to_string(c.link) + "-" + std::to_string(c.rename);
    Write(target + "/windows/Cube.dat", "the user's own object\n");
    linkError = c.link;
    renameError = c.rename;
    const SeedOutcome outcome = SeedDrive(target, template_);
    linkError = renameError = 0;
    EXPECT_EQ(outcome.copied, c.placed ? 1 : 0);
    EXPECT_EQ(outcome.failure.empty(), c.placed) << outcome.failure;
    EXPECT_EQ(Read(target + "/windows/Cube.dat"), "the user's own object\n");
    EXPECT_EQ(fs::exists(target + "/windows/sub/notes.txt"), c.placed);
    if (c.placed) {
      EXPECT_EQ(Read(target + "/windows/sub/notes.txt"), "nested\n");
    }
    for (const auto& entry : fs::recursive_directory_iterator(target + "/windows")) {
      EXPECT_EQ(entry.path().filename().string().rfind(".seed-", 0), std::string::npos) << entry.path();
    }
  }
}

// Through the platform, run after run: a seed that fails says so in one line and is tried again
// on the next run, until it has succeeded; after that, a Cube.dat the user removed stays removed.
TEST_F(DriveTemplateTest, AFailedSeedIsSaidAndTriedAgainUntilItSucceeds) {
  const std::string missing = drive_ + "/template-to-come";
  setenv("CUBRIX_DRIVE_TEMPLATE", missing.c_str(), 1);
  const std::string drive = drive_ + "/first-run";
  auto run = [&] {
    ResetPlatform();
    ::testing::internal::CaptureStderr();
    SetDriveOverride(drive);
    return ::testing::internal::GetCapturedStderr();
  };
  std::string said = run();
  EXPECT_NE(said.find(drive), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_FALSE(fs::exists(drive + "/windows/Cube.dat"));

  fs::rename(template_, missing);
  EXPECT_EQ(run(), "");
  EXPECT_EQ(Read(drive + "/windows/Cube.dat"), "sample object\n");

  fs::remove(drive + "/windows/Cube.dat");
  EXPECT_EQ(run(), "");
  EXPECT_FALSE(fs::exists(drive + "/windows/Cube.dat"));
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
