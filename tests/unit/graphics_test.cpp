// Drawing tools, their shared caches and the canvas, on real device contexts under Wine.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "framework/WinHandles.h"
#include "graphics/Graphics.h"

namespace {

class GraphicsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { StartGraphics(); }
  void TearDown() override { StopGraphics(); }
};
const auto* const graphicsEnvironment = ::testing::AddGlobalTestEnvironment(new GraphicsEnvironment);

// A 24-bit memory bitmap selected into its own memory context.
class MemoryBitmap {
 public:
  MemoryBitmap(int width, int height)
      : dc_(CreateCompatibleDC(ScreenDeviceContext)), bitmap_(MakeBitmap(dc_.Get(), width, height)),
        selected_(dc_.Get(), bitmap_.Get()) {
    PatBlt(dc_.Get(), 0, 0, width, height, WHITENESS);
  }
  HDC Dc() const { return dc_.Get(); }
  COLORREF Pixel(int x, int y) const { return GetPixel(dc_.Get(), x, y); }

 private:
  static HBITMAP MakeBitmap(HDC dc, int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  }

  TMemoryDC dc_;
  TGdiObject<HBITMAP> bitmap_;
  TSelectedObject selected_;  // after the bitmap: put down before it is deleted
};

// A canvas that gets its context on demand, like the control and bitmap canvases.
class ContextCanvas : public TCanvas {
 public:
  explicit ContextCanvas(HDC supply) : supply_(supply) {}
  void CreateContext() override {
    ++created;
    SetContext(supply_);
  }
  int created = 0;

 private:
  HDC supply_;
};

struct ChangeCounter : TObject {
  void Changed(TObject* sender) {
    ++count;
    last = sender;
  }
  int count = 0;
  TObject* last = nullptr;
};

TNotifyEvent Watch(ChangeCounter& counter) {
  TNotifyEvent event;
  event.Bind<&ChangeCounter::Changed>(&counter);
  return event;
}

// ---- Records and helpers ----

TEST(Records, LayoutsAreExact) {
  EXPECT_EQ(offsetof(FontRecord, Height), 4u);
  EXPECT_EQ(offsetof(FontRecord, Style), 8u);
  EXPECT_EQ(offsetof(FontRecord, Charset), 9u);
  EXPECT_EQ(offsetof(FontRecord, FaceName), 10u);
  EXPECT_EQ(sizeof(FontRecord), 44u);
  EXPECT_EQ(offsetof(PenRecord, Width), 8u);
  EXPECT_EQ(offsetof(BrushRecord, Style), 8u);
  EXPECT_EQ(sizeof(ResourceEntry), 16u);
}

TEST(Records, HashRotatesWithinSixteenBits) {
  const uint8_t two[] = {1, 2};
  EXPECT_EQ(HashRecord(two, 2), (1 << 5) ^ 2);
  // 0x80 rotated three times by 5: 0x1000, then wraps round to 0x0002, then 0x0040.
  const uint8_t wrap[] = {0x80, 0, 0, 0};
  EXPECT_EQ(HashRecord(wrap, 4), 0x0040);
  EXPECT_EQ(HashRecord(wrap, 0), 0);
  // Byte order matters.
  const uint8_t ab[] = {'a', 'b'}, ba[] = {'b', 'a'};
  EXPECT_NE(HashRecord(ab, 2), HashRecord(ba, 2));
}

