// Language table, start-up language choice and message box of the setup wizard.
// The texts are compared byte for byte with the reference copy in tests/data/langtable.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "setup/BuildConfig.h"
#include "setup/Languages.h"

#ifdef _WIN32
#include <windows.h>
#endif


namespace {

// Read before any test runs: UILang is constant-initialised, so this sees the start value.
const uint8_t initialUILang = UILang;

using TableKey = std::pair<std::string, int>;  // row name, language (or record) index

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    out += c == 'r' ? '\r' : c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::string TablePath() {
#if defined(LANGTABLE_PATH)
  return LANGTABLE_PATH;
#elif defined(TEST_DATA_DIR)
  return TEST_DATA_DIR "/langtable.txt";
#elif defined(SOURCE_DIR)
  return SOURCE_DIR "/tests/data/langtable.txt";
#else
  // Beside this source: <tests>/unit/languages_test.cpp -> <tests>/data/langtable.txt.
  std::string path = __FILE__;
  for (int up = 0; up < 2; ++up) {
    const size_t slash = path.find_last_of("/\\");
    path.erase(slash == std::string::npos ? 0 : slash);
  }
  return (path.empty() ? "." : path) + "/data/langtable.txt";
#endif
}

FILE* OpenTable() {
  const std::string path = TablePath();
  FILE* f = std::fopen(path.c_str(), "rb");
  // Under Wine a Unix absolute path resolves against the current drive; the Unix root is Z:.
  if (!f && !path.empty() && path[0] == '/') f = std::fopen(("Z:" + path).c_str(), "rb");
  return f;
}

std::map<TableKey, std::string> LoadTable() {
  std::map<TableKey, std::string> table;
  FILE* f = OpenTable();
  if (!f) {
    ADD_FAILURE() << "cannot open " << TablePath();
    return table;
  }
  std::string data;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
  std::fclose(f);
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    const std::string line = data.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) {
      ADD_FAILURE() << "malformed line: " << line;
      continue;
    }
    const TableKey key{line.substr(0, tab1), std::stoi(line.substr(tab1 + 1, tab2 - tab1 - 1))};
    EXPECT_TRUE(table.emplace(key, Unescape(line.substr(tab2 + 1))).second)
        << "duplicate " << key.first << " " << key.second;
  }
  return table;
}

const std::map<TableKey, std::string>& Table() {
  static const std::map<TableKey, std::string> table = LoadTable();
  return table;
}

struct NamedRow {
  std::string name;
  const char* const* texts;
};

std::vector<NamedRow> AllRows() {
  std::vector<NamedRow> rows = {
      {"UITitle", UITitle},
      {"UIAppName", UIAppName},
      {"UIProductName", UIProductName},
      {"UIDescription", UIDescription},
      {"UIWelcome", UIWelcome},
      {"UILanguage", UILanguage},
      {"UIAcceptLicense", UIAcceptLicense},
      {"UIPortable", UIPortable},
      {"UIReady", UIReady},
      {"UIInstallForAll", UIInstallForAll},
      {"UIDesktopShortcut", UIDesktopShortcut},
      {"UIFinished", UIFinished},
      {"UILaunch", UILaunch},
      {"UIMustAccept", UIMustAccept},
      {"UIPortableRefused", UIPortableRefused},
      {"UICloseRunning", UICloseRunning},
      {"UIQuitSetup", UIQuitSetup},
      {"UICannotCreate", UICannotCreate},
      {"UIBack", UIBack},
      {"UINext", UINext},
      {"UIFinish", UIFinish},
      {"UICancel", UICancel},
      {"UIBrowse", UIBrowse},
  };
  for (int page = 0; page < PageCount; ++page)
    rows.push_back({"UIPageTitle[" + std::to_string(page) + "]", UIPageTitle[page]});
  return rows;
}

// Shows where two byte strings part, since the texts are long and mostly non-ASCII.
std::string FirstDifference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return "first difference at byte " + std::to_string(i) + " (lengths " + std::to_string(a.size()) +
         " and " + std::to_string(b.size()) + ")";
}

}  // namespace

