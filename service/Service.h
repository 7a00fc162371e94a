#pragma once
// The maker's web service: where it lives and the paths the program calls.
// The address is fixed when the program is built (CMake cache variable
// TIDORA_SERVICE_URL); scheme, host and port all come from it.
#include <string>

namespace tidora {

constexpr wchar_t kInitPath[] = L"/api.init.php";
constexpr wchar_t kReportPath[] = L"/report.php";
constexpr wchar_t kReportPagePath[] = L"/?report=";
constexpr wchar_t kEntryPagePath[] = L"/entry/";

// Scheme, host and optional port, without a trailing slash.
std::wstring ServiceURL();
// The full address of Path (which starts with "/") on the service host.
std::wstring ServiceAddress(const std::wstring& Path);

// The path of the service's page about an entry: "/entry/", the source and the
// name the entry has in it (the text of Target after its last backslash or
// colon), lower-cased in ASCII; the name percent-encoded, so that a space,
// "#", "?", "%" or a letter outside ASCII stays part of it.
std::wstring EntryPagePath(const std::wstring& From, const std::wstring& Target);


// Points the program at another server. Only tests call this, before any
// request; the shipped program always talks to the address it was built with.
void OverrideServiceURL(const std::wstring& URL);

} // namespace tidora
