// The form reader: the wizard's real "TMAINFORM" resource loaded into a test form through stand-ins for
// the control classes, the value tags, dotted paths, events, buffering, the loading-list stack, and
// malformed form data built by hand.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/TypInfo.h"

namespace {

// ---- stand-ins for the framework's forms and controls ----

int liveComponents = 0;
std::vector<TComponent*> afterLoads;  // AfterLoad calls in order

// Counts its instances and notes AfterLoad calls.
class TCounted : public TComponent {
  DESCRIBE_CLASS(TCounted, TComponent);
  void AfterLoad() override {
    statesAtAfterLoad.push_back(ComponentState());
    TComponent::AfterLoad();
    afterLoads.push_back(this);
  }
  void ReadContents(TReader* reader) override {
    stateWhileReading = ComponentState();
    TComponent::ReadContents(reader);
  }
  std::vector<uint8_t> statesAtAfterLoad;
  uint8_t stateWhileReading = 0;

 protected:
  explicit TCounted(TComponent* owner) : TComponent(owner) { ++liveComponents; }
  ~TCounted() override { --liveComponents; }
};

TClass TCounted::StaticClass() {
  static const TClassInfo info = DescribeClass<TCounted>("TCounted");
  return &info;
}

class TStubControl : public TCounted {
  DESCRIBE_CLASS(TStubControl, TCounted);
  void AttachToContainer(TComponent* parent) override {
    Container = parent;
    stateAtAttach = ComponentState();
    nameAtAttach = Name();
  }
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  TComponent* Container = nullptr;
  uint8_t stateAtAttach = 0;
  AnsiString nameAtAttach = "unset";

 protected:
  using TCounted::TCounted;
};

TClass TStubControl::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TStubControl::Left>("Left"), IntegerProp<&TStubControl::Top>("Top"),
                                    IntegerProp<&TStubControl::Width>("Width"),
                                    IntegerProp<&TStubControl::Height>("Height")};
  static const TClassInfo info = DescribeClass<TStubControl>("TStubControl", props);
  return &info;
}

enum TPanelBevel : uint8_t { bvNone, bvLowered, bvRaised };
const char* const kPanelBevelNames[] = {"bvNone", "bvLowered", "bvRaised"};
const TEnumType PanelBevelType = EnumType("TPanelBevel", kPanelBevelNames);
enum TBevelShape : uint8_t { bsBox, bsLeftLine };
const char* const kBevelShapeNames[] = {"bsBox", "bsLeftLine"};
const TEnumType BevelShapeType = EnumType("TBevelShape", kBevelShapeNames);

class TStubPanel : public TStubControl {
  DESCRIBE_CLASS(TStubPanel, TStubControl);
  TPanelBevel BevelInner = bvNone, BevelOuter = bvNone;
  int32_t Color = static_cast<int32_t>(0x8000000F);

 protected:
  using TStubControl::TStubControl;
};

TClass TStubPanel::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TStubPanel::BevelInner>("BevelInner", PanelBevelType),
                                    EnumProp<&TStubPanel::BevelOuter>("BevelOuter", PanelBevelType),
                                    IntegerProp<&TStubPanel::Color>("Color")};
  static const TClassInfo info = DescribeClass<TStubPanel>("TPanel", props);
  return &info;
}

class TStubLabel : public TStubControl {
  DESCRIBE_CLASS(TStubLabel, TStubControl);
  bool AutoSize = true;
  AnsiString Caption;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubLabel::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TStubLabel::AutoSize>("AutoSize", BooleanType),
                                    StringProp<&TStubLabel::Caption>("Caption")};
  static const TClassInfo info = DescribeClass<TStubLabel>("TLabel", props);
  return &info;
}

class TStubImage : public TStubControl {
  DESCRIBE_CLASS(TStubImage, TStubControl);
  void AfterConstruction() override;
  static bool loadFormInside;  // builds a whole second form while the first is being read
  static TComponent* innerForm;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubImage::StaticClass() {
  static const TClassInfo info = DescribeClass<TStubImage>("TImage");
  return &info;
}

bool TStubImage::loadFormInside = false;
TComponent* TStubImage::innerForm = nullptr;

class TStubBevel : public TStubControl {
  DESCRIBE_CLASS(TStubBevel, TStubControl);
  TBevelShape Shape = bsBox;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubBevel::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TStubBevel::Shape>("Shape", BevelShapeType)};
  static const TClassInfo info = DescribeClass<TStubBevel>("TBevel", props);
  return &info;
}

class TStubComboBox : public TStubControl {
  DESCRIBE_CLASS(TStubComboBox, TStubControl);
  TNotifyEvent OnChange;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubComboBox::StaticClass() {
  static const TPropInfo props[] = {EventProp<&TStubComboBox::OnChange>("OnChange")};
  static const TClassInfo info = DescribeClass<TStubComboBox>("TComboBox", props);
  return &info;
}

class TStubMemo : public TStubControl {
  DESCRIBE_CLASS(TStubMemo, TStubControl);

 protected:
  using TStubControl::TStubControl;
};

TClass TStubMemo::StaticClass() {
  static const TClassInfo info = DescribeClass<TStubMemo>("TMemo");
  return &info;
}

class TStubEdit : public TStubControl {
  DESCRIBE_CLASS(TStubEdit, TStubControl);

 protected:
  using TStubControl::TStubControl;
};

TClass TStubEdit::StaticClass() {
  static const TClassInfo info = DescribeClass<TStubEdit>("TEdit");
  return &info;
}

class TStubCheckBox : public TStubControl {
  DESCRIBE_CLASS(TStubCheckBox, TStubControl);
  bool Checked = false;
  AnsiString Caption;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubCheckBox::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TStubCheckBox::Checked>("Checked", BooleanType),
                                    StringProp<&TStubCheckBox::Caption>("Caption")};
  static const TClassInfo info = DescribeClass<TStubCheckBox>("TCheckBox", props);
  return &info;
}

class TStubButton : public TStubControl {
  DESCRIBE_CLASS(TStubButton, TStubControl);
  AnsiString GetCaption() const { return caption_; }
  void SetCaption(const AnsiString& text) {
    caption_ = text;
    ++captionSets;
  }
  TNotifyEvent OnClick;
  bool Default = false, Cancel = false;
  AnsiString caption_;
  int captionSets = 0;

