#include <gtest/gtest.h>

#include <algorithm>

#include "system/Handles.h"
#include "system/Registry.h"
#include "tests/TestSupport.h"

using namespace tidora;

namespace {

// A key of its own under HKCU\Software for each test, removed afterwards.
class RegistryTest : public testing::Test {
protected:
    void SetUp() override { Name = test::UniqueName(L"TidoraTest"); Key = L"\\Software\\" + Name; }
    void TearDown() override {
        TReg::DeleteKey(HKEY_CURRENT_USER, L"\\Software", Name);
        TReg::DeleteKey(HKEY_LOCAL_MACHINE, L"\\Software", Name);
        TReg::DeleteKey(HKEY_LOCAL_MACHINE, L"\\Software\\Wow6432Node", Name);
    }
    void WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Key.c_str() + 1, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                                  nullptr, &k, nullptr), ERROR_SUCCESS);
        UniqueHKey owner(k);
        ASSERT_EQ(RegSetValueExW(k, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    std::wstring Name, Key;
};

TEST(RootKeyNames, Table) {
    EXPECT_EQ(RootKeyToName(HKEY_LOCAL_MACHINE, true), L"HKLM");
    EXPECT_EQ(RootKeyToName(HKEY_LOCAL_MACHINE, false), L"HKEY_LOCAL_MACHINE");
    EXPECT_EQ(RootKeyToName(HKEY_USERS, true), L"HKU");
    EXPECT_EQ(RootKeyToName(HKEY_CURRENT_CONFIG, true), L"HKEY_CURRENT_CONFIG");
    EXPECT_EQ(RootKeyToName(HKEY_DYN_DATA, true), L"HKEY_DYN_DATA");
    EXPECT_EQ(RootKeyToName(reinterpret_cast<HKEY>(0x80000010), true), L"");
    EXPECT_EQ(RootKeyToName(nullptr, false), L"");

    EXPECT_EQ(NameToRootKey(L"hkcu"), HKEY_CURRENT_USER);
    EXPECT_EQ(NameToRootKey(L"HKEY_classes_ROOT"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(NameToRootKey(L"HKCC"), nullptr);
    EXPECT_EQ(NameToRootKey(L"HKPD"), nullptr);
    EXPECT_EQ(NameToRootKey(L"HKDD"), nullptr);
    EXPECT_EQ(NameToRootKey(L"HKEY_PERFORMANCE_DATA"), HKEY_PERFORMANCE_DATA);
    EXPECT_EQ(NameToRootKey(L"HKLM "), nullptr);
    EXPECT_EQ(NameToRootKey(L""), nullptr);
}

TEST(RegParse, Cases) {
    struct Case {
        const wchar_t* Text;
        bool Ok;
        HKEY Root;
        const wchar_t* Key;
        const wchar_t* Name;
    };
    const HKEY untouched = reinterpret_cast<HKEY>(0x1234);
    const Case cases[] = {
        {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\App", true, HKEY_CURRENT_USER,
         L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"App"},
        {L"hklm\\Software\\Run\\", true, HKEY_LOCAL_MACHINE, L"Software\\Run", L""},
        {L"HKLM\\Software", false, untouched, L"", L""},
        {L"HKLM", false, untouched, L"", L""},
        {L"Nowhere\\Key\\Value", true, nullptr, L"Key", L"Value"},
        {L"HKU\\a\\\\b\\c", true, HKEY_USERS, L"a\\\\b", L"c"},
        // A value name with a backslash cannot be addressed: only the last part is the name.
        {L"HKCU\\Key\\odd\\name", true, HKEY_CURRENT_USER, L"Key\\odd", L"name"},
    };
    for (const Case& c : cases) {
        HKEY root = untouched;
        std::wstring key = L"stale", name = L"stale";
        EXPECT_EQ(TReg::Parse(c.Text, root, key, name), c.Ok) << c.Text;
        EXPECT_EQ(root, c.Root) << c.Text;
        EXPECT_EQ(key, c.Key) << c.Text;
        EXPECT_EQ(name, c.Name) << c.Text;
    }
}

TEST_F(RegistryTest, WritesCreateThePathAndReadBack) {
    const std::wstring deep = Key + L"\\a\\b";
    EXPECT_FALSE(TReg::IsKey(HKEY_CURRENT_USER, deep));
    TReg::WriteInteger(HKEY_CURRENT_USER, deep, L"n", -5);
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, deep));
    // With or without the leading backslash.
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, deep.substr(1)));
    EXPECT_EQ(TReg::ReadInteger(HKEY_CURRENT_USER, deep, L"n", 0), -5);

    TReg::WriteString(HKEY_CURRENT_USER, Key, L"s", L"값 value");
    TReg::WriteString(HKEY_CURRENT_USER, Key, L"", L"default");
    TReg::WriteBinary(HKEY_CURRENT_USER, Key, L"b", {1, 2, 3});
    TReg::WriteInteger(HKEY_CURRENT_USER, Key, L"flag", 7);
    EXPECT_EQ(TReg::ReadString(HKEY_CURRENT_USER, Key, L"s", L"x"), L"값 value");
    EXPECT_EQ(TReg::ReadString(HKEY_CURRENT_USER, Key, L"", L"x"), L"default");
    EXPECT_EQ(TReg::ReadBinary(HKEY_CURRENT_USER, Key, L"b"), (TBytes{1, 2, 3}));
    EXPECT_TRUE(TReg::ReadBool(HKEY_CURRENT_USER, Key, L"flag", false));

    TStrings names{L"stale"};
    EXPECT_EQ(TReg::ReadValueNames(HKEY_CURRENT_USER, Key, names), 4);
    EXPECT_EQ(TReg::ReadKeyNames(HKEY_CURRENT_USER, Key, names), 1);
    EXPECT_EQ(names, TStrings{L"a"});
}

