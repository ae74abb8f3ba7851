// Controls and windowed controls.
#include "Controls.h"

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "Forms.h"
#include "TypInfo.h"
#include "WinHandles.h"
#include "graphics/Themes.h"

namespace {

// 0x200 (WM_MOUSEMOVE) to 0x20A (WM_MOUSEWHEEL): the mouse messages the controls route and convert.
constexpr uint32_t kFirstMouseMessage = 0x200;
constexpr uint32_t kLastMouseMessage = 0x20A;

HDC ParamDC(int32_t value) { return reinterpret_cast<HDC>(static_cast<intptr_t>(value)); }

bool IsMouseMessage(uint32_t msg) { return msg >= kFirstMouseMessage && msg <= kLastMouseMessage; }

// The window-less control that has the mouse through its parent's window.
TControl* captureControl = nullptr;

LPCWSTR ControlProperty() { return MAKEINTATOM(ControlAtom); }

AnsiString Describe(const TComponent* c) {
  return c->Name().empty() ? c->ClassName() : c->Name() + " (" + c->ClassName() + ")";
}

void HandleMessageEntry(void* object, TMessage& message) { static_cast<TControl*>(object)->HandleMessage(message); }

// A paint message's context, lent to a canvas while the control paints; the canvas holds none afterwards.
class TContextLoan {
 public:
  TContextLoan(TControlCanvas* canvas, HDC dc) : canvas_(canvas) {
    canvas_->DropContext();
    canvas_->SetContext(dc);
  }
  TContextLoan(const TContextLoan&) = delete;
  TContextLoan& operator=(const TContextLoan&) = delete;
  ~TContextLoan() { canvas_->SetContext(nullptr); }

 private:
  TControlCanvas* canvas_;
};

// SaveDC / RestoreDC around one child's or one pass's clipping.
class TSavedContext {
 public:
  explicit TSavedContext(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  TSavedContext(const TSavedContext&) = delete;
  TSavedContext& operator=(const TSavedContext&) = delete;
  ~TSavedContext() {
    if (saved_) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

}  // namespace

int32_t PlatformMajorVersion() {
  static const int32_t major = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) ? static_cast<int32_t>(info.dwMajorVersion) : 0;
  }();
  return major;
}


// ---- Control canvas ----

TControlCanvas::~TControlCanvas() { DropContext(); }

void TControlCanvas::CreateContext() {
  if (!control_ || Handle) return;
  if (CanvasList && CanvasList->Count() > 3) static_cast<TControlCanvas*>(CanvasList->ItemAt(0))->DropContext();
  HWND window = nullptr;
  HDC dc = control_->AcquireDC(window);
  if (!dc) return;
  window_ = window;
  acquired_ = true;
  if (CanvasList) CanvasList->Append(this);
  SetContext(dc);
}

void TControlCanvas::BindControl(TControl* control) {
  if (control == control_) return;
  DropContext();
  control_ = control;
}

void TControlCanvas::DropContext() {
  if (!acquired_) return;
  HDC dc = Handle;
  acquired_ = false;
  SetContext(nullptr);
  if (CanvasList) CanvasList->RemoveItem(this);
  ReleaseDC(window_, dc);
  window_ = nullptr;
}

void DropAllContexts() {
  if (!CanvasList) return;
  for (int32_t i = CanvasList->Count() - 1; i >= 0; --i) {
    if (i < CanvasList->Count()) static_cast<TControlCanvas*>(CanvasList->ItemAt(i))->DropContext();
  }
}

// ---- Components ----

void MarkTreeDestroying(TComponent* component) {
  component->IncludeState(csDestroying);
  for (int32_t i = 0; i < component->ComponentCount(); ++i) {
    TComponent* child = component->ComponentAt(i);
    if (!(child->ComponentState() & csDestroying)) MarkTreeDestroying(child);
  }
}

// ---- Capture ----

TForm* OwningForm(const TControl* control) {
  if (!control) return nullptr;
  while (control->Parent()) control = control->Parent();
  return dynamic_cast<TForm*>(const_cast<TControl*>(control));
}

TControl* CapturingControl() {
  TWinControl* owner = TWinControl::ControlFromWindow(GetCapture());
  if (captureControl && owner && captureControl->Parent() == owner) return captureControl;
  return owner;
}

void SetCapturingControl(TControl* control) {
  ReleaseCapture();
  captureControl = nullptr;
  if (!control) return;
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
    SetCapture(windowed->WindowHandle());
    return;
  }
  captureControl = control;
  if (TWinControl* parent = control->Parent()) SetCapture(parent->WindowHandle());
}

// ---- TControl ----

TClass TControl::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TControl::left_, &TControl::PlaceLeft>("Left"),
                                    IntegerProp<&TControl::top_, &TControl::PlaceTop>("Top"),
                                    IntegerProp<&TControl::width_, &TControl::PlaceWidth>("Width"),
                                    IntegerProp<&TControl::height_, &TControl::PlaceHeight>("Height")};
  static const TClassInfo info = DescribeClass<TControl>("TControl", props);
  return &info;
}

TControl::TControl(TComponent* owner) : TComponent(owner), WindowProc{&HandleMessageEntry, this} {
  font_ = new TFont;
  font_->ChangeHandler.Bind<&TControl::FontWasChanged>(this);
  lastFontHeight_ = font_->Height();
}

TControl::~TControl() { delete font_; }

void TControl::BeforeDestruction() {
  if (LastFocusedControl == this) LastFocusedControl = nullptr;
  if (captureControl == this) captureControl = nullptr;
  SetContainer(nullptr);
  TComponent::BeforeDestruction();
}

int32_t TControl::Deliver(uint32_t msg, int32_t wParam, int32_t lParam) {
  TMessage message{msg, wParam, lParam, 0};
  WindowProc.Code(WindowProc.Object, message);
  return message.Result;
}

int32_t TControl::DeliverTo(TControl* control, uint32_t msg, int32_t wParam, int32_t lParam) {
  return control ? control->Deliver(msg, wParam, lParam) : 0;
}

POINT TControl::ClientOriginOnScreen() {
  POINT origin{0, 0};
  if (parent_) origin = parent_->ClientOriginOnScreen();
  origin.x += left_;
  origin.y += top_;
  return origin;
}

