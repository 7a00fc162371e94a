#include "lib/Common.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include "system/Path.h"
#include "system/Resource.h"
#include "system/Strings.h"

namespace tidora {
namespace {

std::wstring ElementText(const nlohmann::json& element) {
    if (element.is_string()) return Utf8ToWide(element.get<std::string>());
    if (element.is_object() || element.is_array()) return {};
    return Utf8ToWide(element.dump());
}

enum class TEntryKind { Skip, FileName, Fragment, Prefix };

// An entry as matching sees it: trimmed, a leading placeholder expanded, and
// for a file-name entry without its "*". Empty rows and "//" rows are skipped.
TEntryKind ClassifyEntry(const std::wstring& Raw, bool FileMode, std::wstring& Entry) {
    Entry = ExpandPlaceholders(TrimControl(Raw));
    if (Entry.empty() || Entry.compare(0, 2, L"//") == 0) return TEntryKind::Skip;
    if (!FileMode) return TEntryKind::Prefix;
    if (Entry.back() != L'*') return TEntryKind::Fragment;
    Entry.pop_back();
    return TEntryKind::FileName;
}

} // namespace

int IndexOfText(const TStringList& List, const std::wstring& Value) {
    for (size_t i = 0; i < List.size(); ++i)
        if (SameTextLocale(List[i], Value)) return static_cast<int>(i);
    return -1;
}

void LoadResourceList(TStringList& List, const wchar_t* Name) {
    TStringList lines;
    if (ReadResourceLines(Name, lines)) List = std::move(lines);
}

void MergeJsonList(TStringList& List, const nlohmann::json& Json, const std::string& Path) {
    if (!Json.is_object()) return;
    auto member = Json.find(Path);
    if (member == Json.end() || !member->is_array()) return;
    for (const nlohmann::json& element : *member) {
        std::wstring text = ElementText(element);
        if (IndexOfText(List, text) < 0) List.push_back(std::move(text));
    }
}

bool MatchList(const TStringList& List, const std::wstring& Value, bool FileMode) {
    std::wstring upperValue;  // computed on the first fragment entry only
    std::wstring fileName;
    bool haveFileName = false;
    for (const std::wstring& raw : List) {
        std::wstring entry;
        switch (ClassifyEntry(raw, FileMode, entry)) {
        case TEntryKind::Skip:
            break;
        case TEntryKind::Prefix:
            if (StartsTextLocale(Value, entry)) return true;
            break;
        case TEntryKind::FileName:
            if (!haveFileName) {
                fileName = FileNamePart(Value);
                haveFileName = true;
            }
            if (EqualsTextAscii(fileName, entry)) return true;
            break;
        case TEntryKind::Fragment:
            if (upperValue.empty()) upperValue = UpperCaseLocale(Value);
            if (upperValue.find(UpperCaseLocale(entry)) != std::wstring::npos) return true;
            break;
        }
    }
    return false;
}

TPreparedList::TPreparedList(const TStringList& List, bool FileMode) : FFileMode(FileMode) {
    for (const std::wstring& raw : List) {
        std::wstring entry;
        switch (ClassifyEntry(raw, FileMode, entry)) {
        case TEntryKind::Skip:
            break;
        case TEntryKind::Prefix: {
            std::string key;
            if (SortKeyLocale(entry.data(), entry.size(), key)) FPrefixKeys[entry.size()].insert(std::move(key));
            else FUnkeyed.push_back(entry);
            FPrefixes.push_back(std::move(entry));
            break;
        }
        case TEntryKind::FileName:
            FFileNames.insert(UpperCaseAscii(entry));
            break;
        case TEntryKind::Fragment:
            FFragments.push_back(UpperCaseLocale(entry));
            break;
        }
    }
}

bool TPreparedList::MatchEach(const std::wstring& Value) const {
    for (const std::wstring& prefix : FPrefixes)
        if (StartsTextLocale(Value, prefix)) return true;
    return false;
}

bool TPreparedList::Match(const std::wstring& Value) const {
    // The answer is whether any entry matches, so the kinds may be tried in
    // any order: the cheap hash lookup first.
    if (!FFileMode) {
        std::string key;
        for (const auto& [length, keys] : FPrefixKeys) {
            if (length > Value.size()) break;
            // Without a key for the value, each entry is compared with it.
            if (!SortKeyLocale(Value.data(), length, key)) return MatchEach(Value);
            if (keys.count(key)) return true;
        }
        for (const std::wstring& prefix : FUnkeyed)
            if (StartsTextLocale(Value, prefix)) return true;
        return false;
    }
    if (!FFileNames.empty() && FFileNames.count(UpperCaseAscii(FileNamePart(Value)))) return true;
    if (FFragments.empty()) return false;
    const std::wstring upperValue = UpperCaseLocale(Value);
    for (const std::wstring& fragment : FFragments)
        if (upperValue.find(fragment) != std::wstring::npos) return true;
    return false;
}

} // namespace tidora
