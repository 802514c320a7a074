// cubrix-render: renders an object file into an animated GIF through the saver's own scene code,
// headless, so an author sees the object move without installing it.
//
// Usage: cubrix-render [--size WxH] [--frames N] [--start N] [--] <object file> <output.gif>
// The object file may be '-' for standard input. Frames are numbered as the saver draws them: frame 1 is the first timer tick (frame angle 2)
// and the cycle repeats after 359 frames. Each GIF frame lasts 50 ms and the GIF loops; its
// palette is the saver's. On a file the saver refuses it prints the saver's message and exits
// with the loader's result code. The GIF replaces its output file only once it is complete, unless
// the user may write the file but not its folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "scene/object_file.h"
#include "scene/renderer.h"
#include "scene/scene_proc.h"
#include "tools/gif_file.h"
#include "tools/object_input.h"

namespace {

constexpr int kMaxSide = 4096;
constexpr int kUsageStatus = 2 * kLoadResultCount;  // apart from every result code
constexpr int kOutputStatus = kUsageStatus + 1;

struct Options {
  int width = 640;
  int height = 480;
  int frames = kFramesPerCycle;
  int start = 1;
  const char* objectFile = nullptr;
  const char* output = nullptr;
  bool help = false;
  bool version = false;
};

// Plain decimal digits only: no blanks, no sign, nothing after them.
bool ReadNumber(const std::string& text, int low, int high, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high) return false;
  *value = number;
  return true;
}

bool ReadSize(const std::string& text, Options& options) {
  const size_t cross = text.find('x');
  return cross != std::string::npos && ReadNumber(text.substr(0, cross), 1, kMaxSide, &options.width) &&
         ReadNumber(text.substr(cross + 1), 1, kMaxSide, &options.height);
}

// Reads the option at argv[*i] and its value; returns what is wrong with them, or "".
std::string ReadOption(int argc, char** argv, int* i, Options& options) {
  const std::string option = argv[*i];
  if (option == "--help" || option == "-h") {
    options.help = true;
    return "";
  }
  if (option == "--version") {
    options.version = true;
    return "";
  }
  const bool size = option == "--size";
  if (!size && option != "--frames" && option != "--start") return "unknown option '" + option + "'";
  const std::string expected = size ? "expected WxH, 1 to " + std::to_string(kMaxSide) + " pixels a side"
                                    : "expected a whole number from 1 to " + std::to_string(kFramesPerCycle);
  if (*i + 1 >= argc) return option + ": no value: " + expected;
  const std::string value = argv[++*i];
  const bool read = size ? ReadSize(value, options)
                         : ReadNumber(value, 1, kFramesPerCycle, option == "--frames" ? &options.frames : &options.start);
  return read ? "" : option + " '" + value + "': " + expected;
}

std::string ReadOptions(int argc, char** argv, Options& options) {
  std::vector<const char*> files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    // "-" alone is standard input; after "--" even a name that starts with '-' is a file.
    const bool option = !optionsEnded && argv[i][0] == '-' && argv[i][1] != '\0';
    if (option && std::strcmp(argv[i], "--") == 0) {
      optionsEnded = true;
      continue;
    }
    if (!option) {
      files.push_back(argv[i]);
      continue;
    }
    const std::string wrong = ReadOption(argc, argv, &i, options);
    if (!wrong.empty()) return wrong;
    if (options.help || options.version) return "";
  }
  if (files.size() != 2) return "expected an object file and an output GIF (see --help)";
  if (*files[0] == '\0' || *files[1] == '\0') return "an empty file name (see --help)";
  options.objectFile = files[0];
  options.output = files[1];
  return "";
}

void PrintUsage() {
  std::printf(
      "usage: cubrix-render [--size WxH] [--frames N] [--start N] [--] <object file> <output.gif>\n"
      "Renders the object file through the Cubrix saver's own scene into a looping GIF.\n"
      "  --size WxH   picture size, 1 to %d pixels a side (default 640x480)\n"
      "  --frames N   frames to write, 1 to %d (default %d, the whole cycle)\n"
      "  --start N    the first frame written, 1 to %d (default 1)\n"
      "'-' as the object file reads standard input, as the output writes standard output.\n"
      "Standard input, pipes and devices are read whole, up to %s.\n"
      "Exit status: 0 written, 1 to 7 the saver's load result, %d a wrong command line, %d the GIF not written.\n",
      kMaxSide, kFramesPerCycle, kFramesPerCycle, kFramesPerCycle, kMaxInputText, kUsageStatus, kOutputStatus);
}

// Where the GIF goes. A plain file, or none yet, is written under a temporary name beside it and
// renamed into place once complete: a failure or an ending signal removes only that temporary
// file. An output given as a link, even one to no file yet, keeps the link and replaces the file
// it ends at. Anything else (a device, a pipe), standard output ('-'), and a file in a folder the
// user may not write to are written as they stand and never removed.
struct Output {
  std::string target;     // the file that ends up holding the GIF
  std::string temporary;  // empty when writing the target directly
  int syncDescriptor = -1;  // the temporary file's own, to flush it to disk before the rename
};

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction keptActions[std::size(kEndingSignals)];
// The temporary file an ending signal removes; a handler may only unlink a name made before.
const char* volatile guardedTemporary = nullptr;