RECT TControl::ClientArea() { return RECT{0, 0, width_, height_}; }

void TControl::SetContainer(TWinControl* newParent) {
  if (newParent == parent_) return;
  // A control inside itself would make every walk up the parents endless.
  for (const TControl* p = newParent; p; p = p->Parent())
    if (p == this) throw Exception("Control " + Describe(this) + " cannot be placed inside itself");
  if (parent_) parent_->ReleaseChild(this);
  if (newParent) newParent->AdoptChild(this);
}

void TControl::RequestRepaint() { InvalidateArea(visible_, (ControlStyle & ctlOpaque) != 0); }

void TControl::SetPlacement(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  InvalidateArea(visible_, false);
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  RequestRepaint();
  Deliver(WM_WINDOWPOSCHANGED);
}

void TControl::AttachToContainer(TComponent* parent) {
  if (auto* container = dynamic_cast<TWinControl*>(parent)) SetContainer(container);
}

void TControl::ReadContents(TReader* reader) {
  struct ReadingState {
    uint8_t& state;
    explicit ReadingState(uint8_t& s) : state(s) { state |= cstReading; }
    ~ReadingState() { state &= static_cast<uint8_t>(~cstReading); }
  };
  {
    ReadingState reading(ControlState);
    if (auto* container = dynamic_cast<TWinControl*>(reader->Parent())) SetContainer(container);
    TComponent::ReadContents(reader);
  }
  // Unless the resource turned following off, the parent's colour and font apply from here on.
  if (parent_) {
    Deliver(XM_PARENTCOLORCHANGED);
    Deliver(XM_PARENTFONTCHANGED);
  }
}

void TControl::Rescale(int32_t m, int32_t d) {
  if (m == d) {
    ScalingFlags = 0;
    return;
  }
  const uint8_t flags = (ComponentState() & csLoading) ? ScalingFlags : (sfLeft | sfTop | sfWidth | sfHeight | sfFont);
  int32_t left = left_, top = top_, width = width_, height = height_;
  if (flags & sfLeft) left = MulDiv(left_, m, d);
  if (flags & sfTop) top = MulDiv(top_, m, d);
  // Scaling the far edge keeps neighbouring controls flush after rounding.
  if ((flags & sfWidth) && !(ControlStyle & ctlFixedWidth))
    width = (flags & sfLeft) ? MulDiv(left_ + width_, m, d) - left : MulDiv(width_, m, d);
  if ((flags & sfHeight) && !(ControlStyle & ctlFixedHeight))
    height = (flags & sfTop) ? MulDiv(top_ + height_, m, d) - top : MulDiv(height_, m, d);
  SetPlacement(left, top, width, height);
  if (!parentFont_ && (flags & sfFont)) font_->SetPointSize(MulDiv(font_->PointSize(), m, d));
  ScalingFlags = 0;
}

void TControl::FireClick() {
  if (OnClick.Assigned()) OnClick(this);
}

HDC TControl::AcquireDC(HWND& window) {
  window = nullptr;
  if (!parent_) return nullptr;
  HDC dc = parent_->AcquireDC(window);
  if (!dc) return nullptr;
  SetViewportOrgEx(dc, left_, top_, nullptr);
  IntersectClipRect(dc, 0, 0, width_, height_);
  return dc;
}

void TControl::BeforeVisibleChange() {}

void TControl::HandleMessage(TMessage& message) {
  if (IsMouseMessage(message.Msg)) {
    if (!(ControlStyle & ctlDoubleClicks) &&
        (message.Msg == WM_LBUTTONDBLCLK || message.Msg == WM_RBUTTONDBLCLK || message.Msg == WM_MBUTTONDBLCLK))
      message.Msg -= 2;  // the matching button-down
    if (message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK) ControlState |= cstLeftButtonDown;
    if (message.Msg == WM_LBUTTONUP) ControlState &= static_cast<uint8_t>(~cstLeftButtonDown);
  }
  Dispatch(message);
}

void TControl::RepaintNow() {
  if (!visible_ || !parent_ || !parent_->HasWindow()) return;
  if (!(ControlStyle & ctlOpaque)) {
    RequestRepaint();
    FlushPaint();
    return;
  }
  // Opaque: nothing beneath shows through, so this control and those above it are painted straight away.
  TWindowDC dc(parent_->Handle());
  if (!dc) return;
  IntersectClipRect(dc.Get(), left_, top_, left_ + width_, top_ + height_);
  parent_->PaintChildren(dc.Get(), this);
}

void TControl::FlushPaint() {
  if (parent_) parent_->FlushPaint();
}

void TControl::SetVisibleFlag(bool flag) {
  if (flag == visible_) return;
  BeforeVisibleChange();
  visible_ = flag;
  Deliver(XM_VISIBLECHANGED);
}

void TControl::PlaceLeft(int32_t value) {
  SetPlacement(value, top_, width_, height_);
  ScalingFlags |= sfLeft;
}

void TControl::PlaceTop(int32_t value) {
  SetPlacement(left_, value, width_, height_);
  ScalingFlags |= sfTop;
}

void TControl::PlaceWidth(int32_t value) {
  SetPlacement(left_, top_, value, height_);
  ScalingFlags |= sfWidth;
}

void TControl::PlaceHeight(int32_t value) {
  SetPlacement(left_, top_, width_, value);
  ScalingFlags |= sfHeight;
}

void TControl::SetEnabledFlag(bool flag) {
  if (flag == enabled_) return;
  enabled_ = flag;
  Deliver(XM_ENABLEDCHANGED);
}

void TControl::SetColorValue(TColor value) {
  if (value == color_) return;
  color_ = value;
  parentColor_ = false;
  Deliver(XM_COLORCHANGED);
}

void TControl::SetFollowParentColor(bool flag) {
  if (flag == parentColor_) return;
  parentColor_ = flag;
  if (parent_) Deliver(XM_PARENTCOLORCHANGED);
}

void TControl::SetFollowParentFont(bool flag) {
  if (flag == parentFont_) return;
  parentFont_ = flag;
  if (parent_) Deliver(XM_PARENTFONTCHANGED);
}

