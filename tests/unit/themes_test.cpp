// Theme services over the real theme library under Wine (and made absent or scripted through the binder),
// painting a parent's background into a real child window, and libraries loaded from the system folder only.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "framework/SystemLibrary.h"
#include "framework/WinHandles.h"
#include "graphics/Themes.h"
#include "support/FileHelpers.h"

namespace {

using testfiles::MakeTestFolder;
using testfiles::RemoveTree;

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(module, path, MAX_PATH * 2);
  return path;
}

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  return folder;
}

bool SameText(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

// ---- A scripted stand-in for the library's theme calls ----

struct Script {
  BOOL active = FALSE;
  std::vector<HTHEME> openResults;  // one per OpenThemeData call; null once they run out
  int opens = 0;
  std::vector<std::wstring> openedClasses;
  std::vector<HWND> openWindows;
  std::vector<HTHEME> closed;
};
Script script;

HTHEME WINAPI ScriptedOpen(HWND window, LPCWSTR classList) {
  script.openWindows.push_back(window);
  script.openedClasses.push_back(classList ? classList : L"");
  const size_t i = static_cast<size_t>(script.opens++);
  return i < script.openResults.size() ? script.openResults[i] : nullptr;
}
HRESULT WINAPI ScriptedClose(HTHEME theme) {
  script.closed.push_back(theme);
  return S_OK;
}
BOOL WINAPI ScriptedActive() { return script.active; }

// The real library, with the theme state and handles under the test's control.
void ScriptedBinder(TThemeLibrary& library) {
  BindThemeLibrary(library);
  library.IsThemeActive = &ScriptedActive;
  library.OpenThemeData = &ScriptedOpen;
  library.CloseThemeData = &ScriptedClose;
}

// As if uxtheme.dll were missing.
void AbsentBinder(TThemeLibrary& library) { library = TThemeLibrary{}; }

// Each test restarts the theme unit with its binder; the real one is put back afterwards.
class ThemesTest : public ::testing::Test {
 protected:
  void Start(TThemeBinder binder) {
    ThemeBinder = binder;
    StartThemes();
    started_ = true;
  }
  void Stop() {
    if (started_) StopThemes();
    started_ = false;
  }
  void TearDown() override {
    Stop();
    ThemeBinder = &BindThemeLibrary;
    script = Script{};
  }

 private:
  bool started_ = false;
};

TEST_F(ThemesTest, BindsTheSystemLibraryAndFollowsThePlatformAtStartUp) {
  Start(&BindThemeLibrary);
  ASSERT_TRUE(ThemeServices->Available);
  ASSERT_NE(ThemeLibrary.Module, nullptr);
  EXPECT_TRUE(SameText(FolderOf(ModulePath(ThemeLibrary.Module)), SystemFolder()))
      << testfiles::U(ModulePath(ThemeLibrary.Module));
  const void* const entries[] = {
      reinterpret_cast<void*>(ThemeLibrary.OpenThemeData),
      reinterpret_cast<void*>(ThemeLibrary.CloseThemeData),
      reinterpret_cast<void*>(ThemeLibrary.DrawThemeBackground),
      reinterpret_cast<void*>(ThemeLibrary.IsThemeBackgroundPartiallyTransparent),
      reinterpret_cast<void*>(ThemeLibrary.IsThemeActive),
      reinterpret_cast<void*>(ThemeLibrary.DrawThemeParentBackground)};
  for (const void* entry : entries) EXPECT_NE(entry, nullptr);

  // The platform's own answer, asked without the code under test.
  using TActive = BOOL(WINAPI*)();
  const auto platformActive = reinterpret_cast<TActive>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"uxtheme.dll"), "IsThemeActive")));
  ASSERT_NE(platformActive, nullptr);
  const bool stylesOn = platformActive() != FALSE;
  EXPECT_EQ(ThemeServices->Enabled, stylesOn);
  EXPECT_EQ(ThemesActive(), stylesOn);
  // With Wine's own visual style on, the button theme really opens.
  EXPECT_EQ(ThemeServices->ThemeFor(teButton) != nullptr, stylesOn);
}

