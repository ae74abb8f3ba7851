// Drives the real setup.exe as a person would, through window messages: runs the command script given as
// the first argument and writes what it sees to the file given as the second (UTF-8, one line per result).
// Controls are found by the form's structure (class names and positions), not by anything the program
// exposes for tests. A command that times out writes "timeout <command>" and ends the script with exit code 3.
//
// Commands (one per line; '#' starts a comment):
//   run CMDLINE            start a process (setup.exe and its switches)
//   wait-form              wait for the wizard window of that process
//   firstwindow            the same, polled closely: firstwindow ms=N since "run" (for the benchmark)
//   firstpaint CLASS TEXT  polled closely until a window of CLASS shows a control whose text holds TEXT and
//                          nothing in it waits to be painted: firstpaint ms=N since "run" (for the benchmark)
//   attach                 wait for a wizard window of any process and take that process (started elsewhere)
//   next-until N           click Next until page N shows (fails when a box stops it)
//   state                  state page=N title="..." caption="..." back=VE next=E"..." cancel=E (V/v, E/e: visible, enabled)
//   get NAME               NAME="text"
//   info NAME              NAME visible=0/1 enabled=0/1 checked=0/1 left= top= width= height= (client of the form)
//   click NAME             BM_CLICK, posted (a click may open a modal box)
//   check NAME 0|1         clicks the check box when its mark differs
//   settext NAME TEXT      WM_SETTEXT (TEXT may be empty; leading and trailing blanks are kept)
//   select NAME INDEX      chooses a combo-box item as the user does (selection, then the notification)
//   box                    waits for a message box: box caption="..." text="..."
//   answer ID              presses the box's button ID (1 OK, 6 Yes, 7 No, 3 Abort, 4 Retry, 5 Ignore)
//   nobox MS               fails with "box ..." when a message box shows within MS milliseconds, else "nobox"
//   close                  the title bar's close command
//   shot NAME              asks the test script for a screenshot of the wizard (files in the shot folder)
//   shotdir DIR            the folder of the screenshot handshake (a Windows path)
//   ink NAME RGB           ink NAME=count: pixels of colour RGB (hex RRGGBB) on screen inside the control
//   colours NAME           colours NAME=count: distinct colours on screen inside the control
//   wait-page N            waits until page N shows
//   wait-exit              waits for the process: exit=N
//   kill                   ends the process at once (for the benchmark)
//   watch                  until the process ends: every window it shows ("window class="..." title="...""), then exit=N
//   qvw                    waits for the word processor's window: qvw title="..."
//   tag TEXT               puts TEXT before every following result line (empty: none)
//   choose NAME TEXT       chooses the combo-box item with that text
//   sleep MS
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

FILE* out = nullptr;
PROCESS_INFORMATION process{};
HWND form = nullptr;
std::wstring shotDir;
const DWORD kTimeoutMs = 60000;
DWORD runStart = 0;  // when the last "run" started its process

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring Wide(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

std::string tag;  // put before every line written, so that a script's results can be told apart

void Say(const std::string& line) {
  std::fprintf(out, "%s%s\n", tag.c_str(), line.c_str());
  std::fflush(out);
}

[[noreturn]] void Timeout(const std::string& command) {
  Say("timeout " + command);
  std::exit(3);
}

std::wstring ClassOf(HWND w) {
  wchar_t name[128] = {};
  GetClassNameW(w, name, 127);
  return name;
}

std::wstring TextOf(HWND w) {
  if (!w) return std::wstring();
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 20000, &length)) return std::wstring();
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 20000, &got);
  text.resize(got);
  return text;
}

std::string Quoted(const std::wstring& w) {
  std::string s = Utf8(w);
  std::string q = "\"";
  for (char c : s) {
    if (c == '\r') continue;
    // Line breaks and quotes spelled out, so that a value stays on one line between its quotes.
    q += c == '\n' ? std::string("\\n") : c == '"' ? std::string("\\x22") : std::string(1, c);
  }
  return q + "\"";
}

RECT RectInForm(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> list;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) list.push_back(c);
  return list;
}

std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* cls) {
  std::vector<HWND> list;
  for (HWND c : Children(parent))
    if (ClassOf(c) == cls) list.push_back(c);
  // Top to bottom, then left to right.
  std::sort(list.begin(), list.end(), [](HWND a, HWND b) {
    const RECT ra = RectInForm(a), rb = RectInForm(b);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
  });
  return list;
}

