// "qvw.exe -ui [/S]": removes the copy of the word processor that it belongs to, as its Install.log records
// it. Only places the installer writes to are touched; files the user changed or added stay and are named.
// The program file itself cannot be deleted while it runs: a copy in the temporary folder finishes.
#include "Uninstall.h"

#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace {

const wchar_t kRunningProp[] = L"1.x Velso Marn";
const wchar_t kProduct[] = L"Quorvale Word Processor";
const wchar_t kInstallKey[] = L"Software\\Quorvale Word Processor\\Install";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvale Word Processor";

struct Texts {
  const char* code;
  const char* confirm;
  const char* running;
  const char* done;
  const char* kept;     // followed by the kept paths, one a line
  const char* failed;   // followed by the paths that could not be removed
  const char* outside;  // the log named places outside the installation
  const char* noRecord; // the log is missing or names nothing of the installation
};
const Texts kTexts[] = {
    {"de", "Möchten Sie Quorvale Word Processor und alle seine Komponenten entfernen?",
     "Quorvale Word Processor wird gerade ausgeführt. Bitte schließen Sie das Programm und versuchen Sie es erneut.",
     "Quorvale Word Processor wurde von Ihrem Computer entfernt.", "Diese Dateien wurden behalten:",
     "Diese Dateien konnten nicht entfernt werden:",
     "Install.log nennt Orte außerhalb der Installation; sie wurden nicht angetastet.",
     "Install.log im Programmordner fehlt oder nennt nichts zu Entfernendes; es wurde nichts entfernt. Installieren "
     "Sie Quorvale Word Processor erneut in denselben Ordner und deinstallieren Sie es dann."},
    {"en", "Do you want to remove Quorvale Word Processor and all of its components?",
     "Quorvale Word Processor is running. Please close it and try again.",
     "Quorvale Word Processor was removed from your computer.", "These files were kept:",
     "These files could not be removed:", "Install.log names places outside the installation; they were left alone.",
     "Install.log in the program folder is missing or names nothing to remove, so nothing was removed. Install "
     "Quorvale Word Processor again into the same folder, then uninstall it."},
    {"es", "¿Desea quitar Quorvale Word Processor y todos sus componentes?",
     "Quorvale Word Processor se está ejecutando. Ciérrelo e inténtelo de nuevo.",
     "Quorvale Word Processor se ha quitado de su equipo.", "Se conservaron estos archivos:",
     "No se pudieron quitar estos archivos:", "Install.log nombra lugares fuera de la instalación; no se tocaron.",
     "Install.log falta en la carpeta del programa o no nombra nada que quitar; no se quitó nada. Vuelva a instalar "
     "Quorvale Word Processor en la misma carpeta y después desinstálelo."},
    {"fr", "Voulez-vous supprimer Quorvale Word Processor et tous ses composants ?",
     "Quorvale Word Processor est en cours d'exécution. Fermez-le et réessayez.",
     "Quorvale Word Processor a été supprimé de votre ordinateur.", "Ces fichiers ont été conservés :",
     "Ces fichiers n'ont pas pu être supprimés :",
     "Install.log nomme des emplacements hors de l'installation ; ils n'ont pas été touchés.",
     "Install.log est absent du dossier du programme ou ne nomme rien à supprimer ; rien n'a été supprimé. "
     "Réinstallez Quorvale Word Processor dans le même dossier, puis désinstallez-le."},
    {"pl", "Czy chcesz usunąć Quorvale Word Processor i wszystkie jego składniki?",
     "Quorvale Word Processor jest uruchomiony. Zamknij go i spróbuj ponownie.",
     "Quorvale Word Processor został usunięty z komputera.", "Te pliki zostały zachowane:",
     "Nie można było usunąć tych plików:", "Install.log wskazuje miejsca poza instalacją; nie zostały zmienione.",
     "Brak pliku Install.log w folderze programu lub nie wskazuje on nic do usunięcia; nic nie zostało usunięte. "
     "Zainstaluj ponownie Quorvale Word Processor w tym samym folderze, a następnie go odinstaluj."},
    {"zh", "是否要删除 Quorvale Word Processor 及其所有组件？", "Quorvale Word Processor 正在运行。请关闭后重试。",
     "Quorvale Word Processor 已从您的计算机中删除。", "保留了以下文件：", "无法删除以下文件：",
     "Install.log 指向安装以外的位置；这些位置未被改动。",
     "程序文件夹中的 Install.log 缺失或未列出任何要删除的内容，因此未删除任何内容。请将 Quorvale Word Processor "
     "重新安装到同一文件夹，然后再卸载。"},
    {"zht", "是否要移除 Quorvale Word Processor 及其所有元件？", "Quorvale Word Processor 正在執行。請關閉後再試一次。",
     "Quorvale Word Processor 已從您的電腦中移除。", "保留了以下檔案：", "無法移除以下檔案：",
     "Install.log 指向安裝以外的位置；這些位置未被變更。",
     "程式資料夾中的 Install.log 遺失或未列出任何要移除的內容，因此未移除任何內容。請將 Quorvale Word Processor "
     "重新安裝到同一資料夾，然後再解除安裝。"},
};

