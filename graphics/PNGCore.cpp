// Chunk walk and row inflation of the PNG decoder.
#include "PNGCore.h"

#include <cstring>

#include "install/Zlib.h"

namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Chunk types as whole 32-bit values, in the order they are tried.
uint32_t TypeCode(const char (&name)[5]) {
  uint32_t code;
  std::memcpy(&code, name, 4);
  return code;
}

int ChunkKindOf(uint32_t type) {
  static const uint32_t iend = TypeCode("IEND"), idat = TypeCode("IDAT"), plte = TypeCode("PLTE"),
                        ihdr = TypeCode("IHDR");
  if (type == iend) return ckIEND;
  if (type == idat) return ckIDAT;
  if (type == plte) return ckPLTE;
  if (type == ihdr) return ckIHDR;
  return -1;
}

}  // namespace

void ReadChunks(TStream* stream, TChunkSlots& slots) {
  for (auto& slot : slots.Slot) slot.reset();
  const int64_t size = stream->GetLength();
  stream->SeekTo(8, soFromCurrent);
  for (;;) {
    const int64_t pos = stream->GetPos();
    // Fewer bytes than a chunk header are no chunk: what came before is all there is.
    if (pos < 0 || size - pos < 8) break;
    uint8_t head[8];
    stream->ReadExact(head, 8);
    const uint32_t length = BigEndian32(head);
    uint32_t type;
    std::memcpy(&type, head + 4, 4);
    const int kind = ChunkKindOf(type);
    if (kind == ckIEND) break;
    const int64_t remaining = size - (pos + 8);
    if (kind < 0) {
      if (length > remaining) break;  // a skip past the end: nothing follows
      stream->SeekTo(static_cast<int32_t>(length), soFromCurrent);
    } else {
      if (length > remaining) throw EAbort();
      auto chunk = std::make_unique<TChunk>();
      // A count of 0 would copy the whole source: an empty chunk stays empty.
      if (length > 0) chunk->CopyBytesFrom(stream, static_cast<int32_t>(length));
      slots.Slot[kind] = std::move(chunk);
    }
    stream->SeekTo(4, soFromCurrent);  // the checksum
  }
  const TChunk* header = slots[ckIHDR];
  for (int kind = ckIEND; kind >= ckIHDR; --kind) {
    if (TChunk* chunk = slots[kind]) {
      chunk->Kind = static_cast<uint8_t>(kind);
      chunk->Header = header ? static_cast<const uint8_t*>(header->Memory()) : nullptr;
    }
  }
}

TPngLayout ReadLayout(const TChunkSlots& slots) {
  const TChunk* header = slots[ckIHDR];
  if (!header || header->Size() < 8) throw EAbort("PNG image without a header");
  const auto* bytes = static_cast<const uint8_t*>(header->Memory());
  const uint32_t width = BigEndian32(bytes);
  const uint32_t height = BigEndian32(bytes + 4);
  if (width == 0 || height == 0 || width > MaxPngSide || height > MaxPngSide ||
      int64_t{width} * height > MaxPngPixels)
    throw EAbort("PNG image of an unsupported size");
  const TChunk* palette = slots[ckPLTE];
  if (!palette || palette->Size() < 3) throw EAbort("PNG image without a palette");
  TPngLayout layout;
  layout.Width = static_cast<int32_t>(width);
  layout.Height = static_cast<int32_t>(height);
  layout.PaletteCount = palette->Size() / 3 > 256 ? 256 : palette->Size() / 3;
  std::memcpy(layout.Palette, palette->Memory(), static_cast<size_t>(layout.PaletteCount) * 3);
  return layout;
}

void InflateRows(TChunk* idat, int32_t width, int32_t height, TPngRowSink& sink) {
  TZDecompressionStream rows(idat);
  // The chunk stands at its end after the copy; the rewind takes it back to the start of the zlib data.
  rows.SeekTo(0, soFromBeginning);
  for (int32_t r = 0; r < height; ++r) {
    uint8_t filter;
    if (rows.ReadBytes(&filter, 1) != 1) throw EAbort("PNG image data ends before its last row");
    const TRowSpan row = sink.Row(r);
    if (!row.Data || row.Length < width) throw EAbort("no room for a PNG image row");
    if (rows.ReadBytes(row.Data, width) != width) throw EAbort("PNG image data ends before its last row");
  }
}
