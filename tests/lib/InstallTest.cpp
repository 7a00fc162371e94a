#include <gtest/gtest.h>

#include <objbase.h>

#include <map>
#include <string>
#include <vector>

#include "lib/Install.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "tests/TestSupport.h"

using namespace tidora;
using tidora::test::TTempDir;
using tidora::test::UniqueName;

namespace {

const std::wstring kUninstall64 = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kUninstall32 = L"\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A registry value to write: text (REG_SZ) or number (REG_DWORD).
struct TValue {
    TValue(std::wstring Name, std::wstring Text) : Name(std::move(Name)), Text(std::move(Text)) {}
    TValue(std::wstring Name, int32_t Number) : Name(std::move(Name)), IsNumber(true), Number(Number) {}
    std::wstring Name;
    std::wstring Text;
    bool IsNumber = false;
    int32_t Number = 0;
};

// Uninstall records under unique key names, removed at the end of the scope.
class TRecords {
public:
    TRecords() = default;
    TRecords(const TRecords&) = delete;
    TRecords& operator=(const TRecords&) = delete;
    ~TRecords() {
        for (const Written& w : FWritten) TReg::DeleteKey(w.Root, w.Key, w.Name);
    }

    void Add(HKEY Root, const std::wstring& Key, const std::vector<TValue>& Values) {
        const std::wstring name = UniqueName(L"TidoraInstallTest");
        const std::wstring path = Key + L"\\" + name;
        FWritten.push_back({Root, Key, name});
        for (const TValue& v : Values) {
            if (v.IsNumber) TReg::WriteInteger(Root, path, v.Name, v.Number);
            else TReg::WriteString(Root, path, v.Name, v.Text);
        }
        ASSERT_TRUE(TReg::IsKey(Root, path));
    }

private:
    struct Written {
        HKEY Root;
        std::wstring Key, Name;
    };
    std::vector<Written> FWritten;
};

std::vector<const TInstallInfo*> Named(const TInstallList& List, const std::wstring& Name) {
    std::vector<const TInstallInfo*> found;
    for (const TInstallInfo& info : List)
        if (info.DisplayName == Name) found.push_back(&info);
    return found;
}

const TInstallInfo* FindOne(const TInstallList& List, const std::wstring& Name) {
    auto found = Named(List, Name);
    EXPECT_EQ(found.size(), 1u) << "records named " << testing::PrintToString(Name);
    return found.size() == 1 ? found[0] : nullptr;
}

std::wstring Environment(const wchar_t* Name) {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD got = GetEnvironmentVariableW(Name, buffer, MAX_PATH + 1);
    return got && got <= MAX_PATH ? std::wstring(buffer, got) : std::wstring();
}

// Sets a folder's last-write time to noon of a local date.
bool SetFolderDate(const std::wstring& Folder, WORD Year, WORD Month, WORD Day) {
    SYSTEMTIME local{}, utc{};
    local.wYear = Year;
    local.wMonth = Month;
    local.wDay = Day;
    local.wHour = 12;
    FILETIME time{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &time)) return false;
    UniqueFileHandle folder(CreateFileW(Folder.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder && SetFileTime(folder.get(), nullptr, nullptr, &time);
}

std::wstring NewProductCode() {
    GUID guid{};
    wchar_t text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || !StringFromGUID2(guid, text, 40)) return L"{" + UniqueName(L"Product") + L"}";
    return text;
}

TEST(GetInstall, SkipsSystemComponentsUpdatesAndUnremovableRecords) {
    struct Case {
        std::vector<TValue> Extra;
        bool Listed;
        const char* Why;
    };
    const Case cases[] = {
        {{{L"SystemComponent", 1}}, false, "SystemComponent 1 as a number"},
        {{{L"SystemComponent", L"1"}}, true, "SystemComponent 1 as text is no flag"},
        {{{L"SystemComponent", 0}}, true, "SystemComponent 0"},
        {{{L"ParentKeyName", L""}}, false, "ParentKeyName, empty text"},
        {{{L"ParentKeyName", 0}}, false, "ParentKeyName, a number 0"},
        {{{L"NoRemove", 1}}, false, "NoRemove 1"},
        {{{L"NoRemove", 7}}, false, "NoRemove other than 0"},
        {{{L"NoRemove", L"1"}}, true, "NoRemove as text"},
    };
    TRecords records;
    std::vector<std::wstring> names;
    for (const Case& c : cases) {
        names.push_back(UniqueName(L"TidoraSkip"));
        std::vector<TValue> values = c.Extra;
        values.emplace_back(L"DisplayName", names.back());
        values.emplace_back(L"UninstallString", L"C:\\Apps\\uninst.exe");
        records.Add(HKEY_LOCAL_MACHINE, kUninstall64, values);
    }
    // Names and commands that are empty once trimmed, or missing.
    const std::wstring blankCommand = UniqueName(L"TidoraBlankCommand");
    const std::wstring noCommand = UniqueName(L"TidoraNoCommand");
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, {{L"DisplayName", blankCommand}, {L"UninstallString", L" \t "}});
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, {{L"DisplayName", noCommand}});
    const std::wstring blankNameCommand = L"C:\\Apps\\" + UniqueName(L"blank") + L".exe";
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, {{L"DisplayName", L"  \t"}, {L"UninstallString", blankNameCommand}});
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, {{L"UninstallString", blankNameCommand}});

    TInstallList list;
    GetInstall(list);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Named(list, names[i]).size(), cases[i].Listed ? 1u : 0u) << cases[i].Why;
    EXPECT_TRUE(Named(list, blankCommand).empty());
    EXPECT_TRUE(Named(list, noCommand).empty());
    for (const TInstallInfo& info : list) {
        EXPECT_FALSE(info.DisplayName.empty());
        EXPECT_FALSE(info.UninstallString.empty());
        EXPECT_NE(info.UninstallString, blankNameCommand);
    }
}

