// Application object, message pump and window-procedure routing, with real windows under Wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "framework/Forms.h"
#include "support/FrameworkEnvironment.h"
#include "framework/WinHandles.h"
#include "graphics/Graphics.h"

namespace {

// A window bound to an object the way the framework's windowed classes bind theirs.
class ProbeWindow {
 public:
  using Handler = std::function<bool(ProbeWindow&, TMessage&)>;  // true: handled, no default processing

  explicit ProbeWindow(DWORD style = WS_POPUP, DWORD exStyle = 0, HWND owner = nullptr, Handler early = {})
      : handler(std::move(early)) {
    entry_ = NewMethodThunk(&MessageEntry<ProbeWindow, &ProbeWindow::WindowEntry>, this);
    RegisterClassOnce();
    BindNextWindow({entry_, &ProbeWindow::Attach, this});
    created_ = CreateWindowExW(exStyle, kClassName, L"probe", style, 10, 10, 120, 80, owner, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    CancelWindowBinding();
  }
  ProbeWindow(const ProbeWindow&) = delete;
  ProbeWindow& operator=(const ProbeWindow&) = delete;
  ~ProbeWindow() {
    if (IsWindow(handle_)) DestroyWindow(handle_);
    ReleaseMethodThunk(entry_);
  }

  HWND Handle() const { return handle_; }
  HWND Created() const { return created_; }
  void* Entry() const { return entry_; }
  int MessagesBeforeCreateReturned() const { return messagesAtReturn_; }
  bool Saw(uint32_t msg) const {
    for (const TMessage& m : seen) if (m.Msg == msg) return true;
    return false;
  }
  const TMessage* Find(uint32_t msg) const {
    for (const TMessage& m : seen) if (m.Msg == msg) return &m;
    return nullptr;
  }
  void MarkCreated() { messagesAtReturn_ = static_cast<int>(seen.size()); }

  std::vector<TMessage> seen;
  HWND handleAtFirstMessage = nullptr;
  Handler handler;

 private:
  static constexpr const wchar_t* kClassName = L"TProbeWindow";

  static void RegisterClassOnce() {
    WNDCLASSW info{};
    if (GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &info)) return;
    WNDCLASSW cls{};
    cls.lpfnWndProc = FirstMessageProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = kClassName;
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    RegisterClassW(&cls);
  }
  static void Attach(void* object, HWND window) { static_cast<ProbeWindow*>(object)->handle_ = window; }

  void WindowEntry(TMessage& message) {
    if (seen.empty()) handleAtFirstMessage = handle_;
    seen.push_back(message);
    if (handler && handler(*this, message)) return;
    message.Result = static_cast<int32_t>(
        DefWindowProcW(handle_, message.Msg, static_cast<WPARAM>(message.WParam), static_cast<LPARAM>(message.LParam)));
  }

  void* entry_ = nullptr;
  HWND handle_ = nullptr;
  HWND created_ = nullptr;
  int messagesAtReturn_ = -1;
};

std::unique_ptr<ProbeWindow> MakeProbe(DWORD style = WS_POPUP, DWORD exStyle = 0, HWND owner = nullptr) {
  auto probe = std::make_unique<ProbeWindow>(style, exStyle, owner);
  probe->MarkCreated();
  return probe;
}

void PumpAll() {
  for (int guard = 0; guard < 10000 && Application->PumpOneMessage(); ++guard) {
  }
}

// Replaces the error box for the duration of a test and records what it would have shown.
class ErrorBoxRecorder {
 public:
  ErrorBoxRecorder() : saved_(ErrorBoxProc) {
    texts().clear();
    ErrorBoxProc = [](const WideString& text) { texts().push_back(text); };
  }
  ~ErrorBoxRecorder() { ErrorBoxProc = saved_; }
  static std::vector<WideString>& texts() {
    static std::vector<WideString> shown;
    return shown;
  }

