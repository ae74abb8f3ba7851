// Walking archive records and the name and time rules the payload tool enforces.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

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

TEST(EntryTimes, OnlyWholeEvenSeconds) {
  EXPECT_TRUE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 14, 0)));
  EXPECT_FALSE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 15, 0)));
  EXPECT_FALSE(IsWholeEvenSecond(EncodeDateTime(2004, 1, 19, 10, 32, 14, 500)));
  EXPECT_TRUE(IsWholeEvenSecond(38005.0));
}
