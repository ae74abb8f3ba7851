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

namespace {
// Characters Windows refuses in a file name, besides the separators: see "Naming Files, Paths, and
// Namespaces" in the Win32 documentation.
bool IsForbiddenInFileName(unsigned char c) {
  return c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

// Length of the well-formed UTF-8 sequence of one to three bytes at p, 0 when there is none. The installer's
// decoder takes only the low bits of continuation bytes and drops four-byte sequences, so an overlong form
// (C0 AE is '.'), a stray byte or a supplementary character would install under another name.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  auto cont = [&](size_t i, unsigned char lo, unsigned char hi) { return i < left && p[i] >= lo && p[i] <= hi; };
  if (c >= 0xC2 && c <= 0xDF) return cont(1, 0x80, 0xBF) ? 2 : 0;
  if (c == 0xE0) return cont(1, 0xA0, 0xBF) && cont(2, 0x80, 0xBF) ? 3 : 0;
  if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2, 0x80, 0xBF) ? 3 : 0;  // no UTF-16 surrogates
  if (c >= 0xE1 && c <= 0xEF) return cont(1, 0x80, 0xBF) && cont(2, 0x80, 0xBF) ? 3 : 0;
  return 0;
}

// Win32 maps these device names into every folder, whatever the extension after them and with blanks before
// the extension, in any letter case; the superscript digits count as digits for COM and LPT.
bool IsDeviceName(const AnsiString& component) {
  AnsiString base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (base == device) return true;
  const AnsiString stem = base.substr(0, 3);
  if (stem != "COM" && stem != "LPT") return false;
  const AnsiString digit = base.substr(3);
  if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}
}  // namespace

AnsiString CheckEntryName(const AnsiString& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > 255) return "the name is longer than 255 bytes";
  if (name.find('\0') != AnsiString::npos) return "the name contains a NUL byte";
  if (name.find('/') != AnsiString::npos) return "the name contains a forward slash";
  if (name.find(':') != AnsiString::npos) return "the name contains a drive letter or colon";
  for (const char c : name)
    if (IsForbiddenInFileName(static_cast<unsigned char>(c)))
      return "the name contains a character Windows does not allow in file names (< > \" | ? * or a control)";
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
  for (size_t i = 0; i < name.size();) {
    const size_t n = Utf8SequenceLength(bytes + i, name.size() - i);
    if (n == 0) return "the name is not valid UTF-8 of one- to three-byte sequences";
    i += n;
  }
  if (name[0] == '\\') return "the name starts with a backslash";
  // No component may be empty, "." or "..": each could lead outside the install folder or nowhere.
  size_t start = 0;
  while (true) {
    const size_t end = name.find('\\', start);
    const AnsiString part = name.substr(start, end == AnsiString::npos ? AnsiString::npos : end - start);
    if (part.empty()) return "the name has an empty path component";
    if (part == "." || part == "..") return "the name contains a \".\" or \"..\" component";
    // Windows drops trailing dots and blanks, so the file would land under another name.
    if (part.back() == '.' || part.back() == ' ') return "a path component ends in a dot or a blank";
    if (IsDeviceName(part)) return "a path component is a Windows device name";
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
