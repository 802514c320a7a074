// Password support: when the system's verification is loaded, that the system is told a saver runs
// exactly while it is, and the password change through the system library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_state.h"
#include "host/password_support.h"
#include "platform/test_hooks/test_hooks.h"
#include "tests/host/host_test_support.h"

namespace {

using TestHooks::HandleKind;
using TestHooks::LogKind;

constexpr const char* kDesktop = "Control Panel\\Desktop";
constexpr const char* kSetting = "ScreenSaveUsePassword";

BOOL WINAPI VerifyStandIn(HWND) { return TRUE; }

enum class Setting { NoKey, NoValue, Value };

struct RegistryCase {
  const char* name;
  Setting setting;
  RegistryValue value;
  bool protectionOn;
};

// How the setting is stored, and whether it turns protection on: the value is read into a 4-byte
// number that starts at zero, so shorter data fills its low bytes and longer data fails.
const std::vector<RegistryCase>& RegistryCases() {
  static const std::vector<RegistryCase> cases = {
      {"no key", Setting::NoKey, {}, false},
      {"no value", Setting::NoValue, {}, false},
      {"dword 0", Setting::Value, DwordRegistryValue(0), false},
      {"dword 1", Setting::Value, DwordRegistryValue(1), true},
      {"dword with only a high byte", Setting::Value, DwordRegistryValue(0x01000000), true},
      {"string \"1\"", Setting::Value, StringRegistryValue("1"), true},
      {"string \"0\" is the non-zero number 0x30", Setting::Value, StringRegistryValue("0"), true},
      {"string of 6 bytes", Setting::Value, StringRegistryValue("12345"), false},
      {"empty data", Setting::Value, TestHooks::BinaryValue({}), false},
      {"one byte 1", Setting::Value, TestHooks::BinaryValue({1}), true},
      {"two bytes, high one set", Setting::Value, TestHooks::BinaryValue({0, 1}), true},
      {"four zero bytes", Setting::Value, TestHooks::BinaryValue({0, 0, 0, 0}), false},
      {"five bytes", Setting::Value, TestHooks::BinaryValue({1, 0, 0, 0, 0}), false},
  };
  return cases;
}

class PasswordSupportTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    hostState.win95Platform = true;
  }

  void Store(const RegistryCase& test) {
    TestHooks::ClearRegistry();
    if (test.setting == Setting::NoValue) TestHooks::SetRegistryKey(kDesktop);
    if (test.setting == Setting::Value) TestHooks::SetRegistryValue(kDesktop, kSetting, test.value);
  }

  std::vector<Sequence::Row> SystemTold() { return Traffic({LogKind::SystemParametersInfo}); }
};

TEST_F(PasswordSupportTest, RegistrySettingDecidesWhetherVerificationIsLoaded) {
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", VerifyStandIn)});
  for (const RegistryCase& test : RegistryCases()) {
    SCOPED_TRACE(test.name);
    Store(test);
    TestHooks::ClearCallLog();
    LoadPasswordSupport();
    EXPECT_EQ(test.protectionOn, hostState.verifyEntry != nullptr);
    EXPECT_EQ(test.protectionOn, hostState.passwordLibrary != nullptr);
    EXPECT_EQ(test.protectionOn, SaverRunningFlag());
    const std::vector<std::string> toldOn = {"SystemParametersInfo 97 1"};
    Sequence::ExpectSequence(Calls(test.protectionOn ? toldOn : std::vector<std::string>{}), SystemTold());
    EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Key));  // every opened key is closed again

    TestHooks::ClearCallLog();
    UnloadPasswordSupport();
    EXPECT_EQ(nullptr, hostState.verifyEntry);
    EXPECT_EQ(nullptr, hostState.passwordLibrary);
    EXPECT_FALSE(SaverRunningFlag());
    const std::vector<std::string> toldOff = {"SystemParametersInfo 97 0"};
    Sequence::ExpectSequence(Calls(test.protectionOn ? toldOff : std::vector<std::string>{}), SystemTold());
    EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Module));
  }
}

TEST_F(PasswordSupportTest, MissingLibraryLeavesProtectionOffAndTellsNothing) {
  TestHooks::SetRegistryValue(kDesktop, kSetting, DwordRegistryValue(1));
  LoadPasswordSupport();
  EXPECT_EQ(nullptr, hostState.passwordLibrary);
  EXPECT_EQ(nullptr, hostState.verifyEntry);
  Sequence::ExpectSequence(Calls({"LoadLibrary PASSWORD.CPL failed"}), Traffic({LogKind::LoadLibrary}));
  EXPECT_TRUE(SystemTold().empty());
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Key));
}

TEST_F(PasswordSupportTest, MissingEntryFreesTheLibraryAtOnceAndTellsNothing) {
  TestHooks::SetRegistryValue(kDesktop, kSetting, DwordRegistryValue(1));
  RegisterInProcessModule("PASSWORD.CPL", {Entry("SomethingElse", VerifyStandIn)});
  LoadPasswordSupport();
  EXPECT_EQ(nullptr, hostState.passwordLibrary);
  EXPECT_EQ(nullptr, hostState.verifyEntry);
  Sequence::ExpectSequence(Calls({"LoadLibrary PASSWORD.CPL", "FreeLibrary"}),
                           Traffic({LogKind::LoadLibrary, LogKind::FreeLibrary}));
  EXPECT_TRUE(SystemTold().empty());
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Module));
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Key));
}

