// The payload catalogue under Wine: the real embedded payload, selection with the overwrite modes and
// ForceOverwrite, extraction with stored times, logging and Abort / Retry / Ignore, and damaged archives.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "install/AttachFiles.h"
#include "install/InstUtils.h"
#include "install/PayloadArchive.h"
#include "setup/Languages.h"

#include "support/FileHelpers.h"
#include "support/LogFolderTest.h"

using namespace testfiles;

namespace {


bool GetWriteTime(const WideString& path, FILETIME& utc) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  utc = data.ftLastWriteTime;
  return true;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

bool SetWriteTime(const WideString& path, const FILETIME& utc) {
  HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);
  return ok != FALSE;
}

// The UTC file time the installer should give a local TDateTime on an even second.
FILETIME ExpectedUtc(TDateTime local) {
  const TDateTimeParts p = DecodeDateTime(local);
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(p.Year);
  st.wMonth = static_cast<WORD>(p.Month);
  st.wDay = static_cast<WORD>(p.Day);
  st.wHour = static_cast<WORD>(p.Hour);
  st.wMinute = static_cast<WORD>(p.Minute);
  st.wSecond = static_cast<WORD>(p.Second);
  FILETIME lft = {}, utc = {};
  SystemTimeToFileTime(&st, &lft);
  LocalFileTimeToFileTime(&lft, &utc);
  return utc;
}

// zlib stream of the given archive bytes at the highest level, as the resource is built.
std::vector<uint8_t> Compress(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> out(size);
  const int rc = compress2(out.data(), &size, raw.empty() ? reinterpret_cast<const Bytef*>("") : raw.data(),
                           static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
  EXPECT_EQ(rc, Z_OK);
  out.resize(size);
  return out;
}

void AddRecord(std::vector<uint8_t>& out, const std::string& name, TDateTime time, const std::string& data) {
  AppendRecord(out, name, time, reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()));
}

// ---- fake message box ----

struct TBoxCall {
  WideString Text, Caption;
  UINT Style;
};
std::vector<TBoxCall> boxCalls;
std::function<int()> boxAnswer;

int WINAPI FakeBox(HWND, LPCWSTR text, LPCWSTR caption, UINT style) {
  boxCalls.push_back({text ? text : L"", caption ? caption : L"", style});
  return boxAnswer ? boxAnswer() : IDABORT;
}

const TDateTime kStamp = EncodeDateTime(2019, 9, 23, 16, 22, 24, 0);

class CatalogueTest : public TLogFolderTest {
 protected:
  CatalogueTest() : TLogFolderTest(L"attach") {}
  void SetUp() override {
    TLogFolderTest::SetUp();
    ForceOverwrite = false;
    SilentMode = false;
    ExitCode = 0;
    UILang = DefaultUILang;
    boxCalls.clear();
    boxAnswer = nullptr;
    savedBox_ = MessageBoxHook;
    MessageBoxHook = &FakeBox;
  }
  void TearDown() override {
    MessageBoxHook = savedBox_;
    ForceOverwrite = false;
    SilentMode = false;
    ExitCode = 0;
    UILang = DefaultUILang;
    TLogFolderTest::TearDown();
  }
  static std::vector<std::string> Names(const TAttachedFiles& files) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < files.JobCount(); ++i) out.push_back(U(files.Job(i)->Source->Name));
    return out;
  }
  static const TAttachedFile* Find(const TAttachedFiles& files, const char* name) {
    for (int32_t i = 0; i < files.EntryCount(); ++i)
      if (files.Entry(i)->Name == W(name)) return files.Entry(i);
    return nullptr;
  }
  static std::string Bytes(const TAttachedFile* e) {
    return std::string(reinterpret_cast<const char*>(e->Data), e->Size);
  }

  TMessageBoxFunc savedBox_ = nullptr;
};

// ---- the real payload ----

TEST_F(CatalogueTest, RealPayloadHasTheShippedEntries) {
  TAttachedFiles files;
  ASSERT_TRUE(files.IsValid());
  ASSERT_EQ(files.EntryCount(), 100);
  EXPECT_EQ(files.Entry(0)->Name, W("qvw.exe"));
  EXPECT_EQ(files.Entry(1)->Name, W("License.txt"));
  EXPECT_EQ(files.JobCount(), 0);
  EXPECT_EQ(files.PublicFiles.LineCount(), 0);
  // PublicFolder: the common application data folder joined with Quorvale\Public\.
  const WideString common = GetSpecialFolder(CSIDL_COMMON_APPDATA);
  ASSERT_FALSE(common.empty());
  EXPECT_EQ(PublicFolder, JoinPath(common, "Quorvale\\Public\\"));
}

