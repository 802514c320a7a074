// Tests of the portable kernel: memory blocks, ticks, version, command line and modules.
#include <cstring>
#include <string>

#include "platform/portable/kernel.h"
#include "platform/win32.h"
#include "tests/support/platform_test.h"

using TestHooks::Call;
using TestHooks::HandleKind;

// The sanitizers' allocator answers an impossible request with null instead of stopping the
// program, as the platform's callers expect of the system's.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

using KernelTest = PlatformTest;

constexpr SIZE_T kImpossibleSize = SIZE_MAX / 4;

TEST_F(KernelTest, ZeroByteBlockHasAHandleButCannotBeLocked) {
  HGLOBAL block = GlobalAlloc(GHND, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::GlobalBlock), 0);
}

TEST_F(KernelTest, ZeroInitialisedBlockReadsZeroAndLocksNest) {
  HGLOBAL block = GlobalAlloc(GHND, 64);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(GlobalLock(block), bytes);
  EXPECT_TRUE(GlobalUnlock(block));    // one lock remains
  EXPECT_FALSE(GlobalUnlock(block));   // now unlocked
  EXPECT_FALSE(GlobalUnlock(block));   // nothing left to unlock
  EXPECT_EQ(GlobalFree(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);  // already gone
}

TEST_F(KernelTest, ReAllocKeepsContentsZeroFillsGrowthAndMoves) {
  HGLOBAL block = GlobalAlloc(GHND, 4);
  auto* before = static_cast<unsigned char*>(GlobalLock(block));
  memcpy(before, "abcd", 4);
  GlobalUnlock(block);
  HGLOBAL grown = GlobalReAlloc(block, 10, GHND);
  ASSERT_NE(grown, nullptr);
  EXPECT_NE(grown, block);
  EXPECT_EQ(GlobalLock(block), nullptr);  // the old handle is gone
  auto* after = static_cast<unsigned char*>(GlobalLock(grown));
  ASSERT_NE(after, nullptr);
  EXPECT_NE(after, before);
  EXPECT_EQ(memcmp(after, "abcd", 4), 0);
  for (int i = 4; i < 10; ++i) EXPECT_EQ(after[i], 0) << i;
  GlobalUnlock(grown);
  HGLOBAL shrunk = GlobalReAlloc(grown, 2, GHND);
  auto* small = static_cast<unsigned char*>(GlobalLock(shrunk));
  EXPECT_EQ(memcmp(small, "ab", 2), 0);
  GlobalUnlock(shrunk);
  GlobalFree(shrunk);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::GlobalBlock), 0);
}

TEST_F(KernelTest, FailedReAllocLeavesTheOldBlockIntact) {
  HGLOBAL block = GlobalAlloc(GHND, 3);
  memcpy(GlobalLock(block), "xyz", 3);
  GlobalUnlock(block);
  TestHooks::FailCall(Call::GlobalReAlloc);
  EXPECT_EQ(GlobalReAlloc(block, 100, GHND), nullptr);
  auto* bytes = static_cast<char*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::string(bytes, 3), "xyz");
  GlobalUnlock(block);
  GlobalFree(block);
}

TEST_F(KernelTest, ReAllocToZeroBytesKeepsAHandleThatCannotBeLocked) {
  HGLOBAL block = GlobalReAlloc(GlobalAlloc(GHND, 8), 0, GHND);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalLock(block), nullptr);
  HGLOBAL regrown = GlobalReAlloc(block, 4, GHND);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(regrown));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(bytes[3], 0);
  GlobalUnlock(regrown);
  GlobalFree(regrown);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::GlobalBlock), 0);
}

TEST_F(KernelTest, InjectedFaultsHitTheNthCallOnly) {
  TestHooks::FailCall(Call::GlobalAlloc, 2);
  HGLOBAL first = GlobalAlloc(GHND, 1);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, 1), nullptr);
  HGLOBAL third = GlobalAlloc(GHND, 1);
  EXPECT_NE(third, nullptr);
  TestHooks::FailCall(Call::GlobalLock);
  EXPECT_EQ(GlobalLock(first), nullptr);
  EXPECT_NE(GlobalLock(first), nullptr);
  GlobalUnlock(first);
  GlobalFree(first);
  GlobalFree(third);
  TestHooks::FailCall(Call::LocalAlloc);
  EXPECT_EQ(LocalAlloc(LPTR, 4), nullptr);
}

TEST_F(KernelTest, RequestsBeyondMemoryFailInsteadOfThrowing) {
  EXPECT_EQ(GlobalAlloc(GHND, kImpossibleSize), nullptr);
  EXPECT_EQ(LocalAlloc(LPTR, kImpossibleSize), nullptr);
  HGLOBAL block = GlobalAlloc(GHND, 1);
  EXPECT_EQ(GlobalReAlloc(block, kImpossibleSize, GHND), nullptr);
  EXPECT_EQ(GlobalFree(block), nullptr);  // the old block stayed valid
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::GlobalBlock), 0);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::LocalBlock), 0);
}

