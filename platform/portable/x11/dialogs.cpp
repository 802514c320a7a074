// Dialogs and message boxes on the display: a plain X window with a caption strip, an optional
// text and push buttons, drawn in a core font; Enter, Escape, F1 and clicks come back as the
// messages a dialog procedure expects.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/portable/presenter.h"
#include "platform/portable/x11/x11.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

constexpr int kCaptionHeight = kDialogCaptionHeight;
constexpr int kMargin = 12;
constexpr uint32_t kFaceColour = 0xD4D0C8;
constexpr uint32_t kCaptionColour = 0x000080;
constexpr uint32_t kTextColour = 0x000000;
constexpr uint32_t kCaptionTextColour = 0xFFFFFF;
constexpr int kPanelWidth = 360;  // as wide as a message box, where the window has room
constexpr int kPanelInset = 4;

struct Button {
  int id;
  std::string label;  // without the '&' that marks a mnemonic
  int x, y, width, height;
  bool isDefault;
};

struct OpenDialog {
  HWND dialog;
  HWND owner;
  std::string caption;
  std::string text;
  std::vector<Button> buttons;
  int width;
  int height;
  XFontStruct* font;
  bool fontLoaded;  // our own font, rather than the server's default one
  GC gc;
  bool panel = false;  // a message drawn inside its owner rather than a window of its own
};

std::vector<OpenDialog> dialogs;

OpenDialog* FindDialog(HWND dialog) {
  for (OpenDialog& open : dialogs) {
    if (open.dialog == dialog) return &open;
  }
  return nullptr;
}

std::string WithoutMnemonic(const char* text) {
  std::string label;
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
    if (*c != '&' || c[1] == '&') label += *c;
    if (*c == '&' && c[1] == '&') ++c;
  }
  return label;
}

