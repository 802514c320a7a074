// The one header through which system code reaches the platform, by the Windows names.
// On Windows it is <windows.h>; elsewhere it declares the portable stand-in in platform/portable/.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdio>
#include <string>

// Opens a file by its Windows path, such as \windows\times.dat; on Windows that is fopen itself.
inline FILE* OpenPlatformFile(const char* path, const char* mode) { return fopen(path, mode); }

// The path by which OpenPlatformFile opens a file that the host names so (a program's argument);
// on Windows the host's paths are the platform's.
inline std::string PlatformPathOfHostFile(const char* hostPath) { return hostPath; }

#else

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// ---- Basic types: 32-bit LONG/DWORD/UINT whatever the host's long ----
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef int INT;
typedef int BOOL;
typedef char CHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* PVOID;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef WORD ATOM;
typedef DWORD COLORREF;

#define WINAPI
#define CALLBACK
#define APIENTRY

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

// ---- Handles: distinct pointer types, as with STRICT on Windows ----
#define CUBRIX_DECLARE_HANDLE(name) \
  struct name##__ {                 \
    int unused;                     \
  };                                \
  typedef struct name##__* name
CUBRIX_DECLARE_HANDLE(HWND);
CUBRIX_DECLARE_HANDLE(HINSTANCE);
CUBRIX_DECLARE_HANDLE(HDC);
CUBRIX_DECLARE_HANDLE(HBITMAP);
CUBRIX_DECLARE_HANDLE(HBRUSH);
CUBRIX_DECLARE_HANDLE(HPEN);
CUBRIX_DECLARE_HANDLE(HPALETTE);
CUBRIX_DECLARE_HANDLE(HICON);
CUBRIX_DECLARE_HANDLE(HMENU);
CUBRIX_DECLARE_HANDLE(HKEY);
#undef CUBRIX_DECLARE_HANDLE
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef void* HANDLE;
typedef HANDLE HGLOBAL;
typedef HANDLE HLOCAL;
typedef void* HGDIOBJ;
typedef INT_PTR (*FARPROC)();

// ---- Records ----
struct POINT {
  LONG x;
  LONG y;
};
struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};
struct OSVERSIONINFOA {  // 148 bytes, as on Windows
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: rows run top-down
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// ---- Macros ----
#define MAKEINTRESOURCEA(i) ((LPSTR)(uintptr_t)(WORD)(i))
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | (((DWORD)(BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define PALETTERGB(r, g, b) (0x02000000u | RGB(r, g, b))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define LOWORD(l) ((WORD)((uintptr_t)(l) & 0xFFFF))
#define HIWORD(l) ((WORD)(((uintptr_t)(l) >> 16) & 0xFFFF))

// ---- Messages ----
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_HELP 0x0053
#define WM_CONTEXTMENU 0x007B
#define WM_KEYDOWN 0x0100
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_RBUTTONDOWN 0x0204
#define WM_MBUTTONDOWN 0x0207
#define WM_USER 0x0400
#define WM_APP 0x8000

#define SC_NEXTWINDOW 0xF040
#define SC_PREVWINDOW 0xF050
#define SC_SCREENSAVE 0xF140

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

// ---- Window classes, styles and metrics ----
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_OWNDC 0x0020

#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_TABSTOP 0x00010000u
#define WS_EX_TOPMOST 0x00000008u
#define DS_SETFONT 0x40
#define DS_MODALFRAME 0x80
#define BS_PUSHBUTTON 0x0
#define BS_DEFPUSHBUTTON 0x1

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define MB_OK 0x0
#define MB_ICONWARNING 0x30
#define MB_ICONEXCLAMATION 0x30
#define IDOK 1
#define IDCANCEL 2
#define BST_UNCHECKED 0
#define BST_CHECKED 1

#define SPI_SCREENSAVERRUNNING 97

// ---- GDI ----
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define BLACK_PEN 7
#define SRCCOPY 0x00CC0020u
#define PC_RESERVED 0x01
#define BI_RGB 0
#define DIB_RGB_COLORS 0

// ---- Kernel ----
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

// ---- Registry ----
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_MORE_DATA 234L
#define REG_SZ 1
#define REG_DWORD 4

// ---- Kernel entries ----
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL block);
DWORD GetTickCount();
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
BOOL GetVersionExA(OSVERSIONINFOA* info);
LPSTR GetCommandLineA();
LPSTR CharNextA(LPCSTR text);
HMODULE GetModuleHandleA(LPCSTR name);
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
void Sleep(DWORD milliseconds);
[[noreturn]] void ExitProcess(UINT exitCode);

// ---- User entries ----
ATOM RegisterClassA(const WNDCLASSA* windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID createParam);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL DestroyWindow(HWND window);
BOOL GetMessageA(MSG* msg, HWND window, UINT first, UINT last);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(MSG* msg, HWND window, UINT first, UINT last, UINT flags);
void PostQuitMessage(int exitCode);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
BOOL GetClientRect(HWND window, RECT* rect);
int GetSystemMetrics(int index);
HWND FindWindowA(LPCSTR className, LPCSTR title);
BOOL IsWindow(HWND window);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
HWND GetParent(HWND window);
BOOL GetCursorPos(POINT* point);
HCURSOR SetCursor(HCURSOR cursor);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
HWND GetDlgItem(HWND dialog, int id);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL SystemParametersInfoA(UINT action, UINT param, PVOID data, UINT winIni);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// ---- GDI entries ----
HDC CreateCompatibleDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
BOOL DeleteObject(HGDIOBJ object);
BOOL DeleteDC(HDC dc);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
HBRUSH CreateSolidBrush(COLORREF colour);
BOOL Polygon(HDC dc, const POINT* points, int count);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop);
// Copies scan lines of a bitmap into a device-independent one. Here: 32-bit BI_RGB of the
// bitmap's own width only, so no colour is converted; returns the lines copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage);

// ---- Registry and profile entries ----
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegCloseKey(HKEY key);
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);

// ---- Files ----
// Opens a file by its Windows path: a drive letter or a leading backslash means the portable drive
// folder, backslashes separate. Binary modes only ("rb", "wb"): a mode without "b" fails. A file
// opened with "w" replaces the old one whole when it is closed, and only if every write succeeded.
FILE* OpenPlatformFile(const char* path, const char* mode);
// The path by which OpenPlatformFile opens a file that the host names so (a program's argument):
// the host path behind the verbatim prefix \\?\, which the file calls take as it stands.
std::string PlatformPathOfHostFile(const char* hostPath);

// The program's entry, defined by the host; the portable main() calls it as Windows would.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

#endif
