// File-system and shell services of the installer.
#include "InstUtils.h"

#include "../framework/WinHandles.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cmath>
#include <unordered_set>
#include <cwchar>
#include <vector>

bool SilentMode = false;
int ExitCode = 0;

TStringList* LogList = nullptr;
WideString LogPath;
int32_t LogSuspendCount = 0;

const char* const MadeDirPrefix = "Made Dir: ";
const char* const FileCopyPrefix = "File Copy: ";

namespace {

WideString UpperCase(const WideString& s) {
  if (s.empty()) return s;
  const LCID lcid = GetUserDefaultLCID();
  const int length = static_cast<int>(s.size());
  const int needed = LCMapStringW(lcid, LCMAP_UPPERCASE, s.data(), length, nullptr, 0);
  if (needed <= 0) return s;
  WideString out(static_cast<size_t>(needed), L'\0');
  const int written = LCMapStringW(lcid, LCMAP_UPPERCASE, s.data(), length, &out[0], needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

bool FindEntry(const WideString& path, WIN32_FIND_DATAW& data) {
  if (path.empty()) return false;
  TFindHandle find(FindFirstFileW(path.c_str(), &data));
  return find.Valid();
}

// First known year of the DOS stamp and the last year the installer writes.
constexpr int kFirstDosYear = 1980;
constexpr int kLastStampYear = 2099;

}  // namespace

// ---- current time ----

TDateTime SystemNow() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

TNowFunc NowHook = &SystemNow;

TDateTime Now() { return NowHook ? NowHook() : SystemNow(); }

// ---- path text ----

void WithTrailingSeparator(WideString& path) {
  if (path.empty()) return;
  if (path.back() == L'/' || path.back() == L'\\')
    path.back() = L'\\';
  else
    path += L'\\';
}

WideString WithoutTrailingSeparator(const WideString& path) {
  if (!path.empty() && path.back() == L'\\') return path.substr(0, path.size() - 1);
  return path;
}

WideString JoinPath(const WideString& folder, const AnsiString& name) {
  WideString result = folder;
  WithTrailingSeparator(result);
  return result + Utf8ToWide(name);
}

WideString FolderPartOf(const WideString& path) {
  const size_t last = path.find_last_of(L"\\:");
  return last == WideString::npos ? WideString() : path.substr(0, last + 1);
}

bool EqualIgnoringCase(const WideString& a, const WideString& b) { return UpperCase(a) == UpperCase(b); }

bool BeginsIgnoringCase(const WideString& s, const WideString& prefix) {
  return EqualIgnoringCase(s.substr(0, prefix.size()), prefix);
}

WideString GetCurrentFolder() {
  // The directory may change between the two calls only on another thread; loop until the buffer fits.
  DWORD size = GetCurrentDirectoryW(0, nullptr);
  while (size > 0) {
    std::vector<wchar_t> buffer(size);
    const DWORD got = GetCurrentDirectoryW(size, buffer.data());
    if (got == 0) break;
    if (got < size) {
      WideString result(buffer.data(), got);
      WithTrailingSeparator(result);
      return result;
    }
    size = got;
  }
  return WideString();
}

// ---- special folders ----

WideString GetSpecialFolder(int number) {
  wchar_t buffer[MAX_PATH] = {};
  // SHGFP_TYPE_CURRENT: the folder where it is now, not its default place; no CSIDL_FLAG_CREATE.
  if (SHGetFolderPathW(nullptr, number, nullptr, SHGFP_TYPE_CURRENT, buffer) != S_OK) return WideString();
  return WideString(buffer, wcsnlen(buffer, MAX_PATH));
}

// ---- tests ----

bool IsExistingFile(const WideString& path) {
  WIN32_FIND_DATAW data;
  return FindEntry(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const WideString& path) {
  WideString wanted = path;
  WithTrailingSeparator(wanted);
  if (wanted.empty()) return false;
  const WideString saved = GetCurrentFolder();
  bool result = false;
  if (SetCurrentDirectoryW(wanted.c_str())) {
    result = EqualIgnoringCase(GetCurrentFolder(), wanted);
    if (!saved.empty()) SetCurrentDirectoryW(saved.c_str());
  }
  return result;
}

TDateTime FileStampOf(const WideString& path) {
  WIN32_FIND_DATAW data;
  if (!FindEntry(path, data)) return Now();
  FILETIME local;
  WORD dosDate = 0, dosTime = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &dosDate, &dosTime))
    return 0;
  return DosStampToDateTime(dosDate, dosTime);
}

// ---- DOS date and time ----

bool DateTimeToDosStamp(TDateTime value, uint16_t& dosDate, uint16_t& dosTime) {
  dosDate = 0;
  dosTime = 0;
  // Values far outside the stamp's years would overflow the decoding; they have no DOS form anyway.
  if (!std::isfinite(value) || value < 0 || value > 1.0e6) return false;
  const TDateTimeParts t = DecodeDateTime(value);
  if (t.Year < kFirstDosYear || t.Year > kLastStampYear) return false;
  dosDate = static_cast<uint16_t>(t.Day + t.Month * 32 + (t.Year - kFirstDosYear) * 512);
  dosTime = static_cast<uint16_t>(t.Second / 2 + t.Minute * 32 + t.Hour * 2048);
  return true;
}

TDateTime DosStampToDateTime(uint16_t dosDate, uint16_t dosTime) {
  TDateTime date = 0;
  if (!TryEncodeDate(kFirstDosYear + dosDate / 512, dosDate / 32 % 16, dosDate % 32, date)) date = 0;
  return date + EncodeTime(dosTime / 2048, dosTime / 32 % 64, dosTime % 32 * 2, 0);
}

bool SetFileStamp(HANDLE file, TDateTime value) {
  uint16_t dosDate, dosTime;
  if (!DateTimeToDosStamp(value, dosDate, dosTime)) return false;
  FILETIME local, utc;
  if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) return false;
  if (!LocalFileTimeToFileTime(&local, &utc)) return false;
  return SetFileTime(file, nullptr, nullptr, &utc) != FALSE;
}

