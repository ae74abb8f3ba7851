// The platform half of the Classes unit: the locale's string comparison and the file and resource
// streams (kernel32). framework/host/ClassesPlatform.cpp stands in for it on the host.
#include "Classes.h"

#include <windows.h>

int CompareLines(const AnsiString& a, const AnsiString& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a.c_str(), -1, b.c_str(), -1) - 2;
}

AnsiString LineKey(const AnsiString& line) {
  // The platform's sort key with the comparison's own flags: keys compare as the lines do.
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE | SORT_STRINGSORT;
  const int n = LCMapStringA(LOCALE_USER_DEFAULT, flags, line.c_str(), -1, nullptr, 0);
  if (n <= 0) return line;
  AnsiString key(static_cast<size_t>(n), '\0');
  LCMapStringA(LOCALE_USER_DEFAULT, flags, line.c_str(), -1, reinterpret_cast<char*>(&key[0]), n);
  return key;
}

// ---- THandleStream / TFileStream ----

// A negative count would reach the platform as a count near 4 GiB.
int32_t THandleStream::ReadBytes(void* buffer, int32_t count) {
  if (count < 0) return 0;
  DWORD done = 0;
  ReadFile(Handle, buffer, static_cast<DWORD>(count), &done, nullptr);
  return static_cast<int32_t>(done);
}

int32_t THandleStream::WriteBytes(const void* buffer, int32_t count) {
  if (count < 0) return 0;
  DWORD done = 0;
  WriteFile(Handle, buffer, static_cast<DWORD>(count), &done, nullptr);
  return static_cast<int32_t>(done);
}

int32_t THandleStream::SeekTo(int32_t offset, int32_t origin) {
  return static_cast<int32_t>(SetFilePointer(Handle, offset, nullptr, static_cast<DWORD>(origin)));
}

void THandleStream::Resize(int32_t n) {
  SeekTo(n, soFromBeginning);
  SetEndOfFile(Handle);
}

namespace {
HANDLE OpenForStream(const WideString& fileName, uint16_t mode) {
  DWORD access, share = 0, creation;
  if (mode == fmCreate) {
    access = GENERIC_READ | GENERIC_WRITE;
    creation = CREATE_ALWAYS;
  } else {
    static const DWORD kAccess[4] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE, 0};
    static const DWORD kShare[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
    access = kAccess[mode & 3];
    const unsigned shareIndex = (mode >> 4) & 0x0F;
    share = shareIndex < 5 ? kShare[shareIndex] : 0;
    creation = OPEN_EXISTING;
  }
  return CreateFileW(fileName.c_str(), access, share, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

TFileStream::TFileStream(const WideString& fileName, uint16_t mode) : THandleStream(OpenForStream(fileName, mode)) {
  if (Handle == INVALID_HANDLE_VALUE) throw EAbort();
}

TFileStream::~TFileStream() { CloseHandle(Handle); }

// ---- TResourceStream ----

TResourceStream::TResourceStream(void* instance, const AnsiString& name, const char* type) {
  HMODULE module = instance ? static_cast<HMODULE>(instance) : GetModuleHandleW(nullptr);
  HRSRC info = FindResourceA(module, name.c_str(), type);
  if (!info) return;
  HGLOBAL data = LoadResource(module, info);
  if (!data) return;
  resInfo_ = info;
  resData_ = data;
  SetMemory(LockResource(data), static_cast<int32_t>(SizeofResource(module, info)));
}
