// The run statistics file: start and end tick counts, frames, seconds and frame rate of one run.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

// Where the statistics go: the windows folder at the root of the current drive.
constexpr const char kRunStatisticsPath[] = "\\windows\\times.dat";

// Room for the five lines at their longest (label, "=", sign, 19 digits, CR LF) and the terminator.
constexpr size_t kRunStatisticsCapacity = 224;

// Formats the five lines, each ending in CR LF, into text (at least kRunStatisticsCapacity bytes,
// terminated) and returns their length. The ticks print as signed 32-bit numbers; the elapsed
// time is endTick - startTick modulo 2^32, so a wrap of the tick counter does no harm; the rate is
// formed in 64 bits and is 0 when no time has elapsed.
size_t FormatRunStatistics(DWORD startTick, DWORD endTick, int32_t frameCount, char* text);

// Creates or truncates the file at path and writes the five lines; false when it cannot be created
// or written (nothing is reported: the run goes on without its statistics).
bool WriteRunStatistics(const char* path, DWORD startTick, DWORD endTick, int32_t frameCount);
