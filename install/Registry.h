// Registry wrapper for the remembered settings and the uninstall entry: a root, one open current key, and
// named values of that key. May call the runtime (SysUtils) and advapi32 only; reports no failure.
#pragma once
#include <cstdint>

#include "../framework/SysUtils.h"

// The platform's key handle, declared as <windows.h> does, so that this header does not pull in the
// platform's name macros (GetObject and the like) for every unit that keeps settings.
struct HKEY__;
typedef struct HKEY__* HKEY;

class TRegistry {
 public:
  TRegistry();  // root HKEY_CURRENT_USER, no key open
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  ~TRegistry();

  HKEY OpenHandle() const { return openHandle_; }  // 0 when no key is open
  HKEY RootHandle() const { return rootHandle_; }
  const AnsiString& OpenPath() const { return openPath_; }  // below the root; empty when no key is open

  // A new root closes the current key; the root already in use changes nothing.
  void SelectRoot(HKEY key);
  void CloseCurrentKey();

  // Paths are relative to the current key (when one is open) unless they begin with a backslash, which
  // makes them relative to the root. On failure no key is current afterwards.
  void OpenOrCreateKey(const AnsiString& path);
  // Whether the key opens with full access; never creates it and leaves the current key alone.
  bool HasKey(const AnsiString& path) const;

  // Size in bytes as the ANSI query reports it, or -1 (no such value, no current key).
  int32_t ValueByteSize(const AnsiString& name) const;
  bool HasValue(const AnsiString& name) const { return ValueByteSize(name) != -1; }

  // REG_SZ through the wide interface, (length + 1) * 2 bytes with the NUL; name decoded from UTF-8.
  void WriteText(const AnsiString& name, const WideString& text);
  // REG_SZ through the ANSI interface, length + 1 bytes with the NUL.
  void WriteByteText(const AnsiString& name, const AnsiString& text);
  // Empty for a missing, empty or unreadable value; stops at the first NUL or at the value's end.
  WideString ReadText(const AnsiString& name) const;

  // REG_DWORD, 4 bytes little-endian, through the ANSI interface.
  void WriteDword(const AnsiString& name, uint32_t value);
  // Up to 4 bytes of the value whatever its type; 0 when missing or longer than 4 bytes.
  uint32_t ReadDword(const AnsiString& name) const;
  void WriteFlag(const AnsiString& name, bool flag) { WriteDword(name, flag ? 1 : 0); }
  bool ReadFlag(const AnsiString& name) const { return ReadDword(name) != 0; }

  // Query into the caller's buffer of `size` bytes (ANSI or wide interface). Returns the size the platform
  // reports, or -1 when the query fails. A result above `size` means the buffer was too small: its contents
  // are then undefined and the result is the size needed. A null buffer only asks for the size.
  int32_t ReadRaw(const AnsiString& name, void* buffer, uint32_t size) const;
  int32_t ReadRawWide(const AnsiString& name, void* buffer, uint32_t size) const;

 private:
  HKEY openHandle_ = nullptr;
  HKEY rootHandle_;  // HKEY_CURRENT_USER (0x80000001) after construction
  AnsiString openPath_;
};
