// Application object and message loop, window-procedure thunks, thread-window and keyboard helpers.
#include "Forms.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "TypInfo.h"
#include "graphics/Graphics.h"
#include "graphics/Themes.h"

// ---- Window-procedure thunks ----
//
// A block is two pages. The code page is written once and then made read + execute only; the data page,
// never executable, holds the method pairs and the block link:
//   code page: 256 entries of 16 bytes: mov ecx, <the entry's method pair>; jmp StandardWndProc; int3 x 6
//   data page: link to the next block, then the 256 method pairs (code, object)
// A free entry's pair holds TrapReleasedEntry as its code and the next free entry as its object, so a
// window that outlives its entry stops the program instead of running data.
#if !defined(__i386__)
#error "the window-procedure thunks are i386 code"
#endif
static_assert(sizeof(void*) == 4, "the window-procedure thunks are i386 code");

namespace {

constexpr uint32_t kThunkPage = 4096;
constexpr int kEntriesPerBlock = kThunkPage / 16;

struct MethodPair {
  TMessageMethod Code;
  void* Object;  // on a free entry: the next free entry
};

#pragma pack(push, 1)
struct ThunkEntry {
  uint8_t MovEcx;      // 0xB9
  MethodPair* Pair;
  uint8_t JmpOpcode;   // 0xE9
  int32_t JmpOffset;   // to StandardWndProc
  uint8_t Padding[6];  // int3
};
#pragma pack(pop)
static_assert(sizeof(ThunkEntry) == 16, "thunk entry size");

struct ThunkCode {
  ThunkEntry Entries[kEntriesPerBlock];
};
static_assert(sizeof(ThunkCode) == kThunkPage, "one code page per block");

struct ThunkData {
  ThunkData* Next;
  MethodPair Pairs[kEntriesPerBlock];
};
static_assert(sizeof(ThunkData) <= kThunkPage, "one data page per block");

ThunkData* thunkBlocks = nullptr;
ThunkEntry* freeThunks = nullptr;
int32_t thunkBlockCount = 0;

int32_t RelativeTarget(const void* from, int32_t instructionSize, const void* to) {
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(to) -
                              (reinterpret_cast<uintptr_t>(from) + static_cast<uintptr_t>(instructionSize)));
}

bool IsSilentException(const std::exception_ptr& error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return true;
  } catch (...) {
  }
  return false;
}

// The error box runs a message loop of its own: a window that keeps failing there (a paint handler, say)
// would open box upon box. While one report is showing, further ones are not shown.
bool errorBoxShowing = false;

void ShowCriticalError() {
  if (errorBoxShowing || !ErrorBoxProc) return;
  errorBoxShowing = true;
  struct Reset {
    ~Reset() { errorBoxShowing = false; }
  } reset;
  ErrorBoxProc(W_("Critical error"));
}

// Reports an exception caught at a window-procedure or callback boundary. Reporting itself must not throw
// into the platform either. Before start-up or after shut-down there is no application to ask.
void ReportAtBoundary() noexcept {
  try {
    if (Application) {
      Application->ReportException();
    } else if (!IsSilentException(std::current_exception())) {
      ShowCriticalError();
    }
  } catch (...) {
  }
}

// Reached by jumping from an entry: ecx holds the method pair, the stack holds the return address into the
// platform and the four window-procedure arguments, which fastcall pops like stdcall.
__attribute__((fastcall)) LRESULT StandardWndProc(MethodPair* pair, int /*edxUnused*/, HWND /*window*/,
                                                  UINT message, WPARAM wParam, LPARAM lParam) {
  TMessage record{message, static_cast<int32_t>(wParam), static_cast<int32_t>(lParam), 0};
  try {
    pair->Code(pair->Object, record);
  } catch (...) {
    ReportAtBoundary();
  }
  return record.Result;
}

// The code of every free entry. Going on would hand the message to whatever object took the memory.
void TrapReleasedEntry(void*, TMessage&) {
  static const char kText[] = "Fatal: a released window procedure was called\n";
  OutputDebugStringA(kText);
  std::fputs(kText, stderr);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
}

