#include <gtest/gtest.h>

#include <shlobj.h>

#include "system/Path.h"

using namespace tidora;

namespace {

struct SplitCase {
    const wchar_t* Line;
    const wchar_t* Program;
    const wchar_t* Parameters;
};

TEST(SplitCommandLine, Cases) {
    const SplitCase cases[] = {
        {L"", L"", L""},
        {L" \t\r\n ", L"", L""},
        // Quoted program: quotes dropped, both parts trimmed.
        {L"  \"C:\\Program Files\\App\\app.exe\"   /s  /q  ", L"C:\\Program Files\\App\\app.exe", L"/s  /q"},
        {L"\" C:\\Spaced\\app.exe \"-x", L"C:\\Spaced\\app.exe", L"-x"},
        {L"\"C:\\Program Files\\App\\app.exe\"", L"C:\\Program Files\\App\\app.exe", L""},
        // No closing quote: the whole rest is the program.
        {L"\"C:\\Program Files\\App\\app.exe /s", L"C:\\Program Files\\App\\app.exe /s", L""},
        // Unquoted: cut right after the extension, whatever its case.
        {L"C:\\Program Files\\App\\App.EXE /s", L"C:\\Program Files\\App\\App.EXE", L"/s"},
        {L"c:\\program files\\app\\app.exe", L"c:\\program files\\app\\app.exe", L""},
        {L"C:\\Tools\\build.Bat  one two ", L"C:\\Tools\\build.Bat", L"one two"},
        {L"C:\\Tools\\run.cMd arg", L"C:\\Tools\\run.cMd", L"arg"},
        {L"C:\\Old\\edit.com file.txt", L"C:\\Old\\edit.com", L"file.txt"},
        {L"C:\\Setup\\product.msi /quiet", L"C:\\Setup\\product.msi", L"/quiet"},
        // The earliest of the five wins, not the first in the list.
        {L"C:\\Tools\\wrap.cmd C:\\App\\app.exe", L"C:\\Tools\\wrap.cmd", L"C:\\App\\app.exe"},
        // Found anywhere, with nothing checked after it.
        {L"C:\\my.exe.d\\tool.exe -a", L"C:\\my.exe", L".d\\tool.exe -a"},
        {L"C:\\App\\app.exec -a", L"C:\\App\\app.exe", L"c -a"},
        {L"ping example.com -t", L"ping example.com", L"-t"},
        // None of the five: the first space divides.
        {L"notepad", L"notepad", L""},
        {L"notepad readme.txt", L"notepad", L"readme.txt"},
        {L"first   second third", L"first", L"second third"},
    };
    for (const SplitCase& c : cases) {
        std::wstring program = L"stale", parameters = L"stale";
        SplitCommandLine(c.Line, program, parameters);
        EXPECT_EQ(program, c.Program) << c.Line;
        EXPECT_EQ(parameters, c.Parameters) << c.Line;
    }
}

struct FileCase {
    const wchar_t* Line;
    const wchar_t* File;  // "<win>" stands for the Windows folder
};

TEST(CommandLineToFile, Cases) {
    const std::wstring windows = GetFolderPath(CSIDL_WINDOWS);
    ASSERT_FALSE(windows.empty());
    const FileCase cases[] = {
        {L"", L""},
        // Service image paths in the kernel's object-name form.
        {L"\\??\\C:\\Windows\\system32\\drivers\\probe.sys", L"C:\\Windows\\system32\\drivers\\probe.sys"},
        {L"\\??\\C:\\Program Files\\Svc\\svc.exe -k run", L"C:\\Program Files\\Svc\\svc.exe"},
        // The prefix is taken only exactly as written.
        {L"\\??C:\\x.exe", L"\\??C:\\x.exe"},
        // rundll32: the DLL, quoted or not, without its entry point.
        {L"rundll32.exe \"C:\\Program Files\\Lib\\lib.dll\",Entry arg", L"C:\\Program Files\\Lib\\lib.dll"},
        {L"C:\\Windows\\System32\\RUNDLL32.EXE  C:\\Lib\\lib.dll,Entry", L"C:\\Lib\\lib.dll"},
        {L"\"C:\\Windows\\System32\\rundll32.exe\" shell32.dll,Control_RunDLL", L"shell32.dll"},
        {L"rundll32.exe \"C:\\Lib\\lib.dll,Entry", L""},
        {L"rundll32.exe C:\\Lib\\lib.dll", L"C:\\Lib\\lib.dll"},
        // Without parameters rundll32 itself is the file; a name that only
        // ends in rundll32.exe is an ordinary program.
        {L"C:\\Windows\\System32\\rundll32.exe", L"C:\\Windows\\System32\\rundll32.exe"},
        {L"C:\\Tools\\myrundll32.exe lib.dll,Entry", L"C:\\Tools\\myrundll32.exe"},
        // Doubled backslashes become single, left to right, also at the start
        // of a network path.
        {L"C:\\\\Program Files\\\\App\\\\app.exe /s", L"C:\\Program Files\\App\\app.exe"},
        {L"\\\\server\\share\\tool.exe /x", L"\\server\\share\\tool.exe"},
        {L"\"\\\\\\server\\share\\x.exe\"", L"\\\\server\\share\\x.exe"},
        // Placeholders, in any letter case, also inside quotes and in the DLL.
        {L"%SystemRoot%\\System32\\svchost.exe -k netsvcs", L"<win>\\System32\\svchost.exe"},
        {L"\"%systemroot%\\explorer.exe\"", L"<win>\\explorer.exe"},
        {L"rundll32.exe %SystemRoot%\\System32\\shell32.dll,Run", L"<win>\\System32\\shell32.dll"},
        {L"%SystemRoot%", L"%SystemRoot%"},
    };
    for (const FileCase& c : cases) {
        std::wstring expected = c.File;
        if (expected.compare(0, 5, L"<win>") == 0) expected = windows + expected.substr(5);
        EXPECT_EQ(CommandLineToFile(c.Line), expected) << c.Line;
    }
}

} // namespace