void TControl::SetCaptionText(const WideString& text) {
  Deliver(WM_SETTEXT, 0, PointerParam(text.c_str()));
  Deliver(XM_TEXTCHANGED);
}

void TControl::FontWasChanged(TObject*) {
  parentFont_ = false;
  const int32_t height = font_->Height();
  if (height != lastFontHeight_) {
    ScalingFlags |= sfFont;
    lastFontHeight_ = height;
  }
  Deliver(XM_FONTCHANGED);
}

int32_t TControl::ClientWidth() {
  const RECT r = ClientArea();
  return r.right - r.left;
}

int32_t TControl::ClientHeight() {
  const RECT r = ClientArea();
  return r.bottom - r.top;
}

void TControl::SetClientExtent(int32_t width, int32_t height) {
  const int32_t clientWidth = ClientWidth();
  const int32_t clientHeight = ClientHeight();
  SetPlacement(left_, top_, width_ + (width - clientWidth), height_ + (height - clientHeight));
}

POINT TControl::ScreenToLocal(POINT screenPoint) {
  const POINT origin = ClientOriginOnScreen();
  return POINT{screenPoint.x - origin.x, screenPoint.y - origin.y};
}

void TControl::InvalidateArea(bool isVisible, bool isOpaque) {
  if (!isVisible || !parent_ || !parent_->HasWindow()) return;
  const RECT bounds = GetPlacementRect();
  const bool erase = !(isOpaque || (parent_->ControlStyle & ctlOpaque) || CoveredByOpaqueSibling());
  InvalidateRect(parent_->Handle(), &bounds, erase);
}

bool TControl::CoveredByOpaqueSibling() const {
  if (!parent_ || !parent_->winless_) return false;
  const TList& siblings = *parent_->winless_;
  const RECT bounds = GetPlacementRect();
  // Those before this control in the list lie beneath it.
  for (int32_t i = siblings.IndexOfItem(const_cast<TControl*>(this)) - 1; i >= 0; --i) {
    const auto* sibling = static_cast<const TControl*>(siblings.ItemAt(i));
    if (!sibling->visible_ || !(sibling->ControlStyle & ctlOpaque)) continue;
    const RECT under = sibling->GetPlacementRect();
    RECT common;
    if (IntersectRect(&common, &under, &bounds) && EqualRect(&common, &bounds)) return true;
  }
  return false;
}

void TControl::SetCapturing(bool flag) {
  if (flag != (CapturingControl() == this)) SetCapturingControl(flag ? this : nullptr);
}

void TControl::NotifyChanged() { Deliver(XM_CHANGED, 0, PointerParam(this)); }

void TControl::SendCancelModeNotice() {
  if (TForm* form = OwningForm(this)) form->CancelModeNotice(this);
}

void TControl::LeftButtonDown(TMessage& message) {
  SendCancelModeNotice();
  DefaultHandler(message);
  if (ControlStyle & ctlCaptureMouse) SetCapturing(true);
  if (message.Msg == WM_LBUTTONDOWN && (ControlStyle & ctlClicks)) ControlState |= cstClicked;
}

void TControl::LeftButtonUp(TMessage& message) {
  const POINT point = ParamPoint(message.LParam);
  DefaultHandler(message);
  if (ControlStyle & ctlCaptureMouse) SetCapturing(false);
  if (!(ControlState & cstClicked)) return;
  ControlState &= static_cast<uint8_t>(~cstClicked);
  const RECT client = ClientArea();
  if (PtInRect(&client, point)) FireClick();
}

void TControl::CancelMode(TMessage& message) {
  // Asked before the default handling, which may release a window's capture by itself.
  const bool captured = CapturingControl() == this;
  DefaultHandler(message);
  if (!captured) return;
  SetCapturingControl(nullptr);
  // A release far outside: the pending click is dropped.
  if (ControlState & cstLeftButtonDown) Deliver(WM_LBUTTONUP, 0, -1);
}

void TControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      LeftButtonDown(message);
      break;
    case WM_NCLBUTTONDOWN:
      SendCancelModeNotice();
      DefaultHandler(message);
      break;
    case WM_LBUTTONUP:
      LeftButtonUp(message);
      break;
    case WM_CANCELMODE:
      CancelMode(message);
      break;
    case XM_VISIBLECHANGED:
      InvalidateArea(true, visible_ && (ControlStyle & ctlOpaque));
      break;
    case XM_ENABLEDCHANGED:
    case XM_COLORCHANGED:
    case XM_FONTCHANGED:
      RequestRepaint();
      break;
    case XM_PARENTFONTCHANGED:
      if (parentFont_) {
        if (message.WParam)
          font_->CopyFrom(ParamPointer<TFont>(message.LParam));
        else if (parent_)
          font_->CopyFrom(parent_->Font());
        parentFont_ = true;  // the copy turned it off
      }
      break;
    case XM_PARENTCOLORCHANGED:
      if (parentColor_) {
        if (message.WParam)
          SetColorValue(message.LParam);
        else if (parent_)
          SetColorValue(parent_->Color());
        parentColor_ = true;
      }
      break;
    case XM_HITTEST:
      message.Result = 1;
      break;
    case XM_MOUSEENTER:
    case XM_MOUSELEAVE:
      if (parent_) parent_->Deliver(message.Msg, message.WParam, PointerParam(this));
      break;
    default:
      DefaultHandler(message);
      break;
  }
}

void TControl::DefaultHandler(TMessage& message) {
  switch (message.Msg) {
    case WM_SETTEXT: {
      const auto* text = ParamPointer<const wchar_t>(message.LParam);
      Text = text ? WideToUtf8(text, std::wcslen(text)) : AnsiString();
      message.Result = 1;
      break;
    }
    case WM_GETTEXT: {
      // As the platform does it: at most capacity - 1 characters and always a terminating NUL; the result
      // counts the characters without it.
      auto* buffer = ParamPointer<wchar_t>(message.LParam);
      const int32_t capacity = message.WParam;
      if (!buffer || capacity <= 0) break;
      const WideString text = Utf8ToWide(Text);
      const int32_t n = std::min(static_cast<int32_t>(text.size()), capacity - 1);
      std::wmemcpy(buffer, text.data(), static_cast<size_t>(n));
      buffer[n] = L'\0';
      message.Result = n;
      break;
    }
    case WM_GETTEXTLENGTH:
      message.Result = static_cast<int32_t>(Utf8ToWide(Text).size());
      break;
    default:
      break;
  }
}

