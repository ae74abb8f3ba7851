// The wizard's own logic without its window: switches, destination rules, install steps, remembered settings.
#include "Main.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>

#include "install/InstUtils.h"
#include "install/Registry.h"
#include "setup/Languages.h"

TAttachedFiles* AttachedFiles = nullptr;
WideString MainDir;
bool InstallStarted = false;
bool CloseAllowed = false;
bool PreviousInstall = false;
TDateTime InstallStamp = 0;

const char* const InstallKeyPath = "Software\\Quorvale Word Processor\\Install";
const char* const UninstallKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvale Word Processor";
const char* const AppVersion = "4.4.5.5";

namespace {

const wchar_t kRunningProperty[] = L"1.x Velso Marn";
const char kPortableMarker[] = "Quorvale.ini";
const char kProgramFile[] = "qvw.exe";
const char kPublisher[] = "The Quorvale Word Processor Team";
constexpr uint32_t kEstimatedSizeKB = 3072;

bool IsStampLine(const AnsiString& line) { return !line.empty() && line[0] == '*'; }

// Keeps logging suspended for one queued job that was queued while it was.
class TLogPause {
 public:
  explicit TLogPause(bool pause) : pause_(pause) {
    if (pause_) SuspendLog();
  }
  TLogPause(const TLogPause&) = delete;
  TLogPause& operator=(const TLogPause&) = delete;
  ~TLogPause() {
    if (pause_) ResumeLog();
  }

