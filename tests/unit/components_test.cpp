// Components and the run-time class model: ownership, naming and field binding, destruction order,
// published properties, methods and fields, events, the virtual constructor and the class registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

namespace {

class TNoted;
struct DestroyRecord {
  std::string name;
  bool allFlagged;  // every component still alive, this one included, had the destroying flag
};
std::vector<DestroyRecord> destroyed;
std::set<const TNoted*> alive;

// A component that notes its destruction and its construction steps.
class TNoted : public TComponent {
  DESCRIBE_CLASS(TNoted, TComponent);
  void AfterConstruction() override {
    ++afterConstruction;
    if (failConstruction) throw Exception("construction refused");
  }
  int afterConstruction = 0;
  static bool failConstruction;

 protected:
  explicit TNoted(TComponent* owner) : TComponent(owner) { alive.insert(this); }
  ~TNoted() override {
    bool allFlagged = true;
    for (const TNoted* c : alive) allFlagged = allFlagged && (c->ComponentState() & csDestroying);
    destroyed.push_back({Name(), allFlagged});
    alive.erase(this);
  }
};
bool TNoted::failConstruction = false;

TClass TNoted::StaticClass() {
  static const TClassInfo info = DescribeClass<TNoted>("TNoted");
  return &info;
}

// A sub-object reached through a dotted path.
class TShape : public TPersistent {
  DESCRIBE_CLASS(TShape, TPersistent);
  int16_t Height = 0;
};

TClass TShape::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TShape::Height>("Height")};
  static const TClassInfo info = DescribeClass<TShape>("TShape", props);
  return &info;
}

enum TShade : uint8_t { shLight, shDark, shBlack };
enum TWideEnum : uint16_t { weFirst, weSecond };
enum TSignedEnum : int32_t { seFirst, seSecond };
const char* const kShadeNames[] = {"shLight", "shDark", "shBlack"};
const char* const kWideNames[] = {"weFirst", "weSecond"};
const char* const kSignedNames[] = {"seFirst", "seSecond"};
const TEnumType ShadeType = EnumType("TShade", kShadeNames);
const TEnumType WideType = EnumType("TWideEnum", kWideNames);
const TEnumType SignedType = EnumType("TSignedEnum", kSignedNames);

// One property of every kind and width, through fields and through accessors.
class TGadget : public TNoted {
  DESCRIBE_CLASS(TGadget, TNoted);

  int32_t GetSize() const { return size_; }
  void SetSize(int32_t value) {
    size_ = value;
    ++sizeSets;
  }
  const AnsiString& GetText() const { return text_; }
  void SetText(const AnsiString& value) { text_ = "[" + value + "]"; }

  uint8_t Small = 0;
  int8_t Tiny = 0;
  uint16_t Medium = 0;
  int16_t SignedMedium = 0;
  int32_t size_ = 0;
  int sizeSets = 0;
  TShade Shade = shLight;
  TWideEnum Wide = weFirst;
  TSignedEnum Signed = seFirst;
  bool Enabled = false;
  AnsiString text_;
  TShape Shape;
  TShape* GetShape() { return &Shape; }
  TNotifyEvent OnPing;
  TCloseQueryEvent OnAsk;

 protected:
  using TNoted::TNoted;
};

TClass TGadget::StaticClass() {
  static const TPropInfo props[] = {
      IntegerProp<&TGadget::Small>("Small"),
      IntegerProp<&TGadget::Tiny>("Tiny"),
      IntegerProp<&TGadget::Medium>("Medium"),
      IntegerProp<&TGadget::SignedMedium>("SignedMedium"),
      IntegerProp<&TGadget::GetSize, &TGadget::SetSize>("Size"),
      EnumProp<&TGadget::Shade>("Shade", ShadeType),
      EnumProp<&TGadget::Wide>("Wide", WideType),
      EnumProp<&TGadget::Signed>("Signed", SignedType),
      EnumProp<&TGadget::Enabled>("Enabled", BooleanType),
      StringProp<&TGadget::GetText, &TGadget::SetText>("Text"),
      ObjectProp<&TGadget::GetShape>("Shape"),
      EventProp<&TGadget::OnPing>("OnPing"),
      EventProp<&TGadget::OnAsk>("OnAsk")};
  static const TClassInfo info = DescribeClass<TGadget>("TGadget", props);
  return &info;
}