TEST(GetInstall, KeepsFieldsAndTrimsNamePublisherAndCommand) {
    const std::wstring name = UniqueName(L"TidoraFields");
    TRecords records;
    records.Add(HKEY_CURRENT_USER, kUninstall64,
                {{L"DisplayName", L"  " + name + L"\t"},
                 {L"UninstallString", L" C:\\Apps\\uninst.exe /S \r\n"},
                 {L"Publisher", L" Maker Inc. "},
                 {L"DisplayVersion", L" 1.2.3 "},
                 {L"HelpLink", L"https://example.com/help "},
                 {L"InstallLocation", L"C:\\Apps\\"},
                 {L"URLInfoAbout", L"https://example.com/"},
                 {L"InstallDate", L"20200102"},
                 {L"EstimatedSize", 4096},
                 {L"DisplayIcon", L"C:\\Apps\\app.exe"}});
    const std::wstring textSize = UniqueName(L"TidoraTextSize");
    records.Add(HKEY_CURRENT_USER, kUninstall64,
                {{L"DisplayName", textSize}, {L"UninstallString", L"C:\\Apps\\u.exe"}, {L"EstimatedSize", L"4096"}});

    TInstallList list;
    GetInstall(list);
    const TInstallInfo* info = FindOne(list, name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->UninstallString, L"C:\\Apps\\uninst.exe /S");
    EXPECT_EQ(info->Publisher, L"Maker Inc.");
    EXPECT_EQ(info->DisplayVersion, L" 1.2.3 ");
    EXPECT_EQ(info->HelpLink, L"https://example.com/help ");
    EXPECT_EQ(info->InstallLocation, L"C:\\Apps\\");
    EXPECT_EQ(info->URLInfoAbout, L"https://example.com/");
    EXPECT_EQ(info->InstallDate, L"20200102");
    EXPECT_EQ(info->EstimatedSize, 4096);
    EXPECT_EQ(info->DisplayIcon, L"C:\\Apps\\app.exe");
    EXPECT_EQ(info->DisplayIconIndex, 0);
    info = FindOne(list, textSize);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->EstimatedSize, 0);
    EXPECT_EQ(info->Publisher, L"");
}

