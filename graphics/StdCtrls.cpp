#include "graphics/StdCtrls.h"

#include <string>

#include "framework/Forms.h"
#include "framework/TypInfo.h"
#include "framework/WinHandles.h"
#include "graphics/Themes.h"

namespace {

HDC ParamDC(int32_t value) { return reinterpret_cast<HDC>(static_cast<intptr_t>(value)); }
uint16_t NotifyCode(const TMessage& message) { return HIWORD(static_cast<uint32_t>(message.WParam)); }
int32_t StockNullBrush() { return PointerParam(GetStockObject(NULL_BRUSH)); }

// The screen context with the control's font selected for as long as the object lives.
class TScreenFont {
 public:
  explicit TScreenFont(TFont* font) : old_(SelectObject(ScreenDeviceContext, font->FetchHandle())) {}
  TScreenFont(const TScreenFont&) = delete;
  TScreenFont& operator=(const TScreenFont&) = delete;
  ~TScreenFont() { SelectObject(ScreenDeviceContext, old_); }
  HDC Get() const { return ScreenDeviceContext; }

 private:
  HGDIOBJ old_;
};

}  // namespace

// ---- TEdit ----

TClass TEdit::StaticClass() {
  static const TClassInfo info = DescribeClass<TEdit>("TEdit");
  return &info;
}

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  ControlStyle = 0xAC;
  height_ = 25;
  TabStop = true;
  SetFollowParentColor(false);
  AutoSize = true;
  FitHeightToFont();
}

void TEdit::FillCreateParams(TCreateParams& params) {
  TWinControl::FillCreateParams(params);
  AdoptSystemClass(params, L"EDIT");
  params.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
  if (IsReadOnly) params.Style |= ES_READONLY;
  params.Style &= ~static_cast<DWORD>(WS_BORDER);
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TEdit::BuildWindow() {
  InWindowCreation = true;
  try {
    TWinControl::BuildWindow();
  } catch (...) {
    InWindowCreation = false;
    throw;
  }
  InWindowCreation = false;
  if (AutoSize) {
    ControlStyle |= ctlFixedHeight;
    FitHeightToFont();
  }
}

void TEdit::ApplyReadOnly(bool flag) {
  if (flag == IsReadOnly) return;
  IsReadOnly = flag;
  if (HasWindow()) SendMessageW(Handle(), EM_SETREADONLY, flag, 0);
}

void TEdit::ApplyAutoSize(bool flag) {
  if (flag == AutoSize) return;
  AutoSize = flag;
  if (flag) {
    ControlStyle |= ctlFixedHeight;
    FitHeightToFont();
  } else {
    ControlStyle &= static_cast<uint16_t>(~ctlFixedHeight);
  }
}

void TEdit::FitHeightToFont() {
  TEXTMETRICA metrics{};
  {
    TScreenFont font(font_);
    GetTextMetricsA(font.Get(), &metrics);
  }
  PlaceHeight(metrics.tmHeight + 8 * GetSystemMetrics(SM_CYBORDER));
}

void TEdit::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case XN_COMMAND:
      if (NotifyCode(message) == EN_CHANGE && !InWindowCreation) ChangeHook();
      return;
    case XM_TEXTCHANGED:
      TWinControl::Dispatch(message);
      if (!HasWindow() || (GetWindowLongW(Handle(), GWL_STYLE) & ES_MULTILINE)) ChangeHook();
      return;
    default:
      TWinControl::Dispatch(message);
  }
}

// ---- TMemo ----

TClass TMemoStrings::StaticClass() {
  static const TClassInfo info = DescribeClass<TMemoStrings>("TMemoStrings");
  return &info;
}

int32_t TMemoStrings::LineCount() const {
  if (!memo_->HasWindow()) return 0;
  const HWND window = memo_->Handle();
  int32_t n = static_cast<int32_t>(SendMessageW(window, EM_GETLINECOUNT, 0, 0));
  const LRESULT start = SendMessageW(window, EM_LINEINDEX, n - 1, 0);
  if (n > 0 && SendMessageW(window, EM_LINELENGTH, start, 0) == 0) --n;
  return n;
}

AnsiString TMemoStrings::GetAllText() const { return memo_->ReadCaption(); }

