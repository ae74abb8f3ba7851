// The installer's payload catalogue.
#include "AttachFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "../framework/WinHandles.h"
#include "../setup/Languages.h"
#include "InstUtils.h"
#include "PayloadArchive.h"

WideString PublicFolder;
bool ForceOverwrite = false;

namespace {

void SetPublicFolder() {
  const WideString common = GetSpecialFolder(CSIDL_COMMON_APPDATA);
  // Unresolved: a relative text that no absolute target begins with.
  PublicFolder = common.empty() ? Utf8ToWide("Quorvale\\Public\\") : JoinPath(common, "Quorvale\\Public\\");
}

// One attempt at writing the entry; true when all its bytes went out.
bool WriteEntry(const TAttachedFile* entry, const WideString& target, WideString& readyFolder) {
  const WideString folder = FolderPartOf(target);
  if (folder != readyFolder) MakeFolderChain(folder);
  readyFolder.clear();  // set again once the file is written
  const TKernelHandle file(
      CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  static const uint8_t kNoData = 0;
  const void* data = entry->Data ? entry->Data : &kNoData;
  DWORD written = 0;
  // A short write counts as a failure: the file on disk would not be the entry.
  const bool ok = WriteFile(file.Get(), data, entry->Size, &written, nullptr) && written == entry->Size;
  if (ok) {
    SetFileStamp(file.Get(), entry->Time);
    LogLine(FileCopyPrefix + WideToUtf8(target));
    readyFolder = folder;
  }
  return ok;
}

}  // namespace

TAttachedFiles::TAttachedFiles() {
  TResourceStream res(GetModuleHandleW(nullptr), "FILES", "FILES");
  if (res.Size() > 0) Load(res.Memory(), static_cast<uint32_t>(res.Size()));
  SetPublicFolder();
}

TAttachedFiles::TAttachedFiles(const void* compressed, uint32_t size) {
  if (compressed && size > 0) Load(compressed, size);
  SetPublicFolder();
}

TAttachedFiles::~TAttachedFiles() {
  for (int32_t i = 0; i < ToInstall.Count(); ++i) delete Job(i);
  ToInstall.Clear();
  for (int32_t i = 0; i < Entries.Count(); ++i) delete Entry(i);
  Entries.Clear();
}

void TAttachedFiles::Load(const void* compressed, uint32_t size) {
  // Five times the compressed size is enough for the shipped payload in one inflate call.
  const uint32_t estimate = size <= 0x7FFFFFFFu / 5 ? size * 5 : size;
  archive_ = InflateBuffer(compressed, size, estimate);
  if (!archive_.Complete) return;
  std::vector<TArchiveRecord> records;
  // A record past the end or an unsafe name (one that could leave its folder) rejects the whole archive.
  if (!ReadArchive(archive_.Data.get(), archive_.Length, records)) return;
  for (const TArchiveRecord& r : records) {
    auto* entry = new TAttachedFile;
    entry->Name = Utf8ToWide(r.Name);
    entry->Size = r.Size;
    entry->Time = r.Time;
    entry->Data = archive_.Data.get() + r.DataOffset;
    Entries.Append(entry);
  }
  valid_ = true;
}

void TAttachedFiles::SelectFiles(const AnsiString& pattern, const WideString& folder, TOverwriteMode mode) {
  readyFolder_.clear();  // a new run: folders may have gone since the last one
  const TOverwriteMode callerMode = mode;
  if (ForceOverwrite) mode = omAlways;
  const WideString name = Utf8ToWide(pattern);
  const bool prefix = !name.empty() && name.back() == L'\\';
  for (int32_t i = 0; i < Entries.Count(); ++i) {
    TAttachedFile* entry = Entry(i);
    if (prefix) {
      if (BeginsIgnoringCase(entry->Name, name)) Queue(entry, folder, mode, callerMode);
    } else if (EqualIgnoringCase(entry->Name, name)) {
      Queue(entry, folder, mode, callerMode);
      return;
    }
  }
}

void TAttachedFiles::Queue(TAttachedFile* entry, const WideString& folder, TOverwriteMode mode,
                           TOverwriteMode callerMode) {
  WideString target = folder;
  WithTrailingSeparator(target);
  target += entry->Name;
  if (mode != omAlways && IsExistingFile(target)) {
    if (mode == omIfMissing) return;
    if (mode == omIfChanged && FileStampOf(target) == entry->Time) return;
  }
  auto* job = new TFileToInstall;
  job->Source = entry;
  job->Target = target;
  job->Logged = LogSuspendCount == 0;
  ToInstall.Append(job);
  if (BeginsIgnoringCase(target, PublicFolder)) {
    AnsiString line = WideToUtf8(target);
    if (callerMode == omIfMissing) line += "\t!";
    PublicFiles.AddLine(line);
  }
}

bool TAttachedFiles::ExtractEntry(const TAttachedFile* entry, const WideString& target) {
  if (!entry) return false;
  while (true) {
    if (WriteEntry(entry, target, readyFolder_)) return true;
    if (SilentMode) {
      ExitCode = 2;
      return false;
    }
    const int answer = ShowMessageBox(FormatText(UIText(UICannotCreate), {WideToUtf8(target)}), TMsgIcon::Error,
                                      TMsgButtons::AbortRetryIgnore);
    if (answer == IDIGNORE) return true;
    // Anything but Retry stops, so that a box that cannot be shown does not loop for ever.
    if (answer != IDRETRY) return false;
  }
}
