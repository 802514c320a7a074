// Portable kernel entries: memory blocks, ticks, the Windows directory, version, command line, modules.
#include <dlfcn.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/portable/kernel.h"
#include "platform/portable/presenter.h"
#include "platform/portable/signals.h"
#include "platform/portable/test_seam.h"
#include "platform/win32.h"

using Seam::Call;
using Seam::HandleKind;
using Seam::LogKind;

namespace {

// ---- Movable global memory ----

// A movable block: its handle stays while its storage moves on every resize. Storage is allocated
// at its exact size, so a sanitizer sees any access past the end or through a stale address.
struct GlobalBlock {
  std::unique_ptr<unsigned char[]> storage;
  SIZE_T size = 0;
  unsigned lockCount = 0;
};

// Handles are serial numbers, never reused, so a stale handle is recognised instead of aliasing.
constexpr uintptr_t kGlobalHandleBase = 0x40000000u;
std::map<uintptr_t, GlobalBlock> globalBlocks;
uintptr_t nextGlobalSerial = 1;

GlobalBlock* FindGlobalBlock(HGLOBAL handle) {
  auto found = globalBlocks.find(reinterpret_cast<uintptr_t>(handle));
  return found == globalBlocks.end() ? nullptr : &found->second;
}

// Null when the memory is not there: the caller reports failure, as Windows does, instead of
// letting an exception escape. new[0] still gives a distinct address.
std::unique_ptr<unsigned char[]> NewStorage(SIZE_T bytes, bool zeroFill) {
  return std::unique_ptr<unsigned char[]>(zeroFill ? new (std::nothrow) unsigned char[bytes]()
                                                   : new (std::nothrow) unsigned char[bytes]);
}

HGLOBAL StoreGlobalBlock(GlobalBlock block) {
  uintptr_t handle = kGlobalHandleBase + 8 * nextGlobalSerial++;
  globalBlocks.emplace(handle, std::move(block));
  return reinterpret_cast<HGLOBAL>(handle);
}

// ---- Fixed local memory: the handle is the address, as with LMEM_FIXED on Windows ----
std::map<void*, std::unique_ptr<unsigned char[]>> localBlocks;

// ---- Clock ----
// While one is in use, ticks, Sleep and timers follow the virtual clock instead of the real one.
struct VirtualClock {
  bool inUse = false;
  DWORD start = 0;   // what GetTickCount reports at virtual time 0
  uint64_t now = 0;  // milliseconds since the clock was set
};
VirtualClock virtualClock;

uint64_t RealMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// ---- Version ----
Win95Override win95Setting = Win95Override::FromEnvironment;

bool ReportsWin95() {
  if (win95Setting != Win95Override::FromEnvironment) return win95Setting == Win95Override::Yes;
  const char* value = getenv("CUBRIX_WIN95");
  return value != nullptr && strcmp(value, "1") == 0;
}

// ---- Command line: one buffer for the whole run, so every returned pointer stays valid ----
std::string commandLine = "cubrix";

// ---- Modules ----
struct Module {
  std::string name;  // upper case, as the modules are looked up
  std::vector<ModuleEntry> entries;
  bool registered = false;  // in-process, by a test; else found on disk
  void* shared = nullptr;   // dlopen handle while a module from disk is loaded
  int references = 0;
};
constexpr uintptr_t kModuleHandleBase = 0x50000000u;
constexpr uintptr_t kProgramInstance = 0x00400000u;  // where Windows maps a program's image
std::map<uintptr_t, Module> modules;
uintptr_t nextModuleSerial = 1;

std::string LowerCase(const std::string& text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return result;
}

Module* FindModule(HMODULE handle) {
  auto found = modules.find(reinterpret_cast<uintptr_t>(handle));
  return found == modules.end() ? nullptr : &found->second;
}

uintptr_t FindModuleByName(const std::string& upperName) {
  for (auto& [handle, module] : modules) {
    if (module.name == upperName) return handle;
  }
  return 0;
}

std::string ModulesFolder() {
  const char* folder = getenv("CUBRIX_MODULES");
  if (folder != nullptr && *folder != '\0') return folder;
  return WindowsFolder() + "/system32";
}

// A module not registered in-process: "<name in lower case>.so" in the modules folder.
void* OpenSharedModule(const std::string& upperName) {
  std::string path = ModulesFolder() + "/" + LowerCase(upperName) + ".so";
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

// A registered module stays known for the next LoadLibraryA; one from disk is forgotten.
void UnloadModule(uintptr_t handle) {
  Module& module = modules[handle];
  if (module.shared != nullptr) dlclose(module.shared);
  if (module.registered) {
    module.shared = nullptr;
  } else {
    modules.erase(handle);
  }
  CountHandle(HandleKind::Module, -1);
}

}  // namespace

std::string UpperCase(const std::string& text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return result;
}

// ---- Memory entries ----

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (InjectedFailure(Call::GlobalAlloc)) return nullptr;
  GlobalBlock block;
  if (bytes > 0) block.storage = NewStorage(bytes, (flags & GMEM_ZEROINIT) != 0);
  if (bytes > 0 && block.storage == nullptr) return nullptr;
  block.size = bytes;
  CountHandle(HandleKind::GlobalBlock, +1);
  return StoreGlobalBlock(std::move(block));
}