TEST(Colors, SystemColoursAreResolvedAtUse) {
  EXPECT_EQ(ResolveColor(static_cast<TColor>(0x80000010u)), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(ResolveColor(clBtnFace), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(ResolveColor(0x00FF0000), 0x00FF0000u);
  EXPECT_EQ(ResolveColor(0), 0u);
}

TEST(StartUp, DefaultFontComesFromTheMessageFont) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = 340;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0));
  EXPECT_EQ(DefaultFontRecord.Height, metrics.lfMessageFont.lfHeight);
  EXPECT_EQ(DefaultFontRecord.Charset, 1);
  EXPECT_EQ(DefaultFontRecord.Style, 0);
  EXPECT_EQ(DefaultFontRecord.Handle, 0u);
  const uint8_t length = static_cast<uint8_t>(DefaultFontRecord.FaceName[0]);
  EXPECT_EQ(std::string(DefaultFontRecord.FaceName + 1, length), std::string(metrics.lfMessageFont.lfFaceName));
  for (size_t i = 1 + length; i < sizeof DefaultFontRecord.FaceName; ++i) ASSERT_EQ(DefaultFontRecord.FaceName[i], 0);
  EXPECT_EQ(DefaultFontRecord.Reserved[0], 0);
  EXPECT_EQ(ScreenPixelsPerInch, GetDeviceCaps(ScreenDeviceContext, LOGPIXELSY));
  EXPECT_EQ(NeutralFont, GetStockObject(SYSTEM_FONT));
  EXPECT_EQ(NeutralBrush, GetStockObject(NULL_BRUSH));
  EXPECT_EQ(NeutralPen, GetStockObject(BLACK_PEN));
  // Repeated start-up is counted, not redone.
  HDC screen = ScreenDeviceContext;
  StartGraphics();
  StopGraphics();
  EXPECT_EQ(ScreenDeviceContext, screen);
  EXPECT_NE(FontCache, nullptr);
}

// ---- Fonts ----

TEST(Font, SameDescriptionSharesOneHandle) {
  TFont a, b;
  a.SetFontHeight(-23);
  a.SetFaceName("Arial");
  b.SetFaceName("Arial");
  b.SetFontHeight(-23);
  EXPECT_EQ(a.Entry, b.Entry);
  EXPECT_EQ(a.Entry->RefCount, 2);
  HFONT shared = a.FetchHandle();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(b.FetchHandle(), shared);

  b.SetStyle(fsBold);
  EXPECT_NE(a.Entry, b.Entry);
  EXPECT_EQ(a.Entry->RefCount, 1);
  EXPECT_EQ(a.FetchHandle(), shared);
  EXPECT_EQ(GetObjectType(shared), static_cast<DWORD>(OBJ_FONT));  // still alive
  HFONT bold = b.FetchHandle();
  EXPECT_NE(bold, shared);
  LOGFONTA described{};
  ASSERT_GT(GetObjectA(bold, sizeof described, &described), 0);
  EXPECT_EQ(described.lfWeight, FW_BOLD);
  EXPECT_EQ(described.lfHeight, -23);
  EXPECT_STREQ(described.lfFaceName, "Arial");
  EXPECT_EQ(described.lfCharSet, DEFAULT_CHARSET);
}

TEST(Font, LastUserReleasesThePlatformFont) {
  HFONT handle;
  const int32_t entries = FontCache->EntryCount();
  {
    TFont font;
    font.SetFontHeight(-71);
    EXPECT_EQ(FontCache->EntryCount(), entries + 1);
    handle = font.FetchHandle();
    ASSERT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_FONT));
  }
  EXPECT_EQ(GetObjectType(handle), 0u);
  EXPECT_EQ(FontCache->EntryCount(), entries);
}

TEST(Font, UnchangedHeightSendsNoNoticeAndTheCanvasKeepsItSelected) {
  MemoryBitmap bitmap(8, 8);
  ContextCanvas canvas(bitmap.Dc());
  ChangeCounter counter;
  TNotifyEvent canvasHandler = canvas.Font->ChangeHandler;
  canvas.MeasureText(WideString(W_("0")));
  ASSERT_TRUE(canvas.State & csFontSelected);
  HFONT selected = canvas.Font->FetchHandle();
  EXPECT_EQ(GetCurrentObject(bitmap.Dc(), OBJ_FONT), selected);

  ResourceEntry* entry = canvas.Font->Entry;
  canvas.Font->SetFontHeight(canvas.Font->Height());
  EXPECT_EQ(canvas.Font->Entry, entry);
  EXPECT_TRUE(canvas.State & csFontSelected);
  EXPECT_EQ(GetCurrentObject(bitmap.Dc(), OBJ_FONT), selected);

  // With a counting handler in place of the canvas's: none for the same height, one for another.
  canvas.Font->ChangeHandler = Watch(counter);
  canvas.Font->SetFontHeight(canvas.Font->Height());
  EXPECT_EQ(counter.count, 0);
  canvas.Font->SetFontHeight(canvas.Font->Height() - 5);
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(counter.last, canvas.Font);
  canvas.Font->SetToolColor(canvas.Font->Color);  // same colour: nothing
  EXPECT_EQ(counter.count, 1);
  canvas.Font->ChangeHandler = canvasHandler;

  // A real change with the canvas listening: the neutral font goes in until the next use.
  canvas.Font->SetFontHeight(canvas.Font->Height() - 3);
  EXPECT_FALSE(canvas.State & csFontSelected);
  EXPECT_EQ(GetCurrentObject(bitmap.Dc(), OBJ_FONT), NeutralFont);
  canvas.MeasureTextHeight(WideString(W_("0")));
  EXPECT_EQ(GetCurrentObject(bitmap.Dc(), OBJ_FONT), canvas.Font->FetchHandle());
}

