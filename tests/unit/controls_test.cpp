// Controls and windowed controls with real windows under Wine: clicks and capture, placement, colour and
// font following the parent, scaling, lazy windows, captions, reflection, painting and the context cache.
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

// Records what reaches a control's window procedure, then passes it on.
class TMessageLog {
 public:
  explicit TMessageLog(TControl* control) : control_(control), original_(control->WindowProc) {
    control->WindowProc = {&TMessageLog::Entry, this};
  }
  TMessageLog(const TMessageLog&) = delete;
  TMessageLog& operator=(const TMessageLog&) = delete;
  ~TMessageLog() { control_->WindowProc = original_; }
  int Count(uint32_t msg) const {
    int n = 0;
    for (const TMessage& m : seen) n += m.Msg == msg;
    return n;
  }
  std::vector<TMessage> seen;

 private:
  static void Entry(void* object, TMessage& message) {
    auto* self = static_cast<TMessageLog*>(object);
    self->seen.push_back(message);
    self->original_.Code(self->original_.Object, message);
  }
  TControl* control_;
  TWindowMethod original_;
};

class TClickCounter : public TObject {
 public:
  void Clicked(TObject*) { ++clicks; }
  int clicks = 0;
};

// A window-less control that fills its rectangle in one colour, all of it or its left half.
class TSwatch : public TGraphicControl {
  DESCRIBE_CLASS(TSwatch, TGraphicControl);
  void PaintContent() override {
    Canvas()->Brush->SetToolColor(Color());
    Canvas()->FillRectangle(RECT{0, 0, halfOnly ? Width() / 2 : Width(), Height()});
  }
  bool halfOnly = false;

 protected:
  using TGraphicControl::TGraphicControl;
};
TClass TSwatch::StaticClass() {
  static const TClassInfo info = DescribeClass<TSwatch>("TSwatch");
  return &info;
}

// A windowed control that paints itself in its colour.
class TPaintedPanel : public TCustomControl {
  DESCRIBE_CLASS(TPaintedPanel, TCustomControl);
  void PaintContent() override {
    Canvas()->Brush->SetToolColor(Color());
    Canvas()->FillRectangle(ClientArea());
  }

 protected:
  using TCustomControl::TCustomControl;
};
TClass TPaintedPanel::StaticClass() {
  static const TClassInfo info = DescribeClass<TPaintedPanel>("TPaintedPanel");
  return &info;
}

// Standard controls: a control subclassing a system class.
template <const wchar_t* SystemClass>
class TSystemControl : public TWinControl {
  DESCRIBE_CLASS(TSystemControl, TWinControl);
  void FillCreateParams(TCreateParams& params) override {
    TWinControl::FillCreateParams(params);
    AdoptSystemClass(params, SystemClass);
  }

 protected:
  using TWinControl::TWinControl;
};
constexpr wchar_t kButtonClass[] = L"BUTTON";
constexpr wchar_t kStaticClass[] = L"STATIC";
using TTestButton = TSystemControl<kButtonClass>;
using TTestStatic = TSystemControl<kStaticClass>;
template <>
TClass TTestButton::StaticClass() {
  static const TClassInfo info = DescribeClass<TTestButton>("TTestButton");
  return &info;
}
template <>
TClass TTestStatic::StaticClass() {
  static const TClassInfo info = DescribeClass<TTestStatic>("TTestStatic");
  return &info;
}

// Owned by the form, placed in parent.
template <class T>
T* Make(TWinControl* parent, int32_t left, int32_t top, int32_t width, int32_t height) {
  T* control = CreateComponent<T>(OwningForm(parent));
  control->SetPlacement(left, top, width, height);
  control->SetContainer(parent);
  return control;
}

class Controls : public ::testing::Test {
 protected:
  // One shown form per suite: Wine takes seconds to destroy a visible top-level window.
  static void SetUpTestSuite() {
    shown = CreateComponent<TForm>(nullptr);
    shown->SetPlacement(50, 50, 400, 300);
    shown->SetVisibleFlag(true);
    PumpAll();
  }
  static void TearDownTestSuite() {
    FreeComponent(shown);
    shown = nullptr;
  }
  void TearDown() override {
    while (shown->ComponentCount() > 0) FreeComponent(shown->ComponentAt(shown->ComponentCount() - 1));
    PumpAll();
  }
  static TForm* shown;
  TForm* const form = shown;
};
TForm* Controls::shown = nullptr;

