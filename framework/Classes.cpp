// Framework core containers and streams, components and the form reader; no platform calls here (those
// are in ClassesPlatform.cpp), so this builds on the host too.
#include "Classes.h"

#include "FormFormat.h"
#include "TypInfo.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// ---- TPersistent ----

void TPersistent::CopyTo(TPersistent*) {}

void TPersistent::CopyFrom(TPersistent* source) {
  if (source) source->CopyTo(this);
}

// ---- TList ----

TList::~TList() { Clear(); }

namespace {
// A slot count as bytes, refused when it cannot be allocated: on a 32-bit system n * 4 wraps past 2^30 slots.
size_t SlotBytes(int64_t n) {
  if (n < 0 || static_cast<uint64_t>(n) > SIZE_MAX / sizeof(void*)) throw EOutOfMemory();
  return static_cast<size_t>(n) * sizeof(void*);
}
}  // namespace

void TList::Grow(int32_t n) {
  if (n < 0) throw EOutOfMemory();
  if (n == 0) {
    if (capacity_ > 2) std::free(items_);
    items_ = inline_;
    capacity_ = 0;
    return;
  }
  if (n <= 2) {
    // Only reached from an empty list: the inline slots serve.
    items_ = inline_;
    capacity_ = n;
    return;
  }
  if (capacity_ <= 2) {
    auto* block = static_cast<void**>(std::malloc(SlotBytes(n)));
    if (!block) throw EOutOfMemory();
    std::memcpy(block, inline_, static_cast<size_t>(capacity_) * sizeof(void*));
    items_ = block;
    capacity_ = n;
    return;
  }
  const int32_t delta = capacity_ >= 64 ? capacity_ / 4 : capacity_ >= 8 ? 16 : 4;
  const int32_t newCap = static_cast<int32_t>(
      std::max<int64_t>(n, std::min<int64_t>(int64_t{capacity_} + delta, INT32_MAX)));
  auto* block = static_cast<void**>(std::realloc(items_, SlotBytes(newCap)));
  if (!block) throw EOutOfMemory();
  items_ = block;
  capacity_ = newCap;
}

void TList::SetItemCount(int32_t n) {
  if (n < 0) throw EOutOfMemory();
  if (capacity_ < n) Grow(n);
  count_ = n;
}

void TList::Append(void* item) {
  SetItemCount(count_ + 1);
  items_[count_ - 1] = item;
}

void TList::DeleteAt(int32_t index) {
  std::memmove(items_ + index, items_ + index + 1, static_cast<size_t>(count_ - index - 1) * sizeof(void*));
  --count_;
}

int32_t TList::IndexOfItem(void* item) const {
  for (int32_t i = count_ - 1; i >= 0; --i)
    if (items_[i] == item) return i;
  return -1;
}

void TList::RemoveItem(void* item) {
  const int32_t i = IndexOfItem(item);
  if (i >= 0) DeleteAt(i);
}

void TList::Clear() {
  count_ = 0;
  Grow(0);
}

// ---- TStrings ----

void TStrings::CopyFrom(TPersistent* source) {
  if (auto* other = dynamic_cast<TStrings*>(source)) {
    StartUpdate();
    Clear();
    AddAll(other);
    FinishUpdate();
  } else {
    TPersistent::CopyFrom(source);
  }
}

void* TStrings::GetObject(int32_t) const { return nullptr; }

