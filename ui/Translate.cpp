#include "ui/Translate.h"

#include <windows.h>

#include "system/Strings.h"
#include "system/Resource.h"

namespace tidora {
namespace {

std::wstring& Language() {
    static std::wstring language = L"en";
    return language;
}

std::wstring ReplaceLineBreaks(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'n') {
            out += L'\r';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Empty for an empty line or one without "=".
std::wstring TextPart(const std::wstring& line, size_t eq) {
    return eq == std::wstring::npos ? std::wstring() : line.substr(eq + 1);
}

} // namespace

std::vector<std::wstring>& TranslationTable() {
    static std::vector<std::wstring> table;
    return table;
}

const std::wstring& CurrentLanguage() {
    return Language();
}

void SetCurrentLanguage(const std::wstring& LanguageCode) {
    Language() = LanguageCode;
}

std::wstring DetectUserLanguage() {
    const LCID lcid = GetUserDefaultLCID();
    int size = GetLocaleInfoW(lcid, LOCALE_SISO639LANGNAME, nullptr, 0);
    if (size < 1) return L"en";
    std::wstring name(static_cast<size_t>(size), L'\0');
    if (GetLocaleInfoW(lcid, LOCALE_SISO639LANGNAME, &name[0], size) < 1) return L"en";
    name.resize(wcslen(name.c_str()));
    return name;
}

void InitTranslation() {
    std::vector<std::wstring> lines;
    if (ReadResourceLines(L"translate", lines)) TranslationTable() = std::move(lines);
    Language() = DetectUserLanguage().substr(0, 2);
}

std::wstring TranslateText(const std::wstring& Text, const std::wstring& LanguageCode) {
    std::wstring result = ReplaceLineBreaks(Text);
    if (Text.empty()) return result;
    const std::wstring& language = LanguageCode.empty() ? Language() : LanguageCode;
    const std::vector<std::wstring>& table = TranslationTable();

    size_t found = table.size();
    for (size_t i = 0; i < table.size() && found == table.size(); ++i) {
        const std::wstring& line = table[i];
        size_t eq = line.find(L'=');
        if (eq != std::wstring::npos && line.size() - eq - 1 == Text.size() &&
            SameTextAscii(line, eq + 1, Text, Text.size()))
            found = i;
    }
    if (found == table.size()) return result;

    size_t first = found;
    while (first > 0 && !table[first - 1].empty()) --first;
    for (const std::wstring& code : {language, std::wstring(L"en")}) {
        for (size_t i = first; i < table.size() && !table[i].empty(); ++i) {
            size_t eq = table[i].find(L'=');
            if (eq != std::wstring::npos && table[i].compare(0, eq, code) == 0)
                return ReplaceLineBreaks(TextPart(table[i], eq));
        }
    }
    return result;
}

void TranslateMenuItem(TMenuItem* Item) {
    if (!Item) return;
    Item->SetCaption(TranslateText(Item->Caption()));
    for (size_t i = 0; i < Item->Count(); ++i) TranslateMenuItem(Item->Item(i));
}

void TranslateComponent(TComponent* Component, const std::wstring& LanguageCode) {
    if (!LanguageCode.empty()) Language() = LanguageCode;
    if (!Component) return;
    if (TMenuItem* root = Component->PopupRoot()) TranslateMenuItem(root);
    if (Component->HasCaption()) {
        // Window titles show the English row in every language but Korean.
        std::wstring language = Language();
        if (Component->IsForm() && language != L"ko") language = L"en";
        Component->SetCaption(TranslateText(Component->Caption(), language));
    }
    for (size_t i = 0; i < Component->OwnedCount(); ++i) TranslateComponent(Component->Owned(i), LanguageCode);
}

} // namespace tidora
