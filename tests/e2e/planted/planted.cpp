// Stands in for a DLL an attacker plants beside the installer under a system name: when it is ever
// loaded, it appends its own file name to the log named by QV_PLANT_LOG. Needs kernel32 only.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t log[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"QV_PLANT_LOG", log, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  wchar_t self[MAX_PATH];
  DWORD len = GetModuleFileNameW(instance, self, MAX_PATH);
  if (len == 0 || len >= MAX_PATH) return TRUE;
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  char line[MAX_PATH * 3 + 2];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, self, static_cast<int>(len), line, MAX_PATH * 3, nullptr, nullptr);
  line[bytes++] = '\n';
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(bytes), &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