 protected:
  using TStubControl::TStubControl;
};

TClass TStubButton::StaticClass() {
  static const TPropInfo props[] = {StringProp<&TStubButton::GetCaption, &TStubButton::SetCaption>("Caption"),
                                    EventProp<&TStubButton::OnClick>("OnClick"),
                                    EnumProp<&TStubButton::Default>("Default", BooleanType),
                                    EnumProp<&TStubButton::Cancel>("Cancel", BooleanType)};
  static const TClassInfo info = DescribeClass<TStubButton>("TButton", props);
  return &info;
}

// Stands in for TForm: the stop class of LoadFormResources, which its descendants run once built.
class TStubForm : public TCounted {
  DESCRIBE_CLASS(TStubForm, TCounted);
  void AfterConstruction() override {
    if (ClassType() != StaticClass()) LoadFormResources(this, StaticClass());
  }

 protected:
  using TCounted::TCounted;
};

TClass TStubForm::StaticClass() {
  static const TClassInfo info = DescribeClass<TStubForm>("TStubForm");
  return &info;
}

// The wizard form's published interface, as the resource expects it.
class TTestMainForm : public TStubForm {
  DESCRIBE_CLASS(TTestMainForm, TStubForm);

  void BNClick(TObject* sender) { calls.push_back({"BNClick", sender}); }
  void CancelBtnClick(TObject* sender) { calls.push_back({"CancelBtnClick", sender}); }
  void LngBoxChange(TObject* sender) { calls.push_back({"LngBoxChange", sender}); }
  void BwsBtnClick(TObject* sender) { calls.push_back({"BwsBtnClick", sender}); }
  void PortInfBtnClick(TObject* sender) { calls.push_back({"PortInfBtnClick", sender}); }
  void FormCloseQuery(TObject* sender, bool& canClose) {
    calls.push_back({"FormCloseQuery", sender});
    canClose = false;
  }

  int32_t ClientHeight = 0, ClientWidth = 0;
  TCloseQueryEvent OnCloseQuery;
  std::vector<std::pair<std::string, TObject*>> calls;

  TStubPanel* TopPanel = nullptr;
  TStubLabel* TopLbl = nullptr;
  TStubImage* LogoImg = nullptr;
  TStubPanel* WPanel = nullptr;
  TStubLabel* WelLbl = nullptr;
  TStubLabel* LngLbl = nullptr;
  TStubComboBox* LngBox = nullptr;
  TStubPanel* LPanel = nullptr;
  TStubMemo* LicMemo = nullptr;
  TStubCheckBox* LicChkBx = nullptr;
  TStubPanel* DPanel = nullptr;
  TStubEdit* DestEdt = nullptr;
  TStubButton* BwsBtn = nullptr;
  TStubCheckBox* PortChkBx = nullptr;
  TStubButton* PortInfBtn = nullptr;
  TStubPanel* SPanel = nullptr;
  TStubLabel* StartLbl = nullptr;
  TStubCheckBox* Inst2AllChkBx = nullptr;
  TStubCheckBox* DskChkBx = nullptr;
  TStubPanel* IPanel = nullptr;
  TStubPanel* FPanel = nullptr;
  TStubLabel* FinLbl = nullptr;
  TStubCheckBox* FinChkBx = nullptr;
  TStubButton* BackBtn = nullptr;
  TStubButton* NextBtn = nullptr;
  TStubButton* CancelBtn = nullptr;

 protected:
  using TStubForm::TStubForm;
};

TClass TTestMainForm::StaticClass() {
  using F = TTestMainForm;
  static const TPropInfo props[] = {IntegerProp<&F::ClientHeight>("ClientHeight"),
                                    IntegerProp<&F::ClientWidth>("ClientWidth"),
                                    EventProp<&F::OnCloseQuery>("OnCloseQuery")};
  static const TMethodInfo methods[] = {
      PublishedMethod<&F::BNClick>("BNClick"),         PublishedMethod<&F::CancelBtnClick>("CancelBtnClick"),
      PublishedMethod<&F::LngBoxChange>("LngBoxChange"), PublishedMethod<&F::BwsBtnClick>("BwsBtnClick"),
      PublishedMethod<&F::PortInfBtnClick>("PortInfBtnClick"),
      PublishedMethod<&F::FormCloseQuery>("FormCloseQuery")};
  static const TFieldInfo fields[] = {
      PublishedField<&F::TopPanel>("TopPanel"),   PublishedField<&F::TopLbl>("TopLbl"),
      PublishedField<&F::LogoImg>("LogoImg"),     PublishedField<&F::WPanel>("WPanel"),
      PublishedField<&F::WelLbl>("WelLbl"),       PublishedField<&F::LngLbl>("LngLbl"),
      PublishedField<&F::LngBox>("LngBox"),       PublishedField<&F::LPanel>("LPanel"),
      PublishedField<&F::LicMemo>("LicMemo"),     PublishedField<&F::LicChkBx>("LicChkBx"),
      PublishedField<&F::DPanel>("DPanel"),       PublishedField<&F::DestEdt>("DestEdt"),
      PublishedField<&F::BwsBtn>("BwsBtn"),       PublishedField<&F::PortChkBx>("PortChkBx"),
      PublishedField<&F::PortInfBtn>("PortInfBtn"), PublishedField<&F::SPanel>("SPanel"),
      PublishedField<&F::StartLbl>("StartLbl"),   PublishedField<&F::Inst2AllChkBx>("Inst2AllChkBx"),
      PublishedField<&F::DskChkBx>("DskChkBx"),   PublishedField<&F::IPanel>("IPanel"),
      PublishedField<&F::FPanel>("FPanel"),       PublishedField<&F::FinLbl>("FinLbl"),
      PublishedField<&F::FinChkBx>("FinChkBx"),   PublishedField<&F::BackBtn>("BackBtn"),
      PublishedField<&F::NextBtn>("NextBtn"),     PublishedField<&F::CancelBtn>("CancelBtn")};
  static const TClassInfo info = DescribeClass<F>("TMainForm", props, methods, fields);
  return &info;
}

void TStubImage::AfterConstruction() {
  if (!loadFormInside) return;
  loadFormInside = false;  // once: the inner form has an image too
  innerForm = CreateComponent<TTestMainForm>(nullptr);
}