void RemoveTemporaryAndEnd(int signalNumber) {
  if (guardedTemporary != nullptr) unlink(guardedTemporary);
  signal(signalNumber, SIG_DFL);  // then end by the same signal, so the parent sees why
  raise(signalNumber);
}

// Holds the ending signals back while the temporary file and its guard change; returns the mask to
// restore, as the program was started with.
sigset_t BlockEndingSignals() {
  sigset_t set, kept;
  sigemptyset(&set);
  for (int number : kEndingSignals) sigaddset(&set, number);
  sigprocmask(SIG_BLOCK, &set, &kept);
  return kept;
}

// A signal ignored at start (as under nohup) stays ignored.
void GuardTemporary(const std::string& temporary) {
  guardedTemporary = temporary.c_str();
  struct sigaction action {};
  action.sa_handler = RemoveTemporaryAndEnd;
  sigemptyset(&action.sa_mask);
  for (int number : kEndingSignals) sigaddset(&action.sa_mask, number);
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    sigaction(kEndingSignals[i], nullptr, &keptActions[i]);
    if (keptActions[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &action, nullptr);
  }
}

void ReleaseTemporary() {
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) sigaction(kEndingSignals[i], &keptActions[i], nullptr);
  guardedTemporary = nullptr;
}

mode_t CreationMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// Follows a chain of symbolic links to the name it ends at, which need not exist yet; a relative
// link counts from its own folder. False (errno set) for a loop or a link that cannot be read.
bool FollowLinks(std::string& path) {
  std::vector<char> target(PATH_MAX);
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0) return false;
    const std::string next(target.data(), static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    path = next[0] == '/' || slash == std::string::npos ? next : path.substr(0, slash + 1) + next;
  }
  errno = ELOOP;
  return false;
}