void PushFree(ThunkEntry* entry) {
  entry->Pair->Code = &TrapReleasedEntry;
  entry->Pair->Object = freeThunks;
  freeThunks = entry;
}

void AddThunkBlock() {
  // Code page first, data page after it; both writable until the code is in place.
  auto* memory =
      static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * kThunkPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!memory) throw EOutOfMemory();
  auto* code = reinterpret_cast<ThunkCode*>(memory);
  auto* data = reinterpret_cast<ThunkData*>(memory + kThunkPage);
  for (int i = 0; i < kEntriesPerBlock; ++i) {
    ThunkEntry& entry = code->Entries[i];
    entry.MovEcx = 0xB9;
    entry.Pair = &data->Pairs[i];
    entry.JmpOpcode = 0xE9;
    entry.JmpOffset = RelativeTarget(&entry.JmpOpcode, 5, reinterpret_cast<const void*>(&StandardWndProc));
    std::memset(entry.Padding, 0xCC, sizeof entry.Padding);
  }
  DWORD old = 0;
  if (!VirtualProtect(code, kThunkPage, PAGE_EXECUTE_READ, &old)) {
    VirtualFree(memory, 0, MEM_RELEASE);
    throw EOutOfMemory();
  }
  FlushInstructionCache(GetCurrentProcess(), code, kThunkPage);
  // Linked so that the first entry of the block is taken first.
  for (int i = kEntriesPerBlock - 1; i >= 0; --i) PushFree(&code->Entries[i]);
  data->Next = thunkBlocks;
  thunkBlocks = data;
  ++thunkBlockCount;
}

}  // namespace

void* NewMethodThunk(TMessageMethod code, void* object) {
  if (!freeThunks) AddThunkBlock();
  ThunkEntry* entry = freeThunks;
  freeThunks = static_cast<ThunkEntry*>(entry->Pair->Object);
  entry->Pair->Code = code;
  entry->Pair->Object = object;
  return entry;
}

void ReleaseMethodThunk(void* entry) {
  if (entry) PushFree(static_cast<ThunkEntry*>(entry));
}

int32_t MethodThunkBlockCount() { return thunkBlockCount; }

int32_t FreeMethodThunkCount() {
  int32_t n = 0;
  for (ThunkEntry* e = freeThunks; e; e = static_cast<ThunkEntry*>(e->Pair->Object)) ++n;
  return n;
}

// ---- Binding a new window on its first message ----

namespace {
TWindowBinding pendingBinding{nullptr, nullptr, nullptr};
}

void BindNextWindow(const TWindowBinding& binding) { pendingBinding = binding; }

void CancelWindowBinding() { pendingBinding = TWindowBinding{nullptr, nullptr, nullptr}; }

LRESULT CALLBACK FirstMessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const TWindowBinding binding = pendingBinding;
  if (!binding.Entry) return DefWindowProcW(window, message, wParam, lParam);
  // Consumed before anything else runs, so a window created while handling this message binds on its own.
  CancelWindowBinding();
  if (binding.Attach) {
    try {
      binding.Attach(binding.Object, window);
    } catch (...) {
      ReportAtBoundary();
    }
  }
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(binding.Entry));
  return reinterpret_cast<WNDPROC>(binding.Entry)(window, message, wParam, lParam);
}

// ---- Thread-window helpers ----
//
// The enumeration state lives on the caller's stack and reaches the callback through lParam, so the
// helpers nest. Callbacks never let an exception reach the platform: it is kept and rethrown afterwards.