// A form-like owner: published fields for its components and published handlers.
class THolder : public TNoted {
  DESCRIBE_CLASS(THolder, TNoted);

  void Ping(TObject* sender) { pings.push_back(sender); }
  void Ask(TObject* sender, bool& canClose) {
    asked = sender;
    canClose = allowClose;
  }

  TNoted* Alpha = nullptr;
  TGadget* Beta = nullptr;
  std::vector<TObject*> pings;
  TObject* asked = nullptr;
  bool allowClose = false;

 protected:
  using TNoted::TNoted;
};

TClass THolder::StaticClass() {
  static const TMethodInfo methods[] = {PublishedMethod<&THolder::Ping>("Ping"),
                                        PublishedMethod<&THolder::Ask>("Ask")};
  static const TFieldInfo fields[] = {PublishedField<&THolder::Alpha>("Alpha"),
                                      PublishedField<&THolder::Beta>("Beta")};
  static const TClassInfo info = DescribeClass<THolder>("THolder", {}, methods, fields);
  return &info;
}

// Extends the holder: its own tables come first, the holder's are searched after them.
class TBigHolder : public THolder {
  DESCRIBE_CLASS(TBigHolder, THolder);
  void Gamma(TObject* sender) { gammas.push_back(sender); }
  TNoted* Delta = nullptr;
  std::vector<TObject*> gammas;

 protected:
  using THolder::THolder;
};

TClass TBigHolder::StaticClass() {
  static const TMethodInfo methods[] = {PublishedMethod<&TBigHolder::Gamma>("Gamma")};
  static const TFieldInfo fields[] = {PublishedField<&TBigHolder::Delta>("Delta")};
  static const TClassInfo info =
      DescribeClass<TBigHolder>("TBigHolder", {}, methods, fields);
  return &info;
}

std::vector<std::string> DestroyedNames() {
  std::vector<std::string> names;
  for (const auto& r : destroyed) names.push_back(r.name);
  return names;
}

TNoted* Named(TComponent* owner, const char* name) {
  auto* c = CreateComponent<TNoted>(owner);
  c->Rename(name);
  return c;
}

// ---- ownership ----

TEST(Components, OwnerKeepsItsComponentsInCreationOrder) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  EXPECT_EQ(holder->Components(), nullptr);  // no list until the first component arrives
  EXPECT_EQ(holder->ComponentCount(), 0);
  TNoted* a = CreateComponent<TNoted>(holder.get());
  TNoted* b = CreateComponent<TNoted>(holder.get());
  ASSERT_NE(holder->Components(), nullptr);
  ASSERT_EQ(holder->ComponentCount(), 2);
  EXPECT_EQ(holder->ComponentAt(0), a);
  EXPECT_EQ(holder->ComponentAt(1), b);
  EXPECT_EQ(a->Owner(), holder.get());
  EXPECT_EQ(holder->Owner(), nullptr);

  holder->RemoveOwned(a);
  EXPECT_EQ(a->Owner(), nullptr);
  EXPECT_EQ(holder->ComponentCount(), 1);
  holder->RemoveOwned(b);
  EXPECT_EQ(holder->Components(), nullptr);  // freed with the last one
  holder->AddOwned(b);
  EXPECT_EQ(b->Owner(), holder.get());
  FreeComponent(a);
}

TEST(Components, AddOwnedBindsAndRemoveOwnedUnbindsTheFieldOfTheChildsName) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TNoted* alpha = Named(nullptr, "Alpha");
  holder->AddOwned(alpha);
  EXPECT_EQ(holder->Alpha, alpha);
  holder->RemoveOwned(alpha);
  EXPECT_EQ(holder->Alpha, nullptr);
  FreeComponent(alpha);
}

TEST(Components, DestructionGoesLastCreatedFirstWithEveryOwnedComponentFlaggedBeforehand) {
  destroyed.clear();
  THolder* top = CreateComponent<THolder>(nullptr);
  top->Rename("top");
  TNoted* first = Named(top, "first");
  Named(first, "first.inner");
  Named(top, "second");
  Named(top, "third");
  FreeComponent(top);
  // Each entry is noted as its destructor starts, once what it owns is gone: the whole tree is torn down
  // before any destructor of the freed component runs.
  EXPECT_EQ(DestroyedNames(), (std::vector<std::string>{"third", "second", "first.inner", "first", "top"}));
  ASSERT_EQ(destroyed.size(), 5u);
  for (const DestroyRecord& r : destroyed) EXPECT_TRUE(r.allFlagged) << r.name;
  EXPECT_TRUE(alive.empty());
}

