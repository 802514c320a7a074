// Portable registry and profile: plain text files in the Windows directory.
//
// registry.txt holds one line per value, "<key>\<name>=dword:<hex>", "=sz:<text>" or
// "=hex:<byte>,<byte>...", and a line with a key alone makes that key exist without values.
// control.ini and other profiles are ordinary "[section]" / "key=value" files. Lines that do
// not parse are skipped, and an unreadable file reads as absent.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/portable/kernel.h"
#include "platform/portable/registry.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::HandleKind;
using Seam::LogKind;

namespace {

constexpr LONG kErrorAccessDenied = 5;
constexpr LONG kErrorInvalidHandle = 6;
constexpr LONG kErrorInvalidParameter = 87;

constexpr uintptr_t kKeyHandleBase = 0x60000000u;
// An open key holds the values it had when it was opened.
std::map<uintptr_t, std::map<std::string, RegistryValue>> openKeys;
uintptr_t nextKeySerial = 1;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<RegistryValue> ParseDword(const std::string& digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  DWORD value = 0;
  for (char c : digits) {
    if (HexDigit(c) < 0) return std::nullopt;
    value = value * 16 + static_cast<DWORD>(HexDigit(c));
  }
  return DwordRegistryValue(value);
}

std::optional<RegistryValue> ParseBytes(const std::string& text) {
  std::vector<BYTE> bytes;
  for (size_t at = 0; at < text.size(); at += 3) {
    if (at + 1 >= text.size() || HexDigit(text[at]) < 0 || HexDigit(text[at + 1]) < 0) return std::nullopt;
    if (at + 2 < text.size() && text[at + 2] != ',') return std::nullopt;
    bytes.push_back(static_cast<BYTE>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1])));
  }
  return RegistryValue{kRegBinary, bytes};
}

std::optional<RegistryValue> ParseValue(const std::string& text) {
  if (text.rfind("dword:", 0) == 0) return ParseDword(text.substr(6));
  if (text.rfind("sz:", 0) == 0) return StringRegistryValue(text.substr(3));
  if (text.rfind("hex:", 0) == 0) return ParseBytes(text.substr(4));
  return std::nullopt;
}

// The key of a registry line ("a\b\name=..." -> "a\b"; "a\b" -> "a\b").
std::string LineKey(const std::string& line) {
  size_t equals = line.find('=');
  if (equals == std::string::npos) return line;
  size_t slash = line.rfind('\\', equals);
  return slash == std::string::npos ? "" : line.substr(0, slash);
}

std::string LineValueName(const std::string& line) {
  size_t equals = line.find('=');
  size_t slash = line.rfind('\\', equals);
  return line.substr(slash + 1, equals - slash - 1);
}

bool KeyExists(const std::vector<std::string>& lines, const std::string& upperKey) {
  for (const std::string& line : lines) {
    std::string key = UpperCase(LineKey(line));
    if (key == upperKey || key.rfind(upperKey + "\\", 0) == 0) return true;
  }
  return false;
}

std::map<std::string, RegistryValue> ValuesOfKey(const std::vector<std::string>& lines,
                                                 const std::string& upperKey) {
  std::map<std::string, RegistryValue> values;
  for (const std::string& line : lines) {
    size_t equals = line.find('=');
    if (equals == std::string::npos || UpperCase(LineKey(line)) != upperKey) continue;
    std::optional<RegistryValue> value = ParseValue(line.substr(equals + 1));
    if (value) values[UpperCase(LineValueName(line))] = *value;
  }
  return values;
}

std::optional<std::string> ProfileString(const std::string& path, const std::string& section,
                                         const std::string& key) {
  bool inSection = false;
  for (const std::string& rawLine : ReadLines(path)) {
    std::string line = Trim(rawLine);
    if (!line.empty() && line.front() == '[') {
      size_t close = line.find(']');
      inSection = close != std::string::npos && UpperCase(Trim(line.substr(1, close - 1))) == UpperCase(section);
      continue;
    }
    size_t equals = line.find('=');
    if (inSection && equals != std::string::npos && UpperCase(Trim(line.substr(0, equals))) == UpperCase(key)) {
      return Trim(line.substr(equals + 1));
    }
  }
  return std::nullopt;
}