TEST(LanguageTable, EveryTextMatchesTheReferenceByteForByte) {
  const auto& table = Table();
  ASSERT_FALSE(table.empty());
  std::set<std::string> checked;
  for (const NamedRow& row : AllRows()) {
    checked.insert(row.name);
    for (int lang = 0; lang < UILangCount; ++lang) {
      const auto it = table.find({row.name, lang});
      if (it == table.end()) {
        ADD_FAILURE() << row.name << "[" << UILangs[lang].Code << "] missing from the reference";
        continue;
      }
      ASSERT_NE(row.texts[lang], nullptr) << row.name;
      const std::string actual = row.texts[lang];
      EXPECT_EQ(actual, it->second) << row.name << " [" << UILangs[lang].Code << "]: "
                                    << FirstDifference(actual, it->second);
    }
  }
  // Every row of the reference must be covered by the program's table, and nothing beyond 7 languages.
  for (const auto& entry : table) {
    const std::string& name = entry.first.first;
    if (name == "LangID" || name == "Code" || name == "Name") continue;
    EXPECT_TRUE(checked.count(name)) << "reference row " << name << " has no counterpart";
    EXPECT_LT(entry.first.second, UILangCount) << name;
  }
}

TEST(LanguageTable, LanguageRecordsMatchTheReference) {
  const auto& table = Table();
  for (int i = 0; i < UILangCount; ++i) {
    const auto id = table.find({"LangID", i});
    const auto code = table.find({"Code", i});
    const auto name = table.find({"Name", i});
    ASSERT_TRUE(id != table.end() && code != table.end() && name != table.end()) << "record " << i;
    EXPECT_EQ(UILangs[i].LangID, std::stoi(id->second, nullptr, 16)) << "record " << i;
    EXPECT_EQ(std::string(UILangs[i].Code), code->second) << "record " << i;
    EXPECT_EQ(std::string(UILangs[i].Name), name->second)
        << "record " << i << ": " << FirstDifference(UILangs[i].Name, name->second);
  }
}

TEST(LanguageTable, OrderAndStartValue) {
  for (int i = 0; i < UILangCount; ++i) EXPECT_EQ(LangOrder[i], i);
  EXPECT_EQ(initialUILang, 1);
  EXPECT_STREQ(UILangs[initialUILang].Code, "en");
}

TEST(LanguageTable, MarkersAreRealCharacters) {
  // The row texts carry real CR and double quotes, never the two-character escapes.
  EXPECT_NE(std::string(UIReady[1]).find("Processor.\r\rClick Next"), std::string::npos);
  EXPECT_STREQ(UILaunch[4], "Uruchomienie programu \"Quorvale Word Processor\"");
  EXPECT_EQ(std::strchr(UICloseRunning[3], '\r') - UICloseRunning[3],
            static_cast<std::ptrdiff_t>(std::strlen("Veuillez fermer tous les exemplaires du traitement de "
                                                    "texte Quorvale actuellement ouverts")));
  for (const NamedRow& row : AllRows())
    for (int lang = 0; lang < UILangCount; ++lang) {
      EXPECT_EQ(std::strstr(row.texts[lang], "\\r"), nullptr) << row.name;
      EXPECT_EQ(std::strchr(row.texts[lang], '\n'), nullptr) << row.name;
    }
}

TEST(LanguageTable, PortableHelpAddress) {
  const std::string root = QV_PRODUCT_SITE_ROOT;
  ASSERT_FALSE(root.empty());
  EXPECT_NE(root.back(), '/');
  for (int lang = 0; lang < UILangCount; ++lang) {
    const std::string path = lang == 3 ? "/fr/help/portable.htm" : "/en/help/portable.htm";
    EXPECT_EQ(std::string(UIPortableHelpURL[lang]), root + path) << UILangs[lang].Code;
  }
}

TEST(LanguageTable, TextFollowsUILang) {
  const uint8_t saved = UILang;
  UILang = 3;
  EXPECT_STREQ(UIText(UICancel), "Annuler");
  EXPECT_STREQ(UIText(UIPageTitle[2]), "Choix du dossier d'installation");
  EXPECT_EQ(UIWideText(UITitle), WideString(W_("Installation du traitement de texte Quorvale")));
  UILang = 6;
  EXPECT_EQ(UIWideText(UIBack), WideString(W_("< &B返回")));
  EXPECT_STREQ(UIText(UIPageTitle[6]), "");
  UILang = saved;
}

TEST(LanguageTable, EditionLabelIsEmptyOrStartsWithASpace) {
  ASSERT_NE(EditionLabel, nullptr);
  EXPECT_TRUE(EditionLabel[0] == '\0' || EditionLabel[0] == ' ');
}