TEST(Components, DestroyingAnOwnedComponentTakesItOutOfItsOwner) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TNoted* alpha = Named(holder.get(), "Alpha");
  TNoted* other = Named(holder.get(), "Other");
  EXPECT_EQ(holder->Alpha, alpha);
  FreeComponent(alpha);
  EXPECT_EQ(holder->Alpha, nullptr);
  ASSERT_EQ(holder->ComponentCount(), 1);
  EXPECT_EQ(holder->ComponentAt(0), other);
}

TEST(Components, DestroyComponentsEmptiesTheOwnerAndLeavesItUsable) {
  destroyed.clear();
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  Named(holder.get(), "Alpha");
  Named(holder.get(), "b");
  holder->DestroyComponents();
  EXPECT_EQ(DestroyedNames(), (std::vector<std::string>{"b", "Alpha"}));
  EXPECT_EQ(holder->Components(), nullptr);
  EXPECT_NE(holder->ComponentState() & csDestroying, 0);
}

TEST(Components, AddOwnedTakesTheComponentFromItsPreviousOwner) {
  destroyed.clear();
  THolder* first = CreateComponent<THolder>(nullptr);
  THolder* second = CreateComponent<THolder>(nullptr);
  TNoted* alpha = Named(first, "Alpha");
  second->AddOwned(alpha);
  EXPECT_EQ(alpha->Owner(), second);
  EXPECT_EQ(second->Alpha, alpha);
  EXPECT_EQ(first->Alpha, nullptr);
  ASSERT_EQ(first->ComponentCount(), 0);  // else freeing both owners would free it twice
  ASSERT_EQ(second->ComponentCount(), 1);
  FreeComponent(first);
  FreeComponent(second);
  const std::vector<std::string> names = DestroyedNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Alpha"), 1);
}

// ---- teardown ----

// An owner that its components report to while they are torn down, as controls tell their form that the
// focus or the control list changed. It knows whether it is still whole when a report arrives, and
// whether its published fields then point only at live components.
std::set<const void*> wholeListeners;
std::vector<std::string> heard;  // reports that reached a whole owner, in order
int reportsToDeadOwners = 0;
bool fieldsLive = true;

class TListener : public THolder {
  DESCRIBE_CLASS(TListener, THolder);
  void Hear(const AnsiString& name) {
    if (!wholeListeners.count(this)) {
      ++reportsToDeadOwners;
      return;
    }
    heard.push_back(name);
    fieldsLive = fieldsLive && (!Alpha || alive.count(Alpha));
  }

 protected:
  using THolder::THolder;
  ~TListener() override { wholeListeners.erase(this); }
};

class TReporter : public TNoted {
  DESCRIBE_CLASS(TReporter, TNoted);
  TListener* listener = nullptr;

 protected:
  using TNoted::TNoted;
  ~TReporter() override {
    if (listener) listener->Hear(Name());
  }
};

TClass TListener::StaticClass() {
  static const TClassInfo info = DescribeClass<TListener>("TListener");
  return &info;
}

TClass TReporter::StaticClass() {
  static const TClassInfo info = DescribeClass<TReporter>("TReporter");
  return &info;
}

TEST(Components, AnOwnerIsStillWholeWhileItsComponentsAreTornDown) {
  reportsToDeadOwners = 0;
  heard.clear();
  fieldsLive = true;
  TListener* form = CreateComponent<TListener>(nullptr);
  wholeListeners.insert(form);
  // A panel of the form with a reporter inside, then two reporters straight under the form; the form's
  // field Alpha names the second, which is freed before the panel's reporter reports.
  TNoted* panel = Named(form, "panel");
  for (auto [owner, name] : {std::pair<TComponent*, const char*>{panel, "inner"}, {form, "Alpha"}, {form, "last"}}) {
    auto* r = CreateComponent<TReporter>(owner);
    r->Rename(name);
    r->listener = form;
  }
  ASSERT_NE(form->Alpha, nullptr);
  FreeComponent(form);
  EXPECT_EQ(reportsToDeadOwners, 0);
  EXPECT_EQ(heard, (std::vector<std::string>{"last", "Alpha", "inner"}));
  EXPECT_TRUE(fieldsLive);
}

// ---- naming ----

