#pragma once
// Special folders and the path placeholders ("%SystemRoot%", "%ProgramFiles%"
// ...) that list entries start with and that report paths are shortened to.
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tidora {

// Placeholder and its folder, in lookup order.
using TPlaceholders = std::vector<std::pair<std::wstring, std::wstring>>;

// The folder of a CSIDL number without trailing backslash; empty on failure.
std::wstring GetFolderPath(int Csidl);

// The path without its first " (x86)" (compared without regard to case).
std::wstring RemoveX86(const std::wstring& Path);

// Whether Windows itself is 64-bit on an x64 processor.
bool IsX64Windows();

// The placeholder table for a system; Folder answers a CSIDL number.
TPlaceholders BuildPlaceholders(bool X64, const std::function<std::wstring(int)>& Folder);

// Fills the process-wide table; runs once at start before any window exists.
void InitPlaceholders();
const TPlaceholders& Placeholders();

// A leading "placeholder\" replaced by its folder.
std::wstring ExpandPlaceholders(const std::wstring& Text);
std::wstring ExpandPlaceholders(const std::wstring& Text, const TPlaceholders& Table);

// A leading "folder\" replaced by its placeholder.
std::wstring ShortenPath(const std::wstring& Path);
std::wstring ShortenPath(const std::wstring& Path, const TPlaceholders& Table);

// ASCII-only case-insensitive comparison of the first Count characters.
bool SameTextAscii(const std::wstring& A, size_t AFrom, const std::wstring& B, size_t Count);

} // namespace tidora