AnsiString TStrings::GetAllText() const {
  const int32_t n = LineCount();
  size_t total = 0;
  for (int32_t i = 0; i < n; ++i) total += GetLine(i).size() + 2;
  AnsiString out;
  out.reserve(total);
  for (int32_t i = 0; i < n; ++i) {
    out += GetLine(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetLine(int32_t index, const AnsiString& text) {
  void* object = GetObject(index);
  DeleteLine(index);
  InsertWithObject(index, text, object);
}

void TStrings::SetObject(int32_t, void*) {}
void TStrings::SetAllocated(int32_t) {}
void TStrings::UpdatingChanged(bool) {}

void TStrings::SetAllText(const AnsiString& text) {
  // A NUL ends the text.
  SplitIntoLines(text.c_str(), std::strlen(text.c_str()));
}

void TStrings::SplitIntoLines(const char* p, size_t length) {
  StartUpdate();
  Clear();
  const char* const end = p + length;
  while (p != end) {
    const char* start = p;
    while (p != end && *p != '\r' && *p != '\n') ++p;
    AddLine(AnsiString(start, static_cast<size_t>(p - start)));
    if (p != end && *p == '\r') ++p;
    if (p != end && *p == '\n') ++p;
  }
  FinishUpdate();
}

int32_t TStrings::AddLine(const AnsiString& text) {
  const int32_t index = LineCount();
  InsertLine(index, text);
  return index;
}

int32_t TStrings::AddWithObject(const AnsiString& text, void* object) {
  const int32_t index = AddLine(text);
  SetObject(index, object);
  return index;
}

void TStrings::AddAll(const TStrings* other) {
  StartUpdate();
  for (int32_t i = 0; i < other->LineCount(); ++i) AddWithObject(other->GetLine(i), other->GetObject(i));
  FinishUpdate();
}

void TStrings::Swap(int32_t a, int32_t b) {
  StartUpdate();
  AnsiString textA = GetLine(a);
  void* objectA = GetObject(a);
  SetLine(a, GetLine(b));
  SetObject(a, GetObject(b));
  SetLine(b, textA);
  SetObject(b, objectA);
  FinishUpdate();
}

int32_t TStrings::IndexOfLine(const AnsiString& text) const {
  for (int32_t i = 0; i < LineCount(); ++i)
    if (CompareLines(GetLine(i), text) == 0) return i;
  return -1;
}

void TStrings::LoadLinesFromFile(const WideString& name) {
  TFileStream stream(name, fmOpenRead);
  ReadLinesFrom(&stream);
}

void TStrings::ReadLinesFrom(TStream* stream) {
  StartUpdate();
  struct Finish {
    TStrings* s;
    ~Finish() { s->FinishUpdate(); }
  } finish{this};
  const int64_t size = int64_t{stream->GetLength()} - stream->GetPos();
  if (size > 0 && static_cast<uint64_t>(size) >= SIZE_MAX / 2) throw EOutOfMemory();
  AnsiString text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  if (size > 0) stream->ReadExact(&text[0], static_cast<int32_t>(size));
  // A file is split whole: a stray NUL in a log must not drop the lines after it.
  SplitIntoLines(text.data(), text.size());
}

void TStrings::MoveLine(int32_t from, int32_t to) {
  if (from == to) return;
  StartUpdate();
  AnsiString text = GetLine(from);
  void* object = GetObject(from);
  DeleteLine(from);
  InsertWithObject(to, text, object);
  FinishUpdate();
}

void TStrings::SaveLinesToFile(const WideString& name) {
  TFileStream stream(name, fmCreate);
  WriteLinesTo(&stream);
}

void TStrings::WriteLinesTo(TStream* stream) {
  const AnsiString text = GetAllText();
  stream->WriteExact(text.data(), static_cast<int32_t>(text.size()));
}

void TStrings::SetAllTextFromBuffer(const char* text) { SetAllText(text ? AnsiString(text) : AnsiString()); }

void TStrings::StartUpdate() {
  if (updateCount_++ == 0) UpdatingChanged(true);
}

void TStrings::FinishUpdate() {
  if (--updateCount_ == 0) UpdatingChanged(false);
}

int32_t TStrings::FindObject(void* object) const {
  for (int32_t i = 0; i < LineCount(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

void TStrings::InsertWithObject(int32_t index, const AnsiString& text, void* object) {
  InsertLine(index, text);
  SetObject(index, object);
}

// ---- TStringList ----

TStringList::~TStringList() { delete[] entries_; }

void TStringList::SetLine(int32_t index, const AnsiString& text) { entries_[index].text = text; }

void TStringList::SetObject(int32_t index, void* object) { entries_[index].object = object; }

void TStringList::SetAllocated(int32_t n) {
  Entry* block = n > 0 ? new (std::nothrow) Entry[static_cast<size_t>(n)] : nullptr;
  if (n > 0 && !block) throw EOutOfMemory();
  const int32_t keep = std::min(count_, n);
  for (int32_t i = 0; i < keep; ++i) block[i] = std::move(entries_[i]);
  delete[] entries_;
  entries_ = block;
  capacity_ = n;
  if (count_ > n) count_ = n;
}

int32_t TStringList::AddLine(const AnsiString& text) {
  int32_t index = count_;
  if (sorted_) FindSorted(text, index);
  InsertLine(index, text);
  return index;
}

void TStringList::Clear() {
  if (count_ > 0) {
    count_ = 0;
    SetAllocated(0);
  }
}

void TStringList::DeleteLine(int32_t index) {
  --count_;
  for (int32_t i = index; i < count_; ++i) entries_[i] = std::move(entries_[i + 1]);
  entries_[count_] = Entry{};
}

void TStringList::Swap(int32_t a, int32_t b) { std::swap(entries_[a], entries_[b]); }

int32_t TStringList::IndexOfLine(const AnsiString& text) const {
  if (!sorted_) {
    // The entries in place: a copy of every line made each search of a long log cost twice as much.
    for (int32_t i = 0; i < count_; ++i)
      if (CompareLines(entries_[i].text, text) == 0) return i;
    return -1;
  }
  int32_t index = 0;
  return FindSorted(text, index) ? index : -1;
}

void TStringList::InsertLine(int32_t index, const AnsiString& text) {
  // 32 at a time, a quarter at a time once large: loading a long log stays linear.
  if (count_ == capacity_) SetAllocated(capacity_ + std::max<int32_t>(32, capacity_ / 4));
  for (int32_t i = count_; i > index; --i) entries_[i] = std::move(entries_[i - 1]);
  entries_[index] = Entry{text, nullptr};
  ++count_;
}

bool TStringList::FindSorted(const AnsiString& text, int32_t& index) const {
  int32_t low = 0, high = count_ - 1;
  bool found = false;
  while (low <= high) {
    const int32_t mid = static_cast<int32_t>((static_cast<uint32_t>(low) + static_cast<uint32_t>(high)) >> 1);
    const int c = CompareLines(entries_[mid].text, text);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = low;
  return found;
}

void TStringList::QuickSort(int32_t l, int32_t r) {
  while (l < r) {
    int32_t i = l, j = r;
    const AnsiString pivot = entries_[(l + r) / 2].text;
    while (i <= j) {
      while (CompareLines(entries_[i].text, pivot) < 0) ++i;
      while (CompareLines(entries_[j].text, pivot) > 0) --j;
      if (i <= j) {
        std::swap(entries_[i], entries_[j]);
        ++i;
        --j;
      }
    }
    if (l < j) QuickSort(l, j);
    l = i;
  }
}

void TStringList::SortLines() {
  if (!sorted_ && count_ > 1) QuickSort(0, count_ - 1);
}

void TStringList::SetSortedFlag(bool flag) {
  if (flag == sorted_) return;
  if (flag) SortLines();
  sorted_ = flag;
}

// ---- TStream ----

void TStream::Resize(int32_t) {}

int32_t TStream::GetLength() {
  const int32_t pos = SeekTo(0, soFromCurrent);
  const int32_t size = SeekTo(0, soFromEnd);
  SeekTo(pos, soFromBeginning);
  return size;
}

void TStream::ReadExact(void* buffer, int32_t count) {
  if (count != 0 && ReadBytes(buffer, count) != count) throw EAbort();
}

void TStream::WriteExact(const void* buffer, int32_t count) {
  if (count != 0 && WriteBytes(buffer, count) != count) throw EAbort();
}

int32_t TStream::CopyBytesFrom(TStream* source, int32_t count) {
  if (count == 0) {
    source->SetPos(0);
    count = source->GetLength();
  }
  const int32_t bufSize = std::min<int32_t>(count, 0xF000);
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(std::max(bufSize, 1))]);
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t n = std::min(bufSize, remaining);
    source->ReadExact(buffer.get(), n);
    WriteExact(buffer.get(), n);
    remaining -= n;
  }
  return count;
}

// ---- memory streams ----
//
// Positions and counts come from callers and from data; every sum of two of them is formed in 64 bits, so
// no overflow can wrap past a check.

namespace {
// Seeking is not clamped: a position out of range wraps like the 32-bit register it stands for.
int32_t Wrap32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value))); }
}  // namespace

