// Process entry point: start-up, the command line, the payload catalogue, the wizard run and the program end.
// The exit code is the process result.
#include <windows.h>

#include <cstdlib>
#include <ole2.h>

#include "framework/Forms.h"
#include "framework/SystemLibrary.h"
#include "graphics/StdCtrls.h"
#include "install/InstUtils.h"
#include "setup/Main.h"

// An uncaught exception ends the program without the runtime's verbose report: that report would link the
// whole C++ name demangler into the shipped program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before anything loads a library by name: a DLL planted beside setup.exe must never be picked up.
  RestrictLibrarySearch();
  OleInitialize(nullptr);
  StartFramework();
  RegisterWizardClasses();
  SilentMode = FindSilentSwitch(CommandLineParams());
  // Every form window takes the program icon too. A silent run shows no window: the icon would be loaded
  // and handed to the display for nothing.
  if (!SilentMode) {
    ProgramIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (ProgramIcon && Application)
      SendMessageW(Application->Handle, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon));
  }
  TMainForm* form = nullptr;
  try {
    // The language first: the message about a damaged payload is shown in it too.
    TRememberedSettings settings;
    LoadStartSettings(settings);
    AttachedFiles = new TAttachedFiles;
    // A damaged or missing payload installs nothing: checked before anything is shown or written.
    if (CheckPayload()) {
      form = CreateComponent<TMainForm>(nullptr);
      if (SilentMode) {
        form->NextBtn->FireClick();  // the wizard walks every page by itself
      } else {
        SetWindowPos(Application->Handle, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        form->RunModal();
      }
    }
  } catch (...) {
    if (ExitCode == 0) ExitCode = 2;
    if (!SilentMode && Application) Application->ReportException();
  }
  if (form) {
    SaveAtProgramEnd(*form);
    FreeComponent(form);
  }
  StopFramework();
  OleUninitialize();
  return ExitCode;
}
