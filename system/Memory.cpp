#include "system/Memory.h"

#include <cstring>

#include "system/Handles.h"

namespace tidora {
namespace {

void SetSystemInformation(const TPlatform& Platform, ULONG InfoClass, void* Block, ULONG Length) {
    if (Platform.SetSystemInformation) Platform.SetSystemInformation(InfoClass, Block, Length);
}

void MemoryListCommand(const TPlatform& Platform, uint32_t Command) {
    uint32_t block = Command;
    SetSystemInformation(Platform, SystemMemoryListInformation, &block, sizeof(block));
}

void ShrinkFileCache(const TPlatform& Platform) {
    TSystemFileCacheInformation block;
    std::memset(&block, 0, sizeof(block));
    block.MinimumWorkingSet = 0xFFFFFFFFu;
    block.MaximumWorkingSet = 0xFFFFFFFFu;
    SetSystemInformation(Platform, SystemFileCacheInformation, &block, sizeof(block));
}

void CombinePages(const TPlatform& Platform) {
    uint8_t block[kCombineBlockLength] = {};
    SetSystemInformation(Platform, SystemCombinePhysicalMemoryInformation, block, kCombineBlockLength);
}

static_assert(sizeof(void*) != 4 || (sizeof(MEMORYSTATUSEX) == 64 && sizeof(MEMORYSTATUS) == 32),
              "memory status records of a 32-bit process");

} // namespace

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

void PurgeMemory(uint8_t Flags, const TPlatform& Platform) {
    if (Flags & PurgeFileCache) ShrinkFileCache(Platform);
    if (Flags & PurgeEmptyWorkingSets) MemoryListCommand(Platform, MemoryEmptyWorkingSets);
    if ((Flags & PurgeTrimProcesses) && Platform.TrimProcesses) Platform.TrimProcesses();
    if (Flags & PurgeLowPriorityStandbyList) MemoryListCommand(Platform, MemoryPurgeLowPriorityStandbyList);
    if (Flags & PurgeStandbyList) MemoryListCommand(Platform, MemoryPurgeStandbyList);
    if (Flags & PurgeModifiedList) MemoryListCommand(Platform, MemoryFlushModifiedList);
    if (Flags & PurgeCombinePages) CombinePages(Platform);
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
