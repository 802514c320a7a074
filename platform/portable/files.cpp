// Portable files: the drive folder that stands for C:, Windows paths, and Windows text mode.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/portable/hooks_internal.h"
#include "platform/portable/kernel_internal.h"
#include "platform/test_hooks.h"
#include "platform/win32.h"

namespace {

std::string driveOverride;  // set by tests; empty means the environment decides

constexpr int kCtrlZ = 26;  // ends the data of a file read in text mode

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
  mkdir(path.c_str(), 0755);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A stream in Windows text mode over a binary one: CR LF reads as LF, Ctrl-Z ends the data,
// and LF is written as CR LF.
struct TextStream {
  FILE* raw;
  bool ended;
};

ssize_t ReadText(void* cookie, char* buffer, size_t size) {
  auto* stream = static_cast<TextStream*>(cookie);
  size_t count = 0;
  while (count < size && !stream->ended) {
    int c = getc(stream->raw);
    if (c == EOF || c == kCtrlZ) {
      stream->ended = true;
      break;
    }
    if (c == '\r') {
      int next = getc(stream->raw);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        ungetc(next, stream->raw);
      }
    }
    buffer[count++] = static_cast<char>(c);
  }
  return static_cast<ssize_t>(count);
}

ssize_t WriteText(void* cookie, const char* buffer, size_t size) {
  auto* stream = static_cast<TextStream*>(cookie);
  for (size_t i = 0; i < size; ++i) {
    if (buffer[i] == '\n' && putc('\r', stream->raw) == EOF) return -1;
    if (putc(buffer[i], stream->raw) == EOF) return -1;
  }
  return static_cast<ssize_t>(size);
}

// Only a return to the start (rewind) is offered; positions inside a translated file have no
// simple meaning.
int SeekText(void* cookie, off64_t* offset, int whence) {
  auto* stream = static_cast<TextStream*>(cookie);
  if (*offset != 0 || whence != SEEK_SET) return -1;
  if (fseek(stream->raw, 0, SEEK_SET) != 0) return -1;
  stream->ended = false;
  return 0;
}

int CloseText(void* cookie) {
  auto* stream = static_cast<TextStream*>(cookie);
  int result = fclose(stream->raw);
  delete stream;
  return result;
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
  MakeFolders(folder + "/windows");  // the drive always holds its Windows directory
  return folder;
}

std::string WindowsFolder() { return DriveFolder() + "/windows"; }

std::string HostPath(const char* windowsPath) {
  std::string path(windowsPath);
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

// Without "b" a Windows stream is in text mode, with or without "t".
FILE* OpenPlatformFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return nullptr;
  std::string rawMode;
  for (const char* c = mode; *c != '\0'; ++c) {
    if (*c != 't' && *c != 'b') rawMode += *c;
  }
  rawMode += 'b';
  FILE* raw = fopen(HostPath(path).c_str(), rawMode.c_str());
  if (raw == nullptr || strchr(mode, 'b') != nullptr) return raw;
  cookie_io_functions_t functions{ReadText, WriteText, SeekText, CloseText};
  auto* stream = new TextStream{raw, false};
  FILE* text = fopencookie(stream, rawMode.c_str(), functions);
  if (text == nullptr) CloseText(stream);
  return text;
}

void ResetFiles() { driveOverride.clear(); }

void TestHooks::SetDriveFolder(const std::string& path) {
  driveOverride = path;
  ::DriveFolder();
}

std::string TestHooks::DriveFolder() { return ::DriveFolder(); }
