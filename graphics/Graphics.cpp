// Drawing tools with shared platform objects, the canvas, bitmaps and palettes, and the graphics start-up values.
#include "Graphics.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include "framework/WinHandles.h"

// ---- Process-wide values ----

HDC ScreenDeviceContext = nullptr;
int32_t ScreenPixelsPerInch = 96;
HPEN NeutralPen = nullptr;
HBRUSH NeutralBrush = nullptr;
HFONT NeutralFont = nullptr;
FontRecord DefaultFontRecord{};
PenRecord DefaultPenRecord{0, clBlack, 1};
BrushRecord DefaultBrushRecord{0, clWhite, 0, {0, 0, 0}};
TResourceManager* FontCache = nullptr;
TResourceManager* PenCache = nullptr;
TResourceManager* BrushCache = nullptr;
HPALETTE SystemPalette16 = nullptr;
TList* BitmapCanvasList = nullptr;

COLORREF ResolveColor(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

// ---- Caches ----

uint16_t HashRecord(const void* bytes, int32_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  uint16_t h = 0;
  for (int32_t i = 0; i < n; ++i) {
    h = static_cast<uint16_t>((h << 5) | (h >> 11));
    h ^= p[i];
  }
  return h;
}

namespace {

void FreeEntry(ResourceEntry* entry) {
  if (entry->Handle) DeleteObject(entry->Handle);
  std::free(entry);
}

}  // namespace

TResourceManager::~TResourceManager() {
  while (ResourceEntry* entry = Head) {
    Head = entry->Next;
    FreeEntry(entry);
  }
}

ResourceEntry* TResourceManager::FindOrAddEntry(const void* record) {
  const uint16_t hash = HashRecord(record, RecordSize);
  ResourceEntry* entry = Head;
  while (entry && !(entry->HashCode == hash && std::memcmp(entry->Record(), record, RecordSize) == 0))
    entry = entry->Next;
  if (!entry) {
    entry = static_cast<ResourceEntry*>(std::malloc(sizeof(ResourceEntry) + RecordSize));
    if (!entry) throw EOutOfMemory();
    entry->RefCount = 0;
    uint32_t keyHandle;
    std::memcpy(&keyHandle, record, sizeof keyHandle);
    entry->Handle = reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(keyHandle));
    entry->HashCode = hash;
    entry->Reserved = 0;
    std::memcpy(entry->Record(), record, RecordSize);
    entry->Next = Head;
    Head = entry;
  }
  ++entry->RefCount;
  return entry;
}

void TResourceManager::ReleaseEntry(ResourceEntry* entry) {
  if (!entry || --entry->RefCount > 0) return;
  ResourceEntry** link = &Head;
  while (*link && *link != entry) link = &(*link)->Next;
  if (*link) *link = entry->Next;
  FreeEntry(entry);
}

namespace {

// Drops the tool's reference on its previous entry on every way out, a change handler that throws included.
class TOldEntry {
 public:
  TOldEntry(TResourceManager& cache, ResourceEntry* entry) : cache_(cache), entry_(entry) {}
  TOldEntry(const TOldEntry&) = delete;
  TOldEntry& operator=(const TOldEntry&) = delete;
  ~TOldEntry() { cache_.ReleaseEntry(entry_); }

 private:
  TResourceManager& cache_;
  ResourceEntry* entry_;
};

}  // namespace

void TResourceManager::ReplaceEntry(TGraphicsObject* tool, const void* record) {
  ResourceEntry* entry = FindOrAddEntry(record);
  // Released last, so an unchanged description never loses its platform object on the way.
  TOldEntry old(*this, tool->Entry);
  const bool changed = entry != tool->Entry;
  tool->Entry = entry;
  if (changed) tool->SignalChange();
}

void TResourceManager::ShareEntry(TGraphicsObject* tool, ResourceEntry* entry) {
  if (tool->Entry == entry) return;
  ++entry->RefCount;
  TOldEntry old(*this, tool->Entry);
  tool->Entry = entry;
  tool->SignalChange();
}

int32_t TResourceManager::EntryCount() const {
  int32_t n = 0;
  for (const ResourceEntry* e = Head; e; e = e->Next) ++n;
  return n;
}

// ---- Tools ----

void TGraphicsObject::SignalChange() {
  ChangeHandler(this);
}

TFont::TFont() : FontDpi(ScreenPixelsPerInch) { Entry = FontCache->FindOrAddEntry(&DefaultFontRecord); }

TFont::~TFont() {
  if (FontCache) FontCache->ReleaseEntry(Entry);
}