// A form class below the wizard's without a resource of its own.
class TDerivedForm : public TTestMainForm {
  DESCRIBE_CLASS(TDerivedForm, TTestMainForm);

 protected:
  using TTestMainForm::TTestMainForm;
};

TClass TDerivedForm::StaticClass() {
  static const TClassInfo info = DescribeClass<TDerivedForm>("TDerivedForm");
  return &info;
}

// A descendant that shares the wizard's class name, so its class chain names "TMAINFORM" twice.
class TTwiceForm : public TTestMainForm {
  DESCRIBE_CLASS(TTwiceForm, TTestMainForm);

 protected:
  using TTestMainForm::TTestMainForm;
};

TClass TTwiceForm::StaticClass() {
  static const TClassInfo info = DescribeClass<TTwiceForm>("TMainForm");
  return &info;
}

// ---- a probe class for hand-built form data ----

class TFontStub : public TPersistent {
  DESCRIBE_CLASS(TFontStub, TPersistent);
  int32_t Height = 0;
};

TClass TFontStub::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TFontStub::Height>("Height")};
  static const TClassInfo info = DescribeClass<TFontStub>("TFontStub", props);
  return &info;
}

enum TWideEnum : uint16_t { weOne, weTwo };
const char* const kWideNames[] = {"weOne", "weTwo"};
const TEnumType WideType = EnumType("TWideEnum", kWideNames);
enum TLongEnum : int32_t { leOne, leTwo };
const char* const kLongNames[] = {"leOne", "leTwo"};
const TEnumType LongType = EnumType("TLongEnum", kLongNames);

class TProbe : public TStubControl {
  DESCRIBE_CLASS(TProbe, TStubControl);
  TFontStub* GetFont() { return &font_; }
  uint8_t Small = 0;
  int16_t Medium = 0;
  TPanelBevel Bevel = bvNone;
  TWideEnum Wide = weOne;
  TLongEnum Long = leOne;
  bool Flag = false;
  AnsiString Caption;
  TNotifyEvent OnClick;
  TCloseQueryEvent OnAsk;
  TFontStub font_;

 protected:
  using TStubControl::TStubControl;
};

TClass TProbe::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TProbe::Small>("Small"),
                                    IntegerProp<&TProbe::Medium>("Medium"),
                                    EnumProp<&TProbe::Bevel>("Bevel", PanelBevelType),
                                    EnumProp<&TProbe::Wide>("Wide", WideType),
                                    EnumProp<&TProbe::Long>("Long", LongType),
                                    EnumProp<&TProbe::Flag>("Flag", BooleanType),
                                    StringProp<&TProbe::Caption>("Caption"),
                                    EventProp<&TProbe::OnClick>("OnClick"),
                                    EventProp<&TProbe::OnAsk>("OnAsk"),
                                    ObjectProp<&TProbe::GetFont>("Font")};
  static const TClassInfo info = DescribeClass<TProbe>("TProbe", props);
  return &info;
}

// A root for hand-built data: the wizard's handlers plus a field for a probe called "Probe".
class TProbeForm : public TTestMainForm {
  DESCRIBE_CLASS(TProbeForm, TTestMainForm);
  void AfterConstruction() override {}  // built from hand-made streams, not from a resource
  TProbe* Probe = nullptr;

 protected:
  using TTestMainForm::TTestMainForm;
};

TClass TProbeForm::StaticClass() {
  static const TFieldInfo fields[] = {PublishedField<&TProbeForm::Probe>("Probe")};
  static const TClassInfo info =
      DescribeClass<TProbeForm>("TProbeForm", {}, {}, fields);
  return &info;
}

void RegisterStandIns() {
  static bool done = false;
  if (done) return;
  done = true;
  RegisterFormClasses({TStubBevel::StaticClass(), TStubButton::StaticClass(), TStubCheckBox::StaticClass(),
                       TStubComboBox::StaticClass(), TStubEdit::StaticClass(), TStubImage::StaticClass(),
                       TStubLabel::StaticClass(), TStubMemo::StaticClass(), TStubPanel::StaticClass(),
                       TProbe::StaticClass(), TProbeForm::StaticClass()});
}

// ---- the layout the wizard's resource must produce ----

struct Row {
  const char* name;
  const char* cls;
  const char* parent;
  int32_t left, top, width, height;  // 0 where the resource leaves the class default
};

const Row kLayout[] = {
    {"TopPanel", "TPanel", "MainForm", 0, 0, 492, 46},
    {"TopLbl", "TLabel", "TopPanel", 20, 14, 0, 0},
    {"LftPanel", "TPanel", "MainForm", 0, 46, 123, 301},
    {"LogoImg", "TImage", "LftPanel", 0, 0, 120, 260},
    {"LftBvl", "TBevel", "LftPanel", 121, 0, 2, 301},
    {"WPanel", "TPanel", "MainForm", 123, 47, 369, 261},
    {"WelLbl", "TLabel", "WPanel", 12, 27, 345, 75},
    {"LngLbl", "TLabel", "WPanel", 12, 120, 0, 0},
    {"LngBox", "TComboBox", "WPanel", 83, 116, 260, 0},
    {"LPanel", "TPanel", "MainForm", 0, 0, 0, 0},
    {"LicMemo", "TMemo", "LPanel", 12, 10, 345, 215},
    {"LicChkBx", "TCheckBox", "LPanel", 12, 235, 345, 0},
    {"DPanel", "TPanel", "MainForm", 0, 0, 0, 0},
    {"DestEdt", "TEdit", "DPanel", 12, 30, 252, 0},
    {"BwsBtn", "TButton", "DPanel", 266, 30, 90, 22},
    {"PortChkBx", "TCheckBox", "DPanel", 12, 80, 0, 0},
    {"PortInfBtn", "TButton", "DPanel", 0, 77, 40, 22},
    {"SPanel", "TPanel", "MainForm", 0, 0, 0, 0},
    {"StartLbl", "TLabel", "SPanel", 12, 27, 345, 100},
    {"Inst2AllChkBx", "TCheckBox", "SPanel", 12, 189, 300, 0},
    {"DskChkBx", "TCheckBox", "SPanel", 12, 212, 300, 0},
    {"IPanel", "TPanel", "MainForm", 0, 0, 0, 0},
    {"FPanel", "TPanel", "MainForm", 0, 0, 0, 0},
    {"FinLbl", "TLabel", "FPanel", 12, 27, 345, 150},
    {"FinChkBx", "TCheckBox", "FPanel", 12, 190, 300, 0},
    {"BtmBvlPanel", "TPanel", "MainForm", 0, 306, 492, 2},
    {"BtmBvl", "TBevel", "BtmBvlPanel", 1, 0, 491, 2},
    {"BtmPanel", "TPanel", "MainForm", 0, 307, 492, 44},
    {"BackBtn", "TButton", "BtmPanel", 210, 12, 85, 22},
    {"NextBtn", "TButton", "BtmPanel", 295, 12, 85, 22},
    {"CancelBtn", "TButton", "BtmPanel", 392, 12, 85, 22},
};

