// Test probe for the end-to-end scripts: runs inside the test's Wine prefix and reports what the installer
// left behind (files with local times, shortcuts, registry values) or acts on its windows (message boxes,
// the word processor's window) and files (holding one locked). Output is UTF-8, one item per line.
//
//   probe folder CSIDL...            the special folders' paths
//   probe tree DIR                   every file below DIR: relative path TAB size TAB local last-write time
//   probe lnk FILE                   target, working folder, description and arguments of a shell link
//   probe reg HKCU|HKLM KEY          every value: name TAB type TAB wide size TAB ANSI size TAB data
//   probe regset HKCU|HKLM KEY NAME dword|sz VALUE
//   probe stamp FILE                 the file's bytes in hex TAB seconds between that TDateTime and now
//   probe sorted FILE FIRST          lines from FIRST (0-based) are in the locale's case-insensitive order
//   probe waitprop SECONDS           waits for a window with the running-instance property; prints its title
//   probe closeprop SECONDS          closes those windows and waits until they are gone
//   probe waitbox SECONDS            waits for a message box; prints its caption and text
//   probe click ok|abort|retry|ignore|yes|no SECONDS   clicks that button of the message box, waits until it closes
//   probe lock FILE FLAGFILE         holds FILE open without sharing until FLAGFILE exists
//   probe deflate IN OUT             compresses IN as one zlib stream (level 9) into OUT
//   probe setres EXE FILE            replaces the payload resource of EXE with FILE's bytes
// Exit code 0 on success, 1 when a wait timed out or a check failed, 2 on bad use, 3 for a missing key.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

void Out(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Line(const std::string& text) { Out(text + "\n"); }

int Usage() {
  Line("probe: bad arguments");
  return 2;
}

std::string LocalTimeText(const FILETIME& utc) {
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return buffer;
}

struct TreeItem {
  std::wstring Path;
  std::string Text;
};

void Walk(const std::wstring& base, const std::wstring& rel, std::vector<TreeItem>& items) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + rel + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Walk(base, rel + name + L"\\", items);
    } else {
      const std::string text = Narrow(rel + name) + "\t" + std::to_string(data.nFileSizeLow) + "\t" +
                               LocalTimeText(data.ftLastWriteTime);
      items.push_back({rel + name, text});
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

int Tree(const std::wstring& dir) {
  std::wstring base = dir;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  std::vector<TreeItem> items;
  Walk(base, L"", items);
  std::sort(items.begin(), items.end(), [](const TreeItem& a, const TreeItem& b) { return a.Path < b.Path; });
  for (const TreeItem& item : items) Line(item.Text);
  return 0;
}

int Folders(int argc, wchar_t** argv) {
  for (int i = 2; i < argc; ++i) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, _wtoi(argv[i]), nullptr, SHGFP_TYPE_CURRENT, path);
    Line(Narrow(path));
  }
  return 0;
}

int Link(const std::wstring& file) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return 1;
  IPersistFile* persist = nullptr;
  int rc = 1;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
    if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
      wchar_t buffer[1024];
      buffer[0] = 0;
      link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
      Line("target=" + Narrow(buffer));
      buffer[0] = 0;
      link->GetWorkingDirectory(buffer, 1024);
      Line("workdir=" + Narrow(buffer));
      buffer[0] = 0;
      link->GetDescription(buffer, 1024);
      Line("desc=" + Narrow(buffer));
      buffer[0] = 0;
      link->GetArguments(buffer, 1024);
      Line("args=" + Narrow(buffer));
      rc = 0;
    }
    persist->Release();
  }
  link->Release();
  return rc;
}

bool Root(const std::wstring& name, HKEY& root) {
  if (name == L"HKCU") root = HKEY_CURRENT_USER;
  else if (name == L"HKLM") root = HKEY_LOCAL_MACHINE;
  else return false;
  return true;
}

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_DWORD: return "REG_DWORD";
    case REG_BINARY: return "REG_BINARY";
    default: return "TYPE_" + std::to_string(type);
  }
}

