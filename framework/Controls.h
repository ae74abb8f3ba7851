// Controls and windowed controls: the message record and the framework's message numbers, TControl (bounds,
// visibility, caption, font and colour that follow the parent, clicks, capture, scaling), the control canvas,
// TWinControl (lazily created windows, child lists, painting, reflection, keyboard navigation) and the two
// painted bases TGraphicControl and TCustomControl. May call Classes, TypInfo, Graphics, Forms and the platform.
#pragma once
#include <windows.h>

#include <cstdint>

#include "Classes.h"
#include "SysUtils.h"
#include "graphics/Graphics.h"

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
  XN_KEYDOWN = XN_BASE + WM_KEYDOWN,                // 0xBD00
  XN_KEYUP = XN_BASE + WM_KEYUP,                    // 0xBD01
  XN_CHAR = XN_BASE + WM_CHAR,                      // 0xBD02
  XN_SYSKEYDOWN = XN_BASE + WM_SYSKEYDOWN,          // 0xBD04
  XN_SYSCHAR = XN_BASE + WM_SYSCHAR,                // 0xBD06
  XN_COMMAND = XN_BASE + WM_COMMAND,                // 0xBD11
  XN_CTLCOLORMSGBOX = XN_BASE + WM_CTLCOLORMSGBOX,  // 0xBD32
  XN_CTLCOLORBTN = XN_BASE + WM_CTLCOLORBTN,        // 0xBD35
  XN_CTLCOLORSTATIC = XN_BASE + WM_CTLCOLORSTATIC,  // 0xBD38
};

// Pointers travel in wparam and lparam as 32-bit values on this target.
inline int32_t PointerParam(const void* p) { return static_cast<int32_t>(reinterpret_cast<intptr_t>(p)); }
template <class T>
T* ParamPointer(int32_t value) {
  return reinterpret_cast<T*>(static_cast<intptr_t>(value));
}
// A point packed as two signed 16-bit values (x low), as in mouse messages.
inline POINT ParamPoint(int32_t value) {
  return POINT{static_cast<int16_t>(value & 0xFFFF), static_cast<int16_t>(static_cast<uint32_t>(value) >> 16)};
}
inline int32_t PointParam(POINT p) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(p.y)) << 16 | static_cast<uint16_t>(p.x));
}

class TControl;
class TWinControl;
class TForm;

// Control style bits.
enum : uint16_t {
  ctlContainer = 0x0001,         // accepts child controls
  ctlCaptureMouse = 0x0002,      // captures the mouse while the left button is down
  ctlClicks = 0x0004,            // a release inside the client rectangle clicks
  ctlOpaque = 0x0010,            // paints its whole rectangle: nothing under it needs erasing
  ctlDoubleClicks = 0x0020,      // receives double clicks as such (otherwise as a second button-down)
  ctlFixedWidth = 0x0040,        // scaling leaves the width alone
  ctlFixedHeight = 0x0080,       // scaling leaves the height alone
  ctlParentBackground = 0x0100,  // draws its parent's background when themes are active
};

// Control state bits.
enum : uint8_t {
  cstLeftButtonDown = 0x01,
  cstClicked = 0x02,   // the left button went down on this control; the click is pending
  cstReading = 0x08,   // inside ReadContents
  cstFocusing = 0x20,  // the form's focus walk is on its way to this control
};

// Scaling flags: which of the bounds were set (while loading) and whether the font height changed.
enum : uint8_t { sfLeft = 0x01, sfTop = 0x02, sfWidth = 0x04, sfHeight = 0x08, sfFont = 0x10 };

// The method-level window procedure: a method pair (code, object).
struct TWindowMethod {
  void (*Code)(void* object, TMessage& message);
  void* Object;
};

// ---- Control canvas ----

// Draws on a control through a device context taken on demand (AcquireDC). At most four such contexts exist
// at a time; all are given back after each message a windowed control handles (DropAllContexts).
class TControlCanvas : public TCanvas {
 public:
  TControlCanvas() = default;
  ~TControlCanvas() override;
  void CreateContext() override;
  // A change of control gives back the context of the old one.
  void BindControl(TControl* control);
  // Gives back a context taken by CreateContext; a context lent for painting is left alone.
  void DropContext();
  TControl* Control() const { return control_; }

 private:
  TControl* control_ = nullptr;
  HWND window_ = nullptr;  // whose context it is
  bool acquired_ = false;  // the context came from AcquireDC and goes back with ReleaseDC
};

// Gives back the contexts of every control canvas that holds one, newest first.
void DropAllContexts();

// ---- Controls ----

// The platform's major version, read once (GetVersionExA).
int32_t PlatformMajorVersion();

// Sets the destroying flag on component and everything it owns, before any of it goes.
void MarkTreeDestroying(TComponent* component);
// The topmost parent of control when it is a form, else null.
TForm* OwningForm(const TControl* control);
// The control that has the mouse: a window-less control remembered by SetCapturingControl whose parent's
// window has the capture, else the control of the capturing window.
TControl* CapturingControl();
// Gives the mouse capture to control (null: nobody). A window-less control captures through its parent.
void SetCapturingControl(TControl* control);

