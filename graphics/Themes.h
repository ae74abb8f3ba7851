// Theme services: whether visual styles are in force (decided once at start-up), the theme handles the
// controls use, and painting a parent's themed background behind a control. Calls UxTheme and the platform.
#pragma once
#include <windows.h>

#include <cstdint>

#include "framework/Classes.h"
#include "graphics/UxTheme.h"

// Element classes with a theme handle each; the index into ThemeHandles.
enum TThemedElement : uint8_t { teButton = 0 };
constexpr int ThemedElementCount = 1;

class TThemeServices : public TObject {
 public:
  // Binds the library (Available), then UpdateThemes.
  TThemeServices();
  TThemeServices(const TThemeServices&) = delete;
  TThemeServices& operator=(const TThemeServices&) = delete;
  ~TThemeServices() override;

  // Closes what is open when themes were enabled, then asks the platform again. Runs from the constructor
  // only: a later change of the platform's theme is not followed.
  void UpdateThemes();
  // The element's theme, opened on first need while themes are enabled; null otherwise or when the
  // platform refuses (the next call tries again).
  HTHEME ThemeFor(TThemedElement element);
  // Library present, themes enabled and the "button" theme open (opened on first use).
  bool ThemesActive();
  void CloseAllThemes();
  // The parent of `window` paints its background into `dc`, under the whole control. Nothing without
  // the library.
  void PaintParentBackground(HWND window, HDC dc);

  bool Available = false;  // the library was loaded
  bool Enabled = false;    // visual styles were in force at start-up
  HTHEME ThemeHandles[ThemedElementCount] = {};
};

// The single instance, from StartThemes on; kept while the process runs.
extern TThemeServices* ThemeServices;

// Unit start-up and shut-down, counted like the graphics start-up. Shut-down closes the open themes.
void StartThemes();
void StopThemes();

// For the controls: false, and nothing painted, before StartThemes.
bool ThemesActive();
void PaintParentBackground(HWND window, HDC dc);