std::map<std::string, TStubControl*> ByName(TComponent* form) {
  std::map<std::string, TStubControl*> out;
  for (int32_t i = 0; i < form->ComponentCount(); ++i) {
    auto* c = dynamic_cast<TStubControl*>(form->ComponentAt(i));
    if (c) out[c->Name()] = c;
  }
  return out;
}

// Root first, then each component after its own children, in resource order.
std::vector<std::string> ExpectedAfterLoadOrder() {
  std::vector<std::string> order{"MainForm"};
  for (const Row& top : kLayout) {
    if (std::string(top.parent) != "MainForm") continue;
    for (const Row& child : kLayout)
      if (std::string(child.parent) == top.name) order.push_back(child.name);
    order.push_back(top.name);
  }
  return order;
}

std::vector<std::string> AfterLoadNames() {
  std::vector<std::string> names;
  for (TComponent* c : afterLoads) names.push_back(c->Name());
  return names;
}

std::string ResourceBytes() {
  TResourceStream res(GetModuleHandleW(nullptr), "TMAINFORM", MAKEINTRESOURCEA(10));
  return std::string(static_cast<const char*>(res.Memory()), static_cast<size_t>(res.Size()));
}

// The wizard's resource with another root class: one whose construction does not load a resource itself.
std::string WizardBytesAs(const std::string& rootClass) {
  const std::string bytes = ResourceBytes();
  const size_t nameEnd = 5 + static_cast<uint8_t>(bytes[4]);
  return bytes.substr(0, 4) + static_cast<char>(rootClass.size()) + rootClass + bytes.substr(nameEnd);
}

void Fill(TMemoryStream& stream, const std::string& bytes) {
  if (!bytes.empty()) stream.WriteBytes(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPos(0);
}

class FormReader : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterStandIns();
    afterLoads.clear();
    liveBefore = liveComponents;
  }
  void TearDown() override { EXPECT_EQ(liveComponents, liveBefore) << "components leaked"; }
  int liveBefore = 0;
};

// Checks everything the wizard's resource sets on a loaded form.
void ExpectWizardLayout(TTestMainForm* form) {
  EXPECT_EQ(form->Name(), "MainForm");
  EXPECT_EQ(form->ClientHeight, 351);
  EXPECT_EQ(form->ClientWidth, 492);
  ASSERT_EQ(form->ComponentCount(), 31);
  auto comps = ByName(form);
  ASSERT_EQ(comps.size(), 31u);
  for (const Row& row : kLayout) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(comps.count(row.name), 1u);
    TStubControl* c = comps[row.name];
    EXPECT_EQ(c->Owner(), form);
    EXPECT_EQ(c->ClassName(), row.cls);
    EXPECT_EQ(c->Container, std::string(row.parent) == "MainForm" ? form : static_cast<TComponent*>(comps[row.parent]));
    EXPECT_EQ(c->Left, row.left);
    EXPECT_EQ(c->Top, row.top);
    EXPECT_EQ(c->Width, row.width);
    EXPECT_EQ(c->Height, row.height);
    // Attached to the container before it was named; read while both loading and reading.
    EXPECT_EQ(c->nameAtAttach, "");
    EXPECT_EQ(c->stateAtAttach, csLoading);
    EXPECT_EQ(c->stateWhileReading, csLoading | csReading);
    EXPECT_EQ(c->ComponentState(), 0);
  }

  // All 26 published fields, each bound to the component of its name.
  TComponent* fields[] = {form->TopPanel,  form->TopLbl,    form->LogoImg,       form->WPanel,   form->WelLbl,
                          form->LngLbl,    form->LngBox,    form->LPanel,        form->LicMemo,  form->LicChkBx,
                          form->DPanel,    form->DestEdt,   form->BwsBtn,        form->PortChkBx, form->PortInfBtn,
                          form->SPanel,    form->StartLbl,  form->Inst2AllChkBx, form->DskChkBx, form->IPanel,
                          form->FPanel,    form->FinLbl,    form->FinChkBx,      form->BackBtn,  form->NextBtn,
                          form->CancelBtn};
  const char* fieldNames[] = {"TopPanel", "TopLbl",   "LogoImg",  "WPanel",    "WelLbl",        "LngLbl",
                              "LngBox",   "LPanel",   "LicMemo",  "LicChkBx",  "DPanel",        "DestEdt",
                              "BwsBtn",   "PortChkBx", "PortInfBtn", "SPanel", "StartLbl",      "Inst2AllChkBx",
                              "DskChkBx", "IPanel",   "FPanel",   "FinLbl",    "FinChkBx",      "BackBtn",
                              "NextBtn",  "CancelBtn"};
  for (size_t i = 0; i < 26; ++i) EXPECT_EQ(fields[i], comps[fieldNames[i]]) << fieldNames[i];

  EXPECT_EQ(form->TopPanel->BevelInner, bvRaised);
  EXPECT_EQ(form->TopPanel->BevelOuter, bvLowered);
  EXPECT_EQ(form->TopPanel->Color, 16777215);
  EXPECT_EQ(form->WPanel->Color, static_cast<int32_t>(0x8000000F));
  EXPECT_EQ(static_cast<TStubBevel*>(comps["LftBvl"])->Shape, bsLeftLine);
  EXPECT_EQ(static_cast<TStubBevel*>(comps["BtmBvl"])->Shape, bsBox);
  EXPECT_FALSE(form->WelLbl->AutoSize);
  EXPECT_FALSE(form->StartLbl->AutoSize);
  EXPECT_FALSE(form->FinLbl->AutoSize);
  EXPECT_TRUE(form->TopLbl->AutoSize);
  EXPECT_TRUE(form->LicChkBx->Checked);
  EXPECT_FALSE(form->FinChkBx->Checked);
  EXPECT_TRUE(form->NextBtn->Default);
  EXPECT_FALSE(form->NextBtn->Cancel);
  EXPECT_TRUE(form->CancelBtn->Cancel);
  EXPECT_FALSE(form->BackBtn->Default);
  EXPECT_EQ(form->PortInfBtn->caption_, "  ?  ");
  EXPECT_EQ(form->PortInfBtn->captionSets, 1);  // through the setter
  EXPECT_EQ(form->NextBtn->captionSets, 0);

  // Events bound by name to the form's handlers; firing passes the sender.
  form->calls.clear();
  form->NextBtn->OnClick(form->NextBtn);
  form->BackBtn->OnClick(form->BackBtn);
  form->CancelBtn->OnClick(form->CancelBtn);
  form->BwsBtn->OnClick(form->BwsBtn);
  form->PortInfBtn->OnClick(form->PortInfBtn);
  form->LngBox->OnChange(form->LngBox);
  bool canClose = true;
  form->OnCloseQuery(form, canClose);
  EXPECT_FALSE(canClose);
  const std::vector<std::pair<std::string, TObject*>> expectedCalls = {
      {"BNClick", form->NextBtn},      {"BNClick", form->BackBtn},         {"CancelBtnClick", form->CancelBtn},
      {"BwsBtnClick", form->BwsBtn},   {"PortInfBtnClick", form->PortInfBtn}, {"LngBoxChange", form->LngBox},
      {"FormCloseQuery", form}};
  EXPECT_EQ(form->calls, expectedCalls);
  for (const Row& row : kLayout) {
    auto* button = dynamic_cast<TStubButton*>(comps[row.name]);
    if (button) EXPECT_EQ(button->OnClick.Method.Data, form) << row.name;
  }
}

