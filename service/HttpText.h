#pragma once
// The small text rules of HTTP messages that the client's parts share: blanks
// around values, header lines kept to one line, and the cap on a reply body.
// Names are compared with the ASCII helpers of system/Strings.
#include <cstddef>
#include <string>

namespace tidora {

// A reply body larger than this, as received or after inflation, fails the
// request: the service never sends anything close, and nothing a server sends
// may grow the program's memory without bound.
constexpr size_t kMaxBodySize = 16u * 1024u * 1024u;

// The error text of a body past kMaxBodySize.
inline constexpr wchar_t kBodyTooLarge[] = L"The reply body exceeds the limit of 16 MiB";

// Without blanks and tabs at either end.
std::wstring Trim(const std::wstring& text);
// Without line breaks: a header line must stay one line, whatever a caller
// put into it.
std::wstring OneLine(const std::wstring& text);

} // namespace tidora