// Always moves the storage and hands out a new handle, so a caller that keeps either the old
// address or the old handle is caught. On failure the old block stays as it was.
HGLOBAL GlobalReAlloc(HGLOBAL handle, SIZE_T bytes, UINT flags) {
  GlobalBlock* old = FindGlobalBlock(handle);
  if (old == nullptr || InjectedFailure(Call::GlobalReAlloc)) return nullptr;
  GlobalBlock moved;
  if (bytes > 0) moved.storage = NewStorage(bytes, (flags & GMEM_ZEROINIT) != 0);
  if (bytes > 0 && moved.storage == nullptr) return nullptr;
  moved.size = bytes;
  moved.lockCount = old->lockCount;
  if (bytes > 0 && old->size > 0) memcpy(moved.storage.get(), old->storage.get(), std::min(bytes, old->size));
  globalBlocks.erase(reinterpret_cast<uintptr_t>(handle));
  return StoreGlobalBlock(std::move(moved));
}

// A block of 0 bytes has a handle but no storage, so it cannot be locked.
LPVOID GlobalLock(HGLOBAL handle) {
  GlobalBlock* block = FindGlobalBlock(handle);
  if (block == nullptr || block->size == 0 || InjectedFailure(Call::GlobalLock)) return nullptr;
  ++block->lockCount;
  return block->storage.get();
}

// TRUE while the block stays locked, FALSE once the last lock is gone (or it was never locked).
BOOL GlobalUnlock(HGLOBAL handle) {
  GlobalBlock* block = FindGlobalBlock(handle);
  if (block == nullptr || block->lockCount == 0) return FALSE;
  --block->lockCount;
  return block->lockCount > 0 ? TRUE : FALSE;
}

// Null on success; the handle itself when it names no block.
HGLOBAL GlobalFree(HGLOBAL handle) {
  if (FindGlobalBlock(handle) == nullptr) return handle;
  globalBlocks.erase(reinterpret_cast<uintptr_t>(handle));
  CountHandle(HandleKind::GlobalBlock, -1);
  return nullptr;
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  if (InjectedFailure(Call::LocalAlloc)) return nullptr;
  std::unique_ptr<unsigned char[]> storage = NewStorage(bytes, (flags & LMEM_ZEROINIT) != 0);
  if (storage == nullptr) return nullptr;
  void* address = storage.get();
  localBlocks.emplace(address, std::move(storage));
  CountHandle(HandleKind::LocalBlock, +1);
  return address;
}

HLOCAL LocalFree(HLOCAL handle) {
  auto found = localBlocks.find(handle);
  if (found == localBlocks.end()) return handle;
  localBlocks.erase(found);
  CountHandle(HandleKind::LocalBlock, -1);
  return nullptr;
}

// ---- Clock entries ----

uint64_t ClockNow() { return virtualClock.inUse ? virtualClock.now : RealMilliseconds(); }
bool VirtualClockActive() { return virtualClock.inUse; }
void UseVirtualClock(DWORD start) { virtualClock = VirtualClock{true, start, 0}; }
void AdvanceVirtualClock(uint64_t milliseconds) {
  if (virtualClock.inUse) virtualClock.now += milliseconds;
}

// The low 32 bits of the millisecond count: it wraps as on Windows.
DWORD GetTickCount() {
  if (virtualClock.inUse) return static_cast<DWORD>(virtualClock.start + virtualClock.now);
  return static_cast<DWORD>(RealMilliseconds());
}

