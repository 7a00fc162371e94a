#include "service/HttpText.h"

namespace tidora {

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