void TMemoStrings::SetAllText(const AnsiString& text) {
  const WideString wide = Utf8ToWide(text);
  SendMessageW(memo_->WindowHandle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  memo_->Deliver(XM_TEXTCHANGED);
}

void TMemoStrings::UpdatingChanged(bool updating) {
  if (!memo_->HasWindow()) return;
  SendMessageW(memo_->Handle(), WM_SETREDRAW, updating ? FALSE : TRUE, 0);
  if (!updating) {
    memo_->Deliver(XM_SHOWINGCHANGED);
    memo_->RepaintNow();
  }
}

TClass TMemo::StaticClass() {
  static const TClassInfo info = DescribeClass<TMemo>("TMemo");
  return &info;
}

TMemo::TMemo(TComponent* owner) : TEdit(owner) {
  ApplyAutoSize(false);
  TextLines = new TMemoStrings(this);
}

TMemo::~TMemo() { delete TextLines; }

void TMemo::FillCreateParams(TCreateParams& params) {
  TEdit::FillCreateParams(params);
  params.Style = (params.Style & ~static_cast<DWORD>(ES_AUTOHSCROLL)) | ES_MULTILINE | WS_VSCROLL;
}

HWND TMemo::MakeWindow(TCreateParams& params) {
  // The text may be long: it goes in after creation rather than as the window name.
  const WideString caption = params.Caption;
  params.Caption.clear();
  const HWND window = TEdit::MakeWindow(params);
  if (window) SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption.c_str()));
  return window;
}

void TMemo::Dispatch(TMessage& message) {
  if (message.Msg == WM_GETDLGCODE) {
    TEdit::Dispatch(message);
    // Tab and Enter move between the wizard's controls.
    message.Result &= ~(DLGC_WANTTAB | DLGC_WANTALLKEYS);
    return;
  }
  TEdit::Dispatch(message);
}

// ---- TComboBox ----

TClass TComboBoxStrings::StaticClass() {
  static const TClassInfo info = DescribeClass<TComboBoxStrings>("TComboBoxStrings");
  return &info;
}

int32_t TComboBoxStrings::LineCount() const {
  return static_cast<int32_t>(SendMessageW(box_->WindowHandle(), CB_GETCOUNT, 0, 0));
}

