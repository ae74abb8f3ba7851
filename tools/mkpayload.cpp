// Host tool: builds the payload resource from the manifest and the files to install.
// Usage: mkpayload MANIFEST FILES_DIR OUTPUT [NAME=PATH ...]
//   MANIFEST lines: "YYYY-MM-DD HH:MM:SS[.mmm]<TAB>name" (local time; name with backslashes); '#' starts a comment.
//   A file is read from FILES_DIR/<name with '/' for '\'>, unless NAME=PATH names it (built files).
// Writes the records in manifest order as one zlib stream, deflated by Zopfli: slower to build, smaller to ship,
// and inflated by the program exactly as before.
#include <zopfli/zopfli.h>

#include <cstdlib>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../install/PayloadArchive.h"

namespace {
std::string outputPath;  // removed on every refusal, so that no stale or partial archive is left behind

int Fail(const std::string& message) {
  std::cerr << "mkpayload: " << message << "\n";
  if (!outputPath.empty()) std::remove(outputPath.c_str());
  return 1;
}

// Exactly "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM:SS.mmm", digits only: a sign, a blank or trailing text is
// refused rather than read as a neighbouring time.
bool ParseTime(const std::string& text, TDateTime& result) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd.ddd";
  if (text.size() != 19 && text.size() != 23) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
  }
  auto field = [&](size_t at, size_t width) {
    int v = 0;
    for (size_t i = at; i < at + width; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  const int y = field(0, 4), mo = field(5, 2), d = field(8, 2), h = field(11, 2), mi = field(14, 2),
            s = field(17, 2), ms = text.size() == 23 ? field(20, 3) : 0;
  if (!IsValidDate(y, mo, d) || h > 23 || mi > 59 || s > 59) return false;
  result = EncodeDateTime(y, mo, d, h, mi, s, ms);
  return true;
}

// Windows compares file names without regard to case; ASCII folding covers every name we ship.
std::string FoldCase(std::string name) {
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return name;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Fail("usage: mkpayload MANIFEST FILES_DIR OUTPUT [NAME=PATH ...]");
  const std::string manifestPath = argv[1], filesDir = argv[2], outPath = argv[3];
  outputPath = outPath;
  std::map<std::string, std::string> overrides;
  for (int i = 4; i < argc; ++i) {
    std::string arg = argv[i];
    const size_t eq = arg.find('=');
    if (eq == std::string::npos) return Fail("expected NAME=PATH, got \"" + arg + "\"");
    overrides[arg.substr(0, eq)] = arg.substr(eq + 1);
  }
  std::ifstream manifest(manifestPath, std::ios::binary);
  if (!manifest) return Fail("cannot read " + manifestPath);

  std::vector<uint8_t> archive;
  // Folded names of the files and of the folders they imply: a second "A.txt" or a file where a folder
  // must go would make two records fight over one place on disk.
  std::set<std::string> files, folders;
  std::string line;
  int lineNo = 0, entries = 0;
  while (std::getline(manifest, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    const std::string where = manifestPath + ":" + std::to_string(lineNo) + ": ";
    if (tab == std::string::npos) return Fail(where + "expected TIME<TAB>NAME");
    const std::string name = line.substr(tab + 1);
    TDateTime time = 0;
    const std::string entry = where + "entry \"" + name + "\": ";
    if (!ParseTime(line.substr(0, tab), time))
      return Fail(entry + "bad time \"" + line.substr(0, tab) + "\" (expected YYYY-MM-DD HH:MM:SS[.mmm])");
    const AnsiString why = CheckEntryName(name);
    if (!why.empty()) return Fail(entry + why);
    if (!IsWholeEvenSecond(time)) return Fail(entry + "the time is not a whole even second");
    const TDateTimeParts parts = DecodeDateTime(time);
    if (parts.Year < 1980 || parts.Year > 2099)
      return Fail(entry + "the time lies outside 1980 to 2099, which a file stamp cannot hold");
    const std::string folded = FoldCase(name);
    if (files.count(folded) || folders.count(folded))
      return Fail(entry + "the name is already used (names are compared without regard to case)");
    for (size_t sep = folded.find('\\'); sep != std::string::npos; sep = folded.find('\\', sep + 1)) {
      if (files.count(folded.substr(0, sep)))
        return Fail(entry + "a folder of the name is already an entry");
      folders.insert(folded.substr(0, sep));
    }
    files.insert(folded);
    std::string path;
    auto it = overrides.find(name);
    if (it != overrides.end()) {
      path = it->second;
    } else {
      std::string rel = name;
      for (char& c : rel)
        if (c == '\\') c = '/';
      path = filesDir + "/" + rel;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(where + "entry \"" + name + "\": cannot read " + path);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() > 0xFFFFFFFFu - archive.size()) return Fail(where + "entry \"" + name + "\": too large");
    AppendRecord(archive, name, time, data.data(), static_cast<uint32_t>(data.size()));
    ++entries;
  }

  ZopfliOptions options;
  ZopfliInitOptions(&options);
  unsigned char* zopfliOut = nullptr;
  size_t zopfliSize = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, archive.data(), archive.size(), &zopfliOut, &zopfliSize);
  std::vector<uint8_t> packed(zopfliOut, zopfliOut + zopfliSize);
  std::free(zopfliOut);
  if (packed.size() < 2 || packed[0] != 0x78 || packed[1] != 0xDA) return Fail("unexpected zlib header");
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
  out.close();
  if (!out) return Fail("cannot write " + outPath);
  std::cout << "mkpayload: " << entries << " entries, " << archive.size() << " bytes, " << packed.size()
            << " compressed\n";
  return 0;
}
