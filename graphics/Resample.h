// The image resampler: a two-pass Mitchell filter over rows of 24-bit pixels, with near-white whitening and
// a 3 x 3 sharpening pass. Pure computation, no platform calls.
#pragma once
#include <cstdint>

// B = C = 1/3, single precision.
float Mitchell(float x);

// Scales a 24-bit image (rows of 3-byte pixels blue, green, red; row 0 at the top) to the target's size.
void ResampleRows(const uint8_t* const* srcRows, int32_t sw, int32_t sh, uint8_t* const* dstRows, int32_t dw,
                  int32_t dh, bool sharpen);