// ---- the wizard's resource ----

TEST_F(FormReader, TheWizardResourceIsEmbeddedWithItsKnownSize) {
  const std::string bytes = ResourceBytes();
  EXPECT_EQ(bytes.size(), 1553u);
  EXPECT_EQ(bytes.substr(0, 4), "TPF0");
}

TEST_F(FormReader, LoadsTheWizardResourceIntoItsFormClass) {
  TComponentPtr<TTestMainForm> form(CreateComponent<TTestMainForm>(nullptr));  // runs LoadFormResources
  ExpectWizardLayout(form.get());

  // AfterLoad once per component, root first, then post-order, all after the whole resource was read.
  EXPECT_EQ(AfterLoadNames(), ExpectedAfterLoadOrder());
  ASSERT_EQ(afterLoads.size(), 32u);
  for (TComponent* c : afterLoads) {
    auto* counted = dynamic_cast<TCounted*>(c);
    ASSERT_NE(counted, nullptr);
    ASSERT_EQ(counted->statesAtAfterLoad.size(), 1u) << c->Name();
    EXPECT_EQ(counted->statesAtAfterLoad[0], csLoading) << c->Name();  // reading over, still loading
  }
  EXPECT_EQ(form->stateWhileReading, csLoading | csReading);
  EXPECT_EQ(form->ComponentState(), 0);
}

TEST_F(FormReader, ReadRootComponentCreatesTheRootByClassNameAndCallsAfterLoadItself) {
  TMemoryStream stream;
  Fill(stream, WizardBytesAs("TProbeForm"));
  TComponentPtr<TComponent> root(stream.ReadRootComponent(nullptr));
  auto* form = dynamic_cast<TProbeForm*>(root.get());
  ASSERT_NE(form, nullptr);
  ExpectWizardLayout(form);
  EXPECT_EQ(AfterLoadNames(), ExpectedAfterLoadOrder());
}

TEST_F(FormReader, LeavesTheStreamJustAfterTheLastByteConsumedWhateverTheBufferSize) {
  const std::string bytes = ResourceBytes();
  for (int32_t bufferSize : {4096, 1, 7, 64, 1553, 1554}) {
    SCOPED_TRACE(bufferSize);
    afterLoads.clear();
    TMemoryStream stream;
    Fill(stream, bytes + bytes + "tail");  // two forms back to back
    for (int round = 0; round < 2; ++round) {
      // A root that reads no resource on construction: the wizard's bytes are read here.
      TComponentPtr<TProbeForm> form(CreateComponent<TProbeForm>(nullptr));
      {
        TReader reader(&stream, bufferSize);
        reader.ReadRootComponent(form.get());
      }
      EXPECT_EQ(stream.Position(), 1553 * (round + 1));
      ExpectWizardLayout(form.get());
    }
  }
}

TEST_F(FormReader, AFormLoadedWhileAnotherIsLoadingKeepsItsOwnLoadingList) {
  TStubImage::loadFormInside = true;
  TStubImage::innerForm = nullptr;
  TComponentPtr<TTestMainForm> outer(CreateComponent<TTestMainForm>(nullptr));
  TComponentPtr<TComponent> inner(TStubImage::innerForm);
  ASSERT_NE(inner, nullptr);
  ExpectWizardLayout(outer.get());
  ExpectWizardLayout(static_cast<TTestMainForm*>(inner.get()));

  // The inner form finished (AfterLoad for all its 32) while the outer was still being read.
  ASSERT_EQ(afterLoads.size(), 64u);
  const auto expected = ExpectedAfterLoadOrder();
  for (size_t i = 0; i < 32; ++i) {
    EXPECT_EQ(afterLoads[i]->Name(), expected[i]);
    EXPECT_TRUE(afterLoads[i] == inner.get() || afterLoads[i]->Owner() == inner.get()) << i;
    EXPECT_EQ(afterLoads[32 + i]->Name(), expected[i]);
    EXPECT_TRUE(afterLoads[32 + i] == outer.get() || afterLoads[32 + i]->Owner() == outer.get()) << i;
  }
}

TEST_F(FormReader, AClassChainIsReadAncestorsFirstAndAMissingResourceNamesItsClass) {
  try {
    CreateComponent<TDerivedForm>(nullptr);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.Message).find("TDerivedForm"), std::string::npos) << e.Message;
  }
  // "TMAINFORM" was read first (31 components and the form built, then freed with the failed form) and
  // nothing got AfterLoad.
  EXPECT_TRUE(afterLoads.empty());
}

