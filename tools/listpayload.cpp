// Lists the payload embedded in a setup program: number, stored time, size and name of every entry.
// Usage: listpayload SETUP.EXE. A Windows console program, run under Wine by the run script.
#include <windows.h>

#include <cstdio>

#include "install/AttachFiles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: listpayload SETUP.EXE\n");
    return 2;
  }
  // Opened as data only: nothing of the setup program runs.
  HMODULE module = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    std::fprintf(stderr, "listpayload: cannot open %s\n", WideToUtf8(argv[1]).c_str());
    return 2;
  }
  TResourceStream resource(module, "FILES", "FILES");
  TAttachedFiles files(resource.Memory(), static_cast<uint32_t>(resource.Size()));
  if (!files.IsValid()) {
    std::fprintf(stderr, "listpayload: the payload is missing or damaged\n");
    FreeLibrary(module);
    return 1;
  }
  for (int32_t i = 0; i < files.EntryCount(); ++i) {
    const TAttachedFile* e = files.Entry(i);
    const TDateTimeParts t = DecodeDateTime(e->Time);
    std::printf("%3d  %04d-%02d-%02d %02d:%02d:%02d  %9u  %s\n", i + 1, t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second, e->Size, WideToUtf8(e->Name).c_str());
  }
  std::printf("%d entries, %u bytes inflated from %d\n", files.EntryCount(), files.ArchiveLength(),
              resource.Size());
  FreeLibrary(module);
  return 0;
}