// Visual styles are switched on right after start-up in every case: only the state at start-up counts.
TEST_F(ThemesTest, TheButtonThemeOpensOnFirstUseOnceAndOnlyWhenStylesWereOnAtStartUp) {
  const HTHEME theme = reinterpret_cast<HTHEME>(0x5100);
  const HTHEME later = reinterpret_cast<HTHEME>(0x5200);
  const struct {
    const char* name;
    BOOL onAtStartUp;
    std::vector<HTHEME> openResults;
    std::vector<bool> answers;  // of successive ThemesActive calls
    int opens;
    HTHEME kept;
  } cases[] = {
      {"opened at once", TRUE, {theme, later}, {true, true, true, true, true}, 1, theme},
      {"refused once, then opened", TRUE, {nullptr, theme, later}, {false, true, true, true}, 2, theme},
      {"always refused", TRUE, {}, {false, false, false}, 3, nullptr},
      {"styles off at start-up", FALSE, {theme}, {false, false, false}, 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    script = Script{};
    script.active = c.onAtStartUp;
    script.openResults = c.openResults;
    Start(&ScriptedBinder);
    script.active = TRUE;
    EXPECT_TRUE(ThemeServices->Available);
    EXPECT_EQ(ThemeServices->Enabled, c.onAtStartUp != FALSE);
    EXPECT_EQ(script.opens, 0) << "opened before anyone asked";
    for (size_t i = 0; i < c.answers.size(); ++i) EXPECT_EQ(ThemesActive(), c.answers[i]) << "call " << i;
    EXPECT_EQ(script.opens, c.opens);
    for (size_t i = 0; i < script.openedClasses.size(); ++i) {
      EXPECT_EQ(script.openedClasses[i], L"button");
      EXPECT_EQ(script.openWindows[i], nullptr);
    }
    EXPECT_EQ(ThemeServices->ThemeFor(teButton), c.kept);
    EXPECT_TRUE(script.closed.empty());

    Stop();  // unit shut-down closes what is open, once
    const std::vector<HTHEME> closed = c.kept ? std::vector<HTHEME>{c.kept} : std::vector<HTHEME>{};
    EXPECT_EQ(script.closed, closed);
  }
}

// ---- The parent's background under a child ----

constexpr wchar_t kParentClass[] = L"QvThemeTestParent";
constexpr wchar_t kChildClass[] = L"QvThemeTestChild";
constexpr COLORREF kTop = RGB(0, 160, 0), kLeft = RGB(200, 0, 0), kRest = RGB(0, 0, 220);
constexpr COLORREF kUntouched = RGB(0, 0, 0);
constexpr int kBandHeight = 40, kBandWidth = 60;

// The parent's background, in its client coordinates: a top band, a left band below it, the rest.
COLORREF ParentColorAt(POINT p) { return p.y < kBandHeight ? kTop : p.x < kBandWidth ? kLeft : kRest; }

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  TGdiObject<HBRUSH> brush(CreateSolidBrush(color));
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush.Get());
}

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    const HDC dc = reinterpret_cast<HDC>(wParam);
    RECT client;
    GetClientRect(window, &client);
    Fill(dc, 0, 0, client.right, client.bottom, kRest);
    Fill(dc, 0, kBandHeight, kBandWidth, client.bottom, kLeft);
    Fill(dc, 0, 0, client.right, kBandHeight, kTop);
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ChildProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;  // the child paints nothing of its own
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterTestClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSW cls{};
  if (GetClassInfoW(GetModuleHandleW(nullptr), name, &cls)) return;
  cls.lpfnWndProc = proc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = name;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&cls);
}

struct WindowOwner {
  static void Close(HWND h) { DestroyWindow(h); }
  static bool Valid(HWND h) { return h != nullptr; }
  using Handle = HWND;
};
using TWindow = TOwnedHandle<WindowOwner>;

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

