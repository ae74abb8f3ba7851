// The wizard's seven-language text table, the start-up language choice and the one message box all
// installer messages go through. Needs only SysUtils (UTF-8 conversion) and, on Windows, user32/kernel32.
#pragma once
#include <cstdint>

#include "framework/SysUtils.h"

#ifdef _WIN32
// The window handle type as <windows.h> (STRICT) declares it; the header itself stays out of here so
// that its macros do not leak into every unit that only needs a text.
struct HWND__;
typedef HWND__* HWND;
#endif

struct TUILangInfo {
  int32_t LangID;    // a primary language number (low 10 bits) or a full language identifier
  const char* Code;  // remembered as UILANG and handed to the installed program after "-uilp "
  const char* Name;  // shown in the language combo box
};

constexpr int UILangCount = 7;
constexpr uint8_t DefaultUILang = 1;  // English
constexpr int PageCount = 7;          // wizard pages 0 to 6; page 6 is never shown

extern const TUILangInfo UILangs[UILangCount];
// Order of the languages in the combo box.
extern const uint8_t LangOrder[UILangCount];

// The current language, an index into UILangs.
extern uint8_t UILang;

// One text in every language, indexed by the language number.
using TUIText = const char* const[UILangCount];

extern TUIText UITitle;
extern TUIText UIAppName;
extern TUIText UIProductName;
extern TUIText UIDescription;
extern TUIText UIWelcome;  // FormatText with UIProductName, then EditionLabel
extern TUIText UILanguage;
extern TUIText UIAcceptLicense;
extern TUIText UIPortable;
extern TUIText UIReady;
extern TUIText UIInstallForAll;
extern TUIText UIDesktopShortcut;
extern TUIText UIFinished;  // formatted like UIWelcome
extern TUIText UILaunch;
// Indexed [page][language], so that UIText(UIPageTitle[page]) gives the title of a page.
extern const char* const UIPageTitle[PageCount][UILangCount];
extern TUIText UIMustAccept;
extern TUIText UIPortableRefused;
extern TUIText UICloseRunning;
extern TUIText UIQuitSetup;
extern TUIText UICannotCreate;  // "%s" takes the full path of the file
extern TUIText UIDamaged;      // the payload is damaged or missing: download again
extern TUIText UIPathTooLong;  // "%s" takes the longest destination path allowed
extern TUIText UIPortableHelpURL;
extern TUIText UIBack;
extern TUIText UINext;
extern TUIText UIFinish;
extern TUIText UICancel;
extern TUIText UIBrowse;

// The build's edition label: empty or beginning with a space (see BuildConfig.h).
extern const char* const EditionLabel;

// The row's text in the current language (UTF-8).
const char* UIText(TUIText& row);
// The same, converted to UTF-16 for a control, the registry or the platform.
WideString UIWideText(TUIText& row);

// Index of the language whose Code equals code exactly (case-sensitive), searched from the last
// record down; -1 when there is none.
int FindUILangCode(const AnsiString& code);
// The start-up language for a user locale and a remembered UILANG value (empty when none was
// remembered): full language identifier first, then primary language, English when neither matches;
// a known remembered code overrides the locale.
uint8_t StartUILang(uint32_t localeId, const AnsiString& rememberedCode);

enum class TMsgIcon { Information, Question, Error };
enum class TMsgButtons { Ok, YesNo, AbortRetryIgnore };

// Platform style bits of a message box: icon, buttons, always task-modal.
uint32_t MessageBoxStyle(TMsgIcon icon, TMsgButtons buttons);
// The result code passed on: 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No; anything else counts as 1 (OK).
int MessageBoxResult(int platformResult);

#ifdef _WIN32
// Sets UILang from the user's default locale and the remembered code.
void ChooseStartUILang(const AnsiString& rememberedCode);

// The message box the installer calls; tests replace it. Defaults to MessageBoxW.
using TMessageBoxFunc = int(__stdcall*)(HWND owner, const wchar_t* text, const wchar_t* caption, unsigned style);
extern TMessageBoxFunc MessageBoxHook;
// Gives the owner window: the application window once the application object exists. Set by the
// application object; null means no owner.
using TMessageBoxOwnerFunc = HWND (*)();
extern TMessageBoxOwnerFunc MessageBoxOwnerHook;

// Shows text (UTF-8) with UITitle of the current language as caption; returns MessageBoxResult.
int ShowMessageBox(const AnsiString& text, TMsgIcon icon, TMsgButtons buttons);
#endif
