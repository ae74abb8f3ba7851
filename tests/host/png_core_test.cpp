// The PNG decoder's platform-free core: chunk walk, layout and row inflation, on the logo, on pictures made by
// ImageMagick and on PNGs put together here, well-formed and damaged.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "graphics/PNGCore.h"
#include "tests/common/PngBuild.h"

using namespace pngbuild;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}


// A small picture: 5 x 3 indices into a palette of 4, each row behind filter byte 0.
const int kW = 5, kH = 3;
std::string Pixels() {
  std::string p;
  for (int i = 0; i < kW * kH; ++i) p += char((i * 7) % 4);
  return p;
}
std::string Rows(const std::string& pixels, int w) {
  std::string raw;
  for (size_t at = 0; at < pixels.size(); at += w) raw += '\0' + pixels.substr(at, w);
  return raw;
}
const std::string kPalette("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12);

struct Decoded {
  TPngLayout layout;
  std::string pixels;  // top row first
  bool image = false;  // an IDAT was there
};

class VectorRows : public TPngRowSink {
 public:
  VectorRows(int32_t w, int32_t h, int32_t slack = 0) : w_(w), room_(w + slack), pixels_(size_t(room_) * h, '\0') {}
  TRowSpan Row(int32_t r) override {
    EXPECT_EQ(r, asked_++);  // top to bottom, each once
    return {reinterpret_cast<uint8_t*>(&pixels_[size_t(r) * room_]), room_};
  }
  std::string Pixels() const {
    std::string p;
    for (size_t at = 0; at < pixels_.size(); at += room_) p += pixels_.substr(at, w_);
    return p;
  }

 private:
  int32_t w_, room_;
  std::string pixels_;
  int32_t asked_ = 0;
};

Decoded Decode(const std::string& bytes, size_t skip = 0) {
  TMemoryStream stream;
  stream.WriteBytes(bytes.data(), int32_t(bytes.size()));
  stream.SetPos(int32_t(skip));
  TChunkSlots slots;
  ReadChunks(&stream, slots);
  Decoded d;
  if (!slots[ckIDAT]) return d;
  d.image = true;
  EXPECT_EQ(slots[ckIDAT]->Kind, ckIDAT);
  EXPECT_EQ(slots[ckIDAT]->Header, slots[ckIHDR] ? slots[ckIHDR]->Memory() : nullptr);
  d.layout = ReadLayout(slots);
  VectorRows rows(d.layout.Width, d.layout.Height, 3);
  InflateRows(slots[ckIDAT], d.layout.Width, d.layout.Height, rows);
  d.pixels = rows.Pixels();
  return d;
}

std::string PaletteBytes(const TPngLayout& l) {
  return std::string(reinterpret_cast<const char*>(l.Palette), size_t(l.PaletteCount) * 3);
}

// Every row's filter byte, read with zlib alone.
std::vector<int> FilterBytes(const std::string& png) {
  std::string idat;
  uint32_t w = 0, h = 0;
  for (size_t at = 8; at + 8 <= png.size();) {
    const auto* p = reinterpret_cast<const uint8_t*>(png.data() + at);
    const uint32_t n = uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    const std::string type = png.substr(at + 4, 4), data = png.substr(at + 8, n);
    if (type == "IHDR") {
      w = uint8_t(data[2]) * 256u + uint8_t(data[3]);  // the pictures here are narrower than 65536
      h = uint8_t(data[6]) * 256u + uint8_t(data[7]);
    }
    if (type == "IDAT") idat += data;
    at += 12 + n;
  }
  std::string raw(size_t(w + 1) * h, '\0');
  uLongf n = uLongf(raw.size());
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&raw[0]), &n, reinterpret_cast<const Bytef*>(idat.data()), uLong(idat.size())), Z_OK);
  std::vector<int> filters;
  for (uint32_t r = 0; r < h; ++r) filters.push_back(raw[size_t(r) * (w + 1)]);
  return filters;
}

const std::string kLogo = HOST_BUILD_DIR "/logo.png";
const std::string kPictures = SOURCE_DIR "/tests/data/png/";

