// Host tool: draws the program icon (a written page with a quill) and writes it as an .ico file with
// 16, 32, 48 and 256 pixel images. Platform-free. The 32, 48 and 256 pixel images are PNG (read by Windows
// since Vista), each row filtered as PNG encoders usually choose and deflated by Zopfli: the icon is a fifth
// of the setup program's resources otherwise; the 16 pixel image stays a bitmap for the oldest readers.
//   mkicon OUT.ico
#include <zlib.h>
#include <zopfli/zopfli.h>

#include <cstdlib>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgba {
  float r, g, b, a;  // straight (not premultiplied), 0..1
};

struct Point {
  float x, y;
};

// A convex polygon as half-planes: inside where every edge function is negative. The largest edge value
// is a signed distance good enough for borders (exact inside, near the edges).
class ConvexShape {
 public:
  explicit ConvexShape(std::vector<Point> corners) {  // clockwise on screen (y grows downwards)
    for (size_t i = 0; i < corners.size(); ++i) {
      const Point a = corners[i];
      const Point b = corners[(i + 1) % corners.size()];
      const float dx = b.x - a.x, dy = b.y - a.y;
      const float length = std::sqrt(dx * dx + dy * dy);
      const float nx = dy / length, ny = -dx / length;  // outward for clockwise corners
      edges_.push_back({nx, ny, nx * a.x + ny * a.y});
    }
  }
  float Distance(Point p) const {
    float d = -1e9f;
    for (const Edge& e : edges_) d = std::max(d, e.nx * p.x + e.ny * p.y - e.c);
    return d;
  }

 private:
  struct Edge {
    float nx, ny, c;
  };
  std::vector<Edge> edges_;
};