TEST_F(RegistryTest, ReadDefaults) {
    const DWORD dword = 0x80000001, zero = 0, bigEndian = 0x01000000;
    const wchar_t one[] = L"1";
    const wchar_t expand[] = L"%SystemRoot%\\x";
    const wchar_t withNul[] = L"left\0right";
    const wchar_t multi[] = L"a\0b\0";
    const BYTE none[] = {9, 8};
    WriteRaw(L"dword", REG_DWORD, &dword, sizeof(dword));
    WriteRaw(L"zero", REG_DWORD, &zero, sizeof(zero));
    WriteRaw(L"be", REG_DWORD_BIG_ENDIAN, &bigEndian, sizeof(bigEndian));
    WriteRaw(L"sz1", REG_SZ, one, sizeof(one));
    WriteRaw(L"expand", REG_EXPAND_SZ, expand, sizeof(expand));
    WriteRaw(L"nul", REG_SZ, withNul, sizeof(withNul));
    WriteRaw(L"multi", REG_MULTI_SZ, multi, sizeof(multi));
    WriteRaw(L"empty", REG_SZ, nullptr, 0);
    WriteRaw(L"none", REG_NONE, none, sizeof(none));

    const HKEY cu = HKEY_CURRENT_USER;
    const std::wstring missingKey = Key + L"\\missing";
    // ReadString: missing value or empty value is empty, not the default; a
    // missing key or a non-text value gives the default.
    EXPECT_EQ(TReg::ReadString(cu, Key, L"absent", L"def"), L"");
    EXPECT_EQ(TReg::ReadString(cu, Key, L"empty", L"def"), L"");
    EXPECT_EQ(TReg::ReadString(cu, missingKey, L"sz1", L"def"), L"def");
    EXPECT_EQ(TReg::ReadString(cu, Key, L"dword", L"def"), L"def");
    EXPECT_EQ(TReg::ReadString(cu, Key, L"multi", L"def"), L"def");
    EXPECT_EQ(TReg::ReadString(cu, Key, L"expand", L"def"), L"%SystemRoot%\\x");
    EXPECT_EQ(TReg::ReadString(cu, Key, L"nul", L"def"), L"left");
    // ReadBool / ReadInteger: only DWORDs count.
    EXPECT_TRUE(TReg::ReadBool(cu, Key, L"dword", false));
    EXPECT_FALSE(TReg::ReadBool(cu, Key, L"zero", true));
    EXPECT_TRUE(TReg::ReadBool(cu, Key, L"sz1", true));
    EXPECT_FALSE(TReg::ReadBool(cu, Key, L"sz1", false));
    EXPECT_EQ(TReg::ReadInteger(cu, Key, L"dword", 0), static_cast<int32_t>(0x80000001));
    EXPECT_EQ(TReg::ReadInteger(cu, Key, L"be", 0), 0x01000000);
    EXPECT_EQ(TReg::ReadInteger(cu, Key, L"sz1", 42), 42);
    EXPECT_EQ(TReg::ReadInteger(cu, missingKey, L"dword", 42), 42);
    // ReadBinary: bytes for binary and other types, nothing for the typed ones.
    EXPECT_EQ(TReg::ReadBinary(cu, Key, L"none"), (TBytes{9, 8}));
    EXPECT_TRUE(TReg::ReadBinary(cu, Key, L"sz1").empty());
    EXPECT_TRUE(TReg::ReadBinary(cu, Key, L"dword").empty());
    EXPECT_TRUE(TReg::ReadBinary(cu, Key, L"multi").empty());
    EXPECT_TRUE(TReg::ReadBinary(cu, Key, L"absent").empty());
    // Lists on a missing key come back empty, whatever they held.
    TStrings names{L"stale"};
    EXPECT_EQ(TReg::ReadKeyNames(cu, missingKey, names), 0);
    EXPECT_TRUE(names.empty());
    names = {L"stale"};
    EXPECT_EQ(TReg::ReadValueNames(cu, missingKey, names), 0);
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(TReg::IsKey(nullptr, Key));

    // The readers on an open key.
    UniqueHKey open(TReg::OpenRead(cu, Key));
    ASSERT_TRUE(open);
    EXPECT_TRUE(ReadBoolDef(open.get(), L"dword", false));
    EXPECT_TRUE(ReadBoolDef(open.get(), L"sz1", true));
    EXPECT_EQ(ReadIntegerDef(open.get(), L"zero", 5), 0);
    EXPECT_EQ(ReadIntegerDef(open.get(), L"expand", 5), 5);
    EXPECT_EQ(ReadStringDef(open.get(), L"dword", L"d"), L"-2147483647");
    EXPECT_EQ(ReadStringDef(open.get(), L"zero", L"d"), L"0");
    EXPECT_EQ(ReadStringDef(open.get(), L"expand", L"d"), L"%SystemRoot%\\x");
    EXPECT_EQ(ReadStringDef(open.get(), L"none", L"d"), L"d");
    EXPECT_EQ(ReadStringDef(open.get(), L"absent", L"d"), L"d");
    EXPECT_EQ(ReadBinaryDef(open.get(), L"none"), (TBytes{9, 8}));
    EXPECT_TRUE(ReadBinaryDef(open.get(), L"expand").empty());

    // Reading every value in one pass gives what reading the names and then
    // each text with an empty default gives.
    TNamedTexts texts{{L"stale", L"x"}};
    ASSERT_EQ(TReg::ReadStringValues(cu, Key, texts), 9);
    TReg::ReadValueNames(cu, Key, names);
    ASSERT_EQ(names.size(), texts.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(texts[i].first, names[i]);
        EXPECT_EQ(texts[i].second, TReg::ReadString(cu, Key, names[i], L"")) << testing::PrintToString(names[i]);
    }
    EXPECT_EQ(TReg::ReadStringValues(cu, missingKey, texts), 0);
    EXPECT_TRUE(texts.empty());
}

