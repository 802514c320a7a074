// Seeding a new drive folder from a template folder installed beside the program.
#include "platform/portable/drive_template.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

enum class Copy { Made, NameTaken, Failed };  // Failed leaves errno set

bool WriteAll(int fd, const char* bytes, ssize_t count) {
  while (count > 0) {
    ssize_t written = write(fd, bytes, static_cast<size_t>(count));
    if (written < 0) return false;
    bytes += written;
    count -= written;
  }
  return true;
}

bool CopyBytes(const fs::path& from, int to) {
  int source = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  char buffer[8192];
  ssize_t got;
  bool ok = true;
  while (ok && (got = read(source, buffer, sizeof buffer)) != 0) ok = got > 0 && WriteAll(to, buffer, got);
  const int error = errno;
  close(source);
  errno = error;
  return ok;
}

// Closes fd and keeps the first error of the copy or the close in errno.
bool Finish(int fd, bool copied) {
  const int error = errno;
  const bool closed = close(fd) == 0;
  if (!copied) errno = error;
  return copied && closed;
}

bool LinksRefused(int error) { return error == EPERM || error == EOPNOTSUPP || error == ENOSYS; }

// Where renaming without replacing is unknown too, the file is made under its own name,
// exclusively, so that nothing there is replaced; a copy that fails removes only that file.
Copy CopyExclusively(const fs::path& from, const fs::path& to) {
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? Copy::NameTaken : Copy::Failed;
  if (Finish(fd, CopyBytes(from, fd))) return Copy::Made;
  const int error = errno;
  unlink(to.c_str());
  errno = error;
  return Copy::Failed;
}

// Removes the private copy, keeping errno for the outcome.
Copy Dropping(const std::string& temporary, Copy outcome) {
  const int error = errno;
  unlink(temporary.c_str());
  errno = error;
  return outcome;
}

// Puts the finished private copy in place without replacing what is there: link() where the file
// system has hard links, a non-replacing rename where it refuses them (FAT, exFAT, some network
// mounts). Either way no reader ever sees half a file.
Copy PlaceWhole(const std::string& temporary, const fs::path& from, const fs::path& to) {
  if (link(temporary.c_str(), to.c_str()) == 0) return Dropping(temporary, Copy::Made);
  if (errno == EEXIST) return Dropping(temporary, Copy::NameTaken);
  if (!LinksRefused(errno)) return Dropping(temporary, Copy::Failed);
  if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return Copy::Made;
  }
  if (errno == EEXIST) return Dropping(temporary, Copy::NameTaken);
  if (errno != EINVAL && errno != ENOSYS) return Dropping(temporary, Copy::Failed);
  Dropping(temporary, Copy::Failed);
  return CopyExclusively(from, to);
}

// Written whole under a private name first, then placed under the final one.
Copy CopyIfAbsent(const fs::path& from, const fs::path& to) {
  std::string temporary = (to.parent_path() / ".seed-XXXXXX").string();
  int fd = mkstemp(temporary.data());
  if (fd < 0) return Copy::Failed;
  // Best effort: some network mounts refuse modes, and mkstemp's 0600 still lets the user read it.
  (void)fchmod(fd, 0644);
  if (!Finish(fd, CopyBytes(from, fd))) return Dropping(temporary, Copy::Failed);
  return PlaceWhole(temporary, from, to);
}

}  // namespace

std::string DriveTemplateFolder() {
  const char* chosen = getenv("CUBRIX_DRIVE_TEMPLATE");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return "";
  return (program.parent_path().parent_path() / "share/cubrix/drive_c").string();
}

SeedOutcome SeedDrive(const std::string& driveFolder, const std::string& templateFolder) {
  SeedOutcome outcome;
  if (templateFolder.empty()) {
    outcome.failure = "no template folder";
    return outcome;
  }
  std::error_code walking;
  fs::recursive_directory_iterator entry(templateFolder, walking), end;
  for (; !walking && entry != end; entry.increment(walking)) {
    std::error_code ignored;  // a file that cannot be copied leaves the others to be tried
    if (!entry->is_regular_file(ignored)) continue;  // folders are made for the files they hold
    const fs::path relative = entry->path().lexically_relative(templateFolder);
    const fs::path target = fs::path(driveFolder) / relative;
    fs::create_directories(target.parent_path(), ignored);
    // symlink_status: a dangling link in the drive counts as a name taken, never followed.
    if (fs::exists(fs::symlink_status(target, ignored))) continue;
    switch (CopyIfAbsent(entry->path(), target)) {
      case Copy::Made: ++outcome.copied; break;
      case Copy::NameTaken: break;
      case Copy::Failed:
        if (outcome.failure.empty()) outcome.failure = relative.string() + ": " + strerror(errno);
        break;
    }
  }
  if (walking && outcome.failure.empty()) outcome.failure = templateFolder + ": " + walking.message();
  return outcome;
}
