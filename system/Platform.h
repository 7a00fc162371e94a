#pragma once
// The calls into the system that a test cannot let happen or cannot see under
// Wine: ending a process, the native process query and memory commands, the
// working-set trim, the shell's opening, the pause, the high-contrast setting,
// the task scheduler object, the Windows version the startup switches follow
// and a step inside registry enumeration. The main
// window holds one TPlatform and hands it to what it creates, which hands it
// on to the routines it calls; tests build one with what they replace.
#include <windows.h>
#include <taskschd.h>

#include <functional>
#include <string>

namespace tidora {

struct TPlatform {
    // Ends a process opened for termination (KillProcess).
    std::function<bool(DWORD ProcessID, HANDLE Process)> Terminate;
    // ntdll's NtQueryInformationProcess (IsProcessCritical); empty when the
    // system has none.
    std::function<LONG(HANDLE Process, ULONG InfoClass, PVOID Info, ULONG Length, PULONG ReturnLength)>
        QueryInformationProcess;
    // ntdll's NtSetSystemInformation (PurgeMemory's blocks); empty when the
    // system has none. Wine's is a stub that changes nothing.
    std::function<LONG(ULONG InfoClass, PVOID Info, ULONG Length)> SetSystemInformation;
    // Empties every process's working set (PurgeMemory's trim step).
    std::function<void()> TrimProcesses;
    // Hands a document or address to whatever the system associates with it
    // (ShellOpen); failures are silent.
    std::function<void(const std::wstring& Target)> ShellOpen;
    // Waits (the cleaning run's watch passes).
    std::function<void(DWORD Milliseconds)> Pause;
    // Whether Windows' high-contrast mode is on.
    std::function<bool()> HighContrast;
    // Creates the task scheduler object (CoCreateInstance of its class).
    std::function<HRESULT(ITaskService** Service)> CreateTaskService;
    // Whether the system is Windows 10 or later: the real version, whatever
    // the manifest declares. Startup entries are switched by its rules.
    std::function<bool()> Windows10OrLater;
    // Called after each index of a key's subkeys or values has been read,
    // with the key being read. Empty in the program; tests change the key
    // here to race the enumeration.
    std::function<void(HKEY Key, DWORD Index)> KeyEnumerationStep;
};

// The real calls; lives until the process ends.
const TPlatform& RealPlatform();

} // namespace tidora
