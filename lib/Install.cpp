#include "lib/Install.h"

#include <algorithm>
#include <cwchar>

#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"
#include "system/Strings.h"

namespace tidora {
namespace {

constexpr uint16_t kMaxIconIndex = 100;

// An unset variable gives the empty text.
std::wstring EnvironmentVariable(const wchar_t* Name) {
    DWORD size = GetEnvironmentVariableW(Name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    DWORD got = GetEnvironmentVariableW(Name, &value[0], size);
    if (got == 0 || got >= size) return {};
    value.resize(got);
    return value;
}

// An update of another product names its parent; its type does not matter.
bool ValueExists(HKEY Key, const wchar_t* Name) {
    return RegQueryValueExW(Key, Name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The icon number after the comma. Anything but a decimal number from 0 to 100
// gives 0: larger numbers are not positions in a real icon file, and negative
// ones are resource ids that the icon lookup cannot use.
uint16_t IconIndex(const std::wstring& Text) {
    const std::wstring number = TrimControl(Text);
    size_t i = 0;
    bool negative = false;
    if (i < number.size() && (number[i] == L'+' || number[i] == L'-')) negative = number[i++] == L'-';
    if (i == number.size()) return 0;
    unsigned value = 0;
    for (; i < number.size(); ++i) {
        if (number[i] < L'0' || number[i] > L'9') return 0;
        value = value * 10 + (number[i] - L'0');
        if (value > kMaxIconIndex) return 0;
    }
    return negative ? 0 : static_cast<uint16_t>(value);
}

// Splits "path,number" at the first comma.
void SplitAtComma(const std::wstring& Value, TInstallInfo& Info) {
    size_t comma = Value.find(L',');
    if (comma == std::wstring::npos) {
        Info.DisplayIcon = Value;
        return;
    }
    Info.DisplayIcon = Value.substr(0, comma);
    Info.DisplayIconIndex = IconIndex(Value.substr(comma + 1));
}

// Sets DisplayIcon and DisplayIconIndex from an icon value. A value quoted as a
// whole loses its quotes before the split at the comma. A value that opens with
// a quote and goes on after the closing one ("C:\App\app.exe",2 or an uninstall
// command "C:\App\uninst.exe" /S) is a quoted path followed by an icon number
// or by arguments: the path is the quoted text, commas in it included, and only
// a comma right after the quote introduces a number.
void SplitIcon(const std::wstring& Value, TInstallInfo& Info) {
    Info.DisplayIconIndex = 0;
    if (Value.empty() || Value.front() != L'"') return SplitAtComma(Value, Info);
    if (Value.size() >= 2 && Value.back() == L'"') return SplitAtComma(Value.substr(1, Value.size() - 2), Info);
    size_t close = Value.find(L'"', 1);
    if (close == std::wstring::npos) return SplitAtComma(Value.substr(1), Info);
    Info.DisplayIcon = Value.substr(1, close - 1);
    size_t next = Value.find_first_not_of(L' ', close + 1);
    if (next != std::wstring::npos && Value[next] == L',') Info.DisplayIconIndex = IconIndex(Value.substr(next + 1));
}

// Reads one uninstall record; false when it is not to be listed.
bool ReadRecord(HKEY Record, const TInstallIndex& Index, TInstallInfo& Info) {
    Info.DisplayName = TrimControl(ReadStringDef(Record, L"DisplayName", {}));
    Info.UninstallString = TrimControl(ReadStringDef(Record, L"UninstallString", {}));
    Info.Publisher = TrimControl(ReadStringDef(Record, L"Publisher", {}));
    if (Info.DisplayName.empty() || Info.UninstallString.empty() || ValueExists(Record, L"ParentKeyName") ||
        ReadBoolDef(Record, L"NoRemove", false) || ReadBoolDef(Record, L"SystemComponent", false) ||
        IndexOfInstall(Index, Info.DisplayName, Info.Publisher) >= 0)
        return false;

    Info.DisplayVersion = ReadStringDef(Record, L"DisplayVersion", {});
    Info.HelpLink = ReadStringDef(Record, L"HelpLink", {});
    Info.InstallLocation = ReadStringDef(Record, L"InstallLocation", {});
    Info.URLInfoAbout = ReadStringDef(Record, L"URLInfoAbout", {});
    Info.InstallDate = ReadStringDef(Record, L"InstallDate", {});
    Info.EstimatedSize = ReadIntegerDef(Record, L"EstimatedSize", 0);

    std::wstring icon = ReadStringDef(Record, L"DisplayIcon", {});
    if (icon.empty()) icon = Info.UninstallString;
    // Windows Installer records point at msiexec; the product's own icon lies
    // in the installer cache.
    if (FindTextAscii(icon, L"MSIEXEC") != std::wstring::npos) {
        icon = FindInstallerIcon(icon);
        if (icon.empty()) icon = EnvironmentVariable(L"WinDir") + L"\\System32\\msiexec.exe";
    }
    SplitIcon(icon, Info);
    Info.DisplayIcon = ExpandProgramFiles(Info.DisplayIcon);
    Info.UninstallString = ExpandProgramFiles(Info.UninstallString);

    // Dates written month first, without leading zeros, cannot be sorted: the
    // folder of the program's icon tells when it was installed.
    Info.InstallDate = DigitsOnly(Info.InstallDate);
    if (Info.InstallDate.size() != 8 && FileExists(Info.DisplayIcon)) Info.InstallDate = FolderDate(Info.DisplayIcon);
    return true;
}

} // namespace

const std::array<TUninstallKey, 4> UninstallKeys = {{
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
}};

size_t TInstallIndex::Hash::operator()(const std::pair<std::wstring, std::wstring>& Key) const noexcept {
    const std::hash<std::wstring> hash;
    size_t seed = hash(Key.first);
    return seed ^ (hash(Key.second) + 0x9e3779b9u + (seed << 6) + (seed >> 2));
}

TInstallIndex::TInstallIndex(const TInstallList& List) {
    for (size_t i = 0; i < List.size(); ++i)
        Add(List[i].DisplayName, List[i].Publisher, static_cast<int>(i));
}

int TInstallIndex::Find(const std::wstring& Name, const std::wstring& Publisher) const {
    auto it = FIndex.find({Name, Publisher});
    return it == FIndex.end() ? -1 : it->second;
}

void TInstallIndex::Add(const std::wstring& Name, const std::wstring& Publisher, int Index) {
    FIndex.emplace(std::make_pair(Name, Publisher), Index);
}

int IndexOfInstall(const TInstallIndex& Index, const std::wstring& Name, const std::wstring& Publisher) {
    return Index.Find(TrimControl(Name), TrimControl(Publisher));
}

void ReadUninstallKey(TInstallList& List, TInstallIndex& Index, HKEY RootKey, const std::wstring& Key,
                      const TPlatform& Platform) {
    UniqueHKey parent(TReg::OpenRead(RootKey, Key));
    if (!parent) return;
    TStrings names;
    TReg::ReadKeyNames(parent.get(), L"", names, Platform);
    for (const std::wstring& name : names) {
        // Opened below the uninstall key's own handle: the same key as the full
        // path names, without walking the path again for every record.
        UniqueHKey record(TReg::OpenRead(parent.get(), name));
        if (!record) continue;
        TInstallInfo info;
        if (!ReadRecord(record.get(), Index, info)) continue;
        Index.Add(info.DisplayName, info.Publisher, static_cast<int>(List.size()));
        List.push_back(std::move(info));
    }
}

void GetInstall(TInstallList& List, const TPlatform& Platform) {
    List.clear();
    TInstallIndex index;
    for (const TUninstallKey& key : UninstallKeys) ReadUninstallKey(List, index, key.RootKey, key.Key, Platform);
    std::sort(List.begin(), List.end(),
              [](const TInstallInfo& A, const TInstallInfo& B) { return CompareInstallDate(A, B) < 0; });
}

std::wstring ExpandProgramFiles(const std::wstring& Text) {
    static const std::wstring kToken = L"%ProgramFiles%";
    if (Text.find(L'%') == std::wstring::npos) return Text;
    std::wstring out, folder;
    bool haveFolder = false;
    size_t from = 0;
    for (size_t i = 0; i + kToken.size() <= Text.size();) {
        if (Text[i] != L'%' || !SameTextAscii(Text, i, kToken, kToken.size())) {
            ++i;
            continue;
        }
        if (!haveFolder) {
            // A 32-bit process is told the "(x86)" folder as ProgramFiles.
            folder = EnvironmentVariable(IsX64Windows() ? L"ProgramW6432" : L"ProgramFiles");
            haveFolder = true;
        }
        out.append(Text, from, i - from);
        out += folder;
        i += kToken.size();
        from = i;
    }
    out.append(Text, from, std::wstring::npos);
    return out;
}

std::wstring FindInstallerIcon(const std::wstring& Text) {
    size_t open = Text.find(L'{');
    size_t close = Text.find(L'}');
    if (open == std::wstring::npos || close == std::wstring::npos || close < open) return {};
    const std::wstring folder =
        EnvironmentVariable(L"WinDir") + L"\\Installer\\" + Text.substr(open, close - open + 1) + L"\\";
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(FindFirstFileW((folder + L"*.*").c_str(), &entry));
    if (!find) return {};
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return folder + entry.cFileName;
    } while (FindNextFileW(find.get(), &entry));
    return {};
}

std::wstring FolderDate(const std::wstring& FileName) {
    size_t slash = FileName.rfind(L'\\');
    if (slash == std::wstring::npos || slash == 0) return {};
    const std::wstring folder = FileName.substr(0, slash);
    // A wildcard would make the search return some other entry's date.
    if (folder.find_first_of(L"*?") != std::wstring::npos) return {};
    WIN32_FIND_DATAW entry{};
    UniqueFindHandle find(FindFirstFileW(folder.c_str(), &entry));
    if (!find || (entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) return {};
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&entry.ftLastWriteTime, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        return {};
    wchar_t text[16] = {};
    swprintf(text, 16, L"%04u%02u%02u", local.wYear, local.wMonth, local.wDay);
    return text;
}

std::wstring DigitsOnly(const std::wstring& Text) {
    std::wstring digits;
    for (wchar_t c : Text)
        if (c >= L'0' && c <= L'9') digits += c;
    return digits;
}

int CompareInstallDate(const TInstallInfo& A, const TInstallInfo& B) {
    // wstring compares code units, the ordinal order; B against A puts the later date first.
    return B.InstallDate.compare(A.InstallDate);
}

} // namespace tidora
