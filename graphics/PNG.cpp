// Loading a PNG into a bitmap: the chunks and rows come from PNGCore, the picture from Graphics.
#include "PNG.h"

#include "graphics/PNGCore.h"

namespace {

// Hands the decoder the rows of the bitmap being built, straight into its pixel memory.
class TBitmapRows : public TPngRowSink {
 public:
  explicit TBitmapRows(TBitmap& bitmap) : bitmap_(bitmap), rowBytes_(bitmap.PixelWidth()) {}
  TRowSpan Row(int32_t r) override { return TRowSpan{bitmap_.RowAddress(r), rowBytes_}; }

 private:
  TBitmap& bitmap_;
  int32_t rowBytes_;
};

HPALETTE MakePalette(const TPngLayout& layout) {
  struct {
    WORD palVersion = 0x300;
    WORD palNumEntries = 0;
    PALETTEENTRY palPalEntry[256] = {};
  } record;
  record.palNumEntries = static_cast<WORD>(layout.PaletteCount);
  for (int32_t i = 0; i < layout.PaletteCount; ++i)
    record.palPalEntry[i] = PALETTEENTRY{layout.Palette[i][0], layout.Palette[i][1], layout.Palette[i][2], 0};
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&record));
}

}  // namespace

void TPNGImage::LoadFromStream(TStream* stream) {
  TChunkSlots slots;
  ReadChunks(stream, slots);
  for (auto& slot : slots.Slot) {
    if (slot) slot->Image = this;
  }
  TChunk* idat = slots[ckIDAT];
  if (!idat) return;
  const TPngLayout layout = ReadLayout(slots);
  // Built aside and taken over only when whole, so damaged data leaves this picture as it was.
  TBitmap picture;
  picture.SetPixelFormat(pf8bit);
  picture.SetPalette(MakePalette(layout));
  picture.SetDimensions(layout.Width, layout.Height);
  if (!picture.RowAddress(0)) throw EOutOfMemory();  // the platform made no pixels for this size
  TBitmapRows rows(picture);
  InflateRows(idat, layout.Width, picture.PixelHeight(), rows);
  NoPalette = false;
  CopyFrom(&picture);
}