// Names the form's controls from its structure; called afresh for every command, as windows come and go.
std::map<std::string, HWND> NameControls() {
  std::map<std::string, HWND> names;
  if (!form) return names;
  names["Form"] = form;
  for (HWND panel : ChildrenOfClass(form, L"TPanel")) {
    const auto labels = ChildrenOfClass(panel, L"TLabel");
    const auto buttons = ChildrenOfClass(panel, L"TButton");
    const auto boxes = ChildrenOfClass(panel, L"TCheckBox");
    const RECT r = RectInForm(panel);
    if (!ChildrenOfClass(panel, L"TComboBox").empty()) {
      names["WPanel"] = panel;
      names["LngBox"] = ChildrenOfClass(panel, L"TComboBox")[0];
      if (labels.size() >= 2) names["WelLbl"] = labels[0], names["LngLbl"] = labels[1];
    } else if (!ChildrenOfClass(panel, L"TMemo").empty()) {
      names["LPanel"] = panel;
      names["LicMemo"] = ChildrenOfClass(panel, L"TMemo")[0];
      if (!boxes.empty()) names["LicChkBx"] = boxes[0];
    } else if (!ChildrenOfClass(panel, L"TEdit").empty()) {
      names["DPanel"] = panel;
      names["DestEdt"] = ChildrenOfClass(panel, L"TEdit")[0];
      if (buttons.size() >= 2) names["BwsBtn"] = buttons[0], names["PortInfBtn"] = buttons[1];
      if (!boxes.empty()) names["PortChkBx"] = boxes[0];
    } else if (!buttons.empty() && boxes.empty() && labels.empty()) {
      // Back has no window until it is first shown: the buttons are told apart by where they sit.
      names["BtmPanel"] = panel;
      for (HWND b : buttons) {
        const double at = double(RectInForm(b).left - r.left) / double(r.right - r.left);
        names[at < 0.52 ? "BackBtn" : at < 0.7 ? "NextBtn" : "CancelBtn"] = b;
      }
    } else if (boxes.size() == 2) {
      names["SPanel"] = panel;
      if (!labels.empty()) names["StartLbl"] = labels[0];
      names["Inst2AllChkBx"] = boxes[0], names["DskChkBx"] = boxes[1];
    } else if (boxes.size() == 1 && !labels.empty()) {
      names["FPanel"] = panel;
      names["FinLbl"] = labels[0], names["FinChkBx"] = boxes[0];
    } else if (labels.size() == 1 && r.top == 0) {
      names["TopPanel"] = panel;
      names["TopLbl"] = labels[0];
    } else if (labels.empty() && buttons.empty() && r.left == 0 && r.bottom - r.top > 100) {
      names["LftPanel"] = panel;  // the logo column: the logo and its line have no windows of their own
    } else if (labels.empty() && buttons.empty() && r.left > 50 && r.bottom - r.top > 100) {
      names["IPanel"] = panel;
    }
  }
  return names;
}

HWND Find(const std::string& name) {
  const auto names = NameControls();
  const auto it = names.find(name);
  return it == names.end() ? nullptr : it->second;
}

HWND Need(const std::string& name, const std::string& command) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kTimeoutMs) {
    if (HWND w = Find(name)) return w;
    Sleep(100);
  }
  Timeout(command);
}

int CurrentPage() {
  const char* panels[] = {"WPanel", "LPanel", "DPanel", "SPanel", "IPanel", "FPanel"};
  const auto names = NameControls();
  for (int page = 0; page < 6; ++page) {
    const auto it = names.find(panels[page]);
    if (it != names.end() && IsWindowVisible(it->second)) return page;
  }
  return -1;
}

struct TFinder {
  DWORD pid;
  const wchar_t* cls;
  HWND found;
};