TEST(GetInstall, ListsEachNameAndPublisherOnceFirstKeyWinning) {
    const std::wstring both = UniqueName(L"TidoraBothViews");
    const std::wstring twoMakers = UniqueName(L"TidoraTwoMakers");
    const std::wstring order = UniqueName(L"TidoraKeyOrder");
    const std::wstring lastKey = UniqueName(L"TidoraUser32");
    auto record = [](const std::wstring& Name, const std::wstring& Publisher, const std::wstring& Version) {
        return std::vector<TValue>{{L"DisplayName", Name},
                                   {L"Publisher", Publisher},
                                   {L"UninstallString", L"C:\\Apps\\uninst.exe"},
                                   {L"DisplayVersion", Version}};
    };
    TRecords records;
    // Written 32-bit first, so enumeration order cannot be what picks the 64-bit one.
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32, record(both, L"Maker", L"lm32"));
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, record(both, L"Maker", L"lm64"));
    records.Add(HKEY_CURRENT_USER, kUninstall64, record(both, L"Maker ", L"cu64"));
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64, record(twoMakers, L"Maker", L"lm64"));
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32, record(twoMakers, L"Other Maker", L"lm32"));
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32, record(twoMakers, L"maker", L"lm32 lower"));
    // The machine's 32-bit view comes before the user's 64-bit one.
    records.Add(HKEY_CURRENT_USER, kUninstall64, record(order, L"Maker", L"cu64"));
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32, record(order, L"Maker", L"lm32"));
    records.Add(HKEY_CURRENT_USER, kUninstall32, record(lastKey, L"Maker", L"cu32"));
    // Names compare with their letter case.
    const std::wstring lowerName = L"t" + lastKey.substr(1);
    records.Add(HKEY_CURRENT_USER, kUninstall32, record(lowerName, L"Maker", L"lower case"));

    TInstallList list;
    GetInstall(list);
    const TInstallInfo* info = FindOne(list, both);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->DisplayVersion, L"lm64");
    // Publishers compare exactly too: three records.
    auto makers = Named(list, twoMakers);
    ASSERT_EQ(makers.size(), 3u);
    const std::map<std::wstring, std::wstring> versions{
        {L"Maker", L"lm64"}, {L"Other Maker", L"lm32"}, {L"maker", L"lm32 lower"}};
    for (const TInstallInfo* m : makers) EXPECT_EQ(versions.at(m->Publisher), m->DisplayVersion);
    info = FindOne(list, order);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->DisplayVersion, L"lm32");
    info = FindOne(list, lastKey);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->DisplayVersion, L"cu32");
    info = FindOne(list, lowerName);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->DisplayVersion, L"lower case");
}

// Program X's record is deleted right after its name was read from the
// uninstall key (through the enumeration seam): program Y, whose key slid into
// X's index, must still be listed.
std::wstring RacedUninstallKey;
bool RaceDone = false;
void DeleteProgramX(HKEY, DWORD) {
    if (RaceDone) return;
    RaceDone = true;
    TReg::DeleteKey(HKEY_CURRENT_USER, RacedUninstallKey, L"X");
}

TEST(ReadUninstallKey, ARecordDeletedWhileTheKeyIsReadCostsOnlyThatRecord) {
    const std::wstring name = UniqueName(L"TidoraUninstallRace");
    RacedUninstallKey = L"\\Software\\" + name;
    for (const wchar_t* program : {L"X", L"Y"}) {
        const std::wstring record = RacedUninstallKey + L"\\" + program;
        TReg::WriteString(HKEY_CURRENT_USER, record, L"DisplayName", std::wstring(L"Program ") + program);
        TReg::WriteString(HKEY_CURRENT_USER, record, L"UninstallString", L"C:\\nowhere\\uninst.exe");
    }
    TInstallList list;
    TInstallIndex index;
    TPlatform racing = RealPlatform();
    racing.KeyEnumerationStep = DeleteProgramX;
    ReadUninstallKey(list, index, HKEY_CURRENT_USER, RacedUninstallKey, racing);
    TReg::DeleteKey(HKEY_CURRENT_USER, L"\\Software", name);
    EXPECT_TRUE(RaceDone);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].DisplayName, L"Program Y");
}

TEST(IndexOfInstall, FirstExactMatchOfTrimmedNameAndPublisher) {
    TInstallList list(4);
    list[0].DisplayName = L"App";
    list[0].Publisher = L"Maker";
    list[1].DisplayName = L"App";
    list[1].Publisher = L"";
    list[2].DisplayName = L"App";
    list[2].Publisher = L"Maker";
    list[3].DisplayName = L"Maker";
    list[3].Publisher = L"App";
    const TInstallIndex index(list);
    EXPECT_EQ(IndexOfInstall(index, L"App", L"Maker"), 0);
    EXPECT_EQ(IndexOfInstall(index, L" App\t", L"Maker "), 0);
    EXPECT_EQ(IndexOfInstall(index, L"App", L""), 1);
    EXPECT_EQ(IndexOfInstall(index, L"Maker", L"App"), 3);
    EXPECT_EQ(IndexOfInstall(index, L"app", L"Maker"), -1);
    EXPECT_EQ(IndexOfInstall(index, L"AppMaker", L""), -1);
    EXPECT_EQ(IndexOfInstall(index, L"App", L"MAKER"), -1);
    EXPECT_EQ(IndexOfInstall(TInstallIndex(), L"App", L"Maker"), -1);
}

