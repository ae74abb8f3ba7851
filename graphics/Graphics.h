// Drawing tools (font, pen, brush) that share platform objects through reference-counted caches, the canvas
// that binds them to a device context, and bitmaps with their shared images and palettes.
// May call Classes, SysUtils and the platform (gdi32, user32).
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>

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

// ---- Bitmaps ----

// The platform's DIBSECTION: a BITMAP, a BITMAPINFOHEADER, three colour masks, the section and its offset.
// A header with biSize 0 means no DIB format was chosen: the bitmap is device-dependent.
using DibInfo = DIBSECTION;
static_assert(sizeof(DibInfo) == 84, "DIB description");

// Pixel formats; each names its bits per pixel when set. Reading gives pfDevice, pf8bit, pf24bit or pfCustom.
enum : uint8_t {
  pfDevice = 0,
  pf1bit = 1,
  pf4bit = 2,
  pf8bit = 3,
  pf15bit = 4,
  pf16bit = 5,
  pf24bit = 6,
  pf32bit = 7,
  pfCustom = 8,
};
enum THandleType : uint8_t { bmDDB, bmDIB };

// Picture data shared between bitmaps; freed when the last reference goes.
class TSharedImage : public TObject {
 public:
  TSharedImage() = default;
  TSharedImage(const TSharedImage&) = delete;
  TSharedImage& operator=(const TSharedImage&) = delete;
  void Reference() { ++RefCount; }
  // At zero: FreeHandle, then the image is destroyed.
  void Release();
  virtual void FreeHandle() = 0;

  int32_t RefCount = 0;
};

class TBitmapImage : public TSharedImage {
 public:
  ~TBitmapImage() override;
  // Deletes a device-dependent Handle and the palette (never SystemPalette16).
  void FreeHandle() override;

  HBITMAP Handle = nullptr;    // the bitmap in use: the DIB section, a device-dependent bitmap, or none
  HPALETTE Palette = nullptr;  // owned
  HBITMAP DibHandle = nullptr;  // the DIB section, when the image has one
  DibInfo Dib{};
};

class TBitmapCanvas;

// A picture held as a platform bitmap, usually a DIB section whose rows are read and written directly.
// Changes of size, format or palette build a new image and release the old one.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  ~TBitmap() override;

  // From another bitmap: shares its image until one of the two changes.
  void CopyFrom(TPersistent* source) override;
  void DrawInto(TCanvas* canvas, const RECT& rect) override;
  int32_t PixelHeight() override;
  HPALETTE CurrentPalette() override;
  int32_t PixelWidth() override;
  void ReadImageData(TStream*) override {}
  void SetPixelHeight(int32_t height) override;
  // Hands p over: from then on the image owns it. 0 on an unshared image only drops the palette.
  void SetPalette(HPALETTE p) override;
  void SetPixelWidth(int32_t width) override;
  void LoadFromStream(TStream*) override {}
  // Takes the bitmap out of its memory context first, so the caller may select it elsewhere.
  virtual HBITMAP Handle();

  THandleType HandleType() const;
  uint8_t PixelFormat() const;
  void SetPixelFormat(uint8_t format);
  void SetDimensions(int32_t width, int32_t height);
  // Row r (0 = top) of the pixels; null when there are no pixels or r is outside the picture.
  uint8_t* RowAddress(int32_t r) const;
  std::unique_ptr<TList> RowList() const;
  // Made on first request.
  TBitmapCanvas* Canvas();
  void FreeContext();
  void EnsureHandle();
  void EnsurePalette();

  TBitmapImage* Image;   // one reference held
  bool NoPalette = false;  // the colour table gave no palette once: do not try again

 protected:
  void CopyImage(HBITMAP handle, HPALETTE palette, DibInfo& dib);
  // Takes handle and palette over, on failure too.
  void NewImage(HBITMAP handle, HPALETTE palette, const DibInfo& dib);

 private:
  TBitmapCanvas* canvas_ = nullptr;
};

// Gives a bitmap a memory device context while something draws it or onto it.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* bitmap) : Bitmap(bitmap) {}
  ~TBitmapCanvas() override;
  void CreateContext() override;
  void FreeContext();

  TBitmap* Bitmap;  // the owner
  HGDIOBJ OldBitmap = nullptr;
  HPALETTE OldPalette = nullptr;
};

// Palette entries are (red, green, blue, flags), colour-table entries (blue, green, red, 0): converts n of
// them in place either way.
void SwapRedBlue(void* entries, int32_t n);
// A new palette with all of p's entries; 0 for 0 or an empty palette.
HPALETTE CopyPalette(HPALETTE p);
// Up to maxIndex + 1 of p's entries as colour-table entries; returns how many.
int32_t PaletteToColorTable(HPALETTE p, RGBQUAD* table, int32_t maxIndex);
// A palette from a section's colour table (count ignored) or from count colours; 0 when there are none.
HPALETTE PaletteFromColorTable(HBITMAP section, const RGBQUAD* colours, int32_t count);
// On a palette screen, puts the 16 system colours into the first and last 8 entries of the record.
bool SystemPaletteOverride(LOGPALETTE* record);
// Deletes p unless it is 0 or SystemPalette16.
void DeletePaletteHandle(HPALETTE p);
// Frees the memory context of every bitmap canvas whose bitmap uses h.
void DeselectBitmap(HBITMAP h);
void FreeAllBitmapContexts();
// A new bitmap described by dib (and dib refreshed from it), filled white, with the brush of canvas, or with
// a copy of source; 0 when the description has no size. EAbort when source is no bitmap.
HBITMAP CopyBitmap(HBITMAP source, HPALETTE sourcePalette, HPALETTE newPalette, TCanvas* canvas, DibInfo& dib);

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
extern HPALETTE SystemPalette16;   // the 16 standard colours, or the screen's own on a palette screen
extern TList* BitmapCanvasList;    // bitmap canvases that hold a memory context

// After the system colours changed (WM_SYSCOLORCHANGE): canvases put their tools down and pens and brushes
// in a system colour drop their platform objects, which are made again in the new colours on next use.
void SystemColorsChanged();

// Once before any form; repeated calls are counted, so only the outermost pair does the work.
void StartGraphics();
void StopGraphics();
