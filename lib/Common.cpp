#include "lib/Common.h"

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

// The part after the last "\" or ":".
std::wstring FileNamePart(const std::wstring& path) {
    size_t at = path.find_last_of(L"\\:");
    return at == std::wstring::npos ? path : path.substr(at + 1);
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
        std::wstring entry = ExpandPlaceholders(TrimControl(raw));
        if (entry.empty() || entry.compare(0, 2, L"//") == 0) continue;
        if (!FileMode) {
            if (StartsTextLocale(Value, entry)) return true;
        } else if (entry.back() == L'*') {
            entry.pop_back();
            if (!haveFileName) {
                fileName = FileNamePart(Value);
                haveFileName = true;
            }
            if (entry.size() == fileName.size() && SameTextAscii(fileName, 0, entry, entry.size())) return true;
        } else {
            if (upperValue.empty()) upperValue = UpperCaseLocale(Value);
            if (upperValue.find(UpperCaseLocale(entry)) != std::wstring::npos) return true;
        }
    }
    return false;
}

} // namespace tidora
