// Drawing tools with shared platform objects, the canvas, and the graphics start-up values.
#include "Graphics.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

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

  NeutralPen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
  NeutralBrush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  NeutralFont = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));

  FontCache = new TResourceManager(sizeof(FontRecord));
  PenCache = new TResourceManager(sizeof(PenRecord));
  BrushCache = new TResourceManager(sizeof(BrushRecord));
}

void StopGraphics() {
  if (graphicsStarts <= 0 || --graphicsStarts > 0) return;
  delete FontCache;
  FontCache = nullptr;
  delete PenCache;
  PenCache = nullptr;
  delete BrushCache;
  BrushCache = nullptr;
  ReleaseDC(nullptr, ScreenDeviceContext);
  ScreenDeviceContext = nullptr;
}
