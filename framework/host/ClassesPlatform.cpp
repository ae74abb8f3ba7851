// The host's stand-in for framework/ClassesPlatform.cpp, so that the platform-free part of the Classes unit
// (lists, memory streams, components, the form reader) builds and runs in the host tests and fuzz targets.
// Files go through POSIX; comparison folds ASCII letters only; the host program has no resources.
#include "framework/Classes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

int CompareLines(const AnsiString& a, const AnsiString& b) {
  const int c = strcasecmp(a.c_str(), b.c_str());
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

AnsiString LineKey(const AnsiString& line) {
  AnsiString key = line.c_str();
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

namespace {
int Fd(THandleValue handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// Host file names are UTF-8: wide characters beyond ASCII are written as UTF-8 by the runtime's converter.
int OpenForStream(const WideString& fileName, uint16_t mode) {
  const AnsiString name = WideToUtf8(fileName);
  if (mode == fmCreate) return open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  static const int kAccess[4] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDONLY};
  return open(name.c_str(), kAccess[mode & 3]);
}
}  // namespace

int32_t THandleStream::ReadBytes(void* buffer, int32_t count) {
  if (count < 0) return 0;
  const ssize_t n = read(Fd(Handle), buffer, static_cast<size_t>(count));
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t THandleStream::WriteBytes(const void* buffer, int32_t count) {
  if (count < 0) return 0;
  const ssize_t n = write(Fd(Handle), buffer, static_cast<size_t>(count));
  return n < 0 ? 0 : static_cast<int32_t>(n);
}

int32_t THandleStream::SeekTo(int32_t offset, int32_t origin) {
  static const int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (origin < 0 || origin > 2) return -1;
  return static_cast<int32_t>(lseek(Fd(Handle), offset, kWhence[origin]));
}

void THandleStream::Resize(int32_t n) {
  SeekTo(n, soFromBeginning);
  if (ftruncate(Fd(Handle), n) != 0) return;  // not reported, as SetEndOfFile's result is not
}

TFileStream::TFileStream(const WideString& fileName, uint16_t mode)
    : THandleStream(reinterpret_cast<THandleValue>(static_cast<intptr_t>(OpenForStream(fileName, mode)))) {
  if (Fd(Handle) < 0) throw EAbort();
}

TFileStream::~TFileStream() { close(Fd(Handle)); }

TResourceStream::TResourceStream(void*, const AnsiString&, const char*) {}