TEST_F(CatalogueTest, SelectByExactNameIgnoresCase) {
  TAttachedFiles files;
  ASSERT_TRUE(files.IsValid());
  files.SelectFiles("license.txt", WithoutTrailingSeparator(dir_), omIfChanged);
  ASSERT_EQ(files.JobCount(), 1);
  EXPECT_EQ(files.Job(0)->Source, Find(files, "License.txt"));
  EXPECT_EQ(files.Job(0)->Target, dir_ + L"License.txt");
  EXPECT_TRUE(files.Job(0)->Logged);
  // A name that is only a prefix of an entry, or a folder without its backslash, selects nothing.
  files.SelectFiles("License", dir_, omAlways);
  files.SelectFiles("Templates", dir_, omAlways);
  files.SelectFiles("Letter 1.rtf", dir_, omAlways);
  EXPECT_EQ(files.JobCount(), 1);
  // The same entry selected twice is queued twice.
  files.SelectFiles("QVW.EXE", dir_, omIfMissing);
  files.SelectFiles("qvw.exe", dir_, omIfMissing);
  EXPECT_EQ(Names(files), (std::vector<std::string>{"License.txt", "qvw.exe", "qvw.exe"}));
  // Targets outside PublicFolder give no PublicFiles line.
  EXPECT_EQ(files.PublicFiles.LineCount(), 0);
}

TEST_F(CatalogueTest, SelectByFolderPrefixInArchiveOrder) {
  TAttachedFiles files;
  ASSERT_TRUE(files.IsValid());
  std::vector<std::string> templates, clips;
  for (int32_t i = 0; i < files.EntryCount(); ++i) {
    const std::string name = U(files.Entry(i)->Name);
    if (name.rfind("Templates\\", 0) == 0) templates.push_back(name);
    if (name.rfind("Clip Library\\", 0) == 0) clips.push_back(name);
  }
  ASSERT_EQ(templates.size(), 16u);
  ASSERT_EQ(clips.size(), 82u);

  files.SelectFiles("Templates\\", dir_, omIfMissing);
  EXPECT_EQ(Names(files), templates);
  bool sawToc3 = false;
  for (int32_t i = 0; i < files.JobCount(); ++i) {
    EXPECT_EQ(files.Job(i)->Target, dir_ + files.Job(i)->Source->Name);
    if (files.Job(i)->Target == dir_ + L"Templates\\TOCs\\Table Of Contents 3.rtf") sawToc3 = true;
  }
  EXPECT_TRUE(sawToc3);

  // Lower case prefix selects the same group; the clip library follows in archive order.
  TAttachedFiles other;
  other.SelectFiles("clip library\\", dir_, omAlways);
  EXPECT_EQ(Names(other), clips);
}

TEST_F(CatalogueTest, OmIfMissingSkipsExistingFiles) {
  TAttachedFiles files;
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"Templates").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"Templates\\Memos").c_str(), nullptr));
  ASSERT_TRUE(WriteRaw(dir_ + L"Templates\\Memos\\note.RTF", "user's own"));
  files.SelectFiles("Templates\\", dir_, omIfMissing);
  EXPECT_EQ(files.JobCount(), 15);
  for (const std::string& n : Names(files)) EXPECT_NE(n, "Templates\\Memos\\Note.rtf");
  // omIfChanged and omAlways queue it: its time differs, or the mode does not look.
  files.SelectFiles("Templates\\Memos\\Note.rtf", dir_, omIfChanged);
  files.SelectFiles("Templates\\Memos\\Note.rtf", dir_, omAlways);
  EXPECT_EQ(files.JobCount(), 17);
  EXPECT_EQ(files.Job(15)->Source->Name, W("Templates\\Memos\\Note.rtf"));
  EXPECT_EQ(files.Job(16)->Source->Name, W("Templates\\Memos\\Note.rtf"));
  // A folder in the target's place is not a file: queued.
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"License.txt").c_str(), nullptr));
  files.SelectFiles("License.txt", dir_, omIfMissing);
  EXPECT_EQ(files.JobCount(), 18);
}

