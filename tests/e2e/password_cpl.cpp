// Stand-in for the system's PASSWORD.CPL: a verification whose answer the suite sets in a file,
// and which logs its loading, its calls and the window it was asked for.
//
// Answer file (password-answer.txt in the state folder), first word:
//   allow   closing may proceed
//   refuse  (or no file) closing may not
//   hold    run a message loop, as a password dialog would, until the word becomes allow or refuse
// Log (password.log): "load", "unload", and per call
//   asked <window> <tick at entry>                                          as the call starts
//   verify <window> <class> <title> <tick at entry> <tick at return> <allow|refuse>   as it returns
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "tests/e2e/standin_log.h"

namespace {

constexpr char kLogName[] = "password.log";
constexpr DWORD kHoldPollMilliseconds = 10;

std::string ReadAnswer() {
  FILE* file = std::fopen(StandInFile("password-answer.txt").c_str(), "r");
  if (file == nullptr) return "refuse";
  char word[32] = "";
  if (std::fscanf(file, "%31s", word) != 1) word[0] = '\0';
  std::fclose(file);
  return word;
}

// Dispatches messages of this thread while the answer says "hold", so the saver window keeps
// receiving timer and input messages during the check, as it would under a real password dialog.
std::string WaitForDecision() {
  std::string answer = ReadAnswer();
  while (answer == "hold") {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, kHoldPollMilliseconds, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    answer = ReadAnswer();
  }
  return answer;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI VerifyScreenSavePwd(HWND window) {
  const DWORD entered = GetTickCount();
  StandInLog(kLogName, "asked %llu %lu", HandleNumber(window), entered);
  const bool allow = WaitForDecision() == "allow";
  const DWORD returned = GetTickCount();
  char className[128] = "";
  char title[128] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  // The title holds a blank; a '|' keeps the log's fields apart.
  for (char* blank = std::strchr(title, ' '); blank != nullptr; blank = std::strchr(blank, ' ')) *blank = '|';
  StandInLog(kLogName, "verify %llu %s %s %lu %lu %s", HandleNumber(window), className, title, entered, returned,
             allow ? "allow" : "refuse");
  return allow ? TRUE : FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) StandInLog(kLogName, "load");
  if (reason == DLL_PROCESS_DETACH) StandInLog(kLogName, "unload");
  return TRUE;
}
