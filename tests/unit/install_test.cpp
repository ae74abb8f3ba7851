// The wizard's install logic under Wine without a window: command-line switches, destination rules, the
// Update.log merge, the running-instance check, the remembered settings (read back and written, including
// PreviousInstall that skips the licence page), the program-end saving and a portable install run in a
// temporary folder, with its failure path.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "install/AttachFiles.h"
#include "install/InstUtils.h"
#include "install/Registry.h"
#include "setup/Languages.h"
#include "setup/Main.h"

#include "support/FileHelpers.h"

using namespace testfiles;

namespace {


// ---- command line ----

TEST(CommandLine, SilentSwitchLooksAtTheFirstTwoCharactersOnly) {
  for (const char* yes : {"-S", "/S", "-s", "/s", "-Silent", "/sx", "-S=1"}) EXPECT_TRUE(IsSilentSwitch(W(yes))) << yes;
  for (const char* no : {"S", "-", "", "--S", "-x", "\\S", "s-"}) EXPECT_FALSE(IsSilentSwitch(W(no))) << no;
  EXPECT_FALSE(FindSilentSwitch({}));
  EXPECT_TRUE(FindSilentSwitch({W("-DC:\\x"), W("/s")}));
  EXPECT_FALSE(FindSilentSwitch({W("-DC:\\x"), W("x")}));
}

TEST(CommandLine, DestinationSwitchTakesTheRestOfTheParameter) {
  WideString folder = W("unchanged");
  EXPECT_TRUE(IsDestinationSwitch(W("-DC:\\Apps"), folder));
  EXPECT_EQ(folder, W("C:\\Apps"));
  EXPECT_TRUE(IsDestinationSwitch(W("/dD:\\x y"), folder));
  EXPECT_EQ(folder, W("D:\\x y"));
  EXPECT_TRUE(IsDestinationSwitch(W("-D"), folder));
  EXPECT_EQ(folder, W(""));
  // Other installers' "/D=folder": the "=" only separates.
  EXPECT_TRUE(IsDestinationSwitch(W("/D=C:\\Apps\\Quorvale"), folder));
  EXPECT_EQ(folder, W("C:\\Apps\\Quorvale"));
  EXPECT_TRUE(IsDestinationSwitch(W("-d=="), folder));
  EXPECT_EQ(folder, W("="));
  folder = W("unchanged");
  for (const char* no : {"D", "-", "-S", "xD", "--D", ""}) EXPECT_FALSE(IsDestinationSwitch(W(no), folder)) << no;
  EXPECT_EQ(folder, W("unchanged"));
}

TEST(CommandLine, FirstDestinationOnTheLineWins) {
  WideString folder = W("kept");
  EXPECT_FALSE(FindDestinationSwitch({W("-S"), W("C:\\x")}, folder));
  EXPECT_EQ(folder, W("kept"));
  EXPECT_TRUE(FindDestinationSwitch({W("-DC:\\First"), W("-S"), W("/dC:\\Second")}, folder));
  EXPECT_EQ(folder, W("C:\\First"));
  // An empty first one still wins.
  EXPECT_TRUE(FindDestinationSwitch({W("/D"), W("-DC:\\Second")}, folder));
  EXPECT_EQ(folder, W(""));
}

// ---- destination ----

TEST(Destination, NormalizedAsTheDestinationPageDoes) {
  const WideString pf = W("C:\\Program Files");
  EXPECT_EQ(NormalizeDestinationText(W("  C:\\Apps\\  "), pf), W("C:\\Apps"));
  EXPECT_EQ(NormalizeDestinationText(W(""), pf), W("C:\\Program Files\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("   "), pf), W("C:\\Program Files\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("Apps\\Quorvale"), pf), W("C:\\Program Files\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("C:\\"), pf), W("C:\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("C:"), pf), W("C:\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("C:\\Program Files\\"), pf), W("C:\\Program Files\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("c:\\PROGRAM FILES"), pf), W("c:\\PROGRAM FILES\\Quorvale"));
  // Only one trailing backslash goes; the folder part that is left has no name.
  EXPECT_EQ(NormalizeDestinationText(W("D:\\Apps\\\\"), pf), W("D:\\Apps\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("\\\\server\\share"), pf), W("\\\\server\\share"));
  EXPECT_EQ(NormalizeDestinationText(W("\\\\server\\share\\Q"), pf), W("\\\\server\\share\\Q"));
  EXPECT_EQ(NormalizeDestinationText(W("\\\\server"), pf), W("C:\\Program Files\\Quorvale"));
  EXPECT_EQ(NormalizeDestinationText(W("\\Apps"), pf), W("C:\\Program Files\\Quorvale"));
  // Tabs are not blanks.
  EXPECT_EQ(NormalizeDestinationText(W("\tC:\\Apps"), pf), W("C:\\Program Files\\Quorvale"));
}

// The text that is used, remembered and logged is the folder the platform really makes.
TEST(Destination, NormalizedToThePlatformsForm) {
  const WideString pf = W("C:\\Program Files");
  const struct {
    const char* typed;
    const char* used;
  } rows[] = {
      {"C:/Apps/Quorvale", "C:\\Apps\\Quorvale"},
      {"C:/Apps/Quorvale/", "C:\\Apps\\Quorvale"},
      {"//server/share/Q", "\\\\server\\share\\Q"},
      {"C:\\QV Dots...", "C:\\QV Dots"},
      {"C:\\QV Dots. . \\Sub.", "C:\\QV Dots\\Sub"},
      {"C:\\Apps\\\\\\Q", "C:\\Apps\\Q"},
      {"C:\\Apps\\.\\Q\\..\\R", "C:\\Apps\\R"},
      {"C:\\..\\..\\Q", "C:\\Q"},
      {"C:\\...", "C:\\Quorvale"},
      {"C:\\Program Files\\.", "C:\\Program Files\\Quorvale"},
      {"C:\\Program Files\\Sub\\..", "C:\\Program Files\\Quorvale"},
      {"D:\\Apps...\\\\", "D:\\Apps\\Quorvale"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(U(NormalizeDestinationText(W(row.typed), pf)), row.used) << row.typed;
    // Normalising again changes nothing: the next run recognises the folder it remembered.
    EXPECT_EQ(U(NormalizeDestinationText(W(row.used), pf)), row.used) << row.used;
  }
}

TEST(Destination, PortableRefusedBelowTheProgramFilesFolder) {
  const WideString pf = GetSpecialFolder(0x26);
  ASSERT_FALSE(pf.empty());
  EXPECT_TRUE(IsPortableRefused(pf + W("\\Quorvale")));
  EXPECT_TRUE(IsPortableRefused(NormalizeDestinationText(W("c:\\program files\\"))));
  EXPECT_FALSE(IsPortableRefused(W("C:\\Portable\\Quorvale")));
  EXPECT_EQ(DefaultMainDir(), pf + W("\\Quorvale"));
}

TEST(Destination, DefaultFolderReplacesAnEmptyOrMissingFolder) {
  const WideString saved = MainDir;
  MainDir.clear();
  ApplyDefaultFolder();
  EXPECT_EQ(MainDir, DefaultMainDir());
  MainDir = W("C:\\no such folder\\at all");
  ApplyDefaultFolder();
  EXPECT_EQ(MainDir, DefaultMainDir());
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  MainDir = windows;
  ApplyDefaultFolder();
  EXPECT_EQ(MainDir, WideString(windows));
  MainDir = saved;
}

// ---- Update.log ----

TEST(UpdateLog, StampDigitsAreTheBytesInMemoryOrder) {
  EXPECT_EQ(StampDigits(1.0), "000000000000F03F");
  EXPECT_EQ(StampDigits(0.0), "0000000000000000");
  EXPECT_EQ(StampDigits(-2.5), "00000000000004C0");
}

std::vector<AnsiString> Lines(const TStringList& list) {
  std::vector<AnsiString> lines;
  for (int32_t i = 0; i < list.LineCount(); ++i) lines.push_back(list.GetLine(i));
  return lines;
}

void Fill(TStringList& list, std::initializer_list<const char*> lines) {
  for (const char* line : lines) list.AddLine(line);
}

struct MergeCase {
  std::initializer_list<const char*> Old;
  std::initializer_list<const char*> Public;
  std::vector<AnsiString> Expected;
};

std::vector<AnsiString> Merge(std::initializer_list<const char*> old, std::initializer_list<const char*> pub) {
  TStringList lines, publicFiles;
  Fill(lines, old);
  Fill(publicFiles, pub);
  publicFiles.SetSortedFlag(true);
  MergeUpdateLog(lines, publicFiles, "*NEW");
  return Lines(lines);
}

TEST(UpdateLog, FirstInstallationWritesItsGroupSorted) {
  TStringList publicFiles;
  Fill(publicFiles, {"C:\\P\\b.rtf\t!", "C:\\P\\A.rtf\t!"});
  publicFiles.SetSortedFlag(true);
  TStringList lines;
  MergeUpdateLog(lines, publicFiles, "*S");
  EXPECT_EQ(Lines(lines), (std::vector<AnsiString>{"*S", "C:\\P\\A.rtf\t!", "C:\\P\\b.rtf\t!"}));
}

TEST(UpdateLog, SamePayloadAgainLeavesOneStamp) {
  EXPECT_EQ(Merge({"*OLD", "C:\\P\\a.rtf\t!", "C:\\P\\b.rtf\t!"}, {"C:\\P\\a.rtf\t!", "C:\\P\\b.rtf\t!"}),
            (std::vector<AnsiString>{"*NEW", "C:\\P\\a.rtf\t!", "C:\\P\\b.rtf\t!"}));
}

TEST(UpdateLog, FilesInstalledAgainMoveToTheNewGroupIgnoringCase) {
  EXPECT_EQ(Merge({"*OLD", "C:\\P\\A.RTF\t!", "C:\\P\\keep.rtf"}, {"c:\\p\\a.rtf\t!"}),
            (std::vector<AnsiString>{"*OLD", "C:\\P\\keep.rtf", "*NEW", "c:\\p\\a.rtf\t!"}));
  // The mark is part of the line: a file listed without it stays in its old group.
  EXPECT_EQ(Merge({"*OLD", "C:\\P\\a.rtf"}, {"C:\\P\\a.rtf\t!"}),
            (std::vector<AnsiString>{"*OLD", "C:\\P\\a.rtf", "*NEW", "C:\\P\\a.rtf\t!"}));
}

TEST(UpdateLog, OfAdjacentStampsTheEarlierGoes) {
  EXPECT_EQ(Merge({"*A", "C:\\P\\x.rtf", "*B", "C:\\P\\y.rtf"}, {"C:\\P\\x.rtf"}),
            (std::vector<AnsiString>{"*B", "C:\\P\\y.rtf", "*NEW", "C:\\P\\x.rtf"}));
  EXPECT_EQ(Merge({"*A", "*B", "*C", "C:\\P\\y.rtf"}, {"C:\\P\\z.rtf"}),
            (std::vector<AnsiString>{"*C", "C:\\P\\y.rtf", "*NEW", "C:\\P\\z.rtf"}));
  EXPECT_EQ(Merge({"*A", "C:\\P\\w.rtf", "*B", "*C", "C:\\P\\y.rtf"}, {"C:\\P\\z.rtf"}),
            (std::vector<AnsiString>{"*A", "C:\\P\\w.rtf", "*C", "C:\\P\\y.rtf", "*NEW", "C:\\P\\z.rtf"}));
}

TEST(UpdateLog, BlankLinesAndATrailingStampGo) {
  EXPECT_EQ(Merge({"", "*A", "", "C:\\P\\y.rtf", "", "*B", ""}, {"C:\\P\\z.rtf"}),
            (std::vector<AnsiString>{"*A", "C:\\P\\y.rtf", "*NEW", "C:\\P\\z.rtf"}));
  EXPECT_EQ(Merge({"*A", "*B"}, {"C:\\P\\z.rtf"}), (std::vector<AnsiString>{"*NEW", "C:\\P\\z.rtf"}));
}

// ---- running instance ----

const wchar_t kRunningProperty[] = L"1.x Velso Marn";

class TMarkedWindow {
 public:
  TMarkedWindow() {
    window_ = CreateWindowExW(0, L"STATIC", L"marked", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    SetPropW(window_, kRunningProperty, reinterpret_cast<HANDLE>(1));
  }
  ~TMarkedWindow() {
    RemovePropW(window_, kRunningProperty);
    DestroyWindow(window_);
  }
  TMarkedWindow(const TMarkedWindow&) = delete;
  TMarkedWindow& operator=(const TMarkedWindow&) = delete;

 private:
  HWND window_;
};

struct BoxCall {
  int Count = 0;
  std::wstring Text;
  unsigned Style = 0;
  int Answer = IDOK;
};
BoxCall box;

int __stdcall FakeMessageBox(HWND, const wchar_t* text, const wchar_t*, unsigned style) {
  ++box.Count;
  box.Text = text;
  box.Style = style;
  return box.Answer;
}

// A wizard of plain flags that records the page machine's calls.
class TTestHost : public TInstallHost {
 public:
  bool Portable = false, ForAll = true, Desktop = true, Launch = false;
  std::vector<int> Pages;
  std::vector<int> Closes;
  bool IsPortable() override { return Portable; }
  bool InstallForAll() override { return ForAll; }
  bool DesktopShortcut() override { return Desktop; }
  bool LaunchAfter() override { return Launch; }
  void ShowPage(uint8_t page) override { Pages.push_back(page); }
  void CloseWizard(int32_t modalResult) override { Closes.push_back(modalResult); }
};

class InstallState : public ::testing::Test {
 protected:
  void SetUp() override {
    savedBox = MessageBoxHook;
    MessageBoxHook = &FakeMessageBox;
    box = BoxCall();
    savedLang = UILang;
    UILang = DefaultUILang;
    SilentMode = false;
    ExitCode = 0;
    InstallStarted = false;
    CloseAllowed = false;
    PreviousInstall = false;
    MainDir.clear();
    LogPath.clear();
  }
  void TearDown() override {
    MessageBoxHook = savedBox;
    UILang = savedLang;
    SilentMode = false;
    ExitCode = 0;
    InstallStarted = false;
    MainDir.clear();
    LogPath.clear();
  }
  TMessageBoxFunc savedBox = nullptr;
  uint8_t savedLang = 0;
};

TEST_F(InstallState, RunningWindowIsFoundByItsProperty) {
  EXPECT_FALSE(IsProgramRunning());
  {
    TMarkedWindow marked;
    EXPECT_TRUE(IsProgramRunning());
  }
  EXPECT_FALSE(IsProgramRunning());
}

TEST_F(InstallState, RunningProgramRefusesPageFour) {
  TTestHost host;
  EXPECT_TRUE(CheckInstallingPage(host));
  EXPECT_EQ(box.Count, 0);
  TMarkedWindow marked;
  EXPECT_FALSE(CheckInstallingPage(host));
  EXPECT_EQ(box.Count, 1);
  EXPECT_EQ(box.Text, UIWideText(UICloseRunning));
  EXPECT_EQ(box.Style, static_cast<unsigned>(MB_ICONINFORMATION | MB_OK | MB_TASKMODAL));
  EXPECT_EQ(ExitCode, 0);
  SilentMode = true;
  EXPECT_FALSE(CheckInstallingPage(host));
  EXPECT_EQ(box.Count, 1);
  EXPECT_EQ(ExitCode, 1);
  EXPECT_FALSE(InstallStarted);
  EXPECT_TRUE(host.Pages.empty());
  EXPECT_TRUE(host.Closes.empty());
}

// The walk of the entry: a failure that escapes it is never a success.
class TThrowingHost : public TTestHost {
 public:
  bool StartFirst = false;
  void ShowPage(uint8_t page) override {
    if (StartFirst) InstallStarted = true;
    throw Exception("disk on fire");
  }
};

TEST_F(InstallState, AnExceptionEndingTheWalkGivesExitCodeTwo) {
  for (const bool silent : {true, false}) {
    for (const bool started : {true, false}) {
      SilentMode = silent;
      ExitCode = 0;
      TThrowingHost host;
      host.StartFirst = started;
      RunPageWalk(host, 3);
      EXPECT_EQ(ExitCode, 2) << silent << started;
    }
  }
  // An exit code already set (the running program) stays.
  ExitCode = 1;
  TThrowingHost host;
  RunPageWalk(host, 3);
  EXPECT_EQ(ExitCode, 1);
  ExitCode = 0;
  TTestHost calm;
  RunPageWalk(calm, 3);
  EXPECT_EQ(ExitCode, 0);
  EXPECT_EQ(calm.Pages, std::vector<int>{3});
}

// ---- remembered settings ----

void DeleteKey(HKEY root, const char* path) { RegDeleteTreeA(root, path); }

class RememberedSettings : public InstallState {
 protected:
  void SetUp() override {
    InstallState::SetUp();
    DeleteKey(HKEY_CURRENT_USER, InstallKeyPath);
    DeleteKey(HKEY_LOCAL_MACHINE, UninstallKeyPath);
  }
  void TearDown() override {
    DeleteKey(HKEY_CURRENT_USER, InstallKeyPath);
    DeleteKey(HKEY_LOCAL_MACHINE, UninstallKeyPath);
    InstallState::TearDown();
  }
};

TEST_F(RememberedSettings, WithoutTheKeyEverythingStartsAsDefault) {
  MainDir = W("C:\\kept");
  TRememberedSettings settings;
  settings.InstallToAll = false;
  settings.UILangCode = "xx";
  ReadRememberedSettings(settings);
  EXPECT_FALSE(PreviousInstall);
  EXPECT_EQ(MainDir, W("C:\\kept"));
  EXPECT_TRUE(settings.InstallToAll);
  EXPECT_TRUE(settings.DesktopShortcut);
  EXPECT_TRUE(settings.Launch);
  EXPECT_EQ(settings.UILangCode, "");
}

TEST_F(RememberedSettings, SavedSettingsAreReadBackAndSkipTheLicencePage) {
  TTestHost host;
  host.ForAll = false;
  host.Desktop = true;
  host.Launch = false;
  MainDir = W("C:\\Apps\\Quorvale");
  UILang = static_cast<uint8_t>(FindUILangCode("fr"));
  SaveSettings(host);

  MainDir.clear();
  UILang = DefaultUILang;
  TRememberedSettings settings;
  LoadStartSettings(settings);
  EXPECT_TRUE(PreviousInstall);
  EXPECT_EQ(MainDir, W("C:\\Apps\\Quorvale"));
  EXPECT_FALSE(settings.InstallToAll);
  EXPECT_TRUE(settings.DesktopShortcut);
  EXPECT_FALSE(settings.Launch);
  EXPECT_EQ(settings.UILangCode, "fr");
  EXPECT_EQ(UILang, FindUILangCode("fr"));

  // The uninstall entry, in the language of the run.
  TRegistry reg;
  reg.SelectRoot(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.HasKey(UninstallKeyPath));
  reg.OpenOrCreateKey(UninstallKeyPath);
  EXPECT_EQ(reg.ReadText("DisplayName"), UIWideText(UIAppName));
  EXPECT_EQ(reg.ReadText("DisplayIcon"), W("C:\\Apps\\Quorvale\\qvw.exe"));
  EXPECT_EQ(reg.ReadText("UninstallString"), W("\"C:\\Apps\\Quorvale\\qvw.exe\" -ui"));
  EXPECT_EQ(reg.ReadDword("EstimatedSize"), 3072u);
  EXPECT_EQ(reg.ReadText("DisplayVersion"), W("4.4.5.5"));
  EXPECT_EQ(reg.ReadText("Publisher"), W("The Quorvale Word Processor Team"));
}

TEST_F(RememberedSettings, AbsentValuesKeepTheirDefaults) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(InstallKeyPath);
    reg.WriteFlag("DSKSHORTCUT", false);
    reg.WriteByteText("UILANG", "FR");  // not a code: case counts
  }
  MainDir = W("C:\\kept");
  TRememberedSettings settings;
  LoadStartSettings(settings);
  EXPECT_TRUE(PreviousInstall);
  EXPECT_EQ(MainDir, W("C:\\kept"));
  EXPECT_TRUE(settings.InstallToAll);
  EXPECT_FALSE(settings.DesktopShortcut);
  EXPECT_TRUE(settings.Launch);
  EXPECT_EQ(settings.UILangCode, "FR");
  EXPECT_EQ(UILang, StartUILang(GetUserDefaultLCID(), ""));
}

TEST_F(RememberedSettings, ProgramEndSavesOnlyAStartedNormalInstall) {
  TTestHost host;
  MainDir = W("C:\\Apps\\Quorvale");
  SaveAtProgramEnd(host);
  TRegistry reg;
  EXPECT_FALSE(reg.HasKey(InstallKeyPath)) << "nothing before the install started";
  InstallStarted = true;
  host.Portable = true;
  SaveAtProgramEnd(host);
  EXPECT_FALSE(reg.HasKey(InstallKeyPath)) << "nothing for a portable install";
  host.Portable = false;
  SaveAtProgramEnd(host);
  EXPECT_TRUE(reg.HasKey(InstallKeyPath));
  reg.SelectRoot(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(reg.HasKey(UninstallKeyPath));
}

// ---- a portable install run in a temporary folder ----

int CountFiles(const WideString& folder) {
  int count = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const WideString name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    count += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? CountFiles(folder + L"\\" + name) : 1;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

class PortableRun : public InstallState {
 protected:
  void SetUp() override {
    InstallState::SetUp();
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    root = WideString(temp) + L"qv-install-test-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(root);
    MainDir = root + L"\\Portable";
    AttachedFiles = new TAttachedFiles;
    ASSERT_TRUE(AttachedFiles->IsValid());
    host.Portable = true;
  }
  void TearDown() override {
    delete AttachedFiles;
    AttachedFiles = nullptr;
    delete LogList;
    LogList = nullptr;
    RemoveTree(root);
    InstallState::TearDown();
  }
  WideString root;
  TTestHost host;
};

TEST_F(PortableRun, EveryKindOfDataFolderIsTheProgramFolder) {
  LogList = new TStringList;
  for (TAppFolderKind kind : {TAppFolderKind::Shared, TAppFolderKind::Hidden, TAppFolderKind::Public})
    EXPECT_EQ(GetAppFolder(kind, true), MainDir + L"\\");
  EXPECT_TRUE(IsExistingFolder(MainDir));
  ASSERT_EQ(LogList->LineCount(), 2) << "the temporary root and the program folder were made";
  EXPECT_EQ(LogList->GetLine(1), "Made Dir: " + WideToUtf8(MainDir) + "\\");
}

TEST_F(PortableRun, InstallsBelowTheFolderAndGoesOnToPageFive) {
  RunInstall(host);
  EXPECT_TRUE(InstallStarted);
  EXPECT_TRUE(LogPath.empty());
  EXPECT_FALSE(ForceOverwrite);
  EXPECT_EQ(host.Pages, std::vector<int>{5});
  EXPECT_TRUE(host.Closes.empty());
  EXPECT_EQ(AttachedFiles->JobCount(), 100);
  EXPECT_EQ(AttachedFiles->PublicFiles.LineCount(), 0);
  EXPECT_EQ(CountFiles(MainDir), 100);
  EXPECT_TRUE(IsExistingFile(MainDir + L"\\Templates\\Letters\\Letter 1.rtf"));

  EnterFinishPage(host);
  EXPECT_TRUE(HoldsPortableCopy(MainDir));
  EnterClosingPage(host);
  EXPECT_EQ(host.Closes, std::vector<int>{1});
  EXPECT_TRUE(CloseAllowed);
  EXPECT_EQ(CountFiles(MainDir), 101) << "the marker and nothing else";
  EXPECT_EQ(ExitCode, 0);
}

TEST_F(PortableRun, FirstUnwritableFileStopsTheRun) {
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(MainDir.c_str(), nullptr));
  const WideString licence = MainDir + L"\\License.txt";
  HANDLE held = CreateFileW(licence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  SilentMode = true;
  RunInstall(host);
  CloseHandle(held);
  EXPECT_EQ(ExitCode, 2);
  EXPECT_TRUE(CloseAllowed);
  EXPECT_TRUE(InstallStarted);
  EXPECT_EQ(host.Closes, std::vector<int>{2});
  EXPECT_TRUE(host.Pages.empty());
  EXPECT_EQ(box.Count, 0);
  EXPECT_EQ(CountFiles(MainDir), 2) << "the program, then the held licence; nothing after it";
}

}  // namespace
