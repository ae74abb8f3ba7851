// File-system and shell services shared by the wizard and the payload catalogue: path text, special folders,
// folder tests and creation, file stamps, small files, shortcuts, the folder picker and the install log.
// May call the string lists (Classes) and kernel32, shell32 and ole32. Platform failures are never raised.
#pragma once
#include <cstdint>

// Before <windows.h>: its GetObject macro must not rename the string list's member.
#include "../framework/Classes.h"

#include <windows.h>

// Process state of the setup program: set by the command line and read by the install steps.
extern bool SilentMode;
// The process exit code: 0 success or cancelled, 1 silent install refused, 2 a payload file not written.
extern int ExitCode;

// ---- current time (replaceable in tests) ----
using TNowFunc = TDateTime (*)();
// Defaults to the local clock; tests point it elsewhere and restore it.
extern TNowFunc NowHook;
// The current local date and time through NowHook.
TDateTime Now();
// The real local clock, whole milliseconds.
TDateTime SystemNow();

// ---- path text ----
// Ends the path in exactly one separator of its own: a trailing "/" or "\" becomes "\", otherwise "\" is
// appended. An empty path stays empty.
void WithTrailingSeparator(WideString& path);
// The path without one trailing backslash.
WideString WithoutTrailingSeparator(const WideString& path);
// Folder with a trailing separator, then name (UTF-8).
WideString JoinPath(const WideString& folder, const AnsiString& name);
// Everything up to and including the last backslash or colon; empty when there is none.
WideString FolderPartOf(const WideString& path);
// Both upper-cased in the user's default locale, then compared exactly.
bool EqualIgnoringCase(const WideString& a, const WideString& b);
// The first Length(prefix) characters of s (all of s when shorter) equal prefix ignoring case.
bool BeginsIgnoringCase(const WideString& s, const WideString& prefix);
// The process's current directory with a trailing separator; empty when the platform gives none.
WideString GetCurrentFolder();

// ---- special folders ----
// By CSIDL number (the CSIDL_ constants of <shlobj.h>): the folder's current path, not created;
// empty on any failure.
WideString GetSpecialFolder(int number);

// ---- tests ----
// A directory search finds an entry for path that is not a directory.
bool IsExistingFile(const WideString& path);
// The current directory can be changed to path and reads back as path (ignoring case). Restores the
// current directory. A relative path or one written differently from the system's form tests false.
bool IsExistingFolder(const WideString& path);
// The file's last-write time as local time at two-second resolution; the current time (Now) when the file
// is not found, 0 when its time has no DOS form (before 1980 or after 2107).
TDateTime FileStampOf(const WideString& path);

// ---- DOS date and time (two-second stamps) ----
// False, with both 0, when the year lies outside 1980..2099 or the value is not a date.
bool DateTimeToDosStamp(TDateTime value, uint16_t& dosDate, uint16_t& dosTime);
// Date and time of day from DOS fields; 0 for the date part when the DOS date is not a valid date.
TDateTime DosStampToDateTime(uint16_t dosDate, uint16_t dosTime);
// Sets the file's last-write time from a local TDateTime through its DOS form; creation and last-access
// times stay. Nothing happens for a time without a DOS form. False when nothing was set.
bool SetFileStamp(HANDLE file, TDateTime value);

// ---- creation and writing ----
// Creates path and its missing parents, outermost first, logging "Made Dir: " for each folder made.
void MakeFolderChain(const WideString& path);
// Creates or replaces the file and writes all bytes in one call. Nothing is reported.
void SaveBytesToFile(const WideString& path, const AnsiString& bytes);
// Saves a shell link at linkPath (its folder is created first) and logs "File Copy: " with the path.
// The component object library must be initialised on the calling thread. False when no link was saved.
bool CreateShortcut(const WideString& linkPath, const WideString& target, const WideString& workingFolder,
                    const WideString& description);

// ---- folder picker ----
// Opens the shell's folder picker at path; true with path set to the choice, false (path unchanged) when
// the user cancels.
bool BrowseForFolder(WideString& path, HWND owner);

// ---- install log ----
// The install log: UTF-8 lines in the order added. Created by the wizard at the install step; null before.
extern TStringList* LogList;
// Full path of Install.log, set by the wizard.
extern WideString LogPath;
// Logging is active while this is 0.
extern int32_t LogSuspendCount;

extern const char* const MadeDirPrefix;   // "Made Dir: "
extern const char* const FileCopyPrefix;  // "File Copy: "

// Appends line unless logging is suspended, LogList does not exist, or an equal line (ignoring case) is
// already present.
void LogLine(const AnsiString& line);
void SuspendLog();
void ResumeLog();
