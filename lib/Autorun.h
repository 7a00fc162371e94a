#pragma once
// Everything Windows starts by itself: Run values of the registry, files of the
// two startup folders, tasks of the task scheduler's root folder and services;
// whether each is switched on, and switching it on or off.
#include <windows.h>
#include <taskschd.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/Platform.h"

namespace tidora {

// Where a startup entry comes from. Each source has one written form, the
// same in the page's source column, in the saved list, in the usage report
// and, lower-cased, in the address of the service's entry page: "HKLM" and
// "HKCU" for Run values under the machine's and the user's root (the 32-bit
// programs' Run key of the machine included), "FILE" for startup-folder
// files, "SCHE" for scheduled tasks and "SERV" for services.
enum class TAutorunSource { MachineRun, UserRun, StartupFile, ScheduledTask, Service };

// The written form; empty for a value outside the enumeration.
const wchar_t* AutorunSourceText(TAutorunSource Source);
// The source whose written form Text is, ASCII case ignored. False, leaving
// Source untouched, for any other text.
bool ParseAutorunSource(const std::wstring& Text, TAutorunSource& Source);

// One startup entry. From and Target together identify it.
class TAutorunInfo {
public:
    std::wstring FileName;  // the file the entry starts, where the source names one
    std::wstring Caption;   // the entry's own name in its source; empty for a Run key's default value
    std::wstring RawData;   // the command as stored, where the source has one
    std::wstring Target;    // the entry's address in its source
    TAutorunSource From = TAutorunSource::MachineRun;
    bool Enabled = false;

    bool operator==(const TAutorunInfo& Other) const;
    bool operator!=(const TAutorunInfo& Other) const { return !(*this == Other); }
};

// The entries in collection order. The records are plain values, so a copy is
// a snapshot that shares nothing with the list: the usage report's worker
// takes such a copy instead of reading the page's list while it may reload.
using TAutorunList = std::vector<TAutorunInfo>;

// Raised to the caller where a failure must reach the user as the program's
// error window: on Windows before 10, a startup-folder file that is switched
// off but cannot be deleted. what() is UTF-8; Message() is the same text
// (the system's message for Code, then the file's path).
class EAutorunError : public std::runtime_error {
public:
    EAutorunError(DWORD Code, const std::wstring& Message);
    DWORD Code() const noexcept { return FCode; }
    const std::wstring& Message() const noexcept { return FMessage; }

private:
    DWORD FCode;
    std::wstring FMessage;
};

// Empties List and fills it with every startup entry of the machine: folder
// files, then Run values, then tasks, then services. Sources that fail add
// nothing; an unexpected error (out of memory) passes on with the entries
// collected so far left in List. The registry readers and the scheduler
// connection use Platform's calls.
void CollectAutorun(TAutorunList& List, const TPlatform& Platform = RealPlatform());

// The collection steps; each appends.
void CollectStartupFolders(TAutorunList& List);
// Files directly in Folder whose extension starts programs (.url .lnk .exe
// .bat .cmd .com); the all-users folder is switched under HKLM, any other under HKCU.
void CollectStartupFolder(const std::wstring& Folder, TAutorunList& List);
void CollectRunKeys(TAutorunList& List, const TPlatform& Platform = RealPlatform());
// The values of RootKey\Key; a root other than HKLM and HKCU lists nothing,
// having no source to name.
void CollectRunKey(HKEY RootKey, const std::wstring& Key, TAutorunList& List,
                   const TPlatform& Platform = RealPlatform());
void CollectScheduledTasks(TAutorunList& List, const TPlatform& Platform = RealPlatform());
// The tasks of one folder, hidden ones and subfolders left out. Stops at the
// first failure, keeping what it appended, and returns that failure.
HRESULT CollectTaskFolder(ITaskService* Service, const std::wstring& FolderPath, TAutorunList& List);
void CollectServices(TAutorunList& List);

// Whether Windows runs the entry: false only when the StartupApproved value
// Name under RootKey\Key is 12 bytes long with an odd first byte (bit 0 is
// the off flag: Windows writes 3 or 7 for off, 2 or 6 for on).
bool IsStartupApproved(HKEY RootKey, const std::wstring& Key, const std::wstring& Name);
// The same rule on a value already read.
bool IsStartupApprovedValue(const std::vector<uint8_t>& Value);

// The process-wide task scheduler connection. Every connect, use and
// disconnect happens while the lock is held, on one thread at a time.
// The start-up step creates the lock; it lives until the process ends.
void InitTaskSchedulerLock();
// Holds the scheduler lock for its scope. Without the start-up step it holds
// nothing and no connection can be made.
std::unique_lock<std::mutex> LockTaskScheduler();
// Lock held: connects when not connected, with the scheduler object
// Platform.CreateTaskService makes; failures leave no connection.
void TaskSchedulerConnect(const TPlatform& Platform = RealPlatform());
// Lock held: drops the connection and the COM initialisation it made.
void TaskSchedulerDisconnect();
// Lock held: the connected scheduler, or null.
ITaskService* ConnectedTaskScheduler();

// Which switching rules apply comes from Platform.Windows10OrLater: Windows 10
// and later keep Run values and files and write StartupApproved values;
// earlier Windows delete them to switch off.
//
// Switches the entry with these Target and From on or off. Reports nothing:
// the caller collects again to see the outcome. Throws EAutorunError only
// where SwitchStartupFile does.
void SwitchAutorun(const std::wstring& Target, TAutorunSource From, bool Enable,
                   const TPlatform& Platform = RealPlatform());
// Target: "HKLM" or "HKCU", the Run key path and the value name.
void SwitchRunValue(const std::wstring& Target, bool Enable, const TPlatform& Platform = RealPlatform());
// Target: the file's full path. Before Windows 10, switching off deletes the
// file and throws EAutorunError when that fails (a file already gone is no
// failure).
void SwitchStartupFile(const std::wstring& Target, bool Enable, const TPlatform& Platform = RealPlatform());
// Target: "\" + task name.
void SwitchScheduledTask(const std::wstring& Target, bool Enable, const TPlatform& Platform = RealPlatform());
// Target: the service's key name. On: automatic start; off: disabled.
void SwitchService(const std::wstring& Target, bool Enable);

// 2 (on) or 3 (off), three zero bytes, the current UTC FILETIME low part first.
std::vector<uint8_t> MakeStartupApprovedValue(bool Enable);

} // namespace tidora