void Sleep(DWORD milliseconds) {
  LogCall(LogKind::Sleep, static_cast<intptr_t>(milliseconds));
  if (virtualClock.inUse) {
    virtualClock.now += milliseconds;
    return;
  }
  // Sleep(0) gives the rest of the time slice to a thread that is ready, and returns at once when
  // none is; a zero-length nanosleep would instead wait out the timer slack, every frame.
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec pause{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

// A run whose X server went away did not end because it was asked to; it says so in its status,
// as other X programs do then. A run that a signal ended dies by that signal.
[[noreturn]] void ExitProcess(UINT exitCode) {
  EndByTerminationSignal();
  std::exit(PresenterConnectionLost() ? kConnectionLostStatus : static_cast<int>(exitCode));
}

// ---- System information ----

// The Windows-style path "C:\windows"; OpenPlatformFile maps it back into the drive folder.
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  static const char kWindowsDirectory[] = "C:\\windows";
  constexpr UINT kLength = sizeof(kWindowsDirectory) - 1;
  WindowsFolder();  // created on demand, as the directory always exists on Windows
  if (InjectedFailure(Call::GetWindowsDirectory)) return 0;
  if (buffer == nullptr || size <= kLength) return kLength + 1;
  memcpy(buffer, kWindowsDirectory, kLength + 1);
  return kLength;
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return FALSE;
  bool win95 = ReportsWin95();
  info->dwMajorVersion = win95 ? 4 : 5;
  info->dwMinorVersion = win95 ? 0 : 1;
  info->dwBuildNumber = win95 ? 950 : 2600;
  info->dwPlatformId = win95 ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
  memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
  return TRUE;
}

// The program name, quoted when it holds a blank, then each argument after one blank.
void SetCommandLineFromArguments(int argc, char** argv) {
  std::string line;
  if (argc > 0) {
    std::string name = argv[0];
    line = name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
  }
  for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
  commandLine = line;
}

LPSTR GetCommandLineA() { return commandLine.data(); }

// The ANSI code page here has single-byte characters only.
LPSTR CharNextA(LPCSTR text) { return const_cast<LPSTR>(*text == '\0' ? text : text + 1); }

// ---- Modules ----

// No name: the program itself. A name: only a module that is loaded now.
HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) return reinterpret_cast<HMODULE>(kProgramInstance);
  uintptr_t handle = FindModuleByName(UpperCase(name));
  if (handle == 0 || modules[handle].references == 0) return nullptr;
  return reinterpret_cast<HMODULE>(handle);
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr || InjectedFailure(Call::LoadLibrary)) {
    LogCall(LogKind::LoadLibrary, 0, 0, 0, 0, name);
    return nullptr;
  }
  std::string upperName = UpperCase(name);
  uintptr_t handle = FindModuleByName(upperName);
  if (handle == 0) {
    void* shared = OpenSharedModule(upperName);
    if (shared == nullptr) {
      LogCall(LogKind::LoadLibrary, 0, 0, 0, 0, name);
      return nullptr;
    }
    handle = kModuleHandleBase + 0x10000 * nextModuleSerial++;
    modules[handle] = Module{upperName, {}, false, shared, 0};
  }
  if (modules[handle].references++ == 0) CountHandle(HandleKind::Module, +1);
  LogCall(LogKind::LoadLibrary, static_cast<intptr_t>(handle), 0, 0, 0, name);
  return reinterpret_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
  // A "name" at or below 0xFFFF is an ordinal, not a pointer; modules here export by name only.
  const bool byOrdinal = reinterpret_cast<uintptr_t>(name) <= 0xFFFFu;
  LogCall(LogKind::GetProcAddress, reinterpret_cast<intptr_t>(handle), 0, 0, 0, byOrdinal ? nullptr : name);
  Module* module = FindModule(handle);
  if (module == nullptr || module->references == 0 || byOrdinal) return nullptr;
  for (const ModuleEntry& entry : module->entries) {
    if (entry.name == name) return entry.address;
  }
  if (module->shared == nullptr) return nullptr;
  return reinterpret_cast<FARPROC>(dlsym(module->shared, name));
}

BOOL FreeLibrary(HMODULE handle) {
  LogCall(LogKind::FreeLibrary, reinterpret_cast<intptr_t>(handle));
  Module* module = FindModule(handle);
  if (module == nullptr || module->references == 0) return FALSE;
  if (--module->references == 0) UnloadModule(reinterpret_cast<uintptr_t>(handle));
  return TRUE;
}

// ---- Inputs in place of the system's ----

void SetWin95Override(Win95Override setting) { win95Setting = setting; }

void SetCommandLineText(const char* line) { commandLine = line; }

void RegisterInProcessModule(const std::string& name, const std::vector<ModuleEntry>& entries) {
  std::string upperName = UpperCase(name);
  uintptr_t handle = FindModuleByName(upperName);
  if (handle == 0) {
    handle = kModuleHandleBase + 0x10000 * nextModuleSerial++;
    modules[handle] = Module{upperName, {}, true, nullptr, 0};
  }
  modules[handle].entries = entries;
  modules[handle].registered = true;
}

void RemoveInProcessModule(const std::string& name) {
  uintptr_t handle = FindModuleByName(UpperCase(name));
  if (handle == 0) return;
  if (modules[handle].references > 0) CountHandle(HandleKind::Module, -1);
  if (modules[handle].shared != nullptr) dlclose(modules[handle].shared);
  modules.erase(handle);
}

void ResetKernel() {
  globalBlocks.clear();
  localBlocks.clear();
  win95Setting = Win95Override::FromEnvironment;
  commandLine = "cubrix";
  for (auto& [handle, module] : modules) {
    if (module.shared != nullptr) dlclose(module.shared);
  }
  modules.clear();
  virtualClock = VirtualClock();
}