// ---- TGraphicControl ----

TClass TGraphicControl::StaticClass() {
  static const TClassInfo info = DescribeClass<TGraphicControl>("TGraphicControl");
  return &info;
}

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {
  canvas_ = new TControlCanvas;
  canvas_->BindControl(this);
}

TGraphicControl::~TGraphicControl() { delete canvas_; }

void TGraphicControl::BeforeDestruction() {
  canvas_->DropContext();
  TControl::BeforeDestruction();
}

void TGraphicControl::Dispatch(TMessage& message) {
  if (message.Msg != WM_PAINT) {
    TControl::Dispatch(message);
    return;
  }
  // Sent by the parent's PaintChildren with its context, already shifted and clipped to this control.
  if (message.WParam) {
    TContextLoan loan(canvas_, ParamDC(message.WParam));
    PaintContent();
  }
}

// ---- TWinControl ----

TClass TWinControl::StaticClass() {
  static const TClassInfo info = DescribeClass<TWinControl>("TWinControl");
  return &info;
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
  windowProcInstance_ = NewMethodThunk(&MessageEntry<TWinControl, &TWinControl::WindowEntry>, this);
  brush_ = new TBrush;
  brush_->SetToolColor(color_);
}

TWinControl::~TWinControl() {
  // BeforeDestruction destroyed the window; one made again since must not reach this object any more.
  if (handle_) {
    RemovePropW(handle_, ControlProperty());
    SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(handle_);
    handle_ = nullptr;
  }
  delete winless_;
  delete windowed_;
  delete tabList_;
  delete brush_;
  ReleaseMethodThunk(windowProcInstance_);
}

void TWinControl::BeforeDestruction() {
  MarkTreeDestroying(this);
  if (parent_) {
    if (TForm* form = OwningForm(this)) form->ForgetControl(this, true);
  }
  if (handle_) DestroyOwnWindow();
  // Last created first: windowed children, then window-less ones.
  while (const int32_t count = ChildCount()) {
    TControl* child = ChildAt(count - 1);
    RemoveChildFromLists(child);
    FreeComponent(child);
  }
  TControl::BeforeDestruction();
}

int32_t TWinControl::ChildCount() const {
  return (winless_ ? winless_->Count() : 0) + (windowed_ ? windowed_->Count() : 0);
}

TControl* TWinControl::ChildAt(int32_t index) const {
  const int32_t winlessCount = winless_ ? winless_->Count() : 0;
  if (index < winlessCount) return static_cast<TControl*>(winless_->ItemAt(index));
  return static_cast<TControl*>(windowed_->ItemAt(index - winlessCount));
}

void TWinControl::RemoveChildFromLists(TControl* control) {
  auto removeFrom = [control](TList*& list) {
    if (!list) return;
    list->RemoveItem(control);
    if (list->Count() == 0) {
      delete list;
      list = nullptr;
    }
  };
  removeFrom(winless_);
  removeFrom(windowed_);
  removeFrom(tabList_);
  control->parent_ = nullptr;
}

void TWinControl::AdoptChild(TControl* control) {
  Deliver(XM_CONTROLLISTCHANGE, PointerParam(control), 1);
  auto* windowed = dynamic_cast<TWinControl*>(control);
  auto append = [control](TList*& list) {
    if (!list) list = new TList;
    list->Append(control);
  };
  if (windowed) {
    append(windowed_);
    append(tabList_);
  } else {
    append(winless_);
  }
  control->parent_ = this;
  if (control->ControlState & cstReading) return;
  control->Deliver(XM_PARENTCOLORCHANGED);
  control->Deliver(XM_PARENTFONTCHANGED);
  if (windowed)
    RefreshShowingFromTop();
  else if (handle_)
    control->RequestRepaint();
}

void TWinControl::ReleaseChild(TControl* control) {
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) {
    if (TForm* form = OwningForm(this)) form->ForgetControl(windowed, true);
    windowed->DestroyWindowTree();
  } else if (handle_) {
    control->InvalidateArea(control->visible_, false);
  }
  RemoveChildFromLists(control);
  Deliver(XM_CONTROLLISTCHANGE, PointerParam(control), 0);
}

void TWinControl::ReadContents(TReader* reader) {
  TControl::ReadContents(reader);
  RefreshShowingFromTop();
}

// ---- windows ----

TWinControl* TWinControl::ControlFromWindow(HWND window) {
  if (!window || !ControlAtom) return nullptr;
  // The property of another process's window would name memory of that process.
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  return static_cast<TWinControl*>(GetPropW(window, ControlProperty()));
}

void TWinControl::EnsureWindow() {
  if (handle_) return;
  if (parent_) parent_->EnsureWindow();
  CreateWindowNow();
}

HWND TWinControl::WindowHandle() {
  EnsureWindow();
  return handle_;
}

void TWinControl::FillCreateParams(TCreateParams& params) {
  params = TCreateParams{};
  params.Caption = Utf8ToWide(Text);
  params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (ControlStyle & ctlContainer) {
    params.Style |= WS_CLIPCHILDREN;
    params.ExStyle |= WS_EX_CONTROLPARENT;
  }
  if (!enabled_) params.Style |= WS_DISABLED;
  if (TabStop) params.Style |= WS_TABSTOP;
  params.X = left_;
  params.Y = top_;
  params.Width = width_;
  params.Height = height_;
  params.WndParent = parent_ ? parent_->WindowHandle() : nullptr;
  params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  params.WindowClass.lpfnWndProc = DefWindowProcW;
  params.WindowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  params.WindowClass.hInstance = GetModuleHandleW(nullptr);
  const WideString name = Utf8ToWide(ClassName());
  const size_t n = std::min(name.size(), std::size(params.WinClassName) - 1);
  std::wmemcpy(params.WinClassName, name.data(), n);
  params.WinClassName[n] = L'\0';
}

