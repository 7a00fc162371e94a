#include "service/Cookies.h"

#include <algorithm>
#include <cwchar>

#include "service/HttpText.h"
#include "system/Strings.h"

namespace tidora {
namespace {

ULONGLONG NowUtc() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool DomainMatch(const std::wstring& host, const std::wstring& domain) {
    if (host == domain) return true;
    return host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == L'.';
}

bool PathMatch(const std::wstring& requestPath, const std::wstring& cookiePath) {
    if (requestPath.compare(0, cookiePath.size(), cookiePath) != 0) return false;
    return requestPath.size() == cookiePath.size() || cookiePath.back() == L'/' ||
           requestPath[cookiePath.size()] == L'/';
}

std::wstring PathOnly(const TUrlParts& url) {
    return url.PathAndQuery.substr(0, url.PathAndQuery.find_first_of(L"?#"));
}

} // namespace

bool TCookieStore::Add(const std::wstring& SetCookie, const TUrlParts& Url,
                       std::pair<std::wstring, std::wstring>* Pair) {
    size_t semi = SetCookie.find(L';');
    std::wstring pair = SetCookie.substr(0, semi);
    size_t eq = pair.find(L'=');
    if (eq == std::wstring::npos) return false;
    TCookie cookie;
    cookie.Name = Trim(pair.substr(0, eq));
    cookie.Value = Trim(pair.substr(eq + 1));
    if (cookie.Name.empty()) return false;
    if (Pair) *Pair = {cookie.Name, cookie.Value};

    const std::wstring host = LowerCaseAscii(Url.Host);
    cookie.Domain = host;
    bool expired = false;
    bool hasMaxAge = false;
    while (semi != std::wstring::npos) {
        size_t next = SetCookie.find(L';', semi + 1);
        std::wstring attr = SetCookie.substr(semi + 1, next == std::wstring::npos ? std::wstring::npos : next - semi - 1);
        semi = next;
        size_t aeq = attr.find(L'=');
        std::wstring name = LowerCaseAscii(Trim(attr.substr(0, aeq)));
        std::wstring value = aeq == std::wstring::npos ? L"" : Trim(attr.substr(aeq + 1));
        if (name == L"domain" && !value.empty()) {
            std::wstring domain = LowerCaseAscii(value[0] == L'.' ? value.substr(1) : value);
            if (!DomainMatch(host, domain)) return true;  // another site's cookie: not kept
            cookie.Domain = domain;
            cookie.HostOnly = false;
        } else if (name == L"path" && !value.empty() && value[0] == L'/') {
            cookie.Path = value;
        } else if (name == L"secure") {
            cookie.Secure = true;
        } else if (name == L"max-age" && !value.empty()) {
            hasMaxAge = true;
            long long seconds = _wtoi64(value.c_str());
            if (seconds <= 0) expired = true;
            else cookie.Expires = NowUtc() + static_cast<ULONGLONG>(seconds) * 10000000ULL;
        } else if (name == L"expires" && !hasMaxAge && !value.empty()) {
            SYSTEMTIME st{};
            FILETIME ft{};
            if (WinHttpTimeToSystemTime(value.c_str(), &st) && SystemTimeToFileTime(&st, &ft)) {
                ULONGLONG at = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
                if (at <= NowUtc()) expired = true;
                else cookie.Expires = at;
            }
        }
    }
    if (cookie.Path.empty()) {
        std::wstring path = PathOnly(Url);
        size_t slash = path.rfind(L'/');
        cookie.Path = slash == 0 || slash == std::wstring::npos ? L"/" : path.substr(0, slash);
    }
    FCookies.erase(std::remove_if(FCookies.begin(), FCookies.end(),
                                  [&](const TCookie& c) {
                                      return c.Name == cookie.Name && c.Domain == cookie.Domain &&
                                             c.Path == cookie.Path;
                                  }),
                   FCookies.end());
    if (!expired) FCookies.push_back(std::move(cookie));
    return true;
}

std::wstring TCookieStore::HeaderFor(const TUrlParts& Url) const {
    const std::wstring host = LowerCaseAscii(Url.Host);
    const std::wstring path = PathOnly(Url);
    const ULONGLONG now = NowUtc();
    std::vector<const TCookie*> matching;
    for (const TCookie& c : FCookies) {
        if (c.Expires && c.Expires <= now) continue;
        if (c.Secure && !Url.Secure) continue;
        if (c.HostOnly ? host != c.Domain : !DomainMatch(host, c.Domain)) continue;
        if (!PathMatch(path, c.Path)) continue;
        matching.push_back(&c);
    }
    // Longer paths first, as browsers send them.
    std::stable_sort(matching.begin(), matching.end(),
                     [](const TCookie* a, const TCookie* b) { return a->Path.size() > b->Path.size(); });
    std::wstring header;
    for (const TCookie* c : matching) {
        if (!header.empty()) header += L"; ";
        header += c->Name + L"=" + c->Value;
    }
    return header;
}

} // namespace tidora
