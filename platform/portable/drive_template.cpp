// Seeding a new drive folder from a template folder installed beside the program.
#include "platform/portable/drive_template.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Where hard links are refused (FAT, exFAT, some network mounts) the file is made under its own
// name, exclusively, so that nothing there is replaced; a copy that fails removes only that file.
Copy CopyExclusively(const fs::path& from, const fs::path& to) {
  int fd = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST ? Copy::NameTaken : Copy::Failed;
  const bool copied = CopyBytes(from, fd) && fchmod(fd, 0644) == 0;
  if (Finish(fd, copied)) return Copy::Made;
  const int error = errno;
  unlink(to.c_str());
  errno = error;
  return Copy::Failed;
}

// Written whole under a private name first, then linked into place: link() never replaces an
// existing name, and no reader ever sees half a file.
Copy CopyIfAbsent(const fs::path& from, const fs::path& to) {
  std::string temporary = (to.parent_path() / ".seed-XXXXXX").string();
  int fd = mkstemp(temporary.data());
  if (fd < 0) return Copy::Failed;
  bool copied = CopyBytes(from, fd);
  copied = Finish(fd, copied) && fchmodat(AT_FDCWD, temporary.c_str(), 0644, 0) == 0;
  const bool linked = copied && link(temporary.c_str(), to.c_str()) == 0;
  const int error = errno;
  unlink(temporary.c_str());
  if (linked) return Copy::Made;
  if (!copied) {
    errno = error;
    return Copy::Failed;
  }
  return error == EEXIST ? Copy::NameTaken : CopyExclusively(from, to);
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
