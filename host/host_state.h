// The one process-wide record of the saver host, and the fields each part of the host owns.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// ImmAssociateContext(window, context) -> previous context; found at run time, never linked.
typedef HANDLE(WINAPI* ImmAssociateContextEntry)(HWND window, HANDLE context);
// VerifyScreenSavePwd(window) -> non-zero when closing may proceed.
typedef BOOL(WINAPI* VerifyScreenSavePwdEntry)(HWND window);

constexpr DWORD kNoCheckYet = 0xFFFFFFFFu;  // lastCheckEnd before the first password check

struct HostState {
  // Start-up and dispatch.
  HINSTANCE moduleInstance;
  bool win95Platform;
  // Saver window.
  bool previewMode;
  HWND saverWindow;
  POINT cursorAnchor;
  HMODULE imeLibrary;
  ImmAssociateContextEntry imeAssociate;
  HANDLE savedImeContext;
  // Password support.
  HMODULE passwordLibrary;
  VerifyScreenSavePwdEntry verifyEntry;
  // Default handling and the close decision.
  DWORD moveThreshold;
  bool closeApproved;
  bool passwordCheckActive;
  DWORD lastCheckEnd;
};

extern HostState hostState;

// Puts every field back to its start value (the program starts this way; tests call it between cases).
void ResetHostState();