// ---- creation and writing ----

void MakeFolderChain(const WideString& path) {
  if (path.empty() || IsExistingFolder(path)) return;
  const WideString parent = FolderPartOf(WithoutTrailingSeparator(path));
  if (parent.size() < path.size()) MakeFolderChain(parent);
  // Only a folder this call made goes into the log: the log lists what an installation created.
  if (CreateDirectoryW(path.c_str(), nullptr)) LogLine(MadeDirPrefix + WideToUtf8(path));
}

void SaveBytesToFile(const WideString& path, const AnsiString& bytes) {
  TKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid() || bytes.empty()) return;
  DWORD written = 0;
  WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool CreateShortcut(const WideString& linkPath, const WideString& target, const WideString& workingFolder,
                    const WideString& description) {
  TComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.Out()))) ||
      !link)
    return false;
  // A target the link cannot hold (past MAX_PATH) would be saved empty: no link rather than a dead one.
  if (FAILED(link->SetPath(target.c_str()))) return false;
  link->SetWorkingDirectory(workingFolder.c_str());
  link->SetDescription(description.c_str());
  TComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))) || !file) return false;
  MakeFolderChain(FolderPartOf(linkPath));
  // TRUE: the saved file becomes the object's current file.
  if (FAILED(file->Save(linkPath.c_str(), TRUE))) return false;
  LogLine(FileCopyPrefix + WideToUtf8(linkPath));
  return true;
}

// ---- folder picker ----

namespace {
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM data) {
  // Open the picker at the current path; wParam TRUE: the selection is given as a path text.
  if (message == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}
}  // namespace

bool BrowseForFolder(WideString& path, HWND owner) {
  const WideString initial = WithoutTrailingSeparator(path);
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = nullptr;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = &BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(initial.c_str());
  info.iImage = 0;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  wchar_t chosen[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(item, chosen)) chosen[0] = L'\0';
  path.assign(chosen, wcsnlen(chosen, MAX_PATH));
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(item);
    allocator->Release();
  }
  return true;
}

// ---- install log ----

namespace {
// The keys of LogList's lines: an old log of many lines is read once per installation, not once per line
// added. Rebuilt when the list is not the one indexed or changed behind LogLine's back.
struct TLogIndex {
  const TStringList* List = nullptr;
  int32_t Count = -1;
  AnsiString Last;
  std::unordered_set<AnsiString> Keys;
};
TLogIndex LogIndex;

bool LogIndexCurrent() {
  const int32_t count = LogList->LineCount();
  return LogIndex.List == LogList && LogIndex.Count == count &&
         (count == 0 || LogList->GetLine(count - 1) == LogIndex.Last);
}
}  // namespace

void LogLine(const AnsiString& line) {
  if (LogSuspendCount != 0 || !LogList) return;
  if (!LogIndexCurrent()) {
    LogIndex.Keys.clear();
    for (int32_t i = 0; i < LogList->LineCount(); ++i) LogIndex.Keys.insert(LineKey(LogList->GetLine(i)));
    LogIndex.List = LogList;
  }
  if (LogIndex.Keys.insert(LineKey(line)).second) LogList->AddLine(line);
  LogIndex.Count = LogList->LineCount();
  LogIndex.Last = LogIndex.Count > 0 ? LogList->GetLine(LogIndex.Count - 1) : AnsiString();
}

void SuspendLog() { ++LogSuspendCount; }

void ResumeLog() { --LogSuspendCount; }
