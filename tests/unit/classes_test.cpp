// Lists, string lists and streams.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Classes.h"

TEST(List, GrowthSequenceKeepsTwoItemsInline) {
  TList list;
  const std::vector<int32_t> expected = {1, 2, 3, 7, 11, 27, 43, 59, 75, 93, 116, 145, 181, 226};
  std::vector<int32_t> seen;
  int32_t last = 0;
  for (intptr_t i = 1; i <= 226; ++i) {
    list.Append(reinterpret_cast<void*>(i));
    if (list.Capacity() != last) seen.push_back(last = list.Capacity());
  }
  EXPECT_EQ(seen, expected);
  for (intptr_t i = 0; i < 226; ++i) ASSERT_EQ(list.ItemAt(static_cast<int32_t>(i)), reinterpret_cast<void*>(i + 1));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(List, ACountWhoseBytesWouldWrapIsRefusedAndTheListKept) {
  TList list;
  for (intptr_t i = 1; i <= 3; ++i) list.Append(reinterpret_cast<void*>(i));
  // 2^30 + 1 slots are 4 GB + 4 bytes: on a 32-bit system the byte count wraps to 4.
  EXPECT_THROW(list.SetItemCount((int32_t{1} << 30) + 1), EOutOfMemory);
  EXPECT_THROW(list.SetItemCount(-1), EOutOfMemory);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.ItemAt(2), reinterpret_cast<void*>(3));
}

TEST(List, SearchesFromTheEndAndRemovesTheLastOccurrence) {
  TList list;
  int a, b;
  list.Append(&a);
  list.Append(&b);
  list.Append(&a);
  EXPECT_EQ(list.IndexOfItem(&a), 2);
  list.RemoveItem(&a);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.ItemAt(0), &a);
  EXPECT_EQ(list.ItemAt(1), &b);
  EXPECT_EQ(list.IndexOfItem(nullptr), -1);
  list.DeleteAt(0);
  EXPECT_EQ(list.LastItem(), &b);
}

namespace {
std::vector<std::string> Lines(const TStrings& s) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < s.LineCount(); ++i) out.push_back(s.GetLine(i));
  return out;
}
}  // namespace

TEST(StringList, SplitsTextOnEachKindOfLineBreak) {
  TStringList s;
  s.SetAllText("a\r\nb");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"a", "b"}));
  s.SetAllText("a\n\rb");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"a", "", "b"}));
  s.SetAllText("a\r\n");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"a"}));
  s.SetAllText("");
  EXPECT_EQ(s.LineCount(), 0);
  s.SetAllText("x\ry\nz");
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"x", "y", "z"}));
  s.SetAllText(std::string("p\0q", 3));  // a NUL ends the text
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"p"}));
}

TEST(StringList, JoinsWithCrLfAfterEveryLine) {
  TStringList s;
  s.AddLine("a");
  s.AddLine("b");
  EXPECT_EQ(s.GetAllText(), "a\r\nb\r\n");
}

TEST(StringList, SearchIsCaseInsensitive) {
  TStringList s;
  s.AddLine("HELLO");
  s.AddLine("world");
  EXPECT_EQ(s.IndexOfLine("hello"), 0);
  EXPECT_EQ(s.IndexOfLine("WORLD"), 1);
  EXPECT_EQ(s.IndexOfLine("nope"), -1);
}

TEST(StringList, LineKeysAreEqualExactlyWhenTheLinesCompareEqual) {
  // Case pairs, accented letters in both cases, symbols the word sort would ignore, control characters,
  // a NUL inside, and long paths differing in one place.
  const std::string path(200, 'p');
  const std::vector<AnsiString> lines = {
      "File Copy: C:\\A\\b.txt", "file copy: c:\\a\\B.TXT", "File Copy: C:\\A\\b.txt ", "co-op", "coop",
      "it's", "its", "\xc9t\xe9", "\xe9t\xe9", "ete", "a\x01" "b", "ab", "a\tb", std::string("x\0y", 3), "x",
      "", " ", path + "1", path + "2", "C:\\ProgramData\\Q\\T.rtf\t!", "C:\\PROGRAMDATA\\q\\t.RTF\t!"};
  for (const AnsiString& a : lines)
    for (const AnsiString& b : lines)
      EXPECT_EQ(LineKey(a) == LineKey(b), CompareLines(a, b) == 0) << "[" << a << "] [" << b << "]";
}