TEST(PngCore, LogoDecodesToWhatTheToolDrew) {
  const std::string png = ReadFile(kLogo), dump = ReadFile(HOST_BUILD_DIR "/logo.dump");
  ASSERT_EQ(dump.size(), 768u + 120 * 260);
  const Decoded d = Decode(png);
  ASSERT_TRUE(d.image);
  EXPECT_EQ(d.layout.Width, 120);
  EXPECT_EQ(d.layout.Height, 260);
  EXPECT_EQ(PaletteBytes(d.layout), dump.substr(0, 768));
  EXPECT_EQ(d.pixels, dump.substr(768));
  // Only IHDR (8-bit palette, not interlaced), PLTE, one IDAT and IEND, in that order.
  std::string order;
  for (size_t at = 8; at + 8 <= png.size(); at += 12 + uint8_t(png[at + 2]) * 256u + uint8_t(png[at + 3]))
    order += png.substr(at + 4, 4) + " ";
  EXPECT_EQ(order, "IHDR PLTE IDAT IEND ");
  EXPECT_EQ(png.substr(16 + 8, 5), std::string("\x08\x03\0\0\0", 5));
}

TEST(PngCore, ImageMagickPicturesGiveTheColoursItsReaderReports) {
  for (const char* name : {"im_pal8", "im_ancillary", "im_pal16", "im_noiend"}) {
    SCOPED_TRACE(name);
    const std::string png = ReadFile(kPictures + name + ".png"), rgb = ReadFile(kPictures + name + ".rgb");
    for (int f : FilterBytes(png)) ASSERT_EQ(f, 0);
    const Decoded d = Decode(png);
    ASSERT_EQ(size_t(d.layout.Width) * d.layout.Height * 3, rgb.size());
    std::string colours;
    for (unsigned char index : d.pixels) colours += PaletteBytes(d.layout).substr(index * 3u, 3);
    EXPECT_EQ(colours, rgb);
    if (std::string(name) == "im_pal16") {
      EXPECT_EQ(d.layout.PaletteCount, 16);
    }
  }
  for (int f : FilterBytes(ReadFile(kLogo))) ASSERT_EQ(f, 0);
}

