// The installer's payload catalogue: the inflated archive resource, its entries, the queue of files to
// install and their extraction. May call the archive layout, inflation, the install utilities, the message
// box of the wizard's texts and the platform.
#pragma once
#include <cstdint>

#include "../framework/Classes.h"
#include "Zlib.h"

struct TAttachedFile {
  WideString Name;  // relative path with backslashes
  uint32_t Size = 0;
  TDateTime Time = 0;      // local time
  const uint8_t* Data = nullptr;  // inside the inflated block, not copied
};

// A queued extraction job.
struct TFileToInstall {
  TAttachedFile* Source = nullptr;  // not owned
  WideString Target;                // full path of the file to write
  bool Logged = true;               // logging was active when the job was queued
};

enum TOverwriteMode : uint8_t {
  omIfMissing = 0,  // queued when no file exists at the target
  omIfChanged = 1,  // ... or when the existing file's last-write time differs from the entry's
  omAlways = 2,
};

// The shared public data folder: common application data + "Quorvale\Public\"; the relative text
// "Quorvale\Public\" when that folder cannot be resolved. Set by the catalogue's construction.
extern WideString PublicFolder;
// While set, every selection uses omAlways (the caller's mode still decides the PublicFiles mark).
extern bool ForceOverwrite;

class TAttachedFiles {
 public:
  // Reads the resource "FILES" of type "FILES" from the running module.
  TAttachedFiles();
  // Reads a compressed archive held in memory (the same format as the resource body).
  TAttachedFiles(const void* compressed, uint32_t size);
  TAttachedFiles(const TAttachedFiles&) = delete;
  TAttachedFiles& operator=(const TAttachedFiles&) = delete;
  ~TAttachedFiles();

  int32_t EntryCount() const { return Entries.Count(); }
  TAttachedFile* Entry(int32_t index) const { return static_cast<TAttachedFile*>(Entries.ItemAt(index)); }
  const uint8_t* ArchiveData() const { return archive_.Data.get(); }
  uint32_t ArchiveLength() const { return archive_.Length; }
  // False when the resource was missing, did not inflate completely (checksum included), its records did
  // not fill it exactly, or a name was unsafe; the catalogue is then empty.
  bool IsValid() const { return valid_; }

  // Queues the entries matching pattern (UTF-8): a folder prefix when it ends in a backslash, else the
  // first entry with that exact name (both ignoring case). Targets are folder + the entry's name.
  void SelectFiles(const AnsiString& pattern, const WideString& folder, TOverwriteMode mode);
  // Writes the entry at target with its stored time and logs it. On failure the user may abort (false),
  // retry or ignore (true); in silent mode it sets ExitCode to 2 and returns false without asking.
  bool ExtractEntry(const TAttachedFile* entry, const WideString& target);

  int32_t JobCount() const { return ToInstall.Count(); }
  TFileToInstall* Job(int32_t index) const { return static_cast<TFileToInstall*>(ToInstall.ItemAt(index)); }

  TList Entries;    // of TAttachedFile*, in archive order
  TList ToInstall;  // of TFileToInstall*, in queue order
  // UTF-8 target paths of queued jobs inside PublicFolder; TAB "!" follows when the caller asked omIfMissing.
  TStringList PublicFiles;

 private:
  void Load(const void* compressed, uint32_t size);
  void Queue(TAttachedFile* entry, const WideString& folder, TOverwriteMode mode, TOverwriteMode callerMode);
  InflatedBlock archive_;
  bool valid_ = false;
  // The folder the last successful write went into: files of one folder come one after another, so the
  // folder chain is checked once per folder. Forgotten on a failure and when files are selected.
  WideString readyFolder_;
};