TEST(Font, FaceNamesAreCutToThirtyOneCharacters) {
  TFont font;
  ChangeCounter counter;
  font.ChangeHandler = Watch(counter);
  ResourceEntry* entry = font.Entry;
  const AnsiString before = font.FaceName();
  font.SetFaceName("");
  EXPECT_EQ(font.Entry, entry);
  EXPECT_EQ(font.FaceName(), before);
  EXPECT_EQ(counter.count, 0);

  const AnsiString forty = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
  ASSERT_EQ(forty.size(), 40u);
  font.SetFaceName(forty);
  EXPECT_EQ(counter.count, 1);
  EXPECT_EQ(font.FaceName(), forty.substr(0, 31));
  const FontRecord& r = font.Record();
  EXPECT_EQ(static_cast<uint8_t>(r.FaceName[0]), 31);
  EXPECT_EQ(std::memcmp(r.FaceName + 1, forty.data(), 31), 0);
  EXPECT_EQ(r.Reserved[0], 0);
  EXPECT_EQ(r.Reserved[1], 0);
  LOGFONTA described{};
  ASSERT_GT(GetObjectA(font.FetchHandle(), sizeof described, &described), 0);
  EXPECT_EQ(std::string(described.lfFaceName), forty.substr(0, 31));

  // A shorter name after a longer one leaves no trailing bytes behind: same key as a fresh font.
  TFont fresh;
  font.SetFaceName("Tahoma");
  fresh.SetFaceName("Tahoma");
  EXPECT_EQ(font.Entry, fresh.Entry);
}

TEST(Font, CopyFromAnotherPixelDensityKeepsThePointSize) {
  TFont source, target;
  source.FontDpi = 96;
  source.SetPointSize(10);
  EXPECT_EQ(source.Height(), -13);
  source.SetToolColor(0x00123456);

  target.FontDpi = 144;
  ChangeCounter counter;
  target.ChangeHandler = Watch(counter);
  target.CopyFrom(&source);
  EXPECT_EQ(target.PointSize(), 10);
  EXPECT_EQ(target.Height(), -20);  // -MulDiv(10, 144, 72)
  EXPECT_EQ(target.Color, 0x00123456);
  EXPECT_EQ(target.FaceName(), source.FaceName());
  EXPECT_GE(counter.count, 1);

  // At the same density the description itself is shared.
  TFont twin;
  twin.FontDpi = 96;
  twin.CopyFrom(&source);
  EXPECT_EQ(twin.Entry, source.Entry);
  EXPECT_EQ(twin.Height(), -13);
}

// ---- Pens and brushes ----

TEST(Pen, NegativeWidthIsIgnoredAndZeroAccepted) {
  TPen pen;
  ChangeCounter counter;
  pen.ChangeHandler = Watch(counter);
  ResourceEntry* entry = pen.Entry;
  ASSERT_EQ(pen.Width(), 1);
  EXPECT_EQ(pen.Color(), clBlack);
  pen.SetPenWidth(-1);
  EXPECT_EQ(pen.Entry, entry);
  EXPECT_EQ(pen.Width(), 1);
  EXPECT_EQ(counter.count, 0);
  pen.SetPenWidth(0);
  EXPECT_EQ(pen.Width(), 0);
  EXPECT_EQ(counter.count, 1);
  pen.SetPenWidth(0);
  EXPECT_EQ(counter.count, 1);
  LOGPEN described{};
  ASSERT_GT(GetObjectW(pen.FetchHandle(), sizeof described, &described), 0);
  EXPECT_EQ(described.lopnWidth.x, 0);
  EXPECT_EQ(described.lopnStyle, static_cast<UINT>(PS_SOLID));
}

