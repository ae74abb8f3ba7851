// Install utilities against the real file system and shell under Wine: path text, special folders, folder
// tests and creation with logging, file stamps, small files, shortcuts, the folder picker and the log.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <commctrl.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "install/InstUtils.h"

#include "support/FileHelpers.h"
#include "support/LogFolderTest.h"

using namespace testfiles;

namespace {


// Sets a file's last-write time from a local calendar time.
bool SetLocalWriteTime(const WideString& path, WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME st = {};
  st.wYear = y;
  st.wMonth = mo;
  st.wDay = d;
  st.wHour = h;
  st.wMinute = mi;
  st.wSecond = s;
  FILETIME local, utc;
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) return false;
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  return ok != FALSE;
}

TDateTime fixedNow = 0;
TDateTime FixedNow() { return fixedNow; }

class InstUtilsTest : public TLogFolderTest {
 protected:
  InstUtilsTest() : TLogFolderTest(L"instutils") {}
  void TearDown() override {
    NowHook = &SystemNow;
    TLogFolderTest::TearDown();
  }
};

// ---- path text ----

TEST(PathText, WithTrailingSeparator) {
  WideString p;
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W(""));
  p = W("C:\\Data");
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W("C:\\Data\\"));
  p = W("C:\\Data/");
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W("C:\\Data\\"));
  p = W("C:\\Data\\\\");  // two backslashes: the last is replaced by itself, both stay
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W("C:\\Data\\\\"));
  p = W("C:\\Data\\");
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W("C:\\Data\\"));
  p = W("/");
  WithTrailingSeparator(p);
  EXPECT_EQ(p, W("\\"));
}

TEST(PathText, WithoutTrailingSeparator) {
  EXPECT_EQ(WithoutTrailingSeparator(W("C:\\")), W("C:"));
  EXPECT_EQ(WithoutTrailingSeparator(W("C:\\A\\\\")), W("C:\\A\\"));  // only one removed
  EXPECT_EQ(WithoutTrailingSeparator(W("C:\\A/")), W("C:\\A/"));      // a slash is not a backslash here
  EXPECT_EQ(WithoutTrailingSeparator(W("C:\\A")), W("C:\\A"));
  EXPECT_EQ(WithoutTrailingSeparator(W("")), W(""));
}

TEST(PathText, JoinPath) {
  EXPECT_EQ(JoinPath(W("C:\\Data"), "Install.log"), W("C:\\Data\\Install.log"));
  EXPECT_EQ(JoinPath(W("C:\\Data/"), "Install.log"), W("C:\\Data\\Install.log"));
  EXPECT_EQ(JoinPath(W("C:\\Data\\"), "Quorvale\\Public\\"), W("C:\\Data\\Quorvale\\Public\\"));
  EXPECT_EQ(JoinPath(W(""), "Install.log"), W("Install.log"));
  // The name is UTF-8: "Café" with é as C3 A9 gives one UTF-16 unit.
  const WideString joined = JoinPath(W("D:"), "Caf\xC3\xA9");
  ASSERT_EQ(joined.size(), 7u);
  EXPECT_EQ(joined[6], static_cast<WideChar>(0xE9));
}

TEST(PathText, FolderPartOf) {
  EXPECT_EQ(FolderPartOf(W("C:\\A\\B.lnk")), W("C:\\A\\"));
  EXPECT_EQ(FolderPartOf(W("C:B.lnk")), W("C:"));
  EXPECT_EQ(FolderPartOf(W("B.lnk")), W(""));
  EXPECT_EQ(FolderPartOf(W("C:\\A\\")), W("C:\\A\\"));
}

TEST(PathText, EqualIgnoringCase) {
  EXPECT_TRUE(EqualIgnoringCase(W("C:\\Program Files\\Quorvale"), W("c:\\PROGRAM FILES\\quorvale")));
  EXPECT_TRUE(EqualIgnoringCase(W(""), W("")));
  EXPECT_FALSE(EqualIgnoringCase(W("abc"), W("abcd")));
  EXPECT_FALSE(EqualIgnoringCase(W("abc"), W("abd")));
  // Beyond ASCII the locale's mapping decides: ä and Ä, é and É.
  EXPECT_TRUE(EqualIgnoringCase(W("\xC3\xA4\xC3\xA9"), W("\xC3\x84\xC3\x89")));
  EXPECT_FALSE(EqualIgnoringCase(W("\xC3\xA4"), W("A")));
}

