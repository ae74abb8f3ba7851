// The payload embedded in the program: located, inflated and walked.
#include <gtest/gtest.h>
#include <windows.h>

#include "install/AttachFiles.h"
#include "install/PayloadArchive.h"

TEST(EmbeddedPayload, HoldsTheHundredEntriesInOrder) {
  TAttachedFiles files;
  ASSERT_TRUE(files.IsValid());
  ASSERT_EQ(files.EntryCount(), 100);
  const TAttachedFile* first = files.Entry(0);
  EXPECT_EQ(first->Name, L"qvw.exe");
  EXPECT_EQ(first->Data - files.ArchiveData(), 20);
  EXPECT_EQ(memcmp(first->Data, "MZ", 2), 0);
  EXPECT_EQ(files.Entry(1)->Name, L"License.txt");
  EXPECT_EQ(files.Entry(2)->Name, L"Templates\\Letters\\Letter 1.rtf");
  EXPECT_EQ(files.Entry(18)->Name, L"Clip Library\\Closings\\All the best.txt");
  EXPECT_EQ(files.Entry(99)->Name, L"Clip Library\\Tables\\Twin sections.rtf");
  // The records fill the archive exactly.
  const TAttachedFile* last = files.Entry(99);
  EXPECT_EQ(last->Data + last->Size, files.ArchiveData() + files.ArchiveLength());
  int templates = 0, clips = 0;
  for (int32_t i = 0; i < files.EntryCount(); ++i) {
    const WideString& n = files.Entry(i)->Name;
    templates += n.rfind(L"Templates\\", 0) == 0;
    clips += n.rfind(L"Clip Library\\", 0) == 0;
    EXPECT_TRUE(IsWholeEvenSecond(files.Entry(i)->Time)) << WideToUtf8(n);
  }
  EXPECT_EQ(templates, 16);
  EXPECT_EQ(clips, 82);
}

TEST(EmbeddedPayload, StoredTimesAreLocalAndInRange) {
  TAttachedFiles files;
  ASSERT_EQ(files.EntryCount(), 100);
  const TDateTimeParts exe = DecodeDateTime(files.Entry(0)->Time);
  EXPECT_EQ(exe.Year, 2025);
  EXPECT_EQ(exe.Month, 5);
  EXPECT_EQ(exe.Day, 13);
  TDateTime oldest = files.Entry(0)->Time;
  for (int32_t i = 0; i < files.EntryCount(); ++i) oldest = std::min(oldest, files.Entry(i)->Time);
  const TDateTimeParts o = DecodeDateTime(oldest);
  EXPECT_EQ(o.Year, 2004);
  EXPECT_EQ(o.Month, 1);
  EXPECT_EQ(o.Day, 19);
}

TEST(EmbeddedPayload, LicenceIsUtf8WithCrLf) {
  TAttachedFiles files;
  ASSERT_GE(files.EntryCount(), 2);
  const TAttachedFile* lic = files.Entry(1);
  const std::string text(reinterpret_cast<const char*>(lic->Data), lic->Size);
  EXPECT_NE(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at " << i;
    }
}
