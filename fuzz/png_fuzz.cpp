// Fuzz target: the PNG decoder's core, from the chunk walk to the last row. Besides the sanitizers' checks, a
// picture it accepts must be within the limits, and every row must be asked for once, in order, and filled
// within the room the sink gave; damaged input may only end with EAbort.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/PNGCore.h"

#define REQUIRE(cond)            \
  do {                           \
    if (!(cond)) std::abort();   \
  } while (0)

namespace {

// One row buffer, reused, with guard bytes on both sides that must stay untouched.
class GuardedRows : public TPngRowSink {
 public:
  explicit GuardedRows(int32_t width) : width_(width), buffer_(size_t(width) + 2 * kGuard, kFill) {}
  TRowSpan Row(int32_t r) override {
    REQUIRE(r == next_);
    ++next_;
    CheckGuards();
    return {buffer_.data() + kGuard, width_};
  }
  void CheckGuards() const {
    for (int i = 0; i < kGuard; ++i) REQUIRE(buffer_[i] == kFill && buffer_[buffer_.size() - 1 - i] == kFill);
  }
  int32_t Rows() const { return next_; }

 private:
  static constexpr int kGuard = 16;
  static constexpr uint8_t kFill = 0xA5;
  int32_t width_;
  std::vector<uint8_t> buffer_;
  int32_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  TMemoryStream stream;
  stream.WriteBytes(data, static_cast<int32_t>(size));
  stream.SetPos(0);
  TChunkSlots slots;
  try {
    ReadChunks(&stream, slots);
    for (int kind = 0; kind < ChunkKinds; ++kind) {
      if (slots[kind]) REQUIRE(slots[kind]->Size() >= 0 && size_t(slots[kind]->Size()) <= size);
    }
    if (!slots[ckIDAT]) return 0;
    const TPngLayout layout = ReadLayout(slots);
    REQUIRE(layout.Width >= 1 && layout.Width <= MaxPngSide && layout.Height >= 1 && layout.Height <= MaxPngSide);
    REQUIRE(int64_t{layout.Width} * layout.Height <= MaxPngPixels);
    REQUIRE(layout.PaletteCount >= 1 && layout.PaletteCount <= 256);
    GuardedRows rows(layout.Width);
    InflateRows(slots[ckIDAT], layout.Width, layout.Height, rows);
    rows.CheckGuards();
    REQUIRE(rows.Rows() == layout.Height);
  } catch (const EAbort&) {
  }
  return 0;
}
