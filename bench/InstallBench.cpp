// Times GetInstall over 3,000 uninstall records spread over the four uninstall
// keys, against the floor of the same registry work done bare: enumerating the
// keys, opening each record once and reading its thirteen values.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "app/Startup.h"
#include "lib/Install.h"
#include "system/Handles.h"
#include "system/Registry.h"

using namespace tidora;

namespace {

constexpr int kRecords = 3000;
constexpr int kRounds = 7;
constexpr double kTarget = 1.3;
const wchar_t kPrefix[] = L"TidoraBench_";

const wchar_t* const kValueNames[] = {
    L"DisplayName", L"UninstallString", L"Publisher", L"ParentKeyName", L"NoRemove",
    L"SystemComponent", L"DisplayVersion", L"HelpLink", L"InstallLocation", L"URLInfoAbout",
    L"InstallDate", L"EstimatedSize", L"DisplayIcon",
};
constexpr REGSAM kRead = KEY_READ | KEY_WOW64_64KEY;
constexpr REGSAM kWrite = KEY_READ | KEY_WRITE | KEY_WOW64_64KEY;

using tidora::bench::Now;

void SetText(HKEY Key, const wchar_t* Name, const std::wstring& Value) {
    RegSetValueExW(Key, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                   static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
}

void SetNumber(HKEY Key, const wchar_t* Name, DWORD Value) {
    RegSetValueExW(Key, Name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Value), sizeof(Value));
}

// Records of an earlier run that was cut short, and this run's own.
void RemoveRecords() {
    for (const TUninstallKey& k : UninstallKeys) {
        TStrings names;
        TReg::ReadKeyNames(k.RootKey, k.Key, names);
        for (const std::wstring& name : names)
            if (name.compare(0, wcslen(kPrefix), kPrefix) == 0) TReg::DeleteKey(k.RootKey, k.Key, name);
    }
}

// A mix like a real machine's: most records dated and with an icon value,
// Windows Installer records, month-first dates on an existing icon, system
// components and updates, and Programs different name and publisher pairs.
void WriteRecords(const std::wstring& IconFile, int Programs) {
    for (int i = 0; i < kRecords; ++i) {
        const TUninstallKey& k = UninstallKeys[i % 4];
        const std::wstring path = std::wstring(k.Key) + L"\\" + kPrefix + std::to_wstring(GetCurrentProcessId()) +
                                  L"_" + std::to_wstring(i);
        HKEY raw = nullptr;
        if (RegCreateKeyExW(k.RootKey, path.c_str(), 0, nullptr, 0, kWrite, nullptr, &raw, nullptr) != ERROR_SUCCESS)
            continue;
        UniqueHKey key(raw);
        const int program = i % Programs;
        SetText(key.get(), L"DisplayName", L"Bench Program " + std::to_wstring(program));
        SetText(key.get(), L"Publisher", L"Bench Maker " + std::to_wstring(program % 4));
        SetText(key.get(), L"DisplayVersion", L"1." + std::to_wstring(i % 10) + L"." + std::to_wstring(i));
        SetText(key.get(), L"HelpLink", L"https://example.com/help/" + std::to_wstring(program));
        SetText(key.get(), L"InstallLocation", L"C:\\Program Files\\Bench\\" + std::to_wstring(program));
        SetText(key.get(), L"URLInfoAbout", L"https://example.com/about/" + std::to_wstring(program));
        SetNumber(key.get(), L"EstimatedSize", 1000 + i);
        if (i % 10 == 3) {
            wchar_t code[64];
            swprintf(code, 64, L"{%08X-1234-5678-9ABC-%012d}", i, i);
            SetText(key.get(), L"UninstallString", std::wstring(L"MsiExec.exe /X") + code);
        } else {
            SetText(key.get(), L"UninstallString",
                    L"\"%ProgramFiles%\\Bench\\" + std::to_wstring(program) + L"\\uninst.exe\" /S");
            SetText(key.get(), L"DisplayIcon",
                    i % 10 == 5 ? IconFile + L",0"
                                : L"\"C:\\Program Files\\Bench\\" + std::to_wstring(program) + L"\\app.exe\",1");
        }
        if (i % 10 == 5) {
            SetText(key.get(), L"InstallDate", std::to_wstring(1 + i % 12) + L"/" + std::to_wstring(1 + i % 28) + L"/2020");
        } else if (i % 20 != 7) {
            wchar_t date[16];
            swprintf(date, 16, L"20%02d%02d%02d", 10 + i % 14, 1 + i % 12, 1 + i % 28);
            SetText(key.get(), L"InstallDate", date);
        }
        if (i % 33 == 1) SetNumber(key.get(), L"SystemComponent", 1);
        if (i % 50 == 2) SetText(key.get(), L"ParentKeyName", L"Bench Parent");
        if (i % 100 == 4) SetNumber(key.get(), L"NoRemove", 1);
    }
}

// The bare registry work: every record opened once, all thirteen values read.
size_t Floor() {
    size_t read = 0;
    BYTE data[4096];
    for (const TUninstallKey& k : UninstallKeys) {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(k.RootKey, k.Key, 0, kRead, &raw) != ERROR_SUCCESS) continue;
        UniqueHKey parent(raw);
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(parent.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (RegOpenKeyExW(parent.get(), name, 0, kRead, &raw) != ERROR_SUCCESS) continue;
            UniqueHKey record(raw);
            for (const wchar_t* value : kValueNames) {
                DWORD type = 0, size = sizeof(data);
                if (RegQueryValueExW(record.get(), value, nullptr, &type, data, &size) == ERROR_SUCCESS) ++read;
            }
        }
    }
    return read;
}

struct Figures {
    double FloorMs = 1e30, InstallMs = 1e30;
    size_t Values = 0, Listed = 0;
};

Figures Measure(const std::wstring& IconFile, int Programs) {
    RemoveRecords();
    WriteRecords(IconFile, Programs);
    TInstallList list;
    GetInstall(list);  // warms the registry and file caches for both
    Floor();
    Figures f;
    for (int round = 0; round < kRounds; ++round) {
        double start = Now();
        f.Values = Floor();
        f.FloorMs = std::min(f.FloorMs, Now() - start);
        start = Now();
        GetInstall(list);
        f.InstallMs = std::min(f.InstallMs, Now() - start);
    }
    f.Listed = list.size();
    RemoveRecords();
    return f;
}

void Print(const char* Title, const Figures& F) {
    const double ratio = F.InstallMs / F.FloorMs;
    std::printf("%s\n", Title);
    std::printf("  floor      %8.1f ms  (open each record once, read its 13 values: %u values found)\n", F.FloorMs,
                static_cast<unsigned>(F.Values));
    std::printf("  GetInstall %8.1f ms  (%u programs listed)\n", F.InstallMs, static_cast<unsigned>(F.Listed));
    std::printf("  ratio      %8.2fx  target <= %.2fx  %s  (best of %d rounds)\n", ratio, kTarget,
                ratio <= kTarget ? "ok" : "OVER TARGET", kRounds);
}

} // namespace

int wmain() {
    InitializeUnits();
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring iconFile = std::wstring(system) + L"\\notepad.exe";

    std::printf("InstallBench: %d uninstall records over HKLM and HKCU, 64- and 32-bit views\n", kRecords);
    Print("700 name and publisher pairs (most records duplicates):", Measure(iconFile, 700));
    // Every record listed: GetInstall reads all of them in full, as the floor does.
    Print("every record a different program:", Measure(iconFile, kRecords));
    return 0;
}
