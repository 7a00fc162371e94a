#pragma once
// The maker's web service: where it lives and the paths the program calls.
// The address is fixed when the program is built (CMake cache variable
// TIDORA_SERVICE_URL); scheme, host and port all come from it.
#include <functional>
#include <string>

namespace tidora {

constexpr wchar_t kInitPath[] = L"/api.init.php";
constexpr wchar_t kReportPath[] = L"/report.php";
constexpr wchar_t kReportPagePath[] = L"/?report=";
constexpr wchar_t kEntryPagePath[] = L"/entry/";

// Where the conversation and the usage report go and how a failed update
// check waits. The main window holds one and hands it to what talks to the
// service; tests point it at a server of their own.
struct TService {
    // Scheme, host and optional port, without a trailing slash.
    std::wstring URL;
    // The wait after a failed attempt of the update check.
    std::function<void()> RetryPause;

    // The full address of Path (which starts with "/") on the service host.
    std::wstring Address(const std::wstring& Path) const { return URL + Path; }
};

// The address the program was built with; a failed attempt waits 10 s.
TService BuiltInService();
// The same with another address (trailing slashes dropped).
TService ServiceAt(const std::wstring& URL);

// The path of the service's page about an entry: "/entry/", the source and the
// name the entry has in it (the text of Target after its last backslash or
// colon), lower-cased in ASCII; the name percent-encoded, so that a space,
// "#", "?", "%" or a letter outside ASCII stays part of it.
std::wstring EntryPagePath(const std::wstring& From, const std::wstring& Target);


} // namespace tidora
