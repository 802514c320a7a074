// The software GDI through the Windows entries: palettes, selections, handle accounting, drawing, blits.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "platform/test_hooks/test_hooks.h"
#include "platform/win32.h"
#include "tests/support/platform_test.h"

namespace {

using TestHooks::HandleKind;
using TestHooks::kNoPixel;

constexpr uint32_t kWhite = 0xFFFFFFu;
constexpr uint32_t kBlack = 0x000000u;
constexpr uint32_t kRed = 0xFF0000u;
constexpr UINT kGdiError = 0xFFFFFFFFu;

class GdiTest : public PlatformTest {
 protected:

  // A memory context drawing on a fresh bitmap; both are freed by the platform reset.
  HDC MemoryDc(int width, int height) {
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, CreateCompatibleBitmap(dc, width, height));
    return dc;
  }

  void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
  }

  int Count(HDC dc, uint32_t pixel) {
    int n = 0;
    for (uint32_t p : TestHooks::DcPixels(dc).data) n += p == pixel;
    return n;
  }
};

// A palette of the given colours; the caller deletes it.
HPALETTE MakePalette(const std::vector<PALETTEENTRY>& colours) {
  std::vector<BYTE> storage(sizeof(LOGPALETTE) + colours.size() * sizeof(PALETTEENTRY));
  LOGPALETTE* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(colours.size());
  for (size_t i = 0; i < colours.size(); ++i) palette->palPalEntry[i] = colours[i];
  return CreatePalette(palette);
}

HWND MakeWindow(int width, int height) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "GdiTestClass";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, "GdiTestClass", "gdi", WS_POPUP, 0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

TEST_F(GdiTest, PaletteRelativeColoursSnapToTheNearestEntryOfTheSelectedPalette) {
  HDC dc = MemoryDc(1, 1);
  const RECT pixel = {0, 0, 1, 1};
  HPALETTE palette = MakePalette({{0, 0, 0, 0}, {200, 0, 0, 0}, {10, 100, 0, 0}, {30, 100, 0, 0}});
  SelectPalette(dc, palette, FALSE);
  Fill(dc, pixel, PALETTERGB(190, 10, 0));
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0xC80000u);
  Fill(dc, pixel, PALETTERGB(20, 100, 0));
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0x0A6400u) << "a tie goes to the first entry";
  Fill(dc, pixel, RGB(190, 10, 0));
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0xBE0A00u) << "plain colours are drawn as given";
  EXPECT_EQ(RealizePalette(dc), 0u) << "true-colour surfaces map nothing";
  EXPECT_EQ(RealizePalette(nullptr), kGdiError);
}

TEST_F(GdiTest, ANewContextMatchesAgainstTheDefaultPaletteAndFollowsPaletteChanges) {
  HDC dc = MemoryDc(1, 1);
  const RECT pixel = {0, 0, 1, 1};
  HBRUSH grey = CreateSolidBrush(PALETTERGB(100, 100, 100));
  FillRect(dc, &pixel, grey);
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0x808080u) << "nearest of the twenty default colours";

  HPALETTE dark = MakePalette({{0, 0, 0, 0}, {90, 90, 90, 0}});
  HPALETTE defaultPalette = SelectPalette(dc, dark, FALSE);
  FillRect(dc, &pixel, grey);
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0x5A5A5Au) << "the same brush, matched against the new palette";

  // A new palette may reuse the old one's slot; the match must not come from the old entries.
  SelectPalette(dc, defaultPalette, FALSE);
  ASSERT_TRUE(DeleteObject(dark));
  HPALETTE light = MakePalette({{110, 110, 110, 0}});
  SelectPalette(dc, light, FALSE);
  FillRect(dc, &pixel, grey);
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 0x6E6E6Eu);
  SelectPalette(dc, defaultPalette, FALSE);
  DeleteObject(light);
  DeleteObject(grey);
}