namespace {

struct DisableState {
  HWND Except;
  TDisabledWindow* List;
  std::exception_ptr Error;
};

BOOL CALLBACK DisableWindowCallback(HWND window, LPARAM lParam) {
  auto* state = reinterpret_cast<DisableState*>(lParam);
  if (window == state->Except || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
  try {
    state->List = new TDisabledWindow{state->List, window};
  } catch (...) {
    state->Error = std::current_exception();
    return FALSE;
  }
  EnableWindow(window, FALSE);
  return TRUE;
}

struct FocusableState {
  HWND Except;
  HWND FirstTopMost;
  HWND FirstNormal;
};

BOOL CALLBACK FocusableWindowCallback(HWND window, LPARAM lParam) {
  auto* state = reinterpret_cast<FocusableState*>(lParam);
  if (window == state->Except || (Application && window == Application->Handle) || !IsWindowVisible(window) ||
      !IsWindowEnabled(window))
    return TRUE;
  if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) {
    if (!state->FirstTopMost) state->FirstTopMost = window;
  } else if (!state->FirstNormal) {
    state->FirstNormal = window;
  }
  return TRUE;
}

struct TopMostState {
  HWND Owner;
  TList* List;
  HWND FirstNormal;
  std::exception_ptr Error;
};

BOOL CALLBACK TopMostCallback(HWND window, LPARAM lParam) {
  auto* state = reinterpret_cast<TopMostState*>(lParam);
  if (GetWindow(window, GW_OWNER) != state->Owner) return TRUE;
  if (!(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
    state->FirstNormal = window;
    return FALSE;
  }
  try {
    state->List->Append(window);
  } catch (...) {
    state->Error = std::current_exception();
    return FALSE;
  }
  return TRUE;
}

constexpr UINT kZOrderOnly = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;

}  // namespace

TDisabledWindow* DisableThreadWindows(HWND except) {
  DisableState state{except, nullptr, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), DisableWindowCallback, reinterpret_cast<LPARAM>(&state));
  if (state.Error) {
    ReenableWindows(state.List);
    std::rethrow_exception(state.Error);
  }
  return state.List;
}

void ReenableWindows(TDisabledWindow* list) {
  while (list) {
    TDisabledWindow* next = list->Next;
    if (IsWindow(list->Window)) EnableWindow(list->Window, TRUE);
    delete list;
    list = next;
  }
}

HWND FindFocusableWindow(HWND except) {
  FocusableState state{except, nullptr, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FocusableWindowCallback, reinterpret_cast<LPARAM>(&state));
  return state.FirstNormal ? state.FirstNormal : state.FirstTopMost;
}

// ---- Keyboard helpers ----

TShiftState ShiftStateFromKeyData(int32_t keyData) {
  TShiftState state = 0;
  if (GetKeyState(VK_SHIFT) < 0) state |= ssShift;
  if (keyData & (1 << 29)) state |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) state |= ssCtrl;
  return state;
}

bool MatchesMnemonic(WideChar charCode, const WideString& caption) {
  const size_t amp = caption.find(W_('&'));
  if (amp == WideString::npos || amp + 1 >= caption.size()) return false;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, &caption[amp + 1], 1, &charCode, 1) == CSTR_EQUAL;
}

bool MatchesMnemonic(WideChar charCode, const AnsiString& caption) {
  return MatchesMnemonic(charCode, Utf8ToWide(caption));
}

int32_t FocusCount = 0;

bool SendFocusNotice(HWND window, uint32_t message) {
  const int32_t before = FocusCount;
  SendMessageW(window, message, 0, 0);
  return FocusCount == before;
}

// ---- Application object ----

TApplication* Application = nullptr;

void ShowErrorBox(const WideString& text) {
  MessageBoxW(nullptr, text.c_str(), nullptr, MB_TASKMODAL | MB_ICONERROR);
}

TErrorBoxProc ErrorBoxProc = ShowErrorBox;

namespace {
const wchar_t kAppClassName[] = L"TApp";
// WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
constexpr DWORD kAppWindowStyle = 0x84CA0000;
static_assert(kAppWindowStyle == (WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              "application window style");
}  // namespace

TApplication::TApplication(TComponent* owner) : TComponent(owner) {
  TopMostList = new TList;
  Active = true;
  WindowProcInstance = NewMethodThunk(&MessageEntry<TApplication, &TApplication::WindowEntry>, this);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW info{};
  if (!GetClassInfoW(instance, kAppClassName, &info)) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = FirstMessageProc;
    cls.hInstance = instance;
    cls.lpszClassName = kAppClassName;
    RegisterClassW(&cls);
  }
  BindNextWindow({WindowProcInstance, &TApplication::AttachWindow, this});
  HWND window = CreateWindowExW(0, kAppClassName, L"", kAppWindowStyle, 0, 0, 0, 0, nullptr, nullptr, instance,
                                nullptr);
  CancelWindowBinding();
  Handle = window;
}