std::wstring Wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring s(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &s[0], n);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

std::wstring Lower(std::wstring s) {
  if (!s.empty()) CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

// The language the installer remembered for this user; English when none.
const Texts& RememberedTexts() {
  wchar_t code[16] = {};
  DWORD size = sizeof code - sizeof(wchar_t);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kInstallKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD type = 0;
    if (RegQueryValueExW(key, L"UILANG", nullptr, &type, reinterpret_cast<BYTE*>(code), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
      code[0] = 0;
    RegCloseKey(key);
  }
  for (const Texts& t : kTexts)
    if (Wide(t.code) == code) return t;
  return kTexts[1];
}

BOOL CALLBACK FindRunning(HWND window, LPARAM found) {
  if (!GetPropW(window, kRunningProp)) return TRUE;
  *reinterpret_cast<bool*>(found) = true;
  return FALSE;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, path)) ? path : std::wstring();
}

// Without the printf family (std::to_wstring), which would triple the size of this program.
std::wstring Decimal(DWORD n) {
  std::wstring digits;
  do digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + n % 10)); while (n /= 10);
  return digits;
}

std::wstring WithSlash(std::wstring s) {
  if (!s.empty() && s.back() != L'\\') s += L'\\';
  return s;
}

// A full local path without "..", "." or device names: C:\... only.
bool IsPlainPath(const std::wstring& p) {
  if (p.size() < 4 || p[1] != L':' || p[2] != L'\\' || !iswalpha(p[0])) return false;
  if (p.find(L'/') != std::wstring::npos || p.find(L"\\\\") != std::wstring::npos) return false;
  size_t start = 3;
  while (start <= p.size()) {
    size_t end = p.find(L'\\', start);
    if (end == std::wstring::npos) end = p.size();
    std::wstring name = Lower(p.substr(start, end - start));
    if (name == L"." || name == L".." || name.find(L':') != std::wstring::npos) return false;
    const std::wstring stem = name.substr(0, name.find(L'.'));
    for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"com1", L"com2", L"lpt1", L"lpt2"})
      if (stem == device) return false;
    start = end + 1;
  }
  return true;
}

bool Below(const std::wstring& path, const std::wstring& folder) {
  const std::wstring f = Lower(WithSlash(folder));
  return !folder.empty() && Lower(path).compare(0, f.size(), f) == 0 && path.size() > f.size();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ULONGLONG WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

std::vector<std::wstring> ReadLogLines(const std::wstring& path) {
  std::vector<std::wstring> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return lines;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 && bytes.size() < (1u << 20))
    bytes.append(buffer, got);
  CloseHandle(file);
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') == std::string::npos) lines.push_back(Wide(line.c_str()));
    start = end + 1;
  }
  return lines;
}

void Say(bool silent, const std::wstring& text, UINT icon) {
  if (!silent) MessageBoxW(nullptr, text.c_str(), kProduct, MB_OK | icon | MB_TASKMODAL);
}

std::wstring Listed(const char* heading, const std::vector<std::wstring>& paths) {
  std::wstring text = L"\n\n" + Wide(heading);
  for (const std::wstring& p : paths) text += L"\n" + p;
  return text;
}

}  // namespace

