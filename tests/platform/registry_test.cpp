// Tests of the portable registry (registry.txt) and profile (control.ini) reading.
#include <fstream>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/support/platform_test.h"

using TestHooks::HandleKind;

namespace {

const char kDesktop[] = "Control Panel\\Desktop";
const char kPasswordValue[] = "ScreenSaveUsePassword";

class RegistryTest : public PlatformTest {
 protected:
  // Reads a value the way the saver does: into 4 bytes, without asking for the type.
  LONG ReadIntoFourBytes(const char* name, std::vector<BYTE>* bytes, DWORD* size) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyA(HKEY_CURRENT_USER, kDesktop, &key);
    if (opened != ERROR_SUCCESS) return opened;
    bytes->assign(4, 0xEE);
    *size = 4;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, bytes->data(), size);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    return result;
  }
  void WriteWindowsFile(const std::string& name, const std::string& text) {
    std::ofstream(drive_ + "/windows/" + name, std::ios::binary) << text;
  }
};

TEST_F(RegistryTest, MissingRegistryFileMeansNoKey) {
  HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(1));
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kDesktop, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Key), 0);
}

TEST_F(RegistryTest, DwordReadsAsFourLittleEndianBytes) {
  TestHooks::SetRegistryValue(kDesktop, kPasswordValue, DwordRegistryValue(0x01020304));
  std::vector<BYTE> bytes;
  DWORD size = 0;
  ASSERT_EQ(ReadIntoFourBytes(kPasswordValue, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(bytes, (std::vector<BYTE>{4, 3, 2, 1}));
}

TEST_F(RegistryTest, StringOneReadsAsDigitAndZero) {
  TestHooks::SetRegistryValue(kDesktop, kPasswordValue, StringRegistryValue("1"));
  std::vector<BYTE> bytes;
  DWORD size = 0;
  ASSERT_EQ(ReadIntoFourBytes(kPasswordValue, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(bytes, (std::vector<BYTE>{0x31, 0x00, 0xEE, 0xEE}));
}

TEST_F(RegistryTest, LongerDataFailsWithMoreDataAndTheSizeNeeded) {
  TestHooks::SetRegistryValue(kDesktop, kPasswordValue, StringRegistryValue("1234"));
  std::vector<BYTE> bytes;
  DWORD size = 0;
  EXPECT_EQ(ReadIntoFourBytes(kPasswordValue, &bytes, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(bytes, (std::vector<BYTE>{0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(RegistryTest, MissingValueInAnExistingKey) {
  TestHooks::SetRegistryKey(kDesktop);
  std::vector<BYTE> bytes;
  DWORD size = 0;
  EXPECT_EQ(ReadIntoFourBytes(kPasswordValue, &bytes, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Key), 0);
}

TEST_F(RegistryTest, HandWrittenFileIsReadCaseInsensitivelyAndBadLinesAreSkipped) {
  WriteWindowsFile("registry.txt",
                   "garbage without equals sign\\\n"
                   "control panel\\desktop\\Broken=dword:xyz\n"
                   "Control Panel\\Desktop\\Odd=hex:3\n"
                   "Control Panel\\Desktop\\Unknown=text:1\r\n"
                   "CONTROL PANEL\\DESKTOP\\screensaveusepassword=dword:1\r\n"
                   "Control Panel\\Desktop\\Pattern=hex:01,02,03\n");
  std::vector<BYTE> bytes;
  DWORD size = 0;
  ASSERT_EQ(ReadIntoFourBytes(kPasswordValue, &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(bytes, (std::vector<BYTE>{1, 0, 0, 0}));
  EXPECT_EQ(ReadIntoFourBytes("Pattern", &bytes, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(ReadIntoFourBytes("Broken", &bytes, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadIntoFourBytes("Odd", &bytes, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadIntoFourBytes("Unknown", &bytes, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, QueryReportsTypeAndSizeWithoutData) {
  TestHooks::SetRegistryValue(kDesktop, "Name", StringRegistryValue("abc"));
  TestHooks::SetRegistryValue(kDesktop, "Name", DwordRegistryValue(7));  // replaces
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kDesktop, &key), ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Key), 1);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_NE(RegQueryValueExA(key, "Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Key), 0);
}

TEST_F(RegistryTest, OtherKeysAndRootsAreNotFound) {
  TestHooks::SetRegistryValue(kDesktop, kPasswordValue, DwordRegistryValue(1));
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desk", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel", &key), ERROR_SUCCESS);  // a parent exists
  RegCloseKey(key);
  auto otherRoot = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
  EXPECT_EQ(RegOpenKeyA(otherRoot, kDesktop, &key), ERROR_FILE_NOT_FOUND);
  TestHooks::FailCall(TestHooks::Call::RegOpenKey);
  EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, kDesktop, &key), ERROR_SUCCESS);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Key), 0);
}

class ProfileTest : public RegistryTest {
 protected:
  UINT Read(INT defaultValue = 7) {
    return GetPrivateProfileIntA("ScreenSaver.Cubrix", "PWProtected", defaultValue, "control.ini");
  }
};

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Read(), 7u);
  WriteWindowsFile("control.ini", "[Other]\nPWProtected=1\n");
  EXPECT_EQ(Read(), 7u);
  WriteWindowsFile("control.ini", "[ScreenSaver.Cubrix]\nOther=1\n");
  EXPECT_EQ(Read(), 7u);
  WriteWindowsFile("control.ini", "[ScreenSaver.Cubrix]\nPWProtected=\n");
  EXPECT_EQ(Read(), 7u);
}

TEST_F(ProfileTest, NumbersReadAsWindowsReadsThem) {
  const struct {
    const char* text;
    UINT expected;
  } kCases[] = {
      {"1", 1},       {"0", 0},          {"42", 42},       {"12abc", 12},     {"abc", 0},
      {"  5  ", 5},   {"0x1F", 31},      {"-1", 0xFFFFFFFFu}, {"+3", 3},      {"4294967297", 1},
  };
  for (const auto& item : kCases) {
    WriteWindowsFile("control.ini", std::string("[ScreenSaver.Cubrix]\r\nPWProtected=") + item.text + "\r\n");
    EXPECT_EQ(Read(), item.expected) << item.text;
  }
}

TEST_F(ProfileTest, SectionsAndKeysMatchWithoutCase) {
  WriteWindowsFile("control.ini", "[screensaver.cubrix]\n pwprotected = 1\n[Next]\nPWProtected=5\n");
  EXPECT_EQ(Read(), 1u);
}

TEST_F(ProfileTest, WrittenValuesReplaceEarlierOnes) {
  TestHooks::SetProfileString("control.ini", "ScreenSaver.Cubrix", "PWProtected", "1");
  TestHooks::SetProfileString("control.ini", "Other", "Key", "9");
  TestHooks::SetProfileString("control.ini", "ScreenSaver.Cubrix", "PWProtected", "0");
  EXPECT_EQ(Read(), 0u);
  EXPECT_EQ(GetPrivateProfileIntA("Other", "Key", 0, "control.ini"), 9u);
}

}  // namespace