TEST(PathText, BeginsIgnoringCase) {
  EXPECT_TRUE(BeginsIgnoringCase(W("Templates\\Letters\\Letter 1.rtf"), W("TEMPLATES\\")));
  EXPECT_FALSE(BeginsIgnoringCase(W("Template.rtf"), W("Templates\\")));
  // A prefix longer than the text compares the whole text and fails.
  EXPECT_FALSE(BeginsIgnoringCase(W("abc"), W("abcd")));
  EXPECT_TRUE(BeginsIgnoringCase(W("abc"), W("")));
  EXPECT_TRUE(BeginsIgnoringCase(W("abc"), W("ABC")));
}

// ---- special folders ----

TEST(SpecialFolders, KnownFoldersResolve) {
  for (int number : {CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_PERSONAL}) {
    const WideString path = GetSpecialFolder(number);
    ASSERT_FALSE(path.empty()) << number;
    EXPECT_EQ(path.find(L'\0'), WideString::npos);
    EXPECT_NE(path.back(), L'\\') << U(path);
    EXPECT_TRUE(IsExistingFolder(path)) << U(path);
  }
}

TEST(SpecialFolders, UnknownNumberGivesEmpty) {
  EXPECT_EQ(GetSpecialFolder(0x7E), W(""));
  EXPECT_EQ(GetSpecialFolder(-5), W(""));
}

// ---- current folder and tests ----

TEST_F(InstUtilsTest, GetCurrentFolderEndsInBackslash) {
  const WideString saved = GetCurrentFolder();
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(saved.back(), L'\\');
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
  EXPECT_TRUE(EqualIgnoringCase(GetCurrentFolder(), dir_)) << U(GetCurrentFolder());
  SetCurrentDirectoryW(saved.c_str());
}

TEST_F(InstUtilsTest, IsExistingFile) {
  const WideString file = dir_ + L"a.txt";
  EXPECT_FALSE(IsExistingFile(file));
  ASSERT_TRUE(WriteRaw(file, "x"));
  EXPECT_TRUE(IsExistingFile(file));
  EXPECT_TRUE(IsExistingFile(dir_ + L"A.TXT"));
  EXPECT_FALSE(IsExistingFile(WithoutTrailingSeparator(dir_)));  // a folder is not a file
  EXPECT_FALSE(IsExistingFile(W("")));
}

TEST_F(InstUtilsTest, IsExistingFolder) {
  const WideString saved = GetCurrentFolder();
  ASSERT_TRUE(CreateDirectoryW((dir_ + L"Sub Folder").c_str(), nullptr));
  EXPECT_TRUE(IsExistingFolder(dir_ + L"Sub Folder"));
  EXPECT_TRUE(IsExistingFolder(dir_ + L"Sub Folder\\"));
  EXPECT_TRUE(IsExistingFolder(dir_ + L"Sub Folder/"));
  // Other letter case: the same folder.
  WideString upper = dir_ + L"SUB FOLDER";
  EXPECT_TRUE(IsExistingFolder(upper));
  WideString lower = dir_;
  for (auto& c : lower) c = static_cast<WideChar>(towlower(c));
  EXPECT_TRUE(IsExistingFolder(lower + L"sub folder\\"));
  // A file, a missing folder, an empty and a relative path are not folders.
  ASSERT_TRUE(WriteRaw(dir_ + L"file.txt", "data"));
  EXPECT_FALSE(IsExistingFolder(dir_ + L"file.txt"));
  EXPECT_FALSE(IsExistingFolder(dir_ + L"missing"));
  EXPECT_FALSE(IsExistingFolder(W("")));
  ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
  EXPECT_FALSE(IsExistingFolder(W("Sub Folder")));
  // The current directory is restored after every test.
  EXPECT_TRUE(EqualIgnoringCase(GetCurrentFolder(), dir_));
  SetCurrentDirectoryW(saved.c_str());
  EXPECT_TRUE(IsExistingFolder(dir_ + L"Sub Folder"));
  EXPECT_EQ(GetCurrentFolder(), saved);
}

