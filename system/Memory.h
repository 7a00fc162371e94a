#pragma once
// Privileges of the own process, the memory purge and the physical-memory
// figures. Nothing here throws; failures show as false, -1 or a step that did
// nothing.
#include <windows.h>

#include <cstdint>

#include "system/Platform.h"

namespace tidora {

// Purge steps, one bit each; PurgeMemory runs them in the order 0x20, 0x01,
// 0x02, 0x08, 0x04, 0x10, 0x40. Bit 0x80 means nothing.
enum : uint8_t {
    PurgeEmptyWorkingSets = 0x01,
    PurgeTrimProcesses = 0x02,
    PurgeStandbyList = 0x04,
    PurgeLowPriorityStandbyList = 0x08,
    PurgeModifiedList = 0x10,
    PurgeFileCache = 0x20,
    PurgeCombinePages = 0x40,
};

// NtSetSystemInformation classes and memory-list commands the purge uses.
enum : ULONG {
    SystemFileCacheInformation = 21,
    SystemMemoryListInformation = 80,
    SystemCombinePhysicalMemoryInformation = 130,
};
enum : uint32_t {
    MemoryEmptyWorkingSets = 2,
    MemoryFlushModifiedList = 3,
    MemoryPurgeStandbyList = 4,
    MemoryPurgeLowPriorityStandbyList = 5,
};

// The file cache block as a 32-bit process passes it (36 bytes).
struct TSystemFileCacheInformation {
    uint32_t CurrentSize;
    uint32_t PeakSize;
    uint32_t PageFaultCount;
    uint32_t MinimumWorkingSet;
    uint32_t MaximumWorkingSet;
    uint32_t CurrentSizeIncludingTransitionInPages;
    uint32_t PeakSizeIncludingTransitionInPages;
    uint32_t TransitionRePurposeCount;
    uint32_t Flags;
};
static_assert(sizeof(TSystemFileCacheInformation) == 36, "file cache block is nine 32-bit fields");
// The combine block: 24 zero bytes.
constexpr ULONG kCombineBlockLength = 24;

// Enables or disables one privilege of the own token; true when it is now as
// asked (false too when the account does not hold it).
bool SetPrivilege(const wchar_t* Name, bool Enable);

// Start-up step: the privileges the purge and the process routines rely on.
void EnablePrivileges();

// Hands the steps' blocks to Platform.SetSystemInformation; the trim step is
// Platform.TrimProcesses.
void PurgeMemory(uint8_t Flags, const TPlatform& Platform = RealPlatform());

// Kind 0: total, 1: available physical memory in bytes; -1 for other kinds.
int64_t GetPhysicalMemory(uint8_t Kind);
int64_t GetTotalMemory();
int64_t GetAvailMemory();

} // namespace tidora
