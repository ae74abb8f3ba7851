// File helpers shared by the Windows unit tests.
#include "FileHelpers.h"

#include <windows.h>

namespace testfiles {

void RemoveTree(const WideString& folder) {
  WideString base = folder;
  if (base.empty()) return;
  if (base.back() != L'\\') base += L'\\';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const WideString name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const WideString path = base + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  base.pop_back();
  RemoveDirectoryW(base.c_str());
}

bool WriteRaw(const WideString& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == bytes.size();
}

std::string ReadRaw(const WideString& path) {
  std::string out;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  CloseHandle(h);
  return out;
}

WideString MakeTestFolder(const wchar_t* tag) {
  static int counter = 0;
  wchar_t temp[MAX_PATH];
  if (GetTempPathW(MAX_PATH, temp) == 0) return WideString();
  WideString dir = temp;
  if (dir.back() != L'\\') dir += L'\\';
  dir += WideString(L"qv_") + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
         std::to_wstring(++counter) + L"\\";
  RemoveTree(dir);
  return CreateDirectoryW(dir.c_str(), nullptr) ? dir : WideString();
}

}  // namespace testfiles