 private:
  TErrorBoxProc saved_;
};

// ---- Thunks ----

struct Counter {
  int calls = 0;
  TMessage last{};
};

void CountingMethod(void* object, TMessage& message) {
  auto* counter = static_cast<Counter*>(object);
  ++counter->calls;
  counter->last = message;
  message.Result = message.WParam + message.LParam;
}

TEST(MethodThunk, ThreeHundredFifteenInstancesNeedTwoBlocksAndAFreedEntryIsReused) {
  // Use up the free list first, so that the instances below come from fresh blocks.
  Counter spare;
  std::vector<void*> drained;
  for (int32_t n = FreeMethodThunkCount(); n > 0; --n) drained.push_back(NewMethodThunk(&CountingMethod, &spare));
  ASSERT_EQ(FreeMethodThunkCount(), 0);
  const int32_t blocksBefore = MethodThunkBlockCount();

  std::vector<Counter> counters(315);
  std::vector<void*> entries;
  for (Counter& c : counters) entries.push_back(NewMethodThunk(&CountingMethod, &c));
  EXPECT_EQ(MethodThunkBlockCount(), blocksBefore + 2);
  EXPECT_EQ(std::set<void*>(entries.begin(), entries.end()).size(), entries.size());

  // Every entry is a window procedure that reaches its own object with the message record.
  for (int i = 0; i < 315; ++i) {
    const LRESULT r = reinterpret_cast<WNDPROC>(entries[i])(nullptr, WM_USER + 1, 1000 + i, 7);
    ASSERT_EQ(r, 1007 + i);
    ASSERT_EQ(counters[i].calls, 1);
    ASSERT_EQ(counters[i].last.Msg, static_cast<uint32_t>(WM_USER + 1));
    ASSERT_EQ(counters[i].last.WParam, 1000 + i);
    ASSERT_EQ(counters[i].last.LParam, 7);
  }

  ReleaseMethodThunk(entries[100]);
  ReleaseMethodThunk(nullptr);  // ignored
  Counter other;
  void* reused = NewMethodThunk(&CountingMethod, &other);
  EXPECT_EQ(reused, entries[100]);
  EXPECT_EQ(MethodThunkBlockCount(), blocksBefore + 2);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(reused)(nullptr, WM_USER, 2, 3), 5);
  EXPECT_EQ(other.calls, 1);
  EXPECT_EQ(counters[100].calls, 1);  // the old owner no longer hears anything

  entries[100] = reused;
  for (void* e : entries) ReleaseMethodThunk(e);
  for (void* e : drained) ReleaseMethodThunk(e);
}

// Routed window procedures and the application's live on pages that are never writable and executable at
// once, so nothing can plant code in them.
TEST(MethodThunk, RoutedWindowProceduresAreNotOnWritableExecutablePages) {
  auto probe = MakeProbe();
  const struct {
    const char* what;
    HWND window;
  } windows[] = {{"probe", probe->Handle()}, {"application", Application->Handle}};
  for (const auto& w : windows) {
    SCOPED_TRACE(w.what);
    const auto proc = reinterpret_cast<const void*>(GetWindowLongPtrW(w.window, GWLP_WNDPROC));
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(VirtualQuery(proc, &info, sizeof info), sizeof info);
    const DWORD protect = info.Protect & 0xFF;
    EXPECT_TRUE(protect == PAGE_EXECUTE || protect == PAGE_EXECUTE_READ) << std::hex << info.Protect;
  }
}

// A window procedure used after its instance was released stops the program with a message instead of
// running whatever the freed entry holds.
TEST(MethodThunkDeathTest, AReleasedEntryStopsTheProgramWhenCalled) {
  Counter counter;
  void* entry = NewMethodThunk(&CountingMethod, &counter);
  ReleaseMethodThunk(entry);
  EXPECT_DEATH(reinterpret_cast<WNDPROC>(entry)(nullptr, WM_USER, 0, 0), "released window procedure");
  EXPECT_EQ(counter.calls, 0);
  // Taken again, it routes normally.
  EXPECT_EQ(NewMethodThunk(&CountingMethod, &counter), entry);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(entry)(nullptr, WM_USER, 2, 3), 5);
  ReleaseMethodThunk(entry);
}

// ---- Routing with real windows ----