TEST(PngCore, WellFormedVariantsDecodeAlike) {
  const std::string ihdr = Header(kW, kH), plte = Chunk("PLTE", kPalette);
  const std::string idat = Chunk("IDAT", Deflate(Rows(Pixels(), kW))), iend = Chunk("IEND", "");
  const std::string other = Chunk("IDAT", Deflate(Rows(std::string(kW * kH, '\3'), kW)));
  struct Case {
    const char* name;
    std::string bytes;
    size_t skip;
  } cases[] = {
      {"plain", kSignature + ihdr + plte + idat + iend, 0},
      {"ancillary chunks", kSignature + ihdr + Chunk("tEXt", std::string("Comment\0x", 9)) + Chunk("pHYs", "123456789") + plte + idat + iend, 0},
      {"no IEND", kSignature + ihdr + plte + idat, 0},
      {"no checksum after the last chunk", (kSignature + ihdr + plte + idat).substr(0, 8 + 25 + 24 + idat.size() - 4), 0},
      {"bytes too few for a chunk at the end", kSignature + ihdr + plte + idat + std::string("\0\0\0\0IE", 6), 0},
      {"the last IDAT counts", kSignature + ihdr + plte + other + idat + iend, 0},
      {"nothing read after IEND", kSignature + ihdr + plte + idat + iend + other, 0},
      {"an unknown chunk running past the end", kSignature + ihdr + plte + idat + Be32(999) + "zzzz", 0},
      {"read from the stream's position", "junk" + kSignature + ihdr + plte + idat + iend, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = Decode(c.bytes, c.skip);
    ASSERT_TRUE(d.image);
    EXPECT_EQ(d.layout.Width, kW);
    EXPECT_EQ(d.layout.Height, kH);
    EXPECT_EQ(PaletteBytes(d.layout), kPalette);
    EXPECT_EQ(d.pixels, Pixels());
  }
}

TEST(PngCore, PaletteTakesWholeEntriesUpTo256) {
  std::string big;
  for (int i = 0; i < 300 * 3; ++i) big += char(i * 13);
  const std::string rest = Chunk("IDAT", Deflate(Rows(Pixels(), kW)));
  for (size_t bytes : {3u, 7u, 48u, 768u, 900u}) {
    const Decoded d = Decode(kSignature + Header(kW, kH) + Chunk("PLTE", big.substr(0, bytes)) + rest);
    EXPECT_EQ(size_t(d.layout.PaletteCount), std::min<size_t>(bytes / 3, 256)) << bytes;
    EXPECT_EQ(PaletteBytes(d.layout), big.substr(0, d.layout.PaletteCount * 3u)) << bytes;
  }
}

TEST(PngCore, DamagedInputEndsWithEAbort) {
  const std::string ihdr = Header(kW, kH), plte = Chunk("PLTE", kPalette), raw = Rows(Pixels(), kW);
  const std::string idat = Chunk("IDAT", Deflate(raw)), iend = Chunk("IEND", "");
  const std::string packed = Deflate(raw);
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"no IHDR", kSignature + plte + idat + iend, "without a header"},
      {"empty IHDR", kSignature + Chunk("IHDR", "") + plte + idat + iend, "without a header"},
      {"short IHDR", kSignature + Chunk("IHDR", Be32(kW) + std::string(3, '\0')) + plte + idat + iend, "without a header"},
      {"no PLTE", kSignature + ihdr + idat + iend, "without a palette"},
      {"empty PLTE", kSignature + ihdr + Chunk("PLTE", "") + idat + iend, "without a palette"},
      {"PLTE shorter than an entry", kSignature + ihdr + Chunk("PLTE", "\1\2") + idat + iend, "without a palette"},
      {"width 0", kSignature + Header(0, kH) + plte + idat + iend, "unsupported size"},
      {"height 0", kSignature + Header(kW, 0) + plte + idat + iend, "unsupported size"},
      {"width 16385", kSignature + Header(16385, 1) + plte + idat + iend, "unsupported size"},
      {"width past 31 bits", kSignature + Header(0x80000005u, 1) + plte + idat + iend, "unsupported size"},
      {"16384 x 16384", kSignature + Header(16384, 16384) + plte + idat + iend, "unsupported size"},
      {"empty IDAT", kSignature + ihdr + plte + Chunk("IDAT", "") + iend, "ends before"},
      {"a row short", kSignature + ihdr + plte + Chunk("IDAT", Deflate(raw.substr(0, raw.size() - 1))) + iend, "ends before"},
      {"rows for one line less", kSignature + ihdr + plte + Chunk("IDAT", Deflate(Rows(Pixels().substr(kW), kW))), "ends before"},
      {"zlib stream cut short", kSignature + ihdr + plte + Chunk("IDAT", packed.substr(0, packed.size() / 2)), "ends before"},
      {"not a zlib stream", kSignature + ihdr + plte + Chunk("IDAT", std::string(40, '\xAB')) + iend, "ends before"},
      {"IDAT running past the end", kSignature + ihdr + plte + idat.substr(0, idat.size() - 6), "Operation aborted"},
      {"PLTE length past the end", kSignature + ihdr + Be32(0x7FFFFFFF) + "PLTE" + kPalette, "Operation aborted"},
      {"IHDR length of 4 GiB", kSignature + Be32(0xFFFFFFFF) + "IHDR" + std::string(20, '\0'), "Operation aborted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Decode(c.bytes);
      ADD_FAILURE() << "accepted";
    } catch (const EAbort& e) {
      EXPECT_NE(e.Message.find(c.message), std::string::npos) << e.Message;
    }
  }
}

TEST(PngCore, WithoutImageDataThereIsNothingToDecode) {
  for (const std::string& bytes : {std::string(), kSignature, kSignature + Header(kW, kH) + Chunk("PLTE", kPalette) + Chunk("IEND", "")}) {
    EXPECT_FALSE(Decode(bytes).image);
  }
}

TEST(PngCore, RowsShorterThanTheWidthAreRefused) {
  TMemoryStream stream;
  const std::string bytes = kSignature + Header(kW, kH) + Chunk("PLTE", kPalette) + Chunk("IDAT", Deflate(Rows(Pixels(), kW)));
  stream.WriteBytes(bytes.data(), int32_t(bytes.size()));
  stream.SetPos(0);
  TChunkSlots slots;
  ReadChunks(&stream, slots);
  VectorRows narrow(kW - 1, kH);
  EXPECT_THROW(InflateRows(slots[ckIDAT], kW, kH, narrow), EAbort);
}

}  // namespace
