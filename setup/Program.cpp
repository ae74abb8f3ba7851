// Process entry point. Until the wizard is in place it lists the embedded payload: name, size, stored time.
#include <windows.h>

#include <cstdio>

#include "../install/AttachFiles.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // A console, when started from one, receives the listing.
  AttachConsole(ATTACH_PARENT_PROCESS);
  FILE* out = std::fopen("CONOUT$", "w");
  if (!out) out = stdout;
  TAttachedFiles files;
  if (!files.IsValid()) {
    std::fprintf(out, "payload: missing or damaged\n");
    return 2;
  }
  for (int32_t i = 0; i < files.EntryCount(); ++i) {
    const TAttachedFile* e = files.Entry(i);
    const TDateTimeParts t = DecodeDateTime(e->Time);
    std::fprintf(out, "%3d  %04d-%02d-%02d %02d:%02d:%02d  %9u  %s\n", i + 1, t.Year, t.Month, t.Day, t.Hour,
                 t.Minute, t.Second, e->Size, WideToUtf8(e->Name).c_str());
  }
  std::fprintf(out, "%d entries\n", files.EntryCount());
  return 0;
}
