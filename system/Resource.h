#pragma once
// Text resources carried in the program's own module.
#include <string>
#include <vector>

namespace tidora {

// The raw bytes of RCDATA resource Name (matched without regard to case);
// false when it is missing or unreadable.
bool ReadResourceBytes(const wchar_t* Name, std::string& Bytes);

// The resource decoded as UTF-8 (a leading BOM skipped) and split into lines.
bool ReadResourceLines(const wchar_t* Name, std::vector<std::wstring>& Lines);

// Bytes of a UTF-8 text without its BOM.
std::wstring DecodeUtf8Text(const std::string& Bytes);

} // namespace tidora
