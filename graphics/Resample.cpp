#include "graphics/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

struct TContributor {
  int32_t Index;
  float Weight;
};

// Per target pixel, the source pixels that contribute and their weights, in one pool.
struct TContributorLists {
  std::vector<int32_t> Start;  // n + 1 offsets into Pool
  std::vector<TContributor> Pool;
};

TContributorLists BuildContributors(int32_t n, int32_t m, float s) {
  TContributorLists lists;
  const int32_t cap = s >= 1.0f ? 5 : static_cast<int32_t>((2.0f / s) * 2.0f + 1.0f);
  lists.Start.reserve(n + 1);
  lists.Pool.reserve(static_cast<size_t>(cap) * n);
  for (int32_t i = 0; i < n; ++i) {
    lists.Start.push_back(static_cast<int32_t>(lists.Pool.size()));
    int32_t count = 0;
    const float centre = static_cast<float>(i) / s;
    const float radius = s >= 1.0f ? 2.0f : 2.0f / s;
    const float stretch = 1.0f / s;
    const int32_t first = static_cast<int32_t>(std::floor(centre - radius));
    const int32_t last = static_cast<int32_t>(std::ceil(centre + radius));
    for (int32_t j = first; j <= last && count < cap; ++j) {
      const float w = s >= 1.0f ? Mitchell(centre - static_cast<float>(j))
                                : Mitchell((centre - static_cast<float>(j)) / stretch) / stretch;
      if (w == 0.0f) continue;
      lists.Pool.push_back({std::min(m - 1, std::abs(j)), w});
      ++count;
    }
  }
  lists.Start.push_back(static_cast<int32_t>(lists.Pool.size()));
  return lists;
}

float ScaleFactor(int32_t target, int32_t source) {
  if (source == 1) return static_cast<float>(target);
  return static_cast<float>(std::max(1, target - 1)) / static_cast<float>(source - 1);
}

// Above 255: 255; negative: 0; otherwise rounded, halves to even. Adding and taking away 1.5 * 2^23 leaves
// the nearest integer, ties to even, as the default rounding does; without branches or a library call the
// compiler can run many at once.
inline uint8_t Channel(float sum) {
  const float clamped = std::min(std::max(sum, 0.0f), 255.0f);
  return static_cast<uint8_t>(static_cast<int32_t>((clamped + 12582912.0f) - 12582912.0f));
}

}  // namespace

float Mitchell(float x) {
  const float t = std::fabs(x);
  if (t < 1.0f) return (7.0f * t * t * t - 12.0f * t * t + 6.0f - 2.0f / 3.0f) / 6.0f;
  if (t < 2.0f) return (-(7.0f / 3.0f) * t * t * t + 12.0f * t * t - 20.0f * t + 32.0f / 3.0f) / 6.0f;
  return 0.0f;
}

void ResampleRows(const uint8_t* const* srcRows, int32_t sw, int32_t sh, uint8_t* const* dstRows, int32_t dw,
                  int32_t dh, bool sharpen) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const size_t stride = static_cast<size_t>(dw) * 3;
  // The work image holds the rounded bytes of the first pass as floats: the second pass then needs no
  // conversions and the same sums come out.
  std::vector<float> between(static_cast<size_t>(sh) * stride);

  const TContributorLists across = BuildContributors(dw, sw, ScaleFactor(dw, sw));
  std::vector<float> line(static_cast<size_t>(sw) * 3);  // one source row, converted once
  for (int32_t y = 0; y < sh; ++y) {
    const uint8_t* row = srcRows[y];
    for (size_t i = 0; i < line.size(); ++i) line[i] = row[i];
    float* out = &between[y * stride];
    for (int32_t x = 0; x < dw; ++x) {
      float b = 0, g = 0, r = 0;
      const TContributor* c = &across.Pool[across.Start[x]];
      const TContributor* end = &across.Pool[0] + across.Start[x + 1];
      for (; c != end; ++c) {
        const float* p = &line[3 * c->Index];
        b += c->Weight * p[0];
        g += c->Weight * p[1];
        r += c->Weight * p[2];
      }
      out[3 * x] = Channel(b);
      out[3 * x + 1] = Channel(g);
      out[3 * x + 2] = Channel(r);
    }
  }

  // Row by row rather than column by column: the same sums, read along memory.
  const TContributorLists down = BuildContributors(dh, sh, ScaleFactor(dh, sh));
  std::vector<float> sums(stride);
  for (int32_t y = 0; y < dh; ++y) {
    std::fill(sums.begin(), sums.end(), 0.0f);
    for (int32_t k = down.Start[y]; k < down.Start[y + 1]; ++k) {
      const TContributor& c = down.Pool[k];
      const float* in = &between[c.Index * stride];
      for (size_t i = 0; i < stride; ++i) sums[i] += c.Weight * in[i];
    }
    uint8_t* out = dstRows[y];
    for (size_t i = 0; i < stride; ++i) out[i] = Channel(sums[i]);
  }
  if (!sharpen) return;

  for (int32_t y = 0; y < dh; ++y) {
    uint8_t* row = dstRows[y];
    for (int32_t x = 0; x < dw; ++x) {
      uint8_t* p = row + 3 * x;
      if (p[0] > 250 && p[1] > 250 && p[2] > 250) p[0] = p[1] = p[2] = 255;
    }
  }
  std::vector<uint8_t> work(static_cast<size_t>(dh) * stride);
  for (int32_t y = 0; y < dh; ++y) std::copy(dstRows[y], dstRows[y] + stride, &work[y * stride]);
  // The kernel: 28 at the centre, -2 beside, -1 at the corners. Outside the image the centre stands in for
  // its missing neighbour, so border pixels take the slow path.
  auto sharpened = [&](int32_t x, int32_t y, int ch) {
    const uint8_t centre = work[y * stride + 3 * x + ch];
    auto at = [&](int32_t nx, int32_t ny) {
      return (ny < 0 || ny >= dh || nx < 0 || nx >= dw) ? centre : work[ny * stride + 3 * nx + ch];
    };
    const int sum = 28 * centre - 2 * (at(x - 1, y) + at(x + 1, y) + at(x, y - 1) + at(x, y + 1)) -
                    (at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1));
    return static_cast<uint8_t>(std::clamp(sum / 16, 0, 255));
  };
  for (int32_t y = 0; y < dh; ++y) {
    uint8_t* out = dstRows[y];
    const bool innerRow = y > 0 && y < dh - 1;
    for (int32_t x = 0; x < dw; ++x) {
      if (!innerRow || x == 0 || x == dw - 1) {
        for (int ch = 0; ch < 3; ++ch) out[3 * x + ch] = sharpened(x, y, ch);
        continue;
      }
      const uint8_t* above = &work[(y - 1) * stride + 3 * x];
      const uint8_t* same = above + stride;
      const uint8_t* below = same + stride;
      for (int ch = 0; ch < 3; ++ch) {
        const int sum = 28 * same[ch] - 2 * (same[ch - 3] + same[ch + 3] + above[ch] + below[ch]) -
                        (above[ch - 3] + above[ch + 3] + below[ch - 3] + below[ch + 3]);
        out[3 * x + ch] = static_cast<uint8_t>(std::clamp(sum / 16, 0, 255));
      }
    }
  }
}