BOOL CALLBACK FindTopLevel(HWND w, LPARAM param) {
  auto* f = reinterpret_cast<TFinder*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == f->pid && IsWindowVisible(w) && ClassOf(w) == f->cls) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindAnyForm(HWND w, LPARAM param) {
  auto* f = reinterpret_cast<TFinder*>(param);
  if (IsWindowVisible(w) && ClassOf(w) == f->cls) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindProcessWindow(const wchar_t* cls) {
  TFinder f{process.dwProcessId, cls, nullptr};
  EnumWindows(&FindTopLevel, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

struct TPaintCheck {
  std::wstring text;
  bool textShown;
  bool pending;  // some visible window still has a region to paint
};

BOOL CALLBACK CheckPainted(HWND w, LPARAM param) {
  auto* c = reinterpret_cast<TPaintCheck*>(param);
  if (!IsWindowVisible(w)) return TRUE;
  if (GetUpdateRect(w, nullptr, FALSE)) c->pending = true;
  // Read without a message, which would let the program run ahead of its paint.
  wchar_t text[512] = {};
  InternalGetWindowText(w, text, 511);
  if (std::wstring(text).find(c->text) != std::wstring::npos) c->textShown = true;
  return TRUE;
}

HWND WaitBox(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    if (HWND box = FindProcessWindow(L"#32770")) return box;
    Sleep(100);
  } while (GetTickCount() - start < ms);
  return nullptr;
}

std::wstring BoxText(HWND box) {
  // The text is the static control with the longest text (the icon is a static without text).
  std::wstring best;
  for (HWND c : Children(box)) {
    if (_wcsicmp(ClassOf(c).c_str(), L"Static") != 0) continue;
    std::wstring t = TextOf(c);
    if (t.size() > best.size()) best = t;
  }
  return best;
}

void Shot(const std::string& name) {
  if (shotDir.empty() || !form) return;
  RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  RECT r{};
  GetWindowRect(form, &r);
  const std::wstring request = shotDir + L"\\" + Wide(name) + L".req";
  const std::wstring done = shotDir + L"\\" + Wide(name) + L".done";
  {
    std::ofstream f(request.c_str());
    f << r.left << " " << r.top << " " << (r.right - r.left) << " " << (r.bottom - r.top) << "\n";
  }
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > 60000) {
      Say("shot " + name + " not taken");
      return;
    }
    Sleep(100);
  }
  DeleteFileW(done.c_str());
  Say("shot " + name);
}

// The control's area as it is on screen, 0xRRGGBB per pixel, top row first.
std::vector<uint32_t> ScreenPixels(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return {};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const auto* px = static_cast<const uint32_t*>(bits);
  std::vector<uint32_t> pixels(px, px + width * height);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

int CountInk(HWND w, uint32_t rgb) {
  const auto pixels = ScreenPixels(w);
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), rgb & 0xFFFFFF));
}

int CountColours(HWND w) {
  auto pixels = ScreenPixels(w);
  std::sort(pixels.begin(), pixels.end());
  return static_cast<int>(std::unique(pixels.begin(), pixels.end()) - pixels.begin());
}

struct TQvwFinder {
  HWND found;
};

BOOL CALLBACK FindQvw(HWND w, LPARAM param) {
  if (GetPropW(w, L"1.x Velso Marn") != nullptr && IsWindowVisible(w)) {
    reinterpret_cast<TQvwFinder*>(param)->found = w;
    return FALSE;
  }
  return TRUE;
}

std::string Flag(bool on, char letter) { return std::string(1, on ? letter : static_cast<char>(letter + 32)); }

void Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  std::string rest;
  std::getline(in, rest);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  std::istringstream args(rest);

  if (command == "run") {
    std::wstring cmdline = Wide(rest);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    runStart = GetTickCount();
    if (!CreateProcessW(nullptr, &cmdline[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &process)) {
      Say("run failed " + std::to_string(GetLastError()));
      std::exit(3);
    }
    Say("started");
  } else if (command == "firstwindow") {
    // For the benchmark: milliseconds from the process start to a visible wizard with its buttons.
    while (!(form = FindProcessWindow(L"TMainForm")) || !Find("NextBtn")) {
      if (GetTickCount() - runStart > kTimeoutMs) Timeout(line);
      Sleep(5);
    }
    Say("firstwindow ms=" + std::to_string(GetTickCount() - runStart));
  } else if (command == "firstpaint") {
    std::string cls, text;
    args >> cls;
    std::getline(args, text);
    if (!text.empty() && text[0] == ' ') text.erase(0, 1);
    TPaintCheck check{Wide(text), false, false};
    for (;;) {
      if (HWND w = FindProcessWindow(Wide(cls).c_str())) {
        check = TPaintCheck{Wide(text), false, GetUpdateRect(w, nullptr, FALSE) != FALSE};
        EnumChildWindows(w, &CheckPainted, reinterpret_cast<LPARAM>(&check));
        if (check.textShown && !check.pending) break;
      }
      if (GetTickCount() - runStart > kTimeoutMs) Timeout(line);
      Sleep(2);
    }
    Say("firstpaint ms=" + std::to_string(GetTickCount() - runStart));
  } else if (command == "wait-form") {
    const DWORD start = GetTickCount();
    while (!(form = FindProcessWindow(L"TMainForm"))) {
      if (GetTickCount() - start > kTimeoutMs || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
        Timeout(line);
      Sleep(200);
    }
    // The first page is complete on screen.
    Need("NextBtn", line);
    Sleep(500);
    Say("form");
  } else if (command == "attach") {
    const DWORD start = GetTickCount();
    for (;;) {
      TFinder f{0, L"TMainForm", nullptr};
      EnumWindows(&FindAnyForm, reinterpret_cast<LPARAM>(&f));
      if (f.found) {
        form = f.found;
        DWORD pid = 0;
        GetWindowThreadProcessId(form, &pid);
        process.dwProcessId = pid;
        process.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
        break;
      }
      if (GetTickCount() - start > kTimeoutMs) Timeout(line);
      Sleep(200);
    }
    Need("NextBtn", line);
    Sleep(500);
    Say("form");
  } else if (command == "next-until") {
    const int want = std::atoi(rest.c_str());
    while (CurrentPage() < want) {
      const int before = CurrentPage();
      PostMessageW(Need("NextBtn", line), BM_CLICK, 0, 0);
      const DWORD start = GetTickCount();
      // Between hiding one page and showing the next no page is visible (-1): a second click then would
      // land on the next page.
      for (int now = before; now == before || now < 0; now = CurrentPage()) {
        if (GetTickCount() - start > kTimeoutMs || FindProcessWindow(L"#32770")) Timeout(line);
        Sleep(100);
      }
    }
    Sleep(300);
    Say("page " + std::to_string(CurrentPage()));
  } else if (command == "state") {
    const auto n = NameControls();
    auto at = [&](const char* name) { return n.count(name) ? n.at(name) : nullptr; };
    HWND back = at("BackBtn"), next = at("NextBtn"), cancel = at("CancelBtn");
    Say("state page=" + std::to_string(CurrentPage()) + " title=" + Quoted(TextOf(at("TopLbl"))) +
        " caption=" + Quoted(TextOf(form)) + " back=" + Flag(back && IsWindowVisible(back), 'V') +
        Flag(back && IsWindowEnabled(back), 'E') + " next=" + Flag(next && IsWindowEnabled(next), 'E') +
        " nextcap=" + Quoted(TextOf(next)) + " cancel=" + Flag(cancel && IsWindowEnabled(cancel), 'E'));
  } else if (command == "get") {
    Say(rest + "=" + Quoted(TextOf(Need(rest, line))));
  } else if (command == "info") {
    HWND w = Need(rest, line);
    const RECT r = RectInForm(w);
    const bool checked = SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
    Say(rest + " visible=" + std::to_string(IsWindowVisible(w) ? 1 : 0) +
        " enabled=" + std::to_string(IsWindowEnabled(w) ? 1 : 0) + " checked=" + std::to_string(checked ? 1 : 0) +
        " left=" + std::to_string(r.left) + " top=" + std::to_string(r.top) +
        " width=" + std::to_string(r.right - r.left) + " height=" + std::to_string(r.bottom - r.top));
  } else if (command == "click") {
    PostMessageW(Need(rest, line), BM_CLICK, 0, 0);
    Sleep(300);
    Say("clicked " + rest);
  } else if (command == "check") {
    std::string name;
    int want = 0;
    args >> name >> want;
    HWND w = Need(name, line);
    const bool checked = SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (checked != (want != 0)) SendMessageW(w, BM_CLICK, 0, 0);
    Say("checked " + name + " " + std::to_string(SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0));
  } else if (command == "settext") {
    const size_t space = rest.find(' ');
    const std::string name = rest.substr(0, space);
    const std::wstring text = space == std::string::npos ? std::wstring() : Wide(rest.substr(space + 1));
    SendMessageW(Need(name, line), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    Say("set " + name);
  } else if (command == "select") {
    std::string name;
    int index = 0;
    args >> name >> index;
    HWND combo = Need(name, line);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    Say("selected " + name + " " + std::to_string(SendMessageW(combo, CB_GETCURSEL, 0, 0)));
  } else if (command == "box") {
    HWND box = WaitBox(kTimeoutMs);
    if (!box) Timeout(line);
    Sleep(300);
    Say("box caption=" + Quoted(TextOf(box)) + " text=" + Quoted(BoxText(box)));
  } else if (command == "answer") {
    const int id = std::atoi(rest.c_str());
    HWND box = WaitBox(kTimeoutMs);
    if (!box) Timeout(line);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    const DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
      if (GetTickCount() - start > kTimeoutMs) Timeout(line);
      Sleep(100);
    }
    Sleep(500);
    Say("answered " + rest);
  } else if (command == "nobox") {
    if (HWND box = WaitBox(static_cast<DWORD>(std::atoi(rest.c_str()))))
      Say("box caption=" + Quoted(TextOf(box)) + " text=" + Quoted(BoxText(box)));
    else
      Say("nobox");
  } else if (command == "close") {
    PostMessageW(form, WM_SYSCOMMAND, SC_CLOSE, 0);
    Sleep(300);
    Say("closed");
  } else if (command == "shotdir") {
    shotDir = Wide(rest);
  } else if (command == "shot") {
    Shot(rest);
  } else if (command == "ink") {
    std::string name, hex;
    args >> name >> hex;
    const int count = CountInk(Need(name, line), static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16)));
    Say("ink " + name + "=" + std::to_string(count));
  } else if (command == "colours") {
    Say("colours " + rest + "=" + std::to_string(CountColours(Need(rest, line))));
  } else if (command == "wait-page") {
    const int want = std::atoi(rest.c_str());
    const DWORD start = GetTickCount();
    while (CurrentPage() != want) {
      if (GetTickCount() - start > kTimeoutMs) Timeout(line);
      Sleep(100);
    }
    Sleep(300);
    Say("page " + rest);
  } else if (command == "kill") {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, kTimeoutMs);
    Say("killed");
  } else if (command == "wait-exit") {
    if (WaitForSingleObject(process.hProcess, kTimeoutMs) != WAIT_OBJECT_0) Timeout(line);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Say("exit=" + std::to_string(code));
  } else if (command == "watch") {
    std::vector<HWND> seen;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
      if (GetTickCount() - start > kTimeoutMs) Timeout(line);
      for (const wchar_t* cls : {L"TMainForm", L"#32770", L"TApplication"}) {
        HWND w = FindProcessWindow(cls);
        if (w && std::find(seen.begin(), seen.end(), w) == seen.end()) {
          seen.push_back(w);
          Say("window class=" + Quoted(cls) + " title=" + Quoted(TextOf(w)));
        }
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Say("exit=" + std::to_string(code));
  } else if (command == "qvw") {
    TQvwFinder f{nullptr};
    const DWORD start = GetTickCount();
    while (EnumWindows(&FindQvw, reinterpret_cast<LPARAM>(&f)), !f.found) {
      if (GetTickCount() - start > kTimeoutMs) Timeout(line);
      Sleep(200);
    }
    Sleep(500);
    Say("qvw title=" + Quoted(TextOf(f.found)));
  } else if (command == "tag") {
    tag = rest.empty() ? std::string() : rest + " ";
  } else if (command == "choose") {
    // An item by its text, as the user picks it from the list.
    const size_t space = rest.find(' ');
    const std::string name = rest.substr(0, space);
    const std::wstring want = Wide(rest.substr(space + 1));
    HWND combo = Need(name, line);
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    int index = -1;
    for (int i = 0; i < count && index < 0; ++i) {
      std::wstring text(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
      text.resize(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]))));
      if (text == want) index = i;
    }
    if (index < 0) {
      Say("no item " + rest);
      std::exit(3);
    }
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    Say("chose " + std::to_string(index));
  } else if (command == "sleep") {
    Sleep(static_cast<DWORD>(std::atoi(rest.c_str())));
  } else {
    Say("unknown " + command);
    std::exit(3);
  }
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  out = _wfopen(argv[2], L"w");
  if (!out) return 2;
  std::ifstream script(argv[1]);
  std::string line;
  while (std::getline(script, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos || line[first] == '#') continue;
    Run(line.substr(first));
  }
  std::fclose(out);
  return 0;
}
