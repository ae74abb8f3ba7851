// Registry wrapper against the real (Wine) registry. Values are checked with the raw platform queries,
// not through the wrapper; every test works below HKCU\Software\QuorvaleSetupTests\<test> and removes it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/Registry.h"

namespace {

const wchar_t kTestRoot[] = L"Software\\QuorvaleSetupTests";

struct RawValue {
  LONG Status = ERROR_FILE_NOT_FOUND;
  DWORD Type = REG_NONE;
  std::vector<BYTE> Data;
};

RawValue QueryW(HKEY root, const std::wstring& key, const wchar_t* name) {
  RawValue v;
  HKEY h = nullptr;
  v.Status = RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &h);
  if (v.Status != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.Status = RegQueryValueExW(h, name, nullptr, &v.Type, nullptr, &size);
  if (v.Status == ERROR_SUCCESS) {
    v.Data.resize(size);
    v.Status = RegQueryValueExW(h, name, nullptr, &v.Type, v.Data.data(), &size);
    v.Data.resize(size);
  }
  RegCloseKey(h);
  return v;
}

RawValue QueryA(HKEY root, const std::string& key, const char* name) {
  RawValue v;
  HKEY h = nullptr;
  v.Status = RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &h);
  if (v.Status != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.Status = RegQueryValueExA(h, name, nullptr, &v.Type, nullptr, &size);
  if (v.Status == ERROR_SUCCESS) {
    v.Data.resize(size);
    v.Status = RegQueryValueExA(h, name, nullptr, &v.Type, v.Data.data(), &size);
    v.Data.resize(size);
  }
  RegCloseKey(h);
  return v;
}

LONG SetRawW(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY h = nullptr;
  LONG status = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(h);
  return status;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

DWORD ValueCount(HKEY root, const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0xFFFFFFFF;
  DWORD values = 0;
  RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(h);
  return values;
}

std::vector<BYTE> WideBytes(const std::wstring& text, bool withNul) {
  const size_t units = text.size() + (withNul ? 1 : 0);
  std::vector<BYTE> out(units * 2);
  std::memcpy(out.data(), text.c_str(), out.size());
  return out;
}

// Where a wrong path rule would put the tests' child keys: directly below the root.
const wchar_t kStrayChild[] = L"QvTestChild";

void RemoveTree(HKEY root, const std::wstring& key) {
  RegDeleteTreeW(root, key.c_str());
  RegDeleteKeyW(root, key.c_str());
  RegDeleteKeyW(root, kTestRoot);  // only goes when no other test left anything behind
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Path = "Software\\QuorvaleSetupTests\\" + test;
    WPath = std::wstring(kTestRoot) + L"\\" + std::wstring(test.begin(), test.end());
    RemoveTree(HKEY_CURRENT_USER, WPath);
    RegDeleteTreeW(HKEY_CURRENT_USER, kStrayChild);
    RegDeleteKeyW(HKEY_CURRENT_USER, kStrayChild);
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath));
  }
  void TearDown() override {
    RemoveTree(HKEY_CURRENT_USER, WPath);
    RegDeleteTreeW(HKEY_CURRENT_USER, kStrayChild);
    RegDeleteKeyW(HKEY_CURRENT_USER, kStrayChild);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath));
  }

  std::string Path;    // below HKCU, no leading backslash
  std::wstring WPath;  // the same, wide
};

TEST_F(RegistryTest, ConstructsOnCurrentUserWithNoKeyOpen) {
  TRegistry reg;
  EXPECT_EQ(reg.RootHandle(), HKEY_CURRENT_USER);
  EXPECT_EQ(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), "");
  EXPECT_EQ(reg.ValueByteSize("MAINDIR"), -1);
}

TEST_F(RegistryTest, WriteTextStoresWideRegSzWithTerminatingNul) {
  const std::wstring text = L"C:\\Programme\\Quorvale \u00C4\u20AC";
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    ASSERT_NE(reg.OpenHandle(), nullptr);
    reg.WriteText("MAINDIR", text);
  }
  const RawValue v = QueryW(HKEY_CURRENT_USER, WPath, L"MAINDIR");
  ASSERT_EQ(v.Status, ERROR_SUCCESS);
  EXPECT_EQ(v.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.Data.size(), (text.size() + 1) * 2);
  EXPECT_EQ(v.Data, WideBytes(text, true));

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_EQ(reg.ReadText("MAINDIR"), text);
}