// ---- stamps ----

TEST(DosStamp, ConversionBothWays) {
  uint16_t d = 0, t = 0;
  const TDateTime v = EncodeDateTime(2019, 9, 23, 16, 22, 24, 0);
  ASSERT_TRUE(DateTimeToDosStamp(v, d, t));
  EXPECT_EQ(d, 23 + 9 * 32 + 39 * 512);
  EXPECT_EQ(t, 12 + 22 * 32 + 16 * 2048);
  EXPECT_EQ(DosStampToDateTime(d, t), v);  // an even second survives the round trip exactly
  // Odd seconds are dropped.
  ASSERT_TRUE(DateTimeToDosStamp(EncodeDateTime(2020, 1, 2, 10, 0, 3, 0), d, t));
  EXPECT_EQ(DosStampToDateTime(d, t), EncodeDateTime(2020, 1, 2, 10, 0, 2, 0));
  // Milliseconds round to the nearest before splitting: 10:00:01.9996 is 10:00:02.000.
  ASSERT_TRUE(DateTimeToDosStamp(EncodeDateTime(2020, 1, 2, 10, 0, 1, 999) + 0.6 / 86400000.0, d, t));
  EXPECT_EQ(t % 32, 1);
  // Limits: 1980-01-01 00:00:00 and 2099-12-31 23:59:58 have a stamp; 1979 and 2100 do not.
  EXPECT_TRUE(DateTimeToDosStamp(EncodeDateTime(1980, 1, 1, 0, 0, 0, 0), d, t));
  EXPECT_EQ(d, 1 + 32);
  EXPECT_TRUE(DateTimeToDosStamp(EncodeDateTime(2099, 12, 31, 23, 59, 58, 0), d, t));
  EXPECT_FALSE(DateTimeToDosStamp(EncodeDateTime(1979, 12, 31, 23, 59, 58, 0), d, t));
  EXPECT_EQ(d, 0);
  EXPECT_EQ(t, 0);
  EXPECT_FALSE(DateTimeToDosStamp(EncodeDateTime(2100, 1, 1, 0, 0, 0, 0), d, t));
  EXPECT_FALSE(DateTimeToDosStamp(std::nan(""), d, t));
  EXPECT_FALSE(DateTimeToDosStamp(1e300, d, t));
  EXPECT_FALSE(DateTimeToDosStamp(-1e300, d, t));
}

TEST_F(InstUtilsTest, FileStampOfHasTwoSecondResolution) {
  const WideString file = dir_ + L"stamp.txt";
  ASSERT_TRUE(WriteRaw(file, "x"));
  ASSERT_TRUE(SetLocalWriteTime(file, 2021, 3, 4, 10, 0, 3));
  EXPECT_EQ(FileStampOf(file), EncodeDateTime(2021, 3, 4, 10, 0, 2, 0));
  ASSERT_TRUE(SetLocalWriteTime(file, 2004, 1, 19, 23, 59, 58));
  EXPECT_EQ(FileStampOf(file), EncodeDateTime(2004, 1, 19, 23, 59, 58, 0));
}

TEST_F(InstUtilsTest, FileStampOfMissingFileIsNow) {
  fixedNow = EncodeDateTime(2030, 6, 7, 8, 9, 10, 0);
  NowHook = &FixedNow;
  EXPECT_EQ(FileStampOf(dir_ + L"missing.txt"), fixedNow);
  NowHook = &SystemNow;
  // The real clock: within a minute of the platform's own local time.
  SYSTEMTIME st;
  GetLocalTime(&st);
  const TDateTime now = EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0);
  EXPECT_NEAR(FileStampOf(dir_ + L"missing.txt"), now, 60.0 / 86400.0);
}

// ---- folder creation and logging ----

