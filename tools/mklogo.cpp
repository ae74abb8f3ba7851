// Host tool: draws the wizard's logo (a page and a quill on a sky gradient, 120 x 260) and writes it as the
// PNG the decoder reads: 8-bit palette, filter type 0 on every row, one IDAT, no other chunks.
// Usage: mklogo OUT.png [DUMP]   DUMP gets the 768 palette bytes (red, green, blue) and then the palette
// index of every pixel, top row first, so tests can compare a decoded logo with what was drawn.
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 120;
constexpr int kHeight = 260;

// Palette layout: a few fixed colours, then ramps.
enum : uint8_t {
  kPaperTint = 0,  // the folded corner; (0xCC, 0xEC, 0xFC)
  kPaper = 1,
  kOutline = 2,
  kTextLine = 3,
  kShaft = 4,
  kInk = 5,
  kAccentA = 6,
  kAccentB = 7,
  kAccentC = 8,
  kSpare = 9,
  kSky = 10,        // 10..137: the background, light at the top left
  kSkySteps = 128,
  kShadow = 138,    // 138..201: the background darkened, under the page
  kShadowSteps = 64,
  kFeather = 202,   // 202..255: the quill's vane, from its base to its tip
  kFeatherSteps = 54,
};

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

uint8_t Channel(double v) { return static_cast<uint8_t>(std::lround(v < 0 ? 0 : v > 255 ? 255 : v)); }

std::vector<uint8_t> MakePalette() {
  std::vector<uint8_t> pal(768, 0);
  auto set = [&](int i, Rgb c) {
    pal[3 * i] = Channel(c.r);
    pal[3 * i + 1] = Channel(c.g);
    pal[3 * i + 2] = Channel(c.b);
  };
  set(kPaperTint, {0xCC, 0xEC, 0xFC});
  set(kPaper, {0xFF, 0xFF, 0xFF});
  set(kOutline, {0x2B, 0x46, 0x60});
  set(kTextLine, {0x8F, 0xA7, 0xBF});
  set(kShaft, {0x5A, 0x3A, 0x1E});
  set(kInk, {0x1B, 0x2A, 0x3A});
  set(kAccentA, {0xE8, 0xB6, 0x4C});
  set(kAccentB, {0xE0, 0x7A, 0x3E});
  set(kAccentC, {0x3E, 0xA8, 0x9C});
  set(kSpare, {0x80, 0x80, 0x80});
  const Rgb skyTop{0xE4, 0xF3, 0xFB}, skyBottom{0x1F, 0x58, 0x94};
  for (int i = 0; i < kSkySteps; ++i) set(kSky + i, Mix(skyTop, skyBottom, i / double(kSkySteps - 1)));
  for (int i = 0; i < kShadowSteps; ++i) {
    const Rgb sky = Mix(skyTop, skyBottom, 2 * i / double(kSkySteps - 1));
    set(kShadow + i, Mix(sky, Rgb{0x0A, 0x1E, 0x36}, 0.45));
  }
  const Rgb vaneBase{0x2E, 0x6E, 0x8E}, vaneTip{0xF6, 0xE7, 0xC8};
  for (int i = 0; i < kFeatherSteps; ++i) set(kFeather + i, Mix(vaneBase, vaneTip, i / double(kFeatherSteps - 1)));
  return pal;
}

int SkyIndex(int x, int y) {
  const double t = (3.0 * y + x) / (3.0 * (kHeight - 1) + (kWidth - 1));
  return kSky + static_cast<int>(t * (kSkySteps - 1) + 0.5);
}

// The page: a rectangle with its top right corner folded over.
constexpr int kPageLeft = 16, kPageTop = 92, kPageRight = 82, kPageBottom = 192, kFold = 16;

bool InPage(int x, int y, int dx = 0, int dy = 0) {
  x -= dx;
  y -= dy;
  if (x < kPageLeft || x > kPageRight || y < kPageTop || y > kPageBottom) return false;
  return (kPageRight - x) + (y - kPageTop) >= kFold;  // cut corner
}