TClass TApplication::StaticClass() {
  static const TClassInfo info = DescribeClass<TApplication>("TApplication");
  return &info;
}

void TApplication::BeforeDestruction() {
  Active = false;
  TComponent::BeforeDestruction();
  if (Handle) DestroyWindow(Handle);
  Handle = nullptr;
  ReleaseMethodThunk(WindowProcInstance);
  WindowProcInstance = nullptr;
  ReenableWindows(DisabledWindows);
  DisabledWindows = nullptr;
}

TApplication::~TApplication() {
  delete TopMostList;
  TopMostList = nullptr;
}

void TApplication::AttachWindow(void* object, HWND window) { static_cast<TApplication*>(object)->Handle = window; }

void TApplication::WindowEntry(TMessage& message) {
  try {
    WndProc(message);
  } catch (...) {
    ReportException();
  }
}

void TApplication::DefaultHandler(TMessage& message) {
  message.Result = static_cast<int32_t>(DefWindowProcW(Handle, message.Msg, static_cast<WPARAM>(message.WParam),
                                                       static_cast<LPARAM>(message.LParam)));
}

void TApplication::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_SETFOCUS:
      PostMessageW(Handle, XM_ENTER, 0, 0);
      DefaultHandler(message);
      return;
    case WM_ENABLE:
      if (message.WParam) {
        ResumeTopMost();
        if (DisabledWindows) {
          TDisabledWindow* list = DisabledWindows;
          DisabledWindows = nullptr;
          ReenableWindows(list);
        }
        DefaultHandler(message);
      } else {
        DefaultHandler(message);
        if (!DisabledWindows) DisabledWindows = DisableThreadWindows(Handle);
        SuspendTopMost();
      }
      return;
    case WM_CLOSE:
    case XM_KEYMENU:
      message.Result = 0;  // the hidden window is never closed by the user
      return;
    case WM_ERASEBKGND:
      message.Msg = WM_ICONERASEBKGND;
      DefaultHandler(message);
      return;
    case WM_SYSCOLORCHANGE:
      SystemColorsChanged();
      DefaultHandler(message);
      return;
    case WM_ENDSESSION:
      if (message.WParam) std::exit(0);  // the session really ends: stop here, no further messages
      DefaultHandler(message);
      return;
    case WM_ACTIVATEAPP:
      DefaultHandler(message);
      Active = message.WParam != 0;
      if (Active) {
        ResumeTopMost();
        PostMessageW(Handle, XM_ACTIVATE, 0, 0);
      } else {
        SuspendTopMost();
        PostMessageW(Handle, XM_DEACTIVATE, 0, 0);
      }
      return;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      // The colour request belongs to the control whose window asks.
      const HWND control = reinterpret_cast<HWND>(message.LParam);
      message.Result = static_cast<int32_t>(SendMessageW(control, message.Msg + XN_BASE,
                                                         static_cast<WPARAM>(message.WParam),
                                                         static_cast<LPARAM>(message.LParam)));
      return;
    }
    case XM_ENTER:
      if (GetFocus() == Handle) {
        if (HWND target = FindFocusableWindow(nullptr)) SetFocus(target);
      }
      return;
    default:
      DefaultHandler(message);
      return;
  }
}

