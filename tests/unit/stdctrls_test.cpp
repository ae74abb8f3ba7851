// The standard controls and the frame under Wine: memo lines, the language-style combo box, dialog keys and
// mnemonics on buttons and check boxes, label sizing, and panel, bevel and frame pixels read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "framework/Forms.h"
#include "framework/WinHandles.h"
#include "graphics/ExtCtrls.h"
#include "graphics/StdCtrls.h"
#include "graphics/Themes.h"
#include "support/FrameworkEnvironment.h"

namespace {

void PumpAll() {
  while (Application->PumpOneMessage()) {
  }
}

// Counts the messages a control's window procedure sees, then passes them on.
class TMessageCounter {
 public:
  explicit TMessageCounter(TControl* control) : control_(control), original_(control->WindowProc) {
    control->WindowProc = {&TMessageCounter::Entry, this};
  }
  TMessageCounter(const TMessageCounter&) = delete;
  TMessageCounter& operator=(const TMessageCounter&) = delete;
  ~TMessageCounter() { control_->WindowProc = original_; }
  int Count(uint32_t msg) const { return static_cast<int>(std::count(seen_.begin(), seen_.end(), msg)); }

 private:
  static void Entry(void* object, TMessage& message) {
    auto* self = static_cast<TMessageCounter*>(object);
    self->seen_.push_back(message.Msg);
    self->original_.Code(self->original_.Object, message);
  }
  TControl* control_;
  TWindowMethod original_;
  std::vector<uint32_t> seen_;
};

// What the click and change events saw, in order.
class TEventLog : public TObject {
 public:
  void Click(TObject* sender) { events.push_back("click"); }
  void Change(TObject* sender) {
    auto* box = static_cast<TComboBox*>(sender);
    const int32_t index = box->SelectedIndex();
    events.push_back("change " + std::to_string(index) + " " +
                     std::to_string(reinterpret_cast<intptr_t>(box->ItemList->GetObject(index))));
  }
  std::vector<std::string> events;
};

class StdCtrls : public ::testing::Test {
 protected:
  // One shown form per suite: Wine takes seconds to destroy a visible top-level window.
  static void SetUpTestSuite() {
    form = CreateComponent<TForm>(nullptr);
    form->SetPlacement(50, 50, 500, 400);
    form->SetVisibleFlag(true);
    PumpAll();
  }
  static void TearDownTestSuite() {
    FreeComponent(form);
    form = nullptr;
  }
  void TearDown() override {
    while (form->ComponentCount() > 0) FreeComponent(form->ComponentAt(form->ComponentCount() - 1));
    PumpAll();
  }
  template <class T>
  static T* Make(TWinControl* parent, int32_t left, int32_t top, int32_t width, int32_t height) {
    T* control = CreateComponent<T>(form);
    control->SetPlacement(left, top, width, height);
    control->SetContainer(parent);
    return control;
  }
  // Posts a key to the focused window and lets the application's pump route it.
  static void PressKey(UINT message, WPARAM key, bool shift = false) {
    BYTE state[256]{};
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    PostMessageW(GetFocus(), message, key, message == WM_SYSCHAR ? (1 << 29) | 1 : 1);
    PumpAll();
    state[VK_SHIFT] = 0;
    SetKeyboardState(state);
  }
  static TForm* form;
};
TForm* StdCtrls::form = nullptr;

TEST_F(StdCtrls, MemoCountsLinesWithoutATrailingBreakAndLoadsTextInOneMessage) {
  TMemo* memo = Make<TMemo>(form, 10, 10, 200, 100);
  memo->EnsureWindow();
  struct Case {
    const char* text;
    int32_t lines;
  };
  for (const Case& c : {Case{"", 0}, Case{"one", 1}, Case{"one\r\ntwo", 2}, Case{"one\r\ntwo\r\n", 2},
                        Case{"a\r\n\r\nb\r\n\r\n", 4}}) {
    TMessageCounter counter(memo);
    memo->TextLines->SetAllText(c.text);
    EXPECT_EQ(c.lines, memo->TextLines->LineCount()) << c.text;
    EXPECT_EQ(c.text, memo->TextLines->GetAllText());
    EXPECT_EQ(1, counter.Count(WM_SETTEXT)) << c.text;
  }
  const DWORD dialogCode = static_cast<DWORD>(SendMessageW(memo->Handle(), WM_GETDLGCODE, 0, 0));
  EXPECT_EQ(0u, dialogCode & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) << "Tab and Enter leave the memo";
}

TEST_F(StdCtrls, EditReportsTypedChangesButNotItsCreation) {
  TPanel* panel = Make<TPanel>(form, 0, 0, 300, 100);
  TEdit* edit = Make<TEdit>(panel, 10, 10, 200, 25);
  edit->WriteCaption("start");
  TMessageCounter counter(panel);
  edit->EnsureWindow();
  EXPECT_EQ(0, counter.Count(XM_CHANGED)) << "the initial text is no change";
  SendMessageW(edit->Handle(), WM_CHAR, L'x', 1);
  SendMessageW(edit->Handle(), WM_CHAR, L'y', 1);
  EXPECT_EQ(2, counter.Count(XM_CHANGED));
  EXPECT_TRUE(edit->ControlStyle & ctlFixedHeight);
  TEXTMETRICW metrics{};
  {
    TWindowDC screen;
    TSelectedObject selected(screen.Get(), edit->Font()->FetchHandle());
    GetTextMetricsW(screen.Get(), &metrics);
  }
  EXPECT_EQ(metrics.tmHeight + 8 * GetSystemMetrics(SM_CYBORDER), edit->Height());
}

TEST_F(StdCtrls, ChoosingAnItemClicksThenChangesOnceWithTheNewItemReadable) {
  TComboBox* box = Make<TComboBox>(form, 10, 10, 150, 25);
  const int kItems = 7;
  for (intptr_t i = 0; i < kItems; ++i) box->ItemList->AddWithObject("item " + std::to_string(i), reinterpret_cast<void*>(100 + i));
  box->SetSelectedIndex(2);
  TEventLog log;
  box->OnClick.Bind<&TEventLog::Click>(&log);
  box->OnChange.Bind<&TEventLog::Change>(&log);
  box->TakeFocus();
  SendMessageW(box->Handle(), WM_KEYDOWN, VK_DOWN, 1);
  EXPECT_EQ((std::vector<std::string>{"click", "change 3 103"}), log.events);

  const int32_t rowHeight = box->RowHeight();
  const int32_t height = box->Height();
  box->SetListOpen(true);
  PumpAll();
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(box->Handle(), &info));
  RECT list{};
  GetClientRect(info.hwndList, &list);
  EXPECT_GE(list.bottom - list.top, kItems * rowHeight) << "every item without scrolling; box height " << height;
  SendMessageW(info.hwndList, LB_SETTOPINDEX, kItems - 1, 0);
  EXPECT_EQ(0, SendMessageW(info.hwndList, LB_GETTOPINDEX, 0, 0)) << "nothing to scroll";
  box->SetListOpen(false);

