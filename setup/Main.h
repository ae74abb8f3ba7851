// The wizard: its form with the page machine, and its logic without the window: the command-line switches,
// the destination rules, the install steps of the Installing, Finish and closing pages, the remembered
// settings and the program-end saving.
// May call the languages, the payload catalogue, the install utilities, the registry wrapper, the framework,
// the standard controls and the platform.
#pragma once
#include <cstdint>
#include <vector>

#include "framework/Classes.h"
#include "framework/Forms.h"
#include "install/AttachFiles.h"

class TPanel;
class TLabel;
class TImage;
class TComboBox;
class TMemo;
class TCheckBox;
class TEdit;
class TButton;
class TBitmap;

// What the install steps need of the wizard: its choices, read afresh at every step, and the page machine.
// The wizard form implements it; tests and the headless run implement it with plain flags.
class TInstallHost {
 public:
  virtual ~TInstallHost() = default;
  virtual bool IsPortable() = 0;       // PortChkBx checked
  virtual bool InstallForAll() = 0;    // Inst2AllChkBx checked: shortcuts for all users
  virtual bool DesktopShortcut() = 0;  // DskChkBx checked
  virtual bool LaunchAfter() = 0;      // FinChkBx checked: start the program after Finish
  // Enter a page as the wizard's ShowPage does (its entry step, display, silent auto-advance). The install
  // run calls it with page 5 once the files are written.
  virtual void ShowPage(uint8_t page) = 0;
  // End the wizard's modal run with this result: 1 finished, 2 failed or cancelled.
  virtual void CloseWizard(int32_t modalResult) = 0;
  // Between two files of the install run: lets a shown window paint its progress.
  virtual void KeepPainted() {}
};

enum class TAppFolderKind : uint8_t { Shared = 0, Hidden = 1, Public = 2 };

// ---- wizard state ----
extern TAttachedFiles* AttachedFiles;  // the payload catalogue, created at start-up, lives until the end
extern WideString MainDir;             // the program folder, no trailing backslash
extern bool InstallStarted;            // the install run began queueing files; never cleared
extern bool CloseAllowed;              // the close query asks nothing; set by the failure path and page 6
extern bool PreviousInstall;           // the remembered-settings key existed at start: skip the licence page
extern TDateTime InstallStamp;         // local date and time at which the files were queued

extern const char* const InstallKeyPath;    // per user, below HKEY_CURRENT_USER
extern const char* const UninstallKeyPath;  // per machine, below HKEY_LOCAL_MACHINE
extern const char* const AppVersion;        // "4.4.5.5"

// ---- command line ----
// The silent switch: a parameter whose first two characters are "-S", "/S", "-s" or "/s".
bool IsSilentSwitch(const WideString& param);
// The destination switch: "-" or "/", then a character that upper-cases to "D" in the user's locale; folder
// receives the rest (possibly empty).
bool IsDestinationSwitch(const WideString& param, WideString& folder);
// Parameters 1 to n of the process as the runtime split them (the program path excluded).
std::vector<WideString> CommandLineParams();
// Examines the parameters from the last to the first.
bool FindSilentSwitch(const std::vector<WideString>& params);
// From the last to the first, every match replacing folder, so the first on the line wins. False: none.
bool FindDestinationSwitch(const std::vector<WideString>& params, WideString& folder);

// ---- destination ----
// JoinPath(MainDir, name).
WideString MainDirFile(const AnsiString& name);
// The program-files folder joined with "Quorvale".
WideString DefaultMainDir();
// MainDir := DefaultMainDir() when it is empty or not an existing folder.
void ApplyDefaultFolder();
// The destination text cleaned as the Destination page does it: blanks trimmed, one trailing backslash
// dropped, a text without drive part replaced by programFiles, a bare folder or programFiles itself joined
// with "Quorvale".
WideString NormalizeDestinationText(const WideString& text, const WideString& programFiles);
// The same against the platform's program-files folder.
WideString NormalizeDestinationText(const WideString& text);
// The folder holds the portable marker Quorvale.ini (a file): the wizard locks its portable box on.
bool HoldsPortableCopy(const WideString& folder);
// A portable copy may not go below the program-files folder.
bool IsPortableRefused(const WideString& folder);
// The form the platform gives a folder path: separators as "\", "." and ".." resolved, empty names and
// the trailing dots and blanks of each name dropped, one trailing separator kept. The drive or
// \\server\share root stays as written.
WideString CanonicalFolderText(const WideString& path);
// The longest destination whose every file stays within the classic path limit (MAX_PATH).
int32_t MaxDestinationLength(bool portable);
// True when the destination fits the limit; otherwise the user is told the limit (silent: ExitCode 2).
bool AcceptDestination(const WideString& folder, bool portable);

// ---- the run ----
// True for a valid payload; otherwise the user is told to download the setup program again (silent: no
// message) and ExitCode is 2.
bool CheckPayload();
// Enters a wizard page for the entry; an exception that ends the walk sets ExitCode 2 when it is still 0.
void RunPageWalk(TInstallHost& host, uint8_t page);