TEST(Components, RenameMovesTheOwnersFieldBinding) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TNoted* c = Named(holder.get(), "Alpha");
  EXPECT_EQ(holder->Alpha, c);
  EXPECT_EQ(c->Name(), "Alpha");

  // The same name again touches nothing, not even a field pointed elsewhere meanwhile.
  TNoted* stranger = CreateComponent<TNoted>(nullptr);
  holder->Alpha = stranger;
  c->Rename("Alpha");
  EXPECT_EQ(holder->Alpha, stranger);
  holder->Alpha = c;

  // A different name clears the old field and fills the new one; field names match in any letter case.
  auto* gadget = CreateComponent<TGadget>(holder.get());
  gadget->Rename("beta");
  EXPECT_EQ(holder->Beta, gadget);
  gadget->Rename("Beta");  // differs from "beta" exactly: unbinds, then binds the same field again
  EXPECT_EQ(holder->Beta, gadget);
  gadget->Rename("Other");
  EXPECT_EQ(holder->Beta, nullptr);
  EXPECT_EQ(gadget->Name(), "Other");

  // A name without a field binds nothing; leaving it clears the old field.
  c->Rename("Nowhere");
  EXPECT_EQ(holder->Alpha, nullptr);
  FreeComponent(stranger);
}

TEST(Components, RenameWithoutOwnerOnlyStoresTheName) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TComponentPtr<TNoted> loose(CreateComponent<TNoted>(nullptr));
  loose->Rename("Alpha");
  EXPECT_EQ(loose->Name(), "Alpha");
  EXPECT_EQ(holder->Alpha, nullptr);
}

TEST(Components, AFieldRefusesAComponentOfAnotherClass) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TNoted* plain = CreateComponent<TNoted>(holder.get());
  try {
    plain->Rename("Beta");  // Beta holds a TGadget
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.Message).find("Beta"), std::string::npos) << e.Message;
    EXPECT_NE(std::string(e.Message).find("TNoted"), std::string::npos) << e.Message;
  }
  EXPECT_EQ(holder->Beta, nullptr);
}

TEST(Components, FieldsOfAncestorsBindToo) {
  TComponentPtr<TBigHolder> big(CreateComponent<TBigHolder>(nullptr));
  TNoted* alpha = Named(big.get(), "ALPHA");
  TNoted* delta = Named(big.get(), "delta");
  EXPECT_EQ(big->Alpha, alpha);
  EXPECT_EQ(big->Delta, delta);
  EXPECT_EQ(FindPublishedField(big.get(), "Gamma"), nullptr);
}

// ---- the class model ----

TEST(ClassModel, ClassReferencesKnowNameParentAndInstanceClass) {
  TComponentPtr<TGadget> gadget(CreateComponent<TGadget>(nullptr));
  EXPECT_EQ(gadget->ClassType(), TGadget::StaticClass());
  EXPECT_EQ(gadget->ClassName(), "TGadget");
  EXPECT_EQ(TGadget::StaticClass()->Parent, TNoted::StaticClass());
  EXPECT_EQ(TComponent::StaticClass()->Parent, TPersistent::StaticClass());
  EXPECT_EQ(TPersistent::StaticClass()->Parent, nullptr);
  EXPECT_TRUE(TGadget::StaticClass()->InheritsFrom(TComponent::StaticClass()));
  EXPECT_FALSE(TComponent::StaticClass()->InheritsFrom(TGadget::StaticClass()));
  EXPECT_EQ(TShape::StaticClass()->Create, nullptr);  // not a component: the reader cannot build it
}

TEST(ClassModel, TheVirtualConstructorBuildsTheRightClassWithItsOwner) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TClass cls = TGadget::StaticClass();
  TComponent* made = cls->Create(holder.get());
  auto* gadget = dynamic_cast<TGadget*>(made);
  ASSERT_NE(gadget, nullptr);
  EXPECT_EQ(gadget->Owner(), holder.get());
  EXPECT_EQ(gadget->afterConstruction, 1);
}

TEST(ClassModel, AFailedAfterConstructionLeavesNothingBehind) {
  destroyed.clear();
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TNoted::failConstruction = true;
  EXPECT_THROW(TNoted::StaticClass()->Create(holder.get()), Exception);
  TNoted::failConstruction = false;
  EXPECT_EQ(holder->ComponentCount(), 0);
  EXPECT_EQ(destroyed.size(), 1u);
}

