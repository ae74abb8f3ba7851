// The installer's start-up without the installer: the same library restriction first thing and the same
// load-time imports, then exit. A planted DLL it loads is brought in by the platform before any program
// code runs, so the planted-DLL test does not count it against setup.exe.
#include <windows.h>
#include <shellapi.h>
#include <objbase.h>
#include "framework/SystemLibrary.h"

// With "plain" it skips the restriction and loads uxtheme.dll by bare name, as a faulty start-up would: the
// test's proof that a planted DLL beside the program does run when the search is not restricted.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR args, int) {
  if (lstrcmpW(args, L"plain") == 0) return LoadLibraryW(L"uxtheme.dll") ? 0 : 2;
  RestrictLibrarySearch();
  // One harmless call into each library setup.exe imports, so none is dropped from the import table.
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) RegCloseKey(key);
  GetStockObject(WHITE_BRUSH);
  GetSystemMetrics(SM_CXSCREEN);
  CoTaskMemFree(nullptr);
  SHFILEINFOW info{};
  SHGetFileInfoW(L".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME);
  return 0;
}
