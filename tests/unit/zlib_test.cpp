// Whole-buffer inflation and the decompression stream.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "install/Zlib.h"

namespace {
std::vector<uint8_t> Sample(size_t n) {
  std::vector<uint8_t> v(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    v[i] = static_cast<uint8_t>((i % 97 < 60) ? 'a' + i % 7 : x >> 24);  // partly compressible
  }
  return v;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

// A source stream that counts the reads made of it.
class CountingStream : public TMemoryStream {
 public:
  int32_t ReadBytes(void* buffer, int32_t count) override {
    ++reads;
    return TMemoryStream::ReadBytes(buffer, count);
  }
  int reads = 0;
};

void Fill(TMemoryStream& s, const std::vector<uint8_t>& bytes) {
  s.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  s.SetPos(0);
}
}  // namespace

TEST(InflateBuffer, FromAZeroEstimateGrowsUntilTheEnd) {
  const auto data = Sample(300000);
  const auto packed = Compress(data);
  InflatedBlock b = InflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), 0);
  ASSERT_TRUE(b.Complete);
  ASSERT_EQ(b.Length, data.size());
  EXPECT_EQ(memcmp(b.Data.get(), data.data(), data.size()), 0);
}

TEST(InflateBuffer, ExactAndLargeEstimates) {
  const auto data = Sample(5000);
  const auto packed = Compress(data);
  for (uint32_t estimate : {1u, 4999u, 5000u, 5001u, 1000000u}) {
    InflatedBlock b = InflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), estimate);
    ASSERT_TRUE(b.Complete) << estimate;
    ASSERT_EQ(b.Length, 5000u) << estimate;
    EXPECT_EQ(memcmp(b.Data.get(), data.data(), data.size()), 0);
  }
}

TEST(InflateBuffer, DamagedOrTruncatedStreamsEnd) {
  const auto data = Sample(20000);
  auto packed = Compress(data);
  // Truncated: what came out so far, and not complete.
  InflatedBlock t = InflateBuffer(packed.data(), static_cast<uint32_t>(packed.size() / 2), 0);
  EXPECT_FALSE(t.Complete);
  EXPECT_LT(t.Length, data.size());
  // Not a zlib stream at all.
  const uint8_t garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(InflateBuffer(garbage, sizeof garbage, 0).Complete);
  // A wrong checksum.
  packed.back() ^= 0xFF;
  EXPECT_FALSE(InflateBuffer(packed.data(), static_cast<uint32_t>(packed.size()), 0).Complete);
  // Nothing at all.
  EXPECT_FALSE(InflateBuffer(nullptr, 0, 0).Complete);
}

TEST(DecompressionStream, ReadsAllThenNothing) {
  const auto data = Sample(200000);
  TMemoryStream src;
  Fill(src, Compress(data));
  TZDecompressionStream z(&src);
  std::vector<uint8_t> out(data.size());
  EXPECT_EQ(z.ReadBytes(out.data(), static_cast<int32_t>(out.size())), static_cast<int32_t>(data.size()));
  EXPECT_EQ(out, data);
  uint8_t more[16];
  EXPECT_EQ(z.ReadBytes(more, 16), 0);
  EXPECT_EQ(z.SeekTo(0, soFromCurrent), static_cast<int32_t>(data.size()));
}

TEST(DecompressionStream, SeeksForwardOnlyAndRewinds) {
  const auto data = Sample(50000);
  TMemoryStream src;
  Fill(src, Compress(data));
  TZDecompressionStream z(&src);
  uint8_t buf[16];
  ASSERT_EQ(z.ReadBytes(buf, 4), 4);
  EXPECT_EQ(z.SeekTo(0, soFromCurrent), 4);
  EXPECT_EQ(z.SeekTo(10, soFromBeginning), 10);  // skips 6
  ASSERT_EQ(z.ReadBytes(buf, 1), 1);
  EXPECT_EQ(buf[0], data[10]);
  EXPECT_EQ(z.SeekTo(2, soFromBeginning), 11);  // backwards: nothing
  EXPECT_EQ(z.SeekTo(0, soFromEnd), 11);
  EXPECT_EQ(z.SeekTo(-3, soFromCurrent), 11);
  EXPECT_EQ(z.SeekTo(100, soFromCurrent), 111);
  ASSERT_EQ(z.ReadBytes(buf, 1), 1);
  EXPECT_EQ(buf[0], data[111]);
  EXPECT_EQ(z.GetLength(), 112);
  // Rewind: the same bytes again from the start of the source.
  EXPECT_EQ(z.SeekTo(0, soFromBeginning), 0);
  std::vector<uint8_t> again(data.size());
  ASSERT_EQ(z.ReadBytes(again.data(), static_cast<int32_t>(again.size())), static_cast<int32_t>(data.size()));
  EXPECT_EQ(again, data);
  // Past the end: aborts.
  z.SeekTo(0, soFromBeginning);
  EXPECT_THROW(z.SeekTo(60000, soFromBeginning), EAbort);
}

TEST(DecompressionStream, SkipOf8192IsTwoReads) {
  // A skip goes through reads of 4096; count them through the calls to ReadBytes of a subclass.
  class Probe : public TZDecompressionStream {
   public:
    using TZDecompressionStream::TZDecompressionStream;
    int32_t ReadBytes(void* buffer, int32_t count) override {
      sizes.push_back(count);
      return TZDecompressionStream::ReadBytes(buffer, count);
    }
    std::vector<int32_t> sizes;
  };
  const auto data = Sample(20000);
  TMemoryStream src;
  Fill(src, Compress(data));
  Probe z(&src);
  EXPECT_EQ(z.SeekTo(8192, soFromCurrent), 8192);
  ASSERT_EQ(z.sizes.size(), 2u);
  EXPECT_EQ(z.sizes[0], 4096);
  EXPECT_EQ(z.sizes[1], 4096);
}

TEST(DecompressionStream, ContinuesWhereTheLastRefillStopped) {
  // The source is moved between reads; the stream puts it back.
  const auto data = Sample(400000);
  CountingStream src;
  Fill(src, Compress(data));
  TZDecompressionStream z(&src);
  std::vector<uint8_t> out(data.size());
  int32_t got = 0;
  while (got < static_cast<int32_t>(data.size())) {
    const int32_t n = z.ReadBytes(out.data() + got, 7777);
    if (n == 0) break;
    got += n;
    src.SetPos(3);
  }
  EXPECT_EQ(got, static_cast<int32_t>(data.size()));
  EXPECT_EQ(out, data);
  EXPECT_GT(src.reads, 1);
}

TEST(DecompressionStream, DamagedDataEndsTheRead) {
  auto packed = Compress(Sample(100000));
  for (size_t i = 100; i < packed.size(); i += 3) packed[i] ^= 0x5A;
  TMemoryStream src;
  Fill(src, packed);
  TZDecompressionStream z(&src);
  std::vector<uint8_t> out(100000);
  EXPECT_LT(z.ReadBytes(out.data(), 100000), 100000);  // returns instead of spinning
  // A short source delivers what it had.
  const auto data = Sample(100000);
  auto whole = Compress(data);
  TMemoryStream shortSrc;
  Fill(shortSrc, std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  TZDecompressionStream s(&shortSrc);
  const int32_t n = s.ReadBytes(out.data(), 100000);
  EXPECT_GT(n, 0);
  EXPECT_LT(n, 100000);
  EXPECT_EQ(memcmp(out.data(), data.data(), static_cast<size_t>(n)), 0);
}
