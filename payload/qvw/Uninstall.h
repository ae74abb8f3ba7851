// The uninstaller inside the word processor ("qvw.exe -ui").
#pragma once
#include <windows.h>

#include <string>

// Removes this copy as its Install.log records it: 0 removed, 1 the word processor is running (nothing
// removed), 2 something could not be removed (the rest is, the uninstall entry stays). Silent: no boxes.
int RunUninstall(bool silent);
// Run from a copy in the temporary folder: once the uninstalling process has ended, removes the program
// file and, when empty, its folder.
int FinishUninstall(DWORD parent, const std::wstring& programDir);
