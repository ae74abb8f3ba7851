// The installer's payload catalogue: the inflated archive resource and its entries.
// May call the archive layout, inflation, the streams and the platform.
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
  // False when the resource was missing, did not inflate, or its records did not fill it exactly;
  // the catalogue is then empty.
  bool IsValid() const { return valid_; }

  TList Entries;  // of TAttachedFile*, in archive order

 private:
  void Load(const void* compressed, uint32_t size);
  InflatedBlock archive_;
  bool valid_ = false;
};
