// The wizard: its form and page machine, and its logic without the window: switches, destination rules,
// install steps, remembered settings.
#include "Main.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "framework/TypInfo.h"
#include "graphics/ExtCtrls.h"
#include "graphics/PNG.h"
#include "graphics/StdCtrls.h"
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
    host.KeepPainted();
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

// ---- the wizard form ----

uint8_t CurrentPage = 0;
bool LicenseLoaded = false;

void RegisterWizardClasses() {
  RegisterFormClasses({TBevel::StaticClass(), TButton::StaticClass(), TCheckBox::StaticClass(),
                       TComboBox::StaticClass(), TEdit::StaticClass(), TImage::StaticClass(), TLabel::StaticClass(),
                       TMemo::StaticClass(), TPanel::StaticClass()});
}

TClass TMainForm::StaticClass() {
  static const TFieldInfo fields[] = {
      PublishedField<&TMainForm::TopPanel>("TopPanel"),
      PublishedField<&TMainForm::TopLbl>("TopLbl"),
      PublishedField<&TMainForm::LogoImg>("LogoImg"),
      PublishedField<&TMainForm::WPanel>("WPanel"),
      PublishedField<&TMainForm::WelLbl>("WelLbl"),
      PublishedField<&TMainForm::LngLbl>("LngLbl"),
      PublishedField<&TMainForm::LngBox>("LngBox"),
      PublishedField<&TMainForm::LPanel>("LPanel"),
      PublishedField<&TMainForm::LicMemo>("LicMemo"),
      PublishedField<&TMainForm::LicChkBx>("LicChkBx"),
      PublishedField<&TMainForm::DPanel>("DPanel"),
      PublishedField<&TMainForm::DestEdt>("DestEdt"),
      PublishedField<&TMainForm::BwsBtn>("BwsBtn"),
      PublishedField<&TMainForm::PortChkBx>("PortChkBx"),
      PublishedField<&TMainForm::PortInfBtn>("PortInfBtn"),
      PublishedField<&TMainForm::SPanel>("SPanel"),
      PublishedField<&TMainForm::StartLbl>("StartLbl"),
      PublishedField<&TMainForm::Inst2AllChkBx>("Inst2AllChkBx"),
      PublishedField<&TMainForm::DskChkBx>("DskChkBx"),
      PublishedField<&TMainForm::IPanel>("IPanel"),
      PublishedField<&TMainForm::FPanel>("FPanel"),
      PublishedField<&TMainForm::FinLbl>("FinLbl"),
      PublishedField<&TMainForm::FinChkBx>("FinChkBx"),
      PublishedField<&TMainForm::BackBtn>("BackBtn"),
      PublishedField<&TMainForm::NextBtn>("NextBtn"),
      PublishedField<&TMainForm::CancelBtn>("CancelBtn")};
  static const TMethodInfo methods[] = {
      PublishedMethod<&TMainForm::BNClick>("BNClick"),
      PublishedMethod<&TMainForm::CancelBtnClick>("CancelBtnClick"),
      PublishedMethod<&TMainForm::LngBoxChange>("LngBoxChange"),
      PublishedMethod<&TMainForm::BwsBtnClick>("BwsBtnClick"),
      PublishedMethod<&TMainForm::PortInfBtnClick>("PortInfBtnClick"),
      PublishedMethod<&TMainForm::FormCloseQuery>("FormCloseQuery")};
  static const TClassInfo info = DescribeClass<TMainForm>("TMainForm", {}, methods, fields);
  return &info;
}

TMainForm::~TMainForm() { delete logo_; }