void TWinControl::AdoptSystemClass(TCreateParams& params, const wchar_t* systemClassName) {
  const HINSTANCE ownInstance = params.WindowClass.hInstance;
  const HINSTANCE candidates[] = {GetModuleHandleW(nullptr), nullptr, GetModuleHandleW(L"user32.dll"), ownInstance};
  bool found = false;
  for (HINSTANCE instance : candidates) {
    if (GetClassInfoW(instance, systemClassName, &params.WindowClass)) {
      found = true;
      break;
    }
  }
  if (!found) throw Exception("Window class " + WideToUtf8(systemClassName) + " does not exist");
  params.WindowClass.hInstance = ownInstance;
  params.WindowClass.style =
      (params.WindowClass.style & ~static_cast<UINT>(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS)) |
      CS_VREDRAW | CS_HREDRAW;
}

void TWinControl::BuildWindow() {
  TCreateParams params;
  FillCreateParams(params);
  defaultWndProc_ = params.WindowClass.lpfnWndProc;
  WNDCLASSW registered{};
  const bool known = GetClassInfoW(params.WindowClass.hInstance, params.WinClassName, &registered);
  if (!known || registered.lpfnWndProc != FirstMessageProc) {
    // Every class the framework uses binds its windows on their first message.
    if (known) UnregisterClassW(params.WinClassName, params.WindowClass.hInstance);
    params.WindowClass.lpfnWndProc = FirstMessageProc;
    params.WindowClass.lpszClassName = params.WinClassName;
    if (!RegisterClassW(&params.WindowClass))
      throw Exception("Window class " + WideToUtf8(params.WinClassName) + " cannot be registered");
  }
  MakeWindow(params);
  Text.clear();  // the window holds the caption now
  ReadBackBounds();
  Deliver(WM_SETFONT, PointerParam(font_->FetchHandle()), 1);
}

HWND TWinControl::MakeWindow(TCreateParams& params) {
  BindNextWindow({windowProcInstance_, &TWinControl::AttachWindow, this});
  const HWND window = CreateWindowExW(params.ExStyle, params.WinClassName, params.Caption.c_str(), params.Style,
                                      params.X, params.Y, params.Width, params.Height, params.WndParent, nullptr,
                                      params.WindowClass.hInstance, params.Param);
  CancelWindowBinding();
  // Going on with a null handle would only fail later and further away.
  if (!window) {
    throw Exception("The window of " + Describe(this) + " cannot be created (error " + std::to_string(GetLastError()) +
                    ")");
  }
  return window;
}

void TWinControl::AttachWindow(void* object, HWND window) {
  auto* self = static_cast<TWinControl*>(object);
  self->handle_ = window;
  if ((GetWindowLongW(window, GWL_STYLE) & WS_CHILD) && GetWindowLongPtrW(window, GWLP_ID) == 0)
    SetWindowLongPtrW(window, GWLP_ID, reinterpret_cast<LONG_PTR>(window));
  SetPropW(window, ControlProperty(), self);
}

void TWinControl::CreateWindowNow() {
  if (handle_) return;
  // A control being destroyed gets no new window; callers see a null handle.
  if (ComponentState() & csDestroying) return;
  BuildWindow();
  SetPropW(handle_, ControlProperty(), this);
  if (!parent_) return;
  // Just below the first later sibling that has a window, so siblings stack in list order.
  HWND after = nullptr;
  const TList& siblings = *parent_->windowed_;
  for (int32_t i = siblings.IndexOfItem(this) + 1; i < siblings.Count(); ++i) {
    if (HWND h = static_cast<TWinControl*>(siblings.ItemAt(i))->handle_) {
      after = h;
      break;
    }
  }
  SetWindowPos(handle_, after, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
}

void TWinControl::DestroyOwnWindow() { DestroyWindow(handle_); }

void TWinControl::TearDownWindow() {
  const int32_t length = Deliver(WM_GETTEXTLENGTH);
  if (length > 0) {
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int32_t n = Deliver(WM_GETTEXT, length + 1, PointerParam(buffer.data()));
    Text = WideToUtf8(buffer.data(), static_cast<size_t>(std::max(0, std::min(n, length))));
  } else {
    Text.clear();
  }
  DropAllContexts();
  DestroyOwnWindow();
}

void TWinControl::DestroyWindowTree() {
  if (!handle_) return;
  if (windowed_) {
    for (int32_t i = 0; i < windowed_->Count(); ++i)
      static_cast<TWinControl*>(windowed_->ItemAt(i))->DestroyWindowTree();
  }
  TearDownWindow();
}

void TWinControl::ReadBackBounds() {
  if (!handle_) return;
  RECT r{};
  GetWindowRect(handle_, &r);
  if (GetWindowLongW(handle_, GWL_STYLE) & WS_CHILD)
    MapWindowPoints(nullptr, GetParent(handle_), reinterpret_cast<POINT*>(&r), 2);
  left_ = r.left;
  top_ = r.top;
  width_ = r.right - r.left;
  height_ = r.bottom - r.top;
}

AnsiString TWinControl::ReadCaption() {
  const int32_t length = Deliver(WM_GETTEXTLENGTH);
  if (length <= 0) return AnsiString();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const int32_t n = Deliver(WM_GETTEXT, length + 1, PointerParam(buffer.data()));
  return WideToUtf8(buffer.data(), static_cast<size_t>(std::max(0, std::min(n, length))));
}

void TWinControl::WriteCaption(const AnsiString& text) { SetCaptionText(Utf8ToWide(text)); }

// ---- showing ----

void TWinControl::RefreshShowing() {
  const bool showing = visible_ && !(ControlState & cstReading);
  if (showing) {
    if (!handle_) CreateWindowNow();
    for (int32_t i = 0; windowed_ && i < windowed_->Count(); ++i)
      static_cast<TWinControl*>(windowed_->ItemAt(i))->RefreshShowing();
  }
  if (handle_ && showing != showing_) {
    showing_ = showing;
    Deliver(XM_SHOWINGCHANGED);
  }
}

void TWinControl::RefreshShowingFromTop() {
  const TControl* top = this;
  for (TWinControl* p = parent_; p; p = p->parent_) {
    if (!p->showing_) return;
    top = p;
  }
  if (dynamic_cast<const TForm*>(top)) RefreshShowing();
}

// ---- bounds and painting requests ----

POINT TWinControl::ClientOriginOnScreen() {
  POINT origin{0, 0};
  ClientToScreen(WindowHandle(), &origin);
  return origin;
}

RECT TWinControl::ClientArea() {
  RECT r{0, 0, 0, 0};
  GetClientRect(WindowHandle(), &r);
  return r;
}

void TWinControl::SetPlacement(int32_t left, int32_t top, int32_t width, int32_t height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  if (handle_) {
    // The fields follow when the window reports back (ReadBackBounds).
    SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOACTIVATE | SWP_NOZORDER);
    return;
  }
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
}

