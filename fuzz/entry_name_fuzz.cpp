// Fuzz target: the check of archive entry names. Whatever it accepts must, on its own terms, be a relative
// path that stays inside the install folder and that Windows stores under exactly that name. The properties
// below are stated from the platform's rules, not taken from the check.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/PayloadArchive.h"

#define REQUIRE(cond) \
  do {                \
    if (!(cond)) std::abort(); \
  } while (0)

namespace {
std::vector<WideString> Components(const WideString& path) {
  std::vector<WideString> parts(1);
  for (WideChar c : path) {
    if (c == W_('\\')) parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

bool IsAsciiDigit19(WideChar c) { return c >= W_('1') && c <= W_('9'); }
bool IsSuperscript123(WideChar c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; }

// DOS device names (CON, PRN, AUX, NUL, COMn, LPTn, CONIN$, CONOUT$) as Win32 recognises them: the part before
// the first dot, trailing blanks ignored, any letter case.
bool NamesDevice(const WideString& component) {
  WideString base = component.substr(0, component.find(W_('.')));
  while (!base.empty() && base.back() == W_(' ')) base.pop_back();
  for (WideChar& c : base)
    if (c >= W_('a') && c <= W_('z')) c = static_cast<WideChar>(c - W_('a') + W_('A'));
  auto is = [&](const char* text) { return base == WideString(text, text + std::char_traits<char>::length(text)); };
  if (is("CON") || is("PRN") || is("AUX") || is("NUL") || is("CONIN$") || is("CONOUT$")) return true;
  if (base.size() != 4) return false;
  const WideString stem = base.substr(0, 3);
  const bool portLike = stem == WideString{W_('C'), W_('O'), W_('M')} || stem == WideString{W_('L'), W_('P'), W_('T')};
  return portLike && (IsAsciiDigit19(base[3]) || IsSuperscript123(base[3]));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const AnsiString name(reinterpret_cast<const char*>(data), size);
  if (!CheckEntryName(name).empty()) return 0;

  // Fits the record's length byte and is not empty.
  REQUIRE(!name.empty() && name.size() <= 255);
  // What the installer's decoder makes of it encodes back to the very same bytes: nothing dropped, nothing
  // merged, no overlong form that turns into '.', '\' or NUL.
  const WideString wide = Utf8ToWide(name);
  REQUIRE(WideToUtf8(wide) == name);
  for (WideChar c : wide) {
    REQUIRE(c >= 0x20);
    REQUIRE(c < 0xD800 || c > 0xDFFF);  // no lone surrogate, which no file system name can hold
    for (char bad : {'/', ':', '<', '>', '"', '|', '?', '*'}) REQUIRE(c != static_cast<WideChar>(bad));
  }
  // Relative, and no component that climbs, vanishes, is trimmed by Windows, or names a device.
  for (const WideString& part : Components(wide)) {
    REQUIRE(!part.empty());
    REQUIRE(part.back() != W_('.') && part.back() != W_(' '));  // this also rules out "." and ".."
    REQUIRE(!NamesDevice(part));
  }
  // Prefixed with a sound folder it is still accepted; climbing out of it never is.
  REQUIRE(CheckEntryName("Templates\\" + name).empty() == (name.size() + 10 <= 255));
  REQUIRE(!CheckEntryName("..\\" + name).empty());
  REQUIRE(!CheckEntryName(name + "\\..").empty());
  return 0;
}
