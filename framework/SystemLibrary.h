// Platform libraries loaded at run time come from the system folder only, so a DLL planted beside the
// installer (a downloads folder) or in the current folder never runs with its rights. Calls kernel32.
#pragma once
#include <windows.h>

// The library `name`, a bare file name such as L"uxtheme.dll", loaded from the system folder; null when it
// is not there or when the name holds a path. The program's folder, the current folder and PATH are never
// searched. The caller never frees it.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Once, first thing at start-up: later loads by bare name (the platform's own delay loads included) search
// the system folder only where the platform offers that (SetDefaultDllDirectories), and the current folder
// leaves the search order (SetDllDirectoryW). Both are looked up at run time and skipped where missing.
// Answers whether the system-folder-only search is in force.
bool RestrictLibrarySearch();