TEST(ClassModel, FindPropertySearchesOwnTableThenAncestorsInAnyLetterCase) {
  const TPropInfo* size = FindProperty(TGadget::StaticClass(), "SIZE");
  ASSERT_NE(size, nullptr);
  EXPECT_STREQ(size->Name, "Size");
  EXPECT_EQ(size->Kind, TPropKind::Integer);
  const TPropInfo* name = FindProperty(TGadget::StaticClass(), "name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name, FindProperty(TComponent::StaticClass(), "Name"));
  EXPECT_EQ(name->Kind, TPropKind::String);
  EXPECT_EQ(FindProperty(TGadget::StaticClass(), "Siz"), nullptr);
  EXPECT_EQ(FindProperty(TGadget::StaticClass(), "Sizes"), nullptr);
  EXPECT_EQ(FindProperty(TComponent::StaticClass(), "Size"), nullptr);
}

TEST(ClassModel, OrdinalWidthsComeFromTheStorageType) {
  struct Expect {
    const char* name;
    uint8_t size;
    bool isSigned;
    TPropKind kind;
  };
  const Expect expected[] = {{"Small", 1, false, TPropKind::Integer},
                             {"Tiny", 1, true, TPropKind::Integer},
                             {"Medium", 2, false, TPropKind::Integer},
                             {"SignedMedium", 2, true, TPropKind::Integer},
                             {"Size", 4, true, TPropKind::Integer},
                             {"Shade", 1, false, TPropKind::Enumeration},
                             {"Wide", 2, false, TPropKind::Enumeration},
                             {"Signed", 4, true, TPropKind::Enumeration},
                             {"Enabled", 1, false, TPropKind::Enumeration}};
  for (const Expect& e : expected) {
    const TPropInfo* prop = FindProperty(TGadget::StaticClass(), e.name);
    ASSERT_NE(prop, nullptr) << e.name;
    EXPECT_EQ(prop->Size, e.size) << e.name;
    EXPECT_EQ(prop->Signed, e.isSigned) << e.name;
    EXPECT_EQ(prop->Kind, e.kind) << e.name;
  }
}

TEST(ClassModel, OrdinalsAreStoredTruncatedToTheirWidth) {
  TComponentPtr<TGadget> g(CreateComponent<TGadget>(nullptr));
  TClass cls = TGadget::StaticClass();
  SetOrdProp(g.get(), FindProperty(cls, "Small"), -1);
  EXPECT_EQ(g->Small, 255);
  EXPECT_EQ(GetOrdProp(g.get(), FindProperty(cls, "Small")), 255);
  SetOrdProp(g.get(), FindProperty(cls, "Small"), 0x1234);
  EXPECT_EQ(g->Small, 0x34);
  SetOrdProp(g.get(), FindProperty(cls, "Tiny"), 0xFF);
  EXPECT_EQ(g->Tiny, -1);
  EXPECT_EQ(GetOrdProp(g.get(), FindProperty(cls, "Tiny")), -1);
  SetOrdProp(g.get(), FindProperty(cls, "Medium"), -1);
  EXPECT_EQ(g->Medium, 0xFFFF);
  SetOrdProp(g.get(), FindProperty(cls, "SignedMedium"), 0x18000);
  EXPECT_EQ(g->SignedMedium, -32768);
  SetOrdProp(g.get(), FindProperty(cls, "Size"), -70000);
  EXPECT_EQ(g->size_, -70000);
  EXPECT_EQ(g->sizeSets, 1);  // through the setter
  EXPECT_EQ(GetOrdProp(g.get(), FindProperty(cls, "Size")), -70000);
}

TEST(ClassModel, EnumValueOfFindsTheOrdinalInAnyLetterCase) {
  EXPECT_EQ(EnumValueOf(&ShadeType, "shLight"), 0);
  EXPECT_EQ(EnumValueOf(&ShadeType, "SHDARK"), 1);
  EXPECT_EQ(EnumValueOf(&ShadeType, "shblack"), 2);
  EXPECT_EQ(EnumValueOf(&ShadeType, "shGrey"), -1);
  EXPECT_EQ(EnumValueOf(&ShadeType, ""), -1);
  EXPECT_EQ(EnumValueOf(&BooleanType, "false"), 0);
  EXPECT_EQ(EnumValueOf(&BooleanType, "True"), 1);

  // An unknown identifier stored as -1 fills the property's width.
  TComponentPtr<TGadget> g(CreateComponent<TGadget>(nullptr));
  TClass cls = TGadget::StaticClass();
  SetOrdProp(g.get(), FindProperty(cls, "Shade"), EnumValueOf(&ShadeType, "shGrey"));
  EXPECT_EQ(static_cast<int>(g->Shade), 255);
  SetOrdProp(g.get(), FindProperty(cls, "Wide"), -1);
  EXPECT_EQ(static_cast<int>(g->Wide), 0xFFFF);
  SetOrdProp(g.get(), FindProperty(cls, "Signed"), -1);
  EXPECT_EQ(static_cast<int>(g->Signed), -1);
  SetOrdProp(g.get(), FindProperty(cls, "Enabled"), 1);
  EXPECT_TRUE(g->Enabled);
  SetOrdProp(g.get(), FindProperty(cls, "Enabled"), 0);
  EXPECT_FALSE(g->Enabled);
}

TEST(ClassModel, StringsGoThroughTheirAccessorsAndNameRenames) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  auto* g = CreateComponent<TGadget>(holder.get());
  SetStrProp(g, FindProperty(TGadget::StaticClass(), "Text"), "hello");
  EXPECT_EQ(g->GetText(), "[hello]");
  EXPECT_EQ(GetStrProp(g, FindProperty(TGadget::StaticClass(), "Text")), "[hello]");
  SetStrProp(g, FindProperty(TGadget::StaticClass(), "Name"), "Beta");
  EXPECT_EQ(g->Name(), "Beta");
  EXPECT_EQ(holder->Beta, g);
}