TEST_F(FormReader, AClassChainReadsEachResourceIntoTheSameRootAndCallsAfterLoadOnceEach) {
  TComponentPtr<TTwiceForm> form(CreateComponent<TTwiceForm>(nullptr));
  ASSERT_EQ(form->ComponentCount(), 62);  // both resources' components, all owned by the one form
  // The fields follow the renames: each holds the later component of its name.
  EXPECT_EQ(form->NextBtn, form->ComponentAt(31 + 29));
  EXPECT_EQ(form->TopPanel, form->ComponentAt(31));
  // One AfterLoad per component, the root's only once and first, after both resources were read.
  ASSERT_EQ(afterLoads.size(), 63u);
  EXPECT_EQ(afterLoads[0], form.get());
  const auto expected = ExpectedAfterLoadOrder();
  for (size_t i = 1; i < 32; ++i) {
    EXPECT_EQ(afterLoads[i]->Name(), expected[i]);
    EXPECT_EQ(afterLoads[31 + i]->Name(), expected[i]);
  }
  for (int32_t i = 0; i < form->ComponentCount(); ++i)
    EXPECT_EQ(std::count(afterLoads.begin(), afterLoads.end(), form->ComponentAt(i)), 1) << i;
}

// ---- hand-built form data ----

// Builds form data: a signature, then objects written with short strings and value tags.
class Bytes {
 public:
  Bytes& Raw(std::initializer_list<int> values) {
    for (int v : values) data_ += static_cast<char>(v);
    return *this;
  }
  Bytes& Str(const std::string& s) {
    data_ += static_cast<char>(s.size());
    data_ += s;
    return *this;
  }
  Bytes& Sig() {
    data_ += "TPF0";
    return *this;
  }
  Bytes& Obj(const std::string& cls, const std::string& name) { return Str(cls).Str(name); }
  Bytes& Int8(int v) { return Raw({2, v & 0xFF}); }
  Bytes& Int16(int v) { return Raw({3, v & 0xFF, (v >> 8) & 0xFF}); }
  Bytes& Int32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return Raw({4, int(u & 0xFF), int((u >> 8) & 0xFF), int((u >> 16) & 0xFF), int(u >> 24)});
  }
  Bytes& Ident(const std::string& s) { return Raw({7}).Str(s); }
  Bytes& Text(const std::string& s) { return Raw({6}).Str(s); }
  Bytes& End() { return Raw({0}); }
  const std::string& data() const { return data_; }

 private:
  std::string data_;
};

// A probe form: the root's properties, then one probe with the given property bytes.
std::string ProbeForm(const std::string& probeProperties) {
  Bytes b;
  b.Sig().Obj("TProbeForm", "Form1").End();
  std::string out = b.data();
  out += Bytes().Obj("TProbe", "Probe").data();
  out += probeProperties;
  out += Bytes().End().End().End().data();  // probe's properties, probe's children, root's children
  return out;
}

TComponentPtr<TProbeForm> LoadProbe(const std::string& bytes) {
  TMemoryStream stream;
  Fill(stream, bytes);
  TComponentPtr<TProbeForm> form(CreateComponent<TProbeForm>(nullptr));
  stream.ReadRootComponent(form.get());
  EXPECT_EQ(stream.Position(), static_cast<int32_t>(bytes.size()));
  return form;
}

// Runs a read that must fail; returns the message and checks nothing the read created is left.
std::string LoadFailure(const std::string& bytes) {
  TMemoryStream stream;
  Fill(stream, bytes);
  TComponentPtr<TProbeForm> form(CreateComponent<TProbeForm>(nullptr));
  try {
    stream.ReadRootComponent(form.get());
  } catch (const EReadError& e) {
    EXPECT_EQ(form->ComponentCount(), 0);
    EXPECT_EQ(form->Probe, nullptr);
    return e.Message;
  }
  ADD_FAILURE() << "no exception";
  return "";
}

TEST_F(FormReader, IntegerTagsTwoThreeAndFourReadAlike) {
  const int values[] = {5, -3, 127, -128, 0};
  for (int v : values) {
    SCOPED_TRACE(v);
    auto a = LoadProbe(ProbeForm(Bytes().Str("Width").Int8(v).Str("Small").Int8(v).data()));
    auto b = LoadProbe(ProbeForm(Bytes().Str("Width").Int32(v).Str("Small").Int32(v).data()));
    auto c = LoadProbe(ProbeForm(Bytes().Str("Width").Int16(v).Str("Small").Int16(v).data()));
    ASSERT_NE(a->Probe, nullptr);
    EXPECT_EQ(a->Probe->Width, v);
    EXPECT_EQ(b->Probe->Width, v);
    EXPECT_EQ(c->Probe->Width, v);
    EXPECT_EQ(a->Probe->Small, static_cast<uint8_t>(v));
    EXPECT_EQ(b->Probe->Small, a->Probe->Small);
    EXPECT_EQ(c->Probe->Small, a->Probe->Small);
  }
  auto wide = LoadProbe(ProbeForm(
      Bytes().Str("Width").Int32(16777215).Str("Small").Int32(0x1FF).Str("Medium").Int32(0x12345).data()));
  EXPECT_EQ(wide->Probe->Width, 16777215);
  EXPECT_EQ(wide->Probe->Small, 0xFF);     // cut to the one-byte width
  EXPECT_EQ(wide->Probe->Medium, 0x2345);  // and to two bytes
  auto negative16 = LoadProbe(ProbeForm(Bytes().Str("Width").Int16(-300).data()));
  EXPECT_EQ(negative16->Probe->Width, -300);
}