TEST_F(PasswordSupportTest, RegistryThatCannotBeOpenedLeavesProtectionOff) {
  TestHooks::SetRegistryValue(kDesktop, kSetting, DwordRegistryValue(1));
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", VerifyStandIn)});
  TestHooks::FailCall(TestHooks::Call::RegOpenKey);
  LoadPasswordSupport();
  EXPECT_EQ(nullptr, hostState.verifyEntry);
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::LoadLibrary).empty());
  EXPECT_TRUE(TestHooks::CallLogOf(LogKind::RegCloseKey).empty());
}

TEST_F(PasswordSupportTest, WindowsNtReadsAndLoadsNothing) {
  hostState.win95Platform = false;
  TestHooks::SetRegistryValue(kDesktop, kSetting, DwordRegistryValue(1));
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", VerifyStandIn)});
  LoadPasswordSupport();
  SetSaverRunning(true);
  UnloadPasswordSupport();
  EXPECT_EQ(nullptr, hostState.verifyEntry);
  EXPECT_TRUE(TestHooks::CallLog().empty());
}

TEST_F(PasswordSupportTest, LoadingAgainUnloadsFirst) {
  TestHooks::SetRegistryValue(kDesktop, kSetting, DwordRegistryValue(1));
  RegisterInProcessModule("PASSWORD.CPL", {Entry("VerifyScreenSavePwd", VerifyStandIn)});
  LoadPasswordSupport();
  LoadPasswordSupport();
  Sequence::ExpectSequence(
      Calls({"SystemParametersInfo 97 1", "SystemParametersInfo 97 0", "SystemParametersInfo 97 1"}), SystemTold());
  EXPECT_EQ(1, TestHooks::LiveHandles(HandleKind::Module));
  UnloadPasswordSupport();
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Module));
}

// ---- Changing the password ----

struct ChangeCall {
  std::string provider;
  HWND owner;
  DWORD reserved1;
  DWORD reserved2;
};
std::vector<ChangeCall> changeCalls;

DWORD WINAPI ChangeStandIn(LPCSTR provider, HWND owner, DWORD reserved1, DWORD reserved2) {
  changeCalls.push_back({provider, owner, reserved1, reserved2});
  return 0;
}

class ChangePasswordTest : public PasswordSupportTest {
 protected:
  void SetUp() override {
    PasswordSupportTest::SetUp();
    changeCalls.clear();
    foreground = MakeTestWindow("Display Properties");
    SetForegroundWindow(foreground);
    TestHooks::ClearCallLog();
  }

  HWND foreground = nullptr;
};

std::string DecimalHandle(HWND window) { return std::to_string(reinterpret_cast<uintptr_t>(window)); }

TEST_F(ChangePasswordTest, OwnerIsTheNamedWindowWhenItExists) {
  HWND settings = MakeTestWindow("Screen Saver settings");
  RegisterInProcessModule("MPR.DLL", {Entry("PwdChangePasswordA", ChangeStandIn)});
  EXPECT_EQ(0, RunChangePassword(DecimalHandle(settings).c_str()));
  ASSERT_EQ(1u, changeCalls.size());
  EXPECT_EQ("SCRSAVE", changeCalls[0].provider);
  EXPECT_EQ(settings, changeCalls[0].owner);
  EXPECT_EQ(0u, changeCalls[0].reserved1);
  EXPECT_EQ(0u, changeCalls[0].reserved2);
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Module));
}

TEST_F(ChangePasswordTest, OwnerFallsBackToTheForegroundWindow) {
  RegisterInProcessModule("MPR.DLL", {Entry("PwdChangePasswordA", ChangeStandIn)});
  for (const char* text : {"", "0", "abc", "4294967295", ":1234"}) {
    SCOPED_TRACE(text);
    changeCalls.clear();
    EXPECT_EQ(0, RunChangePassword(text));
    ASSERT_EQ(1u, changeCalls.size());
    EXPECT_EQ(foreground, changeCalls[0].owner);
  }
}

TEST_F(ChangePasswordTest, NeverLooksAtTheProtectionSetting) {
  RegisterInProcessModule("MPR.DLL", {Entry("PwdChangePasswordA", ChangeStandIn)});
  RunChangePassword("");
  Sequence::ExpectSequence(Calls({"LoadLibrary MPR.DLL", "FreeLibrary"}),
                           Traffic({LogKind::LoadLibrary, LogKind::FreeLibrary, LogKind::RegOpenKey}));
}

TEST_F(ChangePasswordTest, MissingLibraryOrEntryChangesNothingAndStillGivesZero) {
  EXPECT_EQ(0, RunChangePassword(""));
  Sequence::ExpectSequence(Calls({"LoadLibrary MPR.DLL failed"}),
                           Traffic({LogKind::LoadLibrary, LogKind::FreeLibrary}));

  RegisterInProcessModule("MPR.DLL", {Entry("WNetGetUserA", ChangeStandIn)});
  TestHooks::ClearCallLog();
  EXPECT_EQ(0, RunChangePassword(""));
  EXPECT_TRUE(changeCalls.empty());
  Sequence::ExpectSequence(Calls({"LoadLibrary MPR.DLL", "FreeLibrary"}),
                           Traffic({LogKind::LoadLibrary, LogKind::FreeLibrary}));
  EXPECT_EQ(0, TestHooks::LiveHandles(HandleKind::Module));
}

}  // namespace
