#pragma once
// A machine with many more startup entries: Run values of the current user
// that start copies of the fixture program (a version resource and an icon)
// and, one in four, files that do not exist; one in five is switched off.
// Made for the length of a benchmark and removed again, also what an
// earlier run that was cut short left behind.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/Launch.h"
#include "lib/Autorun.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"

namespace tidora::bench {

class TRunValues {
public:
    TRunValues(int Entries, int Programs) : FEntries(Entries), FPrograms(Programs) {}
    ~TRunValues() { Remove(); }
    TRunValues(const TRunValues&) = delete;
    TRunValues& operator=(const TRunValues&) = delete;

    // False, with the reason in Error, when the fixture program is missing
    // or cannot be copied.
    bool Fill(std::string& Error) {
        Remove();
        const std::wstring fixture = FixturePath(L"VersionedApp.exe");
        if (!FileExists(fixture)) {
            Error = "VersionedApp.exe not found beside the tests' fixtures; build the tests first";
            return false;
        }
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        FFolder = std::wstring(temp) + L"tidora_runvalues_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(FFolder.c_str(), nullptr);
        for (int i = 0; i < FPrograms; ++i) {
            const std::wstring copy = FFolder + L"\\app" + std::to_wstring(i) + L".exe";
            if (!CopyFileW(fixture.c_str(), copy.c_str(), FALSE)) {
                Error = "cannot copy the fixture program to the temp folder";
                return false;
            }
            FCopies.push_back(copy);
        }
        UniqueHKey run = OpenWritable(kRun), approved = OpenWritable(kApprovedRun);
        const std::vector<uint8_t> off = MakeStartupApprovedValue(false);
        for (int i = 0; i < FEntries; ++i) {
            const std::wstring name = kPrefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(i);
            const std::wstring command = i % 4 == 3 ? L"C:\\Missing\\tool" + std::to_wstring(i) + L".exe -q"
                                                    : L"\"" + FCopies[static_cast<size_t>(i % FPrograms)] + L"\" /tray";
            RegSetValueExW(run.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
            if (i % 5 == 4)
                RegSetValueExW(approved.get(), name.c_str(), 0, REG_BINARY, off.data(),
                               static_cast<DWORD>(off.size()));
        }
        return true;
    }

    void Remove() {
        for (const wchar_t* key : {kRun, kApprovedRun}) {
            TStrings names;
            TReg::ReadValueNames(HKEY_CURRENT_USER, key, names);
            UniqueHKey open = OpenWritable(key);
            for (const std::wstring& name : names)
                if (name.compare(0, wcslen(kPrefix), kPrefix) == 0) RegDeleteValueW(open.get(), name.c_str());
        }
        for (const std::wstring& copy : FCopies) DeleteFileW(copy.c_str());
        FCopies.clear();
        if (!FFolder.empty()) RemoveDirectoryW(FFolder.c_str());
        FFolder.clear();
    }

private:
    // Not "Tidora...": the program's own protection list hides its own
    // entries (a prefix match), and tidora.exe must show these.
    static constexpr const wchar_t* kPrefix = L"PageBenchEntry_";
    static constexpr const wchar_t* kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* kApprovedRun =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

    static UniqueHKey OpenWritable(const wchar_t* Key) {
        HKEY raw = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &raw,
                        nullptr);
        return UniqueHKey(raw);
    }

    int FEntries, FPrograms;
    std::wstring FFolder;
    std::vector<std::wstring> FCopies;
};

} // namespace tidora::bench
