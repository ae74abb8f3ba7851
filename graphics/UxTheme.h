// The platform's theme library, uxtheme.dll, bound at run time: the program also runs where it is missing.
// Loaded from the system folder only. May call the platform (kernel32) and SystemLibrary.
#pragma once
#include <windows.h>
#include <uxtheme.h>

using TOpenThemeData = HTHEME(WINAPI*)(HWND window, LPCWSTR classList);
using TCloseThemeData = HRESULT(WINAPI*)(HTHEME theme);
using TDrawThemeBackground = HRESULT(WINAPI*)(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                              const RECT* clip);
using TIsThemeBackgroundPartiallyTransparent = BOOL(WINAPI*)(HTHEME theme, int part, int state);
using TIsThemeActive = BOOL(WINAPI*)();
using TDrawThemeParentBackground = HRESULT(WINAPI*)(HWND window, HDC dc, const RECT* rect);

// The library and its six entry points; each is null until bound, and stays null when the library or
// that entry point is missing.
struct TThemeLibrary {
  HMODULE Module;
  TOpenThemeData OpenThemeData;
  TCloseThemeData CloseThemeData;
  TDrawThemeBackground DrawThemeBackground;  // bound, not called
  TIsThemeBackgroundPartiallyTransparent IsThemeBackgroundPartiallyTransparent;  // bound, not called
  TIsThemeActive IsThemeActive;
  TDrawThemeParentBackground DrawThemeParentBackground;
};

// Process-wide.
extern TThemeLibrary ThemeLibrary;

// Loads "uxtheme.dll" from the system folder and fills `library` (all null when it is absent).
void BindThemeLibrary(TThemeLibrary& library);

// How LoadThemeLibrary binds: BindThemeLibrary, unless a test puts another binder here to make the library
// look absent or to watch its calls.
using TThemeBinder = void (*)(TThemeLibrary& library);
extern TThemeBinder ThemeBinder;

// Binds ThemeLibrary afresh through ThemeBinder; answers whether the library is there. Never freed.
bool LoadThemeLibrary();

// The library is bound and reports visual styles in force.
bool CheckThemesActive();
