// Portable files: the drive folder that stands for C:, and Windows paths inside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/portable/drive_template.h"
#include "platform/portable/kernel.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"

namespace {

std::string driveOverride;  // set by tests; empty means the environment decides
std::string seedTried;      // the drive whose seeding this process has tried

// Stands in the drive's root from the moment its Windows folder is first made until the seed has
// put every template file there, so that a run that fails or is killed mid-seed is followed by
// another try. A drive without it is seeded already: what its user removed stays removed.
constexpr char kSeedPending[] = "/.cubrix-seed-pending";

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
  mkdir(path.c_str(), 0755);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// As on Windows, a path behind this prefix is taken as it stands: here, a path of the host.
constexpr char kVerbatimPrefix[] = "\\\\?\\";
constexpr size_t kVerbatimPrefixLength = sizeof kVerbatimPrefix - 1;

// A file opened to be written anew is written under a name of its own beside it and renamed over
// the old one when it is closed. Programs that write the same file at once (one saver per monitor)
// then leave one writer's whole text, and a write that fails leaves the old file as it was.
struct Replacement {
  int descriptor;
  bool failed;
  std::string temporary;
  std::string target;
};

ssize_t ReadReplacement(void* cookie, char* buffer, size_t size) {
  return read(static_cast<Replacement*>(cookie)->descriptor, buffer, size);
}

ssize_t WriteReplacement(void* cookie, const char* bytes, size_t size) {
  auto* file = static_cast<Replacement*>(cookie);
  size_t done = 0;
  while (done < size) {
    ssize_t written = write(file->descriptor, bytes + done, size - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      file->failed = true;
      break;
    }
    done += static_cast<size_t>(written);
  }
  return static_cast<ssize_t>(done);  // short on failure, as the stream expects
}

int SeekReplacement(void* cookie, off64_t* offset, int whence) {
  off64_t reached = lseek64(static_cast<Replacement*>(cookie)->descriptor, *offset, whence);
  if (reached < 0) return -1;
  *offset = reached;
  return 0;
}

// Only these say that written bytes may not reach the disk; a file system that cannot sync at all
// (EINVAL, ENOTSUP, EROFS on some special and network mounts) still gets the rename.
bool LostWrites(int syncError) { return syncError == EIO || syncError == ENOSPC || syncError == EDQUOT; }

int CloseReplacement(void* cookie) {
  auto* file = static_cast<Replacement*>(cookie);
  bool kept = !file->failed && (fsync(file->descriptor) == 0 || !LostWrites(errno));
  kept = close(file->descriptor) == 0 && kept;
  kept = kept && rename(file->temporary.c_str(), file->target.c_str()) == 0;
  const int error = errno;
  if (!kept) unlink(file->temporary.c_str());
  delete file;
  errno = error;
  return kept ? 0 : EOF;
}

// An unused name beside the target, made only by this call (O_EXCL); the mode is the old file's,
// or what a new file would get.
int CreateTemporaryBeside(const std::string& target, const struct stat* old, std::string* name) {
  static unsigned counter = 0;
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = folder + "." + base + "." + std::to_string(getpid()) + "-" + std::to_string(++counter);
    int descriptor = open(name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
      if (old != nullptr) fchmod(descriptor, old->st_mode & 07777);
      return descriptor;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

bool TruncatesOnOpen(const char* mode) { return mode[0] == 'w' && strchr(mode, 'x') == nullptr; }

// fopen's mode as open's flags; -1 for a mode fopen would refuse.
int OpenFlags(const char* mode) {
  int flags = 0;
  switch (mode[0]) {
    case 'r': break;
    case 'w': flags = O_CREAT | O_TRUNC; break;
    case 'a': flags = O_CREAT | O_APPEND; break;
    default: return -1;
  }
  if (strchr(mode, '+') != nullptr) {
    flags |= O_RDWR;
  } else {
    flags |= mode[0] == 'r' ? O_RDONLY : O_WRONLY;
  }
  if (strchr(mode, 'x') != nullptr) flags |= O_EXCL;
  if (strchr(mode, 'e') != nullptr) flags |= O_CLOEXEC;
  return flags;
}

// fopen, except that a named pipe with nobody at its other end does not hold the open until
// somebody comes: a saver stuck there would never take the input that closes it. Such a pipe is
// refused for writing (ENXIO), and opened for reading as the file that is no plain file it is.
// Once open, the stream waits on reads and writes as fopen's would.
FILE* OpenWithoutWaiting(const std::string& path, const char* mode) {
  const int flags = OpenFlags(mode);
  if (flags < 0) {
    errno = EINVAL;
    return nullptr;
  }
  const int descriptor = open(path.c_str(), flags | O_NONBLOCK, 0666);
  if (descriptor < 0) return nullptr;
  const int status = fcntl(descriptor, F_GETFL);
  const bool waits = status >= 0 && fcntl(descriptor, F_SETFL, status & ~O_NONBLOCK) == 0;
  FILE* stream = waits ? fdopen(descriptor, mode) : nullptr;
  if (stream == nullptr) {
    const int error = errno;
    close(descriptor);
    errno = error;
  }
  return stream;
}

// What writing through the path reaches: a link's final target, even where that does not exist
// yet (fopen creates it there); empty for a loop of links.
std::string LinkTarget(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return resolved;
  std::string target = path;
  for (int hops = 0; hops < 40; ++hops) {
    char named[PATH_MAX];
    const ssize_t length = readlink(target.c_str(), named, sizeof named);
    if (length < 0) return target;
    std::string next(named, static_cast<size_t>(length));
    const size_t slash = target.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = target.substr(0, slash + 1) + next;
    target = next;
  }
  return "";
}

// Where no name beside the file can be made, or the name is no plain file (a device, a pipe),
// the file is opened in place, which is all such a place allows.
FILE* OpenReplacing(const std::string& path, const char* mode) {
  const std::string target = LinkTarget(path);
  if (target.empty()) return OpenWithoutWaiting(path, mode);
  struct stat old;
  const bool exists = stat(target.c_str(), &old) == 0;
  // A file that may not be written is refused as before, never replaced.
  if (exists && (!S_ISREG(old.st_mode) || access(target.c_str(), W_OK) != 0)) return OpenWithoutWaiting(path, mode);
  auto* file = new Replacement{-1, false, "", target};
  file->descriptor = CreateTemporaryBeside(target, exists ? &old : nullptr, &file->temporary);
  if (file->descriptor < 0) {
    delete file;
    return OpenWithoutWaiting(path, mode);
  }
  FILE* stream = fopencookie(file, mode, {ReadReplacement, WriteReplacement, SeekReplacement, CloseReplacement});
  if (stream == nullptr) {
    close(file->descriptor);
    unlink(file->temporary.c_str());
    delete file;
  }
  return stream;
}

void SeedIfPending(const std::string& folder) {
  if (seedTried == folder) return;
  seedTried = folder;
  const std::string pending = folder + kSeedPending;
  if (access(pending.c_str(), F_OK) != 0) return;
  const SeedOutcome outcome = SeedDrive(folder, DriveTemplateFolder());
  if (outcome.failure.empty()) {
    unlink(pending.c_str());
    return;
  }
  fprintf(stderr, "%s: the drive %s did not get its sample files (%s); the next run tries again\n",
          program_invocation_short_name, folder.c_str(), outcome.failure.c_str());
}

}  // namespace

std::string DriveFolder() {
  std::string folder = driveOverride;
  if (folder.empty()) {
    const char* drive = getenv("CUBRIX_DRIVE");
    const char* dataHome = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (drive != nullptr && *drive != '\0') {
      folder = drive;
    } else if (dataHome != nullptr && *dataHome != '\0') {
      folder = std::string(dataHome) + "/cubrix/drive_c";
    } else {
      folder = std::string(home != nullptr ? home : ".") + "/.local/share/cubrix/drive_c";
    }
  }
  // The drive always holds its Windows directory; one made just now starts from the template.
  struct stat windows;
  if (stat((folder + "/windows").c_str(), &windows) != 0) {
    MakeFolders(folder);
    const int marker = open((folder + kSeedPending).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (marker >= 0) close(marker);
    MakeFolders(folder + "/windows");
  }
  SeedIfPending(folder);
  return folder;
}

std::string WindowsFolder() { return DriveFolder() + "/windows"; }

// Behind the verbatim prefix stands a host path, taken as it stands.
std::string HostPath(const char* windowsPath) {
  std::string path(windowsPath);
  if (path.compare(0, kVerbatimPrefixLength, kVerbatimPrefix) == 0) return path.substr(kVerbatimPrefixLength);
  std::string result;
  size_t rest = 0;
  if (path.size() >= 2 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    result = DriveFolder() + "/";
    rest = 2;
  } else if (!path.empty() && IsSeparator(path[0])) {
    result = DriveFolder() + "/";
  }
  while (rest < path.size() && IsSeparator(path[rest]) && !result.empty()) ++rest;
  for (size_t i = rest; i < path.size(); ++i) result += path[i] == '\\' ? '/' : path[i];
  return result;
}

std::string PlatformPathOfHostFile(const char* hostPath) { return kVerbatimPrefix + std::string(hostPath); }

// Only binary streams: Windows text mode (CR LF, Ctrl-Z) is not imitated, so a text-mode open
// fails here instead of quietly reading other bytes than Windows would. A folder cannot be opened
// as a file on Windows, though the C library here opens one for reading.
FILE* OpenPlatformFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr || strchr(mode, 'b') == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  const std::string hostPath = HostPath(path);
  struct stat status;
  if (stat(hostPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  return TruncatesOnOpen(mode) ? OpenReplacing(hostPath, mode) : OpenWithoutWaiting(hostPath, mode);
}

void ResetFiles() {
  driveOverride.clear();
  seedTried.clear();
}

void SetDriveOverride(const std::string& path) {
  driveOverride = path;
  DriveFolder();
}