TEST_F(ThemesTest, PaintParentBackgroundDrawsTheParentUnderTheChild) {
  RegisterTestClass(kParentClass, &ParentProc);
  RegisterTestClass(kChildClass, &ChildProc);
  const struct {
    const char* name;
    TThemeBinder binder;
    bool parentPainted;
  } cases[] = {
      {"library present", &BindThemeLibrary, true},
      {"library absent", &AbsentBinder, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.binder);
    // Without the library everything is classic, however often asked.
    EXPECT_EQ(ThemeServices->Available, c.parentPainted);
    if (!c.parentPainted) {
      for (int call = 0; call < 3; ++call) EXPECT_FALSE(ThemesActive());
      EXPECT_FALSE(ThemeServices->Enabled);
      EXPECT_EQ(ThemeServices->ThemeFor(teButton), nullptr);
    }
    TWindow parent(CreateWindowExW(0, kParentClass, L"parent", WS_POPUP | WS_VISIBLE, 60, 60, 220, 160, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(parent.Valid());
    // Across the corner of the bands, so all three colours fall under it.
    TWindow child(CreateWindowExW(0, kChildClass, L"", WS_CHILD | WS_VISIBLE, 35, 22, 56, 44, parent.Get(),
                                  nullptr, GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(child.Valid());
    UpdateWindow(parent.Get());
    PumpMessages();

    TWindowDC dc(child.Get());
    ASSERT_TRUE(dc);
    RECT client;
    GetClientRect(child.Get(), &client);
    Fill(dc.Get(), 0, 0, client.right, client.bottom, kUntouched);
    PaintParentBackground(child.Get(), dc.Get());
    GdiFlush();

    int checked = 0;
    for (int y = 0; y < client.bottom; y += 3) {
      for (int x = 0; x < client.right; x += 3) {
        POINT inParent{x, y};
        MapWindowPoints(child.Get(), parent.Get(), &inParent, 1);
        const COLORREF expected = c.parentPainted ? ParentColorAt(inParent) : kUntouched;
        const COLORREF seen = GetPixel(dc.Get(), x, y);
        ASSERT_EQ(seen, expected) << "child pixel (" << x << ", " << y << ")";
        ++checked;
      }
    }
    EXPECT_GT(checked, 200);
    Stop();
  }
}

// ---- Libraries from the system folder only ----

// A loadable module (a copy of this test program) in a fresh folder that is also the current folder, as a
// planted DLL would lie beside a downloaded installer.
class PlantedLibrary {
 public:
  explicit PlantedLibrary(const wchar_t* name) : folder_(MakeTestFolder(L"plant")) {
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    previous_ = current;
    path_ = folder_ + name;
    copied_ = !folder_.empty() && CopyFileW(ModulePath(nullptr).c_str(), path_.c_str(), FALSE) &&
              SetCurrentDirectoryW(folder_.c_str());
  }
  ~PlantedLibrary() {
    SetCurrentDirectoryW(previous_.c_str());
    RemoveTree(folder_);
  }
  bool Ready() const { return copied_; }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring folder_, previous_, path_;
  bool copied_ = false;
};

TEST(SystemLibrary, LoadsFromTheSystemFolderOnly) {
  PlantedLibrary planted(L"qvplanted.dll");
  ASSERT_TRUE(planted.Ready());
  const std::wstring systemFolder = SystemFolder();
  const struct {
    const wchar_t* name;
    bool loads;
  } cases[] = {
      {L"uxtheme.dll", true},
      {L"qvplanted.dll", false},  // in the current folder, not in the system folder
      {L".\\qvplanted.dll", false},
      {L"..\\system32\\uxtheme.dll", false},  // names with a path are refused, even towards the system
      {L"C:\\windows\\system32\\uxtheme.dll", false},
      {L"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? testfiles::U(c.name) : "null");
    const HMODULE module = LoadSystemLibrary(c.name);
    EXPECT_EQ(module != nullptr, c.loads);
    if (module) {
      EXPECT_TRUE(SameText(FolderOf(ModulePath(module)), systemFolder)) << testfiles::U(ModulePath(module));
    }
  }
  // The planted file is a loadable module: only the folder kept it out.
  const HMODULE direct = LoadLibraryExW(planted.Path().c_str(), nullptr, 0);
  EXPECT_NE(direct, nullptr);
  if (direct) FreeLibrary(direct);
}

// Last in this program: the narrowed search stays for the rest of the process.
TEST(SystemLibrary, RestrictedSearchSkipsTheCurrentFolder) {
  {
    PlantedLibrary before(L"qvplanted1.dll");
    ASSERT_TRUE(before.Ready());
    const HMODULE found = LoadLibraryW(L"qvplanted1.dll");
    EXPECT_NE(found, nullptr) << "the platform's usual search should find a module in the current folder";
    if (found) FreeLibrary(found);
  }
  EXPECT_TRUE(RestrictLibrarySearch()) << "Wine offers SetDefaultDllDirectories";
  PlantedLibrary after(L"qvplanted2.dll");
  ASSERT_TRUE(after.Ready());
  const HMODULE found = LoadLibraryW(L"qvplanted2.dll");
  EXPECT_EQ(found, nullptr);
  if (found) FreeLibrary(found);
  // System libraries are still found by name.
  const HMODULE system = LoadLibraryW(L"version.dll");
  EXPECT_NE(system, nullptr);
  if (system) FreeLibrary(system);
}

}  // namespace