TEST(GetInstall, IconPathAndNumber) {
    const std::wstring programs = Environment(L"ProgramW6432");
    struct Case {
        std::wstring Icon;       // DisplayIcon value; empty: none, the command stands in
        std::wstring Command;
        std::wstring Path;
        uint16_t Index;
    };
    const Case cases[] = {
        {L"C:\\Apps\\app.exe,0", L"u.exe", L"C:\\Apps\\app.exe", 0},
        {L"C:\\Apps\\app.exe,5", L"u.exe", L"C:\\Apps\\app.exe", 5},
        {L"C:\\Apps\\app.exe,-1", L"u.exe", L"C:\\Apps\\app.exe", 0},
        {L"C:\\Apps\\app.exe,101", L"u.exe", L"C:\\Apps\\app.exe", 0},
        {L"C:\\Apps\\app.exe,100", L"u.exe", L"C:\\Apps\\app.exe", 100},
        {L"C:\\Apps\\app.exe, 7 ", L"u.exe", L"C:\\Apps\\app.exe", 7},
        {L"C:\\Apps\\app.exe,x", L"u.exe", L"C:\\Apps\\app.exe", 0},
        {L"C:\\Apps\\app.exe,65541", L"u.exe", L"C:\\Apps\\app.exe", 0},
        {L"C:\\Apps\\app.exe", L"u.exe", L"C:\\Apps\\app.exe", 0},
        // Quoted as a whole: the quotes go, then the number is split off.
        {L"\"C:\\Program Files\\App\\app.exe\"", L"u.exe", L"C:\\Program Files\\App\\app.exe", 0},
        {L"\"C:\\Apps\\app.exe,3\"", L"u.exe", L"C:\\Apps\\app.exe", 3},
        // A quoted path followed by a comma and a number.
        {L"\"C:\\Program Files\\App\\app.exe\",3", L"u.exe", L"C:\\Program Files\\App\\app.exe", 3},
        {L"\"C:\\Program Files\\App\\app.exe\",-2", L"u.exe", L"C:\\Program Files\\App\\app.exe", 0},
        {L"\"C:\\Program Files\\Maker, Inc\\app.exe\",2", L"u.exe", L"C:\\Program Files\\Maker, Inc\\app.exe", 2},
        // An opening quote that is never closed.
        {L"\"C:\\Apps\\app.exe,4", L"u.exe", L"C:\\Apps\\app.exe", 4},
        // No icon value: the quoted uninstaller, its arguments left out.
        {L"", L"\"C:\\Program Files\\App\\uninst.exe\" /S", L"C:\\Program Files\\App\\uninst.exe", 0},
        {L"", L"C:\\Apps\\uninst.exe", L"C:\\Apps\\uninst.exe", 0},
        {L"%ProgramFiles%\\App\\app.exe,1", L"u.exe", programs + L"\\App\\app.exe", 1},
    };
    TRecords records;
    std::vector<std::wstring> names;
    for (const Case& c : cases) {
        names.push_back(UniqueName(L"TidoraIcon"));
        std::vector<TValue> values{{L"DisplayName", names.back()}, {L"UninstallString", c.Command}};
        if (!c.Icon.empty()) values.emplace_back(L"DisplayIcon", c.Icon);
        records.Add(HKEY_LOCAL_MACHINE, kUninstall64, values);
    }
    TInstallList list;
    GetInstall(list);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TInstallInfo* info = FindOne(list, names[i]);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->DisplayIcon, cases[i].Path) << testing::PrintToString(cases[i].Icon);
        EXPECT_EQ(info->DisplayIconIndex, cases[i].Index) << testing::PrintToString(cases[i].Icon);
    }
}