  // A new window keeps the items and their objects.
  box->DestroyWindowTree();
  box->EnsureWindow();
  ASSERT_EQ(kItems, box->ItemList->LineCount());
  EXPECT_EQ(reinterpret_cast<void*>(106), box->ItemList->GetObject(6));
  wchar_t text[32]{};
  SendMessageW(box->Handle(), CB_GETLBTEXT, 6, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(L"item 6", text);
}

TEST_F(StdCtrls, EnterEscapeAndMnemonicsClickTheRightButton) {
  TButton* next = Make<TButton>(form, 10, 10, 80, 25);
  next->WriteCaption("&Next");
  next->Default = true;
  TButton* cancel = Make<TButton>(form, 100, 10, 80, 25);
  cancel->WriteCaption("Cancel");
  cancel->Cancel = true;
  TButton* other = Make<TButton>(form, 190, 10, 80, 25);
  other->WriteCaption("&Browse");
  TCheckBox* box = Make<TCheckBox>(form, 10, 50, 150, 17);
  box->WriteCaption("&Portable");
  TEdit* edit = Make<TEdit>(form, 10, 80, 150, 25);
  struct Tally : TObject {
    std::vector<std::string> order;
    void Click(TObject* sender) { order.push_back(static_cast<TWinControl*>(sender)->ReadCaption()); }
  } tally;
  for (TButton* b : {next, cancel, other}) b->OnClick.Bind<&Tally::Click>(&tally);
  box->OnClick.Bind<&Tally::Click>(&tally);
  form->FocusChild(edit);
  PumpAll();

  struct Step {
    UINT message;
    WPARAM key;
    bool shift;
    TWinControl* focus;
    const char* clicked;  // empty: nothing
  };
  const Step steps[] = {
      {WM_KEYDOWN, VK_RETURN, false, edit, "&Next"},
      {WM_KEYDOWN, VK_RETURN, true, edit, ""},
      {WM_KEYDOWN, VK_ESCAPE, false, edit, "Cancel"},
      {WM_KEYDOWN, VK_RETURN, false, other, "&Browse"},  // the focused button is the default meanwhile
      {WM_SYSCHAR, L'n', false, edit, "&Next"},
      {WM_SYSCHAR, L'B', false, edit, "&Browse"},
      {WM_SYSCHAR, L'p', false, edit, "&Portable"},
  };
  for (const Step& s : steps) {
    form->FocusChild(s.focus);
    PumpAll();
    tally.order.clear();
    PressKey(s.message, s.key, s.shift);
    const std::vector<std::string> expected =
        *s.clicked ? std::vector<std::string>{s.clicked} : std::vector<std::string>{};
    EXPECT_EQ(expected, tally.order) << s.key << " shift " << s.shift;
  }
  EXPECT_TRUE(box->Checked()) << "the mnemonic toggled the box";
  EXPECT_EQ(BST_CHECKED, SendMessageW(box->Handle(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongW(next->Handle(), GWL_STYLE) & 0xF) << "focus back on the edit";
}

TEST_F(StdCtrls, CheckedFromCodeFiresOncePerChangeAndSurvivesANewWindow) {
  TCheckBox* box = Make<TCheckBox>(form, 10, 10, 150, 17);
  struct Tally : TObject {
    int clicks = 0;
    void Click(TObject*) { ++clicks; }
  } tally;
  box->OnClick.Bind<&Tally::Click>(&tally);
  box->SetCheckedState(true);
  box->SetCheckedState(true);
  EXPECT_EQ(1, tally.clicks);
  box->DestroyWindowTree();
  box->EnsureWindow();
  EXPECT_EQ(BST_CHECKED, SendMessageW(box->Handle(), BM_GETCHECK, 0, 0));
  SendMessageW(box->Handle(), BM_CLICK, 0, 0);  // the user's click: the control flips its own mark
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(box->Handle(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(2, tally.clicks);
}

TEST_F(StdCtrls, AutoSizeLabelsFitTheirTextPlusFourBorders) {
  TLabel* fitted = Make<TLabel>(form, 10, 10, 5, 5);
  TLabel* fixed = Make<TLabel>(form, 10, 40, 300, 40);
  fixed->ApplyAutoSize(false);
  for (const char* caption : {"Welcome", "Ünïcødé 中文"}) {
    fitted->WriteCaption(caption);
    fixed->WriteCaption(caption);
    // Measured independently: the rectangle DrawText computes for the caption in the label's font.
    const WideString wide = Utf8ToWide(caption);
    RECT r{0, 0, 0, 0};
    {
      TWindowDC screen;
      TSelectedObject selected(screen.Get(), fitted->Font()->FetchHandle());
      DrawTextW(screen.Get(), wide.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    EXPECT_EQ(r.right + 4 * GetSystemMetrics(SM_CXBORDER), fitted->Width()) << caption;
    EXPECT_EQ(r.bottom + 4 * GetSystemMetrics(SM_CYBORDER), fitted->Height()) << caption;
    EXPECT_EQ(300, fixed->Width());
    EXPECT_EQ(40, fixed->Height());
  }
}

// ---- frame pixels ----

COLORREF Sys(int index) { return GetSysColor(index); }

// A memory context with a white bitmap, drawn on by a canvas.
class TPixelTarget {
 public:
  TPixelTarget(int w, int h) : dc_(CreateCompatibleDC(nullptr)), bitmap_(CreateCompatibleBitmap(ScreenDeviceContext, w, h)),
                               selected_(dc_.Get(), bitmap_.Get()) {
    PatBlt(dc_.Get(), 0, 0, w, h, WHITENESS);
  }
  HDC Get() const { return dc_.Get(); }
  COLORREF At(int x, int y) const { return GetPixel(dc_.Get(), x, y); }

 private:
  TMemoryDC dc_;
  TGdiObject<HBITMAP> bitmap_;
  TSelectedObject selected_;
};

TEST(Frame, DrawFrame3DDrawsNestedRingsAndShrinksTheRectangle) {
  for (int32_t width : {0, 1, 2}) {
    TPixelTarget target(10, 10);
    TCanvas canvas;
    canvas.SetContext(target.Get());
    RECT rect{0, 0, 10, 10};
    DrawFrame3D(&canvas, rect, 0x0000FF, 0xFF0000, width);
    canvas.SetContext(nullptr);
    EXPECT_TRUE(EqualRect(&rect, std::array<RECT, 1>{RECT{width, width, 10 - width, 10 - width}}.data())) << width;
    for (int ring = 0; ring < 3; ++ring) {
      const bool drawn = ring < width;
      const COLORREF first = drawn ? RGB(0xFF, 0, 0) : RGB(255, 255, 255);   // top-left colour
      const COLORREF second = drawn ? RGB(0, 0, 0xFF) : RGB(255, 255, 255);  // bottom-right colour
      EXPECT_EQ(first, target.At(ring, 5)) << width << " left of ring " << ring;
      EXPECT_EQ(first, target.At(5, ring)) << width << " top of ring " << ring;
      EXPECT_EQ(second, target.At(9 - ring, 5)) << width << " right of ring " << ring;
      EXPECT_EQ(second, target.At(5, 9 - ring)) << width << " bottom of ring " << ring;
    }
  }
}

TEST_F(StdCtrls, PanelsAndBevelsPaintTheirRingsAndLines) {
  TPanel* panel = Make<TPanel>(form, 0, 0, 60, 40);
  panel->SetBevelOuter(bvLowered);
  panel->SetBevelInner(bvRaised);
  panel->SetColorValue(0x00FFFFFF);
  panel->ControlStyle = (panel->ControlStyle | ctlOpaque) & static_cast<uint16_t>(~ctlParentBackground);
  TBevel* line = Make<TBevel>(panel, 10, 10, 2, 20);
  line->SetShape(bsLeftLine);
  Make<TBevel>(panel, 20, 10, 30, 2);  // a box two pixels high: an etched line
  panel->EnsureWindow();
  TPixelTarget target(60, 40);
  PatBlt(target.Get(), 0, 0, 60, 40, BLACKNESS);
  SendMessageW(panel->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(target.Get()), 0);
  SendMessageW(panel->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(target.Get()), 0);
  const COLORREF shadow = Sys(COLOR_BTNSHADOW), light = Sys(COLOR_BTNHIGHLIGHT);
  struct Probe {
    int x, y;
    COLORREF colour;
    const char* what;
  };
  const Probe probes[] = {
      {0, 20, shadow, "outer ring, left: lowered"},  {30, 0, shadow, "outer ring, top"},
      {59, 20, light, "outer ring, right"},          {30, 39, light, "outer ring, bottom"},
      {1, 20, light, "inner ring, left: raised"},    {58, 20, shadow, "inner ring, right"},
      {11, 35, RGB(255, 255, 255), "face"},          {10, 20, shadow, "left line, dark column"},
      {11, 20, light, "left line, light column"},   {35, 10, shadow, "two-pixel box: top row"},
      {35, 11, light, "two-pixel box: bottom row"},
  };
  const bool themed = ThemesActive();
  for (const Probe& p : probes) {
    if (themed && p.colour == RGB(255, 255, 255)) continue;  // themed faces are the erased background
    EXPECT_EQ(p.colour, target.At(p.x, p.y)) << p.what;
  }

  TPanel* plain = Make<TPanel>(form, 100, 0, 20, 20);
  plain->SetColorValue(0x00336699);
  plain->ControlStyle = (plain->ControlStyle | ctlOpaque) & static_cast<uint16_t>(~ctlParentBackground);
  plain->EnsureWindow();
  TPixelTarget face(20, 20);
  SendMessageW(plain->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(face.Get()), 0);
  SendMessageW(plain->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(face.Get()), 0);
  for (POINT p : {POINT{0, 0}, POINT{19, 19}, POINT{10, 10}}) EXPECT_EQ(0x00336699u, face.At(p.x, p.y)) << "face only";
}

TEST_F(StdCtrls, AnImageShowsItsPictureScaledToItsSize) {
  TPanel* panel = Make<TPanel>(form, 0, 0, 80, 80);
  TImage* image = Make<TImage>(panel, 5, 5, 40, 30);
  TBitmap picture;
  picture.SetPixelFormat(pf24bit);
  picture.SetDimensions(7, 3);
  for (int y = 0; y < 3; ++y) {
    uint8_t* row = picture.RowAddress(y);
    for (int x = 0; x < 7; ++x) {
      row[3 * x] = 0x20;  // blue
      row[3 * x + 1] = 0x80;
      row[3 * x + 2] = 0xC0;  // red
    }
  }
  image->SetPicture(&picture);
  panel->EnsureWindow();
  TPixelTarget target(80, 80);
  SendMessageW(panel->Handle(), WM_PAINT, reinterpret_cast<WPARAM>(target.Get()), 0);
  for (POINT p : {POINT{5, 5}, POINT{44, 34}, POINT{25, 20}}) EXPECT_EQ(RGB(0xC0, 0x80, 0x20), target.At(p.x, p.y));
  EXPECT_NE(RGB(0xC0, 0x80, 0x20), target.At(45, 35)) << "nothing outside the image";
}

}  // namespace
