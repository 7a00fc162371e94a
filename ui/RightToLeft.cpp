#include "ui/RightToLeft.h"

#include <windows.h>

#include "ui/Translate.h"

namespace tidora {

bool IsRightToLeftLanguage(const std::wstring& Language) {
    for (const wchar_t* code : {L"ar", L"he", L"fa", L"ur"})
        if (Language == code) return true;
    return false;
}

bool IsRightToLeft() {
    return IsRightToLeftLanguage(CurrentLanguage());
}

void ApplyProcessLayout() {
    SetProcessDefaultLayout(IsRightToLeft() ? LAYOUT_RTL : 0);
}

std::wstring LeftToRightText(const std::wstring& Text) {
    if (!IsRightToLeft() || Text.empty()) return Text;
    // LEFT-TO-RIGHT EMBEDDING ... POP DIRECTIONAL FORMATTING: older than the
    // isolates and understood by every Windows text renderer.
    return L"\x202A" + Text + L"\x202C";
}

} // namespace tidora
