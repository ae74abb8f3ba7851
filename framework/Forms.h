// Application object and message loop: the hidden application window, the message pump, the routing of
// window messages to objects (thunks), and the thread-window, keyboard and error-reporting helpers.
// May call Classes, SysUtils and the platform (user32, kernel32, gdi32).
#pragma once
#include <windows.h>

#include <cstdint>

#include "Classes.h"
#include "SysUtils.h"

// ---- Message record ----

// What every method-level window procedure receives. Result starts at 0 and is what the platform window
// procedure returns. Every platform value is 32 bits wide on this target.
struct TMessage {
  uint32_t Msg;
  int32_t WParam;
  int32_t LParam;
  int32_t Result;
};
static_assert(sizeof(TMessage) == 16, "message record layout");

// Internal notifications of the framework (0xB000 up) and reflected platform messages (platform number
// plus XN_BASE). Both travel through the window procedures like platform messages.
enum : uint32_t {
  XM_ACTIVATE = 0xB000,
  XM_DEACTIVATE = 0xB001,
  XM_CANCELMODE = 0xB004,
  XM_DIALOGKEY = 0xB005,
  XM_DIALOGCHAR = 0xB006,
  XM_FOCUSCHANGED = 0xB007,
  XM_PARENTFONTCHANGED = 0xB008,
  XM_PARENTCOLORCHANGED = 0xB009,
  XM_HITTEST = 0xB00A,
  XM_VISIBLECHANGED = 0xB00B,
  XM_ENABLEDCHANGED = 0xB00C,
  XM_COLORCHANGED = 0xB00D,
  XM_FONTCHANGED = 0xB00E,
  XM_TEXTCHANGED = 0xB012,
  XM_MOUSEENTER = 0xB013,
  XM_MOUSELEAVE = 0xB014,
  XM_KEYMENU = 0xB017,
  XM_SHOWINGCHANGED = 0xB019,
  XM_ENTER = 0xB01A,  // on the application window: relay the focus to a focusable window
  XM_EXIT = 0xB01B,
  XM_WANTSPECIALKEY = 0xB01E,
  XM_CONTROLLISTCHANGE = 0xB02C,
  XM_CHILDKEY = 0xB02E,
  XM_INVALIDATE = 0xB034,
  XM_CHANGED = 0xB037,

  XN_BASE = 0xBC00,
  XN_KEYDOWN = XN_BASE + WM_KEYDOWN,        // 0xBD00
  XN_KEYUP = XN_BASE + WM_KEYUP,            // 0xBD01
  XN_CHAR = XN_BASE + WM_CHAR,              // 0xBD02
  XN_SYSKEYDOWN = XN_BASE + WM_SYSKEYDOWN,  // 0xBD04
  XN_SYSCHAR = XN_BASE + WM_SYSCHAR,        // 0xBD06
  XN_COMMAND = XN_BASE + WM_COMMAND,        // 0xBD11
  XN_CTLCOLORMSGBOX = XN_BASE + WM_CTLCOLORMSGBOX,  // 0xBD32
  XN_CTLCOLORSTATIC = XN_BASE + WM_CTLCOLORSTATIC,  // 0xBD38
};

// ---- Window-procedure routing ----
//
// A window's messages reach its object without any lookup: its window procedure is a thunk entry, a few
// bytes of read + execute code that hand the address of its method pair (code, object), kept on a separate
// writable page, to the standard window procedure, which builds a TMessage, calls code(object, message) and
// returns message.Result. No exception leaves the standard window procedure: anything that escapes the
// method is given to the application's ReportException.
//
// How a windowed class plugs in:
//   1. At construction: entry := NewMethodThunk(&MessageEntry<T, &T::WindowEntry>, this).
//   2. Its window class is registered with FirstMessageProc as the class procedure.
//   3. Just before CreateWindowExW: BindNextWindow({entry, attach, this}); after it returns,
//      CancelWindowBinding() (harmless when the first message already consumed it).
//   4. The first message the new window receives, in FirstMessageProc, calls attach(object, window) (the
//      object learns its handle there), makes the entry the window's procedure, and hands it that message.
//   5. WindowEntry calls the class's virtual message handler; each override handles its messages and passes
//      the rest to its base; the root passes them to the default procedure (DefWindowProcW, or the system
//      procedure of a subclassed standard control) with CallWindowProcW.
//   6. At destruction, after the window is gone: ReleaseMethodThunk(entry).

using TMessageMethod = void (*)(void* object, TMessage& message);

// The method pair an entry holds; adapts a member function to TMessageMethod.
template <class T, void (T::*Method)(TMessage&)>
void MessageEntry(void* object, TMessage& message) {
  (static_cast<T*>(object)->*Method)(message);
}