TEST_F(RegistryTest, WriteTextDecodesTheNameFromUtf8) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    reg.WriteText("Gr\xC3\xB6\xC3\x9F" "e", L"x");
  }
  const RawValue v = QueryW(HKEY_CURRENT_USER, WPath, L"Gr\u00F6\u00DFe");
  ASSERT_EQ(v.Status, ERROR_SUCCESS);
  EXPECT_EQ(v.Data, WideBytes(L"x", true));
}

TEST_F(RegistryTest, WriteByteTextStoresAnsiRegSzWithTerminatingNul) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    reg.WriteByteText("DisplayVersion", "4.4.5.5");
    reg.WriteByteText("UILANG", "zht");
  }
  const RawValue version = QueryA(HKEY_CURRENT_USER, Path, "DisplayVersion");
  ASSERT_EQ(version.Status, ERROR_SUCCESS);
  EXPECT_EQ(version.Type, static_cast<DWORD>(REG_SZ));
  ASSERT_EQ(version.Data.size(), 8u);
  EXPECT_EQ(std::memcmp(version.Data.data(), "4.4.5.5", 8), 0);  // includes the NUL

  // The platform keeps it as UTF-16; the wide view is the same text, NUL included.
  const RawValue wide = QueryW(HKEY_CURRENT_USER, WPath, L"UILANG");
  ASSERT_EQ(wide.Status, ERROR_SUCCESS);
  EXPECT_EQ(wide.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(wide.Data, WideBytes(L"zht", true));

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_EQ(reg.ValueByteSize("UILANG"), 4);
  EXPECT_EQ(reg.ReadText("UILANG"), L"zht");
  EXPECT_EQ(reg.ReadText("DisplayVersion"), L"4.4.5.5");
}

TEST_F(RegistryTest, WriteDwordStoresFourLittleEndianBytes) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    reg.WriteDword("EstimatedSize", 3072);
    reg.WriteDword("Pattern", 0x12345678u);
  }
  const RawValue size = QueryA(HKEY_CURRENT_USER, Path, "EstimatedSize");
  ASSERT_EQ(size.Status, ERROR_SUCCESS);
  EXPECT_EQ(size.Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size.Data, (std::vector<BYTE>{0x00, 0x0C, 0x00, 0x00}));
  const RawValue pattern = QueryW(HKEY_CURRENT_USER, WPath, L"Pattern");
  ASSERT_EQ(pattern.Status, ERROR_SUCCESS);
  EXPECT_EQ(pattern.Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(pattern.Data, (std::vector<BYTE>{0x78, 0x56, 0x34, 0x12}));

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_EQ(reg.ValueByteSize("Pattern"), 4);
  EXPECT_EQ(reg.ReadDword("EstimatedSize"), 3072u);
  EXPECT_EQ(reg.ReadDword("Pattern"), 0x12345678u);
}

TEST_F(RegistryTest, FlagsAreDwordOneOrZeroAndAnyNonZeroReadsTrue) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    reg.WriteFlag("LAUNCH", true);
    reg.WriteFlag("DSKSHORTCUT", false);
  }
  const RawValue on = QueryA(HKEY_CURRENT_USER, Path, "LAUNCH");
  ASSERT_EQ(on.Status, ERROR_SUCCESS);
  EXPECT_EQ(on.Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(on.Data, (std::vector<BYTE>{1, 0, 0, 0}));
  const RawValue off = QueryA(HKEY_CURRENT_USER, Path, "DSKSHORTCUT");
  ASSERT_EQ(off.Status, ERROR_SUCCESS);
  EXPECT_EQ(off.Type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(off.Data, (std::vector<BYTE>{0, 0, 0, 0}));

  const DWORD two = 2;
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"INSTALLTOALL", REG_DWORD, &two, 4), ERROR_SUCCESS);
  const DWORD high = 0x01000000;  // only the top byte set
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"High", REG_DWORD, &high, 4), ERROR_SUCCESS);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_TRUE(reg.ReadFlag("LAUNCH"));
  EXPECT_FALSE(reg.ReadFlag("DSKSHORTCUT"));
  EXPECT_TRUE(reg.ReadFlag("INSTALLTOALL"));
  EXPECT_EQ(reg.ReadDword("INSTALLTOALL"), 2u);
  EXPECT_TRUE(reg.ReadFlag("High"));
}