TEST_F(CatalogueTest, ExtractedFileIsSkippedByOmIfChangedUntilTouched) {
  TAttachedFiles files;
  const TAttachedFile* license = Find(files, "License.txt");
  ASSERT_NE(license, nullptr);
  const WideString target = dir_ + L"License.txt";
  ASSERT_TRUE(files.ExtractEntry(license, target));
  EXPECT_EQ(ReadRaw(target), Bytes(license));
  EXPECT_EQ(FileStampOf(target), license->Time);
  FILETIME written;
  ASSERT_TRUE(GetWriteTime(target, written));
  EXPECT_EQ(Ticks(written), Ticks(ExpectedUtc(license->Time)));

  files.SelectFiles("License.txt", dir_, omIfChanged);
  EXPECT_EQ(files.JobCount(), 0);
  files.SelectFiles("License.txt", dir_, omIfMissing);
  EXPECT_EQ(files.JobCount(), 0);

  // Touched later, then earlier: queued each time.
  FILETIME later = written;
  const uint64_t plus = Ticks(written) + 2 * 10000000ull;
  later.dwLowDateTime = static_cast<DWORD>(plus);
  later.dwHighDateTime = static_cast<DWORD>(plus >> 32);
  ASSERT_TRUE(SetWriteTime(target, later));
  files.SelectFiles("License.txt", dir_, omIfChanged);
  EXPECT_EQ(files.JobCount(), 1);
  FILETIME earlier = written;
  const uint64_t minus = Ticks(written) - 3600 * 10000000ull;
  earlier.dwLowDateTime = static_cast<DWORD>(minus);
  earlier.dwHighDateTime = static_cast<DWORD>(minus >> 32);
  ASSERT_TRUE(SetWriteTime(target, earlier));
  files.SelectFiles("License.txt", dir_, omIfChanged);
  EXPECT_EQ(files.JobCount(), 2);
  // Back at the stored time: skipped again.
  ASSERT_TRUE(SetWriteTime(target, written));
  files.SelectFiles("License.txt", dir_, omIfChanged);
  EXPECT_EQ(files.JobCount(), 2);
}

TEST_F(CatalogueTest, ForceOverwriteKeepsTheCallersMarkInPublicFiles) {
  TAttachedFiles files;
  PublicFolder = dir_ + L"Quorvale\\Public\\";
  MakeFolderChain(PublicFolder + L"Templates\\Memos\\");
  ASSERT_TRUE(WriteRaw(PublicFolder + L"Templates\\Memos\\Note.rtf", "kept?"));
  log_->Clear();

  ForceOverwrite = true;
  SuspendLog();
  files.SelectFiles("Templates\\", PublicFolder, omIfMissing);
  ResumeLog();
  files.SelectFiles("License.txt", WithoutTrailingSeparator(dir_) + L"/", omIfChanged);
  ASSERT_EQ(files.JobCount(), 17);  // the existing Note.rtf too
  ASSERT_EQ(files.PublicFiles.LineCount(), 16);
  for (int32_t i = 0; i < 16; ++i) {
    EXPECT_FALSE(files.Job(i)->Logged);
    EXPECT_EQ(files.PublicFiles.GetLine(i), U(files.Job(i)->Target) + "\t!");
  }
  EXPECT_TRUE(files.Job(16)->Logged);
  EXPECT_EQ(files.Job(16)->Target, dir_ + L"License.txt");
  bool sawNote = false;
  for (int32_t i = 0; i < files.PublicFiles.LineCount(); ++i)
    if (files.PublicFiles.GetLine(i) == U(PublicFolder) + "Templates\\Memos\\Note.rtf\t!") sawNote = true;
  EXPECT_TRUE(sawNote);

  // omIfChanged into the public folder: a line without the mark; the folder compares ignoring case.
  ForceOverwrite = false;
  WideString upperPublic = PublicFolder;
  for (auto& c : upperPublic) c = static_cast<WideChar>(towupper(c));
  files.SelectFiles("Clip Library\\Closings\\See you.txt", upperPublic, omIfChanged);
  ASSERT_EQ(files.PublicFiles.LineCount(), 17);
  EXPECT_EQ(files.PublicFiles.GetLine(16), U(upperPublic) + "Clip Library\\Closings\\See you.txt");
  // Without ForceOverwrite omIfMissing skips the existing file and gives no line.
  files.SelectFiles("Templates\\Memos\\Note.rtf", PublicFolder, omIfMissing);
  EXPECT_EQ(files.PublicFiles.LineCount(), 17);
  EXPECT_EQ(files.JobCount(), 18);
  EXPECT_TRUE(Lines().empty());  // selection itself logs nothing
}

