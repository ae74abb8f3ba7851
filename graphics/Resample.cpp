#include "graphics/Resample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// GCC/Clang vectors: each lane is plain IEEE single (or integer) arithmetic, so four rows or sixteen bytes
// at once give the same bytes as one at a time, and the code needs no instruction set's header.
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));
typedef uint32_t V4u __attribute__((vector_size(16)));
typedef int16_t V8s __attribute__((vector_size(16)));
typedef uint16_t V8u __attribute__((vector_size(16)));
typedef uint8_t V16b __attribute__((vector_size(16)));

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

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
// the nearest integer, ties to even, as the default rounding does, with no branch or library call.
inline V4 Round(V4 sum) {
  const V4 zero = {}, top = zero + 255.0f, magic = zero + 12582912.0f;
  sum = sum > zero ? sum : zero;
  sum = sum < top ? sum : top;
  return (sum + magic) - magic;
}

// Sixteen values 0..255 held in 32-bit lanes, as bytes: the low byte of each lane, then of each pair of
// 16-bit halves.
inline V16b Narrow(V4i a, V4i b, V4i c, V4i d) {
  constexpr int lo = kLittleEndian ? 0 : 1;
  const V8s ab =
      __builtin_shufflevector(V8s(a), V8s(b), lo, 2 + lo, 4 + lo, 6 + lo, 8 + lo, 10 + lo, 12 + lo, 14 + lo);
  const V8s cd =
      __builtin_shufflevector(V8s(c), V8s(d), lo, 2 + lo, 4 + lo, 6 + lo, 8 + lo, 10 + lo, 12 + lo, 14 + lo);
  return __builtin_shufflevector(V16b(ab), V16b(cd), lo, 2 + lo, 4 + lo, 6 + lo, 8 + lo, 10 + lo, 12 + lo,
                                 14 + lo, 16 + lo, 18 + lo, 20 + lo, 22 + lo, 24 + lo, 26 + lo, 28 + lo,
                                 30 + lo);
}