// ---- clicks ----

enum Step { Down, Up, DoubleClick, CancelMode };
struct ClickCase {
  const char* name;
  bool windowless;
  bool doubleClickStyle;
  std::vector<std::pair<Step, POINT>> steps;  // points relative to the control
  int clicks;
};

void PrintTo(const ClickCase& c, std::ostream* os) { *os << c.name; }

class ClickRules : public Controls, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(ClickRules, AClickNeedsDownAndUpInsideTheSameControl) {
  const ClickCase& c = GetParam();
  TControl* control = c.windowless ? static_cast<TControl*>(Make<TSwatch>(form, 40, 30, 100, 50))
                                   : Make<TWinControl>(form, 40, 30, 100, 50);
  control->ControlStyle = ctlCaptureMouse | ctlClicks | (c.doubleClickStyle ? ctlDoubleClicks : 0);
  TClickCounter counter;
  control->OnClick.Bind<&TClickCounter::Clicked>(&counter);
  // A window-less control gets the mouse through its parent's window, in the parent's coordinates.
  const HWND window = c.windowless ? form->Handle() : static_cast<TWinControl*>(control)->Handle();
  const POINT offset = c.windowless ? POINT{control->Left(), control->Top()} : POINT{0, 0};
  for (const auto& [step, p] : c.steps) {
    const LPARAM at = MAKELPARAM(p.x + offset.x, p.y + offset.y);
    switch (step) {
      case Down:
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        break;
      case Up:
        SendMessageW(window, WM_LBUTTONUP, 0, at);
        break;
      case DoubleClick:
        SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        break;
      case CancelMode:
        SendMessageW(window, WM_CANCELMODE, 0, 0);
        break;
    }
  }
  EXPECT_EQ(c.clicks, counter.clicks);
  EXPECT_EQ(nullptr, GetCapture()) << "the capture is given back";
}