TEST(FormatTextOnTable, WelcomeAndFinishFillBothPlaceholders) {
  EXPECT_EQ(FormatText(UIWelcome[1], {UIProductName[1], ""}),
            "This program will install Quorvale Word Processor (version 4.4.5.5) on your computer.");
  EXPECT_EQ(FormatText(UIWelcome[4], {UIProductName[4], " Home"}),
            "Ten program zainstaluje \"Quorvale Word Processor\" (wersja 4.4.5.5 Home) na Twoim komputerze.");
  EXPECT_EQ(FormatText(UIFinished[6], {UIProductName[6], ""}),
            "Quorvale文字處理器4.4.5.5已成功安裝在您的計算機上。\r\r單擊“完成”退出此安裝程序。");
  const std::string cannot = "Cannot create file \"C:\\Apps\\Q%sV\\qvw.exe\".\rAnother application";
  EXPECT_EQ(FormatText(UICannotCreate[1], {"C:\\Apps\\Q%sV\\qvw.exe"}).substr(0, cannot.size()), cannot);
}

TEST(FormatTextOnTable, EmptyEditionLabelLeavesNothingAfterTheVersion) {
  for (TUIText* row : {&UIWelcome, &UIFinished})
    for (int lang = 0; lang < UILangCount; ++lang) {
      const std::string format = (*row)[lang];
      const size_t first = format.find("%s");
      const size_t second = format.find("%s", first + 2);
      ASSERT_NE(second, std::string::npos) << lang;
      ASSERT_EQ(format.find("%s", second + 2), std::string::npos) << lang;
      ASSERT_EQ(format.compare(second - 7, 7, "4.4.5.5"), 0) << lang;
      const std::string next = format.substr(second + 2, 1);  // first byte after the placeholder
      EXPECT_NE(FormatText(format, {UIProductName[lang], ""}).find("4.4.5.5" + next), std::string::npos);
      const std::string text = FormatText(format, {UIProductName[lang], EditionLabel});
      EXPECT_NE(text.find("4.4.5.5" + std::string(EditionLabel) + next), std::string::npos) << text;
      EXPECT_EQ(text.find("%s"), std::string::npos) << text;
      EXPECT_EQ(text.find(UIProductName[lang]), format.find("%s")) << text;
    }
}

TEST(StartLanguage, LocaleChoosesTheLanguage) {
  EXPECT_EQ(StartUILang(0x0404, ""), 6);  // Chinese (Taiwan)
  EXPECT_EQ(StartUILang(0x0C04, ""), 5);  // Chinese (Hong Kong)
  EXPECT_EQ(StartUILang(0x0804, ""), 5);  // Chinese (PRC)
  EXPECT_EQ(StartUILang(0x1004, ""), 5);  // Chinese (Singapore)
  EXPECT_EQ(StartUILang(0x0C07, ""), 0);  // German (Austria)
  EXPECT_EQ(StartUILang(0x0407, ""), 0);  // German (Germany)
  EXPECT_EQ(StartUILang(0x0409, ""), 1);  // English (United States)
  EXPECT_EQ(StartUILang(0x0809, ""), 1);  // English (United Kingdom)
  EXPECT_EQ(StartUILang(0x080A, ""), 2);  // Spanish (Mexico)
  EXPECT_EQ(StartUILang(0x0C0A, ""), 2);  // Spanish (Spain, modern sort)
  EXPECT_EQ(StartUILang(0x040C, ""), 3);  // French (France)
  EXPECT_EQ(StartUILang(0x0C0C, ""), 3);  // French (Canada)
  EXPECT_EQ(StartUILang(0x0415, ""), 4);  // Polish
}

TEST(StartLanguage, UnlistedLanguagesStartInEnglish) {
  EXPECT_EQ(StartUILang(0x0411, ""), 1);  // Japanese
  EXPECT_EQ(StartUILang(0x0419, ""), 1);  // Russian
  EXPECT_EQ(StartUILang(0x0000, ""), 1);  // neutral
  EXPECT_EQ(StartUILang(0x0416, ""), 1);  // Portuguese (Brazil)
}

TEST(StartLanguage, SortBitsAboveTheLanguageIdAreIgnored) {
  EXPECT_EQ(StartUILang(0x00020404, ""), 6);  // Taiwan with stroke sort
  EXPECT_EQ(StartUILang(0x00020804, ""), 5);  // PRC with stroke sort
  EXPECT_EQ(StartUILang(0x00010407, ""), 0);  // German phone book sort
}

