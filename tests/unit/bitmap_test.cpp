// Bitmaps, palettes and the PNG decoder on real GDI objects under Wine: the embedded logo, pictures made by
// ImageMagick, damaged PNGs, new bitmaps, row layout, image sharing and palette rules.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/WinHandles.h"
#include "graphics/PNG.h"
#include "tests/common/PngBuild.h"
#include "support/FileHelpers.h"

using testfiles::ReadRaw;
using testfiles::W;

namespace {

class GraphicsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { StartGraphics(); }
  void TearDown() override { StopGraphics(); }
};
const auto* const graphicsEnvironment = ::testing::AddGlobalTestEnvironment(new GraphicsEnvironment);

const std::string kPictures = TEST_DATA_DIR "/png/";

void Load(TBitmap& bitmap, const std::string& bytes) {
  TMemoryStream stream;
  stream.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPos(0);
  bitmap.LoadFromStream(&stream);
}

// Palette entries as (red, green, blue) bytes.
std::string PaletteRgb(HPALETTE p) {
  PALETTEENTRY e[256];
  const UINT n = GetPaletteEntries(p, 0, 256, e);
  std::string rgb;
  for (UINT i = 0; i < n; ++i) rgb += {char(e[i].peRed), char(e[i].peGreen), char(e[i].peBlue)};
  return rgb;
}

// The DIB section's colour table as (red, green, blue) bytes, read back from the platform.
std::string ColourTableRgb(TBitmap& bitmap) {
  HBITMAP handle = bitmap.Handle();
  DeselectBitmap(handle);  // out of any canvas: a bitmap is selected into one context at a time
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TSelectedObject selected(dc.Get(), handle);
  RGBQUAD table[256];
  const UINT n = GetDIBColorTable(dc.Get(), 0, 256, table);
  std::string rgb;
  for (UINT i = 0; i < n; ++i) rgb += {char(table[i].rgbRed), char(table[i].rgbGreen), char(table[i].rgbBlue)};
  return rgb;
}

// Every pixel's colour, top row first, from the rows in memory: through the colour table at 8 bits.
std::string PixelsRgb(TBitmap& bitmap) {
  const std::string table = bitmap.PixelFormat() == pf8bit ? ColourTableRgb(bitmap) : std::string();
  std::string rgb;
  for (int32_t r = 0; r < bitmap.PixelHeight(); ++r) {
    const uint8_t* row = bitmap.RowAddress(r);
    for (int32_t x = 0; x < bitmap.PixelWidth(); ++x) {
      if (bitmap.PixelFormat() == pf8bit) rgb += table.substr(row[x] * 3u, 3);
      else rgb += {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x])};
    }
  }
  return rgb;
}

std::string Indices(TBitmap& bitmap) {
  std::string indices;
  for (int32_t r = 0; r < bitmap.PixelHeight(); ++r)
    indices.append(reinterpret_cast<const char*>(bitmap.RowAddress(r)), bitmap.PixelWidth());
  return indices;
}

HPALETTE MakePalette(std::initializer_list<COLORREF> colours) {
  struct {
    WORD version = 0x300, count = 0;
    PALETTEENTRY entries[256];
  } record;
  for (COLORREF c : colours) record.entries[record.count++] = {GetRValue(c), GetGValue(c), GetBValue(c), 0};
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&record));
}

// ---- PNG pictures ----

TEST(PngImage, EmbeddedLogoIsWhatTheToolDrew) {
  const std::string dump = ReadRaw(W(HOST_BUILD_DIR "/logo.dump"));
  ASSERT_EQ(dump.size(), 768u + 120 * 260);
  TResourceStream resource(nullptr, "LOGO", "PNG");
  ASSERT_GT(resource.Size(), 0);
  TPNGImage logo;
  logo.LoadFromStream(&resource);
  EXPECT_EQ(logo.PixelWidth(), 120);
  EXPECT_EQ(logo.PixelHeight(), 260);
  EXPECT_EQ(logo.PixelFormat(), pf8bit);
  EXPECT_EQ(PaletteRgb(logo.CurrentPalette()), dump.substr(0, 768));
  EXPECT_EQ(ColourTableRgb(logo), dump.substr(0, 768));
  EXPECT_EQ(Indices(logo), dump.substr(768));
  // The shipped logo's corner: pixel (0, 0) is index 10, entry 0 is (0xCC, 0xEC, 0xFC).
  EXPECT_EQ(logo.RowAddress(0)[0], 10);
  EXPECT_EQ(PaletteRgb(logo.CurrentPalette()).substr(0, 3), "\xCC\xEC\xFC");
}

