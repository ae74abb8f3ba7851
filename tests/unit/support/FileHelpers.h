// File helpers shared by the Windows unit tests: raw reads and writes that bypass the code under test.
#pragma once
#include <string>

#include "framework/SysUtils.h"

namespace testfiles {
inline WideString W(const char* utf8) { return Utf8ToWide(AnsiString(utf8)); }
inline AnsiString U(const WideString& wide) { return WideToUtf8(wide); }
// Deletes a folder tree, read-only files included.
void RemoveTree(const WideString& folder);
bool WriteRaw(const WideString& path, const std::string& bytes);
// The file's bytes, or "<missing>" when it cannot be opened.
std::string ReadRaw(const WideString& path);
// A new empty folder below the temporary folder, unique to this process and call; with a trailing
// backslash; empty when it cannot be made.
WideString MakeTestFolder(const wchar_t* tag);
}  // namespace testfiles