TEST(StringList, SortedInsertionKeepsEqualsTogether) {
  TStringList s;
  s.SetSortedFlag(true);
  s.AddLine("b");
  s.AddLine("a");
  s.AddLine("B");
  auto lines = Lines(s);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(CompareLines(lines[1], "b"), 0);
  EXPECT_EQ(CompareLines(lines[2], "b"), 0);
  EXPECT_EQ(lines[1], "B");  // the newer equal goes first
  EXPECT_EQ(s.IndexOfLine("A"), 0);
  int32_t at = -1;
  EXPECT_FALSE(s.FindSorted("c", at));
  EXPECT_EQ(at, 3);
}

TEST(StringList, SortingTurnedOnLaterSortsWithObjects) {
  TStringList s;
  int objs[5];
  const char* words[] = {"pear", "Apple", "fig", "banana", "apple"};
  for (int i = 0; i < 5; ++i) s.AddWithObject(words[i], &objs[i]);
  s.SetSortedFlag(true);
  auto lines = Lines(s);
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_LE(CompareLines(lines[i - 1], lines[i]), 0);
  for (int32_t i = 0; i < s.LineCount(); ++i) {
    const int k = static_cast<int>(static_cast<int*>(s.GetObject(i)) - objs);
    EXPECT_EQ(s.GetLine(i), words[k]);
  }
  // Capacity grows in steps of 32 entries.
  EXPECT_EQ(s.AllocatedCount(), 32);
  for (int i = 0; i < 28; ++i) s.AddLine("x");
  EXPECT_EQ(s.AllocatedCount(), 64);
}

TEST(StringList, MoveDeleteAndCopy) {
  TStringList s, t;
  s.SetAllText("one\r\ntwo\r\nthree\r\n");
  s.MoveLine(0, 2);
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"two", "three", "one"}));
  s.DeleteLine(1);
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"two", "one"}));
  t.AddLine("old");
  t.CopyFrom(&s);
  EXPECT_EQ(Lines(t), Lines(s));
  s.Clear();
  EXPECT_EQ(s.AllocatedCount(), 0);
}

TEST(MemoryStream, CapacityGrowsInStepsOf8192) {
  TMemoryStream m;
  const char one = 'x';
  EXPECT_EQ(m.WriteBytes(&one, 1), 1);
  EXPECT_EQ(m.Capacity(), 8192);
  std::vector<char> big(8192, 'y');
  EXPECT_EQ(m.WriteBytes(big.data(), 8192), 8192);
  EXPECT_EQ(m.Size(), 8193);
  EXPECT_EQ(m.Capacity(), 16384);
}

TEST(MemoryStream, ReadingPastTheEndReturnsNothing) {
  TMemoryStream m;
  m.WriteBytes("abc", 3);
  EXPECT_EQ(m.SeekTo(10, soFromBeginning), 10);
  char buf[4];
  EXPECT_EQ(m.ReadBytes(buf, 4), 0);
  EXPECT_EQ(m.GetPos(), 10);
  EXPECT_EQ(m.SeekTo(-1, soFromEnd), 2);
  EXPECT_EQ(m.ReadBytes(buf, 4), 1);
  EXPECT_EQ(buf[0], 'c');
  EXPECT_EQ(m.GetLength(), 3);
  m.SetPos(0);
  EXPECT_THROW(m.ReadExact(buf, 4), EAbort);
}

TEST(MemoryStream, ResizeBelowThePositionKeepsItBeyondTheEnd) {
  TMemoryStream m;
  m.WriteBytes("abcdef", 6);
  m.Resize(2);
  EXPECT_EQ(m.Size(), 2);
  EXPECT_EQ(m.GetPos(), 6);
}

// A write whose end lies past the largest position writes nothing, wherever the position came from.
TEST(MemoryStream, AWriteEndingBeyondTheLargestPositionWritesNothing) {
  struct Case {
    int32_t position;
    int32_t count;
  };
  const Case cases[] = {{0x7FFFFFF0, 32}, {0x7FFFFFFF, 1}, {1, 0x7FFFFFFF}, {0x40000000, 0x40000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    TMemoryStream m;
    m.WriteBytes("abc", 3);
    m.SetPos(c.position);
    std::vector<char> data(static_cast<size_t>(std::min(c.count, 64)), 'z');
    EXPECT_EQ(m.WriteBytes(data.data(), c.count), 0);
    EXPECT_EQ(m.Size(), 3);
    EXPECT_EQ(m.Capacity(), 8192);
    EXPECT_EQ(m.GetPos(), c.position);
    EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), 3), "abc");
  }
}