TEST(PngImage, ImageMagickPicturesKeepTheirColoursAt8And24Bits) {
  for (const char* name : {"im_pal8", "im_ancillary", "im_pal16", "im_noiend"}) {
    SCOPED_TRACE(name);
    const std::string rgb = ReadRaw(W((kPictures + name + ".rgb").c_str()));
    TFileStream file(W((kPictures + name + ".png").c_str()), fmOpenRead);
    TPNGImage picture;
    picture.LoadFromStream(&file);
    ASSERT_EQ(picture.PixelFormat(), pf8bit);
    ASSERT_EQ(size_t(picture.PixelWidth()) * picture.PixelHeight() * 3, rgb.size());
    EXPECT_EQ(PixelsRgb(picture), rgb);
    if (std::string(name) == "im_pal16") {
      EXPECT_EQ(PaletteRgb(picture.CurrentPalette()).size(), 16u * 3);
    }
    picture.SetPixelFormat(pf24bit);
    ASSERT_EQ(picture.PixelFormat(), pf24bit);
    EXPECT_EQ(PixelsRgb(picture), rgb);
  }
}

TEST(PngImage, DamagedInputLeavesThePictureAsItWas) {
  using namespace pngbuild;
  const std::string& sig = kSignature;
  const std::string plte = Chunk("PLTE", "\1\2\3\4\5\6");
  const auto ihdr = &Header;
  const std::string rows = Deflate(std::string("\0\1\0\1\0\1\0\1", 8));  // 3 x 2: "\1\0\1" twice
  struct Case {
    const char* name;
    std::string bytes;
    bool raises;
  } cases[] = {
      {"rows cut short", sig + ihdr(3, 3) + plte + Chunk("IDAT", rows), true},
      {"no palette", sig + ihdr(3, 2) + Chunk("IDAT", rows), true},
      {"no header", sig + plte + Chunk("IDAT", rows), true},
      {"chunk past the end", sig + ihdr(3, 2) + plte + Chunk("IDAT", rows).substr(0, 12), true},
      {"too large", sig + ihdr(16384, 16384) + plte + Chunk("IDAT", rows), true},
      {"no image data", sig + ihdr(3, 2) + plte + Chunk("IEND", ""), false},
  };
  TPNGImage picture;
  Load(picture, ReadRaw(W((kPictures + "im_pal16.png").c_str())));
  const std::string before = PixelsRgb(picture);
  const TBitmapImage* image = picture.Image;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.raises) EXPECT_THROW(Load(picture, c.bytes), EAbort);
    else EXPECT_NO_THROW(Load(picture, c.bytes));
    EXPECT_EQ(picture.Image, image);
    EXPECT_EQ(PixelsRgb(picture), before);
  }
  // The well-formed version of the same bytes is taken.
  Load(picture, sig + ihdr(3, 2) + plte + Chunk("IDAT", rows));
  EXPECT_EQ(PixelsRgb(picture), std::string("\4\5\6\1\2\3\4\5\6\4\5\6\1\2\3\4\5\6", 18));
}

// ---- New bitmaps and rows ----

TEST(Bitmap, NewBitmapsStartWhiteOrAtIndex255) {
  TBitmap plain;
  plain.SetPixelWidth(5);
  EXPECT_EQ(plain.PixelHeight(), 0);
  EXPECT_EQ(plain.Handle(), nullptr);
  plain.SetPixelHeight(4);
  EXPECT_EQ(plain.HandleType(), bmDDB);
  EXPECT_EQ(plain.PixelFormat(), pfDevice);
  plain.Canvas()->EnsureState(csHasContext);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(GetPixel(plain.Canvas()->Handle, x, y), RGB(255, 255, 255)) << x << "," << y;
  }
  for (uint8_t format : {pf8bit, pf24bit}) {
    TBitmap dib;
    dib.SetPixelFormat(format);
    dib.SetDimensions(7, 3);
    EXPECT_EQ(dib.HandleType(), bmDIB);
    const TBitmapImage* image = dib.Image;
    dib.SetPixelFormat(format);
    EXPECT_EQ(dib.Image, image);  // the same format again changes nothing
    const size_t bytes = format == pf8bit ? 7 : 21;
    for (int32_t r = 0; r < 3; ++r) EXPECT_EQ(std::string(reinterpret_cast<char*>(dib.RowAddress(r)), bytes), std::string(bytes, '\xFF'));
  }
}

