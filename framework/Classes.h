// Framework core containers and streams: TList, TStrings/TStringList, the stream family; components and the
// form reader follow below. May call the runtime (SysUtils). The header and Classes.cpp are platform-free
// (built on the host too); the platform calls live in ClassesPlatform.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "SysUtils.h"

// A string list's GetObject, never the platform's macro for the GDI call of that name.
#undef GetObject

class TComponent;
struct TClassInfo;
using TClass = const TClassInfo*;  // run-time class reference (TypInfo.h)
struct TComponentFactory;

class TObject {
 public:
  virtual ~TObject() = default;
};

// Describes a class to the run-time class model; the first line of its body:
//     class TButton : public TButtonControl {
//       DESCRIBE_CLASS(TButton, TButtonControl);
//      protected:
//       using TButtonControl::TButtonControl;
// It declares StaticClass (defined with the class's tables in its source file, see TypInfo.h) together
// with the ClassType override, checks at compile time that the class is the one being defined and that
// the base named is a described base of it, and lets CreateComponent reach a protected constructor.
// Access after it is public.
#define DESCRIBE_CLASS(Class, Base)                                                                       \
 public:                                                                                                  \
  using DescribedClass = Class;                                                                           \
  using BaseClass = Base;                                                                                 \
  static TClass StaticClass();                                                                            \
  TClass ClassType() const override {                                                                     \
    static_assert(std::is_same<std::remove_cv_t<std::remove_pointer_t<decltype(this)>>, Class>::value,    \
                  "DESCRIBE_CLASS names another class than the one it stands in");                        \
    static_assert(std::is_base_of<Base, Class>::value && !std::is_same<Base, Class>::value,               \
                  "the base named in DESCRIBE_CLASS is not a base of the class");                         \
    static_assert(std::is_same<Base::DescribedClass, Base>::value,                                        \
                  "the base named in DESCRIBE_CLASS is not described itself");                            \
    return StaticClass();                                                                                 \
  }                                                                                                       \
  friend struct ::TComponentFactory

class TPersistent : public TObject {
 public:
  // The root of the described classes: DESCRIBE_CLASS below it names the class and its base.
  using DescribedClass = TPersistent;
  static TClass StaticClass();
  virtual TClass ClassType() const { return StaticClass(); }
  AnsiString ClassName() const;

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
  DESCRIBE_CLASS(TStrings, TPersistent);
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
  // Replaces the lines with those of length bytes at text; CR LF, CR or LF ends a line, NULs are kept.
  void SplitIntoLines(const char* text, size_t length);
  int32_t FindObject(void* object) const;
  void InsertWithObject(int32_t index, const AnsiString& text, void* object);
  int32_t UpdateCount() const { return updateCount_; }

 private:
  int32_t updateCount_ = 0;
};

// Locale-aware, case-insensitive comparison used by every string-list search and the sort: <0, 0, >0.
int CompareLines(const AnsiString& a, const AnsiString& b);
// Equal for two lines exactly when CompareLines finds them equal: for looking lines up among many at once.
AnsiString LineKey(const AnsiString& line);

class TStringList : public TStrings {
  DESCRIBE_CLASS(TStringList, TStrings);
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
  // instance: the module, null for the program's own; type: an integer identifier made with
  // MAKEINTRESOURCE (such as RT_RCDATA) or a name.
  TResourceStream(void* instance, const AnsiString& name, const char* type);
  int32_t WriteBytes(const void* buffer, int32_t count) override;

 private:
  void* resInfo_ = nullptr;
  void* resData_ = nullptr;
};

// ---- components and the form reader ----

// The code half of a method pointer with its signature erased; TEvent restores it.
using TMethodCode = void (*)();

// A method pointer: the pair (code, data object); assigned when code is non-null.
struct TMethod {
  TMethodCode Code = nullptr;
  TObject* Data = nullptr;
};

