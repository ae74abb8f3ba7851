// Hand-made PNG pieces for the decoder's tests (host and Windows): chunks with zero checksums, which the
// decoder never compares.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>

namespace pngbuild {

inline std::string Be32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

inline std::string Chunk(const char* type, const std::string& data) {
  return Be32(uint32_t(data.size())) + type + data + Be32(0);
}

// An 8-bit palette header.
inline std::string Header(uint32_t w, uint32_t h) {
  return Chunk("IHDR", Be32(w) + Be32(h) + std::string("\x08\x03\0\0\0", 5));
}

inline std::string Deflate(const std::string& raw) {
  uLongf n = compressBound(uLong(raw.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), 9);
  out.resize(n);
  return out;
}

inline const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

}  // namespace pngbuild