// Takes a free entry (formatting a new block when none is left) and stores the pair. The result is usable
// as a WNDPROC.
void* NewMethodThunk(TMessageMethod code, void* object);
// Puts the entry back on the free list; null is ignored. Blocks are never released. Calling a released
// entry stops the program.
void ReleaseMethodThunk(void* entry);

// Diagnostics for tests: blocks formatted so far and entries on the free list.
int32_t MethodThunkBlockCount();
int32_t FreeMethodThunkCount();

// What the next window created on this thread is bound to on its first message.
struct TWindowBinding {
  void* Entry;                                 // thunk entry that becomes the window procedure
  void (*Attach)(void* object, HWND window);   // tells the object its handle; may be null
  void* Object;
};
void BindNextWindow(const TWindowBinding& binding);
void CancelWindowBinding();
// The class procedure of every window class the framework registers. With no binding pending it behaves as
// DefWindowProcW.
LRESULT CALLBACK FirstMessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Thread-window helpers ----

// One node per window disabled while the application window is disabled.
struct TDisabledWindow {
  TDisabledWindow* Next;
  HWND Window;
};
static_assert(sizeof(TDisabledWindow) == 8, "disabled-window node");

// Disables every visible, enabled top-level window of this thread except `except`; newest node first.
TDisabledWindow* DisableThreadWindows(HWND except);
// Re-enables the listed windows that still exist and frees the nodes.
void ReenableWindows(TDisabledWindow* list);
// The first visible, enabled, non-top-most window of this thread other than `except` and the application
// window; else the first top-most one; else null.
HWND FindFocusableWindow(HWND except);

// ---- Keyboard helpers ----

enum : uint8_t { ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04 };
using TShiftState = uint8_t;

// Shift and Ctrl from the key state; Alt from bit 29 (context code) of the key data only.
TShiftState ShiftStateFromKeyData(int32_t keyData);
// True when the caption has "&" before its last character and the character after the first "&" equals
// charCode, compared case-insensitively in the user's locale.
bool MatchesMnemonic(WideChar charCode, const WideString& caption);
bool MatchesMnemonic(WideChar charCode, const AnsiString& caption);

// Incremented on every change of the focused control.
extern int32_t FocusCount;
// Sends the message and answers whether the receiver left the focus where it was.
bool SendFocusNotice(HWND window, uint32_t message);

// ---- Application object ----

// Shows the error box for ReportException; replaceable so tests can observe it without a modal box.
using TErrorBoxProc = void (*)(const WideString& text);
extern TErrorBoxProc ErrorBoxProc;
// The default: a task-modal MessageBoxW with no owner, no caption and the error icon.
void ShowErrorBox(const WideString& text);

class TApplication : public TComponent {
  DESCRIBE_CLASS(TApplication, TComponent);
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // One step of the pump: false when the queue is empty. WM_QUIT sets Terminated and is not dispatched.
  bool PumpOneMessage();
  // Offers a key message to its window as the reflected message; true when that answered non-zero.
  bool PreviewKeyMessage(const MSG& message);
  // Reports the exception being handled: cancels a mouse capture; an EAbort shows nothing; anything else
  // shows "Critical error" (the exception's own text is not shown).
  void ReportException();
  // Nesting: top-most windows owned by the application window lose top-most while the level is positive.
  void SuspendTopMost();
  void ResumeTopMost();

  // The application window procedure; unhandled messages go to DefaultHandler.
  virtual void WndProc(TMessage& message);
  void DefaultHandler(TMessage& message);

  HWND Handle = nullptr;                      // the hidden application window
  void* WindowProcInstance = nullptr;         // thunk entry routing Handle's messages to WndProc
  TList* TopMostList = nullptr;               // top-most windows made non-top-most
  int32_t TopMostLevel = 0;
  bool Terminated = false;                    // a quit message was taken from the queue
  bool Active = false;                        // this program is the active application
  TDisabledWindow* DisabledWindows = nullptr; // windows disabled while Handle is disabled

 protected:
  explicit TApplication(TComponent* owner);
  ~TApplication() override;
  // Owned components first, then the window and its routing.
  void BeforeDestruction() override;

 private:
  void WindowEntry(TMessage& message);
  static void AttachWindow(void* object, HWND window);
  int32_t reportDepth_ = 0;
};

extern TApplication* Application;

// ---- Framework start-up ----

// Window-property atom "_%.8X" (thread id) naming a window's control.
extern ATOM ControlAtom;
// Control canvases that hold a device context (maintained by the controls' canvas).
extern TList* CanvasList;

// Once before any form (nested calls are counted): the atom, the canvas list, the graphics start-up (which
// measures ScreenPixelsPerInch), then the application object with its window. StopFramework undoes it in
// reverse.
void StartFramework();
void StopFramework();