bool TApplication::PumpOneMessage() {
  MSG message;
  if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  if (message.message == WM_QUIT) {
    Terminated = true;
  } else if (!PreviewKeyMessage(message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

// The key messages offered to their control first. WM_KEYLAST is 0x109 (WM_UNICHAR) for the Windows version
// this builds for; WM_UNICHAR is not a key message to reflect.
constexpr UINT kFirstKeyMessage = 0x100;  // WM_KEYDOWN
constexpr UINT kLastKeyMessage = 0x108;

bool TApplication::PreviewKeyMessage(const MSG& message) {
  if (message.message < kFirstKeyMessage || message.message > kLastKeyMessage) return false;
  if (GetCapture()) return false;  // a captured mouse keeps the keys for the capturing window
  return SendMessageW(message.hwnd, message.message + XN_BASE, message.wParam, message.lParam) != 0;
}

void TApplication::ReportException() {
  // A failure while reporting (a cancel-mode handler that throws again) is reported without re-sending.
  const bool nested = reportDepth_ > 0;
  ++reportDepth_;
  struct DepthGuard {
    int32_t& depth;
    ~DepthGuard() { --depth; }
  } guard{reportDepth_};
  if (!nested) {
    if (HWND captured = GetCapture()) SendMessageW(captured, WM_CANCELMODE, 0, 0);
  }
  if (IsSilentException(std::current_exception())) return;
  ShowCriticalError();
}

void TApplication::SuspendTopMost() {
  if (!Handle) return;
  if (TopMostLevel == 0) {
    TopMostState state{Handle, TopMostList, nullptr, nullptr};
    EnumWindows(TopMostCallback, reinterpret_cast<LPARAM>(&state));
    if (state.Error) std::rethrow_exception(state.Error);
    if (TopMostList->Count() > 0) {
      HWND insertAfter = GetWindow(state.FirstNormal, GW_HWNDPREV);
      if (GetWindowLongW(insertAfter, GWL_EXSTYLE) & WS_EX_TOPMOST) insertAfter = HWND_NOTOPMOST;
      for (int32_t i = TopMostList->Count() - 1; i >= 0; --i)
        SetWindowPos(static_cast<HWND>(TopMostList->ItemAt(i)), insertAfter, 0, 0, 0, 0, kZOrderOnly);
    }
  }
  ++TopMostLevel;
}

void TApplication::ResumeTopMost() {
  if (!Handle || TopMostLevel <= 0) return;
  if (--TopMostLevel > 0) return;
  for (int32_t i = TopMostList->Count() - 1; i >= 0; --i)
    SetWindowPos(static_cast<HWND>(TopMostList->ItemAt(i)), HWND_TOPMOST, 0, 0, 0, 0, kZOrderOnly);
  TopMostList->Clear();
}

// ---- Framework start-up ----

ATOM ControlAtom = 0;
TList* CanvasList = nullptr;

namespace {
int32_t frameworkStarts = 0;
}

void StartFramework() {
  if (frameworkStarts++ > 0) return;
  // "_" and the thread id in eight hex digits; formatted by hand so that no printf family is linked in.
  char atomName[10] = "_";
  for (int shift = 28, i = 1; shift >= 0; shift -= 4, ++i)
    atomName[i] = "0123456789ABCDEF"[(GetCurrentThreadId() >> shift) & 0xF];
  ControlAtom = GlobalAddAtomA(atomName);
  CanvasList = new TList;
  // Graphics first (it measures the screen's pixels per inch): what the application owns may use tools
  // from its start to its end.
  StartGraphics();
  StartThemes();
  Application = CreateComponent<TApplication>(nullptr);
}

void StopFramework() {
  if (frameworkStarts <= 0 || --frameworkStarts > 0) return;
  FreeComponent(Application);
  Application = nullptr;
  StopThemes();
  StopGraphics();
  delete CanvasList;
  CanvasList = nullptr;
  if (ControlAtom) GlobalDeleteAtom(ControlAtom);
  ControlAtom = 0;
}

// ---- Forms ----

HICON ProgramIcon = nullptr;
TWinControl* LastFocusedControl = nullptr;

namespace {
// The height of "0" in pixels that form layouts are designed for.
constexpr int32_t kDesignTextHeight = 13;
// Without WS_CHILD, WS_GROUP and WS_TABSTOP: a form without a parent is a top-level window.
constexpr DWORD kTopLevelStyleMask = 0xBFFCFFFF;
static_assert(kTopLevelStyleMask == ~static_cast<DWORD>(WS_CHILD | WS_GROUP | WS_TABSTOP), "top-level style mask");

bool KeyIsDown(int key) { return GetKeyState(key) < 0; }

// The child of ancestor on the way down to control; null when control is not below ancestor.
TWinControl* ChildTowards(TWinControl* ancestor, TWinControl* control) {
  TWinControl* c = control;
  while (c && c->Parent() != ancestor) c = c->Parent();
  return c;
}

bool IsParentOf(const TControl* ancestor, const TControl* control) {
  for (const TControl* c = control ? control->Parent() : nullptr; c; c = c->Parent())
    if (c == ancestor) return true;
  return false;
}
}  // namespace

TClass TForm::StaticClass() {
  static const TPropInfo props[] = {IntegerProp<&TForm::ClientHeight, &TForm::SetClientHeight>("ClientHeight"),
                                    IntegerProp<&TForm::ClientWidth, &TForm::SetClientWidth>("ClientWidth"),
                                    EventProp<&TForm::OnCloseQuery>("OnCloseQuery")};
  static const TClassInfo info = DescribeClass<TForm>("TForm", props);
  return &info;
}

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  ControlStyle = ctlContainer | ctlCaptureMouse | ctlClicks | ctlDoubleClicks;
  visible_ = false;
  parentColor_ = false;
  parentFont_ = false;
  if (color_ == clWindow) {
    color_ = clBtnFace;
    brush_->SetToolColor(color_);
  }
  canvas_ = new TControlCanvas;
  canvas_->BindControl(this);
}

TForm::~TForm() { delete canvas_; }

void TForm::AfterConstruction() {
  TWinControl::AfterConstruction();
  if (ClassType() == TForm::StaticClass()) return;
  FormState |= fsCreating;
  try {
    LoadFormResources(this, TForm::StaticClass());
  } catch (...) {
    FormState &= static_cast<uint8_t>(~fsCreating);
    throw;
  }
  FormState &= static_cast<uint8_t>(~fsCreating);
  if (FormState & fsShowRequested) {
    FormState &= static_cast<uint8_t>(~fsShowRequested);
    SetVisibleFlag(true);
  }
}

void TForm::BeforeDestruction() {
  MarkTreeDestroying(this);
  HideForm();
  if (handle_) DestroyOwnWindow();
  canvas_->DropContext();
  TWinControl::BeforeDestruction();
}

void TForm::ReadContents(TReader* reader) {
  pendingClientWidth_ = 0;
  pendingClientHeight_ = 0;
  textHeight_ = kDesignTextHeight;
  TWinControl::ReadContents(reader);
  if ((ScalingFlags & sfFont) && ScreenPixelsPerInch != 96)
    font_->SetFontHeight(MulDiv(font_->Height(), ScreenPixelsPerInch, 96));
  // The layout was made for a "0" of textHeight_ pixels; stretch it to what this screen's font gives.
  canvas_->Font->CopyFrom(font_);
  const int32_t measured = canvas_->MeasureTextHeight(W_("0"));
  canvas_->DropContext();
  bool scaled = false;
  if (measured > 0 && measured != textHeight_) {
    for (int32_t i = 0; i < ChildCount(); ++i) ChildAt(i)->Rescale(measured, kDesignTextHeight);
    if (ScalingFlags & sfWidth) pendingClientWidth_ = MulDiv(pendingClientWidth_, measured, kDesignTextHeight);
    if (ScalingFlags & sfHeight) pendingClientHeight_ = MulDiv(pendingClientHeight_, measured, kDesignTextHeight);
    scaled = true;
  }
  if (pendingClientWidth_ > 0) SetClientExtent(pendingClientWidth_, ClientHeight());
  if (pendingClientHeight_ > 0) SetClientExtent(ClientWidth(), pendingClientHeight_);
  ScalingFlags = 0;
  if (!scaled) {
    for (int32_t i = 0; i < ChildCount(); ++i) ChildAt(i)->Rescale(1, 1);
  }
}

void TForm::Rescale(int32_t m, int32_t d) {
  for (int32_t i = 0; i < ChildCount(); ++i) ChildAt(i)->Rescale(m, d);
  const int32_t clientWidth = ClientWidth();
  const int32_t clientHeight = ClientHeight();
  SetClientWidth(MulDiv(clientWidth, m, d));
  SetClientHeight(MulDiv(clientHeight, m, d));
  font_->SetPointSize(MulDiv(font_->PointSize(), m, d));
}

void TForm::SetClientWidth(int32_t value) {
  if (ComponentState() & csReading) {
    pendingClientWidth_ = value;
    ScalingFlags |= sfWidth;
    return;
  }
  SetClientExtent(value, ClientHeight());
}

void TForm::SetClientHeight(int32_t value) {
  if (ComponentState() & csReading) {
    pendingClientHeight_ = value;
    ScalingFlags |= sfHeight;
    return;
  }
  SetClientExtent(ClientWidth(), value);
}

void TForm::FillCreateParams(TCreateParams& params) {
  TWinControl::FillCreateParams(params);
  if (!parent_) {
    params.WndParent = Application ? Application->Handle : nullptr;
    params.Style &= kTopLevelStyleMask;
  }
  params.WindowClass.style = CS_DBLCLKS;
  params.Style |= WS_SYSMENU;
}

void TForm::BuildWindow() {
  TWinControl::BuildWindow();
  SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ProgramIcon));
}

