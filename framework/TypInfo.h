// Run-time class model: class references (name, parent, virtual constructor) with their published
// property, method and field tables, the class registry and the lookups the form reader uses.
// May call Classes and the runtime; no platform calls.
//
// Every class of the model names itself and its base in the first line of its body,
//     DESCRIBE_CLASS(TButton, TButtonControl);
// (Classes.h), and defines StaticClass in its source file with its tables, for example:
//     TClass TButton::StaticClass() {
//       static const TPropInfo props[] = {
//           StringProp<&TButton::ReadCaption, &TButton::WriteCaption>("Caption"),
//           EnumProp<&TButton::isDefault_, &TButton::SetDefault>("Default", BooleanType),
//           EventProp<&TButton::OnClick>("OnClick")};
//       static const TClassInfo info = DescribeClass<TButton>("TButton", props);
//       return &info;
//     }
// The parent class reference comes from the base named in DESCRIBE_CLASS.
// Getters and setters are fields (&C::field_) or member functions (&C::GetX, &C::SetX); an ordinal's
// storage width and signedness come from its C++ type (1, 2 or 4 bytes; enums by their underlying type).
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "Classes.h"

// The object getter below, never the GDI macro: a unit that included the platform headers after Classes.h
// would otherwise see another field name, and the program two layouts of one type.
#undef GetObject

enum class TPropKind : uint8_t { Integer, Enumeration, Event, String, Object };

// An enumeration type: its value names in ordinal order.
struct TEnumType {
  const char* Name;
  const char* const* Values;
  int32_t Count;
};

template <size_t N>
constexpr TEnumType EnumType(const char* name, const char* const (&values)[N]) {
  return TEnumType{name, values, static_cast<int32_t>(N)};
}

extern const TEnumType BooleanType;  // False, True

struct TPropInfo {
  const char* Name;
  TPropKind Kind;
  uint8_t Size;            // ordinals: storage width in bytes
  bool Signed;             // ordinals
  const TEnumType* Enum;   // enumerations
  const void* Signature;   // events: the call signature they accept
  int32_t (*GetOrd)(TPersistent*);
  void (*SetOrd)(TPersistent*, int32_t);
  AnsiString (*GetStr)(TPersistent*);
  void (*SetStr)(TPersistent*, const AnsiString&);
  TMethod (*GetMethod)(TPersistent*);
  void (*SetMethod)(TPersistent*, const TMethod&);
  TPersistent* (*GetObject)(TPersistent*);
};

struct TMethodInfo {
  const char* Name;
  TMethodCode Code;
  const void* Signature;
};

struct TFieldInfo {
  const char* Name;
  TComponent* (*Get)(TPersistent*);
  // False (and nothing stored) when the component is not of the field's class.
  bool (*Set)(TPersistent*, TComponent*);
};

// A view of one published table (an array declared beside the class).
template <class T>
struct TTable {
  const T* Items = nullptr;
  int32_t Count = 0;
  constexpr TTable() = default;
  template <size_t N>
  constexpr TTable(const T (&items)[N]) : Items(items), Count(static_cast<int32_t>(N)) {}
  const T* begin() const { return Items; }
  const T* end() const { return Items + Count; }
};

struct TClassInfo {
  const char* Name;
  TClass Parent;
  // The virtual constructor: creates an instance through CreateComponent; null when the class cannot be
  // instantiated by the reader (not a component, or abstract).
  TComponent* (*Create)(TComponent* owner);
  TTable<TPropInfo> Props;
  TTable<TMethodInfo> Methods;
  TTable<TFieldInfo> Fields;

  bool InheritsFrom(TClass ancestor) const;
};

// ---- lookups (names compared ASCII-case-insensitively; own table first, then the ancestors') ----

bool SameTextAscii(const char* a, const AnsiString& b);
const TPropInfo* FindProperty(TClass cls, const AnsiString& name);
// The ordinal of identifier among the type's value names, or -1.
int32_t EnumValueOf(const TEnumType* type, const AnsiString& identifier);
const TMethodInfo* FindPublishedMethod(TClass cls, const AnsiString& name);
const TFieldInfo* FindPublishedField(const TPersistent* object, const AnsiString& name);

// ---- property access; ordinals are truncated to, and read back from, the property's width ----