// in[j][i] to out[i][j].
inline void Transpose4(const V4* in, V4* out) {
  const V4 t0 = __builtin_shufflevector(in[0], in[1], 0, 4, 1, 5),
           t1 = __builtin_shufflevector(in[0], in[1], 2, 6, 3, 7);
  const V4 t2 = __builtin_shufflevector(in[2], in[3], 0, 4, 1, 5),
           t3 = __builtin_shufflevector(in[2], in[3], 2, 6, 3, 7);
  out[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  out[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  out[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  out[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

template <typename V>
inline V Load(const uint8_t* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Columns 0..15 of four rows as floats, one row per lane: quad[k] = {r0[k], r1[k], r2[k], r3[k]}. Byte k of
// each 32-bit group goes to a lane of its own, then 4 x 4 blocks are turned over.
inline void Transpose16(const uint8_t* r0, const uint8_t* r1, const uint8_t* r2, const uint8_t* r3,
                        V4* quad) {
  const V4u a = Load<V4u>(r0), b = Load<V4u>(r1), c = Load<V4u>(r2), d = Load<V4u>(r3);
  for (int k = 0; k < 4; ++k) {
    const int shift = 8 * (kLittleEndian ? k : 3 - k);
    const V4i ak = V4i((a >> shift) & 0xFF), bk = V4i((b >> shift) & 0xFF);
    const V4i ck = V4i((c >> shift) & 0xFF), dk = V4i((d >> shift) & 0xFF);
    const V4i ab0 = __builtin_shufflevector(ak, bk, 0, 4, 1, 5),
              ab1 = __builtin_shufflevector(ak, bk, 2, 6, 3, 7);
    const V4i cd0 = __builtin_shufflevector(ck, dk, 0, 4, 1, 5),
              cd1 = __builtin_shufflevector(ck, dk, 2, 6, 3, 7);
    quad[k] = __builtin_convertvector(__builtin_shufflevector(ab0, cd0, 0, 1, 4, 5), V4);
    quad[4 + k] = __builtin_convertvector(__builtin_shufflevector(ab0, cd0, 2, 3, 6, 7), V4);
    quad[8 + k] = __builtin_convertvector(__builtin_shufflevector(ab1, cd1, 0, 1, 4, 5), V4);
    quad[12 + k] = __builtin_convertvector(__builtin_shufflevector(ab1, cd1, 2, 3, 6, 7), V4);
  }
}

// The kernel on the even (shift 0) or odd (shift 8) bytes of sixteen: in 16-bit lanes nothing overflows.
// A negative sum ends at 0 whether divided or shifted, so a shift does.
inline V8u SharpenHalf(const uint8_t* above, const uint8_t* same, const uint8_t* below, int shift) {
  auto at = [shift](const uint8_t* p) { return V8s((Load<V8u>(p) >> shift) & 0xFF); };
  const V8s side = at(same - 3) + at(same + 3) + at(above) + at(below);
  const V8s corner = at(above - 3) + at(above + 3) + at(below - 3) + at(below + 3);
  const V8s zero = {}, top = zero + 255;
  V8s sum = 28 * at(same) - 2 * side - corner;
  sum = sum < zero ? zero : sum;
  sum >>= 4;
  return V8u(sum > top ? top : sum);
}

// A pixel at the border: a neighbour outside the image is replaced by the centre pixel, i.e. offset 0.
void SharpenEdge(const uint8_t* copy, size_t stride, int32_t dw, int32_t dh, int32_t x, int32_t y,
                 uint8_t* out) {
  const uint8_t* c = copy + y * stride + 3 * static_cast<size_t>(x);
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride);
  ptrdiff_t off[3][3];
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const bool inside = x + dx >= 0 && x + dx < dw && y + dy >= 0 && y + dy < dh;
      off[dy + 1][dx + 1] = inside ? dy * row + 3 * dx : 0;
    }
  for (int ch = 0; ch < 3; ++ch) {
    const uint8_t* p = c + ch;
    const int sum = 28 * p[0] - 2 * (p[off[1][0]] + p[off[1][2]] + p[off[0][1]] + p[off[2][1]]) -
                    (p[off[0][0]] + p[off[0][2]] + p[off[2][0]] + p[off[2][2]]);
    out[3 * x + ch] = static_cast<uint8_t>(std::clamp(sum / 16, 0, 255));
  }
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
  const TContributorLists across = BuildContributors(dw, sw, ScaleFactor(dw, sw));
  const TContributorLists down = BuildContributors(dh, sh, ScaleFactor(dh, sh));

  const size_t line = static_cast<size_t>(sw) * 3;
  const size_t stride = static_cast<size_t>(dw) * 3;
  const size_t chunks = (stride + 3) / 4;  // a work row, in vectors
  const size_t copyChunks = sharpen ? (static_cast<size_t>(dh) * stride + sizeof(V4) - 1) / sizeof(V4) : 0;
  // The only allocation: four source rows lane by lane, the work image after the first pass (its rounded
  // values kept as floats, so the second pass converts nothing), and the copy that sharpening reads.
  // Aligned by hand: 32-bit MinGW's operator new assumes 16 bytes where msvcrt's malloc gives 8.
  const size_t vectors = line + static_cast<size_t>(sh) * chunks + copyChunks;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[(vectors + 1) * sizeof(V4)]);
  const uintptr_t base = reinterpret_cast<uintptr_t>(buffer.get());
  V4* quad = reinterpret_cast<V4*>((base + sizeof(V4) - 1) & ~uintptr_t(sizeof(V4) - 1));
  V4* work = quad + line;
  uint8_t* copy = reinterpret_cast<uint8_t*>(work + static_cast<size_t>(sh) * chunks);

  // Across, four source rows at a time, one per lane (past the last row, the last row again).
  for (int32_t y0 = 0; y0 < sh; y0 += 4) {
    const int32_t rows = std::min(4, sh - y0);
    const uint8_t* r0 = srcRows[y0];
    const uint8_t* r1 = srcRows[y0 + std::min(1, rows - 1)];
    const uint8_t* r2 = srcRows[y0 + std::min(2, rows - 1)];
    const uint8_t* r3 = srcRows[y0 + rows - 1];
    size_t i = 0;
    for (; i + 16 <= line; i += 16) Transpose16(r0 + i, r1 + i, r2 + i, r3 + i, quad + i);
    for (; i < line; ++i) quad[i] = V4{float(r0[i]), float(r1[i]), float(r2[i]), float(r3[i])};
    for (int32_t lane = 0; lane < rows; ++lane) work[(y0 + lane) * chunks + chunks - 1] = V4{};  // padding
    // Four target pixels give three vectors of each row: b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3.
    V4 px[12];
    for (int32_t x = 0; x < dw; ++x) {
      V4 b = {}, g = {}, r = {};
      for (int32_t k = across.Start[x]; k < across.Start[x + 1]; ++k) {
        const TContributor c = across.Pool[k];
        const V4* p = quad + 3 * c.Index;
        b += c.Weight * p[0];
        g += c.Weight * p[1];
        r += c.Weight * p[2];
      }
      V4* slot = px + 3 * (x % 4);
      slot[0] = Round(b);
      slot[1] = Round(g);
      slot[2] = Round(r);
      if (x % 4 == 3) {
        for (int t = 0; t < 3; ++t) {
          V4 rowwise[4];
          Transpose4(px + 4 * t, rowwise);
          for (int32_t lane = 0; lane < rows; ++lane)
            work[(y0 + lane) * chunks + 3 * (x / 4) + t] = rowwise[lane];
        }
      } else if (x == dw - 1) {
        for (int32_t lane = 0; lane < rows; ++lane) {
          V4* row = work + (y0 + lane) * chunks + 3 * (x / 4);
          for (int32_t k = 0; k < 3 * (x % 4 + 1); ++k) row[k / 4][k % 4] = px[k][lane];
        }
      }
    }
  }

  // Down, along each target row: the same sums as column by column, read along memory, four vectors per
  // step. Sharpening reads the whitened rows from the copy, so they go there rather than to the target.
  for (int32_t y = 0; y < dh; ++y) {
    const TContributor* first = down.Pool.data() + down.Start[y];
    const TContributor* last = down.Pool.data() + down.Start[y + 1];
    uint8_t* out = sharpen ? copy + y * stride : dstRows[y];
    size_t i = 0;
    for (; 4 * i + 16 <= stride; i += 4) {
      V4 s0 = {}, s1 = {}, s2 = {}, s3 = {};
      for (const TContributor* c = first; c != last; ++c) {
        const V4* in = work + c->Index * chunks + i;
        const V4 w = V4{} + c->Weight;
        s0 += w * in[0];
        s1 += w * in[1];
        s2 += w * in[2];
        s3 += w * in[3];
      }
      auto bytes = [](V4 s) { return __builtin_convertvector(Round(s), V4i); };
      const V16b packed = Narrow(bytes(s0), bytes(s1), bytes(s2), bytes(s3));
      std::memcpy(out + 4 * i, &packed, sizeof packed);
    }
    for (; i < chunks; ++i) {
      V4 s = {};
      for (const TContributor* c = first; c != last; ++c) s += c->Weight * work[c->Index * chunks + i];
      const V4i bytes = __builtin_convertvector(Round(s), V4i);
      for (size_t lane = 0; lane < 4 && 4 * i + lane < stride; ++lane)
        out[4 * i + lane] = uint8_t(bytes[lane]);
    }
    if (!sharpen) continue;
    for (size_t k = 0; k < stride; k += 3) {
      uint8_t* p = out + k;
      if (p[0] > 250 && p[1] > 250 && p[2] > 250) p[0] = p[1] = p[2] = 255;
    }
  }
  if (!sharpen) return;

  // The kernel: 28 at the centre, -2 beside, -1 at the corners, over 16; border pixels on the slow path.
  for (int32_t y = 0; y < dh; ++y) {
    uint8_t* out = dstRows[y];
    if (y == 0 || y == dh - 1 || dw < 3) {
      for (int32_t x = 0; x < dw; ++x) SharpenEdge(copy, stride, dw, dh, x, y, out);
      continue;
    }
    SharpenEdge(copy, stride, dw, dh, 0, y, out);
    SharpenEdge(copy, stride, dw, dh, dw - 1, y, out);
    const uint8_t* same = copy + y * stride;
    const uint8_t* above = same - stride;
    const uint8_t* below = same + stride;
    size_t i = 3;
    for (; i + 16 + 3 <= stride; i += 16) {
      const V8u even = SharpenHalf(above + i, same + i, below + i, 0);
      const V8u odd = SharpenHalf(above + i, same + i, below + i, 8);
      const V8u both = even | (odd << 8);
      std::memcpy(out + i, &both, sizeof both);
    }
    for (; i < stride - 3; ++i) {
      const int sum = 28 * same[i] - 2 * (same[i - 3] + same[i + 3] + above[i] + below[i]) -
                      (above[i - 3] + above[i + 3] + below[i - 3] + below[i + 3]);
      out[i] = static_cast<uint8_t>(std::min(std::max(sum, 0) >> 4, 255));
    }
  }
}
