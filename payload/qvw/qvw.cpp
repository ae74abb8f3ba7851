// Quorvale Word Processor: the small rich-text editor that the setup program installs.
// One top-level window around a rich-edit control; calls only the Win32 API.
//
// Command line:  qvw.exe [-uilp CODE | -uilpCODE] [document]
//                qvw.exe -ui [/S]   uninstalls this copy (the uninstall entry's command; /S: silently)
// While a window is open it carries the property "1.x Velso Marn", which the
// installer looks for to find a running copy.

#include <windows.h>

#include <cstdlib>
#include <commdlg.h>
#include <richedit.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "Uninstall.h"

namespace {

const wchar_t kRunningProp[] = L"1.x Velso Marn";
const wchar_t kWindowClass[] = L"QuorvaleWordProcessor";
const wchar_t kProduct[] = L"Quorvale Word Processor";

enum : UINT { IDM_OPEN = 100, IDM_SAVE, IDM_EXIT, IDM_ABOUT };
const int kEditorId = 1;

// Texts are UTF-8 here and widened on use, so the source stays readable.
struct UiTexts {
    const char* code;
    const char* name;  // as shown in the installer's language list
    const char* untitled;
    const char* file;
    const char* open;
    const char* save;
    const char* exit;
    const char* help;
    const char* about;
    const char* aboutTitle;
    const char* version;
    const char* cannotOpen;
    const char* cannotSave;
    const char* filter;  // pairs separated by '|'
};

const UiTexts kLanguages[] = {
    {"de", "Deutsch", "Unbenannt", "&Datei", "Ö&ffnen...\tStrg+O", "&Speichern\tStrg+S", "&Beenden", "&Hilfe",
     "&Info über Quorvale Word Processor...", "Info über Quorvale Word Processor", "Version 4.4.5.5",
     "Die Datei kann nicht geöffnet werden:", "Die Datei kann nicht gespeichert werden:",
     "RTF-Dokumente (*.rtf)|*.rtf|Textdateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*"},
    {"en", "English", "Untitled", "&File", "&Open...\tCtrl+O", "&Save\tCtrl+S", "E&xit", "&Help",
     "&About Quorvale Word Processor...", "About Quorvale Word Processor", "Version 4.4.5.5",
     "The file cannot be opened:", "The file cannot be saved:",
     "Rich Text Format (*.rtf)|*.rtf|Text files (*.txt)|*.txt|All files (*.*)|*.*"},
    {"es", "Español", "Sin título", "&Archivo", "&Abrir...\tCtrl+O", "&Guardar\tCtrl+S", "&Salir", "Ay&uda",
     "&Acerca de Quorvale Word Processor...", "Acerca de Quorvale Word Processor", "Versión 4.4.5.5",
     "No se puede abrir el archivo:", "No se puede guardar el archivo:",
     "Documentos RTF (*.rtf)|*.rtf|Archivos de texto (*.txt)|*.txt|Todos los archivos (*.*)|*.*"},
    {"fr", "Français", "Sans titre", "&Fichier", "&Ouvrir...\tCtrl+O", "&Enregistrer\tCtrl+S", "&Quitter", "&Aide",
     "À &propos de Quorvale Word Processor...", "À propos de Quorvale Word Processor", "Version 4.4.5.5",
     "Impossible d'ouvrir le fichier :", "Impossible d'enregistrer le fichier :",
     "Documents RTF (*.rtf)|*.rtf|Fichiers texte (*.txt)|*.txt|Tous les fichiers (*.*)|*.*"},
    {"pl", "Polski", "Bez tytułu", "&Plik", "&Otwórz...\tCtrl+O", "&Zapisz\tCtrl+S", "Za&kończ", "Pomo&c",
     "&O programie Quorvale Word Processor...", "O programie Quorvale Word Processor", "Wersja 4.4.5.5",
     "Nie można otworzyć pliku:", "Nie można zapisać pliku:",
     "Dokumenty RTF (*.rtf)|*.rtf|Pliki tekstowe (*.txt)|*.txt|Wszystkie pliki (*.*)|*.*"},
    {"zh", "简体中文 (Simplified Chinese)", "无标题", "文件(&F)", "打开(&O)...\tCtrl+O", "保存(&S)\tCtrl+S", "退出(&X)",
     "帮助(&H)", "关于 Quorvale Word Processor(&A)...", "关于 Quorvale Word Processor", "版本 4.4.5.5",
     "无法打开文件：", "无法保存文件：", "RTF 文档 (*.rtf)|*.rtf|文本文件 (*.txt)|*.txt|所有文件 (*.*)|*.*"},
    {"zht", "繁體中文 (Traditional Chinese)", "未命名", "檔案(&F)", "開啟(&O)...\tCtrl+O", "儲存(&S)\tCtrl+S",
     "結束(&X)", "說明(&H)", "關於 Quorvale Word Processor(&A)...", "關於 Quorvale Word Processor", "版本 4.4.5.5",
     "無法開啟檔案：", "無法儲存檔案：", "RTF 文件 (*.rtf)|*.rtf|文字檔 (*.txt)|*.txt|所有檔案 (*.*)|*.*"},
};
const size_t kEnglish = 1;

std::wstring Widen(const char* utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring s(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &s[0], n);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

// Closes a file handle on every way out of a function.
class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

struct AppState {
    const UiTexts* texts = &kLanguages[kEnglish];
    HWND frame = nullptr;
    HWND editor = nullptr;
    std::wstring path;  // document on disk; empty for a new one
};
AppState g_app;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

bool StartsWithNoCase(const std::wstring& s, const wchar_t* prefix) {
    size_t n = lstrlenW(prefix);
    return s.size() >= n && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, s.c_str(), static_cast<int>(n), prefix,
                                           static_cast<int>(n)) == CSTR_EQUAL;
}

const UiTexts* FindLanguage(const std::wstring& code) {
    for (const UiTexts& t : kLanguages)
        if (EqualsNoCase(code, Widen(t.code).c_str())) return &t;
    return &kLanguages[kEnglish];
}

// "-uilp" takes the language code attached or as the next argument; other switches are ignored.
void ParseCommandLine(std::wstring& document) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (StartsWithNoCase(arg, L"-uilp")) {
            std::wstring code = arg.substr(5);
            if (code.empty() && i + 1 < argc) code = argv[++i];
            g_app.texts = FindLanguage(code);
        } else if (!arg.empty() && (arg[0] == L'-' || arg[0] == L'/')) {
            continue;
        } else if (document.empty()) {
            document = arg;
        }
    }
    LocalFree(argv);
}

