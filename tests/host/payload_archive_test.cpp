// Walking archive records and the name and time rules the payload tool enforces.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "install/PayloadArchive.h"

namespace {
std::vector<uint8_t> Record(const AnsiString& name, TDateTime time, const AnsiString& data) {
  std::vector<uint8_t> out;
  AppendRecord(out, name, time, reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
  return out;
}

// Walks a copy in a block of exactly its length, so that any read past the end shows under ASan.
bool Walk(const std::vector<uint8_t>& bytes, std::vector<TArchiveRecord>& out) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  if (!bytes.empty()) memcpy(exact.get(), bytes.data(), bytes.size());
  return WalkArchive(exact.get(), static_cast<uint32_t>(bytes.size()), out);
}
}  // namespace

TEST(ArchiveWalk, RecordLayout) {
  const TDateTime t = EncodeDateTime(2025, 5, 13, 10, 0, 0, 0);
  auto bytes = Record("qvw.exe", t, "MZ..");
  ASSERT_EQ(bytes.size(), 13u + 7 + 4);
  EXPECT_EQ(bytes[0], 7);
  std::vector<TArchiveRecord> recs;
  ASSERT_TRUE(Walk(bytes, recs));
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].Name, "qvw.exe");
  EXPECT_EQ(recs[0].DataOffset, 20u);
  EXPECT_EQ(recs[0].Size, 4u);
  EXPECT_EQ(recs[0].Time, t);
}

TEST(ArchiveWalk, EmptyNameEmptyDataAndLongestName) {
  std::vector<uint8_t> bytes = Record("", 1.0, "");
  auto more = Record(AnsiString(255, 'n'), 2.0, "x");
  bytes.insert(bytes.end(), more.begin(), more.end());
  std::vector<TArchiveRecord> recs;
  ASSERT_TRUE(Walk(bytes, recs));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].DataOffset, 13u);
  EXPECT_EQ(recs[1].Name.size(), 255u);
  EXPECT_EQ(recs[1].DataOffset, 13u + 1 + 255 + 12);
}

TEST(ArchiveWalk, ZeroRecordsIsValidAndEmpty) {
  std::vector<TArchiveRecord> recs;
  EXPECT_TRUE(Walk({}, recs));
  EXPECT_TRUE(recs.empty());
}

TEST(ArchiveWalk, DamagedArchivesAreInvalid) {
  auto good = Record("a.txt", 1.0, "hello");
  good.insert(good.end(), good.begin(), good.end());  // two records
  std::vector<TArchiveRecord> recs;
  ASSERT_TRUE(Walk(good, recs));
  // Every truncation inside the second record, and of the first, is refused without reading past the end.
  for (size_t cut = 1; cut < good.size(); ++cut) {
    if (cut == good.size() / 2) continue;  // exactly one whole record: valid
    std::vector<uint8_t> t(good.begin(), good.begin() + static_cast<long>(cut));
    recs.clear();
    EXPECT_FALSE(Walk(t, recs)) << "cut at " << cut;
  }
  // A size field that runs past the end.
  auto runs = Record("b", 1.0, "abc");
  runs[1 + 1 + 8] = 0xFF;
  recs.clear();
  EXPECT_FALSE(Walk(runs, recs));
  // A size near 4 GiB must not wrap the cursor.
  auto wrap = Record("c", 1.0, "");
  wrap[11] = wrap[12] = wrap[13] = 0xFF;
  wrap[10] = 0xF0;
  recs.clear();
  EXPECT_FALSE(Walk(wrap, recs));
  // Garbage after the last record.
  auto tail = Record("d", 1.0, "z");
  tail.push_back(0);
  tail.push_back(1);
  recs.clear();
  EXPECT_FALSE(Walk(tail, recs));
  EXPECT_EQ(recs.size(), 1u);
}

TEST(EntryNames, RefusesNamesThatEscapeOrCannotBeStored) {
  EXPECT_EQ(CheckEntryName("qvw.exe"), "");
  EXPECT_EQ(CheckEntryName("Clip Library\\Headers & Footers\\Author, Page #, Date.rtf"), "");
  EXPECT_EQ(CheckEntryName(AnsiString(255, 'a')), "");
  for (const char* bad : {"", "..", "..\\x", "a\\..\\b", "\\abs.txt", "C:\\x", "C:x", "a/b", "a\\\\b", "a\\",
                          ".\\a"})
    EXPECT_NE(CheckEntryName(bad), "") << bad;
  EXPECT_NE(CheckEntryName(AnsiString(256, 'a')), "");
}

// Names Windows would refuse, map to a device, trim, or that decode to something other than their bytes.
TEST(EntryNames, RefusesWhatWindowsWouldNotStoreUnderThatName) {
  struct Row {
    const char* name;
    bool accepted;
  };
  const Row rows[] = {
      // characters invalid in Windows file names
      {"a<b.txt", false}, {"a>b", false}, {"say \"hi\".txt", false}, {"a|b", false}, {"what?.txt", false},
      {"*.rtf", false}, {"tab\there", false}, {"\x01", false}, {"Sub\\x\x1F.txt", false},
      // device names, as any component, any case, with or without an extension
      {"CON", false}, {"nul", false}, {"Com1.txt", false}, {"Templates\\CON.rtf", false}, {"lpt9", false},
      {"AUX.tar.gz", false}, {"PRN\\x.txt", false}, {"NUL .txt", false}, {"COM\xC2\xB9", false},
      {"conout$", false},
      // components Windows trims
      {"a.", false}, {"a ", false}, {"Templates \\a.txt", false}, {"Templates.\\a.txt", false}, {"...", false},
      // UTF-8 that would not decode to what it says
      {"\x80", false}, {"caf\xC3", false}, {"caf\xC3(", false}, {"\xC0\xAE\xC0\xAE\\x", false},
      {"\xC0\xAF", false}, {"\xE0\x80\xAE", false}, {"\xED\xA0\x80", false}, {"\xF0\x9F\x98\x80.txt", false},
      // near misses that are ordinary names
      {"Console.txt", true}, {"COM10.txt", true}, {"COM0", true}, {"nul-x.txt", true}, {"Auxiliary\\a.txt", true},
      {".hidden", true}, {"a.b.c", true}, {"Caf\xC3\xA9.txt", true}, {"\xE6\x97\xA5\xE6\x9C\xAC.rtf", true},
      {" leading blank", true},
  };
  for (const Row& row : rows) EXPECT_EQ(CheckEntryName(row.name).empty(), row.accepted) << row.name;
}

TEST(EntryNames, EveryPayloadNameIsAccepted) {
  std::ifstream manifest(SOURCE_DIR "/payload/manifest.txt", std::ios::binary);
  ASSERT_TRUE(manifest);
  std::string line;
  int names = 0;
  while (std::getline(manifest, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::string name = line.substr(line.find('\t') + 1);
    EXPECT_EQ(CheckEntryName(name), "") << name;
    ++names;
  }
  EXPECT_EQ(names, 100);
}

TEST(EntryTimes, OnlyWholeEvenSeconds) {
  EXPECT_TRUE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 14, 0)));
  EXPECT_FALSE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 15, 0)));
  EXPECT_FALSE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 14, 500)));
  EXPECT_TRUE(IsWholeEvenSecond(38005.0));
}
