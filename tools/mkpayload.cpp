// Host tool: builds the payload resource from the manifest and the files to install.
// Usage: mkpayload MANIFEST FILES_DIR OUTPUT [NAME=PATH ...]
//   MANIFEST lines: "YYYY-MM-DD HH:MM:SS[.mmm]<TAB>name" (local time; name with backslashes); '#' starts a comment.
//   A file is read from FILES_DIR/<name with '/' for '\'>, unless NAME=PATH names it (built files).
// Writes the records in manifest order as one zlib stream at the highest compression level.
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../install/PayloadArchive.h"

namespace {
int Fail(const std::string& message) {
  std::cerr << "mkpayload: " << message << "\n";
  return 1;
}

bool ParseTime(const std::string& text, TDateTime& result) {
  int y, mo, d, h, mi, s, ms = 0;
  char tail = 0;
  int n = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi, &s, &ms, &tail);
  if (n != 6 && n != 7) return false;
  if (!IsValidDate(y, mo, d) || h > 23 || mi > 59 || s > 59 || ms < 0 || ms > 999) return false;
  result = EncodeDateTime(y, mo, d, h, mi, s, ms);
  return true;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Fail("usage: mkpayload MANIFEST FILES_DIR OUTPUT [NAME=PATH ...]");
  const std::string manifestPath = argv[1], filesDir = argv[2], outPath = argv[3];
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
    if (!ParseTime(line.substr(0, tab), time)) return Fail(where + "entry \"" + name + "\": bad time");
    const AnsiString why = CheckEntryName(name);
    if (!why.empty()) return Fail(where + "entry \"" + name + "\": " + why);
    if (!IsWholeEvenSecond(time))
      return Fail(where + "entry \"" + name + "\": the time is not a whole even second");
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

  uLongf packedSize = compressBound(static_cast<uLong>(archive.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, archive.data(), static_cast<uLong>(archive.size()), 9) != Z_OK)
    return Fail("compression failed");
  packed.resize(packedSize);
  if (packed.size() < 2 || packed[0] != 0x78 || packed[1] != 0xDA) return Fail("unexpected zlib header");
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
  if (!out) {
    std::remove(outPath.c_str());
    return Fail("cannot write " + outPath);
  }
  std::cout << "mkpayload: " << entries << " entries, " << archive.size() << " bytes, " << packed.size()
            << " compressed\n";
  return 0;
}
