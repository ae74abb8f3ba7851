// Theme services over the late-bound theme library.
#include "Themes.h"

TThemeServices* ThemeServices = nullptr;

namespace {

const wchar_t* const ElementClassNames[ThemedElementCount] = {L"button"};

int32_t themeStarts = 0;

}  // namespace

TThemeServices::TThemeServices() {
  Available = LoadThemeLibrary();
  UpdateThemes();
}

TThemeServices::~TThemeServices() { CloseAllThemes(); }

void TThemeServices::UpdateThemes() {
  if (Enabled) CloseAllThemes();
  Enabled = CheckThemesActive();
}

HTHEME TThemeServices::ThemeFor(TThemedElement element) {
  if (!Enabled || element >= ThemedElementCount) return nullptr;
  HTHEME& theme = ThemeHandles[element];
  if (!theme && ThemeLibrary.OpenThemeData) theme = ThemeLibrary.OpenThemeData(nullptr, ElementClassNames[element]);
  return theme;
}

bool TThemeServices::ThemesActive() { return Available && Enabled && ThemeFor(teButton) != nullptr; }

void TThemeServices::CloseAllThemes() {
  for (HTHEME& theme : ThemeHandles) {
    if (!theme) continue;
    if (ThemeLibrary.CloseThemeData) ThemeLibrary.CloseThemeData(theme);
    theme = nullptr;
  }
}

void TThemeServices::PaintParentBackground(HWND window, HDC dc) {
  if (ThemeLibrary.DrawThemeParentBackground) ThemeLibrary.DrawThemeParentBackground(window, dc, nullptr);
}

void StartThemes() {
  if (themeStarts++ > 0) return;
  // A restart (tests) binds afresh; nothing uses the old instance between StopThemes and here.
  delete ThemeServices;
  ThemeServices = new TThemeServices;
}

void StopThemes() {
  if (themeStarts <= 0 || --themeStarts > 0) return;
  // The instance stays: controls torn down after this may still ask ThemesActive.
  ThemeServices->CloseAllThemes();
}

bool ThemesActive() { return ThemeServices && ThemeServices->ThemesActive(); }

void PaintParentBackground(HWND window, HDC dc) {
  if (ThemeServices) ThemeServices->PaintParentBackground(window, dc);
}
