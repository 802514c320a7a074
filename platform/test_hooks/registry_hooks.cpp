// Test hooks that write the portable registry file and profiles in the formats registry.cpp reads.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/portable/kernel.h"
#include "platform/portable/registry.h"
#include "platform/test_hooks/test_hooks.h"

RegistryValue TestHooks::BinaryValue(const std::vector<BYTE>& bytes) { return RegistryValue{kRegBinary, bytes}; }

namespace {

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) file << line << '\n';
}

std::string FormatValue(const RegistryValue& value) {
  static const char kHex[] = "0123456789abcdef";
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    for (size_t i = 4; i-- > 0;) number = number << 8 | static_cast<DWORD>(value.data[i]);
    std::string digits;
    for (int shift = 28; shift >= 0; shift -= 4) digits += kHex[(number >> shift) & 0xF];
    return "dword:" + digits;
  }
  if (value.type == REG_SZ && !value.data.empty() && value.data.back() == 0) {
    return "sz:" + std::string(value.data.begin(), value.data.end() - 1);
  }
  std::string bytes;
  for (BYTE b : value.data) bytes += std::string(bytes.empty() ? "" : ",") + kHex[b >> 4] + kHex[b & 0xF];
  return "hex:" + bytes;
}

}  // namespace

void TestHooks::SetRegistryKey(const std::string& key) {
  std::vector<std::string> lines = ReadLines(RegistryPath());
  lines.push_back(key);
  WriteLines(RegistryPath(), lines);
}

void TestHooks::SetRegistryValue(const std::string& key, const std::string& name, const RegistryValue& value) {
  std::string path = key + "\\" + name;
  std::vector<std::string> kept;
  for (const std::string& line : ReadLines(RegistryPath())) {
    if (UpperCase(line.substr(0, line.find('='))) != UpperCase(path)) kept.push_back(line);
  }
  kept.push_back(path + "=" + FormatValue(value));
  WriteLines(RegistryPath(), kept);
}

void TestHooks::ClearRegistry() { remove(RegistryPath().c_str()); }

void TestHooks::SetProfileString(const std::string& file, const std::string& section, const std::string& key,
                                 const std::string& value) {
  std::string path = ProfilePath(file.c_str());
  std::vector<std::string> lines = ReadLines(path);
  std::vector<std::string> result;
  bool inSection = false;
  bool written = false;
  for (const std::string& line : lines) {
    std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.front() == '[') {
      if (inSection && !written) {
        result.push_back(key + "=" + value);
        written = true;
      }
      inSection = UpperCase(trimmed) == UpperCase("[" + section + "]");
    } else if (inSection && UpperCase(Trim(trimmed.substr(0, trimmed.find('=')))) == UpperCase(key)) {
      continue;  // replaced below
    }
    result.push_back(line);
  }
  if (!written && !inSection) result.push_back("[" + section + "]");
  if (!written) result.push_back(key + "=" + value);
  WriteLines(path, result);
}
