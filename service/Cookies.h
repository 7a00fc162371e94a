#pragma once
// The client's cookie store: what servers set, sent back only to the hosts
// and paths it belongs to, until it expires.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "service/Url.h"

namespace tidora {

// Cookies that servers set, sent back to the hosts and paths they belong to.
class TCookieStore {
public:
    struct TCookie {
        std::wstring Name, Value, Domain, Path;
        bool HostOnly = true;
        bool Secure = false;
        ULONGLONG Expires = 0;  // UTC in FILETIME units; 0 lasts for the session
    };

    // Keeps the cookie of a Set-Cookie text received from URL. Returns the
    // cookie's name and value, or false when the text holds none.
    bool Add(const std::wstring& SetCookie, const TUrlParts& Url, std::pair<std::wstring, std::wstring>* Pair = nullptr);
    // The "Cookie" header value for a request to Url; empty when none applies.
    std::wstring HeaderFor(const TUrlParts& Url) const;

private:
    std::vector<TCookie> FCookies;
};

} // namespace tidora