TEST(Routing, WindowIsBoundOnItsFirstMessageAndMessagesReachTheirObject) {
  auto first = MakeProbe();
  auto second = MakeProbe();
  ASSERT_NE(first->Created(), nullptr);
  EXPECT_EQ(first->Handle(), first->Created());
  // The very first message already ran through the object, with the handle known.
  ASSERT_GT(first->MessagesBeforeCreateReturned(), 0);
  EXPECT_EQ(first->handleAtFirstMessage, first->Created());
  EXPECT_TRUE(first->Saw(WM_NCCREATE));
  EXPECT_TRUE(first->Saw(WM_CREATE));
  EXPECT_EQ(GetWindowLongPtrW(first->Handle(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(first->Entry()));
  EXPECT_NE(first->Entry(), second->Entry());

  first->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg != WM_USER + 10) return false;
    m.Result = m.WParam * 100 + m.LParam;
    return true;
  };
  EXPECT_EQ(SendMessageW(first->Handle(), WM_USER + 10, 4, 2), 402);
  const TMessage* got = first->Find(WM_USER + 10);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->WParam, 4);
  EXPECT_EQ(got->LParam, 2);
  EXPECT_FALSE(second->Saw(WM_USER + 10));

  // Unhandled messages reach the default procedure: the window text is kept by DefWindowProcW.
  SetWindowTextW(second->Handle(), L"routed");
  wchar_t text[16] = {};
  GetWindowTextW(second->Handle(), text, 16);
  EXPECT_EQ(std::wstring(text), L"routed");
  EXPECT_TRUE(second->Saw(WM_SETTEXT));
}

