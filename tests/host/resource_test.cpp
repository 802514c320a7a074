// The compiled configuration dialog template, read back from the program's resources as the
// dialog manager reads it, against the definitions it was made from.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "resources/config_dialog.h"

namespace {

constexpr WORD kButtonClassAtom = 0x0080;
constexpr WORD kLanguageEnglishUk = 0x0809;

// Walks the template's words: plain DLGTEMPLATE and DLGITEMTEMPLATE records as Windows lays them out.
struct TemplateReader {
  const BYTE* base;
  size_t offset;
  size_t size;

  bool Fits(size_t bytes) const { return offset + bytes <= size; }
  WORD Word() {
    WORD value = 0;
    if (Fits(2)) std::memcpy(&value, base + offset, 2);
    offset += 2;
    return value;
  }
  DWORD Dword() {
    DWORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  std::string Text() {  // UTF-16 text of these ASCII strings; past the end reads as its terminator
    std::string text;
    for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
    return text;
  }
  void AlignToDword() { offset = (offset + 3) & ~static_cast<size_t>(3); }
};

struct ExpectedButton {
  int id;
  const char* text;
  DWORD style;
  int x;
};

TEST(ConfigDialogResource, TemplateIsExactlyAsDefined) {
  HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(IDD_CONFIG_DIALOG),
                                kLanguageEnglishUk);
  ASSERT_NE(nullptr, found) << "template " << IDD_CONFIG_DIALOG << " in English (United Kingdom)";
  HGLOBAL loaded = LoadResource(nullptr, found);
  ASSERT_NE(nullptr, loaded);
  TemplateReader reader{static_cast<const BYTE*>(LockResource(loaded)), 0, SizeofResource(nullptr, found)};

  EXPECT_EQ(0x80C800C0u, reader.Dword());  // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
  EXPECT_EQ(0u, reader.Dword());           // no extended style
  EXPECT_EQ(3, reader.Word());
  EXPECT_EQ(CONFIG_DIALOG_X, reader.Short());
  EXPECT_EQ(CONFIG_DIALOG_Y, reader.Short());
  EXPECT_EQ(CONFIG_DIALOG_WIDTH, reader.Short());
  EXPECT_EQ(CONFIG_DIALOG_HEIGHT, reader.Short());
  EXPECT_EQ(0, reader.Word());  // no menu
  EXPECT_EQ(0, reader.Word());  // the system's dialog class
  EXPECT_EQ(CONFIG_DIALOG_CAPTION, reader.Text());
  EXPECT_EQ(CONFIG_DIALOG_FONT_POINTS, reader.Word());
  EXPECT_EQ(CONFIG_DIALOG_FONT_NAME, reader.Text());

  const ExpectedButton buttons[] = {
      {IDOK, "OK", 0x50010001, 4},  // WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON
      {IDCANCEL, "Cancel", 0x50010000, 124},
      {1000, "&Help", 0x50010000, 64},
  };
  for (const ExpectedButton& button : buttons) {
    SCOPED_TRACE(button.text);
    reader.AlignToDword();
    EXPECT_EQ(button.style, reader.Dword());
    EXPECT_EQ(0u, reader.Dword());
    EXPECT_EQ(button.x, reader.Short());
    EXPECT_EQ(59, reader.Short());
    EXPECT_EQ(40, reader.Short());
    EXPECT_EQ(14, reader.Short());
    EXPECT_EQ(button.id, reader.Word());
    EXPECT_EQ(0xFFFF, reader.Word());
    EXPECT_EQ(kButtonClassAtom, reader.Word());
    EXPECT_EQ(button.text, reader.Text());
    EXPECT_EQ(0, reader.Word());  // no creation data
  }
  EXPECT_LE(reader.offset, reader.size);
}

TEST(ConfigDialogResource, ProgramCarriesNoIcon) {
  EXPECT_EQ(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */));
  EXPECT_EQ(nullptr, LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100)));
}

}  // namespace