TEST_F(RegistryTest, EmptyStringValueHasSizeButReadsEmpty) {
  {
    TRegistry reg;
    reg.OpenOrCreateKey(Path);
    reg.WriteText("MAINDIR", L"");
    reg.WriteByteText("UILANG", "");
  }
  const RawValue wide = QueryW(HKEY_CURRENT_USER, WPath, L"MAINDIR");
  ASSERT_EQ(wide.Status, ERROR_SUCCESS);
  EXPECT_EQ(wide.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(wide.Data, (std::vector<BYTE>{0, 0}));
  const RawValue narrow = QueryA(HKEY_CURRENT_USER, Path, "UILANG");
  ASSERT_EQ(narrow.Status, ERROR_SUCCESS);
  EXPECT_EQ(narrow.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(narrow.Data, (std::vector<BYTE>{0}));

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_GT(reg.ValueByteSize("MAINDIR"), 0);
  EXPECT_TRUE(reg.HasValue("MAINDIR"));
  EXPECT_EQ(reg.ReadText("MAINDIR"), L"");
  EXPECT_TRUE(reg.HasValue("UILANG"));
  EXPECT_EQ(reg.ReadText("UILANG"), L"");
}

TEST_F(RegistryTest, MissingValueOrKeyReadsEmptyWithoutRaising) {
  TRegistry reg;
  EXPECT_FALSE(reg.HasKey(Path));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath));  // asking does not create it
  reg.OpenOrCreateKey(Path);
  ASSERT_NE(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.ValueByteSize("MAINDIR"), -1);
  EXPECT_FALSE(reg.HasValue("MAINDIR"));
  EXPECT_EQ(reg.ReadText("MAINDIR"), L"");
  EXPECT_EQ(reg.ReadDword("LAUNCH"), 0u);
  EXPECT_FALSE(reg.ReadFlag("LAUNCH"));
  BYTE buffer[8];
  EXPECT_EQ(reg.ReadRaw("MAINDIR", buffer, sizeof buffer), -1);
  EXPECT_EQ(reg.ReadRawWide("MAINDIR", buffer, sizeof buffer), -1);
  EXPECT_FALSE(reg.HasKey("NoSuchChild"));
}

TEST_F(RegistryTest, WithoutCurrentKeyWritesGoNowhereAndReadsAreEmpty) {
  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  reg.WriteText("MAINDIR", L"C:\\Before");
  reg.CloseCurrentKey();
  EXPECT_EQ(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), "");
  reg.WriteText("MAINDIR", L"C:\\After");
  reg.WriteByteText("UILANG", "de");
  reg.WriteDword("EstimatedSize", 1);
  reg.WriteFlag("LAUNCH", true);
  EXPECT_FALSE(reg.HasValue("MAINDIR"));
  EXPECT_EQ(reg.ReadText("MAINDIR"), L"");
  EXPECT_FALSE(reg.ReadFlag("LAUNCH"));

  EXPECT_EQ(ValueCount(HKEY_CURRENT_USER, WPath), 1u);
  EXPECT_EQ(QueryW(HKEY_CURRENT_USER, WPath, L"MAINDIR").Data, WideBytes(L"C:\\Before", true));
  EXPECT_EQ(QueryW(HKEY_CURRENT_USER, L"", L"UILANG").Status, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, KeyThatCannotBeCreatedLeavesNoCurrentKey) {
  // A volatile key refuses non-volatile children.
  HKEY volatileKey = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WPath.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(volatileKey);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  ASSERT_NE(reg.OpenHandle(), nullptr);
  reg.OpenOrCreateKey("Child");
  EXPECT_EQ(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), "");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\Child"));
  reg.WriteText("MAINDIR", L"C:\\Lost");
  EXPECT_EQ(reg.ValueByteSize("MAINDIR"), -1);
  EXPECT_FALSE(reg.HasValue("MAINDIR"));
  EXPECT_EQ(reg.ReadText("MAINDIR"), L"");
  EXPECT_EQ(ValueCount(HKEY_CURRENT_USER, WPath), 0u);

  // With no key open a relative path resolves against the root again: the existing volatile key opens.
  reg.OpenOrCreateKey(Path);
  EXPECT_NE(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), Path);

  // An unusable root fails the same way, and closes the key that was open.
  reg.SelectRoot(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x8000007F)));
  reg.OpenOrCreateKey(Path);
  EXPECT_EQ(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), "");
  EXPECT_FALSE(reg.HasKey(Path));
}

