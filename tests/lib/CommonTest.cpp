#include <gtest/gtest.h>

#include "lib/Common.h"
#include "system/Path.h"

using namespace tidora;

namespace {

std::wstring Windows() {
    return GetFolderPath(36);
}

struct MatchCase {
    TStringList List;
    std::wstring Value;
    bool FileMode;
    bool Expected;
};

// Both matchers must give the expected answer: the prepared one is only ever
// a faster way to the same result.
TEST(TPreparedList, SameAnswersAsMatchList) {
    const std::wstring win = Windows();
    ASSERT_FALSE(win.empty());
    const MatchCase cases[] = {
        // File-name entries compare the part after the last "\" or ":", ASCII case ignored.
        {{L"svchost.exe*"}, L"C:\\Windows\\System32\\SVCHOST.EXE", true, true},
        {{L"svchost.exe*"}, L"C:\\x\\svchost.exe.bak", true, false},
        {{L"svchost.exe*"}, L"svchost.exe", true, true},
        {{L"notepad.exe*"}, L"C:notepad.exe", true, true},
        {{L"\u00C4PFEL.EXE*"}, L"c:\\\u00E4pfel.exe", true, false},
        // Other entries are fragments, upper-cased with the locale first.
        {{L"svchost.exe"}, L"C:\\Windows\\System32\\svchost.exe.bak", true, true},
        {{L"\u00C4PFEL"}, L"c:\\\u00E4pfel.exe", true, true},
        {{L"\\Temp\\"}, L"C:\\users\\me\\temp\\a.exe", true, true},
        // "*" alone is an empty file name: no real path ends in a backslash.
        {{L"*"}, L"C:\\x\\a.exe", true, false},
        {{L"*"}, L"C:\\x\\", true, true},
        // Placeholders expand whatever their case; without a backslash they stay.
        {{L"%SystemRoot%\\System32\\sihost.exe"}, win + L"\\system32\\sihost.exe", true, true},
        {{L"%systemroot%\\System32\\sihost.exe"}, win + L"\\SYSTEM32\\SIHOST.EXE", true, true},
        {{L"%SystemRoot%"}, win + L"\\a.exe", true, false},
        {{L"%SystemRoot%"}, L"x%SYSTEMROOT%y", true, true},
        // Entries are trimmed of blanks and control characters.
        {{L"  notepad.exe*  "}, win + L"\\notepad.exe", true, true},
        {{L"\tnotepad.exe\r"}, win + L"\\notepad.exe", true, true},
        // Empty, blank and comment rows never match, in either mode.
        {{L"", L"   ", L"\t", L"// svchost.exe*"}, L"C:\\svchost.exe", true, false},
        {{L"", L"   ", L"//cbd"}, L"//cbd", false, false},
        {{L"/"}, L"/x", false, true},
        // Name mode: locale prefixes; "*" is an ordinary character.
        {{L"cbdhsvc_"}, L"cbdhsvc_1a2b3", false, true},
        {{L"CBDHSVC_"}, L"cbdhsvc_1a2b3", false, true},
        {{L"AhnLab Safe Transaction"}, L"AhnLab Safe Transaction 1.2", false, true},
        {{L"Safe Transaction"}, L"AhnLab Safe Transaction", false, false},
        {{L"abcdef"}, L"abc", false, false},
        {{L"abc*"}, L"abc*def", false, true},
        {{L"abc*"}, L"abcdef", false, false},
        // Mixed lists: any entry may decide.
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"C:\\Program Files\\Vendor\\c.exe", true, true},
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"D:\\b.exe", true, true},
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"D:\\c.exe", true, false},
        {{}, L"C:\\a.exe", true, false},
    };
    for (const MatchCase& c : cases) {
        EXPECT_EQ(MatchList(c.List, c.Value, c.FileMode), c.Expected) << c.Value;
        EXPECT_EQ(TPreparedList(c.List, c.FileMode).Match(c.Value), c.Expected) << c.Value;
    }
}

TEST(TPreparedList, ShippedFileWhiteAgreesOnSystemAndUserPaths) {
    TStringList white;
    LoadResourceList(white, L"file_white");
    ASSERT_GT(white.size(), 200u);
    const TPreparedList prepared(white, true);
    const std::wstring win = Windows();
    const std::wstring values[] = {
        win + L"\\System32\\svchost.exe", win + L"\\system32\\SIHOST.EXE", win + L"\\explorer.exe",
        L"C:\\Program Files\\Windows Defender\\MsMpEng.exe", L"C:\\Program Files\\Windows Defender\\x.exe",
        L"C:\\Program Files (x86)\\VMware\\VMware Workstation\\vmware.exe", L"System", L"Registry",
        L"C:\\users\\me\\Downloads\\game.exe", L"D:\\tools\\csrss.exe", L"C:\\a\\b\\c.exe", L"",
    };
    for (const std::wstring& value : values)
        EXPECT_EQ(prepared.Match(value), MatchList(white, value, true)) << value;
    EXPECT_TRUE(prepared.Match(win + L"\\system32\\sihost.exe"));
    EXPECT_FALSE(prepared.Match(L"C:\\users\\me\\Downloads\\game.exe"));
}

TEST(TPreparedList, KeepsTheListAsPrepared) {
    TStringList list{L"a.exe*"};
    const TPreparedList prepared(list, true);
    list.push_back(L"b.exe*");
    EXPECT_TRUE(prepared.Match(L"C:\\a.exe"));
    EXPECT_FALSE(prepared.Match(L"C:\\b.exe"));
}

} // namespace
