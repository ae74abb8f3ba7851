// Fuzz target: what the catalogue does with the payload resource. The input is inflated whole as the catalogue
// inflates it, then read as an archive with every name checked. zlib itself is the yardstick for the inflation:
// a stream counts as complete exactly when zlib reaches its end with a matching Adler-32, and then the bytes
// must agree.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "install/PayloadArchive.h"
#include "install/Zlib.h"

#define REQUIRE(cond) \
  do {                \
    if (!(cond)) std::abort(); \
  } while (0)

namespace {
// zlib's own verdict, by a route that shares nothing with InflateBuffer: the whole input at once, output in
// fixed chunks, stop at the end of the stream, an error or when nothing moves.
bool ReferenceInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  int rc = Z_OK;
  uint8_t chunk[16384];
  while (rc == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (rc == Z_OK && z.avail_out != 0 && z.avail_in == 0) break;  // input used up before the end
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}
}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

// Byte changes to a compressed stream almost never give another sound stream, so half the time the archive
// inside is changed instead and packed again: the records and names then get as much attention as the stream.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  std::vector<uint8_t> archive;
  if (seed % 2 == 0 || !ReferenceInflate(data, size, archive) || archive.empty())
    return LLVMFuzzerMutate(data, size, maxSize);
  const size_t used = archive.size();
  archive.resize(used + 256);
  archive.resize(LLVMFuzzerMutate(archive.data(), used, archive.size()));
  uLongf packedSize = compressBound(static_cast<uLong>(archive.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, archive.data(), static_cast<uLong>(archive.size()), 1) != Z_OK ||
      packedSize > maxSize)
    return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, packed.data(), packedSize);
  return packedSize;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 0x7FFFFFFFu / 5) return 0;  // the catalogue does not inflate an empty resource
  const auto length = static_cast<uint32_t>(size);
  const InflatedBlock block = InflateBuffer(data, length, length * 5);

  std::vector<uint8_t> expected;
  const bool complete = ReferenceInflate(data, size, expected);
  REQUIRE(block.Complete == complete);
  if (!block.Complete) return 0;  // the catalogue stops here: an incomplete stream is invalid
  REQUIRE(block.Length == expected.size());
  REQUIRE(block.Length == 0 || std::memcmp(block.Data.get(), expected.data(), block.Length) == 0);

  std::vector<TArchiveRecord> records;
  const bool valid = ReadArchive(block.Data.get(), block.Length, records);
  std::vector<TArchiveRecord> walked;
  const bool filled = WalkArchive(block.Data.get(), block.Length, walked);
  if (!valid) {
    REQUIRE(records.empty());
    return 0;
  }
  REQUIRE(filled && walked.size() == records.size());
  for (const TArchiveRecord& r : records) {
    REQUIRE(CheckEntryName(r.Name).empty());
    REQUIRE(uint64_t{r.DataOffset} + r.Size <= block.Length);
  }
  return 0;
}