// An event of a known signature. Firing calls code with data as the receiver and the arguments (the
// sender first) when the event is assigned.
template <class... Args>
struct TEvent {
  using Thunk = void (*)(TObject* data, Args...);
  TMethod Method;

  bool Assigned() const { return Method.Code != nullptr; }
  void Clear() { Method = TMethod{}; }
  void operator()(Args... args) const {
    if (Method.Code) reinterpret_cast<Thunk>(Method.Code)(Method.Data, std::forward<Args>(args)...);
  }
  // Binds a member function in code: NextBtn->OnClick.Bind<&TMainForm::BNClick>(this).
  template <auto M, class C>
  void Bind(C* object) {
    Method.Code = reinterpret_cast<TMethodCode>(static_cast<Thunk>(&CallMember<M, C>));
    Method.Data = object;
  }
  template <auto M, class C>
  static void CallMember(TObject* data, Args... args) {
    (static_cast<C*>(data)->*M)(std::forward<Args>(args)...);
  }
  // One address per argument list: the reader binds only methods whose arguments fit the event.
  static const void* Signature() {
    static char tag;
    return &tag;
  }
};

using TNotifyEvent = TEvent<TObject*>;                // (sender)
using TCloseQueryEvent = TEvent<TObject*, bool&>;     // (sender, in-out can close)

// Component state flags.
enum : uint8_t { csLoading = 0x01, csReading = 0x02, csDestroying = 0x08 };

class TReader;
struct TPropInfo;

// Frees a component the one way that runs its BeforeDestruction first; null is ignored.
void FreeComponent(TComponent* component);

// A component is made only by CreateComponent (or its class reference's Create), which runs
// AfterConstruction, and freed only by FreeComponent (or its owner), which runs BeforeDestruction: its
// constructor, destructor and allocation are protected.
class TComponent : public TPersistent {
  DESCRIBE_CLASS(TComponent, TPersistent);  // publishes Name

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Called once after the whole resource (or class chain) was read; clears the loading flag.
  virtual void AfterLoad();
  // Reads this component's properties and then its children.
  virtual void ReadContents(TReader* reader);
  // The reader's current parent for a child being read; a plain component ignores it.
  virtual void AttachToContainer(TComponent* parent);

  // Takes child over from its previous owner, if any.
  void AddOwned(TComponent* child);
  void RemoveOwned(TComponent* child);
  // Renames and moves the owner's published field binding from the old name to the new one.
  void Rename(const AnsiString& newName);
  // Sets the destroying flag through the owned tree, then frees the owned components, last created first.
  void DestroyComponents();

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  uint8_t ComponentState() const { return state_; }
  void IncludeState(uint8_t flags) { state_ = static_cast<uint8_t>(state_ | flags); }
  void ExcludeState(uint8_t flags) { state_ = static_cast<uint8_t>(state_ & ~flags); }
  int32_t ComponentCount() const { return components_ ? components_->Count() : 0; }
  TComponent* ComponentAt(int32_t index) const { return static_cast<TComponent*>(components_->ItemAt(index)); }
  const TList* Components() const { return components_; }  // null while nothing is owned

 protected:
  // Adds itself to owner's components when owner is non-null.
  explicit TComponent(TComponent* owner);
  // Only what BeforeDestruction left: normally nothing but leaving the owner.
  ~TComponent() override;
  static void* operator new(size_t size) { return ::operator new(size); }
  static void operator delete(void* memory) { ::operator delete(memory); }

  // Runs once the most-derived constructor has finished: the place for work that needs the object's
  // actual class, such as a form reading the resources of its class chain.
  virtual void AfterConstruction();
  // Runs while the object is still whole, before any destructor: the place for teardown that sends
  // messages or reaches fields of derived classes. The base frees the owned components (DestroyComponents);
  // an override does its own part and then calls its base.
  virtual void BeforeDestruction();