void TForm::SetVisibleFlag(bool flag) {
  if (FormState & fsCreating) {
    if (flag)
      FormState |= fsShowRequested;
    else
      FormState &= static_cast<uint8_t>(~fsShowRequested);
    return;
  }
  TWinControl::SetVisibleFlag(flag);
}

void TForm::SetContainer(TWinControl* newParent) {
  if (newParent == parent_ || newParent == this) return;
  if (!parent_) DestroyWindowTree();  // a top-level window cannot become a child one
  TWinControl::SetContainer(newParent);
  if (!parent_) RefreshShowingFromTop();
}

// ---- showing and the modal loop ----

void TForm::ShowingChanged() {
  if (!showing_) {
    // A form that stops showing leaves the screen; one being destroyed loses its window at once anyway.
    if (!(ComponentState() & csDestroying)) ShowWindow(handle_, SW_HIDE);
    return;
  }
  // Centred on the primary screen; C++ division truncates toward zero as wanted.
  const int32_t x = (GetSystemMetrics(SM_CXSCREEN) - width_) / 2;
  const int32_t y = (GetSystemMetrics(SM_CYSCREEN) - height_) / 2;
  SetPlacement(x, y, width_, height_);
  ShowWindow(handle_, SW_SHOWNORMAL);
}

void TForm::RunModal() {
  if (!Application) throw Exception("RunModal needs the framework started");
  HWND previousActive = GetActiveWindow();
  const int32_t savedFocusCount = FocusCount;
  SetVisibleFlag(true);
  const HWND window = WindowHandle();
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SendMessageW(window, XM_ACTIVATE, 0, 0);
  ModalResult = 0;
  do {
    if (!Application->PumpOneMessage()) WaitMessage();
    if (Application->Terminated)
      ModalResult = 2;
    else if (ModalResult != 0 && !AskCanClose())
      ModalResult = 0;
  } while (ModalResult == 0);
  SendMessageW(window, XM_DEACTIVATE, 0, 0);
  if (GetActiveWindow() != window) previousActive = nullptr;
  HideForm();
  if (previousActive) SetActiveWindow(previousActive);
  FocusCount = savedFocusCount;
}