std::vector<uint8_t> Draw() {
  std::vector<uint8_t> px(size_t{kWidth} * kHeight);
  auto at = [&](int x, int y) -> uint8_t& { return px[size_t(y) * kWidth + x]; };
  const double pi = std::acos(-1.0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int c = SkyIndex(x, y);
      // Two pale discs, like a sun behind haze.
      const double d1 = std::hypot(x - 88.0, y - 40.0), d2 = std::hypot(x - 100.0, y - 62.0);
      if (d1 < 20 || d2 < 11) c = c - 9 < kSky ? kSky : c - 9;
      if (InPage(x, y, 4, 4) && !InPage(x, y)) c = kShadow + (c - kSky) / 2;
      if (InPage(x, y)) {
        const bool edge = !InPage(x - 1, y) || !InPage(x + 1, y) || !InPage(x, y - 1) || !InPage(x, y + 1);
        c = edge ? kOutline : kPaper;
        const int line = y - 112;
        const int lineEnd = (line / 11) % 3 == 2 ? 58 : 72;
        if (!edge && line >= 0 && line % 11 < 2 && line < 66 && x >= 26 && x <= lineEnd) c = kTextLine;
      }
      // The fold: the triangle under the cut corner.
      const int fx = x - (kPageRight - kFold), fy = y - kPageTop;
      if (fx >= 0 && fy >= 0 && fy <= kFold && fx <= fy) c = (fx == 0 || fy == kFold || fx == fy) ? kOutline : kPaperTint;
      at(x, y) = static_cast<uint8_t>(c);
    }
  }
  // The quill: a vane around a shaft from the nib up to the tip, leaning right.
  const double nx = 64, ny = 178, tx = 106, ty = 50;
  const double ax = tx - nx, ay = ty - ny, len = std::hypot(ax, ay);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double u = ((x - nx) * ax + (y - ny) * ay) / (len * len);  // 0 at the nib, 1 at the tip
      const double v = ((x - nx) * ay - (y - ny) * ax) / len;          // signed distance from the axis
      if (u < 0 || u > 1.02) continue;
      if (u > 0.24) {
        const double s = (u - 0.24) / 0.76;
        const double half = (v > 0 ? 12.0 : 8.0) * std::pow(std::sin(pi * std::min(s, 1.0)), 0.6);
        if (std::fabs(v) < half) {
          int shade = kFeather + static_cast<int>(s * (kFeatherSteps - 1));
          if (static_cast<int>(u * 70 + std::fabs(v) * 0.7) % 6 == 0) shade = shade - 6 < kFeather ? kFeather : shade - 6;
          at(x, y) = static_cast<uint8_t>(shade);
        }
      }
      if (std::fabs(v) < 0.8 && u > 0.08) at(x, y) = kShaft;
      if (u <= 0.08 && std::fabs(v) < 2.4 * u / 0.08) at(x, y) = kInk;
    }
  }
  // A line of fresh ink from the nib.
  for (int x = 34; x <= 62; ++x) {
    const int y = 181 + static_cast<int>(std::lround(2.5 * std::sin((x - 34) / 4.0)));
    at(x, y) = at(x, y + 1) = kInk;
  }
  // Three small diamonds at the foot.
  const int dotX[3] = {40, 60, 80};
  const uint8_t dotC[3] = {kAccentA, kAccentB, kAccentC};
  for (int i = 0; i < 3; ++i) {
    for (int y = 222; y <= 234; ++y) {
      for (int x = dotX[i] - 6; x <= dotX[i] + 6; ++x) {
        if (std::abs(x - dotX[i]) + std::abs(y - 228) <= 5) at(x, y) = dotC[i];
      }
    }
  }
  return px;
}

void Put32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  Put32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::string EncodePng(const std::vector<uint8_t>& pal, const std::vector<uint8_t>& px) {
  std::string raw;
  for (int y = 0; y < kHeight; ++y) {
    raw += '\0';  // filter type 0: the row as it is
    raw.append(reinterpret_cast<const char*>(&px[size_t(y) * kWidth]), kWidth);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK)
    return {};
  packed.resize(packedSize);
  std::string header;
  Put32(header, kWidth);
  Put32(header, kHeight);
  header += std::string("\x08\x03\x00\x00\x00", 5);  // depth 8, palette, deflate, filter method 0, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "PLTE", std::string(pal.begin(), pal.end()));
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", "");
  return png;
}

bool SaveFile(const char* path, const std::string& bytes) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: mklogo OUT.png [DUMP]\n");
    return 2;
  }
  const std::vector<uint8_t> pal = MakePalette();
  const std::vector<uint8_t> px = Draw();
  const std::string png = EncodePng(pal, px);
  if (png.empty() || !SaveFile(argv[1], png)) {
    std::fprintf(stderr, "mklogo: cannot write %s\n", argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  if (argc == 3) {
    std::string dump(pal.begin(), pal.end());
    dump.append(px.begin(), px.end());
    if (!SaveFile(argv[2], dump)) {
      std::fprintf(stderr, "mklogo: cannot write %s\n", argv[2]);
      std::remove(argv[1]);
      std::remove(argv[2]);
      return 1;
    }
  }
  return 0;
}
