// End-to-end helper: starts a program with an exact command line and reports its full exit code,
// lists the windows on the desktop, tells the tick count or places the pointer, so the suite can
// look at Windows state from outside.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Long enough for a busy machine; a hung program is given up on sooner through SMTO_ABORTIFHUNG.
constexpr UINT kAskTimeoutMs = 5000;

// Turns \t, \\ and \xNN into bytes, so a command line can carry a tab or a non-ASCII switch
// exactly as written: a runtime's argument quoting would otherwise change it.
std::string DecodeEscapes(const char* text) {
  std::string bytes;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '\\' && p[1] == 't') {
      bytes += '\t';
      ++p;
    } else if (p[0] == '\\' && p[1] == '\\') {
      bytes += '\\';
      ++p;
    } else if (p[0] == '\\' && p[1] == 'x' && p[2] != '\0' && p[3] != '\0') {
      const char hex[3] = {p[2], p[3], '\0'};
      bytes += static_cast<char>(std::strtoul(hex, nullptr, 16));
      p += 3;
    } else {
      bytes += *p;
    }
  }
  return bytes;
}

// Prints "started <pid>" once the program runs and "exit <code>" (signed) when it has ended.
// Wine reports ERROR_INTERNAL_ERROR when the new process's Unix side died before any of its
// Windows code ran (seen about once in a thousand starts on a busy machine). That is the host's
// failure, not the program's, so such a start is tried again, a few times at most, and said so.
constexpr int kStartAttempts = 3;

BOOL StartProcess(std::string commandLine, PROCESS_INFORMATION& process) {
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string writable = commandLine;  // CreateProcessA may write into its command line
    if (CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return TRUE;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
      SetLastError(error);
      return FALSE;
    }
    std::fprintf(stderr, "probe: the host failed to start a process (%lu); trying again\n", error);
    Sleep(100);
  }
}

int RunProgram(const char* escapedCommandLine) {
  PROCESS_INFORMATION process = {};
  if (!StartProcess(DecodeEscapes(escapedCommandLine), process)) {
    std::printf("error CreateProcess %lu\n", GetLastError());
    return 125;
  }
  std::printf("started %lu\n", process.dwProcessId);
  std::fflush(stdout);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::printf("exit %ld\n", static_cast<long>(static_cast<LONG>(exitCode)));
  std::fflush(stdout);
  return static_cast<int>(exitCode);
}

unsigned long long HandleNumber(HWND window) {
  return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window));
}

// Whether a static control shows an icon; asked of the window's own thread, briefly, so a hung
// program cannot hang the probe.
int ShowsIcon(HWND window, const char* className) {
  if (lstrcmpiA(className, "Static") != 0 || (GetWindowLongA(window, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return 0;
  DWORD_PTR icon = 0;
  if (!SendMessageTimeoutA(window, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kAskTimeoutMs, &icon)) return 0;
  return icon != 0 ? 1 : 0;
}

void PrintWindow(const char* kind, HWND window) {
  char className[256] = "";
  char title[256] = "";
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  RECT outer = {};
  RECT client = {};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const HWND parent = GetAncestor(window, GA_PARENT);
  const HWND owner = GetWindow(window, GW_OWNER);
  // Tab-separated, one window a line: the suite splits on tabs.
  std::printf("%s\t%llu\t%llu\t%lu\t%s\t%s\t%08lx\t%08lx\t%ld\t%ld\t%ld\t%ld\t%ld\t%ld\t%d\t%d\t%llu\t%d\n", kind,
              HandleNumber(window), HandleNumber(parent), processId, className, title,
              static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)), outer.left, outer.top, outer.right,
              outer.bottom, client.right, client.bottom, GetDlgCtrlID(window), IsWindowVisible(window) ? 1 : 0,
              HandleNumber(owner), ShowsIcon(window, className));
}

BOOL CALLBACK PrintChild(HWND window, LPARAM) {
  PrintWindow("child", window);
  return TRUE;
}

BOOL CALLBACK PrintTopLevel(HWND window, LPARAM) {
  if (!IsWindowVisible(window)) return TRUE;
  PrintWindow("top", window);
  EnumChildWindows(window, PrintChild, 0);
  return TRUE;
}

int ListWindows() {
  EnumWindows(PrintTopLevel, 0);
  std::printf("foreground\t%llu\n", HandleNumber(GetForegroundWindow()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "run") == 0) return RunProgram(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "windows") == 0) return ListWindows();
  if (argc == 2 && std::strcmp(argv[1], "tick") == 0) {
    std::printf("%lu\n", GetTickCount());
    return 0;
  }
  // Wine keeps the pointer position a while without asking X: after a move made behind its back,
  // a saver started at once could take the old position as its own and close on the difference.
  if (argc == 4 && std::strcmp(argv[1], "pointer") == 0) {
    return SetCursorPos(std::atoi(argv[2]), std::atoi(argv[3])) ? 0 : 1;
  }
  std::fprintf(stderr, "usage: probe run <command line with \\t \\\\ \\xNN escapes> | probe windows | probe tick"
                       " | probe pointer X Y\n");
  return 2;
}
