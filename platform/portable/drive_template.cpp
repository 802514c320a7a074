// Seeding a new drive folder from a template folder installed beside the program.
#include "platform/portable/drive_template.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

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
  close(source);
  return ok;
}

// Written whole under a private name first, then linked into place: link() never replaces an
// existing name, and no reader ever sees half a file.
bool CopyIfAbsent(const fs::path& from, const fs::path& to) {
  std::string temporary = (to.parent_path() / ".seed-XXXXXX").string();
  int fd = mkstemp(temporary.data());
  if (fd < 0) return false;
  bool copied = CopyBytes(from, fd);
  copied = close(fd) == 0 && copied;
  copied = copied && fchmodat(AT_FDCWD, temporary.c_str(), 0644, 0) == 0;
  copied = copied && link(temporary.c_str(), to.c_str()) == 0;
  unlink(temporary.c_str());
  return copied;
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

int SeedDrive(const std::string& driveFolder, const std::string& templateFolder) {
  if (templateFolder.empty()) return 0;
  std::error_code walking;
  fs::recursive_directory_iterator entry(templateFolder, walking), end;
  int copied = 0;
  for (; !walking && entry != end; entry.increment(walking)) {
    std::error_code ignored;  // a file that cannot be copied leaves the others to be tried
    if (!entry->is_regular_file(ignored)) continue;  // folders are made for the files they hold
    fs::path target = fs::path(driveFolder) / entry->path().lexically_relative(templateFolder);
    fs::create_directories(target.parent_path(), ignored);
    // symlink_status: a dangling link in the drive counts as a name taken, never followed.
    if (fs::exists(fs::symlink_status(target, ignored))) continue;
    if (CopyIfAbsent(entry->path(), target)) ++copied;
  }
  return copied;
}
