// Portable files: the drive folder that stands for C:, and Windows paths inside it.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/portable/drive_template.h"
#include "platform/portable/kernel.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"

namespace {

std::string driveOverride;  // set by tests; empty means the environment decides

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
  const bool fresh = stat((folder + "/windows").c_str(), &windows) != 0;
  MakeFolders(folder + "/windows");
  if (fresh) SeedDrive(folder, DriveTemplateFolder());
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
  return fopen(hostPath.c_str(), mode);
}

void ResetFiles() { driveOverride.clear(); }

void SetDriveOverride(const std::string& path) {
  driveOverride = path;
  DriveFolder();
}