int32_t TCustomMemoryStream::ReadBytes(void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  int32_t n = size_ - position_;
  if (n <= 0) return 0;
  n = std::min(n, count);
  std::memcpy(buffer, static_cast<char*>(memory_) + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TCustomMemoryStream::SeekTo(int32_t offset, int32_t origin) {
  switch (origin) {
    case soFromBeginning: position_ = offset; break;
    case soFromCurrent: position_ = Wrap32(int64_t{position_} + offset); break;
    case soFromEnd: position_ = Wrap32(int64_t{size_} + offset); break;
    default: break;
  }
  return position_;
}

TMemoryStream::~TMemoryStream() { SetCapacity(0); }

void* TMemoryStream::Reallocate(int32_t& capacity) {
  if (capacity < 0) throw EOutOfMemory();
  if (capacity > 0) {
    const int64_t rounded = (int64_t{capacity} + 8191) & ~int64_t{8191};
    if (rounded > INT32_MAX) throw EOutOfMemory();
    capacity = static_cast<int32_t>(rounded);
  }
  void* result = memory_;
  if (capacity != capacity_) {
    if (capacity == 0) {
      std::free(memory_);
      result = nullptr;
    } else if (capacity_ == 0) {
      result = std::malloc(static_cast<size_t>(capacity));
      if (!result) throw EOutOfMemory();
    } else {
      result = std::realloc(memory_, static_cast<size_t>(capacity));
      if (!result) throw EOutOfMemory();
    }
  }
  return result;
}

void TMemoryStream::SetCapacity(int32_t n) {
  memory_ = Reallocate(n);
  capacity_ = n;
}

int32_t TMemoryStream::WriteBytes(const void* buffer, int32_t count) {
  if (position_ < 0 || count < 0) return 0;
  const int64_t wideEnd = int64_t{position_} + count;
  if (wideEnd <= 0 || wideEnd > INT32_MAX) return 0;  // beyond the largest position: nothing is written
  const auto end = static_cast<int32_t>(wideEnd);
  if (end > size_) {
    if (capacity_ < end) SetCapacity(end);
    size_ = end;
  }
  std::memcpy(static_cast<char*>(memory_) + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream::Resize(int32_t n) {
  const int32_t oldSize = size_;
  SetCapacity(n);
  size_ = n;
  if (n < position_) position_ = oldSize;
}

int32_t TResourceStream::WriteBytes(const void*, int32_t) { return 0; }

// ---- components and the form reader ----

TClass TPersistent::StaticClass() {
  static const TClassInfo info = DescribeClass<TPersistent>("TPersistent");
  return &info;
}

AnsiString TPersistent::ClassName() const { return ClassType()->Name; }

TClass TStrings::StaticClass() {
  static const TClassInfo info = DescribeClass<TStrings>("TStrings");
  return &info;
}

TClass TStringList::StaticClass() {
  static const TClassInfo info = DescribeClass<TStringList>("TStringList");
  return &info;
}

TClass TComponent::StaticClass() {
  static const TPropInfo props[] = {StringProp<&TComponent::Name, &TComponent::Rename>("Name")};
  static const TClassInfo info = DescribeClass<TComponent>("TComponent", props);
  return &info;
}

void FreeComponent(TComponent* component) {
  if (!component) return;
  component->BeforeDestruction();
  delete component;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->AddOwned(this);
}

TComponent::~TComponent() {
  DestroyComponents();  // anything taken on after BeforeDestruction
  if (owner_) owner_->RemoveOwned(this);
}

void TComponent::AfterConstruction() {}

void TComponent::BeforeDestruction() { DestroyComponents(); }

void TComponent::AfterLoad() { ExcludeState(csLoading); }

void TComponent::AttachToContainer(TComponent*) {}

void TComponent::ReadContents(TReader* reader) {
  while (!reader->EndOfList()) reader->ReadProperty(this);
  reader->ReadListEnd();
  TComponent* savedParent = reader->Parent();
  TComponent* savedOwner = reader->Owner();
  reader->SetParent(this);
  if (!savedOwner) reader->SetOwner(reader->Root());
  while (!reader->EndOfList()) reader->ReadChild();
  reader->ReadListEnd();
  reader->SetParent(savedParent);
  reader->SetOwner(savedOwner);
}

void TComponent::BindOwnerField(const AnsiString& name, TComponent* value) {
  if (!owner_) return;
  const TFieldInfo* field = FindPublishedField(owner_, name);
  if (field && !field->Set(owner_, value))
    throw Exception("Field " + name + " of " + owner_->ClassName() + " cannot hold a " + value->ClassName());
}

void TComponent::AddOwned(TComponent* child) {
  // Owned twice, it would be freed twice.
  if (child->owner_) child->owner_->RemoveOwned(child);
  if (!components_) components_ = new TList;
  components_->Append(child);
  child->owner_ = this;
  child->BindOwnerField(child->name_, child);
}

void TComponent::RemoveOwned(TComponent* child) {
  child->BindOwnerField(child->name_, nullptr);
  child->owner_ = nullptr;
  components_->RemoveItem(child);
  if (components_->Count() == 0) {
    delete components_;
    components_ = nullptr;
  }
}

void TComponent::Rename(const AnsiString& newName) {
  if (newName == name_) return;
  BindOwnerField(name_, nullptr);
  name_ = newName;
  BindOwnerField(name_, this);
}

void TComponent::MarkDestroying() {
  IncludeState(csDestroying);
  for (int32_t i = 0; i < ComponentCount(); ++i) {
    TComponent* child = ComponentAt(i);
    if (!(child->state_ & csDestroying)) child->MarkDestroying();
  }
}

void TComponent::DestroyComponents() {
  MarkDestroying();
  // The list is read afresh each time: destroying one component may take others of this owner with it.
  while (components_) {
    auto* last = static_cast<TComponent*>(components_->LastItem());
    components_->DeleteAt(components_->Count() - 1);
    if (components_->Count() == 0) {
      delete components_;
      components_ = nullptr;
    }
    last->BindOwnerField(last->name_, nullptr);  // no field of a whole owner points at freed memory
    last->owner_ = nullptr;
    FreeComponent(last);
  }
}

// ---- TReader ----

namespace {
// Value tags of the binary form format.
constexpr uint8_t vaNull = 0, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaString = 6, vaIdent = 7, vaFalse = 8,
                  vaTrue = 9, vaNil = 13;

const char* const kRCData = reinterpret_cast<const char*>(uintptr_t{10});  // RT_RCDATA

// The loading list of the LoadFormResources call in progress (null when none) and the lists it interrupted.
TList* loadingList = nullptr;
TList& LoadingStack() {
  static TList stack;
  return stack;
}

AnsiString Describe(const TComponent* c) {
  if (c->Name().empty()) return c->ClassName();
  return c->Name() + " (" + c->ClassName() + ")";
}
}  // namespace

TReader::TReader(TStream* stream, int32_t bufferSize)
    : stream_(stream), buffer_(new char[static_cast<size_t>(bufferSize)]), bufSize_(bufferSize) {}

TReader::~TReader() {
  if (bufEnd_ > bufPos_) stream_->SeekTo(bufPos_ - bufEnd_, soFromCurrent);
  delete[] buffer_;
}

AnsiString TReader::Where() const {
  AnsiString where;
  if (!propName_.empty()) where = "property " + propName_;
  if (current_) where += (where.empty() ? "" : " of ") + Describe(current_);
  return where.empty() ? AnsiString("the form header") : where;
}

void TReader::Fail(const AnsiString& message) const { throw EReadError(message + " in " + Where()); }

void TReader::Refill() {
  const int32_t n = stream_->ReadBytes(buffer_, bufSize_);
  if (n <= 0) Fail("Form data ends early");
  bufPos_ = 0;
  bufEnd_ = n;
}

uint8_t TReader::ReadByte() {
  if (bufPos_ >= bufEnd_) Refill();
  return static_cast<uint8_t>(buffer_[bufPos_++]);
}

uint8_t TReader::PeekByte() {
  const uint8_t b = ReadByte();
  --bufPos_;
  return b;
}

void TReader::ReadData(void* buffer, int32_t count) {
  auto* out = static_cast<char*>(buffer);
  while (count > 0) {
    if (bufPos_ >= bufEnd_) Refill();
    const int32_t n = std::min(count, bufEnd_ - bufPos_);
    std::memcpy(out, buffer_ + bufPos_, static_cast<size_t>(n));
    bufPos_ += n;
    out += n;
    count -= n;
  }
}

AnsiString TReader::ReadShortString() {
  AnsiString text(ReadByte(), '\0');
  if (!text.empty()) ReadData(&text[0], static_cast<int32_t>(text.size()));
  return text;
}

int32_t TReader::ReadInteger() {
  uint8_t bytes[4];
  switch (const uint8_t tag = ReadByte()) {
    case vaInt8: return static_cast<int8_t>(ReadByte());
    case vaInt16:
      ReadData(bytes, 2);
      return static_cast<int16_t>(bytes[0] | bytes[1] << 8);
    case vaInt32:
      ReadData(bytes, 4);
      return static_cast<int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    default: Fail("Value tag " + std::to_string(tag) + " is not an integer");
  }
}

AnsiString TReader::ReadIdent() {
  switch (const uint8_t tag = ReadByte()) {
    case vaIdent: return ReadShortString();
    case vaFalse: return "False";
    case vaTrue: return "True";
    default: Fail("Value tag " + std::to_string(tag) + " is not an identifier");
  }
}

bool TReader::EndOfList() { return PeekByte() == vaNull; }

void TReader::ReadListEnd() {
  if (const uint8_t b = ReadByte(); b != vaNull) Fail("List end expected, found byte " + std::to_string(b));
}

// Inherited and inline objects carry a flags byte (0xF0-0xFF) before the class name; this reader has none.
void TReader::CheckNoFlags() {
  if (const uint8_t b = PeekByte(); (b & 0xF0) == 0xF0) Fail("Object flags " + std::to_string(b) + " are not supported");
}

void TReader::ReadProperty(TPersistent* instance) {
  propName_ = ReadShortString();
  TPersistent* target = instance;
  size_t start = 0;
  for (;;) {
    const size_t dot = propName_.find('.', start);
    const AnsiString element = propName_.substr(start, dot == AnsiString::npos ? AnsiString::npos : dot - start);
    const TPropInfo* prop = FindProperty(target->ClassType(), element);
    if (!prop) Fail("Property " + element + " not found in class " + target->ClassName());
    if (dot == AnsiString::npos) {
      ReadValue(target, prop);
      break;
    }
    if (prop->Kind != TPropKind::Object) Fail("Property " + element + " of class " + target->ClassName() + " is not an object");
    target = GetObjectProp(target, prop);
    if (!target) Fail("Property " + element + " holds no object");
    start = dot + 1;
  }
  propName_.clear();
}

void TReader::ReadValue(TPersistent* instance, const TPropInfo* prop) {
  switch (prop->Kind) {
    case TPropKind::Integer: SetOrdProp(instance, prop, ReadInteger()); break;
    case TPropKind::Enumeration: SetOrdProp(instance, prop, EnumValueOf(prop->Enum, ReadIdent())); break;
    case TPropKind::Event: {
      if (PeekByte() == vaNil) {
        ReadByte();
        SetMethodProp(instance, prop, TMethod{});
        break;
      }
      const AnsiString ident = ReadIdent();
      const TMethodInfo* method = FindPublishedMethod(root_->ClassType(), ident);
      if (!method) break;  // an unknown handler leaves the event as it was
      if (method->Signature != prop->Signature) Fail("Method " + ident + " does not fit the event");
      SetMethodProp(instance, prop, TMethod{method->Code, root_});
      break;
    }
    case TPropKind::String: {
      if (const uint8_t tag = ReadByte(); tag != vaString) Fail("Value tag " + std::to_string(tag) + " is not a string");
      SetStrProp(instance, prop, ReadShortString());
      break;
    }
    case TPropKind::Object: Fail("An object property cannot take a value");
  }
}

void TReader::ReadChild() {
  // Each level recurses through ReadContents: a hostile resource must not run the stack out.
  if (depth_ + 1 >= MaxFormNesting)
    Fail("Objects nested deeper than " + std::to_string(MaxFormNesting) + " levels");
  ++depth_;
  struct Level {
    int32_t& depth;
    ~Level() { --depth; }
  } level{depth_};
  CheckNoFlags();
  const AnsiString className = ReadShortString();
  const AnsiString name = ReadShortString();
  TComponent* savedParent = parent_;
  TComponent* savedCurrent = current_;
  const TClass cls = LookUpClass(className);
  if (!cls) Fail("Class " + className + " not found (for " + name + ")");
  if (!cls->Create) Fail("Class " + className + " cannot be created (for " + name + ")");
  TComponent* component = cls->Create(owner_);
  created_.Append(component);
  current_ = component;
  component->IncludeState(csLoading);
  component->AttachToContainer(parent_);
  component->Rename(name);
  component->IncludeState(csReading);
  component->ReadContents(this);
  component->ExcludeState(csReading);
  loaded_->Append(component);
  parent_ = savedParent;
  current_ = savedCurrent;
}

TComponent* TReader::ReadRootComponent(TComponent* instance) {
  char signature[4];
  ReadData(signature, 4);  // not compared: the resource name already says what this is
  CheckNoFlags();
  const AnsiString className = ReadShortString();
  TComponent* root = instance;
  if (!root) {
    const TClass cls = LookUpClass(className);
    if (!cls) Fail("Class " + className + " not found");
    if (!cls->Create) Fail("Class " + className + " cannot be created");
    root = cls->Create(nullptr);
  }
  std::unique_ptr<TList> ownList;
  try {
    current_ = root;
    root->Rename(ReadShortString());
    root_ = root;
    if (loadingList) {
      loaded_ = loadingList;
    } else {
      ownList.reset(new TList);
      loaded_ = ownList.get();
    }
    // Once only: a class chain reads several resources into the same root.
    if (loaded_->IndexOfItem(root) < 0) loaded_->Append(root);
    owner_ = root;
    root->IncludeState(csLoading | csReading);
    root->ReadContents(this);
    root->ExcludeState(csReading);
    if (ownList)
      for (int32_t i = 0; i < ownList->Count(); ++i) static_cast<TComponent*>(ownList->ItemAt(i))->AfterLoad();
  } catch (...) {
    // Leave nothing half-built: what this call created goes again, newest first (a component never owns
    // one created before it), and nothing of it stays on a loading list.
    root->ExcludeState(csReading);
    for (int32_t i = created_.Count() - 1; i >= 0; --i) {
      auto* component = static_cast<TComponent*>(created_.ItemAt(i));
      if (loaded_) loaded_->RemoveItem(component);
      FreeComponent(component);
    }
    created_.Clear();
    if (loaded_) loaded_->RemoveItem(root);
    if (!instance) FreeComponent(root);
    loaded_ = nullptr;
    throw;
  }
  created_.Clear();
  loaded_ = nullptr;
  return root;
}

TComponent* TStream::ReadRootComponent(TComponent* instance) {
  TReader reader(this, 4096);
  return reader.ReadRootComponent(instance);
}

void LoadFormResources(TComponent* instance, TClass stopClass) {
  std::vector<TClass> chain;  // instance's class first
  for (TClass c = instance->ClassType(); c && c != stopClass && c != TComponent::StaticClass(); c = c->Parent)
    chain.push_back(c);

  // The list being loaded now; restored to the interrupted one however this call ends.
  struct LoadingScope {
    TList list;
    LoadingScope() {
      LoadingStack().Append(loadingList);
      loadingList = &list;
    }
    ~LoadingScope() {
      loadingList = static_cast<TList*>(LoadingStack().LastItem());
      LoadingStack().DeleteAt(LoadingStack().Count() - 1);
    }
  } scope;

  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    TResourceStream stream(nullptr, (*it)->Name, kRCData);
    if (stream.Size() == 0) throw EReadError(AnsiString("Form resource of class ") + (*it)->Name + " not found");
    stream.ReadRootComponent(instance);
  }
  for (int32_t i = 0; i < scope.list.Count(); ++i) static_cast<TComponent*>(scope.list.ItemAt(i))->AfterLoad();
}
