// End-to-end helper: a window that hosts a preview or owns a password change, as the system's
// display settings would. It logs what happens to its child windows and obeys commands from a file.
//
// Usage: parent_window <state folder> <client width> <client height> [name, "parent" if not given]
// Log (<state folder>\<name>.log), one event a line:
//   hwnd <own handle>                     once the window exists and is in front
//   child <handle> <same|other> <class> <title> <client width> <client height>
//   gone <handle>                         a child that was logged has disappeared
//   context <wParam>                      a context-menu request reached the window
//   poked <handle> <posts that failed>    input messages were posted to that child
//   destroyed                             the window is gone; the program ends
// Commands (<state folder>\<name>.cmd, removed once read): "poke" posts input messages and then a
// context-menu request to every child; "close" destroys the window.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "tests/e2e/standin_log.h"

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMilliseconds = 20;
constexpr char kClassName[] = "CubrixE2eParent";

std::string stateFolder;
std::string name = "parent";
std::set<HWND> loggedChildren;

void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  AppendLogLine(stateFolder + "\\" + name + ".log", format, args);
  va_end(args);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM found) {
  reinterpret_cast<std::set<HWND>*>(found)->insert(child);
  return TRUE;
}

std::set<HWND> CurrentChildren(HWND window) {
  std::set<HWND> children;
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

void LogChildChanges(HWND window) {
  const std::set<HWND> children = CurrentChildren(window);
  for (HWND child : children) {
    if (loggedChildren.count(child) != 0) continue;
    char className[256] = "";
    char title[256] = "";
    GetClassNameA(child, className, sizeof className);
    GetWindowTextA(child, title, sizeof title);
    RECT client = {};
    GetClientRect(child, &client);
    DWORD owner = 0;
    GetWindowThreadProcessId(child, &owner);
    Log("child %llu %s %s %s %ld %ld", HandleNumber(child), owner == GetCurrentProcessId() ? "same" : "other",
        className, title, client.right, client.bottom);
  }
  for (HWND child : loggedChildren) {
    if (children.count(child) == 0) Log("gone %llu", HandleNumber(child));
  }
  loggedChildren = children;
}

// Every kind of input that ends a full-screen saver, then a context-menu request: the child handles
// posted messages in order, so the request that comes back proves the input before it was handled.
// (A help request cannot be the marker: it carries a pointer, and such messages cannot be posted.)
void PokeChildren(HWND window) {
  struct Post {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  const Post posts[] = {
      {WM_MOUSEMOVE, 0, MAKELPARAM(200, 150)},      {WM_KEYDOWN, 'A', 0x001E0001},
      {WM_SYSKEYDOWN, VK_MENU, 0x20380001},         {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10)},
      {WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10)}, {WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(10, 10)},
      {WM_ACTIVATEAPP, FALSE, 0},                   {WM_CONTEXTMENU, 0, MAKELPARAM(10, 10)},
  };
  for (HWND child : CurrentChildren(window)) {
    int failed = 0;
    for (const Post& post : posts) {
      if (!PostMessageA(child, post.message, post.wParam, post.lParam)) ++failed;
    }
    Log("poked %llu %d", HandleNumber(child), failed);
  }
}

std::string TakeCommand() {
  const std::string path = stateFolder + "\\" + name + ".cmd";
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return "";
  char command[64] = "";
  if (std::fgets(command, sizeof command, file) == nullptr) command[0] = '\0';
  std::fclose(file);
  DeleteFileA(path.c_str());
  command[std::strcspn(command, "\r\n ")] = '\0';
  return command;
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER: {
      LogChildChanges(window);
      const std::string command = TakeCommand();
      if (command == "poke") PokeChildren(window);
      if (command == "close") DestroyWindow(window);
      return 0;
    }
    case WM_CONTEXTMENU:
      Log("context %llu", static_cast<unsigned long long>(wParam));
      return 0;
    case WM_DESTROY:
      LogChildChanges(window);
      Log("destroyed");
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: parent_window <state folder> <client width> <client height> [name]\n");
    return 2;
  }
  stateFolder = argv[1];
  if (argc == 5) name = argv[4];
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ParentProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  if (RegisterClassA(&windowClass) == 0) return 1;
  // A borderless popup: its client area is exactly the size asked for.
  const HWND window = CreateWindowExA(0, kClassName, "Cubrix e2e parent", WS_POPUP | WS_VISIBLE, 100, 100, width,
                                      height, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  SetForegroundWindow(window);
  SetTimer(window, kPollTimer, kPollMilliseconds, nullptr);
  Log("hwnd %llu", HandleNumber(window));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