TEST_F(InstUtilsTest, MakeFolderChainLogsOutermostFirst) {
  const WideString a = dir_ + L"A\\";
  const WideString b = a + L"B b\\";
  const WideString c = b + L"C\xE9\\";  // é
  MakeFolderChain(c);
  EXPECT_TRUE(IsExistingFolder(a));
  EXPECT_TRUE(IsExistingFolder(b));
  EXPECT_TRUE(IsExistingFolder(c));
  const std::vector<std::string> expected = {"Made Dir: " + U(a), "Made Dir: " + U(b), "Made Dir: " + U(c)};
  EXPECT_EQ(Lines(), expected);
  EXPECT_NE(Lines()[2].find("C\xC3\xA9\\"), std::string::npos);  // UTF-8 in the log
  // Again, or in other letter case: nothing is created, nothing logged.
  MakeFolderChain(c);
  MakeFolderChain(dir_ + L"a\\b B\\");
  MakeFolderChain(dir_);
  EXPECT_EQ(Lines(), expected);
}

TEST_F(InstUtilsTest, MakeFolderChainWithoutTrailingBackslash) {
  MakeFolderChain(dir_ + L"X\\Y");
  EXPECT_TRUE(IsExistingFolder(dir_ + L"X\\Y"));
  const std::vector<std::string> expected = {"Made Dir: " + U(dir_) + "X\\", "Made Dir: " + U(dir_) + "X\\Y"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(InstUtilsTest, MakeFolderChainWhileSuspendedLogsNothing) {
  SuspendLog();
  MakeFolderChain(dir_ + L"S\\T\\");
  ResumeLog();
  EXPECT_TRUE(IsExistingFolder(dir_ + L"S\\T\\"));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(InstUtilsTest, MakeFolderChainFailureIsQuietAndNotLogged) {
  // A file stands where a folder should go: the folder cannot be made.
  ASSERT_TRUE(WriteRaw(dir_ + L"blocker", "x"));
  MakeFolderChain(dir_ + L"blocker\\inner\\");
  EXPECT_FALSE(IsExistingFolder(dir_ + L"blocker\\inner\\"));
  EXPECT_TRUE(Lines().empty());
  // A relative path with no folder part creates nothing in the test folder either.
  MakeFolderChain(W(""));
  EXPECT_TRUE(Lines().empty());
}

TEST_F(InstUtilsTest, LogLineSuspensionAndDuplicates) {
  LogLine("File Copy: C:\\A\\qvw.exe");
  LogLine("FILE COPY: c:\\a\\QVW.EXE");  // same line in other letter case
  LogLine("File Copy: C:\\A\\qvw.exe");
  SuspendLog();
  SuspendLog();
  LogLine("File Copy: C:\\A\\one.txt");
  ResumeLog();
  LogLine("File Copy: C:\\A\\two.txt");  // still suspended once
  ResumeLog();
  EXPECT_EQ(LogSuspendCount, 0);
  LogLine("Made Dir: C:\\A\\");
  const std::vector<std::string> expected = {"File Copy: C:\\A\\qvw.exe", "Made Dir: C:\\A\\"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(InstUtilsTest, LogLineKeepsLinesLoadedFromEarlierLog) {
  // A log from an earlier installation is extended, each line kept once.
  const WideString file = dir_ + L"Install.log";
  ASSERT_TRUE(WriteRaw(file, "Made Dir: C:\\Q\\\r\nFile Copy: C:\\Q\\qvw.exe\r\n"));
  log_->LoadLinesFromFile(file);
  LogLine("made dir: c:\\q\\");
  LogLine("File Copy: C:\\Q\\License.txt");
  const std::vector<std::string> expected = {"Made Dir: C:\\Q\\", "File Copy: C:\\Q\\qvw.exe",
                                             "File Copy: C:\\Q\\License.txt"};
  EXPECT_EQ(Lines(), expected);
}

TEST_F(InstUtilsTest, LogLineWithoutListDoesNothing) {
  LogList = nullptr;
  LogLine("File Copy: x");
  MakeFolderChain(dir_ + L"NoList\\");
  EXPECT_TRUE(IsExistingFolder(dir_ + L"NoList\\"));
  LogList = log_;
  EXPECT_TRUE(Lines().empty());
}

// ---- writing ----

TEST_F(InstUtilsTest, SaveBytesToFile) {
  const WideString file = dir_ + L"install_stamp";
  const std::string eight("\x01\x00\x02\x00\xFF\x10\x20\x30", 8);
  SaveBytesToFile(file, eight);
  EXPECT_EQ(ReadRaw(file), eight);
  // Replacing a longer file leaves only the new bytes.
  ASSERT_TRUE(WriteRaw(file, std::string(100, 'z')));
  SaveBytesToFile(file, eight);
  EXPECT_EQ(ReadRaw(file), eight);
  // No bytes: an empty file.
  SaveBytesToFile(dir_ + L"Quorvale.ini", AnsiString());
  EXPECT_TRUE(IsExistingFile(dir_ + L"Quorvale.ini"));
  EXPECT_EQ(ReadRaw(dir_ + L"Quorvale.ini"), "");
  // A missing folder: nothing is written, nothing raised.
  SaveBytesToFile(dir_ + L"missing\\x", eight);
  EXPECT_FALSE(IsExistingFile(dir_ + L"missing\\x"));
  EXPECT_TRUE(Lines().empty());
}

// ---- shortcuts ----

TEST_F(InstUtilsTest, CreateShortcutReadsBackThroughTheShell) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  const WideString program = dir_ + L"Program\\";
  ASSERT_TRUE(CreateDirectoryW(program.c_str(), nullptr));
  const WideString target = program + L"qvw.exe";
  ASSERT_TRUE(WriteRaw(target, "MZ"));
  const WideString menu = dir_ + L"Menu\\Programs\\";
  const WideString link = menu + L"Quorvale Word Processor.lnk";
  const WideString description = W("Textverarbeitung f\xC3\xBCr alle");
  EXPECT_TRUE(CreateShortcut(link, target, WithoutTrailingSeparator(program), description));
  EXPECT_TRUE(IsExistingFile(link));

  const std::vector<std::string> expected = {"Made Dir: " + U(dir_) + "Menu\\",
                                             "Made Dir: " + U(menu), "File Copy: " + U(link)};
  EXPECT_EQ(Lines(), expected);

  IShellLinkW* shell = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&shell))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  ASSERT_TRUE(SUCCEEDED(file->Load(link.c_str(), STGM_READ)));
  wchar_t text[MAX_PATH] = {};
  ASSERT_TRUE(SUCCEEDED(shell->GetPath(text, MAX_PATH, nullptr, 0)));
  EXPECT_TRUE(EqualIgnoringCase(text, target)) << U(text);
  text[0] = 0;
  ASSERT_TRUE(SUCCEEDED(shell->GetWorkingDirectory(text, MAX_PATH)));
  EXPECT_TRUE(EqualIgnoringCase(text, WithoutTrailingSeparator(program))) << U(text);
  text[0] = 0;
  ASSERT_TRUE(SUCCEEDED(shell->GetDescription(text, MAX_PATH)));
  EXPECT_EQ(WideString(text), description);
  file->Release();
  shell->Release();

  // Saving again over the same path adds no second log line.
  CreateShortcut(link, target, WithoutTrailingSeparator(program), description);
  EXPECT_EQ(Lines(), expected);
  CoUninitialize();
}

TEST_F(InstUtilsTest, CreateShortcutIntoUnmakeableFolderLogsNothing) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  ASSERT_TRUE(WriteRaw(dir_ + L"blocker", "x"));
  const WideString link = dir_ + L"blocker\\App.lnk";
  EXPECT_FALSE(CreateShortcut(link, dir_ + L"qvw.exe", WithoutTrailingSeparator(dir_), W("d")));
  EXPECT_FALSE(IsExistingFile(link));
  EXPECT_TRUE(Lines().empty());
  CoUninitialize();
}

// ---- folder picker ----

// Presses a button of the folder picker once it shows up on the given thread; with a selection text, only
// once the picker's tree has selected that item (it expands to the starting folder asynchronously).
class TPickerDriver {
 public:
  TPickerDriver(DWORD thread, int button, WideString selection = WideString())
      : thread_(thread), button_(button), selection_(std::move(selection)) {
    worker_ = std::thread([this] { Run(); });
  }
  ~TPickerDriver() {
    stop_ = true;
    worker_.join();
  }
  bool Pressed() const { return pressed_; }
  bool SelectionSeen() const { return selectionSeen_; }

 private:
  static BOOL CALLBACK Find(HWND window, LPARAM data) {
    wchar_t cls[64] = {};
    GetClassNameW(window, cls, 64);
    if (IsWindowVisible(window) && WideString(cls) == L"#32770") {
      *reinterpret_cast<HWND*>(data) = window;
      return FALSE;
    }
    return TRUE;
  }
  static WideString SelectedItem(HWND dialog) {
    HWND tree = FindWindowExW(dialog, nullptr, L"SysTreeView32", nullptr);
    if (!tree) return WideString();
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!item) return WideString();
    wchar_t text[MAX_PATH] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
  }
  void Run() {
    // Generous waits: on a loaded machine the picker can take many seconds to show, and a driver that gave
    // up would leave the modal picker open for ever.
    HWND dialog = nullptr;
    for (int i = 0; i < 1200 && !stop_ && !dialog; ++i) {
      EnumThreadWindows(thread_, &Find, reinterpret_cast<LPARAM>(&dialog));
      if (!dialog) Sleep(100);
    }
    if (!dialog) return;
    for (int i = 0; i < 100 && !selectionSeen_; ++i) {
      if (selection_.empty() || SelectedItem(dialog) == selection_)
        selectionSeen_ = true;
      else
        Sleep(100);
    }
    // Pressed even when the selection never came, so that the test fails instead of hanging; again while
    // the picker is still there, in case it was not ready for the first press.
    Sleep(200);
    for (int i = 0; i < 100 && IsWindow(dialog); ++i) {
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED), 0);
      pressed_ = true;
      Sleep(300);
    }
  }
  DWORD thread_;
  int button_;
  WideString selection_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> pressed_{false};
  std::atomic<bool> selectionSeen_{false};
  std::thread worker_;
};