TEST(Routing, WindowCreatedInsideAnotherWindowsFirstMessageBindsToItsOwnObject) {
  std::unique_ptr<ProbeWindow> inner;
  ProbeWindow outer(WS_POPUP, 0, nullptr, [&inner](ProbeWindow& self, TMessage&) {
    if (self.seen.size() == 1) inner = MakeProbe();  // during the very first message
    return false;
  });
  ASSERT_NE(outer.Handle(), nullptr);
  ASSERT_NE(inner, nullptr);
  ASSERT_NE(inner->Handle(), nullptr);
  EXPECT_EQ(inner->handleAtFirstMessage, inner->Handle());
  EXPECT_EQ(GetWindowLongPtrW(inner->Handle(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(inner->Entry()));
  EXPECT_EQ(GetWindowLongPtrW(outer.Handle(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(outer.Entry()));
  SendMessageW(inner->Handle(), WM_USER + 11, 0, 0);
  SendMessageW(outer.Handle(), WM_USER + 12, 0, 0);
  EXPECT_TRUE(inner->Saw(WM_USER + 11));
  EXPECT_FALSE(inner->Saw(WM_USER + 12));
  EXPECT_TRUE(outer.Saw(WM_USER + 12));
  EXPECT_FALSE(outer.Saw(WM_USER + 11));
}

TEST(Routing, WindowOfAFrameworkClassWithoutBindingUsesTheDefaultProcedure) {
  auto registered = MakeProbe();  // makes sure the class exists
  HWND plain = CreateWindowExW(0, L"TProbeWindow", L"plain", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(GetWindowLongPtrW(plain, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&FirstMessageProc));
  wchar_t text[16] = {};
  GetWindowTextW(plain, text, 16);
  EXPECT_EQ(std::wstring(text), L"plain");
  EXPECT_TRUE(DestroyWindow(plain));
}

TEST(Routing, ApplicationWindowIsRoutedToTheApplication) {
  ASSERT_NE(Application, nullptr);
  ASSERT_TRUE(IsWindow(Application->Handle));
  wchar_t className[16] = {};
  GetClassNameW(Application->Handle, className, 16);
  EXPECT_EQ(std::wstring(className), L"TApp");
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(Application->Handle, GWL_STYLE)) & 0xFFFF0000u, 0x84CA0000u);
  EXPECT_FALSE(IsWindowVisible(Application->Handle));
  EXPECT_EQ(GetWindowLongPtrW(Application->Handle, GWLP_WNDPROC),
            reinterpret_cast<LONG_PTR>(Application->WindowProcInstance));
  // WM_CLOSE is swallowed: the default procedure would destroy the window.
  EXPECT_EQ(SendMessageW(Application->Handle, WM_CLOSE, 0, 0), 0);
  EXPECT_TRUE(IsWindow(Application->Handle));
}

TEST(Routing, ExceptionsNeverLeaveAWindowProcedure) {
  ErrorBoxRecorder boxes;
  auto probe = MakeProbe();
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg == WM_USER + 20) throw EAbort();
    if (m.Msg == WM_USER + 21) throw Exception("disk on fire");
    if (m.Msg == WM_USER + 22) throw std::runtime_error("not a framework exception");
    return false;
  };
  EXPECT_EQ(SendMessageW(probe->Handle(), WM_USER + 20, 0, 0), 0);
  EXPECT_TRUE(ErrorBoxRecorder::texts().empty());

  EXPECT_EQ(SendMessageW(probe->Handle(), WM_USER + 21, 0, 0), 0);
  ASSERT_EQ(ErrorBoxRecorder::texts().size(), 1u);
  EXPECT_EQ(ErrorBoxRecorder::texts()[0], WideString(W_("Critical error")));

  SendMessageW(probe->Handle(), WM_USER + 22, 0, 0);
  EXPECT_EQ(ErrorBoxRecorder::texts().size(), 2u);

  // Through the pump: the loop goes on with the next message.
  PumpAll();
  probe->seen.clear();
  PostMessageW(probe->Handle(), WM_USER + 20, 0, 0);
  PostMessageW(probe->Handle(), WM_USER + 21, 0, 0);
  PostMessageW(probe->Handle(), WM_USER + 23, 0, 0);
  PumpAll();
  EXPECT_TRUE(probe->Saw(WM_USER + 23));
  ASSERT_EQ(ErrorBoxRecorder::texts().size(), 3u);
  EXPECT_EQ(ErrorBoxRecorder::texts()[2], WideString(W_("Critical error")));
}

// The error box runs a message loop that repaints; a window whose paint keeps failing must not open box
// upon box. Once the box is closed, the next failure is shown again.
TEST(Routing, AFailureWhileTheErrorBoxIsShowingOpensNoFurtherBox) {
  static HWND failing;
  static int boxes;
  boxes = 0;
  const TErrorBoxProc saved = ErrorBoxProc;
  ErrorBoxProc = [](const WideString&) {
    ++boxes;
    if (boxes < 10) SendMessageW(failing, WM_USER + 25, 0, 0);  // the box repaints the failing window
  };
  auto probe = MakeProbe();
  failing = probe->Handle();
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg == WM_USER + 25) throw Exception("paint failed");
    return false;
  };
  SendMessageW(failing, WM_USER + 25, 0, 0);
  const int shownFirst = boxes;
  SendMessageW(failing, WM_USER + 25, 0, 0);
  ErrorBoxProc = saved;
  EXPECT_EQ(shownFirst, 1);
  EXPECT_EQ(boxes, 2);
}

TEST(Routing, ReportingAnExceptionCancelsTheMouseCapture) {
  ErrorBoxRecorder boxes;
  auto probe = MakeProbe(WS_POPUP | WS_VISIBLE);
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg == WM_USER + 30) throw EAbort();
    if (m.Msg == WM_CANCELMODE) ReleaseCapture();
    return false;
  };
  SetCapture(probe->Handle());
  ASSERT_EQ(GetCapture(), probe->Handle());
  SendMessageW(probe->Handle(), WM_USER + 30, 0, 0);
  EXPECT_TRUE(probe->Saw(WM_CANCELMODE));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_TRUE(ErrorBoxRecorder::texts().empty());  // EAbort: still silent
}

// ---- Pump ----

TEST(Pump, QuitIsConsumedAndNotDispatched) {
  PumpAll();
  auto probe = MakeProbe();
  probe->seen.clear();
  Application->Terminated = false;
  PostMessageW(probe->Handle(), WM_QUIT, 0, 0);
  EXPECT_TRUE(Application->PumpOneMessage());
  EXPECT_TRUE(Application->Terminated);
  EXPECT_FALSE(probe->Saw(WM_QUIT));
  Application->Terminated = false;
  PostQuitMessage(0);
  PumpAll();
  EXPECT_TRUE(Application->Terminated);
  EXPECT_FALSE(Application->PumpOneMessage());  // the queue is empty now
  Application->Terminated = false;
}