void TMainForm::AfterConstruction() {
  TForm::AfterConstruction();
  // The header stays white under visual styles too.
  TopPanel->ControlStyle = static_cast<uint16_t>((TopPanel->ControlStyle & ~ctlParentBackground) | ctlOpaque);
  for (uint8_t page = 1; page <= 5; ++page) PagePanel(page)->SetPlacementRect(WPanel->GetPlacementRect());

  // A silent run paints nothing: decoding the logo would only cost time.
  if (!SilentMode) {
    auto* logo = new TPNGImage;
    logo_ = logo;
    TResourceStream stream(nullptr, "LOGO", "PNG");
    logo->LoadFromStream(&stream);
    LogoImg->SetPicture(logo_);
  }

  TFont* titleFont = TopLbl->Font();
  titleFont->SetToolColor(0x800000);
  titleFont->SetFontHeight(-15);
  titleFont->SetFaceName("Arial");
  titleFont->SetStyle(fsBold);

  TRememberedSettings settings;
  LoadStartSettings(settings);
  DskChkBx->SetCheckedState(settings.DesktopShortcut);
  Inst2AllChkBx->SetCheckedState(settings.InstallToAll);
  FinChkBx->SetCheckedState(settings.Launch);
  // A silent run shows no caption and keeps the language chosen at start-up; the list, whose items live in
  // a window, would create that window and load the common controls for nothing (about 20 ms).
  if (!SilentMode) FillLanguageBox();

  ApplyDefaultFolder();
  // After the default: a folder named on the command line is taken even when it does not exist yet.
  WideString folder;
  if (FindDestinationSwitch(CommandLineParams(), folder)) MainDir = folder;
  DestEdt->WriteCaption(WideToUtf8(MainDir));
  NormalizeDestination();
  if (!SilentMode) ShowPage(0);
  Constructed = true;
}

TPanel* TMainForm::PagePanel(uint8_t page) const {
  TPanel* const panels[] = {WPanel, LPanel, DPanel, SPanel, IPanel, FPanel};
  return page < 6 ? panels[page] : nullptr;
}

bool TMainForm::IsPortable() { return PortChkBx->Checked(); }
bool TMainForm::InstallForAll() { return Inst2AllChkBx->Checked(); }
bool TMainForm::DesktopShortcut() { return DskChkBx->Checked(); }
bool TMainForm::LaunchAfter() { return FinChkBx->Checked(); }

void TMainForm::FillLanguageBox() {
  for (uint8_t index : LangOrder) {
    const int32_t item = LngBox->ItemList->AddWithObject(UILangs[index].Name, reinterpret_cast<void*>(index));
    if (index == UILang) LngBox->SetSelectedIndex(item);
  }
  LngBoxChange(nullptr);
}

void TMainForm::LngBoxChange(TObject*) {
  const int32_t selected = LngBox->SelectedIndex();
  if (selected >= 0) UILang = static_cast<uint8_t>(reinterpret_cast<intptr_t>(LngBox->ItemList->GetObject(selected)));
  const WideString title = UIWideText(UITitle);
  if (Application) SetWindowTextW(Application->Handle, title.c_str());
  WriteCaption(UIText(UITitle));
  TopLbl->WriteCaption(UIText(UIPageTitle[0]));
  WelLbl->WriteCaption(FormatText(UIText(UIWelcome), {UIText(UIProductName), EditionLabel}));
  LngLbl->WriteCaption(UIText(UILanguage));
  LicChkBx->WriteCaption(UIText(UIAcceptLicense));
  BwsBtn->WriteCaption(UIText(UIBrowse));
  PortChkBx->WriteCaption(UIText(UIPortable));
  // The box is as wide as its caption plus the mark; the "?" button follows its right edge.
  TControlCanvas* canvas = FormCanvas();
  canvas->Font->CopyFrom(Font());
  PortChkBx->PlaceWidth(canvas->MeasureText(AnsiString(UIText(UIPortable))).cx + PortChkBx->Height());
  canvas->DropContext();
  PortInfBtn->PlaceLeft(PortChkBx->Left() + PortChkBx->Width());
  StartLbl->WriteCaption(UIText(UIReady));
  Inst2AllChkBx->WriteCaption(UIText(UIInstallForAll));
  DskChkBx->WriteCaption(UIText(UIDesktopShortcut));
  FinLbl->WriteCaption(FormatText(UIText(UIFinished), {UIText(UIProductName), EditionLabel}));
  FinChkBx->WriteCaption(UIText(UILaunch));
  BackBtn->WriteCaption(UIText(UIBack));
  NextBtn->WriteCaption(UIText(UINext));
  CancelBtn->WriteCaption(UIText(UICancel));
}

void TMainForm::NormalizeDestination() {
  const WideString text = NormalizeDestinationText(Utf8ToWide(DestEdt->ReadCaption()));
  DestEdt->WriteCaption(WideToUtf8(text));
  if (HoldsPortableCopy(text)) {
    PortChkBx->SetCheckedState(true);
    PortChkBx->SetEnabledFlag(false);
  } else {
    PortChkBx->SetEnabledFlag(true);
  }
}