TEST(ClassModel, ObjectPropertiesLeadToTheSubObjectsTable) {
  TComponentPtr<TGadget> g(CreateComponent<TGadget>(nullptr));
  const TPropInfo* shapeProp = FindProperty(TGadget::StaticClass(), "Shape");
  ASSERT_NE(shapeProp, nullptr);
  EXPECT_EQ(shapeProp->Kind, TPropKind::Object);
  TPersistent* shape = GetObjectProp(g.get(), shapeProp);
  EXPECT_EQ(shape, &g->Shape);
  const TPropInfo* height = FindProperty(shape->ClassType(), "height");
  ASSERT_NE(height, nullptr);
  SetOrdProp(shape, height, 300);
  EXPECT_EQ(g->Shape.Height, 300);
}

TEST(ClassModel, PublishedMethodsAreFoundInAnyLetterCaseAndThroughAncestors) {
  const TMethodInfo* ping = FindPublishedMethod(THolder::StaticClass(), "PING");
  ASSERT_NE(ping, nullptr);
  EXPECT_STREQ(ping->Name, "Ping");
  EXPECT_EQ(FindPublishedMethod(TBigHolder::StaticClass(), "ping"), ping);
  EXPECT_NE(FindPublishedMethod(TBigHolder::StaticClass(), "Gamma"), nullptr);
  EXPECT_EQ(FindPublishedMethod(THolder::StaticClass(), "Gamma"), nullptr);
  EXPECT_EQ(FindPublishedMethod(THolder::StaticClass(), "Pin"), nullptr);
}

TEST(ClassModel, AnEventBoundToAPublishedMethodCallsItWithTheSender) {
  TComponentPtr<TBigHolder> big(CreateComponent<TBigHolder>(nullptr));
  auto* g = CreateComponent<TGadget>(big.get());
  EXPECT_FALSE(g->OnPing.Assigned());
  g->OnPing(g);  // an unassigned event does nothing

  const TPropInfo* onPing = FindProperty(TGadget::StaticClass(), "OnPing");
  ASSERT_NE(onPing, nullptr);
  EXPECT_EQ(onPing->Kind, TPropKind::Event);
  const TMethodInfo* gamma = FindPublishedMethod(TBigHolder::StaticClass(), "Gamma");
  EXPECT_EQ(gamma->Signature, onPing->Signature);
  SetMethodProp(g, onPing, TMethod{gamma->Code, big.get()});
  ASSERT_TRUE(g->OnPing.Assigned());
  EXPECT_EQ(GetMethodProp(g, onPing).Data, big.get());
  g->OnPing(g);
  ASSERT_EQ(big->gammas.size(), 1u);
  EXPECT_EQ(big->gammas[0], g);
  EXPECT_TRUE(big->pings.empty());

  // A method of the ancestor's table, called on the descendant.
  SetMethodProp(g, onPing, TMethod{FindPublishedMethod(TBigHolder::StaticClass(), "Ping")->Code, big.get()});
  g->OnPing(big.get());
  ASSERT_EQ(big->pings.size(), 1u);
  EXPECT_EQ(big->pings[0], big.get());

  SetMethodProp(g, onPing, TMethod{});
  EXPECT_FALSE(g->OnPing.Assigned());
}

