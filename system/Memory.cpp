#include "system/Memory.h"

#include <cstring>

#include "system/Handles.h"
#include "system/Process.h"

namespace tidora {
namespace {

TNtSetSystemInformation NativeSetSystemInformation() {
    if (NtSetSystemInformationHook) return NtSetSystemInformationHook;
    // ntdll is mapped into every process, so no search path is involved.
    return reinterpret_cast<TNtSetSystemInformation>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetSystemInformation"));
}

void SetSystemInformation(ULONG InfoClass, void* Block, ULONG Length) {
    if (TNtSetSystemInformation call = NativeSetSystemInformation()) call(InfoClass, Block, Length);
}

void MemoryListCommand(uint32_t Command) {
    uint32_t block = Command;
    SetSystemInformation(SystemMemoryListInformation, &block, sizeof(block));
}

void ShrinkFileCache() {
    TSystemFileCacheInformation block;
    std::memset(&block, 0, sizeof(block));
    block.MinimumWorkingSet = 0xFFFFFFFFu;
    block.MaximumWorkingSet = 0xFFFFFFFFu;
    SetSystemInformation(SystemFileCacheInformation, &block, sizeof(block));
}

void CombinePages() {
    uint8_t block[kCombineBlockLength] = {};
    SetSystemInformation(SystemCombinePhysicalMemoryInformation, block, kCombineBlockLength);
}

void TrimProcesses() {
    // The idle process, protected processes and those that just ended cannot be opened: passed over.
    WalkProcesses([](const PROCESSENTRY32W& entry) {
        UniqueHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_QUOTA, FALSE, entry.th32ProcessID));
        if (process) SetProcessWorkingSetSize(process.get(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
        return true;
    });
}

static_assert(sizeof(void*) != 4 || (sizeof(MEMORYSTATUSEX) == 64 && sizeof(MEMORYSTATUS) == 32),
              "memory status records of a 32-bit process");

} // namespace

TNtSetSystemInformation NtSetSystemInformationHook = nullptr;
TTrimProcesses TrimProcessesHook = nullptr;

bool SetPrivilege(const wchar_t* Name, bool Enable) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges{};
    if (!LookupPrivilegeValueW(nullptr, Name, &privileges.Privileges[0].Luid)) return false;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = Enable ? SE_PRIVILEGE_ENABLED : 0;
    // Success of the call itself says nothing: ERROR_NOT_ALL_ASSIGNED comes
    // with a nonzero return when the account lacks the privilege.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    return GetLastError() == ERROR_SUCCESS;
}

void EnablePrivileges() {
    SetPrivilege(L"SeProfileSingleProcessPrivilege", true);
    SetPrivilege(L"SeIncreaseBasePriorityPrivilege", true);
    SetPrivilege(L"SeDebugPrivilege", true);
    // Shrinking the file cache is refused without it.
    SetPrivilege(L"SeIncreaseQuotaPrivilege", true);
}

void PurgeMemory(uint8_t Flags) {
    if (Flags & PurgeFileCache) ShrinkFileCache();
    if (Flags & PurgeEmptyWorkingSets) MemoryListCommand(MemoryEmptyWorkingSets);
    if (Flags & PurgeTrimProcesses) (TrimProcessesHook ? TrimProcessesHook : TrimProcesses)();
    if (Flags & PurgeLowPriorityStandbyList) MemoryListCommand(MemoryPurgeLowPriorityStandbyList);
    if (Flags & PurgeStandbyList) MemoryListCommand(MemoryPurgeStandbyList);
    if (Flags & PurgeModifiedList) MemoryListCommand(MemoryFlushModifiedList);
    if (Flags & PurgeCombinePages) CombinePages();
}

int64_t GetPhysicalMemory(uint8_t Kind) {
    using TGlobalMemoryStatusEx = BOOL(WINAPI*)(LPMEMORYSTATUSEX);
    auto statusEx = reinterpret_cast<TGlobalMemoryStatusEx>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GlobalMemoryStatusEx"));
    if (statusEx) {
        MEMORYSTATUSEX status;
        std::memset(&status, 0, sizeof(status));
        status.dwLength = sizeof(status);
        if (statusEx(&status)) {
            if (Kind == 0) return static_cast<int64_t>(status.ullTotalPhys);
            if (Kind == 1) return static_cast<int64_t>(status.ullAvailPhys);
            return -1;
        }
    }
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof(status));
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    if (Kind == 0) return static_cast<int64_t>(static_cast<uint64_t>(status.dwTotalPhys));
    if (Kind == 1) return static_cast<int64_t>(static_cast<uint64_t>(status.dwAvailPhys));
    return -1;
}

int64_t GetTotalMemory() {
    return GetPhysicalMemory(0);
}

int64_t GetAvailMemory() {
    return GetPhysicalMemory(1);
}

} // namespace tidora
