// Fuzz target: the form reader on any bytes. Stand-ins take the class names of the wizard's resource and of
// the form compiler's test inputs, with a property of every kind the reader accepts. Whatever the input, a read
// either builds a tree that is wholly owned by its root, every bound event pointing at that root, or fails
// with an exception of the framework, leaving no component behind. Each input is read twice: as a root built
// by class name through a 4096-byte buffer, and into a root given beforehand through a 7-byte buffer.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

#define REQUIRE(cond) \
  do {                \
    if (!(cond)) std::abort(); \
  } while (0)

namespace {

int live = 0;

enum TBevelKind : uint8_t { bvNone, bvLowered, bvRaised };
const char* const kBevelNames[] = {"bvNone", "bvLowered", "bvRaised"};
const TEnumType BevelType = EnumType("TPanelBevel", kBevelNames);

class TFontPart : public TPersistent {
  DESCRIBE_CLASS(TFontPart, TPersistent);
  int32_t Height = 0;
  int16_t Size = 0;
};

TClass TFontPart::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TFontPart::Height>("Height"), IntegerProp<&TFontPart::Size>("Size")};
  static const TClassInfo info = DescribeClass<TFontPart>("TFontPart", props);
  return &info;
}

// Every control stand-in: bounds, two enumerations of different widths, a string, events of both
// signatures and a sub-object.
class TPart : public TComponent {
  DESCRIBE_CLASS(TPart, TComponent);
  TFontPart* GetFont() { return &font_; }
  int32_t Left = 0, Top = 0, Width = 0, Height = 0, Color = 0;
  uint8_t Small = 0;
  TBevelKind BevelInner = bvNone;
  bool Flag = false;
  AnsiString Caption;
  TNotifyEvent OnClick;
  TCloseQueryEvent OnAsk;
  TFontPart font_;

 protected:
  explicit TPart(TComponent* owner) : TComponent(owner) { ++live; }
  ~TPart() override { --live; }
};

TClass TPart::StaticClass() {
  static const TPropInfo props[] = {
      IntegerProp<&TPart::Left>("Left"),         IntegerProp<&TPart::Top>("Top"),
      IntegerProp<&TPart::Width>("Width"),       IntegerProp<&TPart::Height>("Height"),
      IntegerProp<&TPart::Color>("Color"),       IntegerProp<&TPart::Small>("Small"),
      EnumProp<&TPart::BevelInner>("BevelInner", BevelType), EnumProp<&TPart::Flag>("AutoSize", BooleanType),
      EnumProp<&TPart::Flag>("Default", BooleanType),        StringProp<&TPart::Caption>("Caption"),
      EventProp<&TPart::OnClick>("OnClick"),     EventProp<&TPart::OnClick>("OnChange"),
      EventProp<&TPart::OnAsk>("OnCloseQuery"),  ObjectProp<&TPart::GetFont>("Font")};
  static const TClassInfo info = DescribeClass<TPart>("TPart", props);
  return &info;
}

#define PART(Class, Name)                                         \
  class Class : public TPart {                                    \
    DESCRIBE_CLASS(Class, TPart);                                 \
                                                                  \
   protected:                                                     \
    using TPart::TPart;                                           \
  };                                                              \
  TClass Class::StaticClass() {                                   \
    static const TClassInfo info = DescribeClass<Class>(Name);    \
    return &info;                                                 \
  }

PART(TPanelPart, "TPanel")
PART(TLabelPart, "TLabel")
PART(TButtonPart, "TButton")
PART(TImagePart, "TImage")
PART(TBevelPart, "TBevel")
PART(TComboPart, "TComboBox")
PART(TFormPart, "TForm1")

// A root with published fields and handlers, under the wizard's class name.
class TRoot : public TPart {
  DESCRIBE_CLASS(TRoot, TPart);
  void BNClick(TObject*) {}
  void FormCloseQuery(TObject*, bool& canClose) { canClose = true; }
  TPanelPart* TopPanel = nullptr;
  TButtonPart* NextBtn = nullptr;
  TPart* Probe = nullptr;

 protected:
  using TPart::TPart;
};