// A product's folder in the Windows Installer cache of the prefix, removed
// afterwards together with the cache folder when the test made it.
class InstallerCache : public testing::Test {
protected:
    void SetUp() override {
        FCache = Environment(L"WinDir") + L"\\Installer";
        ASSERT_FALSE(Environment(L"WinDir").empty());
        FMadeCache = CreateDirectoryW(FCache.c_str(), nullptr) != 0;
    }
    void TearDown() override {
        for (auto it = FFiles.rbegin(); it != FFiles.rend(); ++it) DeleteFileW(it->c_str());
        for (auto it = FFolders.rbegin(); it != FFolders.rend(); ++it) RemoveDirectoryW(it->c_str());
        if (FMadeCache) RemoveDirectoryW(FCache.c_str());
    }
    std::wstring MakeFolder(const std::wstring& Code) {
        FFolders.push_back(FCache + L"\\" + Code);
        EXPECT_TRUE(CreateDirectoryW(FFolders.back().c_str(), nullptr));
        return FFolders.back();
    }
    void MakeFile(const std::wstring& Path) {
        FFiles.push_back(Path);
        EXPECT_TRUE(test::WriteFileBytes(Path, "icon"));
    }

    std::wstring FCache;
    bool FMadeCache = false;
    std::vector<std::wstring> FFolders, FFiles;
};

TEST_F(InstallerCache, WindowsInstallerRecordsTakeTheCachedIconOrMsiexec) {
    const std::wstring msiexec = Environment(L"WinDir") + L"\\System32\\msiexec.exe";
    const std::wstring withFile = NewProductCode(), empty = NewProductCode(), missing = NewProductCode();
    const std::wstring folder = MakeFolder(withFile);
    // A subfolder listed first is no icon.
    MakeFolder(withFile + L"\\0");
    MakeFile(folder + L"\\ARPPRODUCTICON.exe");
    // An empty folder, but for a subfolder.
    MakeFolder(empty);
    MakeFolder(empty + L"\\sub");

    const std::wstring cached = UniqueName(L"TidoraMsiCached");
    const std::wstring emptyName = UniqueName(L"TidoraMsiEmpty");
    const std::wstring missingName = UniqueName(L"TidoraMsiMissing");
    const std::wstring iconValue = UniqueName(L"TidoraMsiIconValue");
    TRecords records;
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32,
                {{L"DisplayName", cached}, {L"UninstallString", L"MsiExec.exe /X" + withFile}});
    records.Add(HKEY_LOCAL_MACHINE, kUninstall64,
                {{L"DisplayName", emptyName}, {L"UninstallString", L"MsiExec.exe /I" + empty}});
    records.Add(HKEY_CURRENT_USER, kUninstall64,
                {{L"DisplayName", missingName}, {L"UninstallString", L"msiexec /x " + missing}});
    records.Add(HKEY_CURRENT_USER, kUninstall64,
                {{L"DisplayName", iconValue},
                 {L"UninstallString", L"C:\\Apps\\u.exe"},
                 {L"DisplayIcon", L"C:\\Windows\\System32\\msiexec.exe,3"}});

    TInstallList list;
    GetInstall(list);
    const TInstallInfo* info = FindOne(list, cached);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->DisplayIcon, folder + L"\\ARPPRODUCTICON.exe");
    EXPECT_EQ(info->UninstallString, L"MsiExec.exe /X" + withFile);
    for (const std::wstring& name : {emptyName, missingName, iconValue}) {
        info = FindOne(list, name);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->DisplayIcon, msiexec);
        EXPECT_EQ(info->DisplayIconIndex, 0);
    }
}

TEST(FindInstallerIcon, NeedsABracedCode) {
    EXPECT_EQ(FindInstallerIcon(L"MsiExec.exe /X"), L"");
    EXPECT_EQ(FindInstallerIcon(L"MsiExec.exe /X}{ABC"), L"");
    EXPECT_EQ(FindInstallerIcon(L"MsiExec.exe /X{ABC"), L"");
    EXPECT_EQ(FindInstallerIcon(L"MsiExec.exe /X{" + UniqueName(L"NoSuchProduct") + L"}"), L"");
}

