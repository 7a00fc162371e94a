#pragma once
// The installed programs, read from the uninstall records of both registry
// views, machine-wide and per user: the bundle page shows them and the usage
// report lists them.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "system/Platform.h"

namespace tidora {

// One installed program.
class TInstallInfo {
public:
    std::wstring DisplayIcon;        // icon file, without quotes or icon number
    uint16_t DisplayIconIndex = 0;   // 0 when absent or above 100
    std::wstring DisplayName;        // trimmed, never empty
    std::wstring DisplayVersion;
    int32_t EstimatedSize = 0;
    std::wstring HelpLink;
    std::wstring InstallDate;        // "yyyymmdd" as a rule; may be empty
    std::wstring InstallLocation;
    std::wstring Publisher;          // trimmed, may be empty
    std::wstring UninstallString;    // trimmed, "%ProgramFiles%" expanded, never empty
    std::wstring URLInfoAbout;
};

// The inventory owns its records; copying it copies them.
using TInstallList = std::vector<TInstallInfo>;

// Where each (DisplayName, Publisher) pair first stands in a list, so that a
// refill with thousands of records finds duplicates without a scan per record.
class TInstallIndex {
public:
    TInstallIndex() = default;
    // Indexes the records a list already holds; the first of equal ones counts.
    explicit TInstallIndex(const TInstallList& List);

    // Exact, case-sensitive match of both texts; -1 when none.
    int Find(const std::wstring& Name, const std::wstring& Publisher) const;
    // Keeps an earlier index for the same pair.
    void Add(const std::wstring& Name, const std::wstring& Publisher, int Index);

private:
    struct Hash {
        size_t operator()(const std::pair<std::wstring, std::wstring>& Key) const noexcept;
    };
    std::unordered_map<std::pair<std::wstring, std::wstring>, int, Hash> FIndex;
};

// An uninstall key: a root key and a key path (no leading backslash), always
// read in the 64-bit view.
struct TUninstallKey {
    HKEY RootKey;
    const wchar_t* Key;
};

// The four uninstall keys in reading order: machine-wide before per-user and
// the 64-bit view before the 32-bit one, so that the first record of a program
// wins. Whoever watches for installs watches these.
extern const std::array<TUninstallKey, 4> UninstallKeys;

// Empties the list and fills it from the four uninstall keys, newest first.
// The keys' enumeration calls Platform.KeyEnumerationStep.
void GetInstall(TInstallList& List, const TPlatform& Platform = RealPlatform());

// Appends the programs of one uninstall key (read in the 64-bit view) that are
// removable, not system components, not updates of other products and not in
// the list yet. Index must describe List and is kept up to date.
void ReadUninstallKey(TInstallList& List, TInstallIndex& Index, HKEY RootKey, const std::wstring& Key,
                      const TPlatform& Platform = RealPlatform());

// Position of the record with exactly this name and publisher (both trimmed
// first), or -1.
int IndexOfInstall(const TInstallIndex& Index, const std::wstring& Name, const std::wstring& Publisher);

// Every "%ProgramFiles%", in any letter case, replaced by the 64-bit program
// folder on 64-bit Windows and the program folder otherwise.
std::wstring ExpandProgramFiles(const std::wstring& Text);

// The first file of the Windows Installer cache folder of the product code in
// braces that Text carries; empty when there is no code, folder or file.
std::wstring FindInstallerIcon(const std::wstring& Text);

// The local last-write date ("yyyymmdd") of the folder that holds FileName;
// empty when it cannot be read or the folder is hidden or a system folder.
std::wstring FolderDate(const std::wstring& FileName);

// The characters 0 to 9 of Text, in order.
std::wstring DigitsOnly(const std::wstring& Text);

// Sort order of the inventory: negative when A comes first, i.e. when its date
// is the later one (ordinal comparison of the texts, empty dates last).
int CompareInstallDate(const TInstallInfo& A, const TInstallInfo& B);

} // namespace tidora