int32_t TComboBoxStrings::AddLine(const AnsiString& text) {
  const WideString wide = Utf8ToWide(text);
  return static_cast<int32_t>(
      SendMessageW(box_->WindowHandle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

void* TComboBoxStrings::GetObject(int32_t index) const {
  return reinterpret_cast<void*>(SendMessageW(box_->WindowHandle(), CB_GETITEMDATA, index, 0));
}

void TComboBoxStrings::SetObject(int32_t index, void* object) {
  SendMessageW(box_->WindowHandle(), CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(object));
}

TClass TComboBox::StaticClass() {
  static const TPropInfo props[] = {EventProp<&TComboBox::OnChange>("OnChange")};
  static const TClassInfo info = DescribeClass<TComboBox>("TComboBox", props);
  return &info;
}

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner) {
  ControlStyle = 0x8A;
  height_ = 25;
  TabStop = true;
  SetFollowParentColor(false);
  ItemList = new TComboBoxStrings(this);
}

TComboBox::~TComboBox() {
  delete ItemsBackup;
  delete ItemList;
}

void TComboBox::FillCreateParams(TCreateParams& params) {
  TWinControl::FillCreateParams(params);
  AdoptSystemClass(params, L"COMBOBOX");
  params.Style |= CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | CBS_HASSTRINGS | WS_VSCROLL;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TComboBox::BuildWindow() {
  TWinControl::BuildWindow();
  if (ItemsBackup) {
    ItemList->CopyFrom(ItemsBackup);
    delete ItemsBackup;
    ItemsBackup = nullptr;
  }
}

void TComboBox::TearDownWindow() {
  if (HasWindow() && ItemList->LineCount() > 0) {
    delete ItemsBackup;
    ItemsBackup = nullptr;
    auto* backup = new TStringList;
    const int32_t n = ItemList->LineCount();
    // The adapter reads no texts: the window's own items are copied with their objects.
    for (int32_t i = 0; i < n; ++i) {
      const LRESULT length = SendMessageW(Handle(), CB_GETLBTEXTLEN, i, 0);
      WideString text(length > 0 ? static_cast<size_t>(length) : 0, L'\0');
      if (length > 0) SendMessageW(Handle(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
      backup->AddWithObject(WideToUtf8(text), ItemList->GetObject(i));
    }
    ItemsBackup = backup;
  }
  TWinControl::TearDownWindow();
}

int32_t TComboBox::SelectedIndex() { return static_cast<int32_t>(SendMessageW(WindowHandle(), CB_GETCURSEL, 0, 0)); }
void TComboBox::SetSelectedIndex(int32_t index) { SendMessageW(WindowHandle(), CB_SETCURSEL, index, 0); }
bool TComboBox::ListOpen() { return SendMessageW(WindowHandle(), CB_GETDROPPEDSTATE, 0, 0) != 0; }
void TComboBox::SetListOpen(bool open) { SendMessageW(WindowHandle(), CB_SHOWDROPDOWN, open, 0); }
int32_t TComboBox::RowHeight() { return Deliver(CB_GETITEMHEIGHT); }

void TComboBox::FitDropDownList() {
  const int32_t n = ItemList->LineCount();
  const int32_t h = RowHeight();
  const HWND window = WindowHandle();
  SetWindowPos(window, nullptr, 0, 0, width_, n * h + height_ + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_HIDEWINDOW);
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_SHOWWINDOW);
}

void TComboBox::ChangeHook() {
  NotifyChanged();
  if (OnChange.Assigned()) OnChange(this);
}

void TComboBox::HandleMessage(TMessage& message) {
  if (message.Msg >= WM_CTLCOLORMSGBOX && message.Msg <= WM_CTLCOLORSTATIC) {
    const HDC dc = ParamDC(message.WParam);
    SetTextColor(dc, ResolveColor(font_->Color));
    SetBkColor(dc, ResolveColor(brush_->Color()));
    message.Result = PointerParam(brush_->FetchHandle());
    return;
  }
  TWinControl::HandleMessage(message);
}

void TComboBox::Command(TMessage& message) {
  switch (NotifyCode(message)) {
    case CBN_SELCHANGE:
      FireClick();
      ChangeHook();
      break;
    case CBN_SETFOCUS:
      OwnsFocus = true;
      FocusMovedDuringDrop = true;
      break;
    case CBN_KILLFOCUS:
      OwnsFocus = false;
      FocusMovedDuringDrop = true;
      break;
    case CBN_DROPDOWN:
      FocusMovedDuringDrop = false;
      FitDropDownList();
      if (FocusMovedDuringDrop) {
        PostMessageW(Handle(), WM_CANCELMODE, 0, 0);
        if (!HasFocus()) PostMessageW(Handle(), CB_SHOWDROPDOWN, FALSE, 0);
      }
      break;
    default:
      break;
  }
}

void TComboBox::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_CREATE:
      TWinControl::Dispatch(message);
      SetWindowTextW(Handle(), Utf8ToWide(Text).c_str());
      return;
    case XN_COMMAND:
      Command(message);
      return;
    case WM_GETDLGCODE:
      TWinControl::Dispatch(message);
      if (HasWindow() && SendMessageW(Handle(), CB_GETDROPPEDSTATE, 0, 0)) message.Result |= DLGC_WANTALLKEYS;
      return;
    case XM_CANCELMODE:
      if (ParamPointer<TControl>(message.LParam) != this) Deliver(CB_SHOWDROPDOWN, FALSE);
      return;
    case WM_LBUTTONDOWN: {
      TWinControl::Dispatch(message);
      TForm* form = OwningForm(this);
      if (CapturingControl() == this && (!form || form->ActiveControl() != this)) SetCapturing(false);
      return;
    }
    default:
      TWinControl::Dispatch(message);
  }
}

// ---- TButtonControl ----

TClass TButtonControl::StaticClass() {
  static const TClassInfo info = DescribeClass<TButtonControl>("TButtonControl");
  return &info;
}

void TButtonControl::HandleMessage(TMessage& message) {
  if ((message.Msg == WM_LBUTTONDOWN || message.Msg == WM_LBUTTONDBLCLK) && !HasFocus()) {
    FocusingClick = true;
    SetFocus(WindowHandle());
    FocusingClick = false;
    if (!HasFocus()) return;  // a handler kept the focus elsewhere: no click
  }
  TWinControl::HandleMessage(message);
}

void TButtonControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case XN_COMMAND:
      if (FocusingClick) return;
      TWinControl::Dispatch(message);
      return;
    case XN_CTLCOLORSTATIC:
    case WM_ERASEBKGND:
      if (ThemesActive()) {
        if (message.Msg == WM_ERASEBKGND) {
          message.Result = 1;
        } else {
          PaintParentBackground(Handle(), ParamDC(message.WParam));
          message.Result = StockNullBrush();
        }
        return;
      }
      TWinControl::Dispatch(message);
      return;
    default:
      TWinControl::Dispatch(message);
  }
}

