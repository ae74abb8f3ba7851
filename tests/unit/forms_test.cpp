// Forms with real windows under Wine: construction from the wizard's resource with scaling, centring, the
// modal loop and the close query, activation, the focus walk and Tab navigation, destruction of a form tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/Forms.h"
#include "support/FrameworkEnvironment.h"
#include "framework/TypInfo.h"
#include "framework/WinHandles.h"

namespace {

void PumpAll() {
  while (Application->PumpOneMessage()) {
  }
}

// ---- stand-ins for the classes the wizard's resource names ----

const char* const kNoNames[] = {"-"};
const TEnumType kAnyEnum = EnumType("TAnyEnum", kNoNames);  // every identifier reads as -1

// Every property the resource sets, for both kinds of control.
#define STAND_IN_BODY(Class, Base) \
  DESCRIBE_CLASS(Class, Base);     \
  int8_t choice = 0;               \
  bool flag = false;               \
  TNotifyEvent OnChange;           \
                                   \
 protected:                        \
  using Base::Base;
#define STAND_IN_PROPS(Class)                                                                                 \
  IntegerProp<&TControl::Color, &TControl::SetColorValue>("Color"), EventProp<&TControl::OnClick>("OnClick"), \
      EventProp<&Class::OnChange>("OnChange"), EnumProp<&Class::flag>("AutoSize", BooleanType),               \
      EnumProp<&Class::flag>("Checked", BooleanType), EnumProp<&Class::flag>("Default", BooleanType),         \
      EnumProp<&Class::flag>("Cancel", BooleanType), EnumProp<&Class::choice>("BevelInner", kAnyEnum),        \
      EnumProp<&Class::choice>("BevelOuter", kAnyEnum), EnumProp<&Class::choice>("Shape", kAnyEnum)

class TWinStandIn : public TWinControl {
  STAND_IN_BODY(TWinStandIn, TWinControl)
};
TClass TWinStandIn::StaticClass() {
  static const TPropInfo props[] = {StringProp<&TWinControl::ReadCaption, &TWinControl::WriteCaption>("Caption"),
                                    STAND_IN_PROPS(TWinStandIn)};
  static const TClassInfo info = DescribeClass<TWinStandIn>("TWinStandIn", props);
  return &info;
}

class TGraphicStandIn : public TGraphicControl {
  STAND_IN_BODY(TGraphicStandIn, TGraphicControl)
};
TClass TGraphicStandIn::StaticClass() {
  static const TPropInfo props[] = {STAND_IN_PROPS(TGraphicStandIn)};
  static const TClassInfo info = DescribeClass<TGraphicStandIn>("TGraphicStandIn", props);
  return &info;
}

#define STAND_IN(Name, Base)                                   \
  class Name : public Base {                                   \
    DESCRIBE_CLASS(Name, Base);                                \
                                                               \
   protected:                                                  \
    using Base::Base;                                          \
  };                                                           \
  TClass Name::StaticClass() {                                 \
    static const TClassInfo info = DescribeClass<Name>(#Name); \
    return &info;                                              \
  }
STAND_IN(TPanel, TWinStandIn)
STAND_IN(TLabel, TWinStandIn)
STAND_IN(TEdit, TWinStandIn)
STAND_IN(TMemo, TWinStandIn)
STAND_IN(TComboBox, TWinStandIn)
STAND_IN(TCheckBox, TWinStandIn)
STAND_IN(TButton, TWinStandIn)
STAND_IN(TImage, TGraphicStandIn)
STAND_IN(TBevel, TGraphicStandIn)

// Reads "TMAINFORM"; the font it measures with is chosen before the resource is read.
class TMainForm : public TForm {
  DESCRIBE_CLASS(TMainForm, TForm);
  static int32_t fontHeight;
  TLabel* WelLbl = nullptr;

 protected:
  explicit TMainForm(TComponent* owner) : TForm(owner) {
    Font()->SetFontHeight(fontHeight);
    ScalingFlags = 0;  // the screen's pixel density is not what this test is about
  }
};
int32_t TMainForm::fontHeight = 0;
TClass TMainForm::StaticClass() {
  static const TFieldInfo fields[] = {PublishedField<&TMainForm::WelLbl>("WelLbl")};
  static const TClassInfo info = DescribeClass<TMainForm>("TMainForm", {}, {}, fields);
  return &info;
}

// The font height whose "0" is `pixels` high on the screen, searched as the platform measures it.
int32_t FontHeightForZero(int32_t pixels) {
  TWindowDC screen;
  for (int32_t h = 1; h < 64; ++h) {
    for (int32_t height : {h, -h}) {
      TGdiObject<HFONT> font(CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0,
                                         Utf8ToWide(TFont().FaceName()).c_str()));
      TSelectedObject selected(screen.Get(), font.Get());
      SIZE size{};
      GetTextExtentPoint32W(screen.Get(), L"0", 1, &size);
      if (size.cy == pixels) return height;
    }
  }
  return 0;
}

TEST(FormResource, TheLayoutIsScaledToTheHeightOfAZero) {
  RegisterFormClasses({TPanel::StaticClass(), TLabel::StaticClass(), TEdit::StaticClass(), TMemo::StaticClass(),
                       TComboBox::StaticClass(), TCheckBox::StaticClass(), TButton::StaticClass(),
                       TImage::StaticClass(), TBevel::StaticClass()});
  struct Case {
    int32_t zeroHeight;
    int32_t left, width, clientWidth;  // of the welcome text and the form, designed as 12, 345 and 492
  };
  for (const Case& c : {Case{13, 12, 345, 492}, Case{16, 15, 424, 606}}) {
    TMainForm::fontHeight = FontHeightForZero(c.zeroHeight);
    ASSERT_NE(0, TMainForm::fontHeight) << "no font height gives a " << c.zeroHeight << "-pixel zero";
    TComponentPtr<TMainForm> form(CreateComponent<TMainForm>(nullptr));
    ASSERT_NE(nullptr, form->WelLbl);
    EXPECT_EQ(c.left, form->WelLbl->Left());
    EXPECT_EQ(c.width, form->WelLbl->Width());
    EXPECT_EQ(c.clientWidth, form->ClientWidth());
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(0, form->ScalingFlags);
    EXPECT_EQ(0, form->WelLbl->ScalingFlags);
  }
}

TEST(FormResource, ATFormReadsNoResource) {
  TComponentPtr<TForm> form(CreateComponent<TForm>(nullptr));
  EXPECT_EQ(0, form->ChildCount());
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(clBtnFace, form->Color());
}

// ---- showing, the modal loop, closing ----

class Forms : public ::testing::Test {
 protected:
  void SetUp() override {
    form.reset(CreateComponent<TForm>(nullptr));
    form->SetPlacement(0, 0, 400, 300);
  }
  void TearDown() override { Application->Terminated = false; }
  template <class T = TWinControl>
  T* Add(TWinControl* parent, bool tabStop = true) {
    T* control = CreateComponent<T>(form.get());
    control->SetPlacement(10, 10 + 30 * parent->ChildCount(), 80, 24);
    control->TabStop = tabStop;
    control->SetContainer(parent);
    return control;
  }
  TComponentPtr<TForm> form;
};

TEST_F(Forms, AShownFormIsCentredOnThePrimaryScreen) {
  const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
  for (int32_t width : {800, screenWidth + 201}) {
    form->SetPlacement(0, 0, width, 200);
    form->SetVisibleFlag(true);
    RECT r{};
    GetWindowRect(form->Handle(), &r);
    // The platform may narrow a window wider than the screen; what is left is still centred.
    EXPECT_EQ((screenWidth - (r.right - r.left)) / 2, r.left) << width;
    if (width > screenWidth) {
      EXPECT_LT(r.left, 0);
    }
    EXPECT_EQ((screenHeight - 200) / 2, r.top);
    EXPECT_EQ(r.left, form->Left());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(Application->Handle, GetWindow(form->Handle(), GW_OWNER)) << "owned by the application window";
    form->HideForm();
  }
}

class TCloseQuery : public TObject {
 public:
  void Ask(TObject*, bool& canClose) {
    ++asked;
    canClose = asked > refusals;
    windowShownWhileAsked = IsWindowVisible(form->Handle()) != 0;
  }
  int refusals = 0;
  int asked = 0;
  bool windowShownWhileAsked = false;
  TForm* form = nullptr;
};

// Sets the form's modal result when it gets WM_USER.
class TResultSetter {
 public:
  TResultSetter(TForm* form, int32_t result) : form_(form), result_(result), original_(form->WindowProc) {
    form->WindowProc = {&TResultSetter::Entry, this};
  }
  TResultSetter(const TResultSetter&) = delete;
  TResultSetter& operator=(const TResultSetter&) = delete;
  ~TResultSetter() { form_->WindowProc = original_; }

