#pragma once
// The user interface is written in Korean; every caption and message passes
// through here on its way to the screen and comes out in the user's language,
// with English for any language or text the table lacks.
#include <string>
#include <vector>

#include "ui/Component.h"

namespace tidora {

// Loads the table from the "translate" resource and picks the user's language.
void InitTranslation();

// The table, a line per entry, empty lines included (tests may replace it).
std::vector<std::wstring>& TranslationTable();

// The two-letter code in use.
const std::wstring& CurrentLanguage();
void SetCurrentLanguage(const std::wstring& Language);

// The ISO 639-1 name of the user's default locale; "en" when it cannot be had.
std::wstring DetectUserLanguage();

// Text in Language (CurrentLanguage when empty), English when the text's block
// has no such line, the text itself when no block has it. "\n" becomes a CR.
std::wstring TranslateText(const std::wstring& Text, const std::wstring& Language = L"");

// Translates a window tree in place; a form's title uses English unless the
// language is Korean. A non-empty Language becomes the current one.
void TranslateComponent(TComponent* Component, const std::wstring& Language = L"");
void TranslateMenuItem(TMenuItem* Item);

} // namespace tidora