int RunUninstall(bool silent) {
  const Texts& t = RememberedTexts();
  bool running = false;
  EnumWindows(&FindRunning, reinterpret_cast<LPARAM>(&running));
  if (running) {
    Say(silent, Wide(t.running), MB_ICONERROR);
    return 1;
  }
  if (!silent && MessageBoxW(nullptr, Wide(t.confirm).c_str(), kProduct, MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL) !=
                     IDYES)
    return 0;

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring programDir = self;
  programDir.resize(programDir.find_last_of(L'\\'));
  const std::wstring log = programDir + L"\\Install.log";
  const std::wstring shared = SpecialFolder(CSIDL_COMMON_APPDATA) + L"\\Quorvale";
  const std::wstring linkFolders[] = {SpecialFolder(CSIDL_COMMON_PROGRAMS), SpecialFolder(CSIDL_PROGRAMS),
                                      SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY), SpecialFolder(CSIDL_DESKTOPDIRECTORY)};
  // Installed files keep their stored times; the log was written after them. Anything newer was changed since.
  const ULONGLONG installed = WriteTime(log) + 2 * 10000000ULL;

  std::vector<std::wstring> files, folders, kept, failed;
  bool outside = false;
  for (const std::wstring& line : ReadLogLines(log)) {
    const bool isFile = line.compare(0, 11, L"File Copy: ") == 0;
    const bool isFolder = line.compare(0, 10, L"Made Dir: ") == 0;
    if (!isFile && !isFolder) continue;
    std::wstring path = line.substr(isFile ? 11 : 10);
    if (isFolder && !path.empty() && path.back() == L'\\') path.pop_back();
    bool allowed = IsPlainPath(path) && (Below(path, programDir) || Below(path, shared) || Lower(path) == Lower(programDir) ||
                                         Lower(path) == Lower(shared));
    if (isFile && !allowed && IsPlainPath(path) && Lower(path.substr(path.size() - 4)) == L".lnk")
      for (const std::wstring& f : linkFolders) allowed = allowed || (Below(path, f) && path.find(L'\\', WithSlash(f).size()) == std::wstring::npos);
    if (!allowed) {
      outside = true;
      continue;
    }
    (isFile ? files : folders).push_back(path);
  }

  // An installation's log always lists this program. Without it nothing can be told apart from the user's own
  // files: nothing goes, and the entry stays for an uninstall after a reinstallation.
  const std::wstring selfLower = Lower(self);
  if (std::none_of(files.begin(), files.end(), [&](const std::wstring& f) { return Lower(f) == selfLower; })) {
    std::wstring message = Wide(t.noRecord);
    if (outside) message += L"\n\n" + Wide(t.outside);
    Say(silent, message, MB_ICONERROR);
    return 2;
  }

  for (const std::wstring& f : files) {
    if (Lower(f) == selfLower) continue;  // removed by the temporary copy at the end
    if (!Exists(f)) continue;
    if (WriteTime(f) > installed) {
      kept.push_back(f);
      continue;
    }
    if (!DeleteFileW(f.c_str())) failed.push_back(f);
  }
  // The shared templates and clip-library files: Update.log lists them (a TAB may follow a path).
  const std::wstring updateLog = shared + L"\\Update.log";
  std::vector<std::wstring> emptied;  // folders that lost a file
  bool sharedLeft = false;
  for (const std::wstring& line : ReadLogLines(updateLog)) {
    if (line.empty() || line[0] == L'*') continue;
    const std::wstring path = line.substr(0, line.find(L'\t'));
    if (!IsPlainPath(path) || !Below(path, shared)) {
      outside = true;
      continue;
    }
    if (!Exists(path)) continue;
    if (WriteTime(path) > installed) {
      kept.push_back(path);
      sharedLeft = true;
    } else if (DeleteFileW(path.c_str())) {
      emptied.push_back(path.substr(0, path.find_last_of(L'\\')));
    } else {
      failed.push_back(path);
      sharedLeft = true;
    }
  }
  if (!sharedLeft) {
    DeleteFileW(updateLog.c_str());
    DeleteFileW((shared + L"\\Hidden\\install_stamp").c_str());
  }
  // Sub-folders the files were written into go when empty, up to the shared folder.
  for (std::wstring folder : emptied)
    while (Below(folder, shared) && RemoveDirectoryW(folder.c_str())) folder.resize(folder.find_last_of(L'\\'));

  const bool clean = failed.empty();
  if (clean) DeleteFileW(log.c_str());
  // Deepest first: a folder goes only when nothing is left in it.
  std::sort(folders.begin(), folders.end(), [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const std::wstring& f : folders)
    if (Lower(f) != Lower(programDir)) RemoveDirectoryW(f.c_str());

  if (clean) {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kInstallKey);
    // The product's key goes too when nothing else is in it (a key with sub-keys is refused).
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Quorvale Word Processor");
  }

  std::wstring message = Wide(clean ? t.done : t.failed);
  if (!clean) message += Listed("", failed);
  if (!kept.empty()) message += Listed(t.kept, kept);
  if (outside) message += L"\n\n" + Wide(t.outside);
  Say(silent, message, clean ? MB_ICONINFORMATION : MB_ICONERROR);

  // The running program file and its folder: a copy in the temporary folder removes them once this ends.
  if (clean) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring helper = WithSlash(temp) + L"qvw-uninstall-" + Decimal(GetCurrentProcessId()) + L".exe";
    if (CopyFileW(self, helper.c_str(), FALSE)) {
      std::wstring cmd = L"\"" + helper + L"\" -ui-finish " + Decimal(GetCurrentProcessId()) + L" \"" + programDir + L"\"";
      STARTUPINFOW si{};
      si.cb = sizeof si;
      PROCESS_INFORMATION pi{};
      if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, temp, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
      }
    }
  }
  return clean ? 0 : 2;
}

int FinishUninstall(DWORD parent, const std::wstring& programDir) {
  if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, parent)) {
    WaitForSingleObject(process, 30000);
    CloseHandle(process);
  }
  const std::wstring program = WithSlash(programDir) + L"qvw.exe";
  for (int attempt = 0; attempt < 50 && Exists(program) && !DeleteFileW(program.c_str()); ++attempt) Sleep(100);
  RemoveDirectoryW(programDir.c_str());  // only when empty
  // This copy goes at the next start of the system; nothing else can delete a running program.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return 0;
}
