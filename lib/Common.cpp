#include "lib/Common.h"

#include <windows.h>
#include <shellapi.h>

#include <nlohmann/json.hpp>

#include "system/Path.h"
#include "system/Resource.h"
#include "system/Strings.h"

namespace tidora {
namespace {

void ShellExecuteOpen(const std::wstring& Target) {
    // The shell's answer is of no use: a failure is neither reported nor retried.
    ShellExecuteW(nullptr, L"open", Target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

TShellOpenProc& ShellOpenProc() {
    static TShellOpenProc proc = ShellExecuteOpen;
    return proc;
}

bool StartsWithAscii(const std::wstring& Text, const std::wstring& Prefix) {
    return Text.size() >= Prefix.size() && SameTextAscii(Text, 0, Prefix, Prefix.size());
}

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
            if (entry.size() == fileName.size() && SameTextAscii(fileName, 0, entry, entry.size())) return true;
            break;
        case TEntryKind::Fragment:
            if (upperValue.empty()) upperValue = UpperCaseLocale(Value);
            if (upperValue.find(UpperCaseLocale(entry)) != std::wstring::npos) return true;
            break;
        }
    }
    return false;
}

void ShellOpen(const std::wstring& Target) {
    ShellOpenProc()(Target);
}

TShellOpenProc SetShellOpenProc(TShellOpenProc Proc) {
    TShellOpenProc previous = std::move(ShellOpenProc());
    ShellOpenProc() = Proc ? std::move(Proc) : TShellOpenProc(ShellExecuteOpen);
    return previous;
}

bool IsWebAddress(const std::wstring& Address) {
    size_t at = 0;
    if (StartsWithAscii(Address, L"https://"))
        at = 8;
    else if (StartsWithAscii(Address, L"http://"))
        at = 7;
    else
        return false;
    for (wchar_t c : Address) {
        // Blanks and quotes would end the browser's argument early; a trailing
        // backslash would swallow the closing quote; control characters have
        // no place in an address.
        if (c <= L' ' || c == L'"' || c == L'\\' || (c >= 0x7F && c <= 0x9F)) return false;
    }
    // The host: what lies between "//" and the path, without user and port.
    size_t end = Address.find_first_of(L"/?#", at);
    if (end == std::wstring::npos) end = Address.size();
    std::wstring host = Address.substr(at, end - at);
    const size_t user = host.rfind(L'@');
    if (user != std::wstring::npos) host.erase(0, user + 1);
    if (!host.empty() && host[0] != L'[') {
        const size_t port = host.find(L':');
        if (port != std::wstring::npos) host.erase(port);
    }
    return !host.empty();
}

void ShellOpenUrl(const std::wstring& Address) {
    if (IsWebAddress(Address)) ShellOpen(Address);
}

TPreparedList::TPreparedList(const TStringList& List, bool FileMode) : FFileMode(FileMode) {
    for (const std::wstring& raw : List) {
        std::wstring entry;
        switch (ClassifyEntry(raw, FileMode, entry)) {
        case TEntryKind::Skip:
            break;
        case TEntryKind::Prefix:
            FPrefixes.push_back(std::move(entry));
            break;
        case TEntryKind::FileName:
            FFileNames.insert(UpperCaseAscii(entry));
            break;
        case TEntryKind::Fragment:
            FFragments.push_back(UpperCaseLocale(entry));
            break;
        }
    }
}

bool TPreparedList::Match(const std::wstring& Value) const {
    // The answer is whether any entry matches, so the kinds may be tried in
    // any order: the cheap hash lookup first.
    if (!FFileMode) {
        for (const std::wstring& prefix : FPrefixes)
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
