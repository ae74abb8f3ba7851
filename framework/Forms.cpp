// Application object and message loop, window-procedure thunks, thread-window and keyboard helpers.
#include "Forms.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "graphics/Graphics.h"

// ---- Window-procedure thunks ----
//
// Block layout (4096 bytes of executable memory):
//   0   link to the next block
//   4   pop ecx            ; ecx := return address pushed by an entry's call = that entry's method pair
//   5   jmp StandardWndProc
//   10  314 entries of 13 bytes: call <block+4>, then the method pair (code, object); a free entry keeps
//       the link to the next free entry in its code slot.
namespace {

#pragma pack(push, 1)
struct MethodPair {
  TMessageMethod Code;
  void* Object;
};

struct ThunkEntry {
  uint8_t CallOpcode;  // 0xE8
  int32_t CallOffset;  // to offset 4 of the block
  union {
    TMessageMethod Code;
    ThunkEntry* NextFree;
  };
  void* Object;
};

constexpr int kEntriesPerBlock = 314;

struct ThunkBlock {
  ThunkBlock* Next;
  uint8_t PopEcx;      // 0x59
  uint8_t JmpOpcode;   // 0xE9
  int32_t JmpOffset;   // to StandardWndProc
  ThunkEntry Entries[kEntriesPerBlock];
};
#pragma pack(pop)

static_assert(sizeof(ThunkEntry) == 13, "thunk entry size");
static_assert(offsetof(ThunkBlock, Entries) == 10, "entries start at offset 10");
static_assert(sizeof(ThunkBlock) <= 4096 && sizeof(ThunkBlock) > 4092 - 13, "314 entries per 4096-byte block");

ThunkBlock* thunkBlocks = nullptr;
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

// Reports an exception caught at a window-procedure or callback boundary. Reporting itself must not throw
// into the platform either. Before start-up or after shut-down there is no application to ask.
void ReportAtBoundary() noexcept {
  try {
    if (Application) {
      Application->ReportException();
    } else if (!IsSilentException(std::current_exception()) && ErrorBoxProc) {
      ErrorBoxProc(W_("Critical error"));
    }
  } catch (...) {
  }
}

// Reached by jumping from a block's prologue: ecx holds the method pair, the stack holds the return address
// into the platform and the four window-procedure arguments, which fastcall pops like stdcall.
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

void FormatThunkBlock(ThunkBlock* block) {
  block->Next = thunkBlocks;
  block->PopEcx = 0x59;
  block->JmpOpcode = 0xE9;
  block->JmpOffset =
      RelativeTarget(&block->JmpOpcode, 5, reinterpret_cast<const void*>(&StandardWndProc));
  // Linked so that the first entry of the block is taken first.
  for (int i = kEntriesPerBlock - 1; i >= 0; --i) {
    ThunkEntry& entry = block->Entries[i];
    entry.CallOpcode = 0xE8;
    entry.CallOffset = RelativeTarget(&entry, 5, &block->PopEcx);
    entry.NextFree = freeThunks;
    entry.Object = nullptr;
    freeThunks = &entry;
  }
  thunkBlocks = block;
  ++thunkBlockCount;
}

}  // namespace

void* NewMethodThunk(TMessageMethod code, void* object) {
  if (!freeThunks) {
    void* memory = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_EXECUTE_READWRITE);
    if (!memory) throw EOutOfMemory();
    FormatThunkBlock(static_cast<ThunkBlock*>(memory));
    FlushInstructionCache(GetCurrentProcess(), memory, 4096);
  }
  ThunkEntry* entry = freeThunks;
  freeThunks = entry->NextFree;
  entry->Code = code;
  entry->Object = object;
  return entry;
}

void ReleaseMethodThunk(void* entry) {
  if (!entry) return;
  ThunkEntry* e = static_cast<ThunkEntry*>(entry);
  e->NextFree = freeThunks;
  e->Object = nullptr;
  freeThunks = e;
}

int32_t MethodThunkBlockCount() { return thunkBlockCount; }

int32_t FreeMethodThunkCount() {
  int32_t n = 0;
  for (ThunkEntry* e = freeThunks; e; e = e->NextFree) ++n;
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

TApplication::~TApplication() {
  Active = false;
  DestroyComponents();
  if (Handle) DestroyWindow(Handle);
  Handle = nullptr;
  ReleaseMethodThunk(WindowProcInstance);
  WindowProcInstance = nullptr;
  ReenableWindows(DisabledWindows);
  DisabledWindows = nullptr;
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

bool TApplication::PreviewKeyMessage(const MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
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
  if (ErrorBoxProc) ErrorBoxProc(W_("Critical error"));
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
  char atomName[16];
  std::snprintf(atomName, sizeof atomName, "_%.8lX", static_cast<unsigned long>(GetCurrentThreadId()));
  ControlAtom = GlobalAddAtomA(atomName);
  CanvasList = new TList;
  // Graphics first (it measures the screen's pixels per inch): what the application owns may use tools
  // from its start to its end.
  StartGraphics();
  Application = CreateComponent<TApplication>(nullptr);
}

void StopFramework() {
  if (frameworkStarts <= 0 || --frameworkStarts > 0) return;
  delete Application;
  Application = nullptr;
  StopGraphics();
  delete CanvasList;
  CanvasList = nullptr;
  if (ControlAtom) GlobalDeleteAtom(ControlAtom);
  ControlAtom = 0;
}