TEST(Bitmap, RowsAreBottomUpAndPadded) {
  for (uint8_t format : {pf8bit, pf24bit}) {
    for (int32_t width : {120, 37}) {
      SCOPED_TRACE(testing::Message() << int(format) << " " << width);
      TBitmap b;
      b.SetPixelFormat(format);
      b.SetDimensions(width, 260);
      BITMAP bm{};
      ASSERT_EQ(GetObjectW(b.Handle(), sizeof bm, &bm), int(sizeof bm));
      EXPECT_EQ(bm.bmWidthBytes % 4, 0);
      EXPECT_EQ(b.RowAddress(259), bm.bmBits);  // the top row is last in memory
      for (int32_t r = 1; r < 260; ++r) ASSERT_EQ(b.RowAddress(r - 1) - b.RowAddress(r), bm.bmWidthBytes);
      if (width == 120) {
        EXPECT_EQ(bm.bmWidthBytes, format == pf8bit ? 120 : 360);
      }
      EXPECT_EQ(b.RowAddress(-1), nullptr);
      EXPECT_EQ(b.RowAddress(260), nullptr);
      const auto rows = b.RowList();
      ASSERT_EQ(rows->Count(), 260);
      for (int32_t r = 0; r < 260; ++r) ASSERT_EQ(rows->ItemAt(r), b.RowAddress(r));
      // A pixel written into row r shows at (x, r) to the platform.
      const int x = width - 1, r = 17;
      if (format == pf8bit) b.RowAddress(r)[x] = 0;
      else std::fill_n(b.RowAddress(r) + 3 * x, 3, 0);
      b.Canvas()->EnsureState(csHasContext);
      EXPECT_NE(GetPixel(b.Canvas()->Handle, x, r), GetPixel(b.Canvas()->Handle, x, r + 1));
      EXPECT_EQ(GetPixel(b.Canvas()->Handle, x - 1, r), GetPixel(b.Canvas()->Handle, x, r + 1));
    }
  }
}

// ---- Sharing, palettes, drawing ----

TEST(Bitmap, CopiesShareTheImageUntilOneChanges) {
  TPNGImage a;
  Load(a, ReadRaw(W((kPictures + "im_pal16.png").c_str())));
  const std::string colours = PixelsRgb(a);
  TBitmap b, c;
  b.CopyFrom(&a);
  c.CopyFrom(&a);
  ASSERT_EQ(b.Image, a.Image);
  EXPECT_EQ(a.Image->RefCount, 3);
  // Drawing through one goes into the shared image.
  b.Canvas()->Brush->SetToolColor(RGB(0, 0, 0));
  b.Canvas()->FillRectangle(RECT{0, 0, 37, 1});
  EXPECT_NE(PixelsRgb(a), colours);
  Load(a, ReadRaw(W((kPictures + "im_pal16.png").c_str())));  // a takes a new image; b and c keep theirs
  EXPECT_EQ(b.Image, c.Image);
  EXPECT_EQ(b.Image->RefCount, 2);
  const std::string drawn = PixelsRgb(b);
  c.SetPixelFormat(pf24bit);
  EXPECT_NE(c.Image, b.Image);
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(PixelsRgb(c), drawn);
  b.SetDimensions(5, 5);
  EXPECT_EQ(c.PixelWidth(), 37);
  EXPECT_EQ(a.Image->RefCount, 1);
  EXPECT_EQ(PixelsRgb(a), colours);
}

TEST(Bitmap, SetPaletteRules) {
  TPNGImage a;
  Load(a, ReadRaw(W((kPictures + "im_pal16.png").c_str())));
  const TBitmapImage* image = a.Image;
  a.SetPalette(a.Image->Palette);
  EXPECT_EQ(a.Image, image);  // the current palette: nothing
  TBitmap shared;
  shared.CopyFrom(&a);
  a.SetPalette(nullptr);  // shared: a new image without a palette; the other keeps its own
  EXPECT_NE(a.Image, image);
  EXPECT_EQ(a.Image->Palette, nullptr);
  EXPECT_NE(shared.Image->Palette, nullptr);
  HBITMAP handle = a.Image->Handle;
  a.SetPalette(MakePalette({RGB(1, 2, 3)}));
  image = a.Image;
  a.SetPalette(nullptr);  // unshared: only the palette goes
  EXPECT_EQ(a.Image, image);
  EXPECT_EQ(a.Image->Palette, nullptr);
  EXPECT_NE(a.Image->Handle, handle);
  handle = a.Image->Handle;
  a.SetPalette(nullptr);
  EXPECT_EQ(a.Image->Handle, handle);
  HPALETTE two = MakePalette({RGB(10, 20, 30), RGB(200, 100, 50)});
  a.SetPalette(two);
  EXPECT_EQ(a.Image->Palette, two);  // owned from now on
  // The platform may pad the table to 256 entries; the first are the palette's.
  EXPECT_EQ(ColourTableRgb(a).substr(0, 6), std::string("\x0A\x14\x1E\xC8\x64\x32", 6));
}

