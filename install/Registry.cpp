// Registry wrapper: key paths and value names are byte strings handed to the ANSI interface; wide texts
// go through the wide interface. Platform failures leave empty results and are never raised.
#include "Registry.h"

#include <windows.h>

#include "../framework/WinHandles.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Full access and no view flag: a 32-bit process lands in the 32-bit view.
constexpr REGSAM RegistryAccess = KEY_ALL_ACCESS;  // 0xF003F

// The path rule: a leading backslash makes the path absolute (to the root) and is dropped.
struct ResolvedPath {
  HKEY Base;
  const char* SubKey;
  bool Relative;
};

ResolvedPath Resolve(const AnsiString& path, HKEY open, HKEY root) {
  const bool relative = path.empty() || path[0] != '\\';
  const char* subKey = relative ? path.c_str() : path.c_str() + 1;
  return {relative && open ? open : root, subKey, relative};
}

// The platform reports sizes as DWORD; anything that does not fit our signed result counts as a failure.
int32_t ReportedSize(LONG status, DWORD size) {
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return -1;
  if (size > 0x7FFFFFFFu) return -1;
  return static_cast<int32_t>(size);
}

}  // namespace

TRegistry::TRegistry() : rootHandle_(HKEY_CURRENT_USER) {}

TRegistry::~TRegistry() { CloseCurrentKey(); }

void TRegistry::SelectRoot(HKEY key) {
  if (key == rootHandle_) return;
  rootHandle_ = key;
  CloseCurrentKey();
}

void TRegistry::CloseCurrentKey() {
  if (!openHandle_) return;
  RegCloseKey(openHandle_);
  openHandle_ = nullptr;
  openPath_.clear();
}

void TRegistry::OpenOrCreateKey(const AnsiString& path) {
  const ResolvedPath where = Resolve(path, openHandle_, rootHandle_);
  TRegKey created;
  // The disposition (created or already there) is of no interest.
  const LONG status = RegCreateKeyExA(where.Base, where.SubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      RegistryAccess, nullptr, created.Out(), nullptr);
  AnsiString newPath;
  if (status == ERROR_SUCCESS) {
    newPath = where.Relative && openHandle_ ? openPath_ + "\\" + where.SubKey : AnsiString(where.SubKey);
  }
  // The old key stays open until the new one exists: it may be the base of the new one.
  CloseCurrentKey();
  if (status != ERROR_SUCCESS) return;  // no key current; the path stays empty with it
  openHandle_ = created.Release();
  openPath_ = std::move(newPath);
}

bool TRegistry::HasKey(const AnsiString& path) const {
  const ResolvedPath where = Resolve(path, openHandle_, rootHandle_);
  TRegKey key;
  return RegOpenKeyExA(where.Base, where.SubKey, 0, RegistryAccess, key.Out()) == ERROR_SUCCESS;
}

int32_t TRegistry::ValueByteSize(const AnsiString& name) const { return ReadRaw(name, nullptr, 0); }

int32_t TRegistry::ReadRaw(const AnsiString& name, void* buffer, uint32_t size) const {
  if (!openHandle_) return -1;
  DWORD count = buffer ? size : 0;
  const LONG status = RegQueryValueExA(openHandle_, name.c_str(), nullptr, nullptr,
                                       static_cast<BYTE*>(buffer), &count);
  return ReportedSize(status, count);
}

int32_t TRegistry::ReadRawWide(const AnsiString& name, void* buffer, uint32_t size) const {
  if (!openHandle_) return -1;
  const WideString wideName = Utf8ToWide(name);
  DWORD count = buffer ? size : 0;
  const LONG status = RegQueryValueExW(openHandle_, wideName.c_str(), nullptr, nullptr,
                                       static_cast<BYTE*>(buffer), &count);
  return ReportedSize(status, count);
}

void TRegistry::WriteText(const AnsiString& name, const WideString& text) {
  if (!openHandle_) return;
  const WideString wideName = Utf8ToWide(name);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WideChar));
  RegSetValueExW(openHandle_, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

void TRegistry::WriteByteText(const AnsiString& name, const AnsiString& text) {
  if (!openHandle_) return;
  const DWORD bytes = static_cast<DWORD>(text.size() + 1);
  RegSetValueExA(openHandle_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes);
}

WideString TRegistry::ReadText(const AnsiString& name) const {
  const int32_t ansiSize = ValueByteSize(name);
  if (ansiSize <= 0) return WideString();
  // As many wide characters as the ANSI size: normally enough for the wide text. The value can still be
  // larger (odd byte counts, or changed since the size query), so a too-small buffer is grown and re-read
  // rather than trusted.
  std::vector<WideChar> buffer(static_cast<size_t>(ansiSize));
  for (int attempt = 0; attempt < 4; ++attempt) {
    const uint32_t capacity = static_cast<uint32_t>(buffer.size() * sizeof(WideChar));
    std::fill(buffer.begin(), buffer.end(), WideChar(0));
    const int32_t got = ReadRawWide(name, buffer.data(), capacity);
    if (got < 0) return WideString();
    if (static_cast<uint32_t>(got) <= capacity) {
      // A stored text need not end in a NUL: stop at the value's end as well as at the first NUL.
      const size_t units = static_cast<size_t>(got) / sizeof(WideChar);
      size_t length = 0;
      while (length < units && buffer[length] != 0) ++length;
      return WideString(buffer.data(), length);
    }
    buffer.assign((static_cast<size_t>(got) + sizeof(WideChar) - 1) / sizeof(WideChar), WideChar(0));
  }
  return WideString();
}

void TRegistry::WriteDword(const AnsiString& name, uint32_t value) {
  if (!openHandle_) return;
  // REG_DWORD is little-endian, as is this processor.
  BYTE bytes[4];
  std::memcpy(bytes, &value, sizeof bytes);
  RegSetValueExA(openHandle_, name.c_str(), 0, REG_DWORD, bytes, sizeof bytes);
}

uint32_t TRegistry::ReadDword(const AnsiString& name) const {
  uint32_t value = 0;
  const int32_t got = ReadRaw(name, &value, sizeof value);
  // A longer value leaves the buffer undefined; a shorter one fills only the low bytes.
  if (got < 0 || got > static_cast<int32_t>(sizeof value)) return 0;
  return value;
}