 private:
  friend void FreeComponent(TComponent* component);
  void MarkDestroying();
  // The owner's published field called name := value (when there is an owner and such a field).
  void BindOwnerField(const AnsiString& name, TComponent* value);

  TComponent* owner_ = nullptr;
  AnsiString name_;
  uint8_t state_ = 0;
  TList* components_ = nullptr;
};

// Reaches the protected constructors of described classes (DESCRIBE_CLASS befriends it).
struct TComponentFactory {
  template <class T>
  static T* Create(TComponent* owner) {
    T* instance = new T(owner);
    try {
      instance->AfterConstruction();
    } catch (...) {
      FreeComponent(instance);
      throw;
    }
    return instance;
  }
};

// Constructs T, then runs AfterConstruction; an exception there frees the instance again.
template <class T>
T* CreateComponent(TComponent* owner) {
  static_assert(std::is_same<typename T::DescribedClass, T>::value,
                "a component class needs DESCRIBE_CLASS, or its tables and form resource are lost");
  return TComponentFactory::Create<T>(owner);
}

// Frees its component through FreeComponent: for a component that a scope owns rather than a component.
struct TComponentDeleter {
  void operator()(TComponent* component) const { FreeComponent(component); }
};
template <class T>
using TComponentPtr = std::unique_ptr<T, TComponentDeleter>;

// Raised for form data the reader does not accept; the message names the class or property.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

// Reads the binary form format ("TPF0", one root object) from a stream through its own buffer.
class TReader : public TObject {
 public:
  TReader(TStream* stream, int32_t bufferSize);
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;
  // Seeks the stream back to just after the last byte consumed.
  ~TReader() override;

  // Reads the root object into instance (created by class name when null). When reading fails, every
  // component this call created is destroyed and the exception passes on.
  TComponent* ReadRootComponent(TComponent* instance);
  // Reads one child object: created by class name, owned by Owner(), read, appended to the loaded list.
  // Refused when it would be nested deeper than MaxFormNesting (FormFormat.h).
  void ReadChild();
  // Reads one property (a name, possibly a dotted path, and its value) into instance.
  void ReadProperty(TPersistent* instance);
  bool EndOfList();    // the next byte is a list terminator (not consumed)
  void ReadListEnd();  // consumes a list terminator

  uint8_t ReadByte();
  uint8_t PeekByte();
  void ReadData(void* buffer, int32_t count);
  AnsiString ReadShortString();
  int32_t ReadInteger();    // value tags 2, 3 and 4
  AnsiString ReadIdent();   // value tags 7, 8 ("False") and 9 ("True")

  TComponent* Owner() const { return owner_; }
  void SetOwner(TComponent* owner) { owner_ = owner; }
  TComponent* Parent() const { return parent_; }
  void SetParent(TComponent* parent) { parent_ = parent; }
  TComponent* Root() const { return root_; }
  TList* Loaded() const { return loaded_; }

 private:
  void Refill();
  [[noreturn]] void Fail(const AnsiString& message) const;
  AnsiString Where() const;  // the component and property being read, for messages
  void CheckNoFlags();
  void ReadValue(TPersistent* instance, const TPropInfo* prop);

  TStream* stream_;
  char* buffer_;
  int32_t bufSize_;
  int32_t bufPos_ = 0;
  int32_t bufEnd_ = 0;
  TComponent* owner_ = nullptr;
  TComponent* parent_ = nullptr;
  TList* loaded_ = nullptr;
  AnsiString propName_;
  TComponent* root_ = nullptr;
  TComponent* current_ = nullptr;   // the object being read, for messages
  int32_t depth_ = 0;               // of the object being read; the root is at 0
  TList created_;                   // components this reader created, freed again on failure
};

// Reads the RCDATA resources of the program module named after instance's classes, from the class
// just below stopClass down to instance's own, ancestors first; then AfterLoad on everything read.
void LoadFormResources(TComponent* instance, TClass stopClass);
