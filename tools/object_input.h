// How the tools take an object file: a plain file by its path, as the saver reads it; standard
// input ("-"), a pipe or a device read whole into memory first, up to a bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "scene/line_reader.h"
#include "scene/object_file.h"

// Far above any object the saver can use (20 lines are read), low enough that /dev/zero ends soon.
constexpr size_t kMaxInputBytes = size_t{16} << 20;
constexpr char kMaxInputText[] = "16 MiB";

struct ObjectInput {
  std::string path;   // the platform path of a plain file, or of what is not there; empty for bytes
  std::string bytes;  // what standard input, a pipe or a device held
};

// Takes the input the argument names ("-" is standard input). False, with *error set, when an
// input that is not a plain file cannot be read or holds more than kMaxInputBytes.
bool OpenObjectInput(const char* argument, ObjectInput& input, std::string* error);

// LoadObject on the input's file, or on its bytes.
int32_t LoadObjectInput(const ObjectInput& input, Object& object, LoadReport* report = nullptr);

// Starts reader at the beginning of the input; false when its file cannot be opened. The file, if
// any, is closed with CloseInputLineReader.
bool StartInputLineReader(const ObjectInput& input, LineReader& reader);
void CloseInputLineReader(LineReader& reader);
