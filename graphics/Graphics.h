// Drawing tools (font, pen, brush) that share platform objects through reference-counted caches, and the
// canvas that binds them to a device context. May call Classes, SysUtils and the platform (gdi32, user32).
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework/Classes.h"
#include "framework/SysUtils.h"

// ---- Colours ----

// Non-negative: RGB as 0x00BBGGRR. High bit set: a platform system colour, index in the low byte.
using TColor = int32_t;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);    // 0x80000008
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);          // 0x8000000F
constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);      // 0x80000010
constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);  // 0x80000014
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);            // 0x80000005
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// The platform RGB value of a colour; system colours are looked up at each call.
COLORREF ResolveColor(TColor color);

// ---- Tool records: the cache keys, compared byte for byte ----

#pragma pack(push, 1)
struct FontRecord {
  uint32_t Handle;     // always 0 in a key
  int32_t Height;      // logical-font height: negative = character height in pixels
  uint8_t Style;       // fsBold or 0
  uint8_t Charset;     // 1 in every record
  char FaceName[32];   // length byte, at most 31 ANSI characters, the rest zero
  uint8_t Reserved[2];
};
struct PenRecord {
  uint32_t Handle;
  TColor Color;
  int32_t Width;
};
struct BrushRecord {
  uint32_t Handle;
  TColor Color;
  uint8_t Style;  // 0 = solid
  uint8_t Reserved[3];
};
#pragma pack(pop)
static_assert(sizeof(FontRecord) == 44, "font record");
static_assert(sizeof(PenRecord) == 12, "pen record");
static_assert(sizeof(BrushRecord) == 12, "brush record");

enum : uint8_t { fsBold = 0x01 };

// 16-bit hash: rotate left by 5 within 16 bits, then XOR the byte into the low 8 bits.
uint16_t HashRecord(const void* bytes, int32_t n);

// One per distinct description; the record copy follows the 16-byte header.
struct ResourceEntry {
  ResourceEntry* Next;
  int32_t RefCount;
  HGDIOBJ Handle;  // 0 until first needed
  uint16_t HashCode;
  uint16_t Reserved;
  uint8_t* Record() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* Record() const { return reinterpret_cast<const uint8_t*>(this + 1); }
};
static_assert(sizeof(ResourceEntry) == 16, "entry header");

class TGraphicsObject;

// A singly linked list of entries, newest first; lookup compares the hash, then the bytes.
class TResourceManager {
 public:
  explicit TResourceManager(uint16_t recordSize) : RecordSize(recordSize) {}
  TResourceManager(const TResourceManager&) = delete;
  TResourceManager& operator=(const TResourceManager&) = delete;
  ~TResourceManager();  // frees whatever is left, with its platform objects

  // The entry whose record equals `record` (added when none), with one more reference.
  ResourceEntry* FindOrAddEntry(const void* record);
  // Drops a reference; at zero the entry is unlinked, its platform object deleted and its memory freed.
  void ReleaseEntry(ResourceEntry* entry);
  // Points the tool at the entry for `record`; notifies only when the entry changed.
  void ReplaceEntry(TGraphicsObject* tool, const void* record);
  // Makes the tool share `entry`; nothing when it already uses it.
  void ShareEntry(TGraphicsObject* tool, ResourceEntry* entry);

  int32_t EntryCount() const;

  ResourceEntry* Head = nullptr;
  uint16_t RecordSize;
};

// ---- Drawing tools ----

class TGraphicsObject : public TPersistent {
 public:
  // Fires ChangeHandler when one is set.
  virtual void SignalChange();

  TNotifyEvent ChangeHandler;  // (code, data); fired with the tool as sender
  ResourceEntry* Entry = nullptr;  // one reference held
};

class TFont : public TGraphicsObject {
 public:
  TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  ~TFont() override;

  // The shared platform font, created on first need (CreateFontIndirectA).
  HFONT FetchHandle();
  void SetToolColor(TColor color);
  int32_t Height() const;
  void SetFontHeight(int32_t height);
  // An empty name is ignored; a longer one keeps its first 31 characters. The text is in the ANSI code page.
  void SetFaceName(const AnsiString& name);
  AnsiString FaceName() const;
  uint8_t Style() const;
  void SetStyle(uint8_t style);
  int32_t PointSize() const;
  void SetPointSize(int32_t points);
  // From another font: shares its entry and colour; across pixel densities the point size carries over.
  void CopyFrom(TPersistent* source) override;

  const FontRecord& Record() const { return *reinterpret_cast<const FontRecord*>(Entry->Record()); }

