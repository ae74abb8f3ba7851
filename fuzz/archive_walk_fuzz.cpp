// Fuzz target: the record walk over an inflated archive. Besides the sanitizers' checks, every record it hands
// back must lie inside the input, and a walk that succeeds must account for every byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "install/PayloadArchive.h"

#define REQUIRE(cond) \
  do {                \
    if (!(cond)) std::abort(); \
  } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  std::vector<TArchiveRecord> records;
  const bool ok = WalkArchive(data, static_cast<uint32_t>(size), records);
  uint64_t pos = 0;  // where the record at hand must begin
  for (const TArchiveRecord& r : records) {
    REQUIRE(r.Name.size() <= 255);
    REQUIRE(pos + 13 + r.Name.size() == r.DataOffset);
    REQUIRE(data[pos] == r.Name.size());
    REQUIRE(std::memcmp(data + pos + 1, r.Name.data(), r.Name.size()) == 0);
    pos = uint64_t{r.DataOffset} + r.Size;
    REQUIRE(pos <= size);
  }
  // Success means the records fill the input exactly; failure means something was left that is no record.
  REQUIRE(ok ? pos == size : pos < size);
  return 0;
}