void TForm::RequestClose() { ModalResult = 2; }

bool TForm::AskCanClose() {
  bool canClose = true;
  if (OnCloseQuery.Assigned()) OnCloseQuery(this, canClose);
  return canClose;
}

// ---- focus ----

void TForm::SetActiveChild(TWinControl* control) {
  if (control == activeControl_) return;
  activeControl_ = control;
  if (active_) FocusFormWindow();
}

void TForm::FocusChild(TWinControl* control) {
  const bool wasActive = active_;
  SetActiveChild(control);
  if (!wasActive) TakeFocus();
}

void TForm::TakeFocus() {
  if (!active_ && IsFocusable()) FocusFormWindow();
}

void TForm::FocusFormWindow() {
  // A form on its way out must not get its window back.
  if (ComponentState() & csDestroying) return;
  TWinControl* target = activeControl_ ? activeControl_ : this;
  if (HWND window = target->WindowHandle()) SetFocus(window);
}

bool TForm::MoveFocusTo(TWinControl* control) {
  ++FocusCount;
  activeControl_ = control == this ? nullptr : control;
  LastFocusedControl = control;
  if (control->ControlState & cstFocusing) return false;
  control->ControlState |= cstFocusing;
  // Cleared however the walk ends: a notice handler that moved the focus must not leave control locked.
  struct Focusing {
    TWinControl* control;
    ~Focusing() { control->ControlState &= static_cast<uint8_t>(~cstFocusing); }
  } focusing{control};
  if (!focusedControl_) focusedControl_ = this;
  if (control == focusedControl_) return true;
  while (focusedControl_ != control && !IsParentOf(focusedControl_, control)) {
    TWinControl* leaving = focusedControl_;
    focusedControl_ = leaving->Parent() ? leaving->Parent() : this;
    if (!SendFocusNotice(leaving->Handle(), XM_EXIT)) return false;
    if (leaving == this) break;  // control is not below this form: nothing to enter
  }
  while (focusedControl_ != control) {
    TWinControl* entering = ChildTowards(focusedControl_, control);
    if (!entering) break;
    focusedControl_ = entering;
    if (!SendFocusNotice(entering->Handle(), XM_ENTER)) return false;
  }
  Deliver(XM_FOCUSCHANGED, 0, PointerParam(control));
  return true;
}

