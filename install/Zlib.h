// Inflation around zlib: whole-buffer inflation and a read-only decompression stream.
// May call zlib and the stream classes.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "../framework/Classes.h"

struct InflatedBlock {
  // malloc'ed; released with std::free
  std::unique_ptr<uint8_t, decltype(&std::free)> Data{nullptr, &std::free};
  uint32_t Length = 0;
  bool Complete = false;  // the stream inflated to its end without error
};

// Inflates one zlib stream. estimate 0 starts with the input length rounded up to 256 bytes.
// A stream that is damaged or ends early gives Complete = false with what was inflated so far.
InflatedBlock InflateBuffer(const void* input, uint32_t inputLength, uint32_t estimate);

struct ZStreamState;  // zlib's record, kept out of this header

class TCustomZStream : public TStream {
 public:
  explicit TCustomZStream(TStream* source);
  ~TCustomZStream() override;

 protected:
  TStream* Source;  // not owned
  int32_t SourcePos;
  std::unique_ptr<ZStreamState> ZRec;
  uint8_t Buffer[65536];
};

class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream* source);
  ~TZDecompressionStream() override;
  int32_t ReadBytes(void* buffer, int32_t count) override;
  int32_t WriteBytes(const void* buffer, int32_t count) override;
  int32_t SeekTo(int32_t offset, int32_t origin) override;

  int32_t InputBudget = 2147483647;
  int32_t InputTaken = 0;
  // Source reads made so far; lets tests see how skips are carried out.
  int32_t Refills = 0;

 private:
  bool ended_ = false;  // inflate reported the end of the data or an error
};