TEST(Streams, CopyBytesFromZeroCopiesTheWholeSource) {
  TMemoryStream src, dst;
  std::vector<char> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  src.WriteBytes(data.data(), static_cast<int32_t>(data.size()));
  src.SetPos(500);  // ignored for a count of 0
  EXPECT_EQ(dst.CopyBytesFrom(&src, 0), 100000);
  ASSERT_EQ(dst.Size(), 100000);
  EXPECT_EQ(memcmp(dst.Memory(), data.data(), data.size()), 0);
  // An explicit count copies from the current position, and a short source aborts.
  TMemoryStream part;
  src.SetPos(99990);
  EXPECT_EQ(part.CopyBytesFrom(&src, 10), 10);
  src.SetPos(99995);
  EXPECT_THROW(part.CopyBytesFrom(&src, 10), EAbort);
}

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path_ = WideString(dir) + L"qv_stream_test.bin";
    DeleteFileW(path_.c_str());
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }
  WideString path_;
};

TEST_F(FileStreamTest, CreateWriteReopenRead) {
  {
    TFileStream f(path_, fmCreate);
    f.WriteExact("hello world", 11);
    EXPECT_EQ(f.GetLength(), 11);
    f.Resize(5);
  }
  TFileStream f(path_, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(f.GetLength(), 5);
  char buf[16] = {};
  EXPECT_EQ(f.ReadBytes(buf, 16), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(f.WriteBytes("x", 1), 0);  // opened for reading only
}

TEST_F(FileStreamTest, MissingFileAborts) {
  try {
    TFileStream f(path_, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EAbort& e) {
    EXPECT_STREQ(e.what(), "Operation aborted");
  }
}

TEST_F(FileStreamTest, StringListRoundTripsThroughAFile) {
  TStringList s, t;
  s.SetAllText("alpha\r\nbeta\r\n");
  s.SaveLinesToFile(path_);
  t.LoadLinesFromFile(path_);
  EXPECT_EQ(Lines(t), (std::vector<std::string>{"alpha", "beta"}));
}

// A log file is the user's: NULs, junk and a missing final line break must not cost a line.
TEST_F(FileStreamTest, LoadingAFileKeepsEveryLineWhateverItsBytes) {
  const std::string bytes("first\r\nnul\0inside\r\n\0\n\x01\xff\x80 junk\nlast", 34);
  {
    TFileStream f(path_, fmCreate);
    f.WriteExact(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  TStringList s;
  s.LoadLinesFromFile(path_);
  EXPECT_EQ(Lines(s), (std::vector<std::string>{"first", std::string("nul\0inside", 10), std::string(1, '\0'),
                                                "\x01\xff\x80 junk", "last"}));
  s.SaveLinesToFile(path_);
  TStringList t;
  t.LoadLinesFromFile(path_);
  EXPECT_EQ(Lines(t), Lines(s));
}

TEST(ResourceStream, FindsEmbeddedResourcesAndToleratesMissingOnes) {
  TResourceStream files(GetModuleHandleW(nullptr), "FILES", "FILES");
  ASSERT_GT(files.Size(), 2);
  const auto* p = static_cast<const uint8_t*>(files.Memory());
  EXPECT_EQ(p[0], 0x78);
  EXPECT_EQ(p[1], 0xDA);
  EXPECT_EQ(files.WriteBytes("x", 1), 0);
  TResourceStream form(GetModuleHandleW(nullptr), "TMAINFORM", MAKEINTRESOURCEA(10));
  ASSERT_GE(form.Size(), 4);
  EXPECT_EQ(memcmp(form.Memory(), "TPF0", 4), 0);
  TResourceStream none(GetModuleHandleW(nullptr), "NOSUCH", "FILES");
  EXPECT_EQ(none.Size(), 0);
  char c;
  EXPECT_EQ(none.ReadBytes(&c, 1), 0);
}
