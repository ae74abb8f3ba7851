// Loading platform libraries from the system folder only.
#include "SystemLibrary.h"

#include <cwchar>
#include <string>

namespace {

HMODULE Kernel32() { return GetModuleHandleW(L"kernel32.dll"); }

// The LOAD_LIBRARY_SEARCH_* flags exist where AddDllDirectory does (Windows 8, or 7 with KB2533623);
// elsewhere LoadLibraryExW refuses them with ERROR_INVALID_PARAMETER.
bool SearchFlagsSupported() { return GetProcAddress(Kernel32(), "AddDllDirectory") != nullptr; }

std::wstring SystemFolder() {
  const UINT needed = GetSystemDirectoryW(nullptr, 0);  // with the NUL
  if (needed == 0) return std::wstring();
  std::wstring folder(needed, L'\0');
  const UINT length = GetSystemDirectoryW(&folder[0], needed);
  if (length == 0 || length >= needed) return std::wstring();
  folder.resize(length);
  return folder;
}

}  // namespace

HMODULE LoadSystemLibrary(const wchar_t* name) {
  // A path would let the caller step out of the system folder.
  if (!name || !*name || std::wcspbrk(name, L"\\/:")) return nullptr;
  if (SearchFlagsSupported()) {
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  }
  const std::wstring folder = SystemFolder();
  if (folder.empty()) return nullptr;
  std::wstring path = folder;
  if (path.back() != L'\\') path += L'\\';
  path += name;
  // The library's own dependencies are then looked for beside it first, in the system folder.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool RestrictLibrarySearch() {
  using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD flags);
  using TSetDllDirectory = BOOL(WINAPI*)(LPCWSTR folder);
  const HMODULE kernel = Kernel32();
  bool systemOnly = false;
  if (const auto setDefault = reinterpret_cast<TSetDefaultDllDirectories>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories"))))
    systemOnly = setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  // An empty string takes the current folder out of the standard search order (XP SP1 and later).
  if (const auto setDirectory =
          reinterpret_cast<TSetDllDirectory>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW"))))
    setDirectory(L"");
  return systemOnly;
}