TEST_F(GdiTest, ANewMemoryContextHoldsTheStockDefaults) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(DcSelectedBrush(dc), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(DcSelectedPen(dc), GetStockObject(BLACK_PEN));
  EXPECT_NE(DcSelectedPalette(dc), nullptr);
  EXPECT_NE(TestHooks::PixelAt(dc, 0, 0), kNoPixel) << "a one-pixel bitmap";
  EXPECT_EQ(TestHooks::PixelAt(dc, 1, 0), kNoPixel);
  EXPECT_NE(GetStockObject(BLACK_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_NE(GetStockObject(NULL_BRUSH), nullptr);
  EXPECT_EQ(GetStockObject(99), nullptr);
  EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(uintptr_t{0x1234567})), nullptr) << "a forged context";
}

TEST_F(GdiTest, SelectObjectReturnsWhatWasSelectedAndLogsEachCall) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  TestHooks::ClearCallLog();
  HGDIOBJ defaultBitmap = SelectObject(dc, bitmap);
  EXPECT_NE(defaultBitmap, nullptr);
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, defaultBitmap), bitmap);
  HPALETTE palette = MakePalette({{1, 1, 1, 0}});
  EXPECT_EQ(SelectObject(dc, palette), nullptr) << "palettes go through SelectPalette";
  EXPECT_EQ(SelectObject(nullptr, brush), nullptr);

  const auto log = TestHooks::CallLogOf(TestHooks::LogKind::SelectObject);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].args[0], reinterpret_cast<intptr_t>(dc));
  EXPECT_EQ(log[0].args[1], reinterpret_cast<intptr_t>(bitmap));
  EXPECT_EQ(log[0].args[2], reinterpret_cast<intptr_t>(defaultBitmap));
  EXPECT_EQ(log[1].args[2], reinterpret_cast<intptr_t>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(log[4].args[2], 0) << "a refused selection logs no previous object";

  HPALETTE previous = SelectPalette(dc, palette, FALSE);
  const auto paletteLog = TestHooks::CallLogOf(TestHooks::LogKind::SelectPalette);
  ASSERT_EQ(paletteLog.size(), 1u);
  EXPECT_EQ(paletteLog[0].args[1], reinterpret_cast<intptr_t>(palette));
  EXPECT_EQ(paletteLog[0].args[2], reinterpret_cast<intptr_t>(previous));
  EXPECT_EQ(SelectPalette(dc, previous, FALSE), palette);
}

TEST_F(GdiTest, SelectedObjectsCannotBeDeletedButStockObjectsSurviveDeletion) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  HGDIOBJ white = SelectObject(dc, brush);
  EXPECT_FALSE(DeleteObject(brush)) << "still selected";
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Brush), 1);
  EXPECT_EQ(DcSelectedBrush(dc), brush);
  SelectObject(dc, white);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Brush), 0);
  EXPECT_FALSE(DeleteObject(brush)) << "a stale handle";
  EXPECT_EQ(SelectObject(dc, brush), nullptr) << "a stale handle";

  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
  EXPECT_EQ(DcSelectedBrush(dc), GetStockObject(WHITE_BRUSH));
  HDC target = MemoryDc(2, 2);
  const RECT all = {0, 0, 2, 2};
  EXPECT_EQ(FillRect(target, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 1);
  EXPECT_EQ(TestHooks::PixelAt(target, 1, 1), kWhite) << "the stock brush still works";

  HPALETTE palette = MakePalette({{1, 1, 1, 0}});
  HPALETTE defaultPalette = SelectPalette(dc, palette, FALSE);
  EXPECT_FALSE(DeleteObject(palette));
  SelectPalette(dc, defaultPalette, FALSE);
  EXPECT_TRUE(DeleteObject(palette));
  EXPECT_FALSE(DeleteObject(dc)) << "contexts are deleted with DeleteDC";
}

TEST_F(GdiTest, ABitmapLivesInOneContextAtATime) {
  HDC first = CreateCompatibleDC(nullptr);
  HDC second = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(first, 3, 3);
  HGDIOBJ firstDefault = SelectObject(first, bitmap);
  EXPECT_EQ(SelectObject(second, bitmap), nullptr);
  EXPECT_EQ(SelectObject(first, bitmap), bitmap) << "selecting it again where it is";
  SelectObject(first, firstDefault);
  EXPECT_NE(SelectObject(second, bitmap), nullptr) << "free again";
}

