// Inflation around zlib.
#include "Zlib.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

struct ZStreamState {
  z_stream z{};
};

InflatedBlock InflateBuffer(const void* input, uint32_t inputLength, uint32_t estimate) {
  InflatedBlock result;
  const uint32_t step = (inputLength + 255u) & ~255u;
  uint32_t size = estimate != 0 ? estimate : step;
  if (size == 0) size = 256;  // empty input: still a block to hand back
  auto* block = static_cast<uint8_t*>(std::malloc(size));
  if (!block) throw EOutOfMemory();
  z_stream z{};
  z.next_in = static_cast<Bytef*>(const_cast<void*>(input));
  z.avail_in = inputLength;
  z.next_out = block;
  z.avail_out = size;
  if (inflateInit2(&z, 15) != Z_OK) {
    std::free(block);
    throw EOutOfMemory();
  }
  int rc = inflate(&z, Z_NO_FLUSH);
  // Grow only while inflate is still making progress; an error or a truncated stream ends the loop.
  while (rc == Z_OK || (rc == Z_BUF_ERROR && z.avail_out == 0)) {
    if (z.avail_out != 0 && z.avail_in == 0) break;  // input used up before the end of the stream
    const uint32_t grow = step != 0 ? step : 256;
    auto* bigger = static_cast<uint8_t*>(std::realloc(block, size + grow));
    if (!bigger) {
      inflateEnd(&z);
      std::free(block);
      throw EOutOfMemory();
    }
    block = bigger;
    size += grow;
    z.next_out = block + z.total_out;
    z.avail_out = grow;
    rc = inflate(&z, Z_NO_FLUSH);
  }
  result.Complete = rc == Z_STREAM_END;
  result.Length = static_cast<uint32_t>(z.total_out);
  inflateEnd(&z);
  if (result.Length != 0) {
    if (auto* shrunk = static_cast<uint8_t*>(std::realloc(block, result.Length))) block = shrunk;
  }
  result.Data.reset(block);
  return result;
}

TCustomZStream::TCustomZStream(TStream* source)
    : Source(source), SourcePos(source->GetPos()), ZRec(new ZStreamState) {}

TCustomZStream::~TCustomZStream() = default;

TZDecompressionStream::TZDecompressionStream(TStream* source) : TCustomZStream(source) {
  ZRec->z.next_in = Buffer;
  ZRec->z.avail_in = 0;
  if (inflateInit2(&ZRec->z, 15) != Z_OK) throw EOutOfMemory();
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&ZRec->z); }

int32_t TZDecompressionStream::ReadBytes(void* buffer, int32_t count) {
  z_stream& z = ZRec->z;
  if (count <= 0) return 0;
  z.next_out = static_cast<Bytef*>(buffer);
  z.avail_out = static_cast<uInt>(count);
  if (Source->GetPos() != SourcePos) Source->SetPos(SourcePos);
  while (z.avail_out > 0) {
    if (ended_) return count - static_cast<int32_t>(z.avail_out);
    if (z.avail_in == 0) {
      const int32_t want = std::min<int32_t>(static_cast<int32_t>(sizeof(Buffer)), InputBudget - InputTaken);
      const int32_t got = want > 0 ? Source->ReadBytes(Buffer, want) : 0;
      ++Refills;
      if (got <= 0) return count - static_cast<int32_t>(z.avail_out);
      InputTaken += got;
      z.next_in = Buffer;
      z.avail_in = static_cast<uInt>(got);
      SourcePos = Source->GetPos();
    }
    const int rc = inflate(&z, Z_NO_FLUSH);
    // End of data or a damaged stream: no more output will come, so stop instead of spinning.
    if (rc == Z_STREAM_END || rc == Z_DATA_ERROR || rc == Z_STREAM_ERROR || rc == Z_MEM_ERROR || rc == Z_NEED_DICT)
      ended_ = true;
  }
  return count;
}

int32_t TZDecompressionStream::WriteBytes(const void*, int32_t) { return 0; }

int32_t TZDecompressionStream::SeekTo(int32_t offset, int32_t origin) {
  z_stream& z = ZRec->z;
  const int32_t pos = static_cast<int32_t>(z.total_out);
  if (offset == 0 && origin == soFromBeginning) {
    inflateReset(&z);
    z.next_in = Buffer;
    z.avail_in = 0;
    Source->SetPos(0);
    SourcePos = 0;
    ended_ = false;
  } else if ((origin == soFromCurrent && offset >= 0) || (origin == soFromBeginning && offset > pos)) {
    int32_t distance = origin == soFromCurrent ? offset : offset - pos;
    if (distance > 0) {
      uint8_t scratch[4096];
      for (int32_t i = distance / 4096; i > 0; --i) ReadExact(scratch, 4096);
      ReadExact(scratch, distance % 4096);
    }
  }
  return static_cast<int32_t>(z.total_out);
}
