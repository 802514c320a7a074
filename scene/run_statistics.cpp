// The run statistics file, formatted by hand so every platform writes the same bytes.
#include "scene/run_statistics.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

// The 32-bit tick count as the signed number a 32-bit "%li" prints.
int64_t AsSigned32(DWORD value) {
  return value > static_cast<DWORD>(INT32_MAX) ? static_cast<int64_t>(value) - (int64_t{1} << 32)
                                                : static_cast<int64_t>(value);
}

// Appends label, '=' and value in decimal, then CR LF; returns the new end.
char* AppendLine(char* out, const char* label, int64_t value) {
  size_t labelLength = std::strlen(label);
  std::memcpy(out, label, labelLength);
  out += labelLength;
  *out++ = '=';
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (value < 0) *out++ = '-';
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) *out++ = digits[--count];
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

}  // namespace

size_t FormatRunStatistics(DWORD startTick, DWORD endTick, int32_t frameCount, char* text) {
  DWORD elapsed = endTick - startTick;  // unsigned: correct across a wrap and past 24.8 days
  int64_t framesPerSecond =
      elapsed == 0 ? 0 : static_cast<int64_t>(frameCount) * kMillisecondsPerSecond / static_cast<int64_t>(elapsed);
  // Labels are padded with blanks to 18 characters so '=' stands in column 19.
  char* out = text;
  out = AppendLine(out, "Started           ", AsSigned32(startTick));
  out = AppendLine(out, "Ended             ", AsSigned32(endTick));
  out = AppendLine(out, "Total Frames      ", frameCount);
  out = AppendLine(out, "Total Seconds     ", elapsed / kMillisecondsPerSecond);
  out = AppendLine(out, "Frames per Second ", framesPerSecond);
  *out = '\0';
  return static_cast<size_t>(out - text);
}

bool WriteRunStatistics(const char* path, DWORD startTick, DWORD endTick, int32_t frameCount) {
  char text[kRunStatisticsCapacity];
  size_t length = FormatRunStatistics(startTick, endTick, frameCount, text);
  FILE* file = OpenPlatformFile(path, "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(text, 1, length, file) == length;
  bool closed = std::fclose(file) == 0;
  return written && closed;
}