TEST_F(GdiTest, DeleteDcLetsGoOfItsSelections) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(5, 5, 5));
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 2, 2);
  SelectObject(dc, brush);
  SelectObject(dc, bitmap);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(GdiTest, TeardownInTheSceneOrderReleasesEveryHandle) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 16, 16);
  HGDIOBJ savedBitmap = SelectObject(dc, bitmap);
  HGDIOBJ savedBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
  HGDIOBJ savedPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  HPALETTE palette = MakePalette({{255, 0, 0, PC_RESERVED}, {0, 0, 0, PC_RESERVED}});
  HPALETTE savedPalette = SelectPalette(dc, palette, FALSE);
  HBRUSH brush = CreateSolidBrush(PALETTERGB(255, 0, 0));
  SelectObject(dc, brush);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::DC), 1);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Bitmap), 1);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Palette), 1);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Brush), 1);

  SelectObject(dc, savedBitmap);
  SelectObject(dc, savedBrush);
  SelectObject(dc, savedPen);
  SelectPalette(dc, savedPalette, FALSE);
  EXPECT_TRUE(DeleteObject(palette));
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_TRUE(DeleteObject(brush));
  for (HandleKind kind : {HandleKind::DC, HandleKind::Bitmap, HandleKind::Brush, HandleKind::Pen, HandleKind::Palette}) {
    EXPECT_EQ(TestHooks::LiveHandles(kind), 0) << static_cast<int>(kind);
  }
}

TEST_F(GdiTest, InjectedFailuresCreateNothing) {
  TestHooks::FailCall(TestHooks::Call::CreateSolidBrush);
  EXPECT_EQ(CreateSolidBrush(RGB(1, 1, 1)), nullptr);
  TestHooks::FailCall(TestHooks::Call::CreatePalette);
  EXPECT_EQ(MakePalette({{1, 1, 1, 0}}), nullptr);
  TestHooks::FailCall(TestHooks::Call::CreateCompatibleDC);
  EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
  TestHooks::FailCall(TestHooks::Call::CreateCompatibleBitmap, 2);
  HBITMAP first = CreateCompatibleBitmap(nullptr, 2, 2);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 2, 2), nullptr) << "the second call fails";
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Bitmap), 1);
  for (HandleKind kind : {HandleKind::DC, HandleKind::Brush, HandleKind::Palette}) {
    EXPECT_EQ(TestHooks::LiveHandles(kind), 0);
  }
  EXPECT_NE(CreateSolidBrush(RGB(1, 1, 1)), nullptr) << "only the one call fails";
}

TEST_F(GdiTest, BitmapSizesOutsideTheUsableRange) {
  HBITMAP empty = CreateCompatibleBitmap(nullptr, 0, 10);
  EXPECT_NE(empty, nullptr) << "an empty bitmap is the stock one-pixel bitmap";
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::Bitmap), 0);
  EXPECT_TRUE(DeleteObject(empty));
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, -1, 10), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, INT_MAX, INT_MAX), nullptr);
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
  EXPECT_EQ(MakePalette({}), nullptr);
}

TEST_F(GdiTest, PolygonFillsWithTheBrushAndOutlinesWithThePen) {
  HDC dc = MemoryDc(12, 10);
  Fill(dc, RECT{0, 0, 12, 10}, RGB(255, 0, 0));
  const POINT box[] = {{2, 2}, {8, 2}, {8, 6}, {2, 6}};
  ASSERT_TRUE(Polygon(dc, box, 4));
  EXPECT_EQ(Count(dc, kBlack), 20) << "the outline is the box's perimeter";
  EXPECT_EQ(Count(dc, kWhite), 15) << "the fill inside the outline";
  EXPECT_EQ(TestHooks::PixelAt(dc, 5, 4), kWhite);
  EXPECT_EQ(TestHooks::PixelAt(dc, 9, 4), kRed);

  Fill(dc, RECT{0, 0, 12, 10}, RGB(255, 0, 0));
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  ASSERT_TRUE(Polygon(dc, box, 4));
  EXPECT_EQ(Count(dc, kBlack), 20);
  EXPECT_EQ(Count(dc, kWhite), 0) << "the null brush fills nothing";
  EXPECT_EQ(TestHooks::PixelAt(dc, 5, 4), kRed);

  EXPECT_FALSE(Polygon(dc, box, 1));
  EXPECT_FALSE(Polygon(dc, nullptr, 4));
  EXPECT_FALSE(Polygon(nullptr, box, 4));
}

