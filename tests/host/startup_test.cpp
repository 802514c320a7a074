// The command line: finding the argument text, the switch scan, and reading a window handle.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/startup.h"

namespace {

struct ScanCase {
  const char* text;
  bool win95Platform;
  SaverMode mode;
  uint32_t handle;  // the value read from the rest, for the modes that read one
};

const char* ModeName(SaverMode mode) {
  switch (mode) {
    case SaverMode::Configure:
      return "Configure";
    case SaverMode::ConfigureOwned:
      return "ConfigureOwned";
    case SaverMode::FullScreen:
      return "FullScreen";
    case SaverMode::Preview:
      return "Preview";
    case SaverMode::ChangePassword:
      return "ChangePassword";
    case SaverMode::Refused:
      return "Refused";
  }
  return "?";
}

// The argument texts the system hands over, and what each of them asks for.
const ScanCase kScanCases[] = {
    {"", false, SaverMode::Configure, 0},
    {"   ", false, SaverMode::Configure, 0},
    {"/s", false, SaverMode::FullScreen, 0},
    {"-s", false, SaverMode::FullScreen, 0},
    {"s", false, SaverMode::FullScreen, 0},
    {"/S", false, SaverMode::FullScreen, 0},
    {"//s", false, SaverMode::FullScreen, 0},
    {"/ - /s", false, SaverMode::FullScreen, 0},
    {"/s /p 99", false, SaverMode::FullScreen, 0},
    {"/p 1234", false, SaverMode::Preview, 1234},
    {"/p1234", false, SaverMode::Preview, 1234},
    {"/p   1234", false, SaverMode::Preview, 1234},
    {"/P 1234", false, SaverMode::Preview, 1234},
    {"/l 1234", false, SaverMode::Preview, 1234},
    {"/L 1234", false, SaverMode::Preview, 1234},
    {"/p:1234", false, SaverMode::Preview, 0},
    {"/p\t1234", false, SaverMode::Preview, 0},
    {"/p", false, SaverMode::Preview, 0},
    {"/c", false, SaverMode::ConfigureOwned, 0},
    {"/c:5678", false, SaverMode::ConfigureOwned, 0},
    {"C", false, SaverMode::ConfigureOwned, 0},
    {"/a 1234", false, SaverMode::Refused, 0},
    {"/a 1234", true, SaverMode::ChangePassword, 1234},
    {"/A1234", true, SaverMode::ChangePassword, 1234},
    {"/a", true, SaverMode::ChangePassword, 0},
    {"/x", false, SaverMode::Refused, 0},
    {"/?", false, SaverMode::Refused, 0},
    {"/\x80", false, SaverMode::Refused, 0},
    {"/\xE9", true, SaverMode::Refused, 0},
    {"\t/s", false, SaverMode::Refused, 0},
    {"/\ts", false, SaverMode::Refused, 0},
    {"1234", false, SaverMode::Refused, 0},
};

TEST(ScanArgumentText, EachExampleTextPicksItsMode) {
  for (const ScanCase& test : kScanCases) {
    SCOPED_TRACE(std::string("argument text \"") + test.text + "\"" + (test.win95Platform ? " on 95" : " on NT"));
    CommandChoice choice = ScanArgumentText(test.text, test.win95Platform);
    EXPECT_STREQ(ModeName(test.mode), ModeName(choice.mode));
    if (choice.mode == SaverMode::Preview || choice.mode == SaverMode::ChangePassword) {
      EXPECT_EQ(test.handle, ParseWindowHandle(choice.rest));
    }
  }
}

TEST(ScanArgumentText, RestPointsInsideTheGivenText) {
  const char text[] = "/p  42 trailing";
  CommandChoice choice = ScanArgumentText(text, false);
  EXPECT_EQ(text + 4, choice.rest);
}

struct HandleCase {
  const char* text;
  uint32_t value;
};

const HandleCase kHandleCases[] = {
    {"1234", 1234},
    {"0", 0},
    {"", 0},
    {"abc", 0},
    {"12ab34", 12},
    {"-5", 0},
    {"+5", 0},
    {" 5", 0},
    {"4294967295", 0xFFFFFFFFu},
    {"4294967296", 0},                 // wraps modulo 2^32
    {"99999999999", 1215752191u},      // 99999999999 - 23 * 2^32
    {"0000000000000000000042", 42},    // leading zeros never overflow
    {"18446744073709551617", 1},       // 2^64 + 1: the 64-bit wrap agrees with the 32-bit one
};

TEST(ParseWindowHandle, ReadsLeadingDecimalDigitsWrappingModulo2To32) {
  for (const HandleCase& test : kHandleCases) {
    EXPECT_EQ(test.value, ParseWindowHandle(test.text)) << "text \"" << test.text << "\"";
  }
}

struct CommandLineCase {
  const char* commandLine;
  const char* argumentText;
};

const CommandLineCase kCommandLineCases[] = {
    {"Cubrix.scr", ""},
    {"Cubrix.scr   ", ""},
    {"Cubrix.scr /s", "/s"},
    {"Cubrix.scr\t/s", "/s"},  // control bytes count as blanks behind the name
    {"C:\\Windows\\Cubrix.scr /p 1234", "/p 1234"},
    {"\"C:\\Program Files\\Cubrix.scr\" /s", "/s"},
    {"\"C:\\Program Files\\Cubrix.scr\"/s", "/s"},
    {"\"C:\\Program Files\\Cubrix.scr", ""},  // never closed: nothing remains
    {"\"\" /c", "/c"},
    {"", ""},
    {"Cubrix.scr  /s  ", "/s  "},
    {"Caf\xE9.scr /s", "/s"},  // bytes of 128 and above belong to the name
};

TEST(FindArgumentText, SkipsTheProgramNameAndTheBlanksBehindIt) {
  for (const CommandLineCase& test : kCommandLineCases) {
    EXPECT_STREQ(test.argumentText, FindArgumentText(test.commandLine)) << "command line " << test.commandLine;
  }
}

}  // namespace
