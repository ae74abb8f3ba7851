// Host stand-ins for the two out-of-line stream members that Zlib.cpp's decompression stream refers to.
// The fuzz targets use only whole-buffer inflation; the real stream classes need the platform.
#include "framework/Classes.h"

#include <cstdlib>

void TStream::Resize(int32_t) { std::abort(); }
void TStream::ReadExact(void*, int32_t) { std::abort(); }