TEST(ClassModel, ACloseQueryEventPassesCanCloseBothWays) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  auto* g = CreateComponent<TGadget>(holder.get());
  const TMethodInfo* ask = FindPublishedMethod(THolder::StaticClass(), "ask");
  const TPropInfo* onAsk = FindProperty(TGadget::StaticClass(), "OnAsk");
  EXPECT_EQ(ask->Signature, onAsk->Signature);
  EXPECT_NE(ask->Signature, FindProperty(TGadget::StaticClass(), "OnPing")->Signature);
  SetMethodProp(g, onAsk, TMethod{ask->Code, holder.get()});
  bool canClose = true;
  g->OnAsk(g, canClose);
  EXPECT_FALSE(canClose);
  EXPECT_EQ(holder->asked, g);
  holder->allowClose = true;
  g->OnAsk(g, canClose);
  EXPECT_TRUE(canClose);
}

TEST(ClassModel, EventsCanBeBoundInCode) {
  TComponentPtr<THolder> holder(CreateComponent<THolder>(nullptr));
  TComponentPtr<TGadget> gadget(CreateComponent<TGadget>(nullptr));
  gadget->OnPing.Bind<&THolder::Ping>(holder.get());
  gadget->OnPing(gadget.get());
  ASSERT_EQ(holder->pings.size(), 1u);
  EXPECT_EQ(holder->pings[0], gadget.get());
  // The same code as the published entry, so a bound event compares equal to a read one.
  EXPECT_EQ(gadget->OnPing.Method.Code, FindPublishedMethod(THolder::StaticClass(), "Ping")->Code);
}

TEST(ClassModel, AfterLoadClearsTheLoadingFlagOnly) {
  TComponentPtr<TNoted> c(CreateComponent<TNoted>(nullptr));
  c->IncludeState(csLoading | csReading);
  c->AfterLoad();
  EXPECT_EQ(c->ComponentState(), csReading);
}

// ---- the registry ----

// Registered under an existing name, later than the first: lookups find this one.
class TGadgetV2 : public TGadget {
  DESCRIBE_CLASS(TGadgetV2, TGadget);

 protected:
  using TGadget::TGadget;
};

TClass TGadgetV2::StaticClass() {
  static const TClassInfo info = DescribeClass<TGadgetV2>("TGadget");
  return &info;
}

std::vector<std::string> RegistryNames() {
  std::vector<std::string> names;
  const TList& registry = RegisteredClasses();
  for (int32_t i = 0; i < registry.Count(); ++i) names.push_back(static_cast<TClass>(registry.ItemAt(i))->Name);
  return names;
}

TEST(Registry, RegisteringWalksUpToTheFirstKnownAncestorOrTPersistent) {
  ASSERT_EQ(RegisteredClasses().Count(), 0) << "this program registers nothing else";
  EXPECT_EQ(LookUpClass("TGadget"), nullptr);
  RegisterFormClasses({TGadget::StaticClass(), THolder::StaticClass()});
  EXPECT_EQ(RegistryNames(),
            (std::vector<std::string>{"TGadget", "TNoted", "TComponent", "TPersistent", "THolder"}));
  RegisterFormClasses({TGadget::StaticClass(), TBigHolder::StaticClass()});  // known ones are not repeated
  EXPECT_EQ(RegistryNames(),
            (std::vector<std::string>{"TGadget", "TNoted", "TComponent", "TPersistent", "THolder", "TBigHolder"}));

  EXPECT_EQ(LookUpClass("tgadget"), TGadget::StaticClass());
  EXPECT_EQ(LookUpClass("TCOMPONENT"), TComponent::StaticClass());
  EXPECT_EQ(LookUpClass("TGadge"), nullptr);
  EXPECT_EQ(LookUpClass(""), nullptr);

  RegisterFormClasses({TGadgetV2::StaticClass()});
  EXPECT_EQ(RegisteredClasses().Count(), 7);
  EXPECT_EQ(LookUpClass("TGadget"), TGadgetV2::StaticClass());  // the last registered wins
}

}  // namespace
