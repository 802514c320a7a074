// Turns an entry found with GetProcAddress into the function type its call site fixes.
#pragma once

#include "platform/win32.h"

// Going through a parameterless void function type keeps -Wcast-function-type quiet: that is
// the documented way to say the cast is meant.
template <typename Entry>
Entry EntryCast(FARPROC found) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(found));
}