int Reg(const std::wstring& rootName, const std::wstring& key) {
  HKEY root;
  if (!Root(rootName, root)) return Usage();
  HKEY h;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) {
    Line("nokey");
    return 3;
  }
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumValueW(h, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, nameLength);
  }
  for (const std::wstring& name : names) {
    DWORD type = 0, wideSize = 0, ansiSize = 0;
    RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &wideSize);
    RegQueryValueExA(h, Narrow(name).c_str(), nullptr, nullptr, nullptr, &ansiSize);
    std::vector<BYTE> data(wideSize + 2, 0);
    DWORD size = wideSize;
    RegQueryValueExW(h, name.c_str(), nullptr, nullptr, data.data(), &size);
    std::string text;
    if (type == REG_DWORD && size == 4) {
      DWORD value;
      std::memcpy(&value, data.data(), 4);
      text = std::to_string(value);
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      text = Narrow(reinterpret_cast<const wchar_t*>(data.data()));
    }
    Line(Narrow(name) + "\t" + TypeName(type) + "\t" + std::to_string(wideSize) + "\t" + std::to_string(ansiSize) +
         "\t" + text);
  }
  RegCloseKey(h);
  return 0;
}

int RegSet(int argc, wchar_t** argv) {
  if (argc != 7) return Usage();
  HKEY root;
  if (!Root(argv[2], root)) return Usage();
  HKEY h;
  if (RegCreateKeyExW(root, argv[3], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS) return 1;
  const std::wstring kind = argv[5];
  LONG status;
  if (kind == L"dword") {
    const DWORD value = wcstoul(argv[6], nullptr, 10);
    status = RegSetValueExW(h, argv[4], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  } else {
    const std::wstring value = argv[6];
    status = RegSetValueExW(h, argv[4], 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * 2));
  }
  RegCloseKey(h);
  return status == ERROR_SUCCESS ? 0 : 1;
}

double LocalNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  const ULONGLONG ticks = (ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  // FILETIME counts 100 ns from 1601-01-01; a TDateTime counts days from 1899-12-30 (109205 days later).
  return double(ticks) / 864000000000.0 - 109205.0;
}

int Stamp(const std::wstring& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  unsigned char bytes[16];
  DWORD got = 0;
  ReadFile(h, bytes, sizeof bytes, &got, nullptr);
  CloseHandle(h);
  std::string hex;
  char digit[3];
  for (DWORD i = 0; i < got; ++i) {
    std::snprintf(digit, sizeof digit, "%02X", bytes[i]);
    hex += digit;
  }
  double value = 0;
  if (got == 8) std::memcpy(&value, bytes, 8);
  char age[32];
  std::snprintf(age, sizeof age, "%.0f", (LocalNow() - value) * 86400.0);
  Line(hex + "\t" + age);
  return got == 8 ? 0 : 1;
}

std::vector<std::string> ReadLines(const std::wstring& file) {
  std::vector<std::string> lines;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return lines;
  std::string all;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
  CloseHandle(h);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    lines.push_back(all.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

int Sorted(const std::wstring& file, int first) {
  const std::vector<std::string> lines = ReadLines(file);
  int checked = 0;
  for (size_t i = static_cast<size_t>(first) + 1; i < lines.size(); ++i, ++checked) {
    const int order = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, lines[i - 1].c_str(),
                                     -1, lines[i].c_str(), -1);
    if (order == CSTR_GREATER_THAN) {
      Line("unsorted: " + lines[i - 1] + " | " + lines[i]);
      return 1;
    }
  }
  Line("sorted " + std::to_string(checked + 1));
  return 0;
}

// ---- windows ----

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                           &length))
    return std::wstring();
  return std::wstring(buffer, std::min<size_t>(length, 4095));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

struct TFind {
  bool WantBox;
  std::vector<HWND> Found;
};

BOOL CALLBACK Collect(HWND window, LPARAM data) {
  TFind& find = *reinterpret_cast<TFind*>(data);
  if (find.WantBox) {
    if (IsWindowVisible(window) && ClassOf(window) == L"#32770") find.Found.push_back(window);
  } else if (GetPropW(window, L"1.x Velso Marn")) {
    find.Found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> FindWindows(bool box) {
  TFind find{box, {}};
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&find));
  return find.Found;
}

HWND WaitFor(bool box, double seconds) {
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (true) {
    const std::vector<HWND> found = FindWindows(box);
    if (!found.empty()) return found.front();
    if (static_cast<LONG>(GetTickCount() - until) >= 0) return nullptr;
    Sleep(100);
  }
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
  if (ClassOf(child) == L"Static") {
    const std::wstring text = WindowText(child);
    if (!text.empty()) reinterpret_cast<std::vector<std::wstring>*>(data)->push_back(text);
  }
  return TRUE;
}

int WaitBox(double seconds) {
  const HWND box = WaitFor(true, seconds);
  if (!box) {
    Line("no message box");
    return 1;
  }
  std::vector<std::wstring> texts;
  EnumChildWindows(box, &CollectStatic, reinterpret_cast<LPARAM>(&texts));
  std::wstring text;
  for (const std::wstring& t : texts) text += t;
  std::replace(text.begin(), text.end(), L'\r', L'\n');
  Line("caption=" + Narrow(WindowText(box)));
  Line("text=" + Narrow(text));
  return 0;
}