TEST_F(FormReader, UnknownEnumerationIdentifiersStoreMinusOneCutToTheWidth) {
  auto known = LoadProbe(ProbeForm(Bytes().Str("Bevel").Ident("BVRAISED").Str("Wide").Ident("weTwo").data()));
  EXPECT_EQ(known->Probe->Bevel, bvRaised);
  EXPECT_EQ(known->Probe->Wide, weTwo);

  auto unknown = LoadProbe(ProbeForm(Bytes()
                                         .Str("Bevel")
                                         .Ident("bvSunken")
                                         .Str("Wide")
                                         .Ident("weThree")
                                         .Str("Long")
                                         .Ident("leThree")
                                         .data()));
  EXPECT_EQ(static_cast<int>(unknown->Probe->Bevel), 255);
  EXPECT_EQ(static_cast<int>(unknown->Probe->Wide), 0xFFFF);
  EXPECT_EQ(static_cast<int>(unknown->Probe->Long), -1);

  // Tags 8 and 9 are the identifiers False and True: right for Boolean, unknown to other enumerations.
  auto flags = LoadProbe(ProbeForm(Bytes().Str("Flag").Raw({9}).Str("Bevel").Raw({8}).data()));
  EXPECT_TRUE(flags->Probe->Flag);
  EXPECT_EQ(static_cast<int>(flags->Probe->Bevel), 255);
  auto off = LoadProbe(ProbeForm(Bytes().Str("Flag").Raw({9}).Str("flag").Raw({8}).data()));
  EXPECT_FALSE(off->Probe->Flag);
  auto spelled = LoadProbe(ProbeForm(Bytes().Str("Flag").Ident("tRuE").data()));
  EXPECT_TRUE(spelled->Probe->Flag);
}

TEST_F(FormReader, EventsBindByNameInAnyLetterCase) {
  auto form = LoadProbe(ProbeForm(Bytes().Str("OnClick").Ident("bncLICK").Str("onask").Ident("formclosequery").data()));
  ASSERT_TRUE(form->Probe->OnClick.Assigned());
  EXPECT_EQ(form->Probe->OnClick.Method.Data, form.get());
  form->Probe->OnClick(form->Probe);
  bool canClose = true;
  form->Probe->OnAsk(form->Probe, canClose);
  EXPECT_FALSE(canClose);
  const std::vector<std::pair<std::string, TObject*>> expected = {{"BNClick", form->Probe},
                                                                  {"FormCloseQuery", form->Probe}};
  EXPECT_EQ(form->calls, expected);
}

TEST_F(FormReader, AnUnknownHandlerLeavesTheEventAsItWasAndNilClearsIt) {
  auto kept = LoadProbe(ProbeForm(Bytes().Str("OnClick").Ident("BNClick").Str("OnClick").Ident("NoSuchHandler").data()));
  ASSERT_TRUE(kept->Probe->OnClick.Assigned());
  kept->Probe->OnClick(kept->Probe);
  ASSERT_EQ(kept->calls.size(), 1u);
  EXPECT_EQ(kept->calls[0].first, "BNClick");

  auto unknownOnly = LoadProbe(ProbeForm(Bytes().Str("OnClick").Ident("NoSuchHandler").data()));
  EXPECT_FALSE(unknownOnly->Probe->OnClick.Assigned());

  auto cleared = LoadProbe(ProbeForm(Bytes().Str("OnClick").Ident("BNClick").Str("OnClick").Raw({13}).data()));
  EXPECT_FALSE(cleared->Probe->OnClick.Assigned());
  EXPECT_EQ(cleared->Probe->OnClick.Method.Data, nullptr);
}

TEST_F(FormReader, StringsDottedPathsAndRootPropertiesAreRead) {
  Bytes root;
  root.Sig().Obj("TProbeForm", "Form1").Str("ClientWidth").Int16(300).Str("Name").Text("Renamed").End();
  std::string bytes = root.data();
  bytes += Bytes()
               .Obj("TProbe", "Probe")
               .Str("Caption")
               .Text("H\xC3\xA9llo")
               .Str("Font.Height")
               .Int8(-11)
               .Str("FONT.height")
               .Int8(-12)
               .End()
               .End()
               .End()
               .data();
  auto form = LoadProbe(bytes);
  EXPECT_EQ(form->ClientWidth, 300);
  EXPECT_EQ(form->Name(), "Renamed");
  EXPECT_EQ(form->Probe->Caption, "H\xC3\xA9llo");
  EXPECT_EQ(form->Probe->font_.Height, -12);
}

TEST_F(FormReader, ChildrenNestAndAllAreOwnedByTheRoot) {
  std::string bytes = Bytes().Sig().Obj("TProbeForm", "Form1").End().Obj("TPanel", "Outer").End().data();
  bytes += Bytes().Obj("TPanel", "Middle").End().Obj("TProbe", "Probe").Str("Left").Int8(1).End().End().End().data();
  bytes += Bytes().Obj("TLabel", "Sibling").End().End().data();  // a second child of Outer
  bytes += Bytes().End().End().data();                           // Outer's children, root's children
  auto form = LoadProbe(bytes);
  ASSERT_EQ(form->ComponentCount(), 4);
  auto comps = ByName(form.get());
  for (const auto& entry : comps) EXPECT_EQ(entry.second->Owner(), form.get());
  EXPECT_EQ(comps["Outer"]->Container, form.get());
  EXPECT_EQ(comps["Middle"]->Container, comps["Outer"]);
  EXPECT_EQ(comps["Probe"]->Container, comps["Middle"]);
  EXPECT_EQ(comps["Sibling"]->Container, comps["Outer"]);
  EXPECT_EQ(form->Probe, comps["Probe"]);
  EXPECT_EQ(comps["Probe"]->Left, 1);
  EXPECT_EQ(AfterLoadNames(), (std::vector<std::string>{"Form1", "Probe", "Middle", "Sibling", "Outer"}));
}

// ---- malformed data ----

bool Mentions(const std::string& message, const std::string& what) {
  return message.find(what) != std::string::npos;
}

TEST_F(FormReader, AnUnknownClassIsNamed) {
  std::string bytes = Bytes().Sig().Obj("TProbeForm", "Form1").End().Obj("TPanel", "Ok").End().End().data();
  bytes += Bytes().Obj("TNoSuchControl", "Broken").End().End().End().data();
  const std::string message = LoadFailure(bytes);
  EXPECT_TRUE(Mentions(message, "TNoSuchControl")) << message;

  // A root built by class name must be registered too.
  TMemoryStream stream;
  Fill(stream, Bytes().Sig().Obj("TNoSuchForm", "F").End().End().data());
  try {
    stream.ReadRootComponent(nullptr);
    ADD_FAILURE() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_TRUE(Mentions(e.Message, "TNoSuchForm")) << e.Message;
  }
}