TClass TRoot::StaticClass() {
  static const TMethodInfo methods[] = {PublishedMethod<&TRoot::BNClick>("BNClick"),
                                        PublishedMethod<&TRoot::FormCloseQuery>("FormCloseQuery")};
  static const TFieldInfo fields[] = {PublishedField<&TRoot::TopPanel>("TopPanel"),
                                      PublishedField<&TRoot::NextBtn>("NextBtn"),
                                      PublishedField<&TRoot::Probe>("Probe")};
  static const TClassInfo info = DescribeClass<TRoot>("TMainForm", {}, methods, fields);
  return &info;
}

// The form compiler's test root: one property per value kind.
class TThing : public TRoot {
  DESCRIBE_CLASS(TThing, TRoot);
  int8_t I8 = 0;
  int16_t I16 = 0;
  int32_t I32 = 0;
  TBevelKind Enum = bvNone;
  bool Yes = false;
  AnsiString Text;

 protected:
  using TRoot::TRoot;
};

TClass TThing::StaticClass() {
  static const TPropInfo props[] = {
      IntegerProp<&TThing::I8>("I8Min"),     IntegerProp<&TThing::I8>("I8Max"),
      IntegerProp<&TThing::I16>("I16Low"),   IntegerProp<&TThing::I16>("I16Min"),
      IntegerProp<&TThing::I32>("I32Max"),   IntegerProp<&TThing::I32>("HexColor"),
      StringProp<&TThing::Text>("Text"),     StringProp<&TThing::Text>("Utf8"),
      EnumProp<&TThing::Enum>("Enum", BevelType), EnumProp<&TThing::Yes>("Yes", BooleanType),
      EnumProp<&TThing::Yes>("No", BooleanType),  EventProp<&TThing::OnClick>("Handler"),
      EventProp<&TThing::OnClick>("Cleared")};
  static const TClassInfo info = DescribeClass<TThing>("TThing", props);
  return &info;
}

// Whole tree owned by the root, each event bound to the root (or to nothing), no stand-in left elsewhere.
// "TComponent" itself is registered too (as an ancestor), so not every component is a stand-in.
void CheckTree(TComponent* root) {
  int parts = dynamic_cast<TPart*>(root) ? 1 : 0;
  for (int32_t i = 0; i < root->ComponentCount(); ++i) {
    TComponent* component = root->ComponentAt(i);
    REQUIRE(component->Owner() == root);
    if (auto* part = dynamic_cast<TPart*>(component)) {
      ++parts;
      REQUIRE(!part->OnClick.Assigned() || part->OnClick.Method.Data == root);
      REQUIRE(!part->OnAsk.Assigned() || part->OnAsk.Method.Data == root);
    }
  }
  REQUIRE(live == parts);
}

void ReadOnce(const uint8_t* data, size_t size, bool givenRoot) {
  TMemoryStream stream;
  if (size > 0) REQUIRE(stream.WriteBytes(data, static_cast<int32_t>(size)) == static_cast<int32_t>(size));
  stream.SetPos(0);
  TComponentPtr<TComponent> root(givenRoot ? CreateComponent<TRoot>(nullptr) : nullptr);
  try {
    TReader reader(&stream, givenRoot ? 7 : 4096);
    TComponent* read = reader.ReadRootComponent(root.get());
    if (!givenRoot) root.reset(read);
    CheckTree(root.get());
  } catch (const Exception&) {
    // Refused: nothing it built may be left over.
    REQUIRE(live == (givenRoot ? 1 + root->ComponentCount() : 0));
  }
  REQUIRE(stream.Position() >= 0 && stream.Position() <= static_cast<int32_t>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = [] {
    RegisterFormClasses({TPanelPart::StaticClass(), TLabelPart::StaticClass(), TButtonPart::StaticClass(),
                         TImagePart::StaticClass(), TBevelPart::StaticClass(), TComboPart::StaticClass(),
                         TFormPart::StaticClass(), TRoot::StaticClass(), TThing::StaticClass()});
    return true;
  }();
  (void)registered;
  if (size > 1 << 20) return 0;
  ReadOnce(data, size, false);
  ReadOnce(data, size, true);
  REQUIRE(live == 0);
  return 0;
}