TEST_F(GdiTest, PolygonWithExtremeCoordinatesStaysOnItsSurface) {
  HDC dc = MemoryDc(30, 20);
  Fill(dc, RECT{0, 0, 30, 20}, RGB(255, 0, 0));
  const POINT huge[] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}};
  ASSERT_TRUE(Polygon(dc, huge, 4));
  EXPECT_EQ(Count(dc, kWhite), 30 * 20) << "filled edge to edge, the outline far outside";
  const POINT line[] = {{INT_MIN, 5}, {INT_MAX, 5}};
  ASSERT_TRUE(Polygon(dc, line, 2));
  EXPECT_EQ(Count(dc, kBlack), 30) << "only the visible part of the row";
  for (int x = 0; x < 30; ++x) EXPECT_EQ(TestHooks::PixelAt(dc, x, 5), kBlack);
}

TEST_F(GdiTest, FillRectClipsAndIgnoresTheNullBrush) {
  HDC dc = MemoryDc(8, 8);
  Fill(dc, RECT{-100, 6, 3, 1000}, RGB(255, 0, 0));
  EXPECT_EQ(Count(dc, kRed), 3 * 2);
  const RECT all = {0, 0, 8, 8};
  EXPECT_EQ(FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
  EXPECT_EQ(Count(dc, kRed), 3 * 2);
  EXPECT_EQ(FillRect(dc, nullptr, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
  EXPECT_EQ(FillRect(dc, &all, nullptr), 0);
}

TEST_F(GdiTest, BitBltCopiesTheOverlapOfBothSurfaces) {
  constexpr int kSource = 8, kTarget = 6;
  HDC source = MemoryDc(kSource, kSource);
  for (int y = 0; y < kSource; ++y) {
    for (int x = 0; x < kSource; ++x) Fill(source, RECT{x, y, x + 1, y + 1}, RGB(x, y, 7));
  }
  const struct {
    int x, y, width, height, sourceX, sourceY;
  } cases[] = {
      {0, 0, 8, 8, 0, 0}, {-2, 3, 5, 5, 1, -1}, {4, 4, 100, 100, 6, 6}, {1, 1, 3, 2, 2, 5}, {-50, -50, 5, 5, 0, 0},
  };
  for (const auto& c : cases) {
    HDC target = MemoryDc(kTarget, kTarget);
    Fill(target, RECT{0, 0, kTarget, kTarget}, RGB(255, 0, 0));
    ASSERT_TRUE(BitBlt(target, c.x, c.y, c.width, c.height, source, c.sourceX, c.sourceY, SRCCOPY));
    for (int y = 0; y < kTarget; ++y) {
      for (int x = 0; x < kTarget; ++x) {
        const int sx = x - c.x + c.sourceX, sy = y - c.y + c.sourceY;
        const bool copied = x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height && sx >= 0 &&
                            sx < kSource && sy >= 0 && sy < kSource;
        const uint32_t expected = copied ? (uint32_t(sx) << 16) | (uint32_t(sy) << 8) | 7u : kRed;
        ASSERT_EQ(TestHooks::PixelAt(target, x, y), expected) << c.x << "," << c.y << " at " << x << "," << y;
      }
    }
  }
  HDC target = MemoryDc(2, 2);
  EXPECT_FALSE(BitBlt(target, 0, 0, 2, 2, source, 0, 0, 0x00EE0086u)) << "only SRCCOPY";
  EXPECT_FALSE(BitBlt(target, 0, 0, 2, 2, nullptr, 0, 0, SRCCOPY));
  EXPECT_TRUE(BitBlt(target, 0, 0, -2, 2, source, 0, 0, SRCCOPY)) << "nothing to copy";
}

TEST_F(GdiTest, BitBltWithinOneSurfaceCopiesOverlappingRowsIntact) {
  HDC dc = MemoryDc(4, 6);
  for (int y = 0; y < 6; ++y) Fill(dc, RECT{0, y, 4, y + 1}, RGB(y, 0, 0));
  ASSERT_TRUE(BitBlt(dc, 1, 2, 3, 4, dc, 0, 0, SRCCOPY));
  for (int y = 2; y < 6; ++y) {
    EXPECT_EQ(TestHooks::PixelAt(dc, 1, y), uint32_t(y - 2) << 16) << y;
    EXPECT_EQ(TestHooks::PixelAt(dc, 0, y), uint32_t(y) << 16) << "left column untouched";
  }
  ASSERT_TRUE(BitBlt(dc, 0, 0, 4, 4, dc, 0, 2, SRCCOPY));
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 0), 2u << 16);
  EXPECT_EQ(TestHooks::PixelAt(dc, 0, 3), 5u << 16);

  // Whole rows, shifted down by one: each row takes the one above it.
  for (int y = 0; y < 6; ++y) Fill(dc, RECT{0, y, 4, y + 1}, RGB(y, 0, 0));
  ASSERT_TRUE(BitBlt(dc, 0, 1, 4, 5, dc, 0, 0, SRCCOPY));
  for (int y = 1; y < 6; ++y) EXPECT_EQ(TestHooks::PixelAt(dc, 3, y), uint32_t(y - 1) << 16) << y;
  EXPECT_EQ(TestHooks::PixelAt(dc, 3, 0), 0u);
}

TEST_F(GdiTest, AWindowKeepsOneContextOfItsClientSizeUntilItIsDestroyed) {
  HWND window = MakeWindow(40, 30);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDC(window), dc);
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  EXPECT_EQ(ReleaseDC(window, reinterpret_cast<HDC>(uintptr_t{77})), 0);
  const TestHooks::Pixels surface = TestHooks::WindowPixels(window);
  EXPECT_EQ(surface.width, 40);
  EXPECT_EQ(surface.height, 30);
  EXPECT_EQ(DcSelectedBitmap(dc), nullptr) << "a window context draws on the window";

  HDC back = MemoryDc(40, 30);
  Fill(back, RECT{10, 10, 20, 20}, RGB(0, 0, 255));
  ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 15, 15), 0x0000FFu);
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 5, 5), kBlack);
  EXPECT_EQ(TestHooks::WindowPixelAt(window, 40, 5), kNoPixel);

  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::DC), 2);
  DestroyWindow(window);
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::DC), 1) << "the window's context went with it";
  EXPECT_EQ(GetDC(window), nullptr);
  EXPECT_EQ(GetDC(nullptr), nullptr);
}