HDC TWinControl::AcquireDC(HWND& window) {
  window = WindowHandle();
  return window ? GetDC(window) : nullptr;
}

void TWinControl::RequestRepaint() { Deliver(XM_INVALIDATE); }

void TWinControl::RepaintNow() {
  RequestRepaint();
  FlushPaint();
}

void TWinControl::FlushPaint() {
  if (handle_) UpdateWindow(handle_);
}

void TWinControl::Rescale(int32_t m, int32_t d) {
  for (int32_t i = 0; i < ChildCount(); ++i) ChildAt(i)->Rescale(m, d);
  TControl::Rescale(m, d);
}

// ---- message routing ----

void TWinControl::WindowEntry(TMessage& message) {
  try {
    WindowProc.Code(WindowProc.Object, message);
  } catch (...) {
    if (Application) Application->ReportException();
  }
  // A device context never outlives the message during which it was taken.
  try {
    DropAllContexts();
    FreeAllBitmapContexts();
  } catch (...) {
    if (Application) Application->ReportException();
  }
}

void TWinControl::HandleMessage(TMessage& message) {
  switch (message.Msg) {
    case WM_SETFOCUS:
      if (TForm* form = OwningForm(this); form && !form->MoveFocusTo(this)) return;
      break;
    case WM_KILLFOCUS:
      if (ControlState & cstFocusing) return;
      break;
    case WM_CANCELMODE:
      if (handle_ && GetCapture() == handle_ && captureControl && captureControl->parent_ == this)
        captureControl->Deliver(WM_CANCELMODE);
      break;
    case WM_NCHITTEST: {
      TControl::HandleMessage(message);
      // The window itself may be transparent to the mouse where a window-less child takes it.
      if (message.Result == HTTRANSPARENT && ChildAtPoint(ScreenToLocal(ParamPoint(message.LParam)), false))
        message.Result = HTCLIENT;
      return;
    }
    default:
      if (IsMouseMessage(message.Msg) && RouteMouseToChild(message)) return;
      break;
  }
  TControl::HandleMessage(message);
}

bool TWinControl::RouteMouseToChild(TMessage& message) {
  POINT point = ParamPoint(message.LParam);
  if (message.Msg == WM_MOUSEWHEEL && handle_) ScreenToClient(handle_, &point);  // the wheel's point is on screen
  TControl* target = nullptr;
  if (handle_ && GetCapture() == handle_) {
    // While this window holds the mouse, only a window-less child that took it gets the messages.
    if (captureControl && captureControl->parent_ == this) target = captureControl;
  } else {
    target = ChildAtPoint(point, false);
  }
  if (!target) return false;
  point.x -= target->left_;
  point.y -= target->top_;
  message.Result = target->Deliver(message.Msg, message.WParam, PointParam(point));
  return true;
}

TControl* TWinControl::ChildAtPoint(POINT point, bool allowDisabled) {
  for (int32_t i = (winless_ ? winless_->Count() : 0) - 1; i >= 0; --i) {
    auto* child = static_cast<TControl*>(winless_->ItemAt(i));
    const POINT local{point.x - child->left_, point.y - child->top_};
    const RECT area = child->ClientArea();
    if (PtInRect(&area, local) && child->visible_ && (child->enabled_ || allowDisabled) &&
        child->Deliver(XM_HITTEST, 0, PointParam(local)) != 0)
      return child;
  }
  return nullptr;
}

bool TWinControl::ReflectToChild(TMessage& message, HWND child) {
  TWinControl* control = ControlFromWindow(child);
  if (!control || control == this) return false;
  message.Result = control->Deliver(message.Msg + XN_BASE, message.WParam, message.LParam);
  return true;
}

void TWinControl::BroadcastToChildren(TMessage& message) {
  for (int32_t i = 0; i < ChildCount(); ++i) {
    TControl* child = ChildAt(i);
    child->WindowProc.Code(child->WindowProc.Object, message);
    if (message.Result != 0) return;
  }
}

void TWinControl::NotifyChildren(uint32_t msg) {
  TMessage message{msg, 0, 0, 0};
  BroadcastToChildren(message);
}

void TWinControl::DefaultHandler(TMessage& message) {
  if (!handle_) {
    TControl::DefaultHandler(message);
    return;
  }
  if (message.Msg >= WM_CTLCOLORMSGBOX && message.Msg <= WM_CTLCOLORSTATIC) {
    // The colour request belongs to the control whose window asks; a foreign window gets the default.
    const HWND child = reinterpret_cast<HWND>(static_cast<intptr_t>(message.LParam));
    if (ControlFromWindow(child)) {
      message.Result = static_cast<int32_t>(SendMessageW(
          child, message.Msg + XN_BASE, static_cast<WPARAM>(message.WParam), static_cast<LPARAM>(message.LParam)));
      return;
    }
  } else if (message.Msg >= XN_CTLCOLORMSGBOX && message.Msg <= XN_CTLCOLORSTATIC) {
    const HDC dc = ParamDC(message.WParam);
    SetTextColor(dc, ResolveColor(font_->Color));
    SetBkColor(dc, ResolveColor(brush_->Color()));
    message.Result = PointerParam(brush_->FetchHandle());
    return;
  }
  message.Result = static_cast<int32_t>(CallWindowProcW(
      defaultWndProc_, handle_, message.Msg, static_cast<WPARAM>(message.WParam), static_cast<LPARAM>(message.LParam)));
}

// ---- painting ----