// ---- TButton ----

TClass TButton::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TButton::Cancel>("Cancel", BooleanType),
                                    StringProp<&TWinControl::ReadCaption, &TWinControl::WriteCaption>("Caption"),
                                    EnumProp<&TButton::Default>("Default", BooleanType),
                                    EventProp<&TControl::OnClick>("OnClick")};
  static const TClassInfo info = DescribeClass<TButton>("TButton", props);
  return &info;
}

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  ControlStyle = 0x38;
  TabStop = true;
}

void TButton::FillCreateParams(TCreateParams& params) {
  TButtonControl::FillCreateParams(params);
  AdoptSystemClass(params, L"BUTTON");
  params.Style |= Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::BuildWindow() {
  TButtonControl::BuildWindow();
  LooksDefault = Default;
}

void TButton::ShowAsDefault(bool flag) {
  if (!HasWindow()) return;
  const DWORD wanted = flag ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if ((GetWindowLongW(Handle(), GWL_STYLE) & 0xF) != wanted) SendMessageW(Handle(), BM_SETSTYLE, wanted, TRUE);
}

void TButton::FireClick() {
  if (TForm* form = OwningForm(this)) form->ModalResult = DialogResult;
  TButtonControl::FireClick();
}

void TButton::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case XM_FOCUSCHANGED: {
      auto* focused = ParamPointer<TControl>(message.LParam);
      LooksDefault = focused && focused->ClassType()->InheritsFrom(TButton::StaticClass()) ? focused == this : Default;
      ShowAsDefault(LooksDefault);
      TButtonControl::Dispatch(message);
      return;
    }
    case XN_COMMAND:
      if (FocusingClick) return;
      if (NotifyCode(message) == BN_CLICKED) FireClick();
      return;
    case XM_DIALOGKEY: {
      const bool key = (message.WParam == VK_RETURN && LooksDefault) || (message.WParam == VK_ESCAPE && Cancel);
      if (key && ShiftStateFromKeyData(message.LParam) == 0 && IsFocusable()) {
        FireClick();
        message.Result = 1;
        return;
      }
      TButtonControl::Dispatch(message);
      return;
    }
    case XM_DIALOGCHAR:
      if (MatchesMnemonic(static_cast<WideChar>(message.WParam), ReadCaption()) && IsFocusable()) {
        FireClick();
        message.Result = 1;
        return;
      }
      TButtonControl::Dispatch(message);
      return;
    case XN_CTLCOLORBTN:
      if (ThemesActive()) {
        PaintParentBackground(Handle(), ParamDC(message.WParam));
        message.Result = StockNullBrush();
        return;
      }
      TButtonControl::Dispatch(message);
      return;
    default:
      TButtonControl::Dispatch(message);
  }
}

// ---- TCheckBox ----

TClass TCheckBox::StaticClass() {
  static const TPropInfo props[] = {
      StringProp<&TWinControl::ReadCaption, &TWinControl::WriteCaption>("Caption"),
      EnumProp<&TCheckBox::Checked, &TCheckBox::SetCheckedState>("Checked", BooleanType)};
  static const TClassInfo info = DescribeClass<TCheckBox>("TCheckBox", props);
  return &info;
}

TCheckBox::TCheckBox(TComponent* owner) : TButtonControl(owner) {
  height_ = 17;
  TabStop = true;
  ControlStyle = 0x28;
}

void TCheckBox::FillCreateParams(TCreateParams& params) {
  TButtonControl::FillCreateParams(params);
  AdoptSystemClass(params, L"BUTTON");
  params.Style |= BS_3STATE;
  params.WindowClass.style &= ~static_cast<UINT>(CS_HREDRAW | CS_VREDRAW);
}

void TCheckBox::BuildWindow() {
  TButtonControl::BuildWindow();
  SendMessageW(Handle(), BM_SETCHECK, State, 0);
}