TEST_F(CatalogueTest, FolderWithTrailingSlashOrNothing) {
  TAttachedFiles files;
  files.SelectFiles("License.txt", WithoutTrailingSeparator(dir_) + L"/", omAlways);
  files.SelectFiles("License.txt", dir_, omAlways);
  files.SelectFiles("License.txt", WithoutTrailingSeparator(dir_), omAlways);
  files.SelectFiles("License.txt", W(""), omAlways);
  ASSERT_EQ(files.JobCount(), 4);
  EXPECT_EQ(files.Job(0)->Target, dir_ + L"License.txt");
  EXPECT_EQ(files.Job(1)->Target, dir_ + L"License.txt");
  EXPECT_EQ(files.Job(2)->Target, dir_ + L"License.txt");
  EXPECT_EQ(files.Job(3)->Target, W("License.txt"));
}

// ---- extraction ----

TEST_F(CatalogueTest, ExtractQueueWritesBytesTimesAndLog) {
  TAttachedFiles files;
  files.SelectFiles("qvw.exe", dir_ + L"Program", omIfChanged);
  SuspendLog();
  files.SelectFiles("Templates\\Letters\\", dir_ + L"Public", omIfMissing);
  ResumeLog();
  ASSERT_EQ(files.JobCount(), 5);
  // The install step's loop: suspend around jobs queued while logging was off.
  for (int32_t i = 0; i < files.JobCount(); ++i) {
    const TFileToInstall* job = files.Job(i);
    if (!job->Logged) SuspendLog();
    const bool ok = files.ExtractEntry(job->Source, job->Target);
    if (!job->Logged) ResumeLog();
    ASSERT_TRUE(ok);
  }
  for (int32_t i = 0; i < files.JobCount(); ++i) {
    const TFileToInstall* job = files.Job(i);
    EXPECT_EQ(ReadRaw(job->Target), Bytes(job->Source)) << U(job->Target);
    EXPECT_EQ(FileStampOf(job->Target), job->Source->Time) << U(job->Target);
  }
  const std::vector<std::string> expected = {"Made Dir: " + U(dir_) + "Program\\",
                                             "File Copy: " + U(dir_) + "Program\\qvw.exe"};
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(boxCalls.empty());
  // Written again: replaced, and no duplicate line.
  ASSERT_TRUE(WriteRaw(files.Job(0)->Target, "old"));
  ASSERT_TRUE(files.ExtractEntry(files.Job(0)->Source, files.Job(0)->Target));
  EXPECT_EQ(ReadRaw(files.Job(0)->Target), Bytes(files.Job(0)->Source));
  EXPECT_EQ(Lines(), expected);
}

TEST_F(CatalogueTest, ExtractEmptyEntryAndTimesWithoutStamp) {
  TAttachedFile empty;
  empty.Name = W("empty.txt");
  empty.Time = kStamp;
  TAttachedFiles files(nullptr, 0);
  ASSERT_TRUE(files.ExtractEntry(&empty, dir_ + L"empty.txt"));
  EXPECT_EQ(ReadRaw(dir_ + L"empty.txt"), "");
  EXPECT_EQ(FileStampOf(dir_ + L"empty.txt"), kStamp);

  // 1979 (before the DOS epoch) and 2100 (after the stamp's last year): written, time left at the moment
  // of writing.
  const std::string body = "old stamp";
  const TDateTime outside[] = {EncodeDateTime(1979, 12, 31, 12, 0, 0, 0), EncodeDateTime(2100, 1, 1, 12, 0, 0, 0)};
  for (const TDateTime time : outside) {
    const int year = DecodeDateTime(time).Year;
    TAttachedFile old;
    old.Time = time;
    old.Size = static_cast<uint32_t>(body.size());
    old.Data = reinterpret_cast<const uint8_t*>(body.data());
    const WideString target = dir_ + L"old" + std::to_wstring(year) + L".txt";
    FILETIME before, after, written;
    GetSystemTimeAsFileTime(&before);
    ASSERT_TRUE(files.ExtractEntry(&old, target));
    GetSystemTimeAsFileTime(&after);
    EXPECT_EQ(ReadRaw(target), body);
    ASSERT_TRUE(GetWriteTime(target, written));
    // The file system may round down to its own resolution; allow two seconds.
    EXPECT_GE(Ticks(written) + 2 * 10000000ull, Ticks(before)) << year;
    EXPECT_LE(Ticks(written), Ticks(after) + 2 * 10000000ull) << year;
  }
}

