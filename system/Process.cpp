#include "system/Process.h"

#include <algorithm>

#include "system/Library.h"

namespace tidora {
namespace {

constexpr ULONG kProcessBreakOnTermination = 29;
constexpr DWORD kPathUnits = MAX_PATH;
static_assert(sizeof(void*) != 4 || sizeof(PROCESSENTRY32W) == 556, "snapshot entries of a 32-bit process");

DWORD WindowsMajorVersion() {
    static const DWORD major = [] {
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof(info);
        return GetVersionExW(&info) ? info.dwMajorVersion : 0;
    }();
    return major;
}

// The text of a buffer up to its first NUL.
std::wstring BufferText(const wchar_t* Buffer, size_t Units) {
    return std::wstring(Buffer, std::find(Buffer, Buffer + Units, L'\0'));
}

// Before Vista the image path comes from the module list, which may hand back
// the native "\??\" form.
std::wstring LegacyFileName(DWORD ProcessID) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ProcessID));
    if (!process) return {};
    using TGetModuleFileNameEx = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
    auto call = reinterpret_cast<TGetModuleFileNameEx>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetModuleFileNameExW"));
    UniqueModule psapi;
    if (!call) {
        psapi = LoadSystemLibrary(L"psapi.dll");
        if (psapi) call = reinterpret_cast<TGetModuleFileNameEx>(GetProcAddress(psapi.get(), "GetModuleFileNameExW"));
    }
    if (!call) return {};
    wchar_t buffer[kPathUnits] = {};
    if (call(process.get(), nullptr, buffer, kPathUnits) == 0) return {};
    std::wstring path = BufferText(buffer, kPathUnits);
    if (path.compare(0, 4, L"\\??\\") == 0) path.erase(0, 4);
    return path;
}

std::wstring ModernFileName(DWORD ProcessID) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessID));
    if (!process) return {};
    using TQueryFullProcessImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    auto call = reinterpret_cast<TQueryFullProcessImageName>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW"));
    if (!call) return {};
    wchar_t buffer[kPathUnits] = {};
    DWORD size = kPathUnits;
    if (!call(process.get(), 0, buffer, &size)) return {};
    return BufferText(buffer, kPathUnits);
}

// The snapshot's own name, which may lack its NUL when it fills the field.
std::wstring ExeFileName(const PROCESSENTRY32W& Entry) {
    return BufferText(Entry.szExeFile, MAX_PATH);
}

} // namespace

bool WalkProcesses(const std::function<bool(const PROCESSENTRY32W& Entry)>& Visit) {
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        if (!Visit(entry)) break;
    return true;
}

std::wstring GetProcessFileName(DWORD ProcessID) {
    return WindowsMajorVersion() < 6 ? LegacyFileName(ProcessID) : ModernFileName(ProcessID);
}

HWND FindProcessWindow(DWORD ProcessID) {
    for (HWND window = FindWindowW(nullptr, nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetParent(window)) continue;
        DWORD owner = 0;
        if (GetWindowThreadProcessId(window, &owner) != 0 && owner == ProcessID) return window;
    }
    return nullptr;
}

std::unordered_map<DWORD, HWND> FirstProcessWindows() {
    std::unordered_map<DWORD, HWND> first;
    for (HWND window = FindWindowW(nullptr, nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD owner = 0;
        if (GetWindowThreadProcessId(window, &owner) == 0) continue;
        // Only a process's first parentless window is its answer: once that is
        // found, its later windows need no parent query.
        if (first.count(owner) || GetParent(window)) continue;
        first.emplace(owner, window);
    }
    return first;
}

void CollectProcesses(TProcessList& List) {
    const std::unordered_map<DWORD, HWND> windows = FirstProcessWindows();
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID == 0) return true;
        TProcessInfo info;
        info.ProcessID = entry.th32ProcessID;
        auto window = windows.find(entry.th32ProcessID);
        info.Handle = window == windows.end() ? nullptr : window->second;
        info.FileName = GetProcessFileName(entry.th32ProcessID);
        if (info.FileName.empty()) info.FileName = ExeFileName(entry);
        List.push_back(std::move(info));
        return true;
    });
}

bool IsProcessRunning(DWORD ProcessID) {
    bool found = false;
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        found = entry.th32ProcessID == ProcessID;
        return !found;
    });
    return found;
}

std::vector<DWORD> RunningProcessIds() {
    std::vector<DWORD> ids;
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        ids.push_back(entry.th32ProcessID);
        return true;
    });
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool ContainsProcessId(const std::vector<DWORD>& SortedIds, DWORD ProcessID) {
    return std::binary_search(SortedIds.begin(), SortedIds.end(), ProcessID);
}

bool IsProcessCritical(DWORD ProcessID, const TPlatform& Platform) {
    const auto& query = Platform.QueryInformationProcess;
    if (!query) return false;
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessID));
    if (!process) return false;
    ULONG flag = 0;
    const LONG status = query(process.get(), kProcessBreakOnTermination, &flag, sizeof(flag), nullptr);
    return status >= 0 && flag != 0;
}

void KillProcess(DWORD ProcessID, const TPlatform& Platform) {
    if (ProcessID == 0 || ProcessID == GetCurrentProcessId()) return;
    if (IsProcessCritical(ProcessID, Platform)) return;
    UniqueHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, ProcessID));
    if (process.get() == INVALID_HANDLE_VALUE) process.release();  // -1 is no handle to close here
    if (!process) return;
    try {
        Platform.Terminate(ProcessID, process.get());
    } catch (...) {
        // A refusal, however it shows, leaves the process to the watch passes.
    }
}

} // namespace tidora
