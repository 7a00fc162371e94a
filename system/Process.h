#pragma once
// Listing, inspecting and terminating processes. Every routine answers a
// failure with an empty, zero or false result; none throws or shows anything.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "system/Handles.h"
#include "system/Platform.h"

namespace tidora {

// What became of a process in a cleaning run. The numbers are the ones the
// usage report sends.
enum class TProcessState : int32_t { Collected = 1, TerminationRequested = -2, Terminated = -1 };

// One running process as one snapshot saw it.
class TProcessInfo {
public:
    DWORD ProcessID = 0;
    HWND Handle = nullptr;   // first parentless top-level window, or none
    std::wstring FileName;   // full image path, else the snapshot's bare name
    TProcessState State = TProcessState::Collected;
};

// An owning list: clearing or destroying it frees the entries.
using TProcessList = std::vector<TProcessInfo>;

// Appends one entry per process of a fresh snapshot (id 0 left out), in
// snapshot order, after whatever the list holds.
void CollectProcesses(TProcessList& List);

// Full Win32 image path, or empty when the process cannot be opened or read.
std::wstring GetProcessFileName(DWORD ProcessID);

// The process's first top-level window, walking from the topmost one, whose
// parent is 0 (owned popups do not count); 0 when none. Looks at one process:
// for many, FirstProcessWindows makes a single walk.
HWND FindProcessWindow(DWORD ProcessID);

// FindProcessWindow's answer for every process that has one, from one walk
// over the top-level windows in the same order.
std::unordered_map<DWORD, HWND> FirstProcessWindows();

// Whether a fresh snapshot lists the id.
bool IsProcessRunning(DWORD ProcessID);

// The ids of one fresh snapshot, sorted, for asking about many processes at
// once; empty when no snapshot can be taken (every id then counts as gone,
// as IsProcessRunning would say).
std::vector<DWORD> RunningProcessIds();
bool ContainsProcessId(const std::vector<DWORD>& SortedIds, DWORD ProcessID);

// Whether Windows reports the process's break-on-termination flag: ending such
// a process stops the whole system. False when the flag cannot be read.
bool IsProcessCritical(DWORD ProcessID, const TPlatform& Platform = RealPlatform());

// Asks the process to end with exit code 0 (Platform.Terminate). Does nothing
// for id 0, the own process and critical processes; a refusal passes unnoticed.
void KillProcess(DWORD ProcessID, const TPlatform& Platform = RealPlatform());

// Walks a fresh snapshot in its order until Visit returns false; false when no
// snapshot could be taken. The snapshot is closed however the walk ends.
bool WalkProcesses(const std::function<bool(const PROCESSENTRY32W& Entry)>& Visit);

} // namespace tidora
