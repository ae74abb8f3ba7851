// The installer's payload catalogue.
#include "AttachFiles.h"

#include <windows.h>

#include <vector>

#include "PayloadArchive.h"

TAttachedFiles::TAttachedFiles() {
  TResourceStream res(GetModuleHandleW(nullptr), "FILES", "FILES");
  if (res.Size() > 0) Load(res.Memory(), static_cast<uint32_t>(res.Size()));
}

TAttachedFiles::TAttachedFiles(const void* compressed, uint32_t size) { Load(compressed, size); }

TAttachedFiles::~TAttachedFiles() {
  for (int32_t i = 0; i < Entries.Count(); ++i) delete Entry(i);
  Entries.Clear();
}

void TAttachedFiles::Load(const void* compressed, uint32_t size) {
  // Five times the compressed size is enough for the shipped payload in one inflate call.
  const uint32_t estimate = size <= 0x7FFFFFFFu / 5 ? size * 5 : size;
  archive_ = InflateBuffer(compressed, size, estimate);
  if (!archive_.Complete) return;
  std::vector<TArchiveRecord> records;
  if (!WalkArchive(archive_.Data.get(), archive_.Length, records)) return;
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