  TColor Color = clWindowText;  // lives here, not in the record: a colour change makes no new font
  int32_t FontDpi;              // screen pixels per inch when the font was created
};

class TPen : public TGraphicsObject {
 public:
  TPen();
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  ~TPen() override;

  HPEN FetchHandle();
  TColor Color() const { return Record().Color; }
  void SetToolColor(TColor color);
  int32_t Width() const { return Record().Width; }
  // A negative width is ignored.
  void SetPenWidth(int32_t width);

  const PenRecord& Record() const { return *reinterpret_cast<const PenRecord*>(Entry->Record()); }
};

class TBrush : public TGraphicsObject {
 public:
  TBrush();
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  ~TBrush() override;

  HBRUSH FetchHandle();
  TColor Color() const { return Record().Color; }
  void SetToolColor(TColor color);
  void CopyFrom(TPersistent* source) override;

  const BrushRecord& Record() const { return *reinterpret_cast<const BrushRecord*>(Entry->Record()); }
};

// ---- Canvas ----

class TCanvas;
class TStream;

// A picture that can draw itself onto a canvas (the bitmap derives from it).
class TGraphic : public TPersistent {
 public:
  virtual void DrawInto(TCanvas* canvas, const RECT& rect) = 0;
  virtual int32_t PixelHeight() = 0;
  virtual HPALETTE CurrentPalette() { return nullptr; }
  virtual int32_t PixelWidth() = 0;
  virtual void ReadImageData(TStream* stream) { LoadFromStream(stream); }
  virtual void SetPixelHeight(int32_t) {}
  virtual void SetPalette(HPALETTE) {}
  virtual void SetPixelWidth(int32_t) {}
  virtual void LoadFromStream(TStream* stream) = 0;
};

enum : uint8_t {
  csHasContext = 0x01,
  csFontSelected = 0x02,
  csPenSelected = 0x04,
  csBrushSelected = 0x08,
  csAllToolsSelected = csFontSelected | csPenSelected | csBrushSelected,
  csAll = csHasContext | csAllToolsSelected,
};

class TCanvas : public TPersistent {
 public:
  TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;
  ~TCanvas() override;

  // Obtains a device context and calls SetContext; the plain canvas has none to offer.
  virtual void CreateContext() {}

  void DrawGraphic(int32_t x, int32_t y, TGraphic* graphic);
  void FillRectangle(const RECT& rect);
  void MovePenTo(int32_t x, int32_t y);
  void DrawLineTo(int32_t x, int32_t y);
  // lastIndex is the index of the last point, not the count.
  void StrokePolyline(const POINT* points, int32_t lastIndex);
  SIZE MeasureText(const WideString& text);
  SIZE MeasureText(const AnsiString& text) { return MeasureText(Utf8ToWide(text)); }
  int32_t MeasureTextWidth(const WideString& text) { return MeasureText(text).cx; }
  int32_t MeasureTextHeight(const WideString& text) { return MeasureText(text).cy; }
  POINT ReadPenPosition();
  void WritePenPosition(const POINT& point) { MovePenTo(point.x, point.y); }

  // Makes sure the context exists and the named tools are selected into it.
  void EnsureState(uint8_t flags);
  // Switches to another context (null to drop it); the drawing position carries over.
  void SetContext(HDC context);
  // Puts the neutral stock objects back into the context.
  void DeselectAll();

  void CanvasFontChanged(TObject* sender);
  void CanvasPenChanged(TObject* sender);
  void CanvasBrushChanged(TObject* sender);

  HDC Handle = nullptr;
  uint8_t State = 0;
  TFont* Font = nullptr;
  TPen* Pen = nullptr;
  TBrush* Brush = nullptr;
  POINT PenPosition{0, 0};  // kept while there is no context
};

// ---- Process-wide graphics values ----

extern HDC ScreenDeviceContext;
extern int32_t ScreenPixelsPerInch;
extern HPEN NeutralPen;
extern HBRUSH NeutralBrush;
extern HFONT NeutralFont;
extern FontRecord DefaultFontRecord;
extern PenRecord DefaultPenRecord;
extern BrushRecord DefaultBrushRecord;
extern TResourceManager* FontCache;
extern TResourceManager* PenCache;
extern TResourceManager* BrushCache;

// After the system colours changed (WM_SYSCOLORCHANGE): canvases put their tools down and pens and brushes
// in a system colour drop their platform objects, which are made again in the new colours on next use.
void SystemColorsChanged();

// Once before any form; repeated calls are counted, so only the outermost pair does the work.
void StartGraphics();
void StopGraphics();
