// Run-time binding of the theme library.
#include "UxTheme.h"

#include "framework/SystemLibrary.h"

TThemeLibrary ThemeLibrary{};
TThemeBinder ThemeBinder = &BindThemeLibrary;

namespace {

template <class Proc>
void Bind(HMODULE module, const char* name, Proc& proc) {
  proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void BindThemeLibrary(TThemeLibrary& library) {
  library = TThemeLibrary{};
  // The theme library may load this by bare name when it first draws; taken from the system folder now,
  // that later load finds it in memory instead of a copy planted beside the program.
  LoadSystemLibrary(L"msimg32.dll");
  library.Module = LoadSystemLibrary(L"uxtheme.dll");
  if (!library.Module) return;
  Bind(library.Module, "OpenThemeData", library.OpenThemeData);
  Bind(library.Module, "CloseThemeData", library.CloseThemeData);
  Bind(library.Module, "DrawThemeBackground", library.DrawThemeBackground);
  Bind(library.Module, "IsThemeBackgroundPartiallyTransparent", library.IsThemeBackgroundPartiallyTransparent);
  Bind(library.Module, "IsThemeActive", library.IsThemeActive);
  Bind(library.Module, "DrawThemeParentBackground", library.DrawThemeParentBackground);
}

bool LoadThemeLibrary() {
  ThemeLibrary = TThemeLibrary{};
  if (ThemeBinder) ThemeBinder(ThemeLibrary);
  return ThemeLibrary.Module != nullptr;
}

bool CheckThemesActive() {
  return ThemeLibrary.Module && ThemeLibrary.IsThemeActive && ThemeLibrary.IsThemeActive() != FALSE;
}
