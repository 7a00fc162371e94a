#pragma once
// The protection lists: loading them from resources, merging the service's
// additions and matching processes, startup entries and programs against them.
#include <nlohmann/json_fwd.hpp>

#include <map>
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

// MatchList for many values against one list: the entries are trimmed,
// expanded, classified and upper-cased once, with the same answers. The list
// is copied in, so later changes to it are not seen.
class TPreparedList {
public:
    TPreparedList() = default;
    TPreparedList(const TStringList& List, bool FileMode);
    bool Match(const std::wstring& Value) const;

private:
    bool MatchEach(const std::wstring& Value) const;

    bool FFileMode = true;
    std::unordered_set<std::wstring> FFileNames;  // "name*" entries, ASCII upper-cased
    std::vector<std::wstring> FFragments;          // other file-mode entries, locale upper-cased
    std::vector<std::wstring> FPrefixes;           // name-mode entries
    // The name-mode entries by length, as sort keys: a value matches when the
    // key of its first that-many characters is among them, which is what
    // comparing it with each entry of that length would say, for one key per
    // length instead of one comparison per entry.
    std::map<size_t, std::unordered_set<std::string>> FPrefixKeys;
    std::vector<std::wstring> FUnkeyed;  // name-mode entries without a key: compared one by one
};

} // namespace tidora
