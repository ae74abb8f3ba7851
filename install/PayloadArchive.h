// The payload archive's record layout: walking an inflated archive and writing records.
// Platform-free; used by the catalogue in the program and by the host tool that builds the resource.
#pragma once
#include <cstdint>
#include <vector>

#include "../framework/SysUtils.h"

struct TArchiveRecord {
  AnsiString Name;     // raw bytes as stored (UTF-8)
  TDateTime Time = 0;  // local time
  uint32_t Size = 0;
  uint32_t DataOffset = 0;  // from the start of the archive
};

// Walks records from byte 0. Returns false, with the records read before the fault, when a record would
// run past the end; never reads outside [data, data + length).
bool WalkArchive(const uint8_t* data, uint32_t length, std::vector<TArchiveRecord>& records);

// WalkArchive, then every record's name through CheckEntryName. False, with records cleared, when the
// records do not fill the data exactly or a name is unsafe: the archive must not be installed at all.
bool ReadArchive(const uint8_t* data, uint32_t length, std::vector<TArchiveRecord>& records);

// Empty when the name can be stored, cannot leave the install folder and lands on disk under exactly this name
// (well-formed UTF-8, no character or device name Windows refuses, no component it would trim); otherwise
// the reason.
AnsiString CheckEntryName(const AnsiString& name);
// True for a time on a whole, even second (the two-second resolution of file stamps).
bool IsWholeEvenSecond(TDateTime time);
// Appends one record; the caller has checked name and size.
void AppendRecord(std::vector<uint8_t>& out, const AnsiString& name, TDateTime time, const uint8_t* data,
                  uint32_t size);