TEST_F(CatalogueTest, RetryAfterTheLockIsRemoved) {
  TAttachedFiles files;
  const TAttachedFile* license = Find(files, "License.txt");
  ASSERT_NE(license, nullptr);
  const WideString target = dir_ + L"License.txt";
  // Another program holds the file open without sharing: creating it fails.
  HANDLE lock = CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  boxAnswer = [&] {
    if (boxCalls.size() == 1) {
      CloseHandle(lock);  // the user closes the other program, then presses Retry
      lock = INVALID_HANDLE_VALUE;
    }
    return IDRETRY;
  };
  ASSERT_TRUE(files.ExtractEntry(license, target));
  ASSERT_EQ(boxCalls.size(), 1u);
  const AnsiString expectedText = FormatText(UIText(UICannotCreate), {U(target)});
  EXPECT_EQ(boxCalls[0].Text, Utf8ToWide(expectedText));
  EXPECT_NE(boxCalls[0].Text.find(target), WideString::npos);
  EXPECT_EQ(boxCalls[0].Caption, UIWideText(UITitle));
  EXPECT_EQ(boxCalls[0].Style, static_cast<UINT>(MB_ICONERROR | MB_ABORTRETRYIGNORE | MB_TASKMODAL));
  EXPECT_EQ(ReadRaw(target), Bytes(license));
  EXPECT_EQ(FileStampOf(target), license->Time);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"File Copy: " + U(target)}));
  EXPECT_EQ(ExitCode, 0);
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
}

TEST_F(CatalogueTest, RetryAfterBlockingFolderIsRemoved) {
  TAttachedFiles files;
  const TAttachedFile* license = Find(files, "License.txt");
  ASSERT_NE(license, nullptr);
  const WideString target = dir_ + L"Program\\License.txt";
  MakeFolderChain(target);  // a folder where the file should go
  log_->Clear();
  UILang = 0;  // German: the box follows the current language
  boxAnswer = [&] {
    RemoveDirectoryW(target.c_str());
    return IDRETRY;
  };
  ASSERT_TRUE(files.ExtractEntry(license, target));
  ASSERT_EQ(boxCalls.size(), 1u);
  EXPECT_EQ(boxCalls[0].Text, Utf8ToWide(FormatText(UICannotCreate[0], {U(target)})));
  EXPECT_EQ(boxCalls[0].Caption, Utf8ToWide(UITitle[0]));
  EXPECT_EQ(ReadRaw(target), Bytes(license));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"File Copy: " + U(target)}));
}

TEST_F(CatalogueTest, RetryAfterReadOnlyIsCleared) {
  TAttachedFiles files;
  const TAttachedFile* license = Find(files, "License.txt");
  ASSERT_NE(license, nullptr);
  const WideString target = dir_ + L"License.txt";
  ASSERT_TRUE(WriteRaw(target, "old"));
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  // Windows refuses to replace a read-only file; Wine running as root may not, and then no box is shown.
  HANDLE probe = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool refused = probe == INVALID_HANDLE_VALUE;
  if (!refused) CloseHandle(probe);
  boxAnswer = [&] {
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    return IDRETRY;
  };
  ASSERT_TRUE(files.ExtractEntry(license, target));
  EXPECT_EQ(boxCalls.size(), refused ? 1u : 0u);
  EXPECT_EQ(ReadRaw(target), Bytes(license));
  if (!refused) GTEST_SKIP() << "read-only files are writable for this user; the retry path ran only elsewhere";
}