TEST_F(FormReader, AnUnknownPropertyIsNamedWithItsClass) {
  const std::string message = LoadFailure(ProbeForm(Bytes().Str("Left").Int8(1).Str("Widht").Int8(5).data()));
  EXPECT_TRUE(Mentions(message, "Widht")) << message;
  EXPECT_TRUE(Mentions(message, "TProbe")) << message;

  const std::string inPath = LoadFailure(ProbeForm(Bytes().Str("Font.Size").Int8(5).data()));
  EXPECT_TRUE(Mentions(inPath, "Size")) << inPath;
  EXPECT_TRUE(Mentions(inPath, "TFontStub")) << inPath;
}

TEST_F(FormReader, PropertiesOfTheWrongKindForTheirPlaceAreNamed) {
  const std::string notObject = LoadFailure(ProbeForm(Bytes().Str("Width.Height").Int8(5).data()));
  EXPECT_TRUE(Mentions(notObject, "Width")) << notObject;
  const std::string objectAtEnd = LoadFailure(ProbeForm(Bytes().Str("Font").Int8(5).data()));
  EXPECT_TRUE(Mentions(objectAtEnd, "Font")) << objectAtEnd;
  // A handler whose arguments do not fit the event is refused rather than called wrongly.
  const std::string mismatch = LoadFailure(ProbeForm(Bytes().Str("OnClick").Ident("FormCloseQuery").data()));
  EXPECT_TRUE(Mentions(mismatch, "OnClick")) << mismatch;
}

TEST_F(FormReader, ValueTagsOutsideTheAcceptedSetAreRefusedNamingTheProperty) {
  struct Case {
    const char* property;
    std::vector<int> tags;
  };
  const Case cases[] = {
      {"Width", {0, 1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 18, 20}},
      {"Bevel", {1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 14, 18, 20}},
      {"Caption", {1, 2, 4, 5, 7, 10, 11, 12, 14, 18, 20}},
      {"OnClick", {1, 2, 4, 5, 6, 10, 11, 12, 14, 18, 20}},
  };
  for (const Case& c : cases) {
    for (int tag : c.tags) {
      SCOPED_TRACE(std::string(c.property) + " tag " + std::to_string(tag));
      // Enough payload after the tag that nothing ends early.
      const std::string message =
          LoadFailure(ProbeForm(Bytes().Str(c.property).Raw({tag, 1, 'x', 0, 0, 0, 0, 0}).data()));
      EXPECT_TRUE(Mentions(message, c.property)) << message;
      EXPECT_TRUE(Mentions(message, std::to_string(tag))) << message;
    }
  }
}

TEST_F(FormReader, AFlagsByteBeforeAClassNameIsRefused) {
  for (int flags : {0xF0, 0xF1, 0xF4, 0xFF}) {
    std::string bytes = Bytes().Sig().Obj("TProbeForm", "Form1").End().Obj("TPanel", "Ok").End().End().data();
    bytes += Bytes().Raw({flags}).Obj("TPanel", "Inherited").End().End().End().data();
    const std::string message = LoadFailure(bytes);
    EXPECT_TRUE(Mentions(message, "flags")) << message;
    EXPECT_TRUE(Mentions(message, "Form1")) << message;  // the object whose child it is

    const std::string atRoot = LoadFailure(Bytes().Sig().Raw({flags}).Obj("TProbeForm", "Form1").End().End().data());
    EXPECT_TRUE(Mentions(atRoot, "flags")) << atRoot;
  }
}

TEST_F(FormReader, TruncatedDataFailsAtEveryLengthWithoutLeavingAnythingBehind) {
  const std::string whole = WizardBytesAs("TProbeForm");
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    afterLoads.clear();
    TMemoryStream stream;
    Fill(stream, whole.substr(0, length));
    // The reader builds the root by class name here, so a failure must free it as well.
    try {
      TComponentPtr<TComponent> root(stream.ReadRootComponent(nullptr));
      ADD_FAILURE() << "read a truncated form";
    } catch (const EReadError& e) {
      EXPECT_TRUE(Mentions(e.Message, "ends early")) << e.Message;
    }
    ASSERT_EQ(liveComponents, liveBefore);
    EXPECT_TRUE(afterLoads.empty());
  }
}

// A root with panels nested `levels` deep below it, the innermost being the probe.
std::string NestedForm(int levels) {
  std::string bytes = Bytes().Sig().Obj("TProbeForm", "Form1").End().data();
  for (int i = 1; i < levels; ++i) bytes += Bytes().Obj("TPanel", "P" + std::to_string(i)).End().data();
  bytes += Bytes().Obj("TProbe", "Probe").End().End().data();
  for (int i = 1; i < levels; ++i) bytes += Bytes().End().data();
  return bytes + Bytes().End().data();
}

// The form compiler refuses objects nested deeper than 64 (the root and 63 levels below it); the reader
// refuses the same, before the stack runs out.
TEST_F(FormReader, NestingBeyondWhatTheFormCompilerWritesIsRefused) {
  struct Case {
    int levels;  // objects below the root
    bool accepted;
  };
  const Case cases[] = {{1, true}, {63, true}, {64, false}, {10000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.levels);
    const std::string bytes = NestedForm(c.levels);
    if (c.accepted) {
      auto form = LoadProbe(bytes);
      ASSERT_NE(form->Probe, nullptr);
      EXPECT_EQ(form->ComponentCount(), c.levels);
    } else {
      const std::string message = LoadFailure(bytes);
      EXPECT_TRUE(Mentions(message, "64")) << message;
    }
  }
}

TEST_F(FormReader, ATruncatedFormNamesWhereItStopped) {
  const std::string whole = ProbeForm(Bytes().Str("Width").Int32(1000).data());
  const size_t cut = whole.find("Width") + 7;  // inside the four-byte value
  const std::string message = LoadFailure(whole.substr(0, cut));
  EXPECT_TRUE(Mentions(message, "Width")) << message;
  EXPECT_TRUE(Mentions(message, "Probe")) << message;
}

TEST_F(FormReader, AFailedReadInsideLoadFormResourcesLeavesNoLoadingListBehind) {
  // A failure inside one load must not leave its list current for the next read.
  EXPECT_THROW(CreateComponent<TDerivedForm>(nullptr), EReadError);
  afterLoads.clear();
  auto form = LoadProbe(ProbeForm(""));
  EXPECT_EQ(AfterLoadNames(), (std::vector<std::string>{"Form1", "Probe"}));  // called by the reader itself
}

}  // namespace
