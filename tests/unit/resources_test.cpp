// The resources of the built setup.exe: every one language neutral, the manifest's three settings, and
// icon 1 in several sizes. This test program carries the same resources, so the manifest's effects show here.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "framework/WinHandles.h"
#include "support/FileHelpers.h"

namespace {

// setup.exe is built into the same folder as the tests.
std::wstring SetupPath() {
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"setup.exe";
}

// A resource type or name: a number or a text.
std::wstring Id(LPCWSTR id) { return IS_INTRESOURCE(id) ? L"#" + std::to_wstring(LOWORD(id)) : std::wstring(id); }
LPCWSTR AsId(const std::wstring& id) {
  return id[0] == L'#' ? MAKEINTRESOURCEW(std::stoi(id.substr(1))) : id.c_str();
}

struct ResourceKey {
  std::wstring type, name;
  WORD language;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<ResourceKey>*>(out)->push_back({Id(type), Id(name), language});
  return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR out) {
  EnumResourceLanguagesW(module, type, name, &OnLanguage, out);
  return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPWSTR type, LONG_PTR out) {
  EnumResourceNamesW(module, type, &OnName, out);
  return TRUE;
}

class SetupResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(SetupPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot open " << testfiles::U(SetupPath());
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  // The bytes of the neutral resource, empty when there is none.
  std::string Bytes(LPCWSTR type, LPCWSTR name) const {
    const HRSRC found = FindResourceExW(module_, type, name, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (!found) return std::string();
    const HGLOBAL loaded = LoadResource(module_, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module_, found)) : std::string();
  }

  HMODULE module_ = nullptr;
};

TEST_F(SetupResources, EveryResourceIsLanguageNeutral) {
  std::vector<ResourceKey> all;
  EnumResourceTypesW(module_, &OnType, reinterpret_cast<LONG_PTR>(&all));
  for (const ResourceKey& r : all) {
    EXPECT_EQ(r.language, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
        << testfiles::U(r.type) << " " << testfiles::U(r.name) << " is stored in language " << r.language;
  }
  // The ones the program looks up (payload, form, logo, icon, manifest) are among them, once each.
  const struct {
    std::wstring type, name;
  } needed[] = {{L"FILES", L"FILES"},
                {Id(RT_RCDATA), L"TMAINFORM"},
                {L"PNG", L"LOGO"},
                {Id(RT_GROUP_ICON), L"#1"},
                {Id(RT_MANIFEST), L"#1"}};
  for (const auto& n : needed) {
    int found = 0;
    for (const ResourceKey& r : all) found += _wcsicmp(r.type.c_str(), n.type.c_str()) == 0 && r.name == n.name;
    EXPECT_EQ(found, 1) << testfiles::U(n.type) << " " << testfiles::U(n.name);
    EXPECT_FALSE(Bytes(AsId(n.type), AsId(n.name)).empty()) << "not found as neutral: " << testfiles::U(n.name);
  }
}

TEST_F(SetupResources, ManifestAsksForTheThreeSettings) {
  const std::string xml = Bytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
  ASSERT_FALSE(xml.empty());
  const auto has = [&xml](const char* pattern) { return std::regex_search(xml, std::regex(pattern)); };
  EXPECT_TRUE(has(R"(<requestedExecutionLevel\s[^>]*\blevel\s*=\s*"highestAvailable")"));
  EXPECT_TRUE(has(R"(<dpiAware\b[^>]*>\s*true\s*</dpiAware>)"));
  // The common controls: name and version in the same identity, inside a dependency.
  EXPECT_TRUE(has(R"(<dependentAssembly>\s*<assemblyIdentity\s[^>]*\bname\s*=\s*"Microsoft\.Windows\.Common-Controls")"));
  std::smatch identity;
  ASSERT_TRUE(std::regex_search(xml, identity, std::regex(R"(<assemblyIdentity\s[^>]*Common-Controls[^>]*>)")));
  EXPECT_TRUE(std::regex_search(identity.str(), std::regex(R"(\bversion\s*=\s*"6\.0\.0\.0")")));
}

TEST(ManifestEffects, ThisProgramRunsDpiAwareWithCommonControls6) {
  EXPECT_TRUE(IsProcessDPIAware());
  // The activation context sends a load of comctl32 to the version 6 assembly of the side-by-side store,
  // not to the system folder's version 5. (Wine's copy reports 5 from DllGetVersion, so its folder tells.)
  const HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  ASSERT_NE(comctl, nullptr);
  wchar_t path[MAX_PATH * 2] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH * 2);
  std::string folder = testfiles::U(path);
  for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(folder.find("\\winsxs\\"), std::string::npos) << folder;
  EXPECT_NE(folder.find("microsoft.windows.common-controls_6595b64144ccf1df_6."), std::string::npos) << folder;
  FreeLibrary(comctl);
}

#pragma pack(push, 1)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

// Counts the pixels of an icon drawn over two different backgrounds: those that keep each background are
// transparent, those that come out the same on both are opaque.
void CountCover(HICON icon, int size, int& opaque, int& transparent) {
  const COLORREF backgrounds[2] = {RGB(255, 0, 255), RGB(0, 255, 0)};
  std::vector<COLORREF> seen[2];
  for (int b = 0; b < 2; ++b) {
    TMemoryDC dc(CreateCompatibleDC(nullptr));
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    TGdiObject<HBITMAP> bitmap(CreateDIBSection(dc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    TSelectedObject selected(dc.Get(), bitmap.Get());
    TGdiObject<HBRUSH> brush(CreateSolidBrush(backgrounds[b]));
    const RECT all{0, 0, size, size};
    FillRect(dc.Get(), &all, brush.Get());
    DrawIconEx(dc.Get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) seen[b].push_back(GetPixel(dc.Get(), x, y));
  }
  opaque = transparent = 0;
  for (size_t i = 0; i < seen[0].size(); ++i) {
    if (seen[0][i] == seen[1][i]) ++opaque;
    if (seen[0][i] == backgrounds[0] && seen[1][i] == backgrounds[1]) ++transparent;
  }
}

TEST_F(SetupResources, IconOneComesInSeveralSizes) {
  const std::string group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
  ASSERT_GE(group.size(), 6u);
  WORD header[3];
  std::memcpy(header, group.data(), sizeof header);
  EXPECT_EQ(header[1], 1) << "an icon group";
  const size_t count = header[2];
  ASSERT_EQ(group.size(), 6 + count * sizeof(GroupIconEntry));

  std::set<int> sizes;
  for (size_t i = 0; i < count; ++i) {
    GroupIconEntry e;
    std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
    const int size = e.width == 0 ? 256 : e.width;
    SCOPED_TRACE(size);
    EXPECT_EQ(e.width, e.height);
    sizes.insert(size);

    std::string image = Bytes(RT_ICON, MAKEINTRESOURCEW(e.id));
    ASSERT_EQ(image.size(), e.bytes);
    const HICON icon = CreateIconFromResourceEx(reinterpret_cast<BYTE*>(&image[0]), e.bytes, TRUE, 0x00030000,
                                                size, size, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    TGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    GetObjectW(color.Get(), sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, size);
    EXPECT_EQ(bm.bmHeight, size);
    // A shape, not a filled square and not an empty one.
    int opaque = 0, transparent = 0;
    CountCover(icon, size, opaque, transparent);
    EXPECT_GT(opaque, size * size / 4);
    EXPECT_GT(transparent, size * size / 10);
    DestroyIcon(icon);
  }
  EXPECT_GE(sizes.size(), 3u);
  EXPECT_EQ(sizes.size(), count) << "each size once";
  for (int wanted : {16, 32, 48}) EXPECT_EQ(sizes.count(wanted), 1u) << wanted;

  // The program takes it from its own module, as this test program can.
  const HICON own = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  EXPECT_NE(own, nullptr);
}

}  // namespace