 private:
  static void Entry(void* object, TMessage& message) {
    auto* self = static_cast<TResultSetter*>(object);
    if (message.Msg == WM_USER) self->form_->ModalResult = self->result_;
    self->original_.Code(self->original_.Object, message);
  }
  TForm* form_;
  int32_t result_;
  TWindowMethod original_;
};

TEST_F(Forms, RunModalEndsWithTheResultTheCloseQueryAllows) {
  enum Ending { HandlerSetsOne, CloseBox, Quit };
  struct Case {
    Ending ending;
    int refusals;
    int32_t result;
    int asked;
  };
  for (const Case& c :
       {Case{HandlerSetsOne, 0, 1, 1}, Case{CloseBox, 0, 2, 1}, Case{CloseBox, 2, 2, 3}, Case{Quit, 5, 2, 0}}) {
    SCOPED_TRACE(c.ending);
    TCloseQuery query;
    query.refusals = c.refusals;
    query.form = form.get();
    form->OnCloseQuery.Bind<&TCloseQuery::Ask>(&query);
    TResultSetter setter(form.get(), 1);
    const HWND window = form->WindowHandle();
    if (c.ending == HandlerSetsOne) PostMessageW(window, WM_USER, 0, 0);
    for (int i = 0; c.ending == CloseBox && i <= c.refusals; ++i) PostMessageW(window, WM_CLOSE, 0, 0);
    if (c.ending == Quit) PostQuitMessage(0);
    form->RunModal();
    EXPECT_EQ(c.result, form->ModalResult);
    EXPECT_EQ(c.asked, query.asked);
    EXPECT_EQ(c.asked > 0, query.windowShownWhileAsked);
    EXPECT_FALSE(form->Visible());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window)) << "the close box does not destroy the window";
    Application->Terminated = false;
  }
}