HFONT TFont::FetchHandle() {
  if (!Entry->Handle) {
    const FontRecord& r = Record();
    LOGFONTA font{};
    font.lfHeight = r.Height;
    font.lfWeight = (r.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    const uint8_t length = static_cast<uint8_t>(r.FaceName[0]) > 31 ? 31 : static_cast<uint8_t>(r.FaceName[0]);
    std::memcpy(font.lfFaceName, r.FaceName + 1, length);
    font.lfFaceName[length] = '\0';
    Entry->Handle = CreateFontIndirectA(&font);
  }
  return static_cast<HFONT>(Entry->Handle);
}

void TFont::SetToolColor(TColor color) {
  if (color == Color) return;
  Color = color;
  SignalChange();
}

int32_t TFont::Height() const { return Record().Height; }

void TFont::SetFontHeight(int32_t height) {
  FontRecord r = Record();
  r.Handle = 0;
  r.Height = height;
  FontCache->ReplaceEntry(this, &r);
}

void TFont::SetFaceName(const AnsiString& name) {
  if (name.empty()) return;
  FontRecord r = Record();
  r.Handle = 0;
  std::memset(r.FaceName, 0, sizeof r.FaceName);
  const size_t length = name.size() < 31 ? name.size() : 31;
  r.FaceName[0] = static_cast<char>(length);
  std::memcpy(r.FaceName + 1, name.data(), length);
  FontCache->ReplaceEntry(this, &r);
}

AnsiString TFont::FaceName() const {
  const FontRecord& r = Record();
  return AnsiString(r.FaceName + 1, static_cast<uint8_t>(r.FaceName[0]));
}

uint8_t TFont::Style() const { return Record().Style; }

void TFont::SetStyle(uint8_t style) {
  FontRecord r = Record();
  r.Handle = 0;
  r.Style = style;
  FontCache->ReplaceEntry(this, &r);
}

int32_t TFont::PointSize() const { return -MulDiv(Height(), 72, FontDpi); }

void TFont::SetPointSize(int32_t points) { SetFontHeight(-MulDiv(points, FontDpi, 72)); }

void TFont::CopyFrom(TPersistent* source) {
  if (auto* font = dynamic_cast<TFont*>(source)) {
    FontCache->ShareEntry(this, font->Entry);
    SetToolColor(font->Color);
    // The pixel height was made for the source's density; what must carry over is the point size.
    if (font->FontDpi != FontDpi) SetPointSize(font->PointSize());
    return;
  }
  TGraphicsObject::CopyFrom(source);
}

TPen::TPen() { Entry = PenCache->FindOrAddEntry(&DefaultPenRecord); }

TPen::~TPen() {
  if (PenCache) PenCache->ReleaseEntry(Entry);
}

HPEN TPen::FetchHandle() {
  if (!Entry->Handle) {
    LOGPEN pen{};
    pen.lopnStyle = PS_SOLID;
    pen.lopnWidth.x = Record().Width;
    pen.lopnColor = ResolveColor(Record().Color);
    Entry->Handle = CreatePenIndirect(&pen);
  }
  return static_cast<HPEN>(Entry->Handle);
}

void TPen::SetToolColor(TColor color) {
  PenRecord r = Record();
  r.Handle = 0;
  r.Color = color;
  PenCache->ReplaceEntry(this, &r);
}

void TPen::SetPenWidth(int32_t width) {
  if (width < 0) return;
  PenRecord r = Record();
  r.Handle = 0;
  r.Width = width;
  PenCache->ReplaceEntry(this, &r);
}

TBrush::TBrush() { Entry = BrushCache->FindOrAddEntry(&DefaultBrushRecord); }

TBrush::~TBrush() {
  if (BrushCache) BrushCache->ReleaseEntry(Entry);
}

HBRUSH TBrush::FetchHandle() {
  if (!Entry->Handle) {
    LOGBRUSH brush{};
    brush.lbStyle = BS_SOLID;
    brush.lbColor = ResolveColor(Record().Color);
    brush.lbHatch = 0;
    Entry->Handle = CreateBrushIndirect(&brush);
  }
  return static_cast<HBRUSH>(Entry->Handle);
}

void TBrush::SetToolColor(TColor color) {
  BrushRecord r = Record();
  r.Handle = 0;
  r.Color = color;
  BrushCache->ReplaceEntry(this, &r);
}

void TBrush::CopyFrom(TPersistent* source) {
  if (auto* brush = dynamic_cast<TBrush*>(source)) {
    BrushCache->ShareEntry(this, brush->Entry);
    return;
  }
  TGraphicsObject::CopyFrom(source);
}

// ---- Canvas ----

namespace {

// Canvases that hold a context, so a change of the system colours can take their tools out of it.
TList& CanvasesWithContext() {
  static TList* list = new TList;  // never freed: canvases may outlive any order of static destruction
  return *list;
}

}  // namespace

TCanvas::TCanvas() {
  Font = new TFont;
  Font->ChangeHandler.Bind<&TCanvas::CanvasFontChanged>(this);
  Pen = new TPen;
  Pen->ChangeHandler.Bind<&TCanvas::CanvasPenChanged>(this);
  Brush = new TBrush;
  Brush->ChangeHandler.Bind<&TCanvas::CanvasBrushChanged>(this);
}

TCanvas::~TCanvas() {
  SetContext(nullptr);
  delete Font;
  delete Pen;
  delete Brush;
}

void TCanvas::EnsureState(uint8_t flags) {
  const uint8_t missing = flags & ~State;
  if (!missing) return;
  if (missing & csHasContext) CreateContext();
  // Nothing can be selected into no context; recording it would leave the tools out of the next real one.
  if (!Handle) return;
  if (missing & csFontSelected) {
    SelectObject(Handle, Font->FetchHandle());
    SetTextColor(Handle, ResolveColor(Font->Color));
  }
  if (missing & csPenSelected) {
    SelectObject(Handle, Pen->FetchHandle());
    SetROP2(Handle, R2_COPYPEN);
  }
  if (missing & csBrushSelected) {
    HBRUSH brush = Brush->FetchHandle();
    UnrealizeObject(brush);
    SelectObject(Handle, brush);
    SetBkColor(Handle, ResolveColor(Brush->Color()));
    SetBkMode(Handle, OPAQUE);
  }
  State |= missing;
}

void TCanvas::SetContext(HDC context) {
  if (context == Handle) return;
  if (Handle) {
    DeselectAll();
    PenPosition = ReadPenPosition();
    Handle = nullptr;
    CanvasesWithContext().RemoveItem(this);
  }
  // Whatever the flags say, no tool is selected into a context that was just handed over.
  State &= ~csAll;
  if (context) {
    CanvasesWithContext().Append(this);
    State |= csHasContext;
    Handle = context;
    MovePenTo(PenPosition.x, PenPosition.y);
  }
}

void TCanvas::DeselectAll() {
  if (!Handle || !(State & csAllToolsSelected)) return;
  SelectObject(Handle, NeutralPen);
  SelectObject(Handle, NeutralBrush);
  SelectObject(Handle, NeutralFont);
  State &= ~csAllToolsSelected;
}

// A tool whose description changed may be about to lose its platform object: take it out of the context now
// and select it again on the next operation that needs it.
void TCanvas::CanvasFontChanged(TObject*) {
  if (!(State & csFontSelected)) return;
  State &= ~csFontSelected;
  SelectObject(Handle, NeutralFont);
}

void TCanvas::CanvasPenChanged(TObject*) {
  if (!(State & csPenSelected)) return;
  State &= ~csPenSelected;
  SelectObject(Handle, NeutralPen);
}

void TCanvas::CanvasBrushChanged(TObject*) {
  if (!(State & csBrushSelected)) return;
  State &= ~csBrushSelected;
  SelectObject(Handle, NeutralBrush);
}

void TCanvas::DrawGraphic(int32_t x, int32_t y, TGraphic* graphic) {
  EnsureState(csHasContext);
  if (!graphic) return;
  SetBkColor(Handle, ResolveColor(Brush->Color()));
  SetTextColor(Handle, ResolveColor(Font->Color));
  const RECT rect{x, y, x + graphic->PixelWidth(), y + graphic->PixelHeight()};
  graphic->DrawInto(this, rect);
}

void TCanvas::FillRectangle(const RECT& rect) {
  EnsureState(csHasContext | csBrushSelected);
  FillRect(Handle, &rect, Brush->FetchHandle());
}

void TCanvas::MovePenTo(int32_t x, int32_t y) {
  EnsureState(csHasContext);
  MoveToEx(Handle, x, y, nullptr);
}

void TCanvas::DrawLineTo(int32_t x, int32_t y) {
  EnsureState(csHasContext | csPenSelected);
  LineTo(Handle, x, y);
}

void TCanvas::StrokePolyline(const POINT* points, int32_t lastIndex) {
  EnsureState(csHasContext | csPenSelected | csBrushSelected);
  Polyline(Handle, points, lastIndex + 1);
}

SIZE TCanvas::MeasureText(const WideString& text) {
  EnsureState(csHasContext | csFontSelected);
  SIZE size{0, 0};
  GetTextExtentPointW(Handle, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

POINT TCanvas::ReadPenPosition() {
  EnsureState(csHasContext);
  POINT point{0, 0};
  GetCurrentPositionEx(Handle, &point);
  return point;
}

// ---- Palettes ----

namespace {

// A logical palette with room for 256 entries.
struct TMaxLogPalette {
  WORD palVersion = 0x300;
  WORD palNumEntries = 0;
  PALETTEENTRY palPalEntry[256] = {};
  LOGPALETTE* Get() { return reinterpret_cast<LOGPALETTE*>(this); }
};

// A BITMAPINFO with room for 256 colours.
struct TBitmapInfo256 {
  BITMAPINFOHEADER bmiHeader{};
  RGBQUAD bmiColors[256] = {};
  BITMAPINFO* Get() { return reinterpret_cast<BITMAPINFO*>(this); }
};
static_assert(sizeof(TBitmapInfo256) == 1064, "header and 256 colours");

int32_t PaletteEntryCount(HPALETTE p) {
  if (!p) return 0;
  uint32_t count = 0;  // GetObject writes a WORD
  GetObjectW(p, sizeof count, &count);
  return static_cast<int32_t>(count & 0xFFFF);
}

// A palette made here until it is handed over; never deletes SystemPalette16.
class TPaletteHolder {
 public:
  explicit TPaletteHolder(HPALETTE p = nullptr) : p_(p) {}
  TPaletteHolder(const TPaletteHolder&) = delete;
  TPaletteHolder& operator=(const TPaletteHolder&) = delete;
  ~TPaletteHolder() { DeletePaletteHandle(p_); }
  HPALETTE Get() const { return p_; }
  HPALETTE Release() {
    HPALETTE p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  HPALETTE p_;
};

// Selects a palette (realised) into a context and puts the previous one back on the way out.
class TSelectedPalette {
 public:
  TSelectedPalette(HDC dc, HPALETTE palette) : dc_(dc) {
    if (!palette) return;
    previous_ = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
  }
  TSelectedPalette(const TSelectedPalette&) = delete;
  TSelectedPalette& operator=(const TSelectedPalette&) = delete;
  ~TSelectedPalette() {
    if (previous_) SelectPalette(dc_, previous_, TRUE);
  }

 private:
  HDC dc_;
  HPALETTE previous_ = nullptr;
};

}  // namespace

void SwapRedBlue(void* entries, int32_t n) {
  auto* p = static_cast<uint8_t*>(entries);
  for (int32_t i = n - 1; i >= 0; --i) {
    uint8_t* e = p + 4 * i;
    const uint8_t a = e[0];
    e[0] = e[2];
    e[2] = a;
    e[3] = 0;
  }
}

void DeletePaletteHandle(HPALETTE p) {
  if (p && p != SystemPalette16) DeleteObject(p);
}

HPALETTE CopyPalette(HPALETTE p) {
  const int32_t n = PaletteEntryCount(p);
  if (n == 0) return nullptr;
  TMaxLogPalette record;
  record.palNumEntries = static_cast<WORD>(n > 256 ? 256 : n);
  GetPaletteEntries(p, 0, record.palNumEntries, record.palPalEntry);
  return CreatePalette(record.Get());
}

int32_t PaletteToColorTable(HPALETTE p, RGBQUAD* table, int32_t maxIndex) {
  int32_t n = PaletteEntryCount(p);
  if (n == 0 || maxIndex < 0) return 0;
  if (n > maxIndex + 1) n = maxIndex + 1;
  n = static_cast<int32_t>(GetPaletteEntries(p, 0, static_cast<UINT>(n), reinterpret_cast<PALETTEENTRY*>(table)));
  SwapRedBlue(table, n);
  return n;
}

bool SystemPaletteOverride(LOGPALETTE* record) {
  if (!SystemPalette16 || GetDeviceCaps(ScreenDeviceContext, SIZEPALETTE) < 16 || record->palNumEntries < 16)
    return false;
  GetPaletteEntries(SystemPalette16, 0, 8, record->palPalEntry);
  GetPaletteEntries(SystemPalette16, 8, 8, record->palPalEntry + record->palNumEntries - 8);
  return true;
}

HPALETTE PaletteFromColorTable(HBITMAP section, const RGBQUAD* colours, int32_t count) {
  TMaxLogPalette record;
  if (section) {
    TMemoryDC dc(CreateCompatibleDC(ScreenDeviceContext));
    if (!dc) return nullptr;
    TSelectedObject selected(dc.Get(), section);
    count = static_cast<int32_t>(
        GetDIBColorTable(dc.Get(), 0, 256, reinterpret_cast<RGBQUAD*>(record.palPalEntry)));
  } else {
    if (count > 256) count = 256;
    if (count > 0) std::memcpy(record.palPalEntry, colours, sizeof(RGBQUAD) * static_cast<size_t>(count));
  }
  if (count <= 0) return nullptr;
  record.palNumEntries = static_cast<WORD>(count);
  if (count != 16 || !SystemPaletteOverride(record.Get())) SwapRedBlue(record.palPalEntry, count);
  return CreatePalette(record.Get());
}

namespace {

HPALETTE CreateSystemPalette16() {
  static const uint8_t vga[16][3] = {
      {0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0}, {0, 0, 128},   {128, 0, 128},
      {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0},
      {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  TMaxLogPalette record;
  record.palNumEntries = 16;
  for (int i = 0; i < 16; ++i) record.palPalEntry[i] = PALETTEENTRY{vga[i][0], vga[i][1], vga[i][2], 0};
  const int n = GetDeviceCaps(ScreenDeviceContext, SIZEPALETTE);
  if (n >= 16) {
    PALETTEENTRY* e = record.palPalEntry;
    GetSystemPaletteEntries(ScreenDeviceContext, 0, 8, e);
    if (RGB(e[7].peRed, e[7].peGreen, e[7].peBlue) == RGB(192, 192, 192)) {
      // Light grey sits among the first eight: it moves to entry 8, the dark grey from the top half to 7.
      GetSystemPaletteEntries(ScreenDeviceContext, static_cast<UINT>(n - 8), 1, e + 7);
      GetSystemPaletteEntries(ScreenDeviceContext, static_cast<UINT>(n - 7), 7, e + 9);
      GetSystemPaletteEntries(ScreenDeviceContext, 7, 1, e + 8);
    } else {
      GetSystemPaletteEntries(ScreenDeviceContext, static_cast<UINT>(n - 8), 8, e + 8);
    }
  }
  return CreatePalette(record.Get());
}

}  // namespace

// ---- Bitmap images ----

void TSharedImage::Release() {
  if (--RefCount > 0) return;
  FreeHandle();
  delete this;
}

void TBitmapImage::FreeHandle() {
  if (Handle && Handle != DibHandle) {
    DeselectBitmap(Handle);
    DeleteObject(Handle);
  }
  DeletePaletteHandle(Palette);
  Handle = nullptr;
  Palette = nullptr;
}

TBitmapImage::~TBitmapImage() {
  if (DibHandle) {
    if (Handle == DibHandle) Handle = nullptr;  // one object: deleted once, here
    DeselectBitmap(DibHandle);
    DeleteObject(DibHandle);
    DibHandle = nullptr;
  }
  FreeHandle();
}

// ---- Bitmap contexts ----

void DeselectBitmap(HBITMAP h) {
  if (!h || !BitmapCanvasList) return;
  for (int32_t i = BitmapCanvasList->Count() - 1; i >= 0; --i) {
    if (i >= BitmapCanvasList->Count()) continue;
    auto* canvas = static_cast<TBitmapCanvas*>(BitmapCanvasList->ItemAt(i));
    if (canvas->Bitmap && canvas->Bitmap->Image->Handle == h) canvas->FreeContext();
  }
}

void FreeAllBitmapContexts() {
  if (!BitmapCanvasList) return;
  for (int32_t i = BitmapCanvasList->Count() - 1; i >= 0; --i) {
    if (i < BitmapCanvasList->Count()) static_cast<TBitmapCanvas*>(BitmapCanvasList->ItemAt(i))->FreeContext();
  }
}

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::CreateContext() {
  if (!Bitmap) return;
  Bitmap->EnsureHandle();
  HBITMAP handle = Bitmap->Image->Handle;
  DeselectBitmap(handle);  // a bitmap can be selected into one context only
  Bitmap->EnsurePalette();
  HDC context = CreateCompatibleDC(nullptr);
  if (!context) return;
  OldBitmap = handle ? SelectObject(context, handle) : nullptr;
  OldPalette = nullptr;
  SetContext(context);
  if (BitmapCanvasList) BitmapCanvasList->Append(this);
}

void TBitmapCanvas::FreeContext() {
  HDC context = Handle;
  if (!context) return;
  if (OldBitmap) SelectObject(context, OldBitmap);
  if (OldPalette) SelectPalette(context, OldPalette, TRUE);
  OldBitmap = nullptr;
  OldPalette = nullptr;
  SetContext(nullptr);
  DeleteDC(context);
  if (BitmapCanvasList) BitmapCanvasList->RemoveItem(this);
}

// ---- Copying bitmaps ----

HBITMAP CopyBitmap(HBITMAP source, HPALETTE sourcePalette, HPALETTE newPalette, TCanvas* canvas, DibInfo& dib) {
  BITMAP& bm = dib.dsBm;
  BITMAPINFOHEADER& bi = dib.dsBmih;
  if (!source && (bi.biSize != 0 ? (bi.biWidth == 0 || bi.biHeight == 0) : (bm.bmWidth == 0 || bm.bmHeight == 0)))
    return nullptr;
  DeselectBitmap(source);
  DibInfo sourceDib{};
  int sourceBytes = 0;
  if (source) {
    sourceBytes = GetObjectW(source, sizeof sourceDib, &sourceDib);
    if (sourceBytes < static_cast<int>(sizeof(BITMAP))) throw EAbort();
  }
  TMemoryDC dc(CreateCompatibleDC(ScreenDeviceContext));
  TGdiObject<HBITMAP> made;
  bool converted = false;
  if (bi.biSize < sizeof(BITMAPINFOHEADER)) {
    made.Reset(CreateCompatibleBitmap(ScreenDeviceContext, bm.bmWidth, bm.bmHeight));
  } else {
    TBitmapInfo256 info;
    info.bmiHeader = bi;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biPlanes = 1;
    bm.bmWidth = bi.biWidth;
    bm.bmHeight = bi.biHeight;
    const int rows = bi.biHeight < 0 ? -bi.biHeight : bi.biHeight;
    if (bi.biBitCount <= 8) {
      if (newPalette) {
        info.bmiHeader.biClrUsed = static_cast<DWORD>(PaletteToColorTable(newPalette, info.bmiColors, 255));
      } else if (source && sourceBytes >= static_cast<int>(sizeof(DIBSECTION)) && sourceDib.dsBm.bmBits) {
        TMemoryDC sourceDc(CreateCompatibleDC(ScreenDeviceContext));
        TSelectedObject selected(sourceDc.Get(), source);
        info.bmiHeader.biClrUsed = GetDIBColorTable(sourceDc.Get(), 0, 256, info.bmiColors);
      } else if (source) {
        GetDIBits(dc.Get(), source, 0, static_cast<UINT>(rows), nullptr, info.Get(), DIB_RGB_COLORS);
      }
    }
    void* bits = nullptr;
    made.Reset(CreateDIBSection(ScreenDeviceContext, info.Get(), DIB_RGB_COLORS, &bits, nullptr, 0));
    // Deeper than 8 bits, the platform converts the pixels itself, each through the source's own colours.
    if (made && source && bi.biBitCount > 8 && sourceDib.dsBm.bmWidth == bi.biWidth &&
        sourceDib.dsBm.bmHeight == rows) {
      GetDIBits(dc.Get(), source, 0, static_cast<UINT>(rows), bits, info.Get(), DIB_RGB_COLORS);
      converted = true;
    }
  }
  if (made && !converted && dc) {
    const int width = bm.bmWidth;
    const int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
    TSelectedObject selected(dc.Get(), made.Get());
    TSelectedPalette palette(dc.Get(), newPalette);
    if (canvas) {
      const RECT all{0, 0, width, height};
      FillRect(dc.Get(), &all, canvas->Brush->FetchHandle());
      SetTextColor(dc.Get(), ResolveColor(canvas->Font->Color));
      SetBkColor(dc.Get(), ResolveColor(canvas->Brush->Color()));
    } else {
      // Every bit set: white, or colour-table index 255 at 8 bits.
      PatBlt(dc.Get(), 0, 0, width, height, WHITENESS);
    }
    if (source) {
      TMemoryDC sourceDc(CreateCompatibleDC(ScreenDeviceContext));
      TSelectedObject sourceSelected(sourceDc.Get(), source);
      TSelectedPalette sourcePaletteSelected(sourceDc.Get(), sourcePalette);
      if (canvas) {
        SetTextColor(sourceDc.Get(), ResolveColor(canvas->Font->Color));
        SetBkColor(sourceDc.Get(), ResolveColor(canvas->Brush->Color()));
      }
      BitBlt(dc.Get(), 0, 0, width, height, sourceDc.Get(), 0, 0, SRCCOPY);
    }
  }
  if (made) GetObjectW(made.Get(), sizeof dib, &dib);
  return made.Release();
}

// ---- TBitmap ----

TBitmap::TBitmap() : Image(new TBitmapImage) { Image->Reference(); }

TBitmap::~TBitmap() {
  FreeContext();
  Image->Release();
  delete canvas_;
}

void TBitmap::CopyFrom(TPersistent* source) {
  auto* bitmap = dynamic_cast<TBitmap*>(source);
  if (!bitmap) {
    TGraphic::CopyFrom(source);
    return;
  }
  if (bitmap->Image == Image) return;
  // The context holds the old image's bitmap: it must let go before that image may be freed.
  FreeContext();
  bitmap->Image->Reference();
  Image->Release();
  Image = bitmap->Image;
  EnsurePalette();
}

int32_t TBitmap::PixelWidth() { return Image->Dib.dsBm.bmWidth; }

int32_t TBitmap::PixelHeight() {
  const LONG h = Image->Dib.dsBm.bmHeight;
  return h < 0 ? -h : h;
}

THandleType TBitmap::HandleType() const {
  const TBitmapImage& i = *Image;
  if ((i.Handle && i.Handle != i.DibHandle) || (!i.DibHandle && i.Dib.dsBmih.biSize == 0)) return bmDDB;
  return bmDIB;
}

uint8_t TBitmap::PixelFormat() const {
  if (HandleType() == bmDDB) return pfDevice;
  switch (Image->Dib.dsBmih.biBitCount) {
    case 8: return pf8bit;
    case 24: return pf24bit;
    default: return pfCustom;
  }
}

HBITMAP TBitmap::Handle() {
  FreeContext();
  EnsureHandle();
  return Image->Handle;
}

void TBitmap::EnsureHandle() {
  if (!Image->Handle) Image->Handle = Image->DibHandle;
}

HPALETTE TBitmap::CurrentPalette() {
  EnsurePalette();
  return Image->Palette;
}

void TBitmap::EnsurePalette() {
  if (NoPalette || Image->Palette || !Image->DibHandle) return;
  if (Image->DibHandle == Image->Handle) DeselectBitmap(Image->Handle);
  const WORD bits = Image->Dib.dsBmih.biBitCount;
  Image->Palette = PaletteFromColorTable(Image->DibHandle, nullptr, bits <= 8 ? 1 << bits : 0);
  if (!Image->Palette) NoPalette = true;
}

void TBitmap::SetPixelWidth(int32_t width) {
  if (width == Image->Dib.dsBm.bmWidth) return;
  EnsureHandle();
  DibInfo dib = Image->Dib;
  dib.dsBm.bmWidth = width;
  dib.dsBmih.biWidth = width;
  CopyImage(Image->Handle, Image->Palette, dib);
}

void TBitmap::SetPixelHeight(int32_t height) {
  if (height == Image->Dib.dsBm.bmHeight) return;
  EnsureHandle();
  DibInfo dib = Image->Dib;
  dib.dsBm.bmHeight = height;
  dib.dsBmih.biHeight = height;
  CopyImage(Image->Handle, Image->Palette, dib);
}

void TBitmap::SetDimensions(int32_t width, int32_t height) {
  SetPixelWidth(width);
  SetPixelHeight(height);
}

void TBitmap::SetPixelFormat(uint8_t format) {
  static const WORD bitsPerPixel[] = {0, 1, 4, 8, 16, 16, 24, 32};
  if (format > pf32bit || PixelFormat() == format) return;
  DibInfo dib{};
  dib.dsBm = Image->Dib.dsBm;
  // Device-dependent means no DIB header at all; a header with 0 bits per pixel would make no bitmap.
  if (format != pfDevice) {
    dib.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
    dib.dsBmih.biWidth = dib.dsBm.bmWidth;
    dib.dsBmih.biHeight = dib.dsBm.bmHeight;
    dib.dsBmih.biPlanes = 1;
    dib.dsBmih.biBitCount = bitsPerPixel[format];
  }
  TPaletteHolder halftone(format == pf8bit ? CreateHalftonePalette(ScreenDeviceContext) : nullptr);
  CopyImage(Image->Handle, format == pf8bit ? halftone.Get() : Image->Palette, dib);
}

void TBitmap::SetPalette(HPALETTE p) {
  if (p == Image->Palette) return;
  TPaletteHolder owned(p);
  if (!p && Image->RefCount == 1) {
    DeletePaletteHandle(Image->Palette);
    Image->Palette = nullptr;
    return;
  }
  FreeContext();
  EnsureHandle();
  DibInfo dib = Image->Dib;
  HBITMAP handle = CopyBitmap(Image->Handle, Image->Palette, p, nullptr, dib);
  NewImage(handle, owned.Release(), dib);
}

void TBitmap::CopyImage(HBITMAP handle, HPALETTE palette, DibInfo& dib) {
  FreeContext();
  TPaletteHolder newPalette(palette == SystemPalette16 ? palette : CopyPalette(palette));
  HBITMAP made = CopyBitmap(handle, palette, newPalette.Get(), canvas_, dib);
  NewImage(made, newPalette.Release(), dib);
}

void TBitmap::NewImage(HBITMAP handle, HPALETTE palette, const DibInfo& dib) {
  auto* image = new (std::nothrow) TBitmapImage;
  if (!image) {
    if (handle) DeleteObject(handle);
    DeletePaletteHandle(palette);
    throw EOutOfMemory();
  }
  image->Handle = handle;
  image->Palette = palette;
  image->Dib = dib;
  if (dib.dsBm.bmBits) image->DibHandle = handle;
  image->Reference();
  Image->Release();
  Image = image;
}

uint8_t* TBitmap::RowAddress(int32_t r) const {
  const DibInfo& dib = Image->Dib;
  const LONG height = dib.dsBmih.biHeight;
  const LONG rows = height < 0 ? -height : height;
  if (!dib.dsBm.bmBits || r < 0 || r >= rows) return nullptr;
  // Pixels drawn through the platform may still wait in its batch.
  GdiFlush();
  const int64_t rowBytes = ((int64_t{dib.dsBmih.biWidth} * dib.dsBmih.biBitCount + 31) & ~int64_t{31}) / 8;
  const int64_t index = height > 0 ? height - r - 1 : r;
  return static_cast<uint8_t*>(dib.dsBm.bmBits) + index * rowBytes;
}

std::unique_ptr<TList> TBitmap::RowList() const {
  auto list = std::make_unique<TList>();
  const LONG height = Image->Dib.dsBmih.biHeight;
  const int32_t rows = height < 0 ? -height : height;
  list->SetItemCount(rows);
  for (int32_t r = 0; r < rows; ++r) list->SetItemAt(r, RowAddress(r));
  return list;
}

TBitmapCanvas* TBitmap::Canvas() {
  if (!canvas_) {
    EnsureHandle();
    canvas_ = new TBitmapCanvas(this);
  }
  return canvas_;
}

void TBitmap::FreeContext() {
  if (canvas_) canvas_->FreeContext();
}

void TBitmap::DrawInto(TCanvas* canvas, const RECT& rect) {
  canvas->EnsureState(csAll);
  EnsurePalette();
  TBitmapCanvas* own = Canvas();
  own->EnsureState(csAll);
  StretchBlt(canvas->Handle, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, own->Handle, 0, 0,
             Image->Dib.dsBm.bmWidth, Image->Dib.dsBm.bmHeight, SRCCOPY);
}

// ---- System colours ----

namespace {
static_assert(offsetof(PenRecord, Color) == 4 && offsetof(BrushRecord, Color) == 4, "colour after the handle slot");

void DropSystemColorObjects(TResourceManager* cache) {
  if (!cache) return;
  for (ResourceEntry* entry = cache->Head; entry; entry = entry->Next) {
    TColor color;
    std::memcpy(&color, entry->Record() + offsetof(PenRecord, Color), sizeof color);
    if (color >= 0 || !entry->Handle) continue;
    DeleteObject(entry->Handle);
    entry->Handle = nullptr;
  }
}

}  // namespace

void SystemColorsChanged() {
  // Out of every context first: a platform object still selected somewhere cannot be deleted.
  TList& canvases = CanvasesWithContext();
  for (int32_t i = canvases.Count() - 1; i >= 0; --i) static_cast<TCanvas*>(canvases.ItemAt(i))->DeselectAll();
  DropSystemColorObjects(PenCache);
  DropSystemColorObjects(BrushCache);
}

// ---- Start-up ----

namespace {
int32_t graphicsStarts = 0;

// The layout before Vista added iPaddedBorderWidth; every platform version accepts it.
constexpr UINT kNonClientMetricsSize = 340;
static_assert(offsetof(NONCLIENTMETRICSA, lfMessageFont) + sizeof(LOGFONTA) <= kNonClientMetricsSize,
              "message font inside the short record");
}  // namespace

void StartGraphics() {
  if (graphicsStarts++ > 0) return;
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = kNonClientMetricsSize;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0);
  DefaultFontRecord = FontRecord{};
  const char* face = metrics.lfMessageFont.lfFaceName;
  size_t length = strnlen(face, sizeof metrics.lfMessageFont.lfFaceName);
  if (length > 31) length = 31;
  DefaultFontRecord.FaceName[0] = static_cast<char>(length);
  std::memcpy(DefaultFontRecord.FaceName + 1, face, length);
  DefaultFontRecord.Height = metrics.lfMessageFont.lfHeight;
  DefaultFontRecord.Charset = 1;

  ScreenDeviceContext = GetDC(nullptr);
  ScreenPixelsPerInch = GetDeviceCaps(ScreenDeviceContext, LOGPIXELSY);
  SystemPalette16 = CreateSystemPalette16();

  NeutralPen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  NeutralBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  NeutralFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));

  FontCache = new TResourceManager(sizeof(FontRecord));
  PenCache = new TResourceManager(sizeof(PenRecord));
  BrushCache = new TResourceManager(sizeof(BrushRecord));
  BitmapCanvasList = new TList;
}

void StopGraphics() {
  if (graphicsStarts <= 0 || --graphicsStarts > 0) return;
  FreeAllBitmapContexts();
  delete BitmapCanvasList;
  BitmapCanvasList = nullptr;
  delete FontCache;
  FontCache = nullptr;
  delete PenCache;
  PenCache = nullptr;
  delete BrushCache;
  BrushCache = nullptr;
  DeleteObject(SystemPalette16);
  SystemPalette16 = nullptr;
  ReleaseDC(nullptr, ScreenDeviceContext);
  ScreenDeviceContext = nullptr;
}
