#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/Library.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"

using namespace tidora;
using namespace tidora::test;

namespace {

std::wstring OwnFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring folder = buffer;
    folder.resize(folder.find_last_of(L'\\'));
    return folder;
}

std::wstring SystemFolder() {
    wchar_t system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    return std::wstring(system, length);
}

TEST(LoadSystemLibrary, IgnoresALibraryBesideTheProgram) {
    // A loadable image under a name only the program's folder holds: the plain
    // search finds it there, the system-folder search must not.
    const std::wstring name = UniqueName(L"planted") + L".dll";
    const std::wstring planted = OwnFolder() + L"\\" + name;
    ASSERT_TRUE(CopyFileW(BinaryPath(L"helpers/sleeper.exe").c_str(), planted.c_str(), FALSE));
    // The system-folder search first: once loaded, a module is found by its name alone.
    EXPECT_FALSE(LoadSystemLibrary(name.c_str()));
    {
        UniqueModule plain(LoadLibraryExW(name.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
        EXPECT_TRUE(plain) << "the planted image should be loadable by the plain search";
    }
    DeleteFileW(planted.c_str());

    UniqueModule psapi = LoadSystemLibrary(L"psapi.dll");
    ASSERT_TRUE(psapi);
    wchar_t loaded[MAX_PATH + 1] = {};
    GetModuleFileNameW(psapi.get(), loaded, MAX_PATH);
    EXPECT_TRUE(StartsTextAscii(loaded, SystemFolder() + L"\\")) << loaded;
}

// The DLLs the program loads after start, planted beside a probe that loads
// them as the program does. Wine is told to prefer a native DLL of these
// names, so that like Windows it takes one from the program's folder when the
// search reaches that folder. UxTheme is also what Wine's own comctl32
// imports: comctl32 loads on first use too, so its imports follow the
// restricted search. version is left out: Wine's own user32 (a KnownDLL on
// Windows, which imports no version.dll there) imports it while the process
// starts, before any code of the program runs.
const wchar_t* const kPlantedNames[] = {L"uxtheme", L"gdiplus", L"winhttp", L"psapi",
                                        L"comdlg32", L"dwmapi", L"shcore"};

// Runs the probe copied into Folder with Arguments; its exit code, or -1.
int RunProbe(const std::wstring& Folder, const std::wstring& Arguments) {
    const std::wstring kVariable = L"WINEDLLOVERRIDES=";
    std::wstring overrides;
    for (const wchar_t* name : kPlantedNames) overrides += std::wstring(overrides.empty() ? L"" : L",") + name;
    overrides += L"=n,b";
    // This process's environment with the override added to those it has.
    std::wstring block;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
        if (StartsTextAscii(entry, kVariable)) overrides = std::wstring(entry + kVariable.size()) + L";" + overrides;
        else block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(own);
    overrides = kVariable + overrides;
    block.append(overrides).push_back(L'\0');
    block.push_back(L'\0');

    const std::wstring exe = Folder + L"\\PlantProbe.exe";
    std::wstring command = L"\"" + exe + L"\" " + Arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        &block[0], Folder.c_str(), &startup, &info))
        return -1;
    UniqueHandle process(info.hProcess), thread(info.hThread);
    if (WaitForSingleObject(info.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 1);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return static_cast<int>(code);
}

std::vector<std::wstring> LoadedPlants(const TTempDir& Folder) {
    std::vector<std::wstring> loaded;
    for (const wchar_t* name : kPlantedNames)
        if (GetFileAttributesW(Folder.File(std::wstring(name) + L".dll.loaded").c_str()) != INVALID_FILE_ATTRIBUTES)
            loaded.push_back(name);
    return loaded;
}

TEST(PlantedDlls, AreNeverLoadedAndTheProgramStillWorks) {
    TTempDir folder;
    ASSERT_TRUE(CopyFileW(BinaryPath(L"fixtures/PlantProbe.exe").c_str(), folder.File(L"PlantProbe.exe").c_str(),
                          FALSE));
    for (const wchar_t* name : kPlantedNames)
        ASSERT_TRUE(CopyFileW(BinaryPath(L"fixtures/Planted.dll").c_str(),
                              folder.File(std::wstring(name) + L".dll").c_str(), FALSE));

    // Every call went through and every DLL came from the system folder.
    EXPECT_EQ(RunProbe(folder.Path(), L""), 0);
    EXPECT_EQ(LoadedPlants(folder), std::vector<std::wstring>{});

    // Without the restriction the plain search takes the planted copies: the
    // test does see planting (the probe then fails on the first call into one).
    EXPECT_NE(RunProbe(folder.Path(), L"--unguarded"), 0);
    EXPECT_FALSE(LoadedPlants(folder).empty());

    for (const wchar_t* name : kPlantedNames) DeleteFileW(folder.File(std::wstring(name) + L".dll.loaded").c_str());
}

} // namespace