void TCheckBox::ApplyState(uint8_t state) {
  if (state == State) return;
  State = state;
  if (HasWindow()) SendMessageW(Handle(), BM_SETCHECK, state, 0);
  FireClick();
}

void TCheckBox::FireClick() {
  NotifyChanged();
  TButtonControl::FireClick();
}

void TCheckBox::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case XN_COMMAND:
      if (FocusingClick) return;
      if (NotifyCode(message) == BN_CLICKED) FlipState();
      return;
    case XM_DIALOGCHAR:
      if (MatchesMnemonic(static_cast<WideChar>(message.WParam), ReadCaption()) && IsFocusable()) {
        TakeFocus();
        if (HasFocus()) FlipState();
        message.Result = 1;
        return;
      }
      TButtonControl::Dispatch(message);
      return;
    case WM_SIZE:
      TButtonControl::Dispatch(message);
      RequestRepaint();
      return;
    default:
      TButtonControl::Dispatch(message);
  }
}

// ---- TLabel ----

TClass TLabel::StaticClass() {
  static const TPropInfo props[] = {EnumProp<&TLabel::AutoSize, &TLabel::ApplyAutoSize>("AutoSize", BooleanType),
                                    StringProp<&TWinControl::ReadCaption, &TWinControl::WriteCaption>("Caption")};
  static const TClassInfo info = DescribeClass<TLabel>("TLabel", props);
  return &info;
}

TLabel::TLabel(TComponent* owner) : TWinControl(owner) {
  ControlStyle = 0x3E;
  AutoSize = true;
  FitToText();
}

void TLabel::FillCreateParams(TCreateParams& params) {
  TWinControl::FillCreateParams(params);
  AdoptSystemClass(params, L"STATIC");
  params.Style |= SS_LEFT | SS_NOTIFY;
}

void TLabel::AfterLoad() {
  TWinControl::AfterLoad();
  FitToText();
}

void TLabel::ApplyAutoSize(bool flag) {
  if (flag == AutoSize) return;
  AutoSize = flag;
  if (flag) FitToText();
}

void TLabel::FitToText() {
  if ((ComponentState() & csLoading) || !AutoSize) return;
  // Captions are UTF-8 here: measured as the UTF-16 text the window shows.
  const WideString caption = Utf8ToWide(ReadCaption());
  SIZE extent{};
  {
    TScreenFont font(font_);
    GetTextExtentPoint32W(font.Get(), caption.c_str(), static_cast<int>(caption.size()), &extent);
  }
  SetPlacement(left_, top_, extent.cx + 4 * GetSystemMetrics(SM_CXBORDER),
               extent.cy + 4 * GetSystemMetrics(SM_CYBORDER));
}

void TLabel::DrawOwnText(HDC dc) {
  RECT rect = ClientArea();
  UINT format = DT_LEFT | DT_WORDBREAK;
  WideString text = Utf8ToWide(ReadCaption());
  TForm* form = OwningForm(this);
  if (form && (form->Deliver(WM_QUERYUISTATE) & 0xFF) != 0) {
    // Cues hidden: "&" marks no mnemonic; "&&" leaves one "&".
    WideString plain;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'&') {
        if (++i >= text.size()) break;
      }
      plain += text[i];
    }
    text = plain;
    format |= DT_NOPREFIX;
  }
  const HGDIOBJ old = SelectObject(dc, font_->FetchHandle());
  DrawTextW(dc, text.c_str(), -1, &rect, format);
  SelectObject(dc, old);
}

void TLabel::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case XM_FONTCHANGED:
    case XM_TEXTCHANGED:
      TWinControl::Dispatch(message);
      FitToText();
      return;
    case XN_CTLCOLORSTATIC:
      if (ThemesActive()) {
        const HDC dc = ParamDC(message.WParam);
        SetBkMode(dc, TRANSPARENT);
        // The font's colour holds under visual styles too (the wizard's navy title).
        SetTextColor(dc, ResolveColor(font_->Color));
        PaintParentBackground(Handle(), dc);
        message.Result = StockNullBrush();
        if (PlatformMajorVersion() < 6) DrawOwnText(dc);
        return;
      }
      TWinControl::Dispatch(message);
      return;
    default:
      TWinControl::Dispatch(message);
  }
}
