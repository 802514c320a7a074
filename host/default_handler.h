// Default message handling of the saver window: input becomes close requests, and a close request
// on the Windows 95 platform must first pass the system's password verification.
#pragma once

#include "platform/win32.h"

// The verify request the saver window sends itself; its result allows (non-zero) or refuses a close.
constexpr UINT kVerifyRequest = WM_APP;

// A close request within this many milliseconds after a verification ended is dropped unasked.
constexpr DWORD kRecheckDelayMs = 200;

// Everything SceneProc does not answer itself ends here, and finally in DefWindowProcA.
LRESULT HostDefaultHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Whether a close request may proceed: non-zero allows, 0 refuses. Runs the verification through
// the verify request, at most once at a time and not again within 200 ms of the last one.
BOOL CheckPasswordOnClose(HWND window);

// The keyboard and mouse messages that count as input, the pointer's moves among them.
bool IsInputMessage(UINT message);
// A null cursor: the saver shows no pointer over its window.
void HidePointer();

// Milliseconds from the tick count earlier to the later one, across a wrap of the counter.
DWORD ElapsedTicks(DWORD earlier, DWORD later);