TEST_F(RegistryTest, RelativePathOpensBelowCurrentKeyAndJoinsPath) {
  TRegistry reg;
  reg.OpenOrCreateKey(Path);  // no key open: relative to the root
  ASSERT_NE(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), Path);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, WPath));

  reg.OpenOrCreateKey("QvTestChild\\QvTestGrandchild");
  ASSERT_NE(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), Path + "\\QvTestChild\\QvTestGrandchild");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\QvTestChild\\QvTestGrandchild"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kStrayChild));

  reg.WriteText("Where", L"grandchild");
  EXPECT_EQ(QueryW(HKEY_CURRENT_USER, WPath + L"\\QvTestChild\\QvTestGrandchild", L"Where").Data,
            WideBytes(L"grandchild", true));
}

TEST_F(RegistryTest, AbsolutePathOpensBelowRootWhateverKeyIsCurrent) {
  TRegistry reg;
  reg.OpenOrCreateKey(Path + "\\Deep");
  ASSERT_NE(reg.OpenHandle(), nullptr);

  reg.OpenOrCreateKey("\\" + Path + "\\Abs");
  ASSERT_NE(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), Path + "\\Abs");  // the one leading backslash is dropped
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\Abs"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\Deep\\Software"));

  reg.WriteDword("Marker", 7);
  const RawValue v = QueryA(HKEY_CURRENT_USER, Path + "\\Abs", "Marker");
  ASSERT_EQ(v.Status, ERROR_SUCCESS);
  EXPECT_EQ(v.Data, (std::vector<BYTE>{7, 0, 0, 0}));
}

TEST_F(RegistryTest, HasKeyFollowsThePathRuleAndKeepsTheCurrentKey) {
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath + L"\\QvTestChild", L"v", REG_DWORD, "\1\0\0\0", 4), ERROR_SUCCESS);
  TRegistry reg;
  EXPECT_TRUE(reg.HasKey(Path));
  EXPECT_TRUE(reg.HasKey("\\" + Path));
  EXPECT_EQ(reg.OpenHandle(), nullptr);  // HasKey opens nothing that outlives it

  reg.OpenOrCreateKey(Path);
  const HKEY current = reg.OpenHandle();
  ASSERT_NE(current, nullptr);
  EXPECT_TRUE(reg.HasKey("QvTestChild"));  // relative to the current key
  EXPECT_FALSE(reg.HasKey(Path + "\\QvTestChild"));  // would be below Path\Path
  EXPECT_TRUE(reg.HasKey("\\" + Path + "\\QvTestChild"));
  EXPECT_FALSE(reg.HasKey("\\QvTestChild"));
  EXPECT_EQ(reg.OpenHandle(), current);
  EXPECT_EQ(reg.OpenPath(), Path);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\" + std::wstring(WPath)));
}