int OpenInPlace(const Output& output, std::string* error) {
  const int descriptor = open(output.target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (descriptor < 0) *error = std::strerror(errno);
  return descriptor;
}

// A new file beside the target, guarded against ending signals from the moment it exists; -1
// with errno set when none can be made.
int OpenTemporary(Output& output, mode_t mode) {
  std::string name = output.target + ".XXXXXX";
  const sigset_t kept = BlockEndingSignals();
  int descriptor = mkstemp(&name[0]);
  output.syncDescriptor = descriptor >= 0 ? dup(descriptor) : -1;
  const int made = errno;
  if (descriptor >= 0 && output.syncDescriptor < 0) {
    unlink(name.c_str());
    close(descriptor);
    descriptor = -1;
  }
  if (descriptor >= 0) {
    output.temporary = name;
    GuardTemporary(output.temporary);
    fchmod(descriptor, mode);  // mkstemp makes it 0600
  }
  sigprocmask(SIG_SETMASK, &kept, nullptr);
  errno = made;
  return descriptor;
}

// The descriptor to write the GIF to, or -1 with *error set.
int OpenOutput(const char* path, Output& output, std::string* error) {
  output.target = path;
  if (std::strcmp(path, "-") == 0) {
    const int descriptor = dup(STDOUT_FILENO);  // the GIF closes its own descriptor
    if (descriptor < 0) *error = std::strerror(errno);
    return descriptor;
  }
  if (!FollowLinks(output.target)) {
    *error = std::strerror(errno);
    return -1;
  }
  struct stat status;
  const bool exists = stat(output.target.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) return OpenInPlace(output, error);
  const int descriptor = OpenTemporary(output, exists ? status.st_mode & 07777 : CreationMode());
  // A folder the user may not write to can still hold a file the user may: write that in place.
  if (descriptor < 0 && (errno == EACCES || errno == EROFS)) return OpenInPlace(output, error);
  if (descriptor < 0) *error = std::string("no temporary file beside it: ") + std::strerror(errno);
  return descriptor;
}

// Puts a complete GIF in place, or removes the temporary file of an incomplete one.
bool FinishOutput(const Output& output, bool complete, std::string* error) {
  if (output.temporary.empty()) return complete;
  if (complete && fsync(output.syncDescriptor) != 0) {
    complete = false;
    *error = std::strerror(errno);
  }
  close(output.syncDescriptor);
  const sigset_t kept = BlockEndingSignals();
  const bool placed = complete && std::rename(output.temporary.c_str(), output.target.c_str()) == 0;
  if (complete && !placed) *error = std::strerror(errno);
  if (!placed) unlink(output.temporary.c_str());
  ReleaseTemporary();
  sigprocmask(SIG_SETMASK, &kept, nullptr);
  return placed;
}

// Reads frames out of the scene's back buffer through a bitmap of its own, which is not
// selected anywhere while GetDIBits reads it, as Windows asks.
struct FrameReader {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ keptBitmap;
  BITMAPINFO info;
  std::vector<uint32_t> pixels;
};

void OpenFrameReader(FrameReader& reader, HDC reference, int width, int height) {
  reader.dc = CreateCompatibleDC(reference);
  reader.bitmap = CreateCompatibleBitmap(reference, width, height);
  reader.keptBitmap = SelectObject(reader.dc, reader.bitmap);
  reader.info = BITMAPINFO{};
  reader.info.bmiHeader.biSize = sizeof reader.info.bmiHeader;
  reader.info.bmiHeader.biWidth = width;
  reader.info.bmiHeader.biHeight = -height;  // top-down rows, as the GIF stores them
  reader.info.bmiHeader.biPlanes = 1;
  reader.info.bmiHeader.biBitCount = 32;
  reader.info.bmiHeader.biCompression = BI_RGB;
  reader.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
}

bool ReadFrame(FrameReader& reader, HDC source, int width, int height) {
  BitBlt(reader.dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
  SelectObject(reader.dc, reader.keptBitmap);
  const int lines = GetDIBits(reader.dc, reader.bitmap, 0, static_cast<UINT>(height), reader.pixels.data(),
                              &reader.info, DIB_RGB_COLORS);
  SelectObject(reader.dc, reader.bitmap);
  return lines == height;
}

void CloseFrameReader(FrameReader& reader) {
  SelectObject(reader.dc, reader.keptBitmap);
  DeleteObject(reader.bitmap);
  DeleteDC(reader.dc);
}

// The frame as palette indices; false (with the first offending pixel named) for a colour off
// the palette, which the saver's drawing never makes.
bool IndexFrame(const FrameReader& reader, int width, std::vector<uint8_t>& indices, std::string* error) {
  indices.resize(reader.pixels.size());
  for (size_t i = 0; i < reader.pixels.size(); ++i) {
    if (!CubeIndex(reader.pixels[i], &indices[i])) {
      *error = "pixel " + std::to_string(i % static_cast<size_t>(width)) + "," +
               std::to_string(i / static_cast<size_t>(width)) + " is off the palette";
      return false;
    }
  }
  return true;
}

// Draws frames 1 .. start + frames - 1 and writes the last `frames` of them.
int WriteFrames(const Options& options, HDC reference) {
  std::string error;
  Output output;
  const int descriptor = OpenOutput(options.output, output, &error);
  GifWriter* gif = descriptor >= 0 ? OpenGif(descriptor, options.width, options.height, &error) : nullptr;
  if (gif == nullptr) {
    FinishOutput(output, false, &error);
    std::fprintf(stderr, "%s: %s\n", options.output, error.c_str());
    return kOutputStatus;
  }
  FrameReader reader;
  OpenFrameReader(reader, reference, options.width, options.height);
  std::vector<uint8_t> indices;
  bool written = true;
  for (int frame = 1; written && frame < options.start + options.frames; ++frame) {
    // Frames before the first written one are drawn too, so that every frame is the saver's own.
    DrawNextFrame();
    if (frame < options.start) continue;
    written = ReadFrame(reader, scene.backDC, options.width, options.height) &&
              IndexFrame(reader, options.width, indices, &error) && WriteGifFrame(gif, indices, &error);
    if (!written && error.empty()) error = "the frame could not be read back";
  }
  CloseFrameReader(reader);
  std::string closeError;
  if (!CloseGif(gif, &closeError) && written) {
    written = false;
    error = closeError;
  }
  if (!FinishOutput(output, written, &error)) {
    std::fprintf(stderr, "%s: %s\n", options.output, error.c_str());
    return kOutputStatus;
  }
  return 0;
}

// Loads and poses the object into the scene; a failure is told on the error stream.
int32_t LoadSceneObject(const char* argument) {
  ObjectInput input;
  std::string error;
  if (!OpenObjectInput(argument, input, &error)) {
    std::fprintf(stderr, "%s: %s\n", argument, error.c_str());
    return kFileUnreadable;
  }
  const int32_t result = LoadObjectInput(input, scene.sceneObject);
  if (result == kLoadSucceeded) {
    PoseObject(scene.sceneObject);
  } else {
    std::fprintf(stderr, "%s: %s (result %d)\n", argument, LoadResultMessage(result), static_cast<int>(result));
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string wrong = ReadOptions(argc, argv, options);
  if (!wrong.empty()) {
    std::fprintf(stderr, "cubrix-render: %s\n", wrong.c_str());
    return kUsageStatus;
  }
  if (options.help || options.version) {
    if (options.help) PrintUsage();
    if (!options.help) std::printf("cubrix-render %s\n", CUBRIX_VERSION_TEXT);
    return 0;
  }
  HDC screen = GetDC(nullptr);
  BuildScene(screen, RECT{0, 0, options.width, options.height});
  const int32_t result = LoadSceneObject(options.objectFile);
  const int status = result == kLoadSucceeded ? WriteFrames(options, screen) : result;
  ReleaseScene();
  ReleaseDC(nullptr, screen);
  return status;
}