void TForm::ForgetControl(TWinControl* control, bool removing) {
  if (removing && focusedControl_ && (control == focusedControl_ || IsParentOf(control, focusedControl_)))
    focusedControl_ = control->Parent();
  if (activeControl_ && (control == activeControl_ || IsParentOf(control, activeControl_))) SetActiveChild(nullptr);
}

void TForm::CancelModeNotice(TControl* clicked) {
  if (active_ && activeControl_) activeControl_->Deliver(XM_CANCELMODE, 0, PointerParam(clicked));
}

// ---- messages ----

void TForm::HandleMessage(TMessage& message) {
  if (message.Msg == WM_SETFOCUS && activeControl_ && activeControl_ != this) {
    SetFocus(activeControl_->WindowHandle());
    return;
  }
  TWinControl::HandleMessage(message);
}

void TForm::Activate(TMessage& message) {
  // The low word is the activation state; the high word only says whether the window is minimized.
  active_ = LOWORD(static_cast<uint32_t>(message.WParam)) != WA_INACTIVE;
  if (!active_) return;
  if (!activeControl_) SetActiveChild(NextInTabOrder(nullptr, true, true, false));
  FocusFormWindow();
}

void TForm::DialogKey(TMessage& message) {
  if (message.WParam == VK_TAB && !KeyIsDown(VK_MENU) && !KeyIsDown(VK_CONTROL)) {
    FocusNextInTabOrder(activeControl_, !KeyIsDown(VK_SHIFT), true);
    message.Result = 1;
    return;
  }
  TWinControl::Dispatch(message);
}

void TForm::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_ACTIVATE:
      Activate(message);
      return;
    case WM_CLOSE:
      RequestClose();  // the close box only ends the modal loop, subject to AskCanClose
      return;
    case WM_QUERYENDSESSION:
      message.Result = AskCanClose() ? 1 : 0;
      return;
    case WM_ENTERMENULOOP:
      CancelModeNotice(nullptr);
      TWinControl::Dispatch(message);
      return;
    case WM_COMMAND:
      if (message.LParam != 0) TWinControl::Dispatch(message);  // menu and accelerator commands: none here
      return;
    case WM_DESTROY:
      SendMessageW(handle_, WM_SETICON, ICON_BIG, 0);
      TWinControl::Dispatch(message);
      return;
    case XM_COLORCHANGED:
      TWinControl::Dispatch(message);
      canvas_->Brush->SetToolColor(color_);
      return;
    case XM_DIALOGKEY:
      DialogKey(message);
      return;
    case XM_KEYMENU:
      message.Result = 0;
      return;
    case XM_SHOWINGCHANGED:
      ShowingChanged();
      return;
    default:
      TWinControl::Dispatch(message);
      return;
  }
}
