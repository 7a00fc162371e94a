// Times CollectAutorun on a machine with 1,000 Run values (HKLM in both views
// and HKCU), 200 startup-folder files and 300 extra services, against the
// floor of the same raw work: the folder listings, one enumeration of each Run
// key with its data, one read of each StartupApproved value, the scheduler's
// root folder, and the service enumeration with one configuration query per
// service. Everything written is removed again, also what an earlier run that
// was cut short left behind.
#include <windows.h>
#include <shlobj.h>
#include <taskschd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "app/Startup.h"
#include "lib/Autorun.h"
#include "system/Handles.h"
#include "system/Registry.h"

using namespace tidora;

namespace {

constexpr int kRunValues = 1000;
constexpr int kFiles = 200;
constexpr int kServices = 300;
constexpr int kRounds = 7;
constexpr double kTarget = 1.3;
const wchar_t kPrefix[] = L"TidoraBench_";

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRun32[] = L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const wchar_t kApprovedRun32[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run32";
const wchar_t kApprovedFolder[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";

struct TRunKey {
    HKEY Root;
    const wchar_t* Key;
    const wchar_t* Approved;
};
const TRunKey kRunKeys[] = {
    {HKEY_LOCAL_MACHINE, kRun, kApprovedRun},
    {HKEY_LOCAL_MACHINE, kRun32, kApprovedRun32},
    {HKEY_CURRENT_USER, kRun, kApprovedRun},
};
const int kFolders[] = {CSIDL_COMMON_STARTUP, CSIDL_STARTUP};
const wchar_t* const kExtensions[] = {L".url", L".lnk", L".exe", L".bat", L".cmd", L".com"};

constexpr REGSAM kRead = KEY_READ | KEY_WOW64_64KEY;
constexpr REGSAM kWrite = KEY_READ | KEY_WRITE | KEY_WOW64_64KEY;

using tidora::bench::Now;

bool Ours(const std::wstring& Name) {
    return Name.compare(0, wcslen(kPrefix), kPrefix) == 0;
}

std::wstring Folder(int Csidl) {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, Csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

UniqueHKey CreateKey(HKEY Root, const wchar_t* Key) {
    HKEY raw = nullptr;
    RegCreateKeyExW(Root, Key, 0, nullptr, 0, kWrite, nullptr, &raw, nullptr);
    return UniqueHKey(raw);
}

void SetText(HKEY Key, const std::wstring& Name, const std::wstring& Value) {
    RegSetValueExW(Key, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                   static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
}

void SetApproved(HKEY Key, const std::wstring& Name, bool Enable) {
    const std::vector<uint8_t> value = MakeStartupApprovedValue(Enable);
    RegSetValueExW(Key, Name.c_str(), 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
}

// ---- filling and emptying the machine ----

void RemoveValues(HKEY Root, const wchar_t* Key) {
    TStrings names;
    TReg::ReadValueNames(Root, Key, names);
    UniqueHKey key = CreateKey(Root, Key);
    for (const std::wstring& name : names)
        if (Ours(name)) RegDeleteValueW(key.get(), name.c_str());
}

void RemoveEverything() {
    for (const TRunKey& k : kRunKeys) {
        RemoveValues(k.Root, k.Key);
        RemoveValues(k.Root, k.Approved);
    }
    RemoveValues(HKEY_LOCAL_MACHINE, kApprovedFolder);
    RemoveValues(HKEY_CURRENT_USER, kApprovedFolder);
    for (int csidl : kFolders) {
        const std::wstring folder = Folder(csidl);
        WIN32_FIND_DATAW data;
        UniqueFindHandle find(FindFirstFileW((folder + L"\\" + kPrefix + L"*").c_str(), &data));
        if (!find) continue;
        do DeleteFileW((folder + L"\\" + data.cFileName).c_str());
        while (FindNextFileW(find.get(), &data));
    }
    TAutorunList services;
    CollectServices(services);
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    for (const TAutorunInfo& service : services) {
        if (!Ours(service.Target)) continue;
        UniqueServiceHandle handle(OpenServiceW(manager.get(), service.Target.c_str(), DELETE));
        if (handle) DeleteService(handle.get());
    }
}

std::wstring Numbered(int I) {
    return kPrefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(I);
}

// Command lines like a real machine's: quoted paths with switches, bare
// paths, placeholders and rundll32 calls. A third of the entries carry a
// StartupApproved value, half of those switched off.
void Fill() {
    for (int i = 0; i < kRunValues; ++i) {
        const TRunKey& k = kRunKeys[i % 3];
        UniqueHKey run = CreateKey(k.Root, k.Key);
        const std::wstring name = Numbered(i);
        std::wstring command;
        switch (i % 4) {
        case 0: command = L"\"C:\\Program Files\\Bench " + std::to_wstring(i) + L"\\app.exe\" /background"; break;
        case 1: command = L"C:\\Tools\\bench" + std::to_wstring(i) + L".exe -tray"; break;
        case 2: command = L"%ProgramFiles%\\Bench\\agent" + std::to_wstring(i) + L".exe"; break;
        default: command = L"rundll32.exe \"C:\\Libs\\bench" + std::to_wstring(i) + L".dll\",Start"; break;
        }
        SetText(run.get(), name, command);
        if (i % 3 == 0) SetApproved(CreateKey(k.Root, k.Approved).get(), name, i % 2 == 0);
    }
    for (int i = 0; i < kFiles; ++i) {
        const int csidl = kFolders[i % 2];
        // One file in ten is no program (a text file) and is not listed.
        const std::wstring name = Numbered(i) + (i % 10 == 9 ? L".txt" : kExtensions[i % 6]);
        UniqueFileHandle file(CreateFileW((Folder(csidl) + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, 0, nullptr));
        if (i % 3 == 0) {
            const HKEY root = csidl == CSIDL_COMMON_STARTUP ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            SetApproved(CreateKey(root, kApprovedFolder).get(), name, i % 2 == 0);
        }
    }
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    for (int i = 0; i < kServices; ++i) {
        const std::wstring name = Numbered(i);
        const std::wstring display = L"Bench service " + std::to_wstring(i);
        const std::wstring binary = L"\"C:\\Program Files\\Bench\\svc" + std::to_wstring(i) + L".exe\" -k bench";
        UniqueServiceHandle service(CreateServiceW(
            manager.get(), name.c_str(), display.c_str(), SERVICE_QUERY_CONFIG, SERVICE_WIN32_OWN_PROCESS,
            i % 2 ? SERVICE_AUTO_START : SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr,
            nullptr, nullptr, nullptr));
    }
}

// ---- the floor: the same enumerations, nothing else ----

struct TCounts {
    size_t Files = 0, Values = 0, Approved = 0, Services = 0;
};

void ReadApproved(HKEY Key, const wchar_t* Name, TCounts& Counts) {
    BYTE data[64];
    DWORD type = 0, size = sizeof(data);
    if (Key && RegQueryValueExW(Key, Name, nullptr, &type, data, &size) == ERROR_SUCCESS) ++Counts.Approved;
}

void FloorFolders(TCounts& Counts) {
    const std::wstring common = Folder(CSIDL_COMMON_STARTUP);
    for (int csidl : kFolders) {
        const std::wstring folder = Folder(csidl);
        HKEY raw = nullptr;
        RegOpenKeyExW(folder == common ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kApprovedFolder, 0, kRead, &raw);
        UniqueHKey approved(raw);
        WIN32_FIND_DATAW data;
        UniqueFindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &data));
        if (!find) continue;
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            ++Counts.Files;
            ReadApproved(approved.get(), data.cFileName, Counts);
        } while (FindNextFileW(find.get(), &data));
    }
}

void FloorRunKeys(TCounts& Counts) {
    for (const TRunKey& k : kRunKeys) {
        HKEY raw = nullptr;
        if (RegOpenKeyExW(k.Root, k.Key, 0, kRead, &raw) != ERROR_SUCCESS) continue;
        UniqueHKey run(raw);
        raw = nullptr;
        RegOpenKeyExW(k.Root, k.Approved, 0, kRead, &raw);
        UniqueHKey approved(raw);
        wchar_t name[16384];
        BYTE data[4096];
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = ARRAYSIZE(name), type = 0, size = sizeof(data);
            if (RegEnumValueW(run.get(), i, name, &nameLength, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
            ++Counts.Values;
            ReadApproved(approved.get(), name, Counts);
        }
    }
}

void FloorTasks() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        ComPtr<ITaskService> service;
        VARIANT none;
        VariantInit(&none);
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                       IID_ITaskService, reinterpret_cast<void**>(service.put()))) &&
            SUCCEEDED(service.get()->Connect(none, none, none, none))) {
            UniqueBstr root(SysAllocString(L"\\"));
            ComPtr<ITaskFolder> folder;
            ComPtr<IRegisteredTaskCollection> tasks;
            LONG count = 0;
            if (SUCCEEDED(service.get()->GetFolder(root.get(), folder.put())) &&
                SUCCEEDED(folder.get()->GetTasks(0, tasks.put())))
                tasks.get()->get_Count(&count);
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
}

void FloorServices(TCounts& Counts) {
    UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusW(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count, &resume);
    std::vector<ENUM_SERVICE_STATUSW> services(needed / sizeof(ENUM_SERVICE_STATUSW) + 1);
    resume = 0;
    if (!EnumServicesStatusW(manager.get(), SERVICE_WIN32, SERVICE_STATE_ALL, services.data(),
                             static_cast<DWORD>(services.size() * sizeof(ENUM_SERVICE_STATUSW)), &needed, &count,
                             &resume))
        return;
    std::vector<uint64_t> config(1024);
    for (DWORD i = 0; i < count; ++i) {
        UniqueServiceHandle service(OpenServiceW(manager.get(), services[i].lpServiceName, SERVICE_QUERY_CONFIG));
        DWORD size = 0;
        if (service && QueryServiceConfigW(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(config.data()),
                                           8192, &size))
            ++Counts.Services;
    }
}

struct TStep {
    const char* Name;
    double FloorMs = 1e30, CollectMs = 1e30;
};

template <typename F>
double Time(F&& Work) {
    const double start = Now();
    Work();
    return Now() - start;
}

} // namespace

int wmain() {
    InitializeUnits();
    RemoveEverything();
    Fill();

    TAutorunList list;
    TCounts counts;
    TStep steps[] = {{"startup folders"}, {"Run keys"}, {"scheduled tasks"}, {"services"}};
    double floorMs = 1e30, collectMs = 1e30;
    CollectAutorun(list);  // warms the registry, file and service caches for both
    for (int round = 0; round < kRounds; ++round) {
        counts = TCounts();
        double parts[4] = {Time([&] { FloorFolders(counts); }), Time([&] { FloorRunKeys(counts); }),
                           Time([&] { FloorTasks(); }), Time([&] { FloorServices(counts); })};
        floorMs = std::min(floorMs, parts[0] + parts[1] + parts[2] + parts[3]);
        for (int i = 0; i < 4; ++i) steps[i].FloorMs = std::min(steps[i].FloorMs, parts[i]);

        collectMs = std::min(collectMs, Time([&] { CollectAutorun(list); }));
        TAutorunList part;
        steps[0].CollectMs = std::min(steps[0].CollectMs, Time([&] { CollectStartupFolders(part); }));
        steps[1].CollectMs = std::min(steps[1].CollectMs, Time([&] { CollectRunKeys(part); }));
        steps[2].CollectMs = std::min(steps[2].CollectMs, Time([&] { CollectScheduledTasks(part); }));
        steps[3].CollectMs = std::min(steps[3].CollectMs, Time([&] { CollectServices(part); }));
    }
    size_t ours = 0;
    for (const TAutorunInfo& info : list) ours += Ours(info.Caption) || Ours(info.Target) ||
                                                 info.Target.find(kPrefix) != std::wstring::npos;
    RemoveEverything();

    const double ratio = collectMs / floorMs;
    std::printf("AutorunBench: %d Run values (HKLM 64-bit, HKLM 32-bit, HKCU), %d startup-folder files, %d services\n",
                kRunValues, kFiles, kServices);
    std::printf("  floor          %8.1f ms  (%u files, %u Run values, %u StartupApproved values, %u services read once)\n",
                floorMs, static_cast<unsigned>(counts.Files), static_cast<unsigned>(counts.Values),
                static_cast<unsigned>(counts.Approved), static_cast<unsigned>(counts.Services));
    std::printf("  CollectAutorun %8.1f ms  (%u entries, %u of them the benchmark's)\n", collectMs,
                static_cast<unsigned>(list.size()), static_cast<unsigned>(ours));
    std::printf("  ratio          %8.2fx  target <= %.2fx  %s  (best of %d rounds)\n", ratio, kTarget,
                ratio <= kTarget ? "ok" : "OVER TARGET", kRounds);
    for (const TStep& step : steps)
        std::printf("    %-16s floor %7.1f ms  collect %7.1f ms  %5.2fx\n", step.Name, step.FloorMs, step.CollectMs,
                    step.CollectMs / step.FloorMs);
    return 0;
}
