// What the portable platform's areas share with its test hooks: faults, the call log, handle counts.
#pragma once

#include <cstdint>

#include "platform/test_hooks.h"

// True when a test asked this call to fail now (it counts the call either way).
bool InjectedFailure(TestHooks::Call call);
void LogCall(TestHooks::LogKind kind, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0, intptr_t d = 0,
             const char* text = nullptr);
// Every area reports the handles it creates (+1) and releases (-1).
void CountHandle(TestHooks::HandleKind kind, int delta);

// Each area forgets its state when a test resets the platform (gdi.cpp provides ResetGdi).
void ResetKernel();
void ResetUser();
void ResetSignals();
void ResetDialogs();
void ResetRegistry();
void ResetFiles();
void ResetGdi();