// Values of up to 512 bytes come back from one registry call; longer ones (a
// long Run command line or UninstallString) take the second read path.
TEST_F(RegistryTest, ValuesLongerThanTheSmallBufferReadWhole) {
    for (size_t length : {255u, 256u, 257u, 5000u}) {
        SCOPED_TRACE(length);
        std::wstring text;
        for (size_t i = 0; i < length; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
        text.back() = L'\uAC00';
        TReg::WriteString(HKEY_CURRENT_USER, Key, L"text", text);
        const TBytes bytes(2 * length + 3, 0x5A);
        TReg::WriteBinary(HKEY_CURRENT_USER, Key, L"bytes", bytes);

        EXPECT_EQ(TReg::ReadString(HKEY_CURRENT_USER, Key, L"text", L"default"), text);
        EXPECT_EQ(TReg::ReadBinary(HKEY_CURRENT_USER, Key, L"bytes"), bytes);
        UniqueHKey key(TReg::OpenRead(HKEY_CURRENT_USER, Key));
        EXPECT_EQ(ReadStringDef(key.get(), L"text", L"default"), text);
        TNamedTexts values;
        TReg::ReadStringValues(HKEY_CURRENT_USER, Key, values);
        std::sort(values.begin(), values.end());
        EXPECT_EQ(values, (TNamedTexts{{L"bytes", L""}, {L"text", text}}));
    }
}

TEST_F(RegistryTest, SixtyFourBitViewAndWow6432Node) {
    // This process is 32-bit: its own plain view of HKLM\Software would be
    // redirected. TReg works in the 64-bit view, so the two stay apart.
    const std::wstring native = L"\\Software\\" + Name;
    const std::wstring wow = L"\\Software\\Wow6432Node\\" + Name;
    TReg::WriteString(HKEY_LOCAL_MACHINE, native, L"v", L"64");
    TReg::WriteString(HKEY_LOCAL_MACHINE, wow, L"v", L"32");
    EXPECT_EQ(TReg::ReadString(HKEY_LOCAL_MACHINE, native, L"v", L""), L"64");
    EXPECT_EQ(TReg::ReadString(HKEY_LOCAL_MACHINE, wow, L"v", L""), L"32");

    HKEY k = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, native.c_str() + 1, 0, KEY_READ | KEY_WOW64_32KEY, &k), ERROR_SUCCESS);
    UniqueHKey redirected(k);
    EXPECT_EQ(ReadStringDef(redirected.get(), L"v", L""), L"32");
}