// ---- install steps ----
// True when a top-level window carries the word processor's property "1.x Velso Marn".
bool IsProgramRunning();
// The shared data folder of a kind, with a trailing backslash, created on disk (its "Made Dir: " lines go to
// the log). In a portable install every kind is MainDir.
WideString GetAppFolder(TAppFolderKind kind, bool portable);
// Fills the catalogue's queue and PublicFiles; in a normal install stamps the installation.
void QueueFiles(bool portable);
// The 16 upper-case hexadecimal digits of the stamp's 8 bytes in memory order.
AnsiString StampDigits(TDateTime stamp);
// Merges an installation's sorted public files under its stamp line into the lines of an old Update.log.
void MergeUpdateLog(TStringList& lines, const TStringList& publicFiles, const AnsiString& stampLine);
// Merges this installation's public files into Update.log in the shared folder (normal installs only).
void WriteUpdateLog();

// Page 4, before display: false refuses the move (the running word processor).
bool CheckInstallingPage(TInstallHost& host);
// Page 4, after display: queues and writes the payload, then enters page 5 or closes the wizard with 2.
void RunInstall(TInstallHost& host);
// Page 5, before display: the portable marker or the shortcuts.
void EnterFinishPage(TInstallHost& host);
// Page 6: Update.log, the program's start when asked, closing with 1.
void EnterClosingPage(TInstallHost& host);

// ---- remembered settings ----
struct TRememberedSettings {
  bool InstallToAll = true;
  bool DesktopShortcut = true;
  bool Launch = true;
  AnsiString UILangCode;  // empty when not remembered
};
// Sets PreviousInstall and, where remembered, MainDir; fills settings (defaults where absent).
void ReadRememberedSettings(TRememberedSettings& settings);
// Reads the remembered settings, then chooses the start-up language with the remembered code.
void LoadStartSettings(TRememberedSettings& settings);
// Writes the remembered settings and, unless portable, the uninstall entry.
void SaveSettings(TInstallHost& host);
// The program end: after a started, non-portable install, save the settings and Install.log; any
// exception on the way is swallowed.
void SaveAtProgramEnd(TInstallHost& host);

// ---- the wizard form ----

extern uint8_t CurrentPage;   // the page shown, 0 at start
extern bool LicenseLoaded;    // the licence text was looked for once

// The classes the form resource names, registered with the form reader.
void RegisterWizardClasses();

// The wizard, read from the resource "TMAINFORM". Six pages share one rectangle; Back and Next share BNClick.
class TMainForm : public TForm, public TInstallHost {
  DESCRIBE_CLASS(TMainForm, TForm);

  // Back and Next: one page back or forward; a reinstallation skips the licence page both ways.
  void BNClick(TObject* sender);
  void CancelBtnClick(TObject* sender);
  // Re-captions every control in the chosen language.
  void LngBoxChange(TObject* sender);
  void BwsBtnClick(TObject* sender);
  void PortInfBtnClick(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);

  void FillLanguageBox();
  // Cleans the destination text and locks the portable box on when the folder holds a portable copy.
  void NormalizeDestination();

  bool IsPortable() override;
  bool InstallForAll() override;
  bool DesktopShortcut() override;
  bool LaunchAfter() override;
  // The entry step of the page (which may refuse the move), then its display.
  void ShowPage(uint8_t page) override;
  void CloseWizard(int32_t modalResult) override { ModalResult = modalResult; }
  void KeepPainted() override;

  TPanel* TopPanel = nullptr;
  TLabel* TopLbl = nullptr;
  TImage* LogoImg = nullptr;
  TPanel* WPanel = nullptr;
  TLabel* WelLbl = nullptr;
  TLabel* LngLbl = nullptr;
  TComboBox* LngBox = nullptr;
  TPanel* LPanel = nullptr;
  TMemo* LicMemo = nullptr;
  TCheckBox* LicChkBx = nullptr;
  TPanel* DPanel = nullptr;
  TEdit* DestEdt = nullptr;
  TButton* BwsBtn = nullptr;
  TCheckBox* PortChkBx = nullptr;
  TButton* PortInfBtn = nullptr;
  TPanel* SPanel = nullptr;
  TLabel* StartLbl = nullptr;
  TCheckBox* Inst2AllChkBx = nullptr;
  TCheckBox* DskChkBx = nullptr;
  TPanel* IPanel = nullptr;
  TPanel* FPanel = nullptr;
  TLabel* FinLbl = nullptr;
  TCheckBox* FinChkBx = nullptr;
  TButton* BackBtn = nullptr;
  TButton* NextBtn = nullptr;
  TButton* CancelBtn = nullptr;

  bool Constructed = false;

 protected:
  explicit TMainForm(TComponent* owner) : TForm(owner) {}
  ~TMainForm() override;
  void AfterConstruction() override;

 private:
  TBitmap* logo_ = nullptr;  // owned; LogoImg shows it
  TPanel* PagePanel(uint8_t page) const;
  void LoadLicense();
};
