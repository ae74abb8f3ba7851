// Process entry point: start-up, the command line, the payload catalogue, the wizard run and the program end.
// Calls the unit Main for every install decision; the exit code is the process result.
#include <windows.h>
#include <ole2.h>

#include "framework/Forms.h"
#include "framework/SystemLibrary.h"
#include "install/InstUtils.h"
#include "setup/Languages.h"
#include "setup/Main.h"

namespace {

// Stands in for the wizard form until it exists (TEMPORARY): it starts with the choices the form would show
// (remembered options, portable when the destination holds a portable copy) and walks the Ready, Installing,
// Finish and closing pages as the form's page machine does in silent mode. Without -S the same walk runs,
// but with its message boxes shown; as there is no page to stay on, a refusal ends the run as if the user
// had then cancelled, and Finish counts as pressed at once.
class THeadlessWizard : public TInstallHost {
 public:
  explicit THeadlessWizard(const TRememberedSettings& settings)
      : forAll_(settings.InstallToAll), desktop_(settings.DesktopShortcut), launch_(settings.Launch) {}

  bool IsPortable() override { return portable_; }
  bool InstallForAll() override { return forAll_; }
  bool DesktopShortcut() override { return desktop_; }
  bool LaunchAfter() override { return launch_; }
  void CloseWizard(int32_t modalResult) override { modalResult_ = modalResult; }

  // The destination text as the Destination page holds it.
  void SetDestination(const WideString& text) {
    destText_ = text;
    NormalizeDestination();
  }

  void ShowPage(uint8_t page) override {
    if (modalResult_ != 0) return;
    switch (page) {
      case 3:
        NormalizeDestination();
        if (portable_ && IsPortableRefused(destText_)) {
          ShowMessageBox(UIText(UIPortableRefused), TMsgIcon::Information, TMsgButtons::Ok);
          return;
        }
        if (!AcceptDestination(destText_, portable_)) return;
        MainDir = destText_;
        break;
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
        break;
    }
    if (page == 4) {
      RunInstall(*this);
      return;
    }
    if (ExitCode == 0) ShowPage(static_cast<uint8_t>(page + 1));
  }

 private:
  void NormalizeDestination() {
    destText_ = NormalizeDestinationText(destText_);
    // A folder that holds a portable copy is installed as one; the box is locked on.
    if (HoldsPortableCopy(destText_)) portable_ = true;
  }

  bool portable_ = false;
  bool forAll_;
  bool desktop_;
  bool launch_;
  WideString destText_;
  int32_t modalResult_ = 0;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything loads a library by name: a DLL planted beside setup.exe must never be picked up.
  RestrictLibrarySearch();
  OleInitialize(nullptr);
  StartFramework();
  // Every form window takes the program icon too.
  ProgramIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  if (ProgramIcon && Application)
    SendMessageW(Application->Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon));

  const std::vector<WideString> params = CommandLineParams();
  SilentMode = FindSilentSwitch(params);
  AttachedFiles = new TAttachedFiles;

  TRememberedSettings settings;
  LoadStartSettings(settings);
  ApplyDefaultFolder();
  // After the default: a folder named on the command line is taken even when it does not exist yet.
  WideString folder;
  if (FindDestinationSwitch(params, folder)) MainDir = folder;

  THeadlessWizard wizard(settings);
  // A damaged or missing payload installs nothing: checked before anything is written.
  if (CheckPayload()) {
    wizard.SetDestination(MainDir);
    RunPageWalk(wizard, 3);
  }
  SaveAtProgramEnd(wizard);

  StopFramework();
  OleUninitialize();
  return ExitCode;
}
