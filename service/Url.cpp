#include "service/Url.h"

namespace tidora {
namespace {

std::wstring Origin(const TUrlParts& parts) {
    std::wstring origin = parts.Secure ? L"https://" : L"http://";
    origin += parts.Host;
    if (parts.Port != (parts.Secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT))
        origin += L":" + std::to_wstring(parts.Port);
    return origin;
}

} // namespace

bool CrackUrl(const std::wstring& URL, TUrlParts& Parts) {
    if (URL.empty()) return false;
    URL_COMPONENTS c{};
    c.dwStructSize = sizeof(c);
    c.dwSchemeLength = c.dwHostNameLength = c.dwUrlPathLength = c.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(URL.c_str(), static_cast<DWORD>(URL.size()), 0, &c)) return false;
    if (c.nScheme != INTERNET_SCHEME_HTTP && c.nScheme != INTERNET_SCHEME_HTTPS) return false;
    if (!c.lpszHostName || c.dwHostNameLength == 0) return false;
    Parts.Secure = c.nScheme == INTERNET_SCHEME_HTTPS;
    Parts.Host.assign(c.lpszHostName, c.dwHostNameLength);
    Parts.Port = c.nPort;
    Parts.PathAndQuery.clear();
    if (c.lpszUrlPath) Parts.PathAndQuery.assign(c.lpszUrlPath, c.dwUrlPathLength);
    if (c.lpszExtraInfo) Parts.PathAndQuery.append(c.lpszExtraInfo, c.dwExtraInfoLength);
    if (Parts.PathAndQuery.empty() || Parts.PathAndQuery[0] != L'/') Parts.PathAndQuery.insert(0, L"/");
    return true;
}

std::wstring ResolveLocation(const TUrlParts& Base, const std::wstring& Location) {
    if (Location.find(L"://") != std::wstring::npos) return Location;
    if (Location.compare(0, 2, L"//") == 0) return (Base.Secure ? L"https:" : L"http:") + Location;
    if (!Location.empty() && Location[0] == L'/') return Origin(Base) + Location;
    std::wstring path = Base.PathAndQuery.substr(0, Base.PathAndQuery.find_first_of(L"?#"));
    return Origin(Base) + path.substr(0, path.rfind(L'/') + 1) + Location;
}

} // namespace tidora
