#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "lib/Common.h"
#include "system/Path.h"
#include "system/Handles.h"
#include "system/Resource.h"
#include "tests/TestSupport.h"

using namespace tidora;

namespace {

std::wstring WindowsFolder() {
    for (const auto& [name, folder] : Placeholders())
        if (name == L"%SystemRoot%") return folder;
    return {};
}

TEST(MatchList, FileMode) {
    const std::wstring windows = WindowsFolder();
    ASSERT_FALSE(windows.empty());
    struct Case {
        TStringList List;
        std::wstring Value;
        bool Expected;
    };
    const Case cases[] = {
        // "name*" compares the file-name part, ASCII case ignored.
        {{L"svchost.exe*"}, L"C:\\Windows\\System32\\SVCHOST.EXE", true},
        {{L"svchost.exe*"}, L"C:\\Windows\\System32\\svchost.exe.bak", false},
        {{L"svchost.exe*"}, L"C:\\x\\mysvchost.exe", false},
        {{L"svchost.exe*"}, L"svchost.exe", true},
        {{L"svchost.exe*"}, L"\\??\\C:\\x:svchost.exe", true},
        {{L"System*"}, L"System", true},
        // Only ASCII letters fold in the file-name compare.
        {{L"ÄPP.exe*"}, L"C:\\äpp.exe", false},
        // Without "*" the entry is a fragment anywhere, full Unicode case folding.
        {{L"svchost.exe"}, L"C:\\Windows\\System32\\SVCHOST.EXE", true},
        {{L"svchost.exe"}, L"C:\\x\\mysvchost.exe.old", true},
        {{L"\\äpp\\"}, L"C:\\ÄPP\\a.exe", true},
        {{L"\\보안\\"}, L"C:\\Program Files\\보안\\agent.exe", true},
        // "*" alone or inside an entry is no wildcard.
        {{L"*"}, L"C:\\a.exe", false},
        {{L"sv*.exe*"}, L"C:\\svchost.exe", false},
        // Placeholders expand before matching.
        {{L"%SystemRoot%\\System32\\sihost.exe"}, windows + L"\\system32\\SIHOST.exe", true},
        {{L"%systemroot%\\System32\\sihost.exe"}, windows + L"\\System32\\sihost.exe", true},
        {{L"%SystemRoot%\\System32\\sihost.exe"}, L"D:\\Windows\\System32\\sihost.exe", false},
        // Blank and comment rows never match, trimmed entries still do.
        {{L"", L"   ", L"\t", L"//svchost.exe*", L"  // x"}, L"C:\\svchost.exe", false},
        {{L"  \tnotepad.exe*  \r"}, L"C:\\Windows\\notepad.exe", true},
        {{L"notepad.exe*"}, L"C:notepad.exe", true},
        {{L"*"}, L"C:\\x\\", true},  // an empty file name: no process path ends so
        {{L"%SystemRoot%"}, windows + L"\\a.exe", false},
        {{L"%SystemRoot%"}, L"x%SYSTEMROOT%y", true},
        // Mixed lists: any entry may decide.
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"C:\\Program Files\\Vendor\\c.exe", true},
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"D:\\b.exe", true},
        {{L"a.exe*", L"\\Program Files\\", L"b.exe*"}, L"D:\\c.exe", false},
        {{}, L"C:\\a.exe", false},
    };
    // The prepared matcher is only ever a faster way to the same answers.
    for (const Case& c : cases) {
        const std::wstring first = c.List.empty() ? L"" : c.List.front();
        EXPECT_EQ(MatchList(c.List, c.Value, true), c.Expected) << c.Value << " vs " << first;
        EXPECT_EQ(TPreparedList(c.List, true).Match(c.Value), c.Expected) << c.Value << " vs " << first;
    }
}

TEST(MatchList, NameMode) {
    struct Case {
        TStringList List;
        std::wstring Value;
        bool Expected;
    };
    const Case cases[] = {
        {{L"cbdhsvc_"}, L"cbdhsvc_4a2f1", true},
        {{L"cbdhsvc_"}, L"CBDHSVC_x", true},
        {{L"cbdhsvc_"}, L"cbdhsvc", false},  // shorter than the entry
        {{L"AhnLab Safe Transaction"}, L"AhnLab Safe Transaction 1.5", true},
        {{L"Safe Transaction"}, L"AhnLab Safe Transaction", false},  // prefix only
        {{L"우리은행 보안"}, L"우리은행 보안 로그 수집기", true},
        {{L"스마트 모바일 사인"}, L"스마트 모바일", false},
        {{L"ÄPFEL"}, L"äpfel und birnen", true},  // locale-aware case
        // In name mode "*" is an ordinary character.
        {{L"Tool*"}, L"Tool* Pro", true},
        {{L"Tool*"}, L"Toolbox", false},
        // Blank and comment rows would otherwise prefix everything.
        {{L"", L"  ", L"//", L"// x"}, L"anything", false},
        {{L"  Dnscache  "}, L"Dnscache", true},
        {{L"/"}, L"/x", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchList(c.List, c.Value, false), c.Expected) << c.Value << " vs " << c.List.front();
        EXPECT_EQ(TPreparedList(c.List, false).Match(c.Value), c.Expected) << c.Value << " vs " << c.List.front();
    }
}

