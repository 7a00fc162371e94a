#pragma once
// The protection lists: loading them from resources, merging the service's
// additions and matching processes, startup entries and programs against them.
// Handing documents and web addresses to the shell.
#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace tidora {

using TStringList = std::vector<std::wstring>;

// Position of the first entry equal to Value ignoring case (user's locale), or -1.
int IndexOfText(const TStringList& List, const std::wstring& Value);

// Replaces the list with the lines of RCDATA resource Name; a missing or
// unreadable resource leaves the list as it was.
void LoadResourceList(TStringList& List, const wchar_t* Name);

// Appends the elements of array member Path of Json that the list does not
// already hold (ignoring case). Anything but an object with such an array
// merges nothing.
void MergeJsonList(TStringList& List, const nlohmann::json& Json, const std::string& Path);

// Whether some entry matches Value. File mode: "name*" compares the file-name
// part, any other entry is a fragment of the path. Name mode: entries are
// prefixes. Entries are trimmed and may start with a path placeholder.
bool MatchList(const TStringList& List, const std::wstring& Value, bool FileMode);

// Hands Target (document, folder or address) to whatever the system
// associates with it and forgets it; failures are silent. The program runs
// elevated and the shell starts programs as readily as it opens pages, so an
// address that came from outside the program goes through ShellOpenUrl.
void ShellOpen(const std::wstring& Target);

// Whether Address is an http or https address (scheme in any letter case,
// "//" and a host) made only of characters that cannot break out of the
// quotes a browser's command line puts around it: no blanks, control
// characters, double quotes or backslashes.
bool IsWebAddress(const std::wstring& Address);

// ShellOpen for addresses from outside the program: anything IsWebAddress
// refuses (local paths, other schemes) is dropped silently.
void ShellOpenUrl(const std::wstring& Address);

// What ShellOpen hands its target to. Tests install a recorder (there is no
// browser under test); an empty procedure restores the shell. Returns the
// procedure that was installed before. UI thread only.
using TShellOpenProc = std::function<void(const std::wstring&)>;
TShellOpenProc SetShellOpenProc(TShellOpenProc Proc);
// MatchList for many values against one list: the entries are trimmed,
// expanded, classified and upper-cased once, with the same answers. The list
// is copied in, so later changes to it are not seen.
class TPreparedList {
public:
    TPreparedList() = default;
    TPreparedList(const TStringList& List, bool FileMode);
    bool Match(const std::wstring& Value) const;

private:
    bool FFileMode = true;
    std::unordered_set<std::wstring> FFileNames;  // "name*" entries, ASCII upper-cased
    std::vector<std::wstring> FFragments;          // other file-mode entries, locale upper-cased
    std::vector<std::wstring> FPrefixes;           // name-mode entries
};

} // namespace tidora