TEST_F(CatalogueTest, IgnoreGoesOnWithoutLogLine) {
  TAttachedFiles files;
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"Public").c_str(), nullptr));
  SuspendLog();
  files.SelectFiles("Templates\\Memos\\", dir_ + L"Public", omIfMissing);
  ResumeLog();
  files.SelectFiles("qvw.exe", dir_, omAlways);
  files.SelectFiles("License.txt", dir_, omAlways);
  ASSERT_EQ(files.JobCount(), 7);
  // qvw.exe is held open by a running copy; the user ignores it.
  const WideString blocked = dir_ + L"qvw.exe";
  HANDLE lock = CreateFileW(blocked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  boxAnswer = [] { return IDIGNORE; };
  int written = 0;
  for (int32_t i = 0; i < files.JobCount(); ++i) {
    const TFileToInstall* job = files.Job(i);
    if (!job->Logged) SuspendLog();
    const bool ok = files.ExtractEntry(job->Source, job->Target);
    if (!job->Logged) ResumeLog();
    ASSERT_TRUE(ok);
    ++written;
  }
  CloseHandle(lock);
  EXPECT_EQ(written, 7);
  EXPECT_EQ(boxCalls.size(), 1u);
  EXPECT_EQ(ReadRaw(blocked), "");  // left as the other program had it
  EXPECT_EQ(ReadRaw(dir_ + L"License.txt"), Bytes(Find(files, "License.txt")));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"File Copy: " + U(dir_) + "License.txt"}));
  EXPECT_EQ(ExitCode, 0);
}

TEST_F(CatalogueTest, AbortStops) {
  TAttachedFiles files;
  // A folder stands where the file should go: it cannot be created, however often retried.
  const WideString target = dir_ + L"License.txt";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  int calls = 0;
  boxAnswer = [&] { return ++calls < 3 ? IDRETRY : IDABORT; };
  EXPECT_FALSE(files.ExtractEntry(Find(files, "License.txt"), target));
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(ExitCode, 0);  // the install step sets it, not the catalogue
  // A box that cannot be shown (result 1) stops as well instead of looping.
  boxCalls.clear();
  boxAnswer = [] { return 0; };
  EXPECT_FALSE(files.ExtractEntry(Find(files, "License.txt"), target));
  EXPECT_EQ(boxCalls.size(), 1u);
}

TEST_F(CatalogueTest, SilentModeFailsWithExitCodeTwoAndNoBox) {
  TAttachedFiles files;
  const WideString target = dir_ + L"License.txt";
  ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
  SilentMode = true;
  boxAnswer = [] { return IDIGNORE; };
  EXPECT_FALSE(files.ExtractEntry(Find(files, "License.txt"), target));
  EXPECT_EQ(ExitCode, 2);
  EXPECT_TRUE(boxCalls.empty());
  EXPECT_TRUE(Lines().empty());
  // Success in silent mode leaves the code alone.
  ExitCode = 0;
  EXPECT_TRUE(files.ExtractEntry(Find(files, "License.txt"), dir_ + L"Other\\License.txt"));
  EXPECT_EQ(ExitCode, 0);
}

// ---- hand-made archives ----

TEST_F(CatalogueTest, HandMadeArchiveFirstMatchOnly) {
  std::vector<uint8_t> raw;
  AddRecord(raw, "A.txt", kStamp, "first");
  AddRecord(raw, "a.TXT", kStamp, "second");
  AddRecord(raw, "Empty.txt", kStamp, "");
  AddRecord(raw, std::string(255, 'n'), kStamp, "long");
  const std::vector<uint8_t> z = Compress(raw);
  TAttachedFiles files(z.data(), static_cast<uint32_t>(z.size()));
  ASSERT_TRUE(files.IsValid());
  ASSERT_EQ(files.EntryCount(), 4);
  EXPECT_EQ(files.Entry(3)->Name.size(), 255u);
  files.SelectFiles("a.txt", dir_, omAlways);
  ASSERT_EQ(files.JobCount(), 1);
  EXPECT_EQ(Bytes(files.Job(0)->Source), "first");
  ASSERT_TRUE(files.ExtractEntry(files.Job(0)->Source, files.Job(0)->Target));
  EXPECT_EQ(ReadRaw(dir_ + L"A.txt"), "first");
}