const POINT kIn{10, 10}, kOut{150, 70}, kBefore{-20, -20};
INSTANTIATE_TEST_SUITE_P(
    BothKinds, ClickRules,
    ::testing::Values(
        ClickCase{"WindowlessInIn", true, false, {{Down, kIn}, {Up, kIn}}, 1},
        ClickCase{"WindowlessInOut", true, false, {{Down, kIn}, {Up, kOut}}, 0},
        ClickCase{"WindowlessOutIn", true, false, {{Down, kBefore}, {Up, kIn}}, 0},
        ClickCase{"WindowlessCancelled", true, false, {{Down, kIn}, {CancelMode, kIn}, {Up, kIn}}, 0},
        ClickCase{"WindowlessDoubleAsPress", true, false, {{Down, kIn}, {Up, kIn}, {DoubleClick, kIn}, {Up, kIn}}, 2},
        ClickCase{"WindowlessDoubleKept", true, true, {{Down, kIn}, {Up, kIn}, {DoubleClick, kIn}, {Up, kIn}}, 1},
        ClickCase{"WindowedInIn", false, false, {{Down, kIn}, {Up, kIn}}, 1},
        ClickCase{"WindowedInOut", false, false, {{Down, kIn}, {Up, kOut}}, 0},
        ClickCase{"WindowedCancelled", false, false, {{Down, kIn}, {CancelMode, kIn}, {Up, kIn}}, 0},
        ClickCase{"WindowedDoubleAsPress", false, false, {{Down, kIn}, {Up, kIn}, {DoubleClick, kIn}, {Up, kIn}}, 2},
        ClickCase{"WindowedDoubleKept", false, true, {{Down, kIn}, {Up, kIn}, {DoubleClick, kIn}, {Up, kIn}}, 1}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

// ---- placement, scaling, colour and font ----

TEST_F(Controls, SetPlacementWithUnchangedValuesSendsAndInvalidatesNothing) {
  TControl* windowless = Make<TSwatch>(form, 10, 10, 30, 30);
  TWinControl* windowed = Make<TWinControl>(form, 60, 10, 30, 30);
  for (TControl* control : std::vector<TControl*>{windowless, windowed}) {
    SCOPED_TRACE(control->ClassName());
    ValidateRect(form->Handle(), nullptr);
    TMessageLog log(control);
    control->SetPlacement(control->Left(), control->Top(), control->Width(), control->Height());
    EXPECT_TRUE(log.seen.empty());
    EXPECT_FALSE(GetUpdateRect(form->Handle(), nullptr, FALSE));
    control->SetPlacement(control->Left() + 5, control->Top(), control->Width(), control->Height());
    EXPECT_EQ(1, log.Count(WM_WINDOWPOSCHANGED));
    if (control == windowless) {
      EXPECT_TRUE(GetUpdateRect(form->Handle(), nullptr, FALSE)) << "the old and new place";
    }
  }
}

TEST_F(Controls, RescaleScalesTheFarEdgesAndHonoursFixedSizes) {
  struct Case {
    uint16_t style;
    int32_t m, d;
    RECT expected;  // left, top, right, bottom
  };
  const Case cases[] = {{0, 3, 2, {15, 30, 60, 90}},
                        {ctlFixedWidth, 3, 2, {15, 30, 45, 90}},
                        {ctlFixedHeight, 3, 2, {15, 30, 60, 70}},
                        {0, 2, 2, {10, 20, 40, 60}}};
  for (const Case& c : cases) {
    TComponentPtr<TControl> control(CreateComponent<TControl>(nullptr));
    control->ControlStyle |= c.style;
    control->SetPlacement(10, 20, 30, 40);
    control->Rescale(c.m, c.d);
    const RECT got = control->GetPlacementRect();
    EXPECT_TRUE(EqualRect(&got, &c.expected)) << c.style << " " << c.m << "/" << c.d << ": " << got.left << ","
                                              << got.top << "," << got.right << "," << got.bottom;
    EXPECT_EQ(0, control->ScalingFlags);
  }
}

TEST_F(Controls, ColourAndFontFollowTheParentUntilSetOnTheControl) {
  TComponentPtr<TForm> fresh(CreateComponent<TForm>(nullptr));
  TForm* const form = fresh.get();
  TControl* windowless = Make<TSwatch>(form, 0, 0, 10, 10);
  TWinControl* windowed = Make<TWinControl>(form, 0, 20, 10, 10);
  form->SetColorValue(0x00102030);
  form->Font()->SetFontHeight(-21);
  for (TControl* c : std::vector<TControl*>{windowless, windowed}) {
    EXPECT_EQ(0x00102030, c->Color());
    EXPECT_EQ(-21, c->Font()->Height());
  }
  EXPECT_EQ(0x00102030, windowed->Brush()->Color()) << "its background is erased in the colour";
  windowed->SetColorValue(0x00AABBCC);
  windowless->Font()->SetFontHeight(-9);
  form->SetColorValue(0x00405060);
  form->Font()->SetFontHeight(-17);
  EXPECT_EQ(0x00AABBCC, windowed->Color());
  EXPECT_EQ(0x00405060, windowless->Color());
  EXPECT_EQ(-9, windowless->Font()->Height());
  EXPECT_EQ(-17, windowed->Font()->Height());
  windowed->SetFollowParentColor(true);
  windowless->SetFollowParentFont(true);
  EXPECT_EQ(0x00405060, windowed->Color());
  EXPECT_EQ(-17, windowless->Font()->Height());
}

// ---- windows ----

TEST_F(Controls, AWindowIsMadeOnlyWhenTheFormShows) {
  TComponentPtr<TForm> fresh(CreateComponent<TForm>(nullptr));
  TForm* const form = fresh.get();
  TWinControl* child = Make<TWinControl>(form, 5, 6, 70, 40);
  TWinControl* hidden = Make<TWinControl>(form, 5, 60, 70, 40);
  hidden->SetVisibleFlag(false);
  child->SetPlacement(8, 9, 71, 41);
  EXPECT_FALSE(form->HasWindow());
  EXPECT_FALSE(child->HasWindow());
  EXPECT_EQ(8, child->Left());
  EXPECT_EQ(41, child->Height());
  form->SetVisibleFlag(true);
  ASSERT_TRUE(child->HasWindow());
  EXPECT_TRUE(IsWindowVisible(child->Handle()));
  EXPECT_FALSE(hidden->HasWindow());
  RECT r{};
  GetWindowRect(child->Handle(), &r);
  MapWindowPoints(nullptr, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
  const RECT expected{8, 9, 79, 50};
  EXPECT_TRUE(EqualRect(&r, &expected));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(child->Handle()), GetWindowLongPtrW(child->Handle(), GWLP_ID))
      << "a child window without identifier gets its handle";
  EXPECT_EQ(child, TWinControl::ControlFromWindow(child->Handle()));
}

TEST_F(Controls, ACaptionSurvivesTheWindow) {
  TWinControl* child = Make<TWinControl>(form, 5, 5, 50, 20);
  child->SetCaptionText(W_("Caption \u00e9t\u00e9"));
  wchar_t text[32] = {};
  GetWindowTextW(child->Handle(), text, 32);
  EXPECT_EQ(WideString(W_("Caption \u00e9t\u00e9")), WideString(text));
  child->SetContainer(nullptr);
  EXPECT_FALSE(child->HasWindow());
  EXPECT_EQ(AnsiString("Caption \xc3\xa9t\xc3\xa9"), child->ReadCaption());
  child->SetContainer(form);
  ASSERT_TRUE(child->HasWindow());
  GetWindowTextW(child->Handle(), text, 32);
  EXPECT_EQ(WideString(W_("Caption \u00e9t\u00e9")), WideString(text));
}

TEST_F(Controls, ATextReadIntoASmallBufferIsCutAndEnded) {
  TComponentPtr<TControl> control(CreateComponent<TControl>(nullptr));
  control->SetCaptionText(W_("0123456789"));
  wchar_t buffer[6] = {L'x', L'x', L'x', L'x', L'x', L'x'};
  EXPECT_EQ(3, control->Deliver(WM_GETTEXT, 4, PointerParam(buffer)));
  EXPECT_EQ(WideString(W_("012")), WideString(buffer));
  EXPECT_EQ(L'x', buffer[4]) << "nothing written past the buffer";
  EXPECT_EQ(10, control->Deliver(WM_GETTEXTLENGTH));
}

TEST_F(Controls, AWindowThatCannotBeMadeIsAnError) {
  // Enough free entries that nothing below formats a new block.
  std::vector<void*> spare;
  for (int i = 0; i < 8; ++i) spare.push_back(NewMethodThunk([](void*, TMessage&) {}, nullptr));
  for (void* entry : spare) ReleaseMethodThunk(entry);
  const int32_t freeBefore = FreeMethodThunkCount();
  {
    TComponentPtr<TWinControl> orphan(CreateComponent<TWinControl>(nullptr));
    EXPECT_THROW(orphan->WindowHandle(), Exception) << "a child window without a parent window";
    EXPECT_FALSE(orphan->HasWindow());
  }
  EXPECT_EQ(freeBefore, FreeMethodThunkCount());
}

// A windowed container that records what its message tables leave to the default handling.
class TRecordingPanel : public TWinControl {
  DESCRIBE_CLASS(TRecordingPanel, TWinControl);
  std::vector<uint32_t> defaulted;

 protected:
  using TWinControl::TWinControl;
  void DefaultHandler(TMessage& message) override {
    defaulted.push_back(message.Msg);
    TWinControl::DefaultHandler(message);
  }
};
TClass TRecordingPanel::StaticClass() {
  static const TClassInfo info = DescribeClass<TRecordingPanel>("TRecordingPanel");
  return &info;
}

TEST_F(Controls, AButtonsNotificationArrivesAtTheButton) {
  auto* panel = Make<TRecordingPanel>(form, 0, 0, 200, 100);
  TWinControl* button = Make<TTestButton>(panel, 10, 10, 80, 24);
  TMessageLog buttonLog(button);
  SendMessageW(button->Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(1, buttonLog.Count(XN_COMMAND));
  for (const TMessage& m : buttonLog.seen) {
    if (m.Msg != XN_COMMAND) continue;
    EXPECT_EQ(BN_CLICKED, HIWORD(m.WParam));
    EXPECT_EQ(PointerParam(button->Handle()), m.LParam);
  }
  for (uint32_t msg : panel->defaulted)
    EXPECT_NE(static_cast<uint32_t>(WM_COMMAND), msg) << "not handled by the parent";
}

TEST_F(Controls, AStaticControlsColourRequestIsAnsweredWithItsBrush) {
  TWinControl* label = Make<TTestStatic>(form, 10, 10, 80, 20);
  label->SetColorValue(0x00123456);
  label->Font()->SetToolColor(0x00654321);
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  const LRESULT brush = SendMessageW(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.Get()),
                                     reinterpret_cast<LPARAM>(label->Handle()));
  EXPECT_EQ(reinterpret_cast<LRESULT>(label->Brush()->FetchHandle()), brush);
  EXPECT_EQ(0x00654321u, GetTextColor(dc.Get()));
  EXPECT_EQ(0x00123456u, GetBkColor(dc.Get()));
  TMessageLog log(label);
  label->SetCaptionText(W_("x"));
  RedrawWindow(label->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  EXPECT_GE(log.Count(XN_CTLCOLORSTATIC), 1) << "the static's own painting asks through its parent";
}

// ---- painting ----

TEST_F(Controls, WindowlessChildrenArePaintedOverTheirParentOutsideOpaqueOnes) {
  TPaintedPanel* panel = Make<TPaintedPanel>(form, 0, 0, 100, 60);
  panel->SetColorValue(0x00FF0000);
  TSwatch* opaque = Make<TSwatch>(panel, 10, 10, 40, 20);
  opaque->SetColorValue(0x000000FF);
  opaque->halfOnly = true;  // the other half shows what lay there before: the panel does not paint it
  opaque->ControlStyle |= ctlOpaque;
  TSwatch* plain = Make<TSwatch>(panel, 60, 10, 20, 20);
  plain->SetColorValue(0x0000FF00);
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(ScreenDeviceContext, 100, 60));
  TSelectedObject selected(dc.Get(), bitmap.Get());
  PatBlt(dc.Get(), 0, 0, 100, 60, WHITENESS);
  SendMessageW(panel->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(dc.Get()), 0);
  struct Probe {
    int x, y;
    COLORREF colour;
  };
  for (const Probe& p : {Probe{5, 5, 0x00FF0000}, Probe{15, 15, 0x000000FF}, Probe{45, 15, 0x00FFFFFF},
                         Probe{65, 15, 0x0000FF00}, Probe{90, 50, 0x00FF0000}})
    EXPECT_EQ(p.colour, GetPixel(dc.Get(), p.x, p.y)) << p.x << "," << p.y;
  TWinControl* plainWindow = Make<TWinControl>(form, 0, 100, 30, 30);
  plainWindow->SetColorValue(0x00336699);
  EXPECT_EQ(1, SendMessageW(plainWindow->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0));
  EXPECT_EQ(0x00336699u, GetPixel(dc.Get(), 29, 29)) << "erased in its colour";
}

TEST_F(Controls, AnOpaqueSiblingBeneathSparesTheErasing) {
  TSwatch* under = Make<TSwatch>(form, 10, 10, 80, 80);
  under->ControlStyle |= ctlOpaque;
  struct Case {
    RECT bounds;
    bool erased;
  };
  for (const Case& c : {Case{{20, 20, 60, 60}, false}, Case{{50, 50, 120, 120}, true}}) {
    TSwatch* top = Make<TSwatch>(form, c.bounds.left, c.bounds.top, c.bounds.right - c.bounds.left,
                                 c.bounds.bottom - c.bounds.top);
    EXPECT_EQ(!c.erased, top->CoveredByOpaqueSibling());
    UpdateWindow(form->Handle());
    TMessageLog log(form);
    top->RequestRepaint();
    UpdateWindow(form->Handle());
    EXPECT_EQ(c.erased ? 1 : 0, log.Count(WM_ERASEBKGND));
    FreeComponent(top);
  }
}

TEST_F(Controls, AtMostFourControlContextsAndNoContextsAfterAMessage) {
  std::vector<TSwatch*> swatches;
  for (int i = 0; i < 6; ++i) {
    swatches.push_back(Make<TSwatch>(form, i * 20, 0, 15, 15));
    swatches.back()->Canvas()->MeasureText(W_("x"));
    EXPECT_LE(CanvasList->Count(), 4);
    EXPECT_NE(nullptr, swatches.back()->Canvas()->Handle);
  }
  EXPECT_EQ(nullptr, swatches.front()->Canvas()->Handle) << "the oldest went first";
  TBitmap bitmap;
  bitmap.SetDimensions(4, 4);
  bitmap.Canvas()->FillRectangle(RECT{0, 0, 4, 4});
  EXPECT_EQ(1, BitmapCanvasList->Count());
  SendMessageW(form->Handle(), WM_NULL, 0, 0);
  EXPECT_EQ(0, CanvasList->Count());
  EXPECT_EQ(0, BitmapCanvasList->Count()) << "bitmaps give their memory contexts back too";
}

}  // namespace