TEST(StartLanguage, RememberedCodeWins) {
  EXPECT_EQ(StartUILang(0x0409, "zht"), 6);
  EXPECT_EQ(StartUILang(0x0804, "zht"), 6);
  EXPECT_EQ(StartUILang(0x0404, "zh"), 5);
  EXPECT_EQ(StartUILang(0x0411, "de"), 0);
  EXPECT_EQ(StartUILang(0x0407, "fr"), 3);
  EXPECT_EQ(StartUILang(0x0407, "en"), 1);
}

TEST(StartLanguage, UnknownOrMiscasedCodeIsIgnored) {
  EXPECT_EQ(StartUILang(0x0409, "ZHT"), 1);
  EXPECT_EQ(StartUILang(0x0407, "Fr"), 0);
  EXPECT_EQ(StartUILang(0x0404, "it"), 6);
  EXPECT_EQ(StartUILang(0x0C04, "zh "), 5);
  EXPECT_EQ(StartUILang(0x0411, "zhtw"), 1);
  EXPECT_EQ(StartUILang(0x0415, ""), 4);
  EXPECT_EQ(FindUILangCode("ZHT"), -1);
  EXPECT_EQ(FindUILangCode("zht"), 6);
  EXPECT_EQ(FindUILangCode("de"), 0);
  EXPECT_EQ(FindUILangCode(""), -1);
  EXPECT_EQ(FindUILangCode(std::string("zh\0", 3)), -1);
}

TEST(MessageBoxRules, StyleBits) {
  EXPECT_EQ(MessageBoxStyle(TMsgIcon::Information, TMsgButtons::Ok), 0x2040u);
  EXPECT_EQ(MessageBoxStyle(TMsgIcon::Question, TMsgButtons::YesNo), 0x2024u);
  EXPECT_EQ(MessageBoxStyle(TMsgIcon::Error, TMsgButtons::AbortRetryIgnore), 0x2012u);
  EXPECT_EQ(MessageBoxStyle(TMsgIcon::Error, TMsgButtons::Ok), 0x2010u);
  EXPECT_EQ(MessageBoxStyle(TMsgIcon::Information, TMsgButtons::YesNo), 0x2044u);
}

TEST(MessageBoxRules, ResultCodes) {
  for (int r = 3; r <= 7; ++r) EXPECT_EQ(MessageBoxResult(r), r);
  for (int r : {-1, 0, 1, 2, 8, 10, 11}) EXPECT_EQ(MessageBoxResult(r), 1) << r;
}

#ifdef _WIN32

namespace {

struct FakeBoxCall {
  int calls = 0;
  HWND owner = nullptr;
  std::wstring text, caption;
  UINT style = 0;
  int answer = IDOK;
};
FakeBoxCall fakeBox;

int WINAPI FakeMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  ++fakeBox.calls;
  fakeBox.owner = owner;
  fakeBox.text = text;
  fakeBox.caption = caption;
  fakeBox.style = style;
  return fakeBox.answer;
}

HWND FakeOwner() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)); }

class ShowMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLang = UILang;
    savedBox = MessageBoxHook;
    savedOwner = MessageBoxOwnerHook;
    fakeBox = FakeBoxCall();
    MessageBoxHook = &FakeMessageBox;
  }
  void TearDown() override {
    UILang = savedLang;
    MessageBoxHook = savedBox;
    MessageBoxOwnerHook = savedOwner;
  }
  uint8_t savedLang = 0;
  TMessageBoxFunc savedBox = nullptr;
  TMessageBoxOwnerFunc savedOwner = nullptr;
};

HWND DeadOwner() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0xDEAD0)); }

}  // namespace