TEST_F(InstUtilsTest, BrowseForFolderOpensAtPathAndReturnsChoice) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  // A folder the picker's tree shows: the temporary folder lies below a hidden one.
  const WideString visible = L"C:\\qv picker test";
  RemoveTree(visible);
  ASSERT_TRUE(CreateDirectoryW(visible.c_str(), nullptr));
  const WideString chosen = visible + L"\\Pick Me";
  ASSERT_TRUE(CreateDirectoryW(chosen.c_str(), nullptr));
  WideString path;
  bool result = false, seen = false;
  // Wine's picker sometimes drops the initial selection while it fills its tree; a broken callback would
  // never select the folder, so a few attempts still tell the two apart.
  for (int attempt = 0; attempt < 4 && !seen; ++attempt) {
    path = chosen + L"\\";
    TPickerDriver driver(GetCurrentThreadId(), IDOK, L"Pick Me");
    result = BrowseForFolder(path, nullptr);
    EXPECT_TRUE(driver.Pressed());
    seen = driver.SelectionSeen();
  }
  EXPECT_TRUE(seen);
  EXPECT_TRUE(result);
  // OK without touching the tree: the choice is the folder the picker was opened at.
  EXPECT_TRUE(EqualIgnoringCase(path, chosen)) << U(path);
  RemoveTree(visible);
  OleUninitialize();
}

TEST_F(InstUtilsTest, BrowseForFolderCancelLeavesPath) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  WideString path = dir_;
  bool result;
  {
    TPickerDriver driver(GetCurrentThreadId(), IDCANCEL);
    result = BrowseForFolder(path, nullptr);
    EXPECT_TRUE(driver.Pressed());
  }
  EXPECT_FALSE(result);
  EXPECT_EQ(path, dir_);
  OleUninitialize();
}

TEST(ProcessState, DefaultsOfTheSetupProgram) {
  EXPECT_FALSE(SilentMode);
  EXPECT_EQ(ExitCode, 0);
  EXPECT_EQ(LogSuspendCount, 0);
  EXPECT_STREQ(MadeDirPrefix, "Made Dir: ");
  EXPECT_STREQ(FileCopyPrefix, "File Copy: ");
}

}  // namespace
