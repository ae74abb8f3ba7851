// Framework core containers and streams: TList, TStrings/TStringList, the stream family; components and the
// form reader follow below. May call the runtime (SysUtils) and the platform.
#pragma once
#include <cstdint>

#include "SysUtils.h"

class TComponent;

class TObject {
 public:
  virtual ~TObject() = default;
};

class TPersistent : public TObject {
 public:
  virtual void CopyTo(TPersistent* destination);
  virtual void CopyFrom(TPersistent* source);
};

// Growable array of untyped pointers; up to two items live inline without a heap block.
class TList : public TObject {
 public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;
  ~TList() override;

  void Append(void* item);
  void DeleteAt(int32_t index);
  int32_t IndexOfItem(void* item) const;  // highest index holding the item
  void RemoveItem(void* item);
  void* LastItem() const { return items_[count_ - 1]; }
  void* ItemAt(int32_t index) const { return items_[index]; }
  void SetItemAt(int32_t index, void* item) { items_[index] = item; }
  void Clear();
  void SetItemCount(int32_t n);
  int32_t Count() const { return count_; }
  int32_t Capacity() const { return capacity_; }

 private:
  void Grow(int32_t n);
  int32_t count_ = 0;
  int32_t capacity_ = 0;
  void* inline_[2] = {nullptr, nullptr};
  void** items_ = inline_;
};

class TStream;

class TStrings : public TPersistent {
 public:
  void CopyFrom(TPersistent* source) override;
  virtual AnsiString GetLine(int32_t index) const = 0;
  virtual int32_t AllocatedCount() const { return LineCount(); }
  virtual int32_t LineCount() const = 0;
  virtual void* GetObject(int32_t index) const;
  virtual AnsiString GetAllText() const;
  virtual void SetLine(int32_t index, const AnsiString& text);
  virtual void SetObject(int32_t index, void* object);
  virtual void SetAllocated(int32_t n);
  virtual void SetAllText(const AnsiString& text);
  virtual void UpdatingChanged(bool updating);
  virtual int32_t AddLine(const AnsiString& text);
  virtual int32_t AddWithObject(const AnsiString& text, void* object);
  virtual void AddAll(const TStrings* other);
  virtual void Clear() = 0;
  virtual void DeleteLine(int32_t index) = 0;
  virtual void Swap(int32_t a, int32_t b);
  virtual int32_t IndexOfLine(const AnsiString& text) const;
  virtual void InsertLine(int32_t index, const AnsiString& text) = 0;
  virtual void LoadLinesFromFile(const WideString& name);
  virtual void ReadLinesFrom(TStream* stream);
  virtual void MoveLine(int32_t from, int32_t to);
  virtual void SaveLinesToFile(const WideString& name);
  virtual void WriteLinesTo(TStream* stream);
  virtual void SetAllTextFromBuffer(const char* text);

  void StartUpdate();
  void FinishUpdate();
  int32_t FindObject(void* object) const;
  void InsertWithObject(int32_t index, const AnsiString& text, void* object);
  int32_t UpdateCount() const { return updateCount_; }

 private:
  int32_t updateCount_ = 0;
};

// Locale-aware, case-insensitive comparison used by every string-list search and the sort: <0, 0, >0.
int CompareLines(const AnsiString& a, const AnsiString& b);

class TStringList : public TStrings {
 public:
  TStringList() = default;
  TStringList(const TStringList&) = delete;
  TStringList& operator=(const TStringList&) = delete;
  ~TStringList() override;

  AnsiString GetLine(int32_t index) const override { return entries_[index].text; }
  int32_t AllocatedCount() const override { return capacity_; }
  int32_t LineCount() const override { return count_; }
  void* GetObject(int32_t index) const override { return entries_[index].object; }
  void SetLine(int32_t index, const AnsiString& text) override;
  void SetObject(int32_t index, void* object) override;
  void SetAllocated(int32_t n) override;
  int32_t AddLine(const AnsiString& text) override;
  void Clear() override;
  void DeleteLine(int32_t index) override;
  void Swap(int32_t a, int32_t b) override;
  int32_t IndexOfLine(const AnsiString& text) const override;
  void InsertLine(int32_t index, const AnsiString& text) override;
  virtual bool FindSorted(const AnsiString& text, int32_t& index) const;
  virtual void SortLines();

  void SetSortedFlag(bool flag);
  bool Sorted() const { return sorted_; }

 private:
  struct Entry {
    AnsiString text;
    void* object = nullptr;
  };
  void QuickSort(int32_t l, int32_t r);
  int32_t capacity_ = 0;
  bool sorted_ = false;
  int32_t count_ = 0;
  Entry* entries_ = nullptr;
};

enum : int32_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream : public TObject {
 public:
  virtual void Resize(int32_t n);
  virtual int32_t ReadBytes(void* buffer, int32_t count) = 0;
  virtual int32_t WriteBytes(const void* buffer, int32_t count) = 0;
  virtual int32_t SeekTo(int32_t offset, int32_t origin) = 0;

  int32_t GetPos() { return SeekTo(0, soFromCurrent); }
  int32_t SetPos(int32_t p) { return SeekTo(p, soFromBeginning); }
  int32_t GetLength();
  void ReadExact(void* buffer, int32_t count);         // EAbort on a short read
  void WriteExact(const void* buffer, int32_t count);  // EAbort on a short write
  int32_t CopyBytesFrom(TStream* source, int32_t count);
  // Reads a binary form into instance (created by the reader when null); defined with the form reader.
  TComponent* ReadRootComponent(TComponent* instance);
};

// Platform file handle as an opaque value, so that this header needs no platform header.
using THandleValue = void*;

class THandleStream : public TStream {
 public:
  explicit THandleStream(THandleValue handle) : Handle(handle) {}
  void Resize(int32_t n) override;
  int32_t ReadBytes(void* buffer, int32_t count) override;
  int32_t WriteBytes(const void* buffer, int32_t count) override;
  int32_t SeekTo(int32_t offset, int32_t origin) override;
  THandleValue Handle;
};

enum : uint16_t {
  fmCreate = 0xFFFF,
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
};

class TFileStream : public THandleStream {
 public:
  // Raises EAbort when the file cannot be opened.
  TFileStream(const WideString& fileName, uint16_t mode);
  ~TFileStream() override;
};

class TCustomMemoryStream : public TStream {
 public:
  int32_t ReadBytes(void* buffer, int32_t count) override;
  int32_t SeekTo(int32_t offset, int32_t origin) override;
  void* Memory() const { return memory_; }
  int32_t Size() const { return size_; }
  int32_t Position() const { return position_; }

 protected:
  void SetMemory(void* memory, int32_t size) {
    memory_ = memory;
    size_ = size;
  }
  void* memory_ = nullptr;
  int32_t size_ = 0;
  int32_t position_ = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  ~TMemoryStream() override;
  int32_t WriteBytes(const void* buffer, int32_t count) override;
  void Resize(int32_t n) override;
  virtual void* Reallocate(int32_t& capacity);
  int32_t Capacity() const { return capacity_; }

 private:
  void SetCapacity(int32_t n);
  int32_t capacity_ = 0;
};

// Read-only view of a resource in a loaded module; a missing resource gives an empty stream.
class TResourceStream : public TCustomMemoryStream {
 public:
  // type: an integer identifier made with MAKEINTRESOURCE (such as RT_RCDATA) or a name.
  TResourceStream(void* instance, const AnsiString& name, const char* type);
  int32_t WriteBytes(const void* buffer, int32_t count) override;

 private:
  void* resInfo_ = nullptr;
  void* resData_ = nullptr;
};