TEST(MessageBoxDefault, ReachesThePlatformMessageBox) {
  EXPECT_EQ(MessageBoxOwnerHook, nullptr);
  // The hook's address may be an import thunk, so compare behaviour: the platform box refuses an
  // owner that is no window, without showing anything, and that failure counts as OK.
  SetLastError(0);
  const int raw = MessageBoxHook(DeadOwner(), L"x", L"y", MB_OK | MB_TASKMODAL);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_TRUE(raw < IDOK || raw > IDNO) << raw;
  const TMessageBoxOwnerFunc savedOwner = MessageBoxOwnerHook;
  MessageBoxOwnerHook = &DeadOwner;
  SetLastError(0);
  EXPECT_EQ(ShowMessageBox("x", TMsgIcon::Information, TMsgButtons::Ok), 1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  MessageBoxOwnerHook = savedOwner;
}

TEST_F(ShowMessageBoxTest, InformationWithCaptionOfCurrentLanguage) {
  UILang = 1;
  fakeBox.answer = IDOK;
  EXPECT_EQ(ShowMessageBox(UIText(UIMustAccept), TMsgIcon::Information, TMsgButtons::Ok), 1);
  EXPECT_EQ(fakeBox.calls, 1);
  EXPECT_EQ(fakeBox.owner, nullptr);
  EXPECT_EQ(fakeBox.caption, L"Quorvale Word Processor - Setup");
  EXPECT_EQ(fakeBox.text, L"To install this program, you need to agree to all the terms of the License Agreement.");
  EXPECT_EQ(fakeBox.style, static_cast<UINT>(MB_ICONINFORMATION | MB_OK | MB_TASKMODAL));
}

TEST_F(ShowMessageBoxTest, QuestionInTraditionalChineseReturnsNo) {
  UILang = 6;
  fakeBox.answer = IDNO;
  EXPECT_EQ(ShowMessageBox(UIText(UIQuitSetup), TMsgIcon::Question, TMsgButtons::YesNo), 7);
  EXPECT_EQ(fakeBox.caption, L"Quorvale文字處理器 - 安裝");
  EXPECT_EQ(fakeBox.text, L"安裝未完成。您想退出此安裝程序嗎？");
  EXPECT_EQ(fakeBox.style, static_cast<UINT>(MB_ICONQUESTION | MB_YESNO | MB_TASKMODAL));
  fakeBox.answer = IDYES;
  EXPECT_EQ(ShowMessageBox(UIText(UIQuitSetup), TMsgIcon::Question, TMsgButtons::YesNo), 6);
}

TEST_F(ShowMessageBoxTest, ErrorWithAbortRetryIgnoreAndOwner) {
  UILang = 3;
  MessageBoxOwnerHook = &FakeOwner;
  const AnsiString text = FormatText(UIText(UICannotCreate), {"C:\\Programmes\\Quorvale\\qvw.exe"});
  for (int answer : {IDABORT, IDRETRY, IDIGNORE}) {
    fakeBox.answer = answer;
    EXPECT_EQ(ShowMessageBox(text, TMsgIcon::Error, TMsgButtons::AbortRetryIgnore), answer);
  }
  EXPECT_EQ(fakeBox.calls, 3);
  EXPECT_EQ(fakeBox.owner, FakeOwner());
  EXPECT_EQ(fakeBox.caption, L"Installation du traitement de texte Quorvale");
  const std::wstring start = L"Impossible de créer le fichier \"C:\\Programmes\\Quorvale\\qvw.exe\".\rCe fichier";
  EXPECT_EQ(fakeBox.text.substr(0, start.size()), start);
  EXPECT_EQ(fakeBox.style, static_cast<UINT>(MB_ICONERROR | MB_ABORTRETRYIGNORE | MB_TASKMODAL));
}

TEST_F(ShowMessageBoxTest, ClosedOrFailedBoxCountsAsOk) {
  for (int answer : {0, IDCANCEL, IDOK, 11}) {
    fakeBox.answer = answer;
    EXPECT_EQ(ShowMessageBox("x", TMsgIcon::Information, TMsgButtons::Ok), 1) << answer;
  }
}

TEST(ChooseStartLanguage, RememberedCodeAndPlatformLocale) {
  const uint8_t saved = UILang;
  ChooseStartUILang("pl");
  EXPECT_EQ(UILang, 4);
  UILang = 0xFF;
  ChooseStartUILang("");
  const LCID lcid = GetUserDefaultLCID();
  EXPECT_LT(UILang, UILangCount);
  const LANGID langId = LANGIDFROMLCID(lcid);
  int expected = -1;  // only the locales the test runs under are spelled out
  if (langId == 0x0404) {
    expected = 6;
  } else if (PRIMARYLANGID(langId) == LANG_CHINESE) {
    expected = 5;
  } else if (PRIMARYLANGID(langId) == LANG_GERMAN) {
    expected = 0;
  } else if (PRIMARYLANGID(langId) == LANG_ENGLISH || PRIMARYLANGID(langId) == LANG_JAPANESE) {
    expected = 1;
  }
  if (expected >= 0) {
    EXPECT_EQ(UILang, expected) << "locale " << std::hex << lcid;
  }
  UILang = saved;
}

#endif