// Leading blanks, an optional sign, then decimal digits or "0x" and hex digits; whatever follows
// is ignored and no digits give 0. The value wraps modulo 2^32 like the unsigned result.
UINT ProfileNumber(const std::string& text) {
  size_t at = 0;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  unsigned base = 10;
  if (text.size() > at + 1 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  UINT value = 0;
  for (; at < text.size(); ++at) {
    int digit = HexDigit(text[at]);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
    value = value * base + static_cast<UINT>(digit);
  }
  return negative ? 0u - value : value;
}

}  // namespace

// ---- The text files ----

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Through stdio: iostreams would be a quarter of the web build's code, for these few lines.
std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return lines;
  std::string line;
  for (int c = getc(file);; c = getc(file)) {
    if (c != '\n' && c != EOF) {
      line += static_cast<char>(c);
      continue;
    }
    if (c == EOF && line.empty()) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    line.clear();
    if (c == EOF) break;
  }
  fclose(file);
  return lines;
}

std::string RegistryPath() { return WindowsFolder() + "/registry.txt"; }

std::string ProfilePath(const char* fileName) {
  bool bare = strchr(fileName, '\\') == nullptr && strchr(fileName, '/') == nullptr &&
              strchr(fileName, ':') == nullptr;
  return bare ? WindowsFolder() + "/" + fileName : HostPath(fileName);
}

RegistryValue DwordRegistryValue(DWORD value) {
  return RegistryValue{REG_DWORD, {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                   static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)}};
}

RegistryValue StringRegistryValue(const std::string& text) {
  RegistryValue value{REG_SZ, std::vector<BYTE>(text.begin(), text.end())};
  value.data.push_back(0);
  return value;
}

// ---- Registry and profile entries ----

LONG RegOpenKeyA(HKEY root, LPCSTR subKey, HKEY* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  *result = nullptr;
  LONG status = ERROR_FILE_NOT_FOUND;
  if (InjectedFailure(Call::RegOpenKey)) {
    status = kErrorAccessDenied;
  } else if (root == HKEY_CURRENT_USER && subKey != nullptr) {
    std::vector<std::string> lines = ReadLines(RegistryPath());
    std::string upperKey = UpperCase(subKey);
    if (KeyExists(lines, upperKey)) {
      uintptr_t handle = kKeyHandleBase + 8 * nextKeySerial++;
      openKeys[handle] = ValuesOfKey(lines, upperKey);
      CountHandle(HandleKind::Key, +1);
      *result = reinterpret_cast<HKEY>(handle);
      status = ERROR_SUCCESS;
    }
  }
  LogCall(LogKind::RegOpenKey, status, 0, 0, 0, subKey);
  return status;
}

// Data longer than the caller's buffer fails with ERROR_MORE_DATA and reports the size needed.
LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) {
  LONG status = ERROR_SUCCESS;
  auto openKey = openKeys.find(reinterpret_cast<uintptr_t>(key));
  if (openKey == openKeys.end()) {
    status = kErrorInvalidHandle;
  } else if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
    status = kErrorInvalidParameter;
  } else {
    auto value = openKey->second.find(UpperCase(name != nullptr ? name : ""));
    if (value == openKey->second.end()) {
      status = ERROR_FILE_NOT_FOUND;
    } else {
      DWORD size = static_cast<DWORD>(value->second.data.size());
      if (data != nullptr && *dataSize < size) {
        status = ERROR_MORE_DATA;
      } else if (data != nullptr && size > 0) {
        memcpy(data, value->second.data.data(), size);
      }
      if (type != nullptr) *type = value->second.type;
      if (dataSize != nullptr) *dataSize = size;
    }
  }
  LogCall(LogKind::RegQueryValue, status, 0, 0, 0, name);
  return status;
}

LONG RegCloseKey(HKEY key) {
  LogCall(LogKind::RegCloseKey, reinterpret_cast<intptr_t>(key));
  if (openKeys.erase(reinterpret_cast<uintptr_t>(key)) == 0) return kErrorInvalidHandle;
  CountHandle(HandleKind::Key, -1);
  return ERROR_SUCCESS;
}

// The default when the file, the section or the key is missing or the value is empty.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
  if (section == nullptr || key == nullptr || fileName == nullptr) return static_cast<UINT>(defaultValue);
  std::optional<std::string> text = ProfileString(ProfilePath(fileName), section, key);
  if (!text || text->empty()) return static_cast<UINT>(defaultValue);
  return ProfileNumber(*text);
}

void ResetRegistry() { openKeys.clear(); }