TEST(Bitmap, DrawIntoCopiesThePictureAndContextsAreFreed) {
  TPNGImage picture;
  Load(picture, ReadRaw(W((kPictures + "im_pal8.png").c_str())));
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetDimensions(37, 23);
  target.Canvas()->DrawGraphic(0, 0, &picture);
  EXPECT_EQ(PixelsRgb(target), ReadRaw(W((kPictures + "im_pal8.rgb").c_str())));
  ASSERT_EQ(BitmapCanvasList->Count(), 2);
  DeselectBitmap(picture.Image->Handle);
  ASSERT_EQ(BitmapCanvasList->Count(), 1);
  EXPECT_EQ(picture.Canvas()->Handle, nullptr);
  EXPECT_NE(target.Canvas()->Handle, nullptr);
  FreeAllBitmapContexts();
  EXPECT_EQ(BitmapCanvasList->Count(), 0);
  EXPECT_EQ(target.Canvas()->Handle, nullptr);
}

// Whatever replaces the image first takes the bitmap out of its memory context, so the old one can be deleted.
TEST(Bitmap, ReplacedImagesGiveTheirBitmapsBack) {
  const std::string png = ReadRaw(W((kPictures + "im_pal16.png").c_str()));
  using Change = void (*)(TPNGImage&, const std::string&);
  const std::pair<const char*, Change> changes[] = {
      {"CopyFrom", [](TPNGImage& p, const std::string&) {
         TBitmap other;
         other.SetDimensions(2, 2);
         p.CopyFrom(&other);
       }},
      {"SetPixelFormat", [](TPNGImage& p, const std::string&) { p.SetPixelFormat(pf24bit); }},
      {"SetDimensions", [](TPNGImage& p, const std::string&) { p.SetDimensions(5, 5); }},
      {"LoadFromStream", [](TPNGImage& p, const std::string& bytes) { Load(p, bytes); }},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.first);
    TPNGImage picture;
    Load(picture, png);
    HBITMAP old = picture.Image->Handle;
    picture.Canvas()->EnsureState(csHasContext);
    change.second(picture, png);
    EXPECT_EQ(BitmapCanvasList->Count(), 0);
    EXPECT_EQ(GetObjectType(old), 0u);
  }
}

TEST(Palettes, CopyConvertAndSystemColours) {
  TGdiObject<HPALETTE> p(MakePalette({RGB(1, 2, 3), RGB(4, 5, 6), RGB(7, 8, 9)}));
  EXPECT_EQ(CopyPalette(nullptr), nullptr);
  TGdiObject<HPALETTE> copy(CopyPalette(p.Get()));
  EXPECT_NE(copy.Get(), p.Get());
  EXPECT_EQ(PaletteRgb(copy.Get()), PaletteRgb(p.Get()));
  RGBQUAD table[4] = {};
  ASSERT_EQ(PaletteToColorTable(p.Get(), table, 1), 2);
  EXPECT_EQ(table[1].rgbRed, 4);
  EXPECT_EQ(table[1].rgbBlue, 6);
  EXPECT_EQ(table[2].rgbRed, 0);  // past maxIndex: untouched
  EXPECT_EQ(PaletteFromColorTable(nullptr, table, 0), nullptr);
  TGdiObject<HPALETTE> back(PaletteFromColorTable(nullptr, table, 2));
  EXPECT_EQ(PaletteRgb(back.Get()), PaletteRgb(p.Get()).substr(0, 6));
  // The 16 standard colours: black first, white last, no two alike.
  const std::string system = PaletteRgb(SystemPalette16);
  ASSERT_EQ(system.size(), 48u);
  EXPECT_EQ(system.substr(0, 3), std::string(3, '\0'));
  EXPECT_EQ(system.substr(45), std::string(3, '\xFF'));
  for (size_t i = 0; i < 48; i += 3) {
    for (size_t j = i + 3; j < 48; j += 3) EXPECT_NE(system.substr(i, 3), system.substr(j, 3));
  }
  struct {
    WORD version = 0x300, count = 16;
    PALETTEENTRY entries[16] = {};
  } record;
  EXPECT_EQ(SystemPaletteOverride(reinterpret_cast<LOGPALETTE*>(&record)),
            GetDeviceCaps(ScreenDeviceContext, SIZEPALETTE) >= 16);
}

}  // namespace
