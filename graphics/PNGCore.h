// The platform-free half of the PNG decoder: walks a stream's chunks and inflates the image rows into rows the
// caller supplies. May call Classes and Zlib; no platform calls, so it is tested and fuzzed on the host.
#pragma once
#include <cstdint>
#include <memory>

#include "framework/Classes.h"

class TPNGImage;

// Slot numbers of the chunks the decoder knows.
enum : uint8_t { ckIHDR = 0, ckPLTE = 1, ckIDAT = 2, ckIEND = 3, ChunkKinds = 4 };

// One chunk's data bytes, without length, type and checksum.
class TChunk : public TMemoryStream {
 public:
  uint8_t Kind = 0;
  TPNGImage* Image = nullptr;        // the picture being loaded, set by the loader
  const uint8_t* Header = nullptr;   // the IHDR chunk's bytes, or null
};

// Working storage of one load: the last chunk of each known kind.
struct TChunkSlots {
  std::unique_ptr<TChunk> Slot[ChunkKinds];
  TChunk* operator[](int kind) const { return Slot[kind].get(); }
};

// Reads chunks from the stream's position (past the 8-byte signature, not compared) to its end or to IEND.
// IHDR, PLTE and IDAT are kept, a later one replacing an earlier one; others are skipped. EAbort when a kept
// chunk runs past the end of the stream. Checksums are not compared.
void ReadChunks(TStream* stream, TChunkSlots& slots);

// Largest picture accepted: a side of 16384 pixels and 16 Mi pixels in all, far beyond any logo.
constexpr int32_t MaxPngSide = 16384;
constexpr int64_t MaxPngPixels = int64_t{1} << 24;

struct TPngLayout {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t PaletteCount = 0;      // 1 to 256: PLTE's size div 3, at most 256
  uint8_t Palette[256][3] = {};  // red, green, blue
};

// Width and height from IHDR, the palette from PLTE. EAbort when IHDR is missing or shorter than 8 bytes,
// when a side is 0 or the picture larger than the limits above, or when PLTE is missing or has no entry.
TPngLayout ReadLayout(const TChunkSlots& slots);

// Where the decoder puts row r: Length bytes at Data.
struct TRowSpan {
  uint8_t* Data = nullptr;
  int32_t Length = 0;
};

class TPngRowSink {
 public:
  virtual TRowSpan Row(int32_t r) = 0;

 protected:
  ~TPngRowSink() = default;
};

// Inflates `height` rows of `width` palette indices from the IDAT chunk into the sink, top row first; each
// row's filter byte is read and set aside (filter type 0 is the only one reproduced). EAbort when the data
// ends before the last row or a row the sink offers is shorter than `width`.
void InflateRows(TChunk* idat, int32_t width, int32_t height, TPngRowSink& sink);