TEST(Pump, ReflectedKeyHandledWithoutDispatch) {
  auto probe = MakeProbe(WS_POPUP | WS_VISIBLE);
  bool consume = true;
  probe->handler = [&consume](ProbeWindow&, TMessage& m) {
    if (m.Msg == XN_KEYDOWN) {
      m.Result = consume ? 1 : 0;
      return true;
    }
    return false;
  };
  PumpAll();
  probe->seen.clear();
  PostMessageW(probe->Handle(), WM_KEYDOWN, 'A', 0x001E0001);
  PumpAll();
  const TMessage* reflected = probe->Find(XN_KEYDOWN);
  ASSERT_NE(reflected, nullptr);
  EXPECT_EQ(reflected->WParam, 'A');
  EXPECT_EQ(reflected->LParam, 0x001E0001);
  EXPECT_FALSE(probe->Saw(WM_KEYDOWN));
  EXPECT_FALSE(probe->Saw(WM_CHAR));  // not translated either

  consume = false;
  probe->seen.clear();
  PostMessageW(probe->Handle(), WM_KEYDOWN, 'A', 0x001E0001);
  PumpAll();
  EXPECT_TRUE(probe->Saw(XN_KEYDOWN));
  EXPECT_TRUE(probe->Saw(WM_KEYDOWN));
}

// Key messages 0x100 to 0x108 are offered to their window first; WM_UNICHAR (0x109) and others are not.
TEST(Pump, OnlyKeyMessagesFrom0x100To0x108AreReflected) {
  auto probe = MakeProbe(WS_POPUP | WS_VISIBLE);
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg < XN_BASE) return false;
    m.Result = 1;
    return true;
  };
  const struct {
    uint32_t msg;
    bool reflected;
  } cases[] = {{0xF0, false}, {0x100, true}, {0x104, true}, {0x108, true}, {0x109, false}, {0x10A, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.msg);
    PumpAll();
    probe->seen.clear();
    PostMessageW(probe->Handle(), c.msg, 0, 0);
    PumpAll();
    EXPECT_EQ(probe->Saw(c.msg + XN_BASE), c.reflected);
    EXPECT_EQ(probe->Saw(c.msg), !c.reflected);  // a reflected message that answered non-zero goes no further
  }
}