TEST_F(RegistryTest, HasKeyIsFalseWithoutFullAccess) {
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath + L"\\Locked", L"v", REG_DWORD, "\1\0\0\0", 4), ERROR_SUCCESS);
  const std::wstring locked = WPath + L"\\Locked";

  // A DACL that grants everyone reading only.
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  std::vector<BYTE> aclBuffer(256);
  PACL acl = reinterpret_cast<PACL>(aclBuffer.data());
  ASSERT_TRUE(InitializeAcl(acl, static_cast<DWORD>(aclBuffer.size()), ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone));
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC | READ_CONTROL, &h), ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  RegCloseKey(h);

  HKEY probe = nullptr;
  const LONG full = RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, KEY_ALL_ACCESS, &probe);
  if (full == ERROR_SUCCESS) RegCloseKey(probe);

  TRegistry reg;
  const bool hasLocked = reg.HasKey(Path + "\\Locked");

  // Give full access back so the key can be removed.
  std::vector<BYTE> openBuffer(256);
  PACL openAcl = reinterpret_cast<PACL>(openBuffer.data());
  InitializeAcl(openAcl, static_cast<DWORD>(openBuffer.size()), ACL_REVISION);
  AddAccessAllowedAce(openAcl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
  SetSecurityDescriptorDacl(&sd, TRUE, openAcl, FALSE);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC, &h) == ERROR_SUCCESS) {
    RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd);
    RegCloseKey(h);
  }
  FreeSid(everyone);

  if (full == ERROR_SUCCESS) GTEST_SKIP() << "this registry does not enforce key access lists";
  EXPECT_EQ(full, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(hasLocked);
  EXPECT_TRUE(reg.HasKey(Path));
}

TEST_F(RegistryTest, SelectRootWithTheSameRootKeepsTheKeyOpen) {
  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  const HKEY current = reg.OpenHandle();
  ASSERT_NE(current, nullptr);
  reg.SelectRoot(HKEY_CURRENT_USER);
  EXPECT_EQ(reg.OpenHandle(), current);
  EXPECT_EQ(reg.OpenPath(), Path);
  reg.WriteFlag("LAUNCH", true);
  EXPECT_EQ(QueryA(HKEY_CURRENT_USER, Path, "LAUNCH").Data, (std::vector<BYTE>{1, 0, 0, 0}));
}

TEST_F(RegistryTest, SelectRootWithANewRootClosesTheKeyAndResolvesThere) {
  struct MachineCleanup {
    std::wstring Key;
    ~MachineCleanup() { RemoveTree(HKEY_LOCAL_MACHINE, Key); }
  } machine{WPath};
  RemoveTree(HKEY_LOCAL_MACHINE, WPath);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  ASSERT_NE(reg.OpenHandle(), nullptr);
  reg.SelectRoot(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.RootHandle(), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.OpenHandle(), nullptr);
  EXPECT_EQ(reg.OpenPath(), "");
  EXPECT_FALSE(reg.HasValue("anything"));

  reg.OpenOrCreateKey(Path + "\\Uninstall");
  ASSERT_NE(reg.OpenHandle(), nullptr) << "HKEY_LOCAL_MACHINE not writable here";
  reg.WriteByteText("Publisher", "The Quorvale Word Processor Team");
  const RawValue v = QueryA(HKEY_LOCAL_MACHINE, Path + "\\Uninstall", "Publisher");
  ASSERT_EQ(v.Status, ERROR_SUCCESS);
  EXPECT_EQ(v.Type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.Data.size(), sizeof "The Quorvale Word Processor Team");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, WPath + L"\\Uninstall"));
}

TEST_F(RegistryTest, TextStoredWithoutTerminatingNulStopsAtTheValueEnd) {
  const std::wstring text = L"ABCDEFGH";
  // The platform adds a NUL the caller forgot when one follows the counted bytes; here none does.
  const std::wstring source = text + L"Z";
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"MAINDIR", REG_SZ, source.c_str(),
                    static_cast<DWORD>(text.size() * 2)),
            ERROR_SUCCESS);
  ASSERT_EQ(QueryW(HKEY_CURRENT_USER, WPath, L"MAINDIR").Data.size(), 16u);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  const WideString read = reg.ReadText("MAINDIR");
  EXPECT_EQ(read.size(), text.size());
  EXPECT_EQ(read, text);
}

TEST_F(RegistryTest, TextLargerThanItsAnsiSizeIsReadWhole) {
  // Five bytes: the ANSI view counts whole characters only, so the wide bytes exceed its size.
  // (A non-NUL unit after the counted bytes keeps the platform from adding a NUL.)
  const BYTE odd[6] = {'A', 0, 'B', 0, 'C', 'D'};
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"Odd", REG_SZ, odd, 5), ERROR_SUCCESS);
  ASSERT_EQ(QueryW(HKEY_CURRENT_USER, WPath, L"Odd").Data.size(), 5u);
  // Many characters and no NUL: the text fills the buffer exactly.
  const std::wstring many(300, L'x');
  const std::wstring manySource = many + L"Z";
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"Many", REG_SZ, manySource.c_str(),
                    static_cast<DWORD>(many.size() * 2)),
            ERROR_SUCCESS);
  ASSERT_EQ(QueryW(HKEY_CURRENT_USER, WPath, L"Many").Data.size(), 600u);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_GT(reg.ValueByteSize("Odd"), 0);
  EXPECT_EQ(reg.ReadText("Odd"), L"AB");  // the half character at the end is no text
  EXPECT_EQ(reg.ReadText("Many"), many);
}