// On true-colour visuals the colour itself, to the visual's precision; elsewhere black or white.
unsigned long PixelOf(Display* display, uint32_t rgb) {
  const int screen = DefaultScreen(display);
  const Visual* visual = DefaultVisual(display, screen);
  if (visual->c_class == TrueColor) return PixelFor(LayoutOf(visual), rgb);
  const unsigned long brightness = ((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF);
  return brightness > 3 * 128 ? WhitePixel(display, screen) : BlackPixel(display, screen);
}

int TextWidth(const OpenDialog& open, const std::string& text) {
  return XTextWidth(open.font, text.c_str(), static_cast<int>(text.size()));
}

// Breaks the text at line feeds, and at blanks where a line would be wider than the room.
std::vector<std::string> WrapText(const OpenDialog& open, int room) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= open.text.size()) {
    size_t end = open.text.find('\n', start);
    if (end == std::string::npos) end = open.text.size();
    std::string line;
    size_t word = start;
    while (word < end) {
      size_t blank = open.text.find(' ', word);
      if (blank == std::string::npos || blank > end) blank = end;
      std::string candidate = line.empty() ? open.text.substr(word, blank - word)
                                           : line + " " + open.text.substr(word, blank - word);
      if (!line.empty() && TextWidth(open, candidate) > room) {
        lines.push_back(line);
        candidate = open.text.substr(word, blank - word);
      }
      line = candidate;
      word = blank + 1;
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

void DrawCentred(Display* display, Window xid, const OpenDialog& open, const std::string& text, int x, int y,
                 int width, int height) {
  const int textX = x + (width - TextWidth(open, text)) / 2;
  const int textY = y + (height + open.font->ascent - open.font->descent) / 2;
  XDrawString(display, xid, open.gc, textX, textY, text.c_str(), static_cast<int>(text.size()));
}

void Draw(const OpenDialog& open) {
  Display* display = x11.display;
  const Window xid = PresenterNativeWindow(open.dialog);
  if (display == nullptr || xid == 0) return;
  const unsigned fullWidth = static_cast<unsigned>(open.width);
  XSetForeground(display, open.gc, PixelOf(display, kFaceColour));
  XFillRectangle(display, xid, open.gc, 0, 0, fullWidth, static_cast<unsigned>(open.height + kCaptionHeight));
  XSetForeground(display, open.gc, PixelOf(display, kCaptionColour));
  XFillRectangle(display, xid, open.gc, 0, 0, fullWidth, kCaptionHeight);
  XSetForeground(display, open.gc, PixelOf(display, kCaptionTextColour));
  const int captionBaseline = (kCaptionHeight + open.font->ascent - open.font->descent) / 2;
  XDrawString(display, xid, open.gc, kMargin / 2, captionBaseline, open.caption.c_str(),
              static_cast<int>(open.caption.size()));

  XSetForeground(display, open.gc, PixelOf(display, kTextColour));
  int baseline = kCaptionHeight + kMargin + open.font->ascent;
  for (const std::string& line : WrapText(open, std::max(open.width - 2 * kMargin, 1))) {
    XDrawString(display, xid, open.gc, kMargin, baseline, line.c_str(), static_cast<int>(line.size()));
    baseline += open.font->ascent + open.font->descent;
  }
  for (const Button& button : open.buttons) {
    const int top = kCaptionHeight + button.y;
    const unsigned width = static_cast<unsigned>(std::max(button.width - 1, 1));
    const unsigned height = static_cast<unsigned>(std::max(button.height - 1, 1));
    XDrawRectangle(display, xid, open.gc, button.x, top, width, height);
    if (button.isDefault && width > 2 && height > 2) XDrawRectangle(display, xid, open.gc, button.x + 1, top + 1, width - 2, height - 2);
    DrawCentred(display, xid, open, button.label, button.x, top, button.width, button.height);
  }
  XFlush(display);
}

// A message panel: black like the saver around a box with the caption strip and the text, each
// line centred, the box centred in the window (its top kept in view when the window is small).
void DrawPanel(const OpenDialog& open) {
  Display* display = x11.display;
  const Window xid = PresenterNativeWindow(open.dialog);
  if (display == nullptr || xid == 0) return;
  XSetForeground(display, open.gc, BlackPixel(display, DefaultScreen(display)));
  XFillRectangle(display, xid, open.gc, 0, 0, static_cast<unsigned>(open.width), static_cast<unsigned>(open.height));
  const int boxWidth = std::max(std::min(open.width - 2 * kPanelInset, kPanelWidth), 2 * kMargin + 1);
  const std::vector<std::string> lines = WrapText(open, boxWidth - 2 * kMargin);
  const int lineHeight = open.font->ascent + open.font->descent;
  const int boxHeight = kCaptionHeight + 2 * kMargin + static_cast<int>(lines.size()) * lineHeight;
  const int left = (open.width - boxWidth) / 2;
  const int top = std::max((open.height - boxHeight) / 2, 0);
  XSetForeground(display, open.gc, PixelOf(display, kFaceColour));
  XFillRectangle(display, xid, open.gc, left, top, static_cast<unsigned>(boxWidth), static_cast<unsigned>(boxHeight));
  XSetForeground(display, open.gc, PixelOf(display, kCaptionColour));
  XFillRectangle(display, xid, open.gc, left, top, static_cast<unsigned>(boxWidth), kCaptionHeight);
  XSetForeground(display, open.gc, PixelOf(display, kCaptionTextColour));
  DrawCentred(display, xid, open, open.caption, left, top, boxWidth, kCaptionHeight);
  XSetForeground(display, open.gc, PixelOf(display, kTextColour));
  int lineTop = top + kCaptionHeight + kMargin;
  for (const std::string& line : lines) {
    DrawCentred(display, xid, open, line, left, lineTop, boxWidth, lineHeight);
    lineTop += lineHeight;
  }
  XFlush(display);
}

void PostCommand(HWND dialog, int id) { x11.sink->command(dialog, id); }

void OnKey(const OpenDialog& open, XKeyEvent& key) {
  switch (XLookupKeysym(&key, 0)) {
    case XK_Return:
    case XK_KP_Enter:
      PostCommand(open.dialog, IDOK);
      break;
    case XK_Escape:
      PostCommand(open.dialog, IDCANCEL);
      break;
    case XK_F1:
      x11.sink->post(open.dialog, WM_HELP, 0, 0);
      break;
    default:
      break;
  }
}

void OnClick(const OpenDialog& open, const XButtonEvent& click) {
  if (click.button != Button1) return;
  for (const Button& button : open.buttons) {
    const int top = kCaptionHeight + button.y;
    if (click.x >= button.x && click.x < button.x + button.width && click.y >= top && click.y < top + button.height) {
      PostCommand(open.dialog, button.id);
      return;
    }
  }
}

// The drawing context and the font; false when the server offers no font at all.
bool LoadFont(Display* display, Window xid, OpenDialog& open) {
  open.gc = XCreateGC(display, xid, 0, nullptr);
  open.font = XLoadQueryFont(display, "fixed");
  open.fontLoaded = open.font != nullptr;
  if (open.font == nullptr) open.font = XQueryFont(display, XGContextFromGC(open.gc));
  if (open.font == nullptr) {
    XFreeGC(display, open.gc);
    return false;
  }
  if (open.fontLoaded) XSetFont(display, open.gc, open.font->fid);
  return true;
}

}  // namespace

bool PresenterOpenDialog(HWND dialog, HWND owner, const char* caption, const char* text, const DialogButton* buttons,
                         int buttonCount, int width, int height) {
  Display* display = x11.display;
  const Window xid = PresenterNativeWindow(dialog);
  if (display == nullptr || xid == 0 || FindDialog(dialog) != nullptr) return false;
  OpenDialog open{dialog, owner, caption != nullptr ? caption : "", text != nullptr ? text : "", {},
                  std::max(width, 1), std::max(height, 1), nullptr, false, nullptr};
  for (int i = 0; i < buttonCount && buttons != nullptr; ++i) {
    const DialogButton& b = buttons[i];
    open.buttons.push_back(Button{b.id, WithoutMnemonic(b.text), b.x, b.y, b.width, b.height, b.isDefault});
  }
  if (!LoadFont(display, xid, open)) return false;
  dialogs.push_back(open);

  PresenterMakeDialog(dialog);
  PresenterBlockInput(owner, true);
  const int screen = DefaultScreen(display);
  const int totalHeight = open.height + kCaptionHeight;
  XStoreName(display, xid, open.caption.c_str());
  XMoveResizeWindow(display, xid, (DisplayWidth(display, screen) - open.width) / 2,
                    (DisplayHeight(display, screen) - totalHeight) / 2, static_cast<unsigned>(open.width),
                    static_cast<unsigned>(totalHeight));
  XSetWindowBackground(display, xid, PixelOf(display, kFaceColour));
  XRaiseWindow(display, xid);
  XClearArea(display, xid, 0, 0, 0, 0, True);
  PresenterFocus(dialog);
  return true;
}

bool PresenterShowMessagePanel(HWND panel, const char* caption, const char* text, int width, int height) {
  Display* display = x11.display;
  const Window xid = PresenterNativeWindow(panel);
  if (display == nullptr || xid == 0 || FindDialog(panel) != nullptr) return false;
  OpenDialog open{panel, nullptr, caption != nullptr ? caption : "", text != nullptr ? text : "", {},
                  std::max(width, 1), std::max(height, 1), nullptr, false, nullptr, true};
  if (!LoadFont(display, xid, open)) return false;
  dialogs.push_back(open);
  PresenterMakeDialog(panel);
  XClearArea(display, xid, 0, 0, 0, 0, True);  // drawn on its Expose, as after every later one
  XFlush(display);
  return true;
}

namespace {

void FreeDrawing(Display* display, OpenDialog& open) {
  if (open.fontLoaded) {
    XFreeFont(display, open.font);
  } else {
    XFreeFontInfo(nullptr, open.font, 1);
  }
  XFreeGC(display, open.gc);
}

}  // namespace

void PresenterCloseDialog(HWND dialog) {
  Display* display = x11.display;
  OpenDialog* open = FindDialog(dialog);
  if (display == nullptr || open == nullptr) return;
  FreeDrawing(display, *open);
  const HWND owner = open->owner;
  dialogs.erase(dialogs.begin() + (open - dialogs.data()));
  PresenterBlockInput(owner, false);
  // The keyboard goes back to the owner, as when a modal dialog ends on Windows.
  PresenterFocus(owner);
}

void DialogsForgetDisplay(Display* display) {
  for (OpenDialog& open : dialogs) FreeDrawing(display, open);
  dialogs.clear();
}

void DialogHandleEvent(HWND dialog, const XEvent& event) {
  const OpenDialog* open = FindDialog(dialog);
  if (open == nullptr) return;
  XEvent copy = event;
  if (event.type == Expose && event.xexpose.count == 0) open->panel ? DrawPanel(*open) : Draw(*open);
  if (event.type == KeyPress) OnKey(*open, copy.xkey);
  if (event.type == ButtonPress) OnClick(*open, event.xbutton);
}