int Click(const std::wstring& button, double seconds) {
  int id;
  if (button == L"ok") id = IDOK;
  else if (button == L"abort") id = IDABORT;
  else if (button == L"retry") id = IDRETRY;
  else if (button == L"ignore") id = IDIGNORE;
  else if (button == L"yes") id = IDYES;
  else if (button == L"no") id = IDNO;
  else return Usage();
  const HWND box = WaitFor(true, seconds);
  if (!box) {
    Line("no message box");
    return 1;
  }
  const HWND control = GetDlgItem(box, id);
  if (!control) {
    Line("no such button");
    return 1;
  }
  DWORD_PTR result = 0;
  SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (IsWindow(box)) {
    if (static_cast<LONG>(GetTickCount() - until) >= 0) {
      Line("message box still open");
      return 1;
    }
    Sleep(50);
  }
  return 0;
}

int WaitProp(double seconds) {
  const HWND window = WaitFor(false, seconds);
  if (!window) {
    Line("no running instance");
    return 1;
  }
  Line("title=" + Narrow(WindowText(window)));
  return 0;
}

int CloseProp(double seconds) {
  for (HWND window : FindWindows(false)) PostMessageW(window, WM_CLOSE, 0, 0);
  const DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (!FindWindows(false).empty()) {
    if (static_cast<LONG>(GetTickCount() - until) >= 0) return 1;
    Sleep(100);
  }
  return 0;
}

int Lock(const std::wstring& file, const std::wstring& flag) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Line("cannot lock");
    return 1;
  }
  Line("locked");
  while (GetFileAttributesW(flag.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(100);
  CloseHandle(h);
  Line("released");
  return 0;
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return false;
  unsigned char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  fclose(f);
  return true;
}

int Deflate(const std::wstring& in, const std::wstring& out) {
  std::vector<unsigned char> data;
  if (!ReadWholeFile(in, data)) return 1;
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<unsigned char> packed(size);
  if (compress2(packed.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK) return 1;
  FILE* f = _wfopen(out.c_str(), L"wb");
  if (!f) return 1;
  const bool ok = fwrite(packed.data(), 1, size, f) == size;
  return fclose(f) == 0 && ok ? 0 : 1;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
  reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
  return TRUE;
}

int SetRes(const std::wstring& exe, const std::wstring& file) {
  std::vector<WORD> languages;
  if (HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    EnumResourceLanguagesW(module, L"FILES", L"FILES", &AddLanguage, reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
  }
  std::vector<unsigned char> data;
  if (!ReadWholeFile(file, data)) return 1;
  HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
  if (!update) return 1;
  const WORD language = languages.empty() ? MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) : languages[0];
  const bool ok = UpdateResourceW(update, L"FILES", L"FILES", language, data.data(), static_cast<DWORD>(data.size()));
  return EndUpdateResourceW(update, !ok) && ok ? 0 : 1;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return Usage();
  CoInitialize(nullptr);
  const std::wstring command = argv[1];
  int rc = 2;
  if (command == L"folder") rc = Folders(argc, argv);
  else if (command == L"tree" && argc == 3) rc = Tree(argv[2]);
  else if (command == L"lnk" && argc == 3) rc = Link(argv[2]);
  else if (command == L"reg" && argc == 4) rc = Reg(argv[2], argv[3]);
  else if (command == L"regset") rc = RegSet(argc, argv);
  else if (command == L"stamp" && argc == 3) rc = Stamp(argv[2]);
  else if (command == L"sorted" && argc == 4) rc = Sorted(argv[2], _wtoi(argv[3]));
  else if (command == L"waitprop" && argc == 3) rc = WaitProp(_wtof(argv[2]));
  else if (command == L"closeprop" && argc == 3) rc = CloseProp(_wtof(argv[2]));
  else if (command == L"waitbox" && argc == 3) rc = WaitBox(_wtof(argv[2]));
  else if (command == L"click" && argc == 4) rc = Click(argv[2], _wtof(argv[3]));
  else if (command == L"lock" && argc == 4) rc = Lock(argv[2], argv[3]);
  else if (command == L"deflate" && argc == 4) rc = Deflate(argv[2], argv[3]);
  else if (command == L"setres" && argc == 4) rc = SetRes(argv[2], argv[3]);
  else rc = Usage();
  CoUninitialize();
  LocalFree(argv);
  return rc;
}
