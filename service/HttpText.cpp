#include "service/HttpText.h"

#include "system/Path.h"

namespace tidora {

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

std::wstring AsciiLower(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = AsciiLower(c);
    return out;
}

bool SameAscii(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && SameTextAscii(a, 0, b, b.size());
}

std::wstring Trim(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

std::wstring OneLine(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text)
        if (c != L'\r' && c != L'\n') out += c;
    return out;
}

} // namespace tidora
