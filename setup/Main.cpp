// The wizard's own logic without its window: switches, destination rules, install steps, remembered settings.
#include "Main.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

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
const char kLicenseFile[] = "License.txt";
const char kInstallLog[] = "Install.log";
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
  // "/D=folder" as other installers take it: no absolute folder starts with "=".
  folder = param.substr(param.size() > 2 && param[2] == L'=' ? 3 : 2);
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

WideString CanonicalFolderText(const WideString& path) {
  size_t rootEnd = 0;
  if (path.size() >= 2 && path[1] == L':') {
    rootEnd = 2;
  } else if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
    // \\server\share stays as written.
    const size_t serverEnd = path.find(L'\\', 2);
    rootEnd = serverEnd == WideString::npos ? path.size() : path.find(L'\\', serverEnd + 1);
    if (rootEnd == WideString::npos) rootEnd = path.size();
  }
  std::vector<WideString> names;
  size_t start = rootEnd;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == WideString::npos) end = path.size();
    WideString name = path.substr(start, end - start);
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
    } else if (name != L".") {
      // The platform drops trailing dots and blanks when it makes the folder.
      const size_t keep = name.find_last_not_of(L". ");
      name.erase(keep == WideString::npos ? 0 : keep + 1);
      if (!name.empty()) names.push_back(name);
    }
    start = end + 1;
  }
  WideString result = path.substr(0, rootEnd);
  for (const WideString& name : names) result += L"\\" + name;
  // A text that ended in a separator still names a folder part only.
  if (!names.empty() && path.size() > rootEnd && path.back() == L'\\') result += L'\\';
  return result;
}

WideString NormalizeDestinationText(const WideString& text, const WideString& programFiles) {
  const size_t first = text.find_first_not_of(L' ');
  WideString s = first == WideString::npos ? WideString() : text.substr(first, text.find_last_not_of(L' ') - first + 1);
  // "/" is a separator to the platform too; the folder chain and the remembered folder need one form.
  for (WideChar& c : s)
    if (c == L'/') c = L'\\';
  if (!s.empty() && s.back() == L'\\') s.pop_back();
  if (s.empty() || !HasDrivePart(s)) s = programFiles;
  s = CanonicalFolderText(s);
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

int32_t MaxDestinationLength(bool portable) {
  size_t longest = std::max({std::strlen(kProgramFile), std::strlen(kLicenseFile), std::strlen(kInstallLog)});
  if (portable) {
    longest = std::max(longest, std::strlen(kPortableMarker));
    for (int32_t i = 0; AttachedFiles && i < AttachedFiles->EntryCount(); ++i)
      longest = std::max(longest, AttachedFiles->Entry(i)->Name.size());
  }
  // MAX_PATH counts the NUL; one more character for the backslash before the name.
  return MAX_PATH - 2 - static_cast<int32_t>(longest);
}

bool AcceptDestination(const WideString& folder, bool portable) {
  const int32_t limit = MaxDestinationLength(portable);
  if (static_cast<int32_t>(folder.size()) <= limit) return true;
  if (SilentMode) {
    ExitCode = 2;
  } else {
    ShowMessageBox(FormatText(UIText(UIPathTooLong), {AnsiString(std::to_string(limit))}), TMsgIcon::Error,
                   TMsgButtons::Ok);
  }
  return false;
}

bool CheckPayload() {
  // A payload without the program would install nothing and call it done.
  if (AttachedFiles && AttachedFiles->IsValid()) {
    for (int32_t i = 0; i < AttachedFiles->EntryCount(); ++i)
      if (EqualIgnoringCase(AttachedFiles->Entry(i)->Name, Utf8ToWide(kProgramFile))) return true;
  }
  ExitCode = 2;
  if (!SilentMode) ShowMessageBox(UIText(UIDamaged), TMsgIcon::Error, TMsgButtons::Ok);
  return false;
}

void RunPageWalk(TInstallHost& host, uint8_t page) {
  try {
    host.ShowPage(page);
  } catch (...) {
    // Whatever was written, the run did not finish: a script must not read it as success.
    if (ExitCode == 0) ExitCode = 2;
  }
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
  AttachedFiles->SelectFiles(kLicenseFile, MainDir, omIfChanged);
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
  // One pass, so that a long log merges in time linear in its size. Files installed again leave their old
  // group; blank lines go too. Of two adjacent stamps the earlier goes: its group lost all its files, and the
  // files that follow stay under the stamp of the installation that wrote them.
  std::unordered_set<AnsiString> installed;
  for (int32_t i = 0; i < publicFiles.LineCount(); ++i) installed.insert(LineKey(publicFiles.GetLine(i)));
  std::vector<AnsiString> kept;
  kept.reserve(static_cast<size_t>(lines.LineCount()));
  for (int32_t i = 0; i < lines.LineCount(); ++i) {
    AnsiString line = lines.GetLine(i);
    if (line.empty() || installed.count(LineKey(line)) != 0) continue;
    if (IsStampLine(line) && !kept.empty() && IsStampLine(kept.back()))
      kept.back() = std::move(line);
    else
      kept.push_back(std::move(line));
  }
  if (!kept.empty() && IsStampLine(kept.back())) kept.pop_back();
  lines.Clear();
  lines.SetAllocated(static_cast<int32_t>(kept.size() + 1) + publicFiles.LineCount());
  for (const AnsiString& line : kept) lines.AddLine(line);
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
    LogPath = MainDirFile(kInstallLog);
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
    // Not reported to the user, but a run that leaves no working shortcut did not succeed.
    if (!CreateShortcut((chosen.empty() ? other : chosen) + name, MainDirFile(kProgramFile), MainDir,
                        UIWideText(UIDescription)) &&
        ExitCode == 0)
      ExitCode = 2;
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