std::wstring FileTitle(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void UpdateTitle() {
    std::wstring doc = g_app.path.empty() ? Widen(g_app.texts->untitled) : FileTitle(g_app.path);
    SetWindowTextW(g_app.frame, (doc + L" - " + kProduct).c_str());
}

HMENU BuildMenu() {
    const UiTexts& t = *g_app.texts;
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, IDM_OPEN, Widen(t.open).c_str());
    AppendMenuW(file, MF_STRING, IDM_SAVE, Widen(t.save).c_str());
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, IDM_EXIT, Widen(t.exit).c_str());
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, IDM_ABOUT, Widen(t.about).c_str());
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Widen(t.file).c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), Widen(t.help).c_str());
    return bar;
}

DWORD CALLBACK ReadCallback(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
    DWORD got = 0;
    BOOL ok = ReadFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &got, nullptr);
    *done = static_cast<LONG>(got);
    return ok ? 0 : 1;
}

DWORD CALLBACK WriteCallback(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* done) {
    DWORD put = 0;
    BOOL ok = WriteFile(reinterpret_cast<HANDLE>(cookie), buffer, static_cast<DWORD>(size), &put, nullptr);
    *done = static_cast<LONG>(put);
    return ok ? 0 : 1;
}

bool IsRtfName(const std::wstring& path) {
    size_t dot = path.find_last_of(L'.');
    return dot != std::wstring::npos && EqualsNoCase(path.substr(dot), L".rtf");
}