TEST(Pump, NoReflectionWhileTheMouseIsCaptured) {
  auto probe = MakeProbe(WS_POPUP | WS_VISIBLE);
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg != XN_KEYDOWN) return false;
    m.Result = 1;
    return true;
  };
  PumpAll();
  SetCapture(probe->Handle());
  ASSERT_EQ(GetCapture(), probe->Handle());
  probe->seen.clear();
  PostMessageW(probe->Handle(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  PumpAll();
  ReleaseCapture();
  EXPECT_FALSE(probe->Saw(XN_KEYDOWN));
  EXPECT_TRUE(probe->Saw(WM_KEYDOWN));
}

TEST(Pump, NonKeyMessagesAreNotReflected) {
  auto probe = MakeProbe();
  PumpAll();
  probe->seen.clear();
  PostMessageW(probe->Handle(), WM_USER + 40, 0, 0);
  PumpAll();
  EXPECT_TRUE(probe->Saw(WM_USER + 40));
  EXPECT_FALSE(probe->Saw(WM_USER + 40 + XN_BASE));
}

// ---- Application window procedure ----

bool IsTopMost(HWND window) { return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

TEST(TopMost, SuspensionNests) {
  auto normal = MakeProbe(WS_POPUP, 0, Application->Handle);
  auto top = MakeProbe(WS_POPUP, WS_EX_TOPMOST, Application->Handle);
  ShowWindow(normal->Handle(), SW_SHOWNOACTIVATE);
  ShowWindow(top->Handle(), SW_SHOWNOACTIVATE);
  ASSERT_EQ(GetWindow(top->Handle(), GW_OWNER), Application->Handle);
  ASSERT_TRUE(IsTopMost(top->Handle()));
  ASSERT_FALSE(IsTopMost(normal->Handle()));
  // Windows destroyed by earlier tests may have left the program inactive, which suspends top-most; start
  // this test from an active program and leave the level as it was found.
  const int32_t found = Application->TopMostLevel;
  while (Application->TopMostLevel > 0) Application->ResumeTopMost();
  struct RestoreLevel {
    int32_t level;
    ~RestoreLevel() {
      while (Application->TopMostLevel < level) Application->SuspendTopMost();
    }
  } restore{found};

  Application->SuspendTopMost();
  EXPECT_FALSE(IsTopMost(top->Handle()));
  EXPECT_EQ(Application->TopMostList->Count(), 1);
  Application->SuspendTopMost();
  EXPECT_EQ(Application->TopMostLevel, 2);
  Application->ResumeTopMost();
  EXPECT_FALSE(IsTopMost(top->Handle()));
  Application->ResumeTopMost();
  EXPECT_TRUE(IsTopMost(top->Handle()));
  EXPECT_FALSE(IsTopMost(normal->Handle()));
  EXPECT_EQ(Application->TopMostList->Count(), 0);
  Application->ResumeTopMost();  // below zero: nothing
  EXPECT_EQ(Application->TopMostLevel, 0);
}

TEST(ApplicationWindow, DisablingItDisablesTheThreadsWindowsUntilEnabledAgain) {
  auto shown = MakeProbe(WS_POPUP | WS_VISIBLE);
  auto hidden = MakeProbe(WS_POPUP);
  auto alreadyOff = MakeProbe(WS_POPUP | WS_VISIBLE | WS_DISABLED);
  const int32_t level = Application->TopMostLevel;
  EnableWindow(Application->Handle, FALSE);
  EXPECT_FALSE(IsWindowEnabled(shown->Handle()));
  EXPECT_TRUE(IsWindowEnabled(hidden->Handle()));  // invisible windows are left alone
  EXPECT_NE(Application->DisabledWindows, nullptr);
  EXPECT_EQ(Application->TopMostLevel, level + 1);
  EnableWindow(Application->Handle, TRUE);
  EXPECT_TRUE(IsWindowEnabled(shown->Handle()));
  EXPECT_FALSE(IsWindowEnabled(alreadyOff->Handle()));  // was not enabled before, stays as it was
  EXPECT_EQ(Application->DisabledWindows, nullptr);
  EXPECT_EQ(Application->TopMostLevel, level);
}

TEST(ApplicationWindow, DisableThreadWindowsNests) {
  auto a = MakeProbe(WS_POPUP | WS_VISIBLE);
  auto b = MakeProbe(WS_POPUP | WS_VISIBLE);
  TDisabledWindow* outer = DisableThreadWindows(a->Handle());
  EXPECT_TRUE(IsWindowEnabled(a->Handle()));
  EXPECT_FALSE(IsWindowEnabled(b->Handle()));
  TDisabledWindow* inner = DisableThreadWindows(nullptr);  // only a is still enabled and visible
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->Window, a->Handle());
  EXPECT_EQ(inner->Next, nullptr);
  ReenableWindows(inner);
  EXPECT_TRUE(IsWindowEnabled(a->Handle()));
  EXPECT_FALSE(IsWindowEnabled(b->Handle()));
  ReenableWindows(outer);
  EXPECT_TRUE(IsWindowEnabled(b->Handle()));
}

TEST(ApplicationWindow, ActivationIsTrackedAndAnnounced) {
  PumpAll();
  const int32_t level = Application->TopMostLevel;
  SendMessageW(Application->Handle, WM_ACTIVATEAPP, FALSE, 0);
  EXPECT_FALSE(Application->Active);
  EXPECT_EQ(Application->TopMostLevel, level + 1);
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, Application->Handle, XM_DEACTIVATE, XM_DEACTIVATE, PM_REMOVE));
  SendMessageW(Application->Handle, WM_ACTIVATEAPP, TRUE, 0);
  EXPECT_TRUE(Application->Active);
  EXPECT_EQ(Application->TopMostLevel, level);
  EXPECT_TRUE(PeekMessageW(&msg, Application->Handle, XM_ACTIVATE, XM_ACTIVATE, PM_REMOVE));
}