 private:
  bool pause_;
};

bool HasDrivePart(const WideString& s) {
  if (s.size() >= 2 && s[1] == L':' && ((s[0] >= L'A' && s[0] <= L'Z') || (s[0] >= L'a' && s[0] <= L'z')))
    return true;
  // \\server\share: both names non-empty.
  if (s.size() < 2 || s[0] != L'\\' || s[1] != L'\\') return false;
  const size_t serverEnd = s.find(L'\\', 2);
  return serverEnd != WideString::npos && serverEnd > 2 && serverEnd + 1 < s.size() && s[serverEnd + 1] != L'\\';
}

bool HasFileNamePart(const WideString& s) {
  const size_t last = s.find_last_of(L"\\:");
  return last == WideString::npos ? !s.empty() : last + 1 < s.size();
}

BOOL CALLBACK FindRunningWindow(HWND window, LPARAM found) {
  if (GetPropW(window, kRunningProperty) != nullptr) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

// ---- command line ----

bool IsSilentSwitch(const WideString& param) {
  return param.size() >= 2 && (param[0] == L'-' || param[0] == L'/') && (param[1] == L'S' || param[1] == L's');
}

bool IsDestinationSwitch(const WideString& param, WideString& folder) {
  if (param.size() < 2 || (param[0] != L'-' && param[0] != L'/')) return false;
  // Upper-cased in the user's locale, as the file names are.
  if (!EqualIgnoringCase(param.substr(1, 1), L"D")) return false;
  folder = param.substr(2);
  return true;
}

std::vector<WideString> CommandLineParams() {
  std::vector<WideString> params;
  // The runtime's split when it made one (a wide entry point); otherwise the shell's.
  if (__wargv) {
    for (int i = 1; i < __argc; ++i) params.emplace_back(__wargv[i]);
    return params;
  }
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return params;
  for (int i = 1; i < count; ++i) params.emplace_back(args[i]);
  LocalFree(args);
  return params;
}

bool FindSilentSwitch(const std::vector<WideString>& params) {
  bool silent = false;
  for (size_t i = params.size(); i-- > 0;)
    if (IsSilentSwitch(params[i])) silent = true;
  return silent;
}

bool FindDestinationSwitch(const std::vector<WideString>& params, WideString& folder) {
  bool found = false;
  for (size_t i = params.size(); i-- > 0;) {
    WideString candidate;
    if (IsDestinationSwitch(params[i], candidate)) {
      folder = candidate;
      found = true;
    }
  }
  return found;
}

// ---- destination ----

WideString MainDirFile(const AnsiString& name) { return JoinPath(MainDir, name); }

WideString DefaultMainDir() { return JoinPath(GetSpecialFolder(CSIDL_PROGRAM_FILES), "Quorvale"); }

void ApplyDefaultFolder() {
  if (MainDir.empty() || !IsExistingFolder(MainDir)) MainDir = DefaultMainDir();
}

WideString NormalizeDestinationText(const WideString& text, const WideString& programFiles) {
  const size_t first = text.find_first_not_of(L' ');
  WideString s = first == WideString::npos ? WideString() : text.substr(first, text.find_last_not_of(L' ') - first + 1);
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  if (s.empty() || !HasDrivePart(s)) s = programFiles;
  if (!HasFileNamePart(s) || EqualIgnoringCase(s, programFiles)) s = JoinPath(s, "Quorvale");
  return s;
}

WideString NormalizeDestinationText(const WideString& text) {
  return NormalizeDestinationText(text, GetSpecialFolder(CSIDL_PROGRAM_FILES));
}

bool HoldsPortableCopy(const WideString& folder) { return IsExistingFile(JoinPath(folder, kPortableMarker)); }

bool IsPortableRefused(const WideString& folder) {
  return BeginsIgnoringCase(folder, GetSpecialFolder(CSIDL_PROGRAM_FILES));
}

// ---- install steps ----

bool IsProgramRunning() {
  bool found = false;
  EnumWindows(&FindRunningWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

WideString GetAppFolder(TAppFolderKind kind, bool portable) {
  WideString folder;
  if (portable) {
    folder = MainDir;
    WithTrailingSeparator(folder);
  } else {
    WideString base = GetSpecialFolder(CSIDL_COMMON_APPDATA);
    if (base.empty()) base = GetSpecialFolder(CSIDL_PERSONAL);
    folder = base + L"\\Quorvale\\";
    if (kind == TAppFolderKind::Hidden) folder += L"Hidden\\";
    if (kind == TAppFolderKind::Public) folder += L"Public\\";
  }
  if (!folder.empty()) MakeFolderChain(folder);
  return folder;
}

void QueueFiles(bool portable) {
  ForceOverwrite = !portable;
  AttachedFiles->SelectFiles(kProgramFile, MainDir, omIfChanged);
  AttachedFiles->SelectFiles("License.txt", MainDir, omIfChanged);
  const WideString publicFolder = GetAppFolder(TAppFolderKind::Public, portable);
  // Shared data is not the installation's own: its folders and files stay out of Install.log.
  SuspendLog();
  AttachedFiles->SelectFiles("Templates\\", publicFolder, omIfMissing);
  AttachedFiles->SelectFiles("Clip Library\\", publicFolder, omIfMissing);
  ResumeLog();
  if (portable) return;
  InstallStamp = Now();
  const AnsiString bytes(reinterpret_cast<const char*>(&InstallStamp), sizeof InstallStamp);
  SaveBytesToFile(GetAppFolder(TAppFolderKind::Hidden, false) + L"install_stamp", bytes);
}

AnsiString StampDigits(TDateTime stamp) {
  static const char kDigits[] = "0123456789ABCDEF";
  const auto* bytes = reinterpret_cast<const uint8_t*>(&stamp);
  AnsiString digits;
  for (size_t i = 0; i < sizeof stamp; ++i) {
    digits += kDigits[bytes[i] >> 4];
    digits += kDigits[bytes[i] & 0x0F];
  }
  return digits;
}

void MergeUpdateLog(TStringList& lines, const TStringList& publicFiles, const AnsiString& stampLine) {
  // Files installed again leave their old group; blank lines go too.
  for (int32_t i = lines.LineCount() - 1; i >= 0; --i) {
    const AnsiString line = lines.GetLine(i);
    if (line.empty() || publicFiles.IndexOfLine(line) >= 0) lines.DeleteLine(i);
  }
  // Of two adjacent stamps the earlier goes: its group lost all its files, and the files that follow stay
  // under the stamp of the installation that wrote them (as the rule for a trailing stamp does).
  for (int32_t i = lines.LineCount() - 2; i >= 0; --i)
    if (IsStampLine(lines.GetLine(i)) && IsStampLine(lines.GetLine(i + 1))) lines.DeleteLine(i);
  if (lines.LineCount() > 0 && IsStampLine(lines.GetLine(lines.LineCount() - 1))) lines.DeleteLine(lines.LineCount() - 1);
  lines.AddLine(stampLine);
  for (int32_t i = 0; i < publicFiles.LineCount(); ++i) lines.AddLine(publicFiles.GetLine(i));
}

void WriteUpdateLog() {
  TStringList& publicFiles = AttachedFiles->PublicFiles;
  if (publicFiles.LineCount() == 0) return;
  publicFiles.SetSortedFlag(true);
  const WideString path = GetAppFolder(TAppFolderKind::Shared, false) + L"Update.log";
  TStringList lines;
  // Not reported. An old list that cannot be read is left as it is rather than replaced without its history.
  try {
    if (IsExistingFile(path)) lines.LoadLinesFromFile(path);
    MergeUpdateLog(lines, publicFiles, "*" + StampDigits(InstallStamp));
    lines.SaveLinesToFile(path);
  } catch (...) {
  }
}

bool CheckInstallingPage(TInstallHost& host) {
  if (!IsProgramRunning()) return true;
  if (SilentMode)
    ExitCode = 1;
  else
    ShowMessageBox(UIText(UICloseRunning), TMsgIcon::Information, TMsgButtons::Ok);
  return false;
}

void RunInstall(TInstallHost& host) {
  if (!LogList) LogList = new TStringList;
  LogList->Clear();
  const bool portable = host.IsPortable();
  LogPath.clear();
  if (!portable) {
    LogPath = MainDirFile("Install.log");
    // The log accumulates every installation into this folder; an unreadable old log is not reported.
    try {
      if (IsExistingFile(LogPath)) LogList->LoadLinesFromFile(LogPath);
    } catch (...) {
    }
  }
  InstallStarted = true;
  QueueFiles(portable);
  bool failed = false;
  for (int32_t i = 0; i < AttachedFiles->JobCount() && !failed; ++i) {
    const TFileToInstall* job = AttachedFiles->Job(i);
    TLogPause pause(!job->Logged);
    failed = !AttachedFiles->ExtractEntry(job->Source, job->Target);
  }
  if (failed) {
    if (ExitCode == 0) ExitCode = 2;
    CloseAllowed = true;
    host.CloseWizard(2);
    return;
  }
  host.ShowPage(5);
}

void EnterFinishPage(TInstallHost& host) {
  if (host.IsPortable()) {
    const WideString marker = MainDirFile(kPortableMarker);
    if (!IsExistingFile(marker)) SaveBytesToFile(marker, AnsiString());
    return;
  }
  struct TShortcutKind {
    int Common;
    int PerUser;
    bool Wanted;
  };
  const TShortcutKind kinds[] = {
      {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, true},
      {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, host.DesktopShortcut()},
  };
  const WideString name = L"\\" + Utf8ToWide(AnsiString(UIText(UIAppName)) + ".lnk");
  for (const TShortcutKind& kind : kinds) {
    const bool forAll = host.InstallForAll();
    const WideString chosen = GetSpecialFolder(forAll ? kind.Common : kind.PerUser);
    const WideString other = GetSpecialFolder(forAll ? kind.PerUser : kind.Common);
    // A previous installation with the other choice left its shortcut there.
    if (!other.empty()) DeleteFileW((other + name).c_str());
    if (!kind.Wanted) continue;
    CreateShortcut((chosen.empty() ? other : chosen) + name, MainDirFile(kProgramFile), MainDir,
                   UIWideText(UIDescription));
  }
}

void EnterClosingPage(TInstallHost& host) {
  if (!host.IsPortable()) WriteUpdateLog();
  if (!SilentMode && host.LaunchAfter()) {
    const WideString parameters = L"-uilp " + Utf8ToWide(UILangs[UILang].Code);
    ShellExecuteW(nullptr, L"open", MainDirFile(kProgramFile).c_str(), parameters.c_str(), nullptr, SW_SHOW);
  }
  CloseAllowed = true;
  host.CloseWizard(1);
}

// ---- remembered settings ----

void ReadRememberedSettings(TRememberedSettings& settings) {
  settings = TRememberedSettings();
  TRegistry reg;
  if (!reg.HasKey(InstallKeyPath)) return;
  PreviousInstall = true;
  reg.OpenOrCreateKey(InstallKeyPath);
  if (reg.HasValue("MAINDIR")) MainDir = reg.ReadText("MAINDIR");
  if (reg.HasValue("INSTALLTOALL")) settings.InstallToAll = reg.ReadFlag("INSTALLTOALL");
  if (reg.HasValue("DSKSHORTCUT")) settings.DesktopShortcut = reg.ReadFlag("DSKSHORTCUT");
  if (reg.HasValue("LAUNCH")) settings.Launch = reg.ReadFlag("LAUNCH");
  if (reg.HasValue("UILANG")) settings.UILangCode = WideToUtf8(reg.ReadText("UILANG"));
}

void LoadStartSettings(TRememberedSettings& settings) {
  ReadRememberedSettings(settings);
  ChooseStartUILang(settings.UILangCode);
}

void SaveSettings(TInstallHost& host) {
  TRegistry reg;
  reg.OpenOrCreateKey(InstallKeyPath);
  reg.WriteText("MAINDIR", MainDir);
  reg.WriteFlag("INSTALLTOALL", host.InstallForAll());
  reg.WriteFlag("DSKSHORTCUT", host.DesktopShortcut());
  reg.WriteFlag("LAUNCH", host.LaunchAfter());
  reg.WriteByteText("UILANG", UILangs[UILang].Code);
  if (host.IsPortable()) return;
  reg.SelectRoot(HKEY_LOCAL_MACHINE);
  reg.OpenOrCreateKey(UninstallKeyPath);
  const WideString program = MainDirFile(kProgramFile);
  reg.WriteText("DisplayIcon", program);
  reg.WriteText("DisplayName", UIWideText(UIAppName));
  reg.WriteByteText("DisplayVersion", AppVersion);
  reg.WriteDword("EstimatedSize", kEstimatedSizeKB);
  reg.WriteByteText("Publisher", kPublisher);
  reg.WriteText("UninstallString", L"\"" + program + L"\" -ui");
}

void SaveAtProgramEnd(TInstallHost& host) {
  if (!InstallStarted || host.IsPortable()) return;
  // Nothing here may change the outcome the user was told about.
  try {
    SaveSettings(host);
    if (LogList && !LogPath.empty()) LogList->SaveLinesToFile(LogPath);
  } catch (...) {
  }
}