void ShowFileError(const char* message, const std::wstring& path) {
    std::wstring text = Widen(message) + L"\n" + path;
    MessageBoxW(g_app.frame, text.c_str(), kProduct, MB_OK | MB_ICONERROR);
}

// Plain text (the clip library's .txt files) is UTF-8. It is converted here
// rather than by the control's code-page option, which not every rich-edit
// version honours for UTF-8.
bool ReadPlainText(HANDLE file) {
    std::string bytes;
    char buffer[16384];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::wstring text = Widen(bytes.c_str() + skip);
    SETTEXTEX how = {ST_DEFAULT, 1200};  // 1200: UTF-16
    return SendMessageW(g_app.editor, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&how),
                        reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

bool WritePlainText(HANDLE file) {
    GETTEXTLENGTHEX lengthHow = {GTL_USECRLF | GTL_PRECISE | GTL_NUMCHARS, 1200};
    LRESULT length = SendMessageW(g_app.editor, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&lengthHow), 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX how = {static_cast<DWORD>(text.size() * sizeof(wchar_t)), GT_USECRLF, 1200, nullptr, nullptr};
    LRESULT copied = SendMessageW(g_app.editor, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&how),
                                  reinterpret_cast<LPARAM>(&text[0]));
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(copied), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(copied), &bytes[0], n, nullptr, nullptr);
    DWORD put = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
}

bool LoadDocument(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    bool ok = file.valid();
    if (ok) {
        // Decide by content, not by name: a clip may be RTF or plain text.
        char head[5] = {};
        DWORD got = 0;
        ReadFile(file.get(), head, sizeof head, &got, nullptr);
        SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
        if (got == sizeof head && memcmp(head, "{\\rtf", sizeof head) == 0) {
            EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(file.get()), 0, ReadCallback};
            SendMessageW(g_app.editor, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
            ok = stream.dwError == 0;
        } else {
            ok = ReadPlainText(file.get());
        }
    }
    if (!ok) {
        ShowFileError(g_app.texts->cannotOpen, path);
        return false;
    }
    SendMessageW(g_app.editor, EM_SETMODIFY, FALSE, 0);
    g_app.path = path;
    UpdateTitle();
    return true;
}

bool SaveDocument(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    bool ok = file.valid();
    if (ok && IsRtfName(path)) {
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(file.get()), 0, WriteCallback};
        SendMessageW(g_app.editor, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        ok = stream.dwError == 0;
    } else if (ok) {
        ok = WritePlainText(file.get());
    }
    if (!ok) {
        ShowFileError(g_app.texts->cannotSave, path);
        return false;
    }
    SendMessageW(g_app.editor, EM_SETMODIFY, FALSE, 0);
    g_app.path = path;
    UpdateTitle();
    return true;
}

