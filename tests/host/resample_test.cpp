// The logo resampler: uniform images stay uniform at every size, a one-column source fills every column,
// near-white whitening stops at 250, and a same-size copy matches the filter computed here independently.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "graphics/Resample.h"

namespace {

struct Image {
  int w, h;
  std::vector<uint8_t> bytes;
  Image(int width, int height, uint8_t fill = 0) : w(width), h(height), bytes(size_t(width) * height * 3, fill) {}
  uint8_t* Px(int x, int y) { return &bytes[(size_t(y) * w + x) * 3]; }
  std::vector<uint8_t*> Rows() {
    std::vector<uint8_t*> rows;
    for (int y = 0; y < h; ++y) rows.push_back(Px(0, y));
    return rows;
  }
};

Image Resample(Image& source, int dw, int dh, bool sharpen) {
  Image target(dw, dh, 0x5A);
  std::vector<uint8_t*> in = source.Rows();
  std::vector<const uint8_t*> rows(in.begin(), in.end());
  ResampleRows(rows.data(), source.w, source.h, target.Rows().data(), dw, dh, sharpen);
  return target;
}

TEST(Resample, UniformImagesStayUniformAtEverySizeBordersIncluded) {
  const uint8_t colour[3] = {17, 130, 244};
  struct Size {
    int sw, sh, dw, dh;
  };
  for (const Size& s : {Size{12, 9, 12, 9}, Size{12, 9, 24, 18}, Size{12, 9, 6, 5}, Size{40, 40, 13, 9},
                        Size{7, 3, 40, 30}, Size{120, 260, 61, 131}, Size{2, 2, 1, 1}}) {
    Image source(s.sw, s.sh);
    for (int y = 0; y < s.sh; ++y)
      for (int x = 0; x < s.sw; ++x) std::copy(colour, colour + 3, source.Px(x, y));
    for (bool sharpen : {false, true}) {
      Image target = Resample(source, s.dw, s.dh, sharpen);
      for (int y = 0; y < s.dh; ++y)
        for (int x = 0; x < s.dw; ++x)
          for (int c = 0; c < 3; ++c)
            ASSERT_EQ(colour[c], target.Px(x, y)[c]) << s.sw << "x" << s.sh << " to " << s.dw << "x" << s.dh
                                                     << " sharpen " << sharpen << " at " << x << "," << y;
    }
  }
}

TEST(Resample, AOneColumnSourceFillsEveryColumn) {
  Image source(1, 5);
  for (int y = 0; y < 5; ++y) source.Px(0, y)[0] = source.Px(0, y)[1] = source.Px(0, y)[2] = uint8_t(40 * y + 10);
  // Sharpened, the outer columns stand in for missing neighbours: only the inner ones stay alike.
  for (bool sharpen : {false, true}) {
    Image target = Resample(source, 7, 5, sharpen);
    const int first = sharpen ? 1 : 0, last = sharpen ? 5 : 6;
    for (int y = 0; y < 5; ++y)
      for (int x = first + 1; x <= last; ++x)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(target.Px(first, y)[c], target.Px(x, y)[c]) << x << "," << y;
  }
}

TEST(Resample, NearWhiteBecomesWhiteOnlyWhenEveryChannelIsAbove250) {
  struct Case {
    uint8_t b, g, r;
    bool whitened;
  };
  for (const Case& c : {Case{251, 251, 251, true}, Case{253, 251, 255, true}, Case{250, 251, 251, false},
                        Case{251, 251, 250, false}}) {
    Image source(6, 4);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) source.Px(x, y)[0] = c.b, source.Px(x, y)[1] = c.g, source.Px(x, y)[2] = c.r;
    Image target = Resample(source, 6, 4, true);
    const uint8_t* p = target.Px(3, 2);
    if (c.whitened) {
      EXPECT_EQ(255, p[0] & p[1] & p[2]) << int(c.b) << " " << int(c.g) << " " << int(c.r);
    } else {
      EXPECT_EQ((std::vector<int>{c.b, c.g, c.r}), (std::vector<int>{p[0], p[1], p[2]}));
    }
  }
}

// The same-size filter in double precision: weights 1/18, 8/9, 1/18, mirrored at the start, repeated at the
// end, rows first, each pass rounded to a byte.
double Tap(const std::vector<double>& line, int i) {
  const int n = int(line.size());
  auto at = [&](int j) { return line[std::min(n - 1, std::abs(j))]; };
  return at(i - 1) / 18.0 + at(i) * 8.0 / 9.0 + at(i + 1) / 18.0;
}

TEST(Resample, ASameSizeCopyMatchesTheFilterComputedIndependently) {
  // The wider size spans several sixteen-byte steps and ends on a partial group of four rows.
  for (const auto& [w, h] : {std::pair{9, 7}, std::pair{37, 11}}) {
    Image source(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) source.Px(x, y)[c] = uint8_t((x * 37 + y * 91 + c * 53) % 256);
    source.Px(4, 3)[1] = 255;  // one bright spot

    std::vector<std::vector<double>> expected(3, std::vector<double>(size_t(w) * h));
    for (int c = 0; c < 3; ++c) {
      std::vector<double> across(size_t(w) * h);
      for (int y = 0; y < h; ++y) {
        std::vector<double> line(w);
        for (int x = 0; x < w; ++x) line[x] = source.Px(x, y)[c];
        for (int x = 0; x < w; ++x) across[y * w + x] = std::clamp(std::nearbyint(Tap(line, x)), 0.0, 255.0);
      }
      for (int x = 0; x < w; ++x) {
        std::vector<double> line(h);
        for (int y = 0; y < h; ++y) line[y] = across[y * w + x];
        for (int y = 0; y < h; ++y) expected[c][y * w + x] = Tap(line, y);
      }
    }
    Image target = Resample(source, w, h, false);
    int compared = 0;
    for (int c = 0; c < 3; ++c)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const double e = expected[c][y * w + x];
          if (std::fabs(e - std::floor(e) - 0.5) < 0.01) continue;  // a tie: float may go either way
          ++compared;
          EXPECT_EQ(int(std::clamp(std::nearbyint(e), 0.0, 255.0)), target.Px(x, y)[c])
              << w << "x" << h << " channel " << c << " at " << x << "," << y;
        }
    EXPECT_GT(compared, 3 * w * h * 9 / 10);

    // Sharpened: 28 times the pixel less its neighbours (2 at the sides, 1 at the corners), over 16, from
    // the softened image; a neighbour outside the image counts as the pixel itself. No pixel here is near
    // white in all three channels, so whitening changes nothing.
    Image sharp = Resample(source, w, h, true);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          int sum = 0;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int weight = dx == 0 && dy == 0 ? 28 : (dx == 0 || dy == 0) ? -2 : -1;
              const bool inside = x + dx >= 0 && x + dx < w && y + dy >= 0 && y + dy < h;
              sum += weight * (inside ? target.Px(x + dx, y + dy)[c] : target.Px(x, y)[c]);
            }
          ASSERT_EQ(std::clamp(sum / 16, 0, 255), sharp.Px(x, y)[c]) << w << "x" << h << " " << x << "," << y;
        }
  }
}

}  // namespace