TEST_F(KernelTest, BadHandlesAreRefusedNotFollowed) {
  auto bogus = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(0x1234));
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalLock(bogus), nullptr);
  EXPECT_FALSE(GlobalUnlock(bogus));
  EXPECT_EQ(GlobalFree(bogus), bogus);
  EXPECT_EQ(GlobalReAlloc(bogus, 4, GHND), nullptr);
  EXPECT_EQ(LocalFree(bogus), bogus);
}

TEST_F(KernelTest, LocalBlockIsItsOwnAddressAndZeroFilled) {
  auto* bytes = static_cast<unsigned char*>(LocalAlloc(LPTR, 16));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::LocalBlock), 1);
  EXPECT_EQ(LocalFree(bytes), nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::LocalBlock), 0);
}

TEST_F(KernelTest, VirtualClockDrivesTicksAndSleepAndWraps) {
  UseVirtualClock(0xFFFFFF00u);
  EXPECT_EQ(GetTickCount(), 0xFFFFFF00u);
  AdvanceVirtualClock(0x100);
  EXPECT_EQ(GetTickCount(), 0u);
  Sleep(25);
  EXPECT_EQ(GetTickCount(), 25u);
  Sleep(0);
  EXPECT_EQ(GetTickCount(), 25u);
}

TEST_F(KernelTest, RealClockMovesForward) {
  TestHooks::ResetPlatform();
  DWORD before = GetTickCount();
  Sleep(20);
  DWORD elapsed = GetTickCount() - before;
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 5000u);
}

TEST_F(KernelTest, VersionIsNtUnlessWin95IsAskedFor) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(sizeof info, 148u);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  SetWin95Override(Win95Override::Yes);
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
  info.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExA(&info));
}

TEST_F(KernelTest, VersionFollowsTheEnvironmentUntilAHookDecides) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  setenv("CUBRIX_WIN95", "1", 1);
  GetVersionExA(&info);
  EXPECT_EQ(info.dwPlatformId, 1u);
  SetWin95Override(Win95Override::No);
  GetVersionExA(&info);
  EXPECT_EQ(info.dwPlatformId, 2u);
  unsetenv("CUBRIX_WIN95");
}

std::string CommandLineOf(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  SetCommandLineFromArguments(static_cast<int>(argv.size()), argv.data());
  return GetCommandLineA();
}

TEST_F(KernelTest, CommandLineQuotesAProgramNameWithABlank) {
  EXPECT_EQ(CommandLineOf({"/usr/bin/cubrix", "/s"}), "/usr/bin/cubrix /s");
  EXPECT_EQ(CommandLineOf({"/opt/my saver/cubrix", "/p", "1234"}), "\"/opt/my saver/cubrix\" /p 1234");
  EXPECT_EQ(CommandLineOf({"cubrix"}), "cubrix");
  EXPECT_EQ(CommandLineOf({"cubrix", ""}), "cubrix ");
  EXPECT_EQ(GetCommandLineA(), GetCommandLineA());  // one buffer, not a fresh copy per call
}

TEST_F(KernelTest, CharNextStopsAtTheEnd) {
  const char text[] = "ab";
  EXPECT_EQ(CharNextA(text), text + 1);
  EXPECT_EQ(CharNextA(text + 2), text + 2);
}

int AnswerOne() { return 1; }

TEST_F(KernelTest, RegisteredModuleIsFoundOnlyWhileLoaded) {
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", &AnswerOne)});
  EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), nullptr);
  HMODULE module = LoadLibraryA("password.cpl");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), module);
  EXPECT_EQ(LoadLibraryA("PASSWORD.CPL"), module);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Module), 1);
  FARPROC entry = GetProcAddress(module, "VerifyScreenSavePwd");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(entry))(), 1);
  EXPECT_EQ(GetProcAddress(module, "Missing"), nullptr);
  EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(uintptr_t{1})), nullptr) << "an ordinal is no name";
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), module);  // one reference left
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), nullptr);
  EXPECT_FALSE(FreeLibrary(module));
  EXPECT_EQ(GetProcAddress(module, "VerifyScreenSavePwd"), nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Module), 0);
}

TEST_F(KernelTest, UnknownModulesAreNotFound) {
  EXPECT_EQ(GetModuleHandleA("IMM32.DLL"), nullptr);
  EXPECT_EQ(LoadLibraryA("MPR.DLL"), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  RegisterInProcessModule("MPR.DLL", {});
  TestHooks::FailCall(Call::LoadLibrary);
  EXPECT_EQ(LoadLibraryA("MPR.DLL"), nullptr);
  HMODULE module = LoadLibraryA("MPR.DLL");
  ASSERT_NE(module, nullptr);  // a module without the entry still loads
  EXPECT_EQ(GetProcAddress(module, "PwdChangePasswordA"), nullptr);
  RemoveInProcessModule("MPR.DLL");
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Module), 0);
}

TEST_F(KernelTest, ModuleOnDiskIsOpenedFromTheModulesFolder) {
  setenv("CUBRIX_MODULES", TEST_MODULES_FOLDER, 1);
  HMODULE module = LoadLibraryA("TESTMOD.DLL");
  unsetenv("CUBRIX_MODULES");
  ASSERT_NE(module, nullptr);
  FARPROC entry = GetProcAddress(module, "TestModuleAnswer");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(entry))(), 42);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Module), 0);
}

}  // namespace
