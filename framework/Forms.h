// Application object and message loop: the hidden application window, the message pump, the routing of
// window messages to objects (thunks), and the thread-window, keyboard and error-reporting helpers; and the
// form, the top-level window with its modal loop, focus walk and Tab navigation.
// May call Classes, Controls, SysUtils, Graphics and the platform (user32, kernel32, gdi32).
#pragma once
#include <windows.h>

#include <cstdint>

#include "Classes.h"
#include "Controls.h"
#include "SysUtils.h"

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
// measures ScreenPixelsPerInch), the theme services, then the application object with its window.
// StopFramework undoes it in reverse.
void StartFramework();
void StopFramework();

// ---- Forms ----

// Given to every form window; set at start-up.
extern HICON ProgramIcon;
// The control the last focus walk went to; cleared when that control is destroyed.
extern TWinControl* LastFocusedControl;

// Form state.
enum : uint8_t {
  fsCreating = 0x01,       // the constructor is reading the form's resources
  fsShowRequested = 0x02,  // made visible while creating: shown once the resources are read
};

// The top-level window. A class derived from TForm reads the form resources of its class chain when it is
// created (TForm itself reads none), with the layout scaled to the screen's text height; it stays hidden
// until RunModal shows it.
class TForm : public TWinControl {
  DESCRIBE_CLASS(TForm, TWinControl);  // publishes ClientHeight, ClientWidth, OnCloseQuery

  // Shows the form and pumps messages until the modal result is non-zero and the close query allows it
  // (or a quit message arrives: 2); then hides it. The result stays in ModalResult.
  void RunModal();
  // Modal result 2.
  void RequestClose();
  // True unless OnCloseQuery says no.
  bool AskCanClose();
  void HideForm() { SetVisibleFlag(false); }
  void SetActiveChild(TWinControl* control);
  void FocusChild(TWinControl* control);
  void FocusFormWindow();
  // The focus walk, from WM_SETFOCUS of a windowed control of this form: exit notices up to the common
  // parent, enter notices down to control. False when control may not take the focus now.
  bool MoveFocusTo(TWinControl* control);
  // A control removed, destroyed, hidden or disabled is no longer the active control; one removed or
  // destroyed is no longer the focused one either.
  void ForgetControl(TWinControl* control, bool removing);
  void CancelModeNotice(TControl* clicked);
  // While the resource is read, the size is kept until the layout is scaled.
  void SetClientWidth(int32_t value);
  void SetClientHeight(int32_t value);
  TControlCanvas* FormCanvas() const { return canvas_; }

  void SetVisibleFlag(bool flag) override;
  void TakeFocus() override;
  void SetContainer(TWinControl* newParent) override;
  void Rescale(int32_t m, int32_t d) override;
  void ReadContents(TReader* reader) override;
  void FillCreateParams(TCreateParams& params) override;
  void BuildWindow() override;
  void HandleMessage(TMessage& message) override;

  TWinControl* ActiveControl() const { return activeControl_; }
  TWinControl* FocusedControl() const { return focusedControl_; }
  bool Active() const { return active_; }

  uint8_t FormState = 0;
  int32_t ModalResult = 0;
  TCloseQueryEvent OnCloseQuery;

 protected:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  void AfterConstruction() override;
  void BeforeDestruction() override;
  void Dispatch(TMessage& message) override;

 private:
  void Activate(TMessage& message);
  void DialogKey(TMessage& message);
  void ShowingChanged();

  TWinControl* activeControl_ = nullptr;
  TWinControl* focusedControl_ = nullptr;
  bool active_ = false;
  TControlCanvas* canvas_ = nullptr;  // owned; measures text
  int32_t pendingClientWidth_ = 0;
  int32_t pendingClientHeight_ = 0;
  int32_t textHeight_ = 13;  // the height of "0" the layout was designed for
};