void TWinControl::PaintAll(TMessage& message) {
  HDC dc = ParamDC(message.WParam);
  PAINTSTRUCT paint{};
  const bool began = dc == nullptr;
  if (began) dc = BeginPaint(handle_, &paint);
  struct EndGuard {
    HWND window;
    PAINTSTRUCT* paint;
    bool active;
    ~EndGuard() {
      if (active) EndPaint(window, paint);
    }
  } endGuard{handle_, &paint, began};
  if (winless_) {
    TSavedContext saved(dc);
    // Opaque window-less children paint their own rectangles: keep the window's painting off them.
    int region = SIMPLEREGION;
    for (int32_t i = 0; i < winless_->Count(); ++i) {
      const auto* child = static_cast<const TControl*>(winless_->ItemAt(i));
      if (!child->visible_ || !(child->ControlStyle & ctlOpaque)) continue;
      region =
          ExcludeClipRect(dc, child->left_, child->top_, child->left_ + child->width_, child->top_ + child->height_);
      if (region == NULLREGION) break;
    }
    if (region != NULLREGION) PaintOwnWindow(dc);
  } else {
    PaintOwnWindow(dc);
  }
  PaintChildren(dc, nullptr);
}

void TWinControl::PaintOwnWindow(HDC dc) {
  TMessage paint{WM_PAINT, PointerParam(dc), 0, 0};
  DefaultHandler(paint);
}

void TWinControl::PaintChildren(HDC dc, TControl* first) {
  if (!winless_) return;
  int32_t start = first ? winless_->IndexOfItem(first) : 0;
  if (start < 0) start = 0;
  for (int32_t i = start; winless_ && i < winless_->Count(); ++i) {
    auto* child = static_cast<TControl*>(winless_->ItemAt(i));
    if (!child->visible_) continue;
    const RECT bounds = child->GetPlacementRect();
    if (!RectVisible(dc, &bounds)) continue;
    TSavedContext saved(dc);
    POINT origin{0, 0};
    GetWindowOrgEx(dc, &origin);
    SetWindowOrgEx(dc, origin.x - child->left_, origin.y - child->top_, nullptr);
    IntersectClipRect(dc, 0, 0, child->width_, child->height_);
    child->Deliver(WM_PAINT, PointerParam(dc));
  }
}

void TWinControl::EraseBackground(TMessage& message) {
  const HDC dc = ParamDC(message.WParam);
  if (ThemesActive() && parent_ && (ControlStyle & ctlParentBackground)) {
    PaintParentBackground(handle_, dc);
  } else {
    const RECT area = ClientArea();
    FillRect(dc, &area, brush_->FetchHandle());
  }
  message.Result = 1;
}

void TWinControl::Invalidate(TMessage& message) {
  if (!handle_) return;
  if (parent_) parent_->Deliver(XM_INVALIDATE, 1);
  if (message.WParam != 0) return;  // only passed up from a child
  InvalidateRect(handle_, nullptr, !(ControlStyle & ctlOpaque));
  if (!ThemesActive()) return;
  const bool everyChild = PlatformMajorVersion() > 5;
  for (int32_t i = 0; i < ChildCount(); ++i) {
    TControl* child = ChildAt(i);
    if (everyChild || (child->ControlStyle & ctlParentBackground)) child->RequestRepaint();
  }
}

// ---- property notices ----

void TWinControl::ChangedVisibility(TMessage&) {
  if (!visible_ && parent_) {
    if (TForm* form = OwningForm(this)) form->ForgetControl(this, false);
  }
  RefreshShowingFromTop();
}

void TWinControl::ChangedEnabling(TMessage&) {
  if (!enabled_ && parent_) {
    if (TForm* form = OwningForm(this)) form->ForgetControl(this, false);
  }
  if (handle_) EnableWindow(handle_, enabled_);
}

// ---- keyboard ----

void TWinControl::RevealFocusCues(int32_t key) {
  TForm* form = OwningForm(this);
  if (!form || !form->HasWindow()) return;
  WORD cue = 0;
  if (key == VK_TAB || key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN)
    cue = UISF_HIDEFOCUS;
  else if (key == VK_MENU)
    cue = UISF_HIDEACCEL;
  if (!cue) return;
  const HWND window = form->Handle();
  if (!ThemesActive()) {
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, cue), 0);
    return;
  }
  const LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
  if (!(state & cue)) return;
  // Showing the accelerators shows the focus rectangle as well.
  if (cue == UISF_HIDEACCEL) cue = UISF_HIDEACCEL | UISF_HIDEFOCUS;
  SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, cue), 0);
  if (PlatformMajorVersion() > 5) form->RequestRepaint();
}

void TWinControl::KeyDown(TMessage& message, bool system) {
  const int32_t key = message.WParam;
  const int32_t keyData = message.LParam;
  message.Result = 1;
  RevealFocusCues(key);
  if (Deliver(XM_CHILDKEY, key, PointerParam(this)) != 0) return;
  TForm* form = OwningForm(this);
  if (system) {
    if (!form || TControl::DeliverTo(form, XM_DIALOGKEY, key, keyData) == 0) message.Result = 0;
    return;
  }
  int32_t mask = 0;
  switch (key) {
    case VK_CANCEL:
    case VK_RETURN:
    case VK_ESCAPE:
    case VK_EXECUTE:
      mask = DLGC_WANTALLKEYS;
      break;
    case VK_TAB:
      mask = DLGC_WANTTAB;
      break;
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
      mask = DLGC_WANTARROWS;
      break;
    default:
      break;
  }
  if (mask && Deliver(XM_WANTSPECIALKEY, key) == 0 && !(Deliver(WM_GETDLGCODE) & mask) && form &&
      TControl::DeliverTo(form, XM_DIALOGKEY, key, keyData) != 0)
    return;
  message.Result = 0;
}

// ---- message table ----

void TWinControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_DESTROY:
      TControl::Dispatch(message);
      RemovePropW(handle_, ControlProperty());
      DropAllContexts();
      return;
    case WM_NCDESTROY:
      TControl::Dispatch(message);
      handle_ = nullptr;
      showing_ = false;
      return;
    case WM_WINDOWPOSCHANGED:
    case WM_SIZE:
    case WM_MOVE:
      TControl::Dispatch(message);
      ReadBackBounds();
      return;
    case WM_PAINT:
      if (ChildCount() > 0)
        PaintAll(message);
      else
        TControl::Dispatch(message);
      return;
    case WM_ERASEBKGND:
      EraseBackground(message);
      return;
    case WM_COMMAND:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
      if (!ReflectToChild(message, reinterpret_cast<HWND>(static_cast<intptr_t>(message.LParam))))
        TControl::Dispatch(message);
      return;
    case WM_NOTIFY: {
      const auto* header = ParamPointer<const NMHDR>(message.LParam);
      if (!header || !ReflectToChild(message, header->hwndFrom)) TControl::Dispatch(message);
      return;
    }
    case WM_PARENTNOTIFY: {
      const WORD event = LOWORD(static_cast<uint32_t>(message.WParam));
      if ((event != WM_CREATE && event != WM_DESTROY) ||
          !ReflectToChild(message, reinterpret_cast<HWND>(static_cast<intptr_t>(message.LParam))))
        TControl::Dispatch(message);
      return;
    }
    case XM_INVALIDATE:
      Invalidate(message);
      return;
    case XM_SHOWINGCHANGED:
      SetWindowPos(
          handle_, nullptr, 0, 0, 0, 0,
          (showing_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
      return;
    case XM_VISIBLECHANGED:
      ChangedVisibility(message);
      return;
    case XM_ENABLEDCHANGED:
      ChangedEnabling(message);
      return;
    case XM_COLORCHANGED:
      TControl::Dispatch(message);
      brush_->SetToolColor(color_);
      NotifyChildren(XM_PARENTCOLORCHANGED);
      return;
    case XM_FONTCHANGED:
      TControl::Dispatch(message);
      if (handle_) Deliver(WM_SETFONT, PointerParam(font_->FetchHandle()));
      NotifyChildren(XM_PARENTFONTCHANGED);
      return;
    case XM_CONTROLLISTCHANGE:
    case XM_CHILDKEY:
    case XM_CHANGED:
      if (parent_) parent_->WindowProc.Code(parent_->WindowProc.Object, message);
      return;
    case XM_DIALOGKEY:
    case XM_DIALOGCHAR:
    case XM_FOCUSCHANGED:
      BroadcastToChildren(message);
      return;
    case XN_KEYDOWN:
      KeyDown(message, false);
      return;
    case XN_SYSKEYDOWN:
      KeyDown(message, true);
      return;
    case XN_KEYUP:
      switch (message.WParam) {
        case VK_CANCEL:
        case VK_TAB:
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
        case VK_EXECUTE:
          message.Result = Deliver(XM_WANTSPECIALKEY, message.WParam);
          break;
        default:
          break;
      }
      return;
    case XN_CHAR: {
      message.Result = 1;
      TControl* form = OwningForm(this);
      if (!(Deliver(WM_GETDLGCODE) & DLGC_WANTCHARS) && form &&
          form->Deliver(XM_DIALOGCHAR, message.WParam, message.LParam) != 0)
        return;
      message.Result = 0;
      return;
    }
    case XN_SYSCHAR:
      if (message.WParam != L' ')
        message.Result = TControl::DeliverTo(OwningForm(this), XM_DIALOGCHAR, message.WParam, message.LParam);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      TControl::Dispatch(message);
      RevealFocusCues(message.WParam);
      return;
    case WM_SYSCOMMAND: {
      const int32_t character = message.LParam;
      if ((message.WParam & 0xFFF0) == SC_KEYMENU && character != L' ' && character != L'-' && !GetCapture()) {
        if (TControl::DeliverTo(OwningForm(this), XM_KEYMENU, message.WParam, message.LParam) != 0) return;
      }
      TControl::Dispatch(message);
      return;
    }
    default:
      TControl::Dispatch(message);
      return;
  }
}

// ---- tab order and focus ----

void TWinControl::CollectTabOrder(TList& list) {
  for (int32_t i = 0; tabList_ && i < tabList_->Count(); ++i) {
    auto* child = static_cast<TWinControl*>(tabList_->ItemAt(i));
    list.Append(child);
    child->CollectTabOrder(list);
  }
}

TWinControl* TWinControl::NextInTabOrder(TWinControl* current, bool forward, bool checkTabStop, bool checkParent) {
  TList list;
  CollectTabOrder(list);
  const int32_t count = list.Count();
  if (count == 0) return nullptr;
  int32_t start = list.IndexOfItem(current);
  if (start < 0) start = forward ? count - 1 : 0;
  int32_t i = start;
  do {
    i = forward ? (i + 1) % count : (i + count - 1) % count;
    auto* candidate = static_cast<TWinControl*>(list.ItemAt(i));
    if (candidate->IsFocusable() && (!checkTabStop || candidate->TabStop) &&
        (!checkParent || candidate->parent_ == this))
      return candidate;
  } while (i != start);
  return nullptr;
}

void TWinControl::FocusNextInTabOrder(TWinControl* current, bool forward, bool checkTabStop) {
  if (TWinControl* next = NextInTabOrder(current, forward, checkTabStop, !checkTabStop)) next->TakeFocus();
}

bool TWinControl::IsFocusable() {
  TForm* form = OwningForm(this);
  if (!form) return false;
  if (form == this) return visible_ && enabled_;
  for (const TControl* c = this; c != form; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

bool TWinControl::HasFocus() const { return handle_ && GetFocus() == handle_; }

void TWinControl::TakeFocus() {
  if (!HasFocus() && IsFocusable()) OwningForm(this)->FocusChild(this);
}

// ---- TCustomControl ----

TClass TCustomControl::StaticClass() {
  static const TClassInfo info = DescribeClass<TCustomControl>("TCustomControl");
  return &info;
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {
  canvas_ = new TControlCanvas;
  canvas_->BindControl(this);
}

TCustomControl::~TCustomControl() { delete canvas_; }

void TCustomControl::BeforeDestruction() {
  canvas_->DropContext();
  TWinControl::BeforeDestruction();
}

void TCustomControl::PaintOwnWindow(HDC dc) {
  TContextLoan loan(canvas_, dc);
  PaintContent();
}

void TCustomControl::Dispatch(TMessage& message) {
  if (message.Msg == WM_PAINT) {
    PaintAll(message);
    return;
  }
  TWinControl::Dispatch(message);
}