int32_t GetOrdProp(TPersistent* instance, const TPropInfo* prop);
void SetOrdProp(TPersistent* instance, const TPropInfo* prop, int32_t value);
AnsiString GetStrProp(TPersistent* instance, const TPropInfo* prop);
void SetStrProp(TPersistent* instance, const TPropInfo* prop, const AnsiString& value);
TMethod GetMethodProp(TPersistent* instance, const TPropInfo* prop);
void SetMethodProp(TPersistent* instance, const TPropInfo* prop, const TMethod& value);
TPersistent* GetObjectProp(TPersistent* instance, const TPropInfo* prop);

// ---- class registry ----

// Registers each class and every ancestor up to the first one already registered (or TPersistent).
void RegisterFormClasses(std::initializer_list<TClass> classes);
// Searches the registry from the last registered class to the first; null when none has that name.
TClass LookUpClass(const AnsiString& name);
// The registry itself, in registration order (items are TClass).
const TList& RegisteredClasses();

// ---- building the tables ----

namespace typinfo_detail {

template <class M>
struct Member;  // what a getter or setter is: a field or an accessor, of which class, of which value type

template <class C, class T>
struct Member<T C::*> {
  static_assert(!std::is_function<T>::value, "use an accessor of the supported forms");
  using Class = C;
  using Value = T;
  static T Read(C* self, T C::*m) { return self->*m; }
  template <class V>
  static void Write(C* self, T C::*m, V&& v) { self->*m = std::forward<V>(v); }
};

template <class C, class R>
struct Member<R (C::*)() const> {
  using Class = C;
  using Value = std::decay_t<R>;
  static Value Read(C* self, R (C::*m)() const) { return (self->*m)(); }
};

template <class C, class R>
struct Member<R (C::*)()> {
  using Class = C;
  using Value = std::decay_t<R>;
  static Value Read(C* self, R (C::*m)()) { return (self->*m)(); }
};

template <class C, class A>
struct Member<void (C::*)(A)> {
  using Class = C;
  using Value = std::decay_t<A>;
  template <class V>
  static void Write(C* self, void (C::*m)(A), V&& v) { (self->*m)(std::forward<V>(v)); }
};

template <auto M>
auto Read(TPersistent* o) {
  using Info = Member<decltype(M)>;
  return Info::Read(static_cast<typename Info::Class*>(o), M);
}

template <auto M, class V>
void Write(TPersistent* o, V&& v) {
  using Info = Member<decltype(M)>;
  Info::Write(static_cast<typename Info::Class*>(o), M, std::forward<V>(v));
}

template <class T>
struct Ordinal {
  using Raw = typename std::conditional_t<std::is_enum<T>::value, std::underlying_type<T>,
                                          std::enable_if<true, T>>::type;
  static_assert(std::is_integral<Raw>::value, "an ordinal property needs an integral or enumeration type");
  static_assert(sizeof(Raw) == 1 || sizeof(Raw) == 2 || sizeof(Raw) == 4, "ordinals are 1, 2 or 4 bytes");
  static constexpr uint8_t Size = sizeof(Raw);
  static constexpr bool Signed = std::is_signed<Raw>::value;
};

template <auto Get>
int32_t GetOrd(TPersistent* o) {
  using T = typename Member<decltype(Get)>::Value;
  return static_cast<int32_t>(static_cast<typename Ordinal<T>::Raw>(Read<Get>(o)));
}

template <auto Set>
void SetOrd(TPersistent* o, int32_t v) {
  using T = typename Member<decltype(Set)>::Value;
  if constexpr (std::is_same<T, bool>::value)
    Write<Set>(o, v != 0);
  else
    Write<Set>(o, static_cast<T>(static_cast<typename Ordinal<T>::Raw>(v)));
}

template <auto Get>
AnsiString GetStr(TPersistent* o) { return Read<Get>(o); }
template <auto Set>
void SetStr(TPersistent* o, const AnsiString& v) { Write<Set>(o, v); }

template <auto Field>
TMethod GetMethod(TPersistent* o) { return Read<Field>(o).Method; }
template <auto Field>
void SetMethod(TPersistent* o, const TMethod& v) {
  using Info = Member<decltype(Field)>;
  (static_cast<typename Info::Class*>(o)->*Field).Method = v;
}

template <auto Get>
TPersistent* GetObject(TPersistent* o) { return Read<Get>(o); }

template <auto Field>
TComponent* GetField(TPersistent* o) { return Read<Field>(o); }

template <auto Field>
bool SetField(TPersistent* o, TComponent* component) {
  using Info = Member<decltype(Field)>;
  using Target = std::remove_pointer_t<typename Info::Value>;
  static_assert(std::is_base_of<TComponent, Target>::value, "a published field holds a component");
  Target* value = component ? dynamic_cast<Target*>(component) : nullptr;
  if (component && !value) return false;
  static_cast<typename Info::Class*>(o)->*Field = value;
  return true;
}

template <class M>
struct Method;
template <class C, class... A>
struct Method<void (C::*)(A...)> {
  using Class = C;
  using Event = TEvent<A...>;
};

// The constructors are protected (CreateComponent reaches them), so every concrete component can be made.
template <class T>
struct CanCreate
    : std::integral_constant<bool, std::is_base_of<TComponent, T>::value && !std::is_abstract<T>::value> {};

template <class T, class = void>
struct HasBase : std::false_type {};
template <class T>
struct HasBase<T, std::void_t<typename T::BaseClass>> : std::true_type {};

template <class T>
TComponent* Create(TComponent* owner) { return CreateComponent<T>(owner); }

}  // namespace typinfo_detail

