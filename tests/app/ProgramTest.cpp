// The shipped program file: what Windows reads from it before any code runs.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "system/Handles.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"

using namespace tidora;

namespace {

std::wstring ProgramPath() {
    return test::BinaryPath(L"tidora.exe");
}

std::string Manifest() {
    UniqueModule program(LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!program) return {};
    HRSRC info = FindResourceW(program.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (!info) return {};
    const char* data = static_cast<const char*>(LockResource(LoadResource(program.get(), info)));
    return std::string(data, SizeofResource(program.get(), info));
}

TEST(Program, ManifestAsksForAdministratorDpiAndWindowsVersions) {
    const std::string manifest = Manifest();
    ASSERT_FALSE(manifest.empty());
    for (const char* needle : {
             "level=\"requireAdministrator\"",
             "PerMonitorV2",
             "Microsoft.Windows.Common-Controls",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
         })
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}

TEST(Program, VersionResource) {
    const std::wstring path = ProgramPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_GE(HIWORD(fixed->dwFileVersionMS), 1u);

    struct Translation { WORD Language, CodePage; }* pairs = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pairs), &len));
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductName", pairs[0].Language, pairs[0].CodePage);
    wchar_t* product = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&product), &len));
    EXPECT_STREQ(product, L"Tidora");
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", pairs[0].Language, pairs[0].CodePage);
    wchar_t* version = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), query, reinterpret_cast<void**>(&version), &len));
    EXPECT_EQ(std::count(version, version + wcslen(version), L'.'), 3) << version;
}

// The machine the program is built for: i386 for what ships; the same as
// this test's own, since a tree builds both for one architecture.
constexpr WORD kProgramMachine = sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;

// The DLLs in the program's import table, in lower case; the test fails
// (and the set is empty) when the file is not built for that machine.
std::set<std::string> ImportedDlls() {
    std::set<std::string> imports;
    UniqueModule program(LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    EXPECT_TRUE(program);
    if (!program) return imports;
    // The returned handle is tagged in its low bits; the mapped image starts below.
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(program.get()) & ~ULONG_PTR(3));
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    EXPECT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, kProgramMachine);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || nt->FileHeader.Machine != kProgramMachine) return imports;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    EXPECT_NE(dir.VirtualAddress, 0u);
    if (!dir.VirtualAddress) return imports;
    for (auto d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        std::string name(reinterpret_cast<const char*>(base + d->Name));
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        imports.insert(name);
    }
    return imports;
}

// Every DLL the program imports must come with Windows: a static build
// carries its C++ runtime and threads inside. The DLLs the window does not
// need to open (file dialogs, WinHTTP, version and process information) are
// loaded on first use, so they are not in the import table at all.
TEST(Program, ImportsOnlySystemDlls) {
    const std::set<std::string> imports = ImportedDlls();
    EXPECT_TRUE(imports.count("kernel32.dll"));
    for (const std::string& dll : imports) {
        EXPECT_EQ(dll.find("libwinpthread"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("libstdc++"), std::string::npos) << dll;
        EXPECT_EQ(dll.find("libgcc"), std::string::npos) << dll;
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        const std::wstring path = std::wstring(system) + L"\\" + Utf8ToWide(dll);
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << dll;
    }
    for (const char* onFirstUse : {"comdlg32.dll", "winhttp.dll", "version.dll", "psapi.dll"})
        EXPECT_FALSE(imports.count(onFirstUse)) << onFirstUse;
}

TEST(Program, ShowsItsWindowAndEndsCleanlyWhenClosed) {
    std::wstring command = L"\"" + ProgramPath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    HWND window = nullptr;
    for (int i = 0; i < 1500 && !window; ++i) {
        window = FindWindowW(L"TFrmTidora", nullptr);
        if (!window) Sleep(10);
    }
    ASSERT_NE(window, nullptr);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    EXPECT_EQ(owner, pi.dwProcessId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
}

TEST(Program, WindowsReportsVersion10ToAManifestedProgram) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExW(&info));
#pragma GCC diagnostic pop
    EXPECT_EQ(info.dwMajorVersion, 10u);
}

} // namespace