Rgba Mix(Rgba a, Rgba b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Rgba Rgb(int r, int g, int b) { return {r / 255.f, g / 255.f, b / 255.f, 1.f}; }

// The design in unit coordinates; `pixel` is one output pixel in those units, so lines stay visible
// at 16 pixels. Returns the colour of the top-most shape at p, or transparent.
Rgba Sample(Point p, float pixel, int size) {
  const float border = std::max(0.028f, pixel * 1.1f);
  const Rgba ink = Rgb(44, 58, 92);

  // The quill, from the nib at the lower left to the tip of the feather at the upper right.
  const Point nib{0.27f, 0.90f}, tip{0.93f, 0.07f};
  const float ax = tip.x - nib.x, ay = tip.y - nib.y;
  const float axisLength = std::sqrt(ax * ax + ay * ay);
  const float ux = ax / axisLength, uy = ay / axisLength;
  const float t = ((p.x - nib.x) * ux + (p.y - nib.y) * uy) / axisLength;  // 0 at the nib, 1 at the tip
  const float s = ((p.x - nib.x) * -uy + (p.y - nib.y) * ux);             // across, in units
  if (t >= 0.f && t <= 1.f) {
    // Vane: from a third of the way up to the tip, wider on the upper side, thinning to a point.
    if (t > 0.34f) {
      const float u = (t - 0.34f) / 0.66f;
      const float swell = std::pow(std::sin(3.14159265f * std::pow(u, 0.8f)), 0.75f);
      const float reach = (s < 0 ? 0.125f : 0.085f) * swell;
      if (std::fabs(s) < reach) {
        // Barbs: thin slanted gaps near the edge where there are pixels enough to show them.
        const bool gap = size >= 48 && std::fabs(s) > reach * 0.45f &&
                         std::fmod(std::fabs(t * 26.f + std::fabs(s) * 30.f), 1.f) < 0.11f;
        if (!gap) {
          const Rgba dark = Rgb(18, 96, 122), light = Rgb(92, 186, 196);
          Rgba c = Mix(dark, light, std::min(1.f, std::fabs(s) / std::max(reach, 1e-4f) * 0.8f + u * 0.3f));
          if (std::fabs(s) < std::max(0.009f, pixel * 0.5f)) c = Rgb(236, 242, 244);  // the shaft in the vane
          return c;
        }
      }
    }
    // Shaft below the vane.
    if (t > 0.10f && std::fabs(s) < std::max(0.014f, pixel * 0.6f)) return Rgb(70, 78, 96);
    // Nib: a narrow dark wedge with a slit.
    if (t <= 0.12f && std::fabs(s) < 0.034f * (t / 0.12f) + pixel * 0.25f) {
      if (size >= 48 && std::fabs(s) < pixel * 0.5f && t > 0.03f && t < 0.09f) return Rgb(200, 205, 215);
      return Rgb(22, 28, 48);
    }
  }

  // The page with its upper right corner folded over.
  const float left = 0.14f, top = 0.06f, right = 0.74f, bottom = 0.94f, fold = 0.18f;
  static const ConvexShape page({{left, top}, {right - fold, top}, {right, top + fold}, {right, bottom}, {left, bottom}});
  static const ConvexShape flap({{right - fold, top}, {right, top + fold}, {right - fold, top + fold}});
  const float dFlap = flap.Distance(p);
  if (dFlap < 0.f) return dFlap > -border * 0.8f ? ink : Rgb(206, 216, 232);
  const float dPage = page.Distance(p);
  if (dPage < 0.f) {
    if (dPage > -border) return ink;
    // Written lines, the last one short.
    const float lineHeight = std::max(0.035f, pixel);
    for (int i = 0; i < 5; ++i) {
      const float y = 0.34f + i * 0.11f;
      const float end = i == 4 ? 0.44f : 0.63f;
      if (p.y >= y && p.y < y + lineHeight && p.x >= 0.24f && p.x < end) return Rgb(138, 156, 188);
    }
    // Paper, a shade warmer towards the bottom.
    return Mix(Rgb(255, 255, 252), Rgb(240, 236, 222), std::clamp((p.y - top) / (bottom - top), 0.f, 1.f));
  }
  return {0, 0, 0, 0};
}

// Straight RGBA bytes, top row first, each pixel the average of samples x samples points.
std::vector<uint8_t> Render(int size) {
  const int samples = size >= 128 ? 4 : 8;
  std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 4);
  const float pixel = 1.f / size;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      float r = 0, g = 0, b = 0, a = 0;  // premultiplied sums
      for (int sy = 0; sy < samples; ++sy) {
        for (int sx = 0; sx < samples; ++sx) {
          const Point p{(x + (sx + 0.5f) / samples) * pixel, (y + (sy + 0.5f) / samples) * pixel};
          const Rgba c = Sample(p, pixel, size);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      const float n = static_cast<float>(samples * samples);
      uint8_t* out = &pixels[(static_cast<size_t>(y) * size + x) * 4];
      const auto byte = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.f, 1.f) * 255.f)); };
      out[3] = byte(a / n);
      if (a > 0) {
        out[0] = byte(r / a);
        out[1] = byte(g / a);
        out[2] = byte(b / a);
      }
    }
  }
  return pixels;
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put32BigEndian(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Icon image in the bitmap form: header with doubled height, BGRA rows bottom-up, then the AND mask
// (1 = transparent), its rows padded to 32 bits.
std::vector<uint8_t> BitmapImage(const std::vector<uint8_t>& rgba, int size) {
  std::vector<uint8_t> out;
  const uint32_t maskRow = static_cast<uint32_t>((size + 31) / 32 * 4);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(size));
  Put32(out, static_cast<uint32_t>(size * 2));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  Put32(out, 0);   // BI_RGB
  Put32(out, static_cast<uint32_t>(size * size * 4) + maskRow * size);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const uint8_t* p = &rgba[(static_cast<size_t>(y) * size + x) * 4];
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(maskRow, 0);
    for (int x = 0; x < size; ++x)
      if (rgba[(static_cast<size_t>(y) * size + x) * 4 + 3] == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32BigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32BigEndian(out, static_cast<uint32_t>(crc32(0, &out[start], static_cast<uInt>(out.size() - start))));
}

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Icon image in the PNG form: 8-bit RGBA. Each row takes the filter whose output has the smallest sum of
// magnitudes (bytes read as signed), the usual heuristic.
bool PngImage(const std::vector<uint8_t>& rgba, int size, std::vector<uint8_t>& out) {
  const size_t stride = static_cast<size_t>(size) * 4;
  std::vector<uint8_t> raw;
  std::vector<uint8_t> zero(stride, 0);
  for (int y = 0; y < size; ++y) {
    const uint8_t* row = &rgba[y * stride];
    const uint8_t* up = y > 0 ? &rgba[(y - 1) * stride] : zero.data();
    std::vector<uint8_t> best;
    long bestCost = -1;
    for (uint8_t filter = 0; filter < 5; ++filter) {
      std::vector<uint8_t> line(1, filter);
      long cost = 0;
      for (size_t i = 0; i < stride; ++i) {
        const int a = i >= 4 ? row[i - 4] : 0, b = up[i], c = i >= 4 ? up[i - 4] : 0;
        const int predicted = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2
                                                                                    : Paeth(a, b, c);
        const uint8_t v = static_cast<uint8_t>(row[i] - predicted);
        line.push_back(v);
        cost += v < 128 ? v : 256 - v;
      }
      if (bestCost < 0 || cost < bestCost) {
        bestCost = cost;
        best.swap(line);
      }
    }
    raw.insert(raw.end(), best.begin(), best.end());
  }
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  unsigned char* zopfliOut = nullptr;
  size_t zopfliSize = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, raw.data(), raw.size(), &zopfliOut, &zopfliSize);
  if (!zopfliOut) return false;
  const std::vector<uint8_t> packed(zopfliOut, zopfliOut + zopfliSize);
  std::free(zopfliOut);
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out.assign(signature, signature + 8);
  std::vector<uint8_t> header;
  Put32BigEndian(header, static_cast<uint32_t>(size));
  Put32BigEndian(header, static_cast<uint32_t>(size));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // depth, RGBA, deflate, filter set 0, no interlace
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", packed);
  PutChunk(out, "IEND", {});
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkicon OUT.ico\n");
    return 2;
  }
  const int sizes[] = {16, 32, 48, 256};
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes) {
    const std::vector<uint8_t> rgba = Render(size);
    std::vector<uint8_t> image;
    if (size >= 32) {
      if (!PngImage(rgba, size, image)) {
        std::fprintf(stderr, "mkicon: cannot pack the %d pixel image\n", size);
        return 1;
      }
    } else {
      image = BitmapImage(rgba, size);
    }
    images.push_back(std::move(image));
  }

  std::vector<uint8_t> file;
  const size_t count = images.size();
  Put16(file, 0);
  Put16(file, 1);  // icon
  Put16(file, static_cast<uint32_t>(count));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * count);
  for (size_t i = 0; i < count; ++i) {
    const int size = sizes[i];
    file.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));  // 0 stands for 256
    file.push_back(static_cast<uint8_t>(size >= 256 ? 0 : size));
    file.push_back(0);  // no palette
    file.push_back(0);
    Put16(file, 1);   // planes
    Put16(file, 32);  // bits per pixel
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());

  const std::string path = argv[1];
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const bool written = f && std::fwrite(file.data(), 1, file.size(), f) == file.size();
  if (f && std::fclose(f) != 0) f = nullptr;
  if (!written || !f) {
    std::fprintf(stderr, "mkicon: cannot write %s\n", path.c_str());
    std::remove(path.c_str());
    return 1;
  }
  return 0;
}
