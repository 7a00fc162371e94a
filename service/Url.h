#pragma once
// Addresses as the HTTP client takes them apart and follows them.
#include <windows.h>
#include <winhttp.h>

#include <string>

namespace tidora {

// The parts of an http or https address that WinHTTP wants separately.
struct TUrlParts {
    bool Secure = false;
    std::wstring Host;
    INTERNET_PORT Port = 0;
    std::wstring PathAndQuery;  // "/" at least
};

// False for anything but an absolute http or https address.
bool CrackUrl(const std::wstring& URL, TUrlParts& Parts);

// Where a redirect's Location leads from Base: absolute, scheme-relative,
// host-relative or relative to Base's folder.
std::wstring ResolveLocation(const TUrlParts& Base, const std::wstring& Location);

} // namespace tidora