TEST(ResourceLists, LoadTheShippedListsByteForByte) {
    struct Shipped {
        const wchar_t* Name;
        const wchar_t* File;
        size_t Lines;
    } shipped[] = {
        {L"file_white", L"resources/file_white.txt", 264},
        {L"name_white", L"resources/name_white.txt", 84},
        {L"name_black", L"resources/name_black.txt", 37},
        {L"translate", L"resources/translate.txt", 0},
    };
    // The same resources as tidora.exe carries, read from the program file too.
    UniqueModule program(LoadLibraryExW(test::BinaryPath(L"tidora.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(program);
    for (const Shipped& s : shipped) {
        const std::string file = test::ReadFileBytes(test::SourcePath(s.File));
        ASSERT_FALSE(file.empty()) << s.File;
        std::string own;
        ASSERT_TRUE(ReadResourceBytes(s.Name, own)) << s.Name;
        EXPECT_EQ(own, file) << s.Name;

        HRSRC info = FindResourceW(program.get(), s.Name, MAKEINTRESOURCEW(10));
        ASSERT_NE(info, nullptr) << s.Name;
        const char* data = static_cast<const char*>(LockResource(LoadResource(program.get(), info)));
        EXPECT_EQ(std::string(data, SizeofResource(program.get(), info)), file) << s.Name;

        if (s.Lines) {
            TStringList list;
            LoadResourceList(list, s.Name);
            EXPECT_EQ(list.size(), s.Lines) << s.Name;
        }
    }
    TStringList black;
    LoadResourceList(black, L"NAME_BLACK");
    ASSERT_EQ(black.size(), 37u);
    EXPECT_EQ(black.front(), L"AnySign4PC");
    EXPECT_EQ(black[3], L"우리은행 보안 로그 수집기");
    EXPECT_EQ(black[19], L"Veraport(보안모듈 관리 프로그램) G3");
    EXPECT_EQ(black.back(), L"MaWebSAFER_STDEP(remove only)");
    EXPECT_TRUE(MatchList(black, L"AhnLab Safe Transaction 1.4.0", false));

    TStringList files;
    LoadResourceList(files, L"file_white");
    EXPECT_TRUE(MatchList(files, WindowsFolder() + L"\\System32\\sihost.exe", true));
    EXPECT_TRUE(MatchList(files, L"C:\\Windows\\System32\\csrss.exe", true));
    EXPECT_FALSE(MatchList(files, L"C:\\Games\\game.exe", true));

    TStringList names;
    LoadResourceList(names, L"name_white");
    EXPECT_EQ(names[10], L"");
    EXPECT_TRUE(MatchList(names, L"CDPUserSvc_1a2b3", false));
    EXPECT_FALSE(MatchList(names, L"SomeVendorUpdater", false));
}

TEST(ResourceLists, MissingResourceLeavesTheListAsItWas) {
    TStringList list{L"kept"};
    LoadResourceList(list, L"no_such_list");
    EXPECT_EQ(list, TStringList{L"kept"});
}

TEST(MergeJsonList, AppendsNewEntriesOnly) {
    TStringList list{L"svchost.exe*", L"dup*", L"dup*"};
    const auto reply = nlohmann::json::parse(R"({
        "file_white": ["SVCHOST.EXE*", "new.exe*", "New.EXE*", "보안.exe*", 42, true, {"a": 1}, ["x"], "dup*"],
        "name_white": "not an array"
    })");
    MergeJsonList(list, reply, "file_white");
    const TStringList expected{L"svchost.exe*", L"dup*", L"dup*", L"new.exe*", L"보안.exe*", L"42", L"true", L""};
    EXPECT_EQ(list, expected);

    MergeJsonList(list, reply, "name_white");
    MergeJsonList(list, reply, "name_black");
    MergeJsonList(list, nlohmann::json::array({"x"}), "file_white");
    MergeJsonList(list, nlohmann::json(), "file_white");
    EXPECT_EQ(list, expected);
}

TEST(TPreparedList, ShippedFileWhiteAgreesOnSystemAndUserPaths) {
    TStringList white;
    LoadResourceList(white, L"file_white");
    ASSERT_GT(white.size(), 200u);
    const TPreparedList prepared(white, true);
    const std::wstring win = WindowsFolder();
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

TEST(TPreparedList, ShippedNameWhiteAgreesOnServiceAndValueNames) {
    TStringList white;
    LoadResourceList(white, L"name_white");
    ASSERT_GT(white.size(), 50u);
    // With entries of the same length as others, longer ones, one a name
    // would not hold, and texts that compare equal without being equal
    // (a soft hyphen weighs nothing, the sharp s is "ss").
    white.insert(white.end(), {L"Stra\u00DFe", L"Tool\u00ADbox", L"\u00C4PFEL", L"\U0001F600 Smile", L"X"});
    const TPreparedList prepared(white, false);
    const std::wstring values[] = {
        L"Dnscache", L"DNSCACHE", L"dnscach", L"cbdhsvc_4a2f1", L"CDPUserSvc_1", L"Tidora", L"TidoraUpdate2",
        L"tidoraX", L"Tid", L"PageBenchEntry_1", L"Audiosrv", L"AudioEndpointBuilder", L"Audio", L"EventLog2",
        L"Strasse", L"STRASSE 1", L"Stra\u00DFe", L"Toolbox", L"Tool\u00ADbox x", L"\u00E4pfel und", L"apfel",
        L"\U0001F600 smile!", L"x", L"xy", L"Y", L"", L"\u0130stanbul", L"\uFF24nscache",
    };
    for (const std::wstring& value : values)
        EXPECT_EQ(prepared.Match(value), MatchList(white, value, false)) << value;
    EXPECT_TRUE(prepared.Match(L"DNSCACHE"));
    EXPECT_FALSE(prepared.Match(L"PageBenchEntry_1"));
}

TEST(TPreparedList, KeepsTheListAsPrepared) {
    TStringList list{L"a.exe*"};
    const TPreparedList prepared(list, true);
    list.push_back(L"b.exe*");
    EXPECT_TRUE(prepared.Match(L"C:\\a.exe"));
    EXPECT_FALSE(prepared.Match(L"C:\\b.exe"));
}

} // namespace