// A whole bitmap copied onto a whole window may trade pixels with it instead; whatever comes next,
// each surface must hold what a plain copy would have left.
TEST_F(GdiTest, AfterAWholeWindowCopyTheBitmapStillHoldsItsPicture) {
  HWND window = MakeWindow(40, 30);
  HDC dc = GetDC(window);
  HDC back = MemoryDc(40, 30);
  const RECT whole = {0, 0, 40, 30};
  Fill(back, RECT{0, 0, 10, 10}, RGB(255, 0, 0));
  ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
  EXPECT_EQ(Count(back, kRed), 100) << "read after the copy";
  Fill(dc, RECT{0, 0, 40, 5}, RGB(255, 255, 255));
  EXPECT_EQ(Count(back, kRed), 100) << "the window changed after the copy";
  EXPECT_EQ(Count(dc, kRed), 50);

  ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
  Fill(back, RECT{20, 20, 30, 30}, RGB(0, 0, 255));
  EXPECT_EQ(Count(back, kRed), 100) << "drawn on after the copy, without a clear";
  EXPECT_EQ(Count(back, 0x0000FFu), 100);
  EXPECT_EQ(Count(dc, 0x0000FFu), 0);

  ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
  FillRect(back, &whole, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(Count(back, kBlack), 40 * 30) << "cleared all over after the copy";
  EXPECT_EQ(Count(dc, kRed) + Count(dc, 0x0000FFu), 200);

  Fill(back, RECT{5, 5, 15, 15}, RGB(255, 0, 0));
  ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
  DestroyWindow(window);
  EXPECT_EQ(Count(back, kRed), 100) << "the window went after the copy";
  EXPECT_EQ(Count(back, kBlack), 40 * 30 - 100);
}

// On, the window takes the bitmap's pixels instead of a copy of them; off, it keeps its own. The
// picture is the same either way.
TEST_F(GdiTest, TheExchangeSwitchDecidesWhetherAWholeWindowCopyTradesPixels) {
  std::vector<uint32_t> shown[2];
  for (bool exchange : {true, false}) {
    ResetPlatform();
    Seam::SetSwitch(Seam::Switch::PixelExchange, exchange);
    HDC dc = GetDC(MakeWindow(40, 30));
    HDC back = MemoryDc(40, 30);
    Fill(back, RECT{5, 5, 25, 15}, RGB(255, 0, 0));
    Surface window{}, bitmap{};
    ASSERT_TRUE(DcSurface(dc, &window) && DcSurface(back, &bitmap));
    ASSERT_TRUE(BitBlt(dc, 0, 0, 40, 30, back, 0, 0, SRCCOPY));
    Surface after{};
    ASSERT_TRUE(DcSurface(dc, &after));
    EXPECT_EQ(after.pixels, exchange ? bitmap.pixels : window.pixels) << "exchange " << exchange;
    shown[exchange] = TestHooks::DcPixels(dc).data;
    EXPECT_EQ(Count(back, kRed), 200);
  }
  EXPECT_EQ(shown[true], shown[false]);
}

TEST_F(GdiTest, GetDcFailsWhenToldToOrWhenTheWindowIsTooLargeToHold) {
  HWND window = MakeWindow(8, 8);
  TestHooks::FailCall(TestHooks::Call::GetDC);
  EXPECT_EQ(GetDC(window), nullptr);
  EXPECT_NE(GetDC(window), nullptr);
  HWND huge = MakeWindow(100000, 100000);
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(GetDC(huge), nullptr) << "ten billion pixels are refused, not attempted";
  EXPECT_EQ(TestHooks::LiveHandles(HandleKind::DC), 1);
}

TEST_F(GdiTest, GetDIBitsCopiesScanLinesInEitherRowOrderAndRefusesWhatWouldNeedConversion) {
  constexpr int kWidth = 3, kHeight = 4;
  HDC dc = MemoryDc(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) Fill(dc, RECT{x, y, x + 1, y + 1}, RGB(x, y, 9));
  }
  HBITMAP bitmap = static_cast<HBITMAP>(DcSelectedBitmap(dc));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<RGBQUAD> bits(kWidth * kHeight);
  auto at = [&](int x, int line) { return bits[static_cast<size_t>(line * kWidth + x)]; };

  info.bmiHeader.biHeight = -kHeight;  // top-down: scan line n is row n
  ASSERT_EQ(GetDIBits(dc, bitmap, 0, kHeight, bits.data(), &info, DIB_RGB_COLORS), kHeight);
  EXPECT_EQ(at(2, 1).rgbRed, 2);
  EXPECT_EQ(at(2, 1).rgbGreen, 1);
  EXPECT_EQ(at(2, 1).rgbBlue, 9);
  info.bmiHeader.biHeight = kHeight;  // bottom-up: scan line 0 is the last row
  ASSERT_EQ(GetDIBits(dc, bitmap, 1, 10, bits.data(), &info, DIB_RGB_COLORS), kHeight - 1);
  EXPECT_EQ(at(1, 0).rgbGreen, kHeight - 2) << "scan line 1";
  EXPECT_EQ(at(1, 0).rgbRed, 1);

  BITMAPINFO narrow = info;
  narrow.bmiHeader.biWidth = kWidth - 1;
  BITMAPINFO shallow = info;
  shallow.bmiHeader.biBitCount = 24;
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, kHeight, bits.data(), &narrow, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(dc, bitmap, 0, kHeight, bits.data(), &shallow, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(dc, bitmap, kHeight, 1, bits.data(), &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(GetDIBits(dc, nullptr, 0, kHeight, bits.data(), &info, DIB_RGB_COLORS), 0);
}
