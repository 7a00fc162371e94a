#pragma once
// Right-to-left languages: windows are mirrored as Windows programs are for
// them, while paths and registry names keep their left-to-right order.
#include <string>

namespace tidora {

bool IsRightToLeftLanguage(const std::wstring& Language);
// Whether the current language (ui/Translate) reads right to left.
bool IsRightToLeft();

// Makes new top-level windows (message boxes included) mirrored or not, after
// the current language. Forms call it before they create their window.
void ApplyProcessLayout();

// Text that must read left to right whatever the window's direction (a path,
// a registry name): embedded in a left-to-right run while the language is
// right to left, unchanged otherwise.
std::wstring LeftToRightText(const std::wstring& Text);

} // namespace tidora
