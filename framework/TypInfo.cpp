// Run-time class model: lookups over the published tables, property access and the class registry.
#include "TypInfo.h"

namespace {
const char* const kBooleanNames[] = {"False", "True"};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

TList& Registry() {
  static TList classes;
  return classes;
}
}  // namespace

const TEnumType BooleanType = EnumType("Boolean", kBooleanNames);

bool TClassInfo::InheritsFrom(TClass ancestor) const {
  for (TClass c = this; c; c = c->Parent)
    if (c == ancestor) return true;
  return false;
}

bool SameTextAscii(const char* a, const AnsiString& b) {
  size_t i = 0;
  for (; a[i]; ++i)
    if (i >= b.size() || LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return i == b.size();
}

const TPropInfo* FindProperty(TClass cls, const AnsiString& name) {
  for (TClass c = cls; c; c = c->Parent)
    for (const TPropInfo& prop : c->Props)
      if (SameTextAscii(prop.Name, name)) return &prop;
  return nullptr;
}

int32_t EnumValueOf(const TEnumType* type, const AnsiString& identifier) {
  for (int32_t i = 0; i < type->Count; ++i)
    if (SameTextAscii(type->Values[i], identifier)) return i;
  return -1;
}

const TMethodInfo* FindPublishedMethod(TClass cls, const AnsiString& name) {
  for (TClass c = cls; c; c = c->Parent)
    for (const TMethodInfo& method : c->Methods)
      if (SameTextAscii(method.Name, name)) return &method;
  return nullptr;
}

const TFieldInfo* FindPublishedField(const TPersistent* object, const AnsiString& name) {
  for (TClass c = object->ClassType(); c; c = c->Parent)
    for (const TFieldInfo& field : c->Fields)
      if (SameTextAscii(field.Name, name)) return &field;
  return nullptr;
}

// The accessors convert through the storage type, which cuts a value to the property's width on the way in
// and sign- or zero-extends it on the way out.
int32_t GetOrdProp(TPersistent* instance, const TPropInfo* prop) { return prop->GetOrd(instance); }

void SetOrdProp(TPersistent* instance, const TPropInfo* prop, int32_t value) { prop->SetOrd(instance, value); }

AnsiString GetStrProp(TPersistent* instance, const TPropInfo* prop) { return prop->GetStr(instance); }

void SetStrProp(TPersistent* instance, const TPropInfo* prop, const AnsiString& value) {
  prop->SetStr(instance, value);
}

TMethod GetMethodProp(TPersistent* instance, const TPropInfo* prop) { return prop->GetMethod(instance); }

void SetMethodProp(TPersistent* instance, const TPropInfo* prop, const TMethod& value) {
  prop->SetMethod(instance, value);
}

TPersistent* GetObjectProp(TPersistent* instance, const TPropInfo* prop) { return prop->GetObject(instance); }

void RegisterFormClasses(std::initializer_list<TClass> classes) {
  TList& registry = Registry();
  const TClass root = TPersistent::StaticClass();
  for (TClass cls : classes) {
    for (TClass c = cls; c; c = c->Parent) {
      if (registry.IndexOfItem(const_cast<TClassInfo*>(c)) >= 0) break;
      registry.Append(const_cast<TClassInfo*>(c));
      if (c == root) break;
    }
  }
}

TClass LookUpClass(const AnsiString& name) {
  const TList& registry = Registry();
  for (int32_t i = registry.Count() - 1; i >= 0; --i) {
    auto cls = static_cast<TClass>(registry.ItemAt(i));
    if (SameTextAscii(cls->Name, name)) return cls;
  }
  return nullptr;
}

const TList& RegisteredClasses() { return Registry(); }
