// Times the logo resampler on a 120 x 260 picture: same size, enlarged 2x and shrunk to half; prints the
// time per call and a checksum of each result, so that a faster version can be shown to give the same bytes.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "graphics/Resample.h"

int main() {
  const int sw = 120, sh = 260;
  std::vector<uint8_t> source(size_t(sw) * sh * 3);
  uint32_t seed = 12345;
  for (int y = 0; y < sh; ++y)
    for (int x = 0; x < sw; ++x)
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1103515245u + 12345u;
        source[(size_t(y) * sw + x) * 3 + c] = uint8_t((x * 2 + y + c * 40 + (seed >> 27)) & 0xFF);
      }
  std::vector<const uint8_t*> rows(sh);
  for (int y = 0; y < sh; ++y) rows[y] = &source[size_t(y) * sw * 3];

  struct Case {
    const char* name;
    int dw, dh;
  };
  for (const Case& c : {Case{"same size 120x260", 120, 260}, Case{"enlarged 240x520", 240, 520},
                        Case{"shrunk 60x130", 60, 130}}) {
    std::vector<uint8_t> target(size_t(c.dw) * c.dh * 3);
    std::vector<uint8_t*> out(c.dh);
    for (int y = 0; y < c.dh; ++y) out[y] = &target[size_t(y) * c.dw * 3];
    ResampleRows(rows.data(), sw, sh, out.data(), c.dw, c.dh, true);  // warm-up
    int calls = 0;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double> elapsed{};
    do {
      ResampleRows(rows.data(), sw, sh, out.data(), c.dw, c.dh, true);
      ++calls;
      elapsed = std::chrono::steady_clock::now() - start;
    } while (elapsed.count() < 0.5);
    uint32_t sum = 2166136261u;  // FNV-1a over the result
    for (uint8_t b : target) sum = (sum ^ b) * 16777619u;
    std::printf("%-20s %9.1f us per call  (%d calls)  checksum %08x\n", c.name, elapsed.count() * 1e6 / calls, calls,
                sum);
  }
  return 0;
}