TEST(ApplicationWindow, ColourRequestsAreReflectedToTheAskingControl) {
  auto control = MakeProbe();
  control->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg != XN_CTLCOLORSTATIC) return false;
    m.Result = 0x1234;
    return true;
  };
  const LRESULT r = SendMessageW(Application->Handle, WM_CTLCOLORSTATIC, 0x55, reinterpret_cast<LPARAM>(control->Handle()));
  EXPECT_EQ(r, 0x1234);
  const TMessage* got = control->Find(XN_CTLCOLORSTATIC);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->WParam, 0x55);
  EXPECT_EQ(got->Msg, 0xBD38u);
}

TEST(ApplicationWindow, FindFocusableWindowPrefersNonTopMostWindows) {
  auto top = MakeProbe(WS_POPUP);
  SetWindowPos(top->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  auto normal = MakeProbe(WS_POPUP);
  ShowWindow(normal->Handle(), SW_SHOWNOACTIVATE);
  auto hidden = MakeProbe(WS_POPUP);
  EXPECT_EQ(FindFocusableWindow(nullptr), normal->Handle());
  EXPECT_EQ(FindFocusableWindow(normal->Handle()), top->Handle());
  EnableWindow(top->Handle(), FALSE);
  EXPECT_EQ(FindFocusableWindow(normal->Handle()), nullptr);
}

TEST(ApplicationWindow, FocusOnTheApplicationWindowIsRelayedToAFocusableWindow) {
  auto target = MakeProbe(WS_POPUP | WS_VISIBLE);
  PumpAll();
  SetFocus(Application->Handle);
  ASSERT_EQ(GetFocus(), Application->Handle);
  PumpAll();  // the relay notice was posted, not sent
  EXPECT_EQ(GetFocus(), target->Handle());
}

// ---- Keyboard helpers ----

class KeyboardStateGuard {
 public:
  KeyboardStateGuard() { GetKeyboardState(saved_); }
  ~KeyboardStateGuard() { SetKeyboardState(saved_); }
  void Set(std::initializer_list<int> down) {
    BYTE keys[256] = {};
    for (int vk : down) keys[vk] = 0x80;
    SetKeyboardState(keys);
  }

 private:
  BYTE saved_[256];
};

TEST(Keyboard, AltComesFromTheKeyDataOnly) {
  KeyboardStateGuard keys;
  constexpr int32_t kContextCode = 1 << 29;
  keys.Set({VK_MENU});
  EXPECT_EQ(ShiftStateFromKeyData(0), 0);
  EXPECT_EQ(ShiftStateFromKeyData(kContextCode), ssAlt);
  keys.Set({});
  EXPECT_EQ(ShiftStateFromKeyData(kContextCode), ssAlt);
  keys.Set({VK_SHIFT});
  EXPECT_EQ(ShiftStateFromKeyData(0), ssShift);
  keys.Set({VK_SHIFT, VK_CONTROL});
  EXPECT_EQ(ShiftStateFromKeyData(kContextCode | 0x001E0001), ssShift | ssAlt | ssCtrl);
  keys.Set({VK_CONTROL});
  EXPECT_EQ(ShiftStateFromKeyData(0), ssCtrl);
}

TEST(Keyboard, MnemonicRules) {
  EXPECT_TRUE(MatchesMnemonic(L'a', WideString(L"&Apply")));
  EXPECT_TRUE(MatchesMnemonic(L'A', WideString(L"&apply")));
  EXPECT_TRUE(MatchesMnemonic(L'x', WideString(L"E&xit")));
  EXPECT_FALSE(MatchesMnemonic(L'a', WideString(L"Apply")));
  EXPECT_FALSE(MatchesMnemonic(L'a', WideString(L"Appl&")));
  EXPECT_FALSE(MatchesMnemonic(L'a', WideString(L"")));
  EXPECT_FALSE(MatchesMnemonic(L'p', WideString(L"&Apply")));
  // Only the character after the first "&" counts.
  EXPECT_FALSE(MatchesMnemonic(L'b', WideString(L"&a&b")));
  // Locale-aware case folding beyond ASCII, and the 8-bit (UTF-8) caption form.
  EXPECT_TRUE(MatchesMnemonic(L'\u00E9', WideString(L"&\u00C9tape")));
  EXPECT_TRUE(MatchesMnemonic(L'\u00E9', AnsiString("&\xC3\x89tape")));
  EXPECT_TRUE(MatchesMnemonic(L'n', AnsiString("&Next >")));
}

TEST(Focus, SendFocusNoticeTellsWhetherTheReceiverMovedTheFocus) {
  auto probe = MakeProbe();
  probe->handler = [](ProbeWindow&, TMessage& m) {
    if (m.Msg == XM_EXIT) ++FocusCount;
    return m.Msg == XM_EXIT || m.Msg == XM_ENTER;
  };
  const int32_t before = FocusCount;
  EXPECT_TRUE(SendFocusNotice(probe->Handle(), XM_ENTER));
  EXPECT_TRUE(probe->Saw(XM_ENTER));
  EXPECT_FALSE(SendFocusNotice(probe->Handle(), XM_EXIT));
  EXPECT_EQ(FocusCount, before + 1);
  FocusCount = before;
}

TEST(StartUp, AtomAndScreenValues) {
  ASSERT_NE(ControlAtom, 0);
  char name[32] = {};
  ASSERT_GT(GlobalGetAtomNameA(ControlAtom, name, sizeof name), 0u);
  char expected[32];
  std::snprintf(expected, sizeof expected, "_%.8lX", static_cast<unsigned long>(GetCurrentThreadId()));
  EXPECT_STREQ(name, expected);
  EXPECT_NE(CanvasList, nullptr);
  const TWindowDC screen;
  EXPECT_EQ(ScreenPixelsPerInch, GetDeviceCaps(screen.Get(), LOGPIXELSY));
  // Nested start-up and shut-down leave the objects in place.
  TApplication* app = Application;
  StartFramework();
  StopFramework();
  EXPECT_EQ(Application, app);
  EXPECT_TRUE(IsWindow(Application->Handle));
}

// Windows the application window owns (every form's) are destroyed with it, and may still draw while they
// go: the drawing tools outlive the application object.
TEST(StartUp, WindowsOwnedByTheApplicationCanUseToolsWhileTheyAreDestroyed) {
  static bool cachesThere;
  static DWORD fontType;
  cachesThere = false;
  fontType = 0;
  ProbeWindow owned(WS_POPUP, 0, Application->Handle, [](ProbeWindow&, TMessage& m) {
    if (m.Msg != WM_DESTROY) return false;
    cachesThere = FontCache && PenCache && BrushCache;
    if (cachesThere) {
      TFont font;
      font.SetFontHeight(-31);
      fontType = GetObjectType(font.FetchHandle());
    }
    return false;
  });
  ASSERT_TRUE(IsWindow(owned.Handle()));
  StopFramework();  // the environment's start was the only one: this is the real shut-down
  StartFramework();
  EXPECT_FALSE(IsWindow(owned.Handle()));
  EXPECT_TRUE(cachesThere);
  EXPECT_EQ(fontType, static_cast<DWORD>(OBJ_FONT));
}

// A brush in a system colour follows the system's colours once the application window hears of a change,
// as the system tells every top-level window.
TEST(ApplicationWindow, SystemColourChangeReachesTheToolCaches) {
  TBrush brush;
  brush.SetToolColor(clBtnFace);
  auto madeColor = [&brush] {
    LOGBRUSH made{};
    GetObjectW(brush.FetchHandle(), sizeof made, &made);
    return made.lbColor;
  };
  const int index = COLOR_BTNFACE;
  const COLORREF saved = GetSysColor(index), changed = saved ^ 0x00A5A5A5;
  ASSERT_EQ(madeColor(), saved);
  SetSysColors(1, &index, &changed);
  SendMessageW(Application->Handle, WM_SYSCOLORCHANGE, 0, 0);
  const COLORREF after = madeColor();
  SetSysColors(1, &index, &saved);
  SendMessageW(Application->Handle, WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(after, changed);
  EXPECT_EQ(madeColor(), saved);
}

}  // namespace