TEST_F(CatalogueTest, DamagedArchivesGiveAnEmptyCatalogue) {
  std::vector<uint8_t> good;
  AddRecord(good, "Templates\\One.rtf", kStamp, "one");
  AddRecord(good, "Two.txt", kStamp, "two two");

  std::vector<std::vector<uint8_t>> broken;
  // Truncated: the last record stops inside its fixed fields.
  broken.emplace_back(good.begin(), good.end() - 10);
  // A record whose Size runs past the end.
  {
    std::vector<uint8_t> r = good;
    AddRecord(r, "Three.txt", kStamp, "3");
    r[r.size() - 2] = 0x40;  // Size low byte: 0x40 instead of 1
    broken.push_back(r);
  }
  {
    std::vector<uint8_t> r = good;
    AddRecord(r, "Huge.txt", kStamp, "x");
    for (int i = 2; i <= 5; ++i) r[r.size() - i] = 0xFF;  // Size 0xFFFFFFFF
    broken.push_back(r);
  }
  // Garbage after the last record (fewer bytes than a record header, then more).
  {
    std::vector<uint8_t> r = good;
    r.insert(r.end(), {0x01, 0x02, 0x03});
    broken.push_back(r);
  }
  {
    std::vector<uint8_t> r = good;
    r.insert(r.end(), 40, 0x00);  // looks like a record with an empty name and a zero time
    r[r.size() - 40 + 9] = 0x20;  // ... whose Size claims 32 bytes where 27 remain
    broken.push_back(r);
  }
  for (size_t i = 0; i < broken.size(); ++i) {
    const std::vector<uint8_t> z = Compress(broken[i]);
    TAttachedFiles files(z.data(), static_cast<uint32_t>(z.size()));
    EXPECT_FALSE(files.IsValid()) << i;
    EXPECT_EQ(files.EntryCount(), 0) << i;
    files.SelectFiles("Two.txt", dir_, omAlways);
    files.SelectFiles("Templates\\", dir_, omAlways);
    EXPECT_EQ(files.JobCount(), 0) << i;
  }

  // Streams that do not inflate: garbage, a stream cut short, a corrupted checksum, nothing at all.
  std::vector<uint8_t> z = Compress(good);
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back({0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0});
  bad.emplace_back(z.begin(), z.begin() + z.size() / 2);
  {
    std::vector<uint8_t> r = z;
    r.back() ^= 0xFF;  // Adler-32
    bad.push_back(r);
  }
  bad.push_back({0x78});
  for (size_t i = 0; i < bad.size(); ++i) {
    TAttachedFiles files(bad[i].data(), static_cast<uint32_t>(bad[i].size()));
    EXPECT_FALSE(files.IsValid()) << i;
    EXPECT_EQ(files.EntryCount(), 0) << i;
  }
  TAttachedFiles none(nullptr, 0);
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.EntryCount(), 0);
  none.SelectFiles("qvw.exe", dir_, omAlways);
  EXPECT_EQ(none.JobCount(), 0);

  // The good archive itself reads, and an empty stream is a valid empty catalogue.
  TAttachedFiles ok(z.data(), static_cast<uint32_t>(z.size()));
  EXPECT_TRUE(ok.IsValid());
  EXPECT_EQ(ok.EntryCount(), 2);
  const std::vector<uint8_t> emptyZ = Compress({});
  TAttachedFiles empty(emptyZ.data(), static_cast<uint32_t>(emptyZ.size()));
  EXPECT_TRUE(empty.IsValid());
  EXPECT_EQ(empty.EntryCount(), 0);
}

TEST_F(CatalogueTest, PublicFolderIsSetByEveryConstruction) {
  // Even a catalogue without payload sets it: absolute, ending in the fixed sub-path.
  PublicFolder = W("stale");
  TAttachedFiles files(nullptr, 0);
  const std::string pub = U(PublicFolder);
  ASSERT_GE(pub.size(), 16u);
  EXPECT_EQ(pub.substr(pub.size() - 16), "Quorvale\\Public\\");
  EXPECT_TRUE(BeginsIgnoringCase(PublicFolder, GetSpecialFolder(CSIDL_COMMON_APPDATA)));
}

}  // namespace
