#include <gtest/gtest.h>

#include <shlobj.h>

#include "system/Path.h"
#include "system/Strings.h"

using namespace tidora;

namespace {

TEST(FolderPath, RealFoldersWithoutTrailingBackslash) {
    const std::wstring windows = GetFolderPath(CSIDL_WINDOWS);
    ASSERT_FALSE(windows.empty());
    EXPECT_NE(windows.back(), L'\\');
    EXPECT_TRUE(SameTextAscii(windows, 0, L"C:\\windows", 10)) << windows;
    EXPECT_EQ(GetFolderPath(0x7FFF), L"");
}

TEST(FolderPath, RemoveX86) {
    EXPECT_EQ(RemoveX86(L"C:\\Program Files (x86)"), L"C:\\Program Files");
    EXPECT_EQ(RemoveX86(L"C:\\Program Files (X86)\\Common Files"), L"C:\\Program Files\\Common Files");
    EXPECT_EQ(RemoveX86(L"D:\\a (x86)\\b (x86)"), L"D:\\a\\b (x86)");
    EXPECT_EQ(RemoveX86(L"C:\\Program Files"), L"C:\\Program Files");
    EXPECT_EQ(RemoveX86(L"(x86)"), L"(x86)");
}

// What a 32-bit process is told on each kind of Windows.
std::wstring FakeFolder(int csidl) {
    switch (csidl) {
    case CSIDL_WINDOWS: return L"C:\\Windows";
    case CSIDL_COMMON_DOCUMENTS: return L"C:\\Users\\Public\\Documents";
    case CSIDL_COMMON_APPDATA: return L"C:\\ProgramData";
    case CSIDL_APPDATA: return L"C:\\Users\\u\\AppData\\Roaming";
    case CSIDL_PROGRAM_FILES: return L"C:\\Program Files (x86)";
    case CSIDL_PROGRAM_FILESX86: return L"C:\\Program Files (x86)";
    case CSIDL_PROGRAM_FILES_COMMON: return L"C:\\Program Files (x86)\\Common Files";
    case CSIDL_PROGRAM_FILES_COMMONX86: return L"C:\\Program Files (x86)\\Common Files";
    default: return L"";
    }
}

// On 32-bit Windows there is one program folder, without "(x86)".
std::wstring X86Folder(int csidl) {
    if (csidl == CSIDL_PROGRAM_FILES) return L"C:\\Program Files";
    if (csidl == CSIDL_PROGRAM_FILES_COMMON) return L"C:\\Program Files\\Common Files";
    return FakeFolder(csidl);
}

std::wstring FolderOf(const TPlaceholders& table, const std::wstring& name) {
    for (const auto& [n, f] : table)
        if (n == name) return f;
    return L"<none>";
}

TEST(Placeholders, TableOnX64AndOtherWindows) {
    const TPlaceholders x64 = BuildPlaceholders(true, FakeFolder);
    const std::vector<std::wstring> order = {L"%SystemRoot%", L"%Public%", L"%ProgramData%", L"%WinDir%",
        L"%ProgramFiles(x86)%", L"%CommonProgramFiles%", L"%AppData%", L"%ProgramFiles%",
        L"%CommonProgramFiles(x86)%"};
    ASSERT_EQ(x64.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(x64[i].first, order[i]);
    EXPECT_EQ(FolderOf(x64, L"%ProgramFiles%"), L"C:\\Program Files");
    EXPECT_EQ(FolderOf(x64, L"%ProgramFiles(x86)%"), L"C:\\Program Files (x86)");
    EXPECT_EQ(FolderOf(x64, L"%CommonProgramFiles%"), L"C:\\Program Files\\Common Files");
    EXPECT_EQ(FolderOf(x64, L"%CommonProgramFiles(x86)%"), L"C:\\Program Files (x86)\\Common Files");
    EXPECT_EQ(FolderOf(x64, L"%WinDir%"), L"C:\\Windows");

    const TPlaceholders x86 = BuildPlaceholders(false, X86Folder);
    EXPECT_EQ(FolderOf(x86, L"%ProgramFiles%"), L"C:\\Program Files");
    EXPECT_EQ(FolderOf(x86, L"%ProgramFiles(x86)%"), L"C:\\Program Files");
    EXPECT_EQ(FolderOf(x86, L"%CommonProgramFiles(x86)%"), L"C:\\Program Files\\Common Files");

    // The prefix is 64-bit Windows: the program table names the 64-bit folder.
    EXPECT_TRUE(IsX64Windows());
    EXPECT_TRUE(SameTextAscii(FolderOf(Placeholders(), L"%ProgramFiles%"), 0, L"C:\\Program Files", 16));
    EXPECT_EQ(FolderOf(Placeholders(), L"%ProgramFiles%").size(), 16u);
    EXPECT_TRUE(SameTextAscii(FolderOf(Placeholders(), L"%ProgramFiles(x86)%"), 0, L"C:\\Program Files (x86)", 22));
    EXPECT_EQ(FolderOf(Placeholders(), L"%ProgramFiles(x86)%").size(), 22u);
}

TEST(Placeholders, Expand) {
    const TPlaceholders t = BuildPlaceholders(true, FakeFolder);
    struct Case { const wchar_t* In; const wchar_t* Out; } cases[] = {
        {L"%SystemRoot%\\System32\\sihost.exe", L"C:\\Windows\\System32\\sihost.exe"},
        {L"%systemroot%\\x.exe", L"C:\\Windows\\x.exe"},
        {L"%PROGRAMFILES(X86)%\\VMware\\vmware.exe", L"C:\\Program Files (x86)\\VMware\\vmware.exe"},
        {L"%ProgramFiles%\\A\\b.exe", L"C:\\Program Files\\A\\b.exe"},
        {L"%SystemRoot%", L"%SystemRoot%"},          // nothing after it
        {L"%SystemRoot%x", L"%SystemRoot%x"},        // no backslash
        {L"x%SystemRoot%\\a", L"x%SystemRoot%\\a"},  // not leading
        {L"%Unknown%\\a", L"%Unknown%\\a"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandPlaceholders(c.In, t), c.Out) << c.In;

    // A folder that could not be had stands for the empty text.
    TPlaceholders missing = t;
    missing[0].second.clear();
    EXPECT_EQ(ExpandPlaceholders(L"%SystemRoot%\\a.exe", missing), L"\\a.exe");
    EXPECT_EQ(ShortenPath(L"\\server\\x", missing), L"%SystemRoot%\\server\\x");
}

TEST(Placeholders, ShortenFollowsTheLookupOrder) {
    const TPlaceholders t = BuildPlaceholders(true, FakeFolder);
    struct Case { const wchar_t* In; const wchar_t* Out; } cases[] = {
        {L"C:\\Windows\\explorer.exe", L"%SystemRoot%\\explorer.exe"},   // never %WinDir%
        {L"c:\\windows\\System32\\a.exe", L"%SystemRoot%\\System32\\a.exe"},
        {L"C:\\WindowsOld\\a.exe", L"C:\\WindowsOld\\a.exe"},
        {L"C:\\Windows", L"C:\\Windows"},
        {L"C:\\Program Files\\Common Files\\x.dll", L"%CommonProgramFiles%\\x.dll"},
        {L"C:\\Program Files (x86)\\Common Files\\x.dll", L"%ProgramFiles(x86)%\\Common Files\\x.dll"},
        {L"C:\\Program Files\\App\\a.exe", L"%ProgramFiles%\\App\\a.exe"},
        {L"C:\\Users\\u\\AppData\\Roaming\\T\\a.exe", L"%AppData%\\T\\a.exe"},
        {L"C:\\Users\\Public\\Documents\\d.txt", L"%Public%\\d.txt"},
        {L"C:\\ProgramData\\x", L"%ProgramData%\\x"},
        {L"D:\\Games\\g.exe", L"D:\\Games\\g.exe"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(ShortenPath(c.In, t), c.Out) << c.In;

    // On 32-bit Windows everything under the program folder is "(x86)".
    const TPlaceholders x86 = BuildPlaceholders(false, X86Folder);
    EXPECT_EQ(ShortenPath(L"C:\\Program Files\\Common Files\\x.dll", x86), L"%ProgramFiles(x86)%\\Common Files\\x.dll");
    EXPECT_EQ(ShortenPath(L"C:\\Program Files\\App\\a.exe", x86), L"%ProgramFiles(x86)%\\App\\a.exe");
}

} // namespace
