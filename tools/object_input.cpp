// How the tools take an object file: a plain file by its path, anything else read into memory.
#include "tools/object_input.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

namespace {

// What the saver could read as Cube.dat: a plain file, a folder, or nothing (the loader then
// gives the saver's own result).
bool TakenByPath(const char* argument) {
  struct stat status;
  return stat(argument, &status) != 0 || S_ISREG(status.st_mode) || S_ISDIR(status.st_mode);
}

bool ReadWhole(FILE* file, std::string& bytes, std::string* error) {
  char block[1 << 16];
  size_t length = 0;
  do {
    length = std::fread(block, 1, sizeof block, file);
    bytes.append(block, length);
    if (bytes.size() > kMaxInputBytes) {
      *error = std::string("more than ") + kMaxInputText + ", the most read from standard input, a pipe or a device";
      return false;
    }
  } while (length == sizeof block);
  if (std::ferror(file)) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

bool OpenObjectInput(const char* argument, ObjectInput& input, std::string* error) {
  input = ObjectInput{};
  if (std::strcmp(argument, "-") == 0) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);  // the loader's own rules turn CR LF into LF
#endif
    return ReadWhole(stdin, input.bytes, error);
  }
  if (TakenByPath(argument)) {
    input.path = PlatformPathOfHostFile(argument);
    return true;
  }
  FILE* file = std::fopen(argument, "rb");
  if (file == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  const bool read = ReadWhole(file, input.bytes, error);
  std::fclose(file);
  return read;
}

int32_t LoadObjectInput(const ObjectInput& input, Object& object, LoadReport* report) {
  if (input.path.empty()) return LoadObjectFromMemory(object, input.bytes.data(), input.bytes.size(), report);
  return LoadObject(object, input.path.c_str(), report);
}

bool StartInputLineReader(const ObjectInput& input, LineReader& reader) {
  if (input.path.empty()) {
    StartMemoryLineReader(reader, input.bytes.data(), input.bytes.size());
    return true;
  }
  FILE* file = OpenPlatformFile(input.path.c_str(), "rb");
  if (file == nullptr) return false;
  StartLineReader(reader, file);
  return true;
}

void CloseInputLineReader(LineReader& reader) {
  if (reader.file != nullptr) std::fclose(reader.file);
  reader.file = nullptr;
}