// Runs Windows' 64-bit reg.exe (the registry's own tool, outside this
// process's redirection) with Arguments; true when it succeeded.
bool Reg64(const std::wstring& Arguments) {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    // A 32-bit process reaches the 64-bit system folder as "Sysnative".
    const std::wstring exe = std::wstring(windows) + (wow64 ? L"\\Sysnative\\reg.exe" : L"\\System32\\reg.exe");
    std::wstring command = L"\"" + exe + L"\" " + Arguments;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return false;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(process.get(), 60000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &code);
    return code == 0;
}

TEST_F(RegistryTest, WhatThe64BitSideWroteIsWhatThisProcessReads) {
    // Written by a 64-bit program: the key itself, its Wow6432Node twin and a
    // "Run32" approval value, the places a 32-bit Tidora must find as they are.
    const std::wstring approved = L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
    ASSERT_TRUE(Reg64(L"add HKLM\\Software\\" + Name + L" /v v /d 64 /f"));
    ASSERT_TRUE(Reg64(L"add HKLM\\Software\\Wow6432Node\\" + Name + L" /v v /d 32 /f"));
    ASSERT_TRUE(Reg64(L"add HKLM" + approved + L" /v " + Name + L" /t REG_BINARY /d 030000000102030405060708 /f"));
    struct Cleanup {
        std::wstring Key, Name;
        ~Cleanup() { TReg::DeleteValue(HKEY_LOCAL_MACHINE, Key, Name); }
    } cleanup{approved, Name};

    EXPECT_EQ(TReg::ReadString(HKEY_LOCAL_MACHINE, L"\\Software\\" + Name, L"v", L""), L"64");
    EXPECT_EQ(TReg::ReadString(HKEY_LOCAL_MACHINE, L"\\Software\\Wow6432Node\\" + Name, L"v", L""), L"32");
    EXPECT_EQ(TReg::ReadBinary(HKEY_LOCAL_MACHINE, approved, Name),
              (TBytes{3, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));

    // The process's own plain view of HKLM\Software is the redirected one
    // when it is 32-bit, which is why every read above names its view.
    if (sizeof(void*) == 4) {
        HKEY k = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\" + Name).c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
        UniqueHKey plain(k);
        EXPECT_EQ(ReadStringDef(plain.get(), L"v", L""), L"32");
    }
}

TEST_F(RegistryTest, DeleteKeyValueAndFullPaths) {
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\sub\\deeper\\deepest", L"x", L"1");
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\sub", L"y", L"1");
    TReg::WriteString(HKEY_CURRENT_USER, Key, L"sub2", L"value");
    TReg::WriteString(HKEY_CURRENT_USER, Key, L"", L"default");
    const std::wstring full = L"HKCU" + Key;

    // The last part names a subkey: it goes with everything below it.
    TReg::Delete(full + L"\\sub");
    EXPECT_FALSE(TReg::IsKey(HKEY_CURRENT_USER, Key + L"\\sub"));
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, Key));
    // The last part names a value.
    TReg::Delete(full + L"\\sub2");
    TStrings names;
    TReg::ReadValueNames(HKEY_CURRENT_USER, Key, names);
    EXPECT_EQ(names, TStrings{L""});
    // A trailing backslash names the default value, never the key itself.
    TReg::Delete(full + L"\\");
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, Key));
    EXPECT_EQ(TReg::ReadValueNames(HKEY_CURRENT_USER, Key, names), 0);
    TReg::DeleteKey(HKEY_CURRENT_USER, Key, L"");
    EXPECT_TRUE(TReg::IsKey(HKEY_CURRENT_USER, Key));

    // Deleting under a missing path creates nothing.
    TReg::DeleteValue(HKEY_CURRENT_USER, Key + L"\\ghost\\path", L"v");
    TReg::DeleteKey(HKEY_CURRENT_USER, Key + L"\\ghost", L"path");
    EXPECT_FALSE(TReg::IsKey(HKEY_CURRENT_USER, Key + L"\\ghost"));
    TReg::Delete(L"Nowhere\\x\\y");
    TReg::Delete(L"HKCU\\only");
}