TEST_F(RegistryTest, ReadRawReportsTheNeededSizeWhenTheBufferIsSmall) {
  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  reg.WriteText("MAINDIR", L"abcdef");
  BYTE small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(reg.ReadRawWide("MAINDIR", small, sizeof small), 14);
  EXPECT_EQ(reg.ReadRawWide("MAINDIR", nullptr, 0), 14);
  EXPECT_EQ(reg.ReadRaw("MAINDIR", nullptr, 0), 7);
  BYTE enough[16] = {};
  EXPECT_EQ(reg.ReadRawWide("MAINDIR", enough, sizeof enough), 14);
  EXPECT_EQ(std::vector<BYTE>(enough, enough + 14), WideBytes(L"abcdef", true));
  char ansi[16] = {};
  EXPECT_EQ(reg.ReadRaw("MAINDIR", ansi, sizeof ansi), 7);
  EXPECT_STREQ(ansi, "abcdef");
}

TEST_F(RegistryTest, ReadDwordTakesAtMostFourBytesOfAnyType) {
  const BYTE one = 5;
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"Short", REG_BINARY, &one, 1), ERROR_SUCCESS);
  const unsigned long long wide = 0x0000000100000001ULL;
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"Long", REG_QWORD, &wide, 8), ERROR_SUCCESS);
  const DWORD big = 0xFFFFFFFFu;
  ASSERT_EQ(SetRawW(HKEY_CURRENT_USER, WPath, L"BigEndian", REG_DWORD_BIG_ENDIAN, &big, 4), ERROR_SUCCESS);

  TRegistry reg;
  reg.OpenOrCreateKey(Path);
  EXPECT_EQ(reg.ReadDword("Short"), 5u);
  EXPECT_EQ(reg.ReadDword("Long"), 0u);  // too long: nothing defined was read
  EXPECT_FALSE(reg.ReadFlag("Long"));
  EXPECT_EQ(reg.ReadDword("BigEndian"), 0xFFFFFFFFu);  // the type is not looked at
}

TEST_F(RegistryTest, RememberedSettingsRoundTrip) {
  {
    TRegistry reg;
    EXPECT_FALSE(reg.HasKey(Path));
    reg.OpenOrCreateKey(Path);
    reg.WriteText("MAINDIR", L"C:\\Apps\\Quorvale");
    reg.WriteFlag("INSTALLTOALL", false);
    reg.WriteFlag("DSKSHORTCUT", true);
    reg.WriteFlag("LAUNCH", false);
    reg.WriteByteText("UILANG", "fr");
  }
  EXPECT_EQ(ValueCount(HKEY_CURRENT_USER, WPath), 5u);
  TRegistry reg;
  ASSERT_TRUE(reg.HasKey(Path));
  reg.OpenOrCreateKey(Path);
  ASSERT_TRUE(reg.HasValue("MAINDIR"));
  EXPECT_EQ(reg.ReadText("MAINDIR"), L"C:\\Apps\\Quorvale");
  ASSERT_TRUE(reg.HasValue("INSTALLTOALL"));
  EXPECT_FALSE(reg.ReadFlag("INSTALLTOALL"));
  ASSERT_TRUE(reg.HasValue("DSKSHORTCUT"));
  EXPECT_TRUE(reg.ReadFlag("DSKSHORTCUT"));
  ASSERT_TRUE(reg.HasValue("LAUNCH"));
  EXPECT_FALSE(reg.ReadFlag("LAUNCH"));
  ASSERT_TRUE(reg.HasValue("UILANG"));
  EXPECT_EQ(reg.ReadText("UILANG"), L"fr");
}

}  // namespace
