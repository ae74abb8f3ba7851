// The payload archive's record layout.
#include "PayloadArchive.h"

#include <cmath>
#include <cstring>

namespace {
uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
double ReadDouble(const uint8_t* p) {
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | p[i];
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
}  // namespace

bool WalkArchive(const uint8_t* data, uint32_t length, std::vector<TArchiveRecord>& records) {
  uint32_t pos = 0;
  while (pos != length) {
    const uint32_t left = length - pos;
    if (left < 13) return false;
    const uint32_t nameLength = data[pos];
    if (left - 13 < nameLength) return false;
    TArchiveRecord r;
    r.Name.assign(reinterpret_cast<const char*>(data + pos + 1), nameLength);
    r.Time = ReadDouble(data + pos + 1 + nameLength);
    r.Size = ReadU32(data + pos + 9 + nameLength);
    r.DataOffset = pos + 13 + nameLength;
    if (length - r.DataOffset < r.Size) return false;
    pos = r.DataOffset + r.Size;
    records.push_back(std::move(r));
  }
  return true;
}

bool ReadArchive(const uint8_t* data, uint32_t length, std::vector<TArchiveRecord>& records) {
  records.clear();
  bool ok = WalkArchive(data, length, records);
  for (size_t i = 0; ok && i < records.size(); ++i) ok = CheckEntryName(records[i].Name).empty();
  if (!ok) records.clear();
  return ok;
}

AnsiString CheckEntryName(const AnsiString& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > 255) return "the name is longer than 255 bytes";
  if (name.find('/') != AnsiString::npos) return "the name contains a forward slash";
  if (name[0] == '\\') return "the name starts with a backslash";
  if (name.find(':') != AnsiString::npos) return "the name contains a drive letter or colon";
  if (name.find('\0') != AnsiString::npos) return "the name contains a NUL byte";
  // No component may be empty, "." or "..": each could lead outside the install folder or nowhere.
  size_t start = 0;
  while (true) {
    const size_t end = name.find('\\', start);
    const AnsiString part = name.substr(start, end == AnsiString::npos ? AnsiString::npos : end - start);
    if (part.empty()) return "the name has an empty path component";
    if (part == "." || part == "..") return "the name contains a \".\" or \"..\" component";
    if (end == AnsiString::npos) break;
    start = end + 1;
  }
  return AnsiString();
}

bool IsWholeEvenSecond(TDateTime time) {
  if (!std::isfinite(time)) return false;
  const double ms = (time - std::floor(time)) * 86400000.0;
  const double rounded = std::round(ms);
  if (std::fabs(ms - rounded) > 0.01) return false;
  const auto whole = static_cast<int64_t>(rounded);
  return whole % 2000 == 0;
}

void AppendRecord(std::vector<uint8_t>& out, const AnsiString& name, TDateTime time, const uint8_t* data,
                  uint32_t size) {
  out.push_back(static_cast<uint8_t>(name.size()));
  out.insert(out.end(), name.begin(), name.end());
  uint64_t bits;
  std::memcpy(&bits, &time, sizeof bits);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(size >> (8 * i)));
  if (size) out.insert(out.end(), data, data + size);
}