TEST_F(Forms, SessionEndAsksTheCloseQuery) {
  TCloseQuery query;
  query.form = form.get();
  form->OnCloseQuery.Bind<&TCloseQuery::Ask>(&query);
  query.refusals = 1;
  EXPECT_EQ(0, SendMessageW(form->WindowHandle(), WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(1, SendMessageW(form->WindowHandle(), WM_QUERYENDSESSION, 0, 0));
}

// ---- focus ----

// Records the enter and exit notices that reach a control, in one shared list.
class TNoticeLog {
 public:
  void Watch(TControl* control, const char* name) { watched_.push_back({this, control, name, control->WindowProc}); }
  void Start() {
    for (Watched& w : watched_) w.control->WindowProc = {&TNoticeLog::Entry, &w};
  }
  ~TNoticeLog() {
    for (Watched& w : watched_) w.control->WindowProc = w.original;
  }
  std::vector<std::string> notices;

 private:
  struct Watched {
    TNoticeLog* log;
    TControl* control;
    const char* name;
    TWindowMethod original;
  };
  static void Entry(void* object, TMessage& message) {
    auto* w = static_cast<Watched*>(object);
    if (message.Msg == XM_ENTER) w->log->notices.push_back(std::string("enter ") + w->name);
    if (message.Msg == XM_EXIT) w->log->notices.push_back(std::string("exit ") + w->name);
    w->original.Code(w->original.Object, message);
  }
  std::vector<Watched> watched_;
};

TEST_F(Forms, TabMovesThroughFocusableTabStopsAndWraps) {
  TWinControl* first = Add(form.get());
  Add(form.get())->SetVisibleFlag(false);
  Add(form.get())->SetEnabledFlag(false);
  TWinControl* hiddenPanel = Add(form.get(), false);
  Add(hiddenPanel);
  hiddenPanel->SetVisibleFlag(false);
  TWinControl* panel = Add(form.get(), false);
  TWinControl* inner = Add(panel);
  TWinControl* last = Add(form.get());
  Add(form.get(), false);  // no tab stop

  form->SetVisibleFlag(true);
  SetForegroundWindow(form->Handle());
  PumpAll();
  ASSERT_TRUE(form->Active());
  EXPECT_EQ(first->Handle(), GetFocus()) << "becoming active focuses the first tab stop";
  EXPECT_EQ(first, form->ActiveControl());

  auto pressTab = [](BYTE modifier) {
    BYTE keys[256] = {};
    if (modifier) keys[modifier] = 0x80;
    SetKeyboardState(keys);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
    PumpAll();
    BYTE none[256] = {};
    SetKeyboardState(none);
  };
  TNoticeLog log;
  log.Watch(first, "first");
  log.Watch(panel, "panel");
  log.Watch(inner, "inner");
  log.Watch(last, "last");
  log.Start();
  const struct {
    BYTE modifier;
    TWinControl* expected;
    std::vector<std::string> notices;
  } steps[] = {
      {0, inner, {"exit first", "enter panel", "enter inner"}},
      {0, last, {"exit inner", "exit panel", "enter last"}},
      {0, first, {"exit last", "enter first"}},        // wraps
      {VK_CONTROL, first, {}},                         // not navigation
      {VK_SHIFT, last, {"exit first", "enter last"}},  // backwards, wrapping
      {VK_SHIFT, inner, {"exit last", "enter panel", "enter inner"}},
  };
  for (const auto& step : steps) {
    log.notices.clear();
    pressTab(step.modifier);
    EXPECT_EQ(step.expected->Handle(), GetFocus()) << static_cast<int>(step.modifier);
    EXPECT_EQ(step.expected, form->FocusedControl());
    EXPECT_EQ(step.notices, log.notices);
  }
}

// ---- destruction ----

std::vector<std::string> destroyed;

class TLoggedControl : public TWinControl {
  DESCRIBE_CLASS(TLoggedControl, TWinControl);

 protected:
  using TWinControl::TWinControl;
  void BeforeDestruction() override {
    destroyed.push_back(Name());
    TWinControl::BeforeDestruction();
  }
};
TClass TLoggedControl::StaticClass() {
  static const TClassInfo info = DescribeClass<TLoggedControl>("TLoggedControl");
  return &info;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}
BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}
int ThreadWindowCount() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST_F(Forms, DestroyingAFormTreeReleasesEveryWindowAndThunk) {
  form.reset();
  std::vector<void*> spare;  // enough free entries that no block is formatted below
  for (int i = 0; i < 16; ++i) spare.push_back(NewMethodThunk([](void*, TMessage&) {}, nullptr));
  for (void* entry : spare) ReleaseMethodThunk(entry);
  const int32_t freeThunks = FreeMethodThunkCount();
  const int windows = ThreadWindowCount();
  destroyed.clear();
  form.reset(CreateComponent<TForm>(nullptr));
  std::vector<HWND> handles;
  auto add = [&](TWinControl* parent, const char* name) {
    TLoggedControl* c = Add<TLoggedControl>(parent);
    c->Rename(name);
    return c;
  };
  TWinControl* p1 = add(form.get(), "p1");
  add(p1, "c1");
  add(p1, "c2");
  add(form.get(), "p2");
  add(form.get(), "p3");
  form->SetVisibleFlag(true);
  PumpAll();
  EXPECT_EQ(windows + 6, ThreadWindowCount());
  EXPECT_EQ(freeThunks - 6, FreeMethodThunkCount());
  for (int i = 0; i < form->ChildCount(); ++i) handles.push_back(static_cast<TWinControl*>(form->ChildAt(i))->Handle());
  form.reset();
  EXPECT_EQ((std::vector<std::string>{"p3", "p2", "p1", "c2", "c1"}), destroyed);
  EXPECT_EQ(windows, ThreadWindowCount());
  EXPECT_EQ(freeThunks, FreeMethodThunkCount());
  for (HWND h : handles) EXPECT_FALSE(IsWindow(h));
}

}  // namespace