// An integer property; Set defaults to Get (a field read and written directly).
template <auto Get, auto Set = Get>
TPropInfo IntegerProp(const char* name) {
  using T = typename typinfo_detail::Member<decltype(Get)>::Value;
  using O = typinfo_detail::Ordinal<T>;
  return {name, TPropKind::Integer, O::Size, O::Signed, nullptr, nullptr, &typinfo_detail::GetOrd<Get>,
          &typinfo_detail::SetOrd<Set>, nullptr, nullptr, nullptr, nullptr, nullptr};
}

// An enumeration property with the value names of type (BooleanType for bool).
template <auto Get, auto Set = Get>
TPropInfo EnumProp(const char* name, const TEnumType& type) {
  using T = typename typinfo_detail::Member<decltype(Get)>::Value;
  using O = typinfo_detail::Ordinal<T>;
  return {name, TPropKind::Enumeration, O::Size, O::Signed, &type, nullptr, &typinfo_detail::GetOrd<Get>,
          &typinfo_detail::SetOrd<Set>, nullptr, nullptr, nullptr, nullptr, nullptr};
}

template <auto Get, auto Set = Get>
TPropInfo StringProp(const char* name) {
  return {name, TPropKind::String, 0, false, nullptr, nullptr, nullptr, nullptr,
          &typinfo_detail::GetStr<Get>, &typinfo_detail::SetStr<Set>, nullptr, nullptr, nullptr};
}

// An event property: a TEvent field.
template <auto Field>
TPropInfo EventProp(const char* name) {
  using E = typename typinfo_detail::Member<decltype(Field)>::Value;
  return {name, TPropKind::Event, 0, false, nullptr, E::Signature(), nullptr, nullptr, nullptr, nullptr,
          &typinfo_detail::GetMethod<Field>, &typinfo_detail::SetMethod<Field>, nullptr};
}

// A sub-object (such as a font), usable only as an inner element of a dotted property path.
template <auto Get>
TPropInfo ObjectProp(const char* name) {
  return {name, TPropKind::Object, 0, false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
          nullptr, nullptr, &typinfo_detail::GetObject<Get>};
}

// A published method: void C::M(args) callable through an event of the same arguments.
template <auto M>
TMethodInfo PublishedMethod(const char* name) {
  using Info = typinfo_detail::Method<decltype(M)>;
  // The same thunk as TEvent::Bind, so an event bound in code and one bound by name are equal.
  using Thunk = typename Info::Event::Thunk;
  Thunk code = &Info::Event::template CallMember<M, typename Info::Class>;
  return {name, reinterpret_cast<TMethodCode>(code), Info::Event::Signature()};
}

// A published field: a pointer to a component class, set by Rename and ownership changes.
template <auto Field>
TFieldInfo PublishedField(const char* name) {
  return {name, &typinfo_detail::GetField<Field>, &typinfo_detail::SetField<Field>};
}

// The class reference of T, a class with DESCRIBE_CLASS; its parent is the base named there. Concrete
// components get the virtual constructor.
template <class T>
TClassInfo DescribeClass(const char* name, TTable<TPropInfo> props = {}, TTable<TMethodInfo> methods = {},
                         TTable<TFieldInfo> fields = {}) {
  static_assert(std::is_same<typename T::DescribedClass, T>::value, "DescribeClass needs DESCRIBE_CLASS in T");
  TClass parent = nullptr;
  if constexpr (typinfo_detail::HasBase<T>::value) parent = T::BaseClass::StaticClass();
  TComponent* (*create)(TComponent*) = nullptr;
  if constexpr (typinfo_detail::CanCreate<T>::value) create = &typinfo_detail::Create<T>;
  return TClassInfo{name, parent, create, props, methods, fields};
}