void TMainForm::LoadLicense() {
  LicMemo->ApplyReadOnly(true);
  NextBtn->SetEnabledFlag(false);
  CancelBtn->SetEnabledFlag(false);
  for (int32_t i = AttachedFiles ? AttachedFiles->EntryCount() - 1 : -1; i >= 0; --i) {
    const TAttachedFile* entry = AttachedFiles->Entry(i);
    if (!EqualIgnoringCase(entry->Name, Utf8ToWide(kLicenseFile))) continue;
    LicMemo->TextLines->SetAllText(AnsiString(reinterpret_cast<const char*>(entry->Data), entry->Size));
    break;
  }
  LicenseLoaded = true;
}

void TMainForm::ShowPage(uint8_t page) {
  TWinControl* focusTarget = nullptr;
  switch (page) {
    case 0:
      focusTarget = LngBox;
      break;
    case 1:
      if (!LicenseLoaded) LoadLicense();
      focusTarget = LicMemo;
      break;
    case 2:
      if (!LicChkBx->Checked()) {
        ShowMessageBox(UIText(UIMustAccept), TMsgIcon::Information, TMsgButtons::Ok);
        return;
      }
      focusTarget = DestEdt;
      break;
    case 3: {
      NormalizeDestination();
      const WideString destination = Utf8ToWide(DestEdt->ReadCaption());
      if (IsPortable() && IsPortableRefused(destination)) {
        ShowMessageBox(UIText(UIPortableRefused), TMsgIcon::Information, TMsgButtons::Ok);
        return;
      }
      if (!AcceptDestination(destination, IsPortable())) return;
      MainDir = destination;
      Inst2AllChkBx->SetVisibleFlag(!IsPortable());
      DskChkBx->SetVisibleFlag(!IsPortable());
      focusTarget = NextBtn;
      break;
    }
    case 4:
      if (!CheckInstallingPage(*this)) return;
      break;
    case 5:
      EnterFinishPage(*this);
      break;
    case 6:
      EnterClosingPage(*this);
      return;
    default:
      return;
  }
  BackBtn->SetVisibleFlag(page != 0);
  BackBtn->SetEnabledFlag(page < 4);
  NextBtn->SetEnabledFlag(page != 4);
  NextBtn->WriteCaption(UIText(page == 5 ? UIFinish : UINext));
  CancelBtn->SetEnabledFlag(page != 5);
  TopLbl->WriteCaption(UIText(UIPageTitle[page]));
  CurrentPage = page;
  for (uint8_t p = 0; p < 6; ++p) PagePanel(p)->SetVisibleFlag(p == page);
  if (focusTarget) focusTarget->TakeFocus();
  if (page == 4) {
    // The Installing page shows before the first file is written.
    KeepPainted();
    try {
      RunInstall(*this);
    } catch (...) {
      if (ExitCode == 0) ExitCode = 2;
      CloseAllowed = true;
      CloseWizard(2);
      throw;
    }
  } else if (SilentMode && ExitCode == 0) {
    NextBtn->FireClick();
  }
}

void TMainForm::KeepPainted() {
  if (HasWindow() && IsWindowVisible(Handle()))
    RedrawWindow(Handle(), nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TMainForm::BNClick(TObject* sender) {
  const int delta = sender == BackBtn ? -1 : 1;
  int page = CurrentPage + delta;
  if (page == 1 && PreviousInstall) page += delta;
  if (page < 0) return;
  ShowPage(static_cast<uint8_t>(page));
}

void TMainForm::CancelBtnClick(TObject*) { ModalResult = 2; }

void TMainForm::FormCloseQuery(TObject*, bool& canClose) {
  canClose = CloseAllowed || SilentMode ||
             ShowMessageBox(UIText(UIQuitSetup), TMsgIcon::Question, TMsgButtons::YesNo) == 6;
  CloseAllowed = canClose;
}

void TMainForm::BwsBtnClick(TObject*) {
  WideString folder = Utf8ToWide(DestEdt->ReadCaption());
  if (!BrowseForFolder(folder, WindowHandle())) return;
  DestEdt->WriteCaption(WideToUtf8(folder));
  NormalizeDestination();
}

void TMainForm::PortInfBtnClick(TObject*) {
  ShellExecuteW(nullptr, L"open", UIWideText(UIPortableHelpURL).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