// Enumeration goes by index: an entry deleted after its index was read lets
// the next entry slide into that index. The seam deletes the first entry right
// after it was read; every reader must still return each entry that exists.
std::wstring RacedKey;
bool RacedValues = false;
bool RaceFired = false;
void DeleteFirstEntry(HKEY, DWORD Index) {
    if (RaceFired || Index != 0) return;
    RaceFired = true;
    if (RacedValues) TReg::DeleteValue(HKEY_CURRENT_USER, RacedKey, L"a");
    else TReg::DeleteKey(HKEY_CURRENT_USER, RacedKey, L"a");
}

TEST_F(RegistryTest, AnEntryDeletedDuringEnumerationCostsOnlyThatEntry) {
    enum Reader { KeyNames, ValueNames, StringValues };
    for (Reader reader : {KeyNames, ValueNames, StringValues}) {
        SCOPED_TRACE(reader);
        RacedKey = Key + L"\\" + std::to_wstring(reader);
        RacedValues = reader != KeyNames;
        RaceFired = false;
        for (const wchar_t* entry : {L"a", L"b", L"c"}) {
            if (RacedValues) TReg::WriteString(HKEY_CURRENT_USER, RacedKey, entry, entry);
            else TReg::WriteString(HKEY_CURRENT_USER, RacedKey + L"\\" + entry, L"v", entry);
        }
        TPlatform racing = RealPlatform();
        racing.KeyEnumerationStep = DeleteFirstEntry;
        TStrings names;
        if (reader == KeyNames) TReg::ReadKeyNames(HKEY_CURRENT_USER, RacedKey, names, racing);
        if (reader == ValueNames) TReg::ReadValueNames(HKEY_CURRENT_USER, RacedKey, names, racing);
        if (reader == StringValues) {
            TNamedTexts values;
            TReg::ReadStringValues(HKEY_CURRENT_USER, RacedKey, values, racing);
            for (const auto& value : values) {
                EXPECT_EQ(value.first, value.second);
                names.push_back(value.first);
            }
        }
        EXPECT_TRUE(RaceFired);
        EXPECT_EQ(names, (TStrings{L"b", L"c"}));
    }
}

} // namespace