class TControl : public TComponent {
  DESCRIBE_CLASS(TControl, TComponent);  // publishes Left, Top, Width, Height

  // ---- virtual operations ----
  virtual POINT ClientOriginOnScreen();
  virtual RECT ClientArea();
  // Moves the control to another parent (null: none). A control cannot be placed inside itself.
  virtual void SetContainer(TWinControl* newParent);
  virtual void RequestRepaint();
  virtual void SetPlacement(int32_t left, int32_t top, int32_t width, int32_t height);

  void AttachToContainer(TComponent* parent) override;
  void ReadContents(TReader* reader) override;
  // Scales position and size by m / d: while loading only the bounds the resource set, otherwise all.
  virtual void Rescale(int32_t m, int32_t d);
  virtual void FireClick();
  // A device context to draw on the control, clipped to it with its top-left at (0, 0); window receives the
  // window whose context it is (for ReleaseDC). Null when there is nothing to draw on.
  virtual HDC AcquireDC(HWND& window);
  virtual void BeforeVisibleChange();
  // The window procedure every message goes through: double clicks and the left-button state, then the
  // class's message table.
  virtual void HandleMessage(TMessage& message);
  virtual void RepaintNow();
  virtual void FlushPaint();
  virtual void SetVisibleFlag(bool flag);

  // Builds a message record, passes it to WindowProc and returns its result.
  int32_t Deliver(uint32_t msg, int32_t wParam = 0, int32_t lParam = 0);
  // Deliver for a control that may be null (then 0).
  static int32_t DeliverTo(TControl* control, uint32_t msg, int32_t wParam = 0, int32_t lParam = 0);

  // Published bounds setters: one value replaced, then its scaling flag.
  void PlaceLeft(int32_t value);
  void PlaceTop(int32_t value);
  void PlaceWidth(int32_t value);
  void PlaceHeight(int32_t value);
  void SetEnabledFlag(bool flag);
  // Turns following the parent's colour off.
  void SetColorValue(TColor value);
  void SetFollowParentColor(bool flag);
  void SetFollowParentFont(bool flag);
  void SetCaptionText(const WideString& text);
  // The font's change callback: following the parent's font ends here.
  void FontWasChanged(TObject* sender);

  RECT GetPlacementRect() const { return RECT{left_, top_, left_ + width_, top_ + height_}; }
  void SetPlacementRect(const RECT& r) { SetPlacement(r.left, r.top, r.right - r.left, r.bottom - r.top); }
  int32_t ClientWidth();
  int32_t ClientHeight();
  void SetClientExtent(int32_t width, int32_t height);
  POINT ScreenToLocal(POINT screenPoint);
  // Invalidates the control's rectangle in its parent's window; erases unless something opaque covers it.
  void InvalidateArea(bool isVisible, bool isOpaque);
  // A visible, opaque window-less sibling beneath this control covers all of it.
  bool CoveredByOpaqueSibling() const;
  void SetCapturing(bool flag);
  void NotifyChanged();

  TWinControl* Parent() const { return parent_; }
  int32_t Left() const { return left_; }
  int32_t Top() const { return top_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Visible() const { return visible_; }
  bool Enabled() const { return enabled_; }
  bool ParentFont() const { return parentFont_; }
  bool ParentColor() const { return parentColor_; }
  TColor Color() const { return color_; }
  TFont* Font() const { return font_; }

  TWindowMethod WindowProc;        // (HandleMessage, this) from construction on
  uint16_t ControlStyle = 0x002E;  // ctlCaptureMouse | ctlClicks | ctlDoubleClicks
  uint8_t ControlState = 0;
  uint8_t ScalingFlags = 0;
  AnsiString Text;  // the caption while the control has no window of its own
  TNotifyEvent OnClick;

 protected:
  explicit TControl(TComponent* owner);
  ~TControl() override;
  void BeforeDestruction() override;
  // The class's message table: a class handles its own messages and passes the rest to its base's table;
  // TControl's passes them to DefaultHandler.
  virtual void Dispatch(TMessage& message);
  // The caption in Text: WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH; anything else leaves the result 0.
  virtual void DefaultHandler(TMessage& message);

  TWinControl* parent_ = nullptr;
  int32_t left_ = 0;
  int32_t top_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool parentFont_ = true;
  bool parentColor_ = true;
  TFont* font_ = nullptr;  // owned
  TColor color_ = clWindow;
  int32_t lastFontHeight_ = 0;

 private:
  friend class TWinControl;
  friend class TForm;
  void LeftButtonDown(TMessage& message);
  void LeftButtonUp(TMessage& message);
  void CancelMode(TMessage& message);
  void SendCancelModeNotice();
};

// A control without a window of its own, painted by its parent onto the parent's context.
class TGraphicControl : public TControl {
  DESCRIBE_CLASS(TGraphicControl, TControl);
  // Draws the control on Canvas(); nothing in the base.
  virtual void PaintContent() {}
  TControlCanvas* Canvas() const { return canvas_; }