TEST(GetInstall, DatesKeepEightDigitsOrTakeTheIconFolderDate) {
    TTempDir dir;
    const std::wstring folder = dir.File(L"App");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring icon = folder + L"\\app.exe";
    ASSERT_TRUE(test::WriteFileBytes(icon, "MZ"));
    ASSERT_TRUE(SetFolderDate(folder, 2019, 3, 4));
    const std::wstring missingIcon = folder + L"\\gone.exe";

    struct Case {
        std::wstring Date;  // empty: no value
        std::wstring Icon;
        std::wstring Expected;
    };
    const Case cases[] = {
        {L"2021-07-15", missingIcon, L"20210715"},
        {L"2021/07/15", icon, L"20210715"},
        {L"20210715", icon, L"20210715"},
        {L"7/5/2021", icon, L"20190304"},
        {L"7/5/2021", missingIcon, L"752021"},
        {L"", icon, L"20190304"},
        {L"", missingIcon, L""},
        {L"2021-07-15 10:30", icon, L"20190304"},
    };
    TRecords records;
    std::vector<std::wstring> names;
    for (const Case& c : cases) {
        names.push_back(UniqueName(L"TidoraDate"));
        std::vector<TValue> values{
            {L"DisplayName", names.back()}, {L"UninstallString", L"C:\\Apps\\u.exe"}, {L"DisplayIcon", c.Icon + L",0"}};
        if (!c.Date.empty()) values.emplace_back(L"InstallDate", c.Date);
        records.Add(HKEY_CURRENT_USER, kUninstall32, values);
    }
    const std::wstring numberDate = UniqueName(L"TidoraNumberDate");
    records.Add(HKEY_CURRENT_USER, kUninstall32,
                {{L"DisplayName", numberDate}, {L"UninstallString", L"C:\\Apps\\u.exe"}, {L"InstallDate", 20180101}});

    TInstallList list;
    GetInstall(list);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TInstallInfo* info = FindOne(list, names[i]);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->InstallDate, cases[i].Expected) << testing::PrintToString(cases[i].Date);
    }
    const TInstallInfo* info = FindOne(list, numberDate);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->InstallDate, L"20180101");

    // Newest first by the texts, undated records after every dated one.
    bool undated = false;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) {
            EXPECT_LE(CompareInstallDate(list[i - 1], list[i]), 0) << i;
        }
        if (list[i].InstallDate.empty()) {
            undated = true;
        } else {
            EXPECT_FALSE(undated) << "dated record after an undated one at " << i;
        }
    }
    EXPECT_TRUE(undated);
}

TEST(FolderDate, HiddenFoldersAndBarePathsGiveNoDate) {
    TTempDir dir;
    const std::wstring shown = dir.File(L"Shown"), hidden = dir.File(L"Hidden");
    ASSERT_TRUE(CreateDirectoryW(shown.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(hidden.c_str(), nullptr));
    ASSERT_TRUE(SetFolderDate(shown, 2001, 12, 31));
    ASSERT_TRUE(SetFolderDate(hidden, 2001, 12, 31));
    ASSERT_TRUE(SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    // The folder's own entry counts, whether or not the file is there.
    EXPECT_EQ(FolderDate(shown + L"\\any.exe"), L"20011231");
    EXPECT_EQ(FolderDate(hidden + L"\\any.exe"), L"");
    EXPECT_EQ(FolderDate(dir.File(L"Missing\\any.exe")), L"");
    EXPECT_EQ(FolderDate(L"app.exe"), L"");
    EXPECT_EQ(FolderDate(dir.File(L"Sh*\\any.exe")), L"");
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ExpandProgramFiles, SixtyFourBitProgramFolderInAnyCase) {
    const std::wstring programs = Environment(L"ProgramW6432");
    ASSERT_FALSE(programs.empty());
    EXPECT_EQ(programs.find(L"(x86)"), std::wstring::npos);
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"%ProgramFiles%\\App\\u.exe", programs + L"\\App\\u.exe"},
        {L"\"%programfiles%\\App\\u.exe\" /x", L"\"" + programs + L"\\App\\u.exe\" /x"},
        {L"%PROGRAMFILES%\\a;%ProgramFiles%\\b", programs + L"\\a;" + programs + L"\\b"},
        {L"%ProgramFiles(x86)%\\App\\u.exe", L"%ProgramFiles(x86)%\\App\\u.exe"},
        {L"%ProgramFiles\\u.exe", L"%ProgramFiles\\u.exe"},
        {L"C:\\Apps\\u.exe", L"C:\\Apps\\u.exe"},
        {L"", L""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ExpandProgramFiles(text), expected) << text.size();

    const std::wstring name = UniqueName(L"TidoraProgramFiles");
    TRecords records;
    records.Add(HKEY_LOCAL_MACHINE, kUninstall32,
                {{L"DisplayName", name}, {L"UninstallString", L"%ProgramFiles%\\App\\uninst.exe /S"}});
    TInstallList list;
    GetInstall(list);
    const TInstallInfo* info = FindOne(list, name);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->UninstallString, programs + L"\\App\\uninst.exe /S");
    EXPECT_EQ(info->DisplayIcon, programs + L"\\App\\uninst.exe /S");
}

} // namespace