TEST(Brush, CopyFromSharesTheEntryAndColoursResolveAtCreation) {
  TBrush a, b;
  EXPECT_EQ(a.Color(), clWhite);
  a.SetToolColor(clBtnShadow);
  b.CopyFrom(&a);
  EXPECT_EQ(b.Entry, a.Entry);
  LOGBRUSH described{};
  ASSERT_GT(GetObjectW(a.FetchHandle(), sizeof described, &described), 0);
  EXPECT_EQ(described.lbColor, GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(described.lbStyle, static_cast<UINT>(BS_SOLID));
  EXPECT_EQ(b.FetchHandle(), a.FetchHandle());
}

// A change handler that fails, as a canvas's could.
struct FailingHandler : TObject {
  void Changed(TObject*) { throw Exception("change handler failed"); }
};

// The reference a tool held on its previous description is dropped even when the change notice throws: the
// last user gone, the platform object goes with it.
TEST(Caches, AThrowingChangeHandlerLeavesNoReferenceBehind) {
  const struct {
    const char* change;
    TResourceManager* (*cache)();
    void (*apply)(TFont& font, TBrush& brush);
  } cases[] = {
      {"font height (replaced)", [] { return FontCache; }, [](TFont& f, TBrush&) { f.SetFontHeight(-58); }},
      {"brush copied (shared)", [] { return BrushCache; },
       [](TFont&, TBrush& b) {
         TBrush source;
         source.SetToolColor(0x00600060);
         b.CopyFrom(&source);
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.change);
    const int32_t entriesBefore = row.cache()->EntryCount();
    {
      TFont font;  // descriptions no other test uses, so each entry has this one user
      font.SetFontHeight(-57);
      TBrush brush;
      brush.SetToolColor(0x00570057);
      const HGDIOBJ oldHandle = row.cache() == FontCache ? static_cast<HGDIOBJ>(font.FetchHandle())
                                                          : static_cast<HGDIOBJ>(brush.FetchHandle());
      ASSERT_NE(GetObjectType(oldHandle), 0u);
      FailingHandler failing;
      font.ChangeHandler.Bind<&FailingHandler::Changed>(&failing);
      brush.ChangeHandler.Bind<&FailingHandler::Changed>(&failing);
      EXPECT_THROW(row.apply(font, brush), Exception);
      EXPECT_EQ(GetObjectType(oldHandle), 0u);  // deleted with its last reference
      EXPECT_EQ(row.cache()->EntryCount(), entriesBefore + 1);  // only the tool's new description
    }
    EXPECT_EQ(row.cache()->EntryCount(), entriesBefore);
  }
}

// ---- System colours ----

// Sets one system colour for the length of a test and puts the old one back.
class SystemColorOverride {
 public:
  SystemColorOverride(int index, COLORREF color) : index_(index), saved_(GetSysColor(index)) {
    SetSysColors(1, &index_, &color);
  }
  SystemColorOverride(const SystemColorOverride&) = delete;
  SystemColorOverride& operator=(const SystemColorOverride&) = delete;
  ~SystemColorOverride() {
    SetSysColors(1, &index_, &saved_);
    SystemColorsChanged();
  }

 private:
  int index_;
  COLORREF saved_;
};

// Pens, brushes and text in a system colour follow the system's colour once it changes, even on a canvas
// that keeps its context and its tools selected.
TEST(SystemColors, ToolsFollowTheSystemColoursWhenTheyChange) {
  const COLORREF changed = RGB(12, 34, 56);
  const struct {
    const char* tool;
    int index;  // the system colour of the tool, and the one changed
    void (*set)(TCanvas&, TColor);
    COLORREF (*draw)(TCanvas&, const MemoryBitmap&);  // draws, answers the colour that landed
  } cases[] = {
      {"pen in button shadow", COLOR_BTNSHADOW, [](TCanvas& c, TColor k) { c.Pen->SetToolColor(k); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.MovePenTo(0, 3);
         c.DrawLineTo(16, 3);
         return b.Pixel(8, 3);
       }},
      {"brush in button face", COLOR_BTNFACE, [](TCanvas& c, TColor k) { c.Brush->SetToolColor(k); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.FillRectangle(RECT{0, 8, 16, 16});
         return b.Pixel(8, 12);
       }},
      {"font in window text", COLOR_WINDOWTEXT, [](TCanvas& c, TColor k) { c.Font->SetToolColor(k); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.MeasureText(WideString(W_("M")));
         return GetTextColor(b.Dc());
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.tool);
    MemoryBitmap bitmap(16, 16);
    ContextCanvas canvas(bitmap.Dc());
    row.set(canvas, SystemColor(row.index));
    ASSERT_NE(GetSysColor(row.index), changed);
    EXPECT_EQ(row.draw(canvas, bitmap), GetSysColor(row.index));
    {
      SystemColorOverride override(row.index, changed);
      ASSERT_EQ(GetSysColor(row.index), changed);
      SystemColorsChanged();
      EXPECT_EQ(row.draw(canvas, bitmap), changed);
    }
  }
}

// ---- Canvas ----

TEST(Canvas, StrokePolylineTakesTheLastIndex) {
  const POINT points[] = {{2, 2}, {20, 2}, {20, 20}, {2, 20}};
  const COLORREF black = RGB(0, 0, 0), white = RGB(255, 255, 255);
  {
    MemoryBitmap bitmap(32, 32);
    ContextCanvas canvas(bitmap.Dc());
    canvas.StrokePolyline(points, 2);  // three points: two segments
    EXPECT_EQ(canvas.created, 1);
    EXPECT_EQ(bitmap.Pixel(10, 2), black);
    EXPECT_EQ(bitmap.Pixel(20, 10), black);
    EXPECT_EQ(bitmap.Pixel(10, 20), white);
    EXPECT_EQ(bitmap.Pixel(2, 10), white);
  }
  {
    MemoryBitmap bitmap(32, 32);
    ContextCanvas canvas(bitmap.Dc());
    canvas.StrokePolyline(points, 3);
    EXPECT_EQ(bitmap.Pixel(10, 20), black);
    EXPECT_EQ(bitmap.Pixel(2, 10), white);
  }
}

TEST(Canvas, PenPositionSurvivesAContextChange) {
  MemoryBitmap first(16, 16), second(16, 16);
  ContextCanvas canvas(first.Dc());
  canvas.MovePenTo(7, 9);
  canvas.DrawLineTo(11, 9);  // selects the pen; the position is now (11, 9)
  ASSERT_TRUE(canvas.State & csPenSelected);
  canvas.SetContext(second.Dc());
  // The old context got the neutral objects back.
  EXPECT_EQ(GetCurrentObject(first.Dc(), OBJ_PEN), NeutralPen);
  EXPECT_EQ(GetCurrentObject(first.Dc(), OBJ_BRUSH), NeutralBrush);
  EXPECT_EQ(GetCurrentObject(first.Dc(), OBJ_FONT), NeutralFont);
  EXPECT_FALSE(canvas.State & csPenSelected);
  POINT at{};
  GetCurrentPositionEx(second.Dc(), &at);
  EXPECT_EQ(at.x, 11);
  EXPECT_EQ(at.y, 9);

  // Without a context the position is kept in the canvas and applied to the next one.
  canvas.SetContext(nullptr);
  EXPECT_EQ(canvas.Handle, nullptr);
  EXPECT_FALSE(canvas.State & csHasContext);
  EXPECT_EQ(canvas.PenPosition.x, 11);
  MoveToEx(first.Dc(), 0, 0, nullptr);
  canvas.SetContext(first.Dc());
  GetCurrentPositionEx(first.Dc(), &at);
  EXPECT_EQ(at.x, 11);
  EXPECT_EQ(at.y, 9);
  const POINT read = canvas.ReadPenPosition();
  EXPECT_EQ(read.x, 11);
}

TEST(Canvas, FillUsesTheBrushColourAndTextUsesTheFont) {
  MemoryBitmap bitmap(16, 16);
  ContextCanvas canvas(bitmap.Dc());
  canvas.Brush->SetToolColor(0x000000FF);
  const RECT area{0, 0, 8, 8};
  canvas.FillRectangle(area);
  EXPECT_EQ(bitmap.Pixel(4, 4), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.Pixel(12, 12), RGB(255, 255, 255));
  EXPECT_EQ(GetBkColor(bitmap.Dc()), RGB(255, 0, 0));
  EXPECT_EQ(GetBkMode(bitmap.Dc()), OPAQUE);

  // A brush change deselects it; the next fill selects the new one.
  canvas.Brush->SetToolColor(0x0000FF00);
  EXPECT_FALSE(canvas.State & csBrushSelected);
  EXPECT_EQ(GetCurrentObject(bitmap.Dc(), OBJ_BRUSH), NeutralBrush);
  canvas.FillRectangle(area);
  EXPECT_EQ(bitmap.Pixel(4, 4), RGB(0, 255, 0));

  canvas.Font->SetToolColor(clBtnShadow);
  const SIZE size = canvas.MeasureText(WideString(W_("MMMM")));
  EXPECT_GT(size.cx, 0);
  EXPECT_GT(size.cy, 0);
  EXPECT_EQ(GetTextColor(bitmap.Dc()), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(canvas.MeasureTextWidth(WideString(W_("MMMM"))), size.cx);
  EXPECT_GT(size.cx, canvas.MeasureTextWidth(WideString(W_("M"))));
}

TEST(Canvas, MissingContextRaisesNothingAndIsAskedForAgain) {
  ContextCanvas canvas(nullptr);
  canvas.DrawLineTo(5, 5);
  EXPECT_EQ(canvas.created, 1);
  EXPECT_EQ(canvas.Handle, nullptr);
  EXPECT_EQ(canvas.State, 0);  // nothing was selected, so nothing is recorded
  canvas.DrawLineTo(6, 6);
  EXPECT_EQ(canvas.created, 2);  // a context may be there by now
}

// A tool set while the canvas had no context is the one that draws once a real context arrives.
TEST(Canvas, ToolsUsedWithoutAContextAreSelectedIntoTheNextOne) {
  const COLORREF red = RGB(255, 0, 0);
  const struct {
    const char* tool;
    void (*setRed)(TCanvas&);
    COLORREF (*draw)(TCanvas&, const MemoryBitmap&);  // draws, answers the colour that landed
  } cases[] = {
      {"pen", [](TCanvas& c) { c.Pen->SetToolColor(0x0000FF); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.MovePenTo(1, 4);
         c.DrawLineTo(14, 4);
         return b.Pixel(7, 4);
       }},
      {"brush", [](TCanvas& c) { c.Brush->SetToolColor(0x0000FF); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.FillRectangle(RECT{2, 2, 10, 10});
         return b.Pixel(5, 5);
       }},
      {"font", [](TCanvas& c) { c.Font->SetToolColor(0x0000FF); },
       [](TCanvas& c, const MemoryBitmap& b) {
         c.MeasureText(WideString(W_("M")));
         return GetTextColor(b.Dc());
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.tool);
    MemoryBitmap bitmap(16, 16);
    ContextCanvas canvas(nullptr);
    row.setRed(canvas);
    row.draw(canvas, bitmap);  // no context: lands nowhere
    canvas.SetContext(bitmap.Dc());
    EXPECT_EQ(row.draw(canvas, bitmap), red);
  }
}

class FixedGraphic : public TGraphic {
 public:
  void DrawInto(TCanvas* canvas, const RECT& rect) override {
    ++draws;
    target = rect;
    textColor = GetTextColor(canvas->Handle);
    backColor = GetBkColor(canvas->Handle);
  }
  int32_t PixelHeight() override { return 5; }
  int32_t PixelWidth() override { return 7; }
  void LoadFromStream(TStream*) override {}
  int draws = 0;
  RECT target{};
  COLORREF textColor = 0, backColor = 0;
};

TEST(Canvas, DrawGraphicSetsColoursAndPassesItsRectangle) {
  MemoryBitmap bitmap(16, 16);
  ContextCanvas canvas(bitmap.Dc());
  canvas.DrawGraphic(1, 1, nullptr);
  EXPECT_EQ(canvas.created, 1);
  FixedGraphic graphic;
  canvas.Font->SetToolColor(0x00010203);
  canvas.Brush->SetToolColor(0x00040506);
  canvas.DrawGraphic(3, 4, &graphic);
  ASSERT_EQ(graphic.draws, 1);
  EXPECT_EQ(graphic.target.left, 3);
  EXPECT_EQ(graphic.target.top, 4);
  EXPECT_EQ(graphic.target.right, 10);
  EXPECT_EQ(graphic.target.bottom, 9);
  EXPECT_EQ(graphic.textColor, 0x00010203u);
  EXPECT_EQ(graphic.backColor, 0x00040506u);
}

}  // namespace