// Runs the common file dialog; returns the chosen path or an empty string.
std::wstring AskFileName(bool forSaving) {
    std::wstring filter = Widen(g_app.texts->filter);
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    wchar_t name[MAX_PATH] = {};
    if (forSaving) lstrcpynW(name, g_app.path.c_str(), MAX_PATH);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = g_app.frame;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = name;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"rtf";
    ofn.Flags = OFN_HIDEREADONLY | (forSaving ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    BOOL ok = forSaving ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return ok ? std::wstring(name) : std::wstring();
}

void ShowAbout() {
    const UiTexts& t = *g_app.texts;
    std::wstring text = std::wstring(kProduct) + L"\n" + Widen(t.version) + L"\n\n" + Widen(t.name) +
                        L"\n\n" + Widen("© 2004-2025 Quorvale Software");
    MessageBoxW(g_app.frame, text.c_str(), Widen(t.aboutTitle).c_str(), MB_OK | MB_ICONINFORMATION);
}

const wchar_t* g_editorClass = nullptr;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE: {
        g_app.frame = hwnd;
        // Marks this copy as running; the installer refuses to overwrite it meanwhile.
        SetPropW(hwnd, kRunningProp, reinterpret_cast<HANDLE>(1));
        g_app.editor = CreateWindowExW(WS_EX_CLIENTEDGE, g_editorClass, L"",
                                       WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                           ES_WANTRETURN | ES_NOHIDESEL,
                                       0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(kEditorId),
                                       GetModuleHandleW(nullptr), nullptr);
        if (!g_app.editor) return -1;
        SendMessageW(g_app.editor, EM_EXLIMITTEXT, 0, 64 * 1024 * 1024);
        return 0;
    }
    case WM_SIZE: {
        const int width = LOWORD(lParam);
        const int height = HIWORD(lParam);
        MoveWindow(g_app.editor, 0, 0, width, height, TRUE);
        return 0;
    }
    case WM_SETFOCUS:
        SetFocus(g_app.editor);
        return 0;
    case WM_COMMAND: {
        const UINT id = LOWORD(wParam);
        if (id == IDM_OPEN) {
            std::wstring path = AskFileName(false);
            if (!path.empty()) LoadDocument(path);
        } else if (id == IDM_SAVE) {
            std::wstring path = g_app.path.empty() ? AskFileName(true) : g_app.path;
            if (!path.empty()) SaveDocument(path);
        } else if (id == IDM_EXIT) {
            DestroyWindow(hwnd);
        } else if (id == IDM_ABOUT) {
            ShowAbout();
        }
        return 0;
    }
    case WM_DESTROY:
        RemovePropW(hwnd, kRunningProp);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Prefers the newer rich-edit library; both ship with every Windows the installer supports.
bool LoadRichEdit() {
    if (LoadLibraryW(L"Msftedit.dll")) {
        g_editorClass = L"RICHEDIT50W";
        return true;
    }
    if (LoadLibraryW(L"riched20.dll")) {
        g_editorClass = L"RichEdit20W";
        return true;
    }
    return false;
}

}  // namespace

// An uncaught exception ends the program without the runtime's verbose report: that report would link the
// whole C++ name demangler into the shipped program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The uninstaller's switches: -1 when the command line asks for none.
int RunUninstallIfAsked() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return -1;
    int result = -1;
    if (argc >= 4 && lstrcmpiW(argv[1], L"-ui-finish") == 0) {
        result = FinishUninstall(static_cast<DWORD>(_wtoi(argv[2])), argv[3]);
    } else if (argc >= 2 && lstrcmpiW(argv[1], L"-ui") == 0) {
        bool silent = false;
        for (int i = 2; i < argc; ++i)
            silent = silent || StartsWithNoCase(argv[i], L"/S") || StartsWithNoCase(argv[i], L"-S");
        result = RunUninstall(silent);
    }
    LocalFree(argv);
    return result;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const int uninstalled = RunUninstallIfAsked();
    if (uninstalled >= 0) return uninstalled;
    std::wstring document;
    ParseCommandLine(document);
    if (!LoadRichEdit()) {
        MessageBoxW(nullptr, L"Msftedit.dll / riched20.dll", kProduct, MB_OK | MB_ICONERROR);
        return 1;
    }

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&wc)) return 1;

    HWND frame = CreateWindowExW(0, kWindowClass, kProduct, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800,
                                 600, nullptr, BuildMenu(), instance, nullptr);
    if (!frame) return 1;
    UpdateTitle();
    // Load before showing, so the window never appears half set up.
    if (!document.empty()) LoadDocument(document);
    ShowWindow(frame, showCommand);
    UpdateWindow(frame);

    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'O', IDM_OPEN}, {FCONTROL | FVIRTKEY, 'S', IDM_SAVE}};
    HACCEL accel = CreateAcceleratorTableW(keys, 2);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorW(frame, accel, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyAcceleratorTable(accel);
    return static_cast<int>(msg.wParam);
}