 protected:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  void BeforeDestruction() override;
  void Dispatch(TMessage& message) override;

 private:
  TControlCanvas* canvas_ = nullptr;  // owned, bound to this control
};

// ---- Windowed controls ----

// What FillCreateParams gathers for BuildWindow.
struct TCreateParams {
  WideString Caption;
  DWORD Style;
  DWORD ExStyle;
  int32_t X, Y, Width, Height;
  HWND WndParent;
  void* Param;
  WNDCLASSW WindowClass;
  wchar_t WinClassName[64];  // the class is registered under this name
};

class TWinControl : public TControl {
  DESCRIBE_CLASS(TWinControl, TControl);

  POINT ClientOriginOnScreen() override;
  RECT ClientArea() override;
  void RequestRepaint() override;
  void SetPlacement(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void ReadContents(TReader* reader) override;
  void Rescale(int32_t m, int32_t d) override;
  HDC AcquireDC(HWND& window) override;
  void HandleMessage(TMessage& message) override;
  void RepaintNow() override;
  void FlushPaint() override;

  // Creates the window unless there is one. Throws when the platform refuses it.
  virtual void CreateWindowNow();
  virtual void FillCreateParams(TCreateParams& params);
  virtual HWND MakeWindow(TCreateParams& params);
  virtual void BuildWindow();
  virtual void DestroyOwnWindow();
  // Keeps the caption in Text, gives back the device contexts and destroys the window.
  virtual void TearDownWindow();
  virtual void PaintOwnWindow(HDC dc);
  // Appends the tab list, depth first.
  virtual void CollectTabOrder(TList& list);
  virtual void TakeFocus();
  // Called when the control's value changed; nothing here.
  virtual void ContentChanged() {}

  // Makes a control subclass a system class: the system procedure becomes the default window procedure,
  // the class keeps the control's own name. Throws when no such class exists.
  static void AdoptSystemClass(TCreateParams& params, const wchar_t* systemClassName);
  // The control stored in a window of this process, or null.
  static TWinControl* ControlFromWindow(HWND window);

  // The parent's window first, then this one.
  void EnsureWindow();
  HWND WindowHandle();
  bool HasWindow() const { return handle_ != nullptr; }
  HWND Handle() const { return handle_; }  // null while there is no window; creates nothing
  bool Showing() const { return showing_; }

  void AdoptChild(TControl* control);
  void ReleaseChild(TControl* control);
  // Window-less children first, then windowed ones.
  int32_t ChildCount() const;
  TControl* ChildAt(int32_t index) const;
  const TList* TabList() const { return tabList_; }
  // Hands the record to each child in order until one leaves a non-zero result.
  void BroadcastToChildren(TMessage& message);
  void NotifyChildren(uint32_t msg);
  TControl* ChildAtPoint(POINT point, bool allowDisabled);
  TWinControl* NextInTabOrder(TWinControl* current, bool forward, bool checkTabStop, bool checkParent);
  void FocusNextInTabOrder(TWinControl* current, bool forward, bool checkTabStop);
  bool IsFocusable();
  bool HasFocus() const;
  void RefreshShowingFromTop();
  void RefreshShowing();
  void ReadBackBounds();
  // Destroys the windows of this control and its windowed children.
  void DestroyWindowTree();
  AnsiString ReadCaption();
  void WriteCaption(const AnsiString& text);
  void PaintAll(TMessage& message);
  void PaintChildren(HDC dc, TControl* first);
  TBrush* Brush() const { return brush_; }

  bool TabStop = false;

 protected:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;
  void BeforeDestruction() override;
  void Dispatch(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;

  void* windowProcInstance_ = nullptr;  // thunk entry to WindowEntry
  WNDPROC defaultWndProc_ = nullptr;
  TList* winless_ = nullptr;   // window-less children, painting order
  TList* windowed_ = nullptr;  // windowed children, z-order bottom first
  TList* tabList_ = nullptr;
  TBrush* brush_ = nullptr;  // owned; in the control's colour
  HWND handle_ = nullptr;
  bool showing_ = false;

 private:
  friend class TControl;
  friend class TForm;
  void WindowEntry(TMessage& message);
  static void AttachWindow(void* object, HWND window);
  void RemoveChildFromLists(TControl* control);
  bool RouteMouseToChild(TMessage& message);
  bool ReflectToChild(TMessage& message, HWND child);
  void RevealFocusCues(int32_t key);
  void KeyDown(TMessage& message, bool system);
  void ChangedVisibility(TMessage& message);
  void ChangedEnabling(TMessage& message);
  void EraseBackground(TMessage& message);
  void Invalidate(TMessage& message);
};

// A windowed control that paints itself on its canvas.
class TCustomControl : public TWinControl {
  DESCRIBE_CLASS(TCustomControl, TWinControl);
  virtual void PaintContent() {}
  void PaintOwnWindow(HDC dc) override;
  TControlCanvas* Canvas() const { return canvas_; }

 protected:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  void BeforeDestruction() override;
  void Dispatch(TMessage& message) override;

 private:
  TControlCanvas* canvas_ = nullptr;  // owned, bound to this control
};
