#include "service/HTTP.h"

#include <zlib.h>

#include <algorithm>
#include <cwchar>
#include <random>

#include "system/Path.h"
#include "system/Strings.h"

namespace tidora {
namespace {

const wchar_t kBodyTooLarge[] = L"The reply body exceeds the limit of 16 MiB";

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
}

std::wstring AsciiLower(const std::wstring& text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = AsciiLower(c);
    return out;
}

bool SameAscii(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && SameTextAscii(a, 0, b, b.size());
}

std::wstring Trim(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// Header lines must stay one line each, whatever a caller put into them.
std::wstring OneLine(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text)
        if (c != L'\r' && c != L'\n') out += c;
    return out;
}

bool QueryHeader(HINTERNET request, DWORD info, std::wstring& value, DWORD* index = nullptr) {
    DWORD size = 0;
    DWORD start = index ? *index : 0;
    WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        index ? index : WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    if (index) *index = start;
    std::wstring buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, &buffer[0], &size,
                             index ? index : WINHTTP_NO_HEADER_INDEX))
        return false;
    buffer.resize(size / sizeof(wchar_t));
    value = buffer;
    return true;
}

// The charset parameter of a Content-Type value, without quotes.
std::wstring CharSetOf(const std::wstring& contentType) {
    size_t from = contentType.find(L';');
    while (from != std::wstring::npos) {
        size_t next = contentType.find(L';', from + 1);
        std::wstring param =
            Trim(contentType.substr(from + 1, next == std::wstring::npos ? std::wstring::npos : next - from - 1));
        size_t eq = param.find(L'=');
        if (eq != std::wstring::npos && SameAscii(Trim(param.substr(0, eq)), L"charset")) {
            std::wstring value = Trim(param.substr(eq + 1));
            if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
        from = next;
    }
    return {};
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::wstring Origin(const TUrlParts& parts) {
    std::wstring origin = parts.Secure ? L"https://" : L"http://";
    origin += parts.Host;
    if (parts.Port != (parts.Secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT))
        origin += L":" + std::to_wstring(parts.Port);
    return origin;
}

std::wstring ResolveLocation(const TUrlParts& base, const std::wstring& location) {
    if (location.find(L"://") != std::wstring::npos) return location;
    if (location.compare(0, 2, L"//") == 0) return (base.Secure ? L"https:" : L"http:") + location;
    if (!location.empty() && location[0] == L'/') return Origin(base) + location;
    std::wstring path = base.PathAndQuery.substr(0, base.PathAndQuery.find_first_of(L"?#"));
    return Origin(base) + path.substr(0, path.rfind(L'/') + 1) + location;
}

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

std::string RandomHex(size_t digits) {
    static const char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::mt19937 generator(device());
    std::string out;
    for (size_t i = 0; i < digits; ++i) out += kHex[generator() & 15];
    return out;
}

std::string QuotedFormName(const std::wstring& name) {
    std::string out;
    for (char c : WideToUtf8(name)) {
        if (c == '"') out += "%22";
        else if (c == '\r' || c == '\n') out += ' ';
        else out += c;
    }
    return out;
}

// For systems whose winhttp.dll carries no message table.
std::wstring KnownErrorText(DWORD code) {
    switch (code) {
    case ERROR_WINHTTP_TIMEOUT: return L"The operation timed out";
    case ERROR_WINHTTP_INVALID_URL: return L"The URL is invalid";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME: return L"The URL scheme is not recognized";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return L"The server name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT: return L"A connection with the server could not be established";
    case ERROR_WINHTTP_CONNECTION_ERROR: return L"The connection with the server was reset or terminated";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return L"The server returned an invalid or unrecognized response";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: return L"An error occurred in the secure channel support";
    case ERROR_WINHTTP_SECURE_FAILURE: return L"The server's certificate is invalid or untrusted";
    case ERROR_WINHTTP_SECURE_INVALID_CA: return L"The certificate was issued by an untrusted authority";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID: return L"The certificate's name does not match the server";
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID: return L"The certificate has expired or is not yet valid";
    case WSAETIMEDOUT: return L"The server did not answer in time";
    default: return L"error " + std::to_wstring(code);
    }
}

} // namespace

// ---------------------------------------------------------------- addresses

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

// ---------------------------------------------------------------- cookies

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

    const std::wstring host = AsciiLower(Url.Host);
    cookie.Domain = host;
    bool expired = false;
    bool hasMaxAge = false;
    while (semi != std::wstring::npos) {
        size_t next = SetCookie.find(L';', semi + 1);
        std::wstring attr = SetCookie.substr(semi + 1, next == std::wstring::npos ? std::wstring::npos : next - semi - 1);
        semi = next;
        size_t aeq = attr.find(L'=');
        std::wstring name = AsciiLower(Trim(attr.substr(0, aeq)));
        std::wstring value = aeq == std::wstring::npos ? L"" : Trim(attr.substr(aeq + 1));
        if (name == L"domain" && !value.empty()) {
            std::wstring domain = AsciiLower(value[0] == L'.' ? value.substr(1) : value);
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
    const std::wstring host = AsciiLower(Url.Host);
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

// ---------------------------------------------------------------- multipart form

TMultipartFormData::TMultipartFormData() : FBoundary("--------TidoraFormBoundary" + RandomHex(16)) {}

void TMultipartFormData::AddField(const std::wstring& Name, const std::wstring& Value) {
    FParts += "--" + FBoundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedFormName(Name) +
              "\"\r\n\r\n" + WideToUtf8(Value) + "\r\n";
}

void TMultipartFormData::AddFile(const std::wstring& Name, const std::wstring& FileName, const std::string& Bytes,
                                 const std::wstring& ContentType) {
    FParts += "--" + FBoundary + "\r\nContent-Disposition: form-data; name=\"" + QuotedFormName(Name) +
              "\"; filename=\"" + QuotedFormName(FileName) + "\"\r\nContent-Type: " + WideToUtf8(OneLine(ContentType)) +
              "\r\n\r\n";
    FParts += Bytes;
    FParts += "\r\n";
}

std::wstring TMultipartFormData::ContentType() const {
    return L"multipart/form-data; boundary=" + Utf8ToWide(FBoundary);
}

std::string TMultipartFormData::Body() const {
    return FParts + "--" + FBoundary + "--\r\n";
}

// ---------------------------------------------------------------- transport

std::wstring TransportErrorText(const std::wstring& Stage, DWORD Code) {
    wchar_t* buffer = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    HMODULE module = nullptr;
    if (Code >= WINHTTP_ERROR_BASE && Code <= WINHTTP_ERROR_BASE + 999) {
        module = GetModuleHandleW(L"winhttp.dll");
        if (module) flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
    DWORD length = FormatMessageW(flags, module, Code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message = length && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' ||
                                message.back() == L'.'))
        message.pop_back();
    if (message.empty()) message = KnownErrorText(Code);
    return Stage + L": (" + std::to_wstring(Code) + L") " + message;
}

TTransportClient::TTransportClient() = default;
TTransportClient::~TTransportClient() = default;

std::wstring TTransportClient::Header(const std::wstring& Name) const {
    for (const auto& header : FHeaders)
        if (SameAscii(header.first, Name)) return header.second;
    return {};
}

void TTransportClient::SetHeader(const std::wstring& Name, const std::wstring& Value) {
    for (auto& header : FHeaders) {
        if (SameAscii(header.first, Name)) {
            header.second = Value;
            return;
        }
    }
    FHeaders.emplace_back(Name, Value);
}

void TTransportClient::SetProxy(const std::wstring& Host, int Port, const std::wstring& UserName,
                                const std::wstring& Password, const std::wstring& Scheme) {
    FProxyHost = Host;
    FProxyPort = Port;
    FProxyUser = UserName;
    FProxyPassword = Password;
    FProxyScheme = Scheme;
    // The proxy belongs to the session; the next request opens a new one.
    FSession.reset();
}

bool TTransportClient::OpenSession(std::wstring& Error) {
    if (FSession) return true;
    std::wstring proxy;
    if (!FProxyHost.empty()) {
        proxy = (FProxyScheme.empty() ? L"" : FProxyScheme + L"://") + FProxyHost;
        if (FProxyPort > 0) proxy += L":" + std::to_wstring(FProxyPort);
    }
    // No agent here: the "User-Agent" header of the list is the one sent.
    FSession.reset(WinHttpOpen(nullptr, proxy.empty() ? WINHTTP_ACCESS_TYPE_DEFAULT_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                               proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    if (!FSession) {
        DWORD code = GetLastError();
        Error = TransportErrorText(L"Error opening session", code);
        return false;
    }
    // Older systems offer only TLS 1.0 unless asked; TLS 1.3 is refused where unknown.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1 |
                      WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(FSession.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
        protocols &= ~static_cast<DWORD>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3);
        WinHttpSetOption(FSession.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    }
    return true;
}

bool TTransportClient::Execute(const TTransportRequest& Request, TTransportResponse& Response, std::wstring& Error) {
    if (!OpenSession(Error)) return false;
    std::wstring method = Request.Method;
    std::wstring url = Request.URL;
    bool sendBody = true;
    for (int redirects = 0;; ++redirects) {
        TTransportResponse hop;
        std::wstring location;
        if (!ExecuteOnce(Request, method, url, sendBody, hop, location, Error)) return false;
        if (location.empty()) {
            Response = std::move(hop);
            return true;
        }
        if (redirects == kMaxRedirects) {
            Error = L"Maximum number of redirects (" + std::to_wstring(kMaxRedirects) + L") exceeded";
            return false;
        }
        url = location;
        // Browsers turn a redirected POST into a GET except for 307 and 308.
        if (hop.StatusCode == 303 || ((hop.StatusCode == 301 || hop.StatusCode == 302) && method == L"POST")) {
            if (method != L"HEAD") method = L"GET";
            sendBody = false;
        }
    }
}

bool TTransportClient::ExecuteOnce(const TTransportRequest& Request, const std::wstring& Method,
                                   const std::wstring& URL, bool SendBody, TTransportResponse& Response,
                                   std::wstring& Location, std::wstring& Error) {
    TUrlParts parts;
    if (!CrackUrl(URL, parts)) {
        Error = L"Invalid address: " + URL;
        return false;
    }
    UniqueInternet connection(WinHttpConnect(FSession.get(), parts.Host.c_str(), parts.Port, 0));
    if (!connection) {
        DWORD code = GetLastError();
        Error = TransportErrorText(L"Error connecting", code);
        return false;
    }
    UniqueInternet request(WinHttpOpenRequest(connection.get(), Method.c_str(), parts.PathAndQuery.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              parts.Secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
        DWORD code = GetLastError();
        Error = TransportErrorText(L"Error opening request", code);
        return false;
    }
    // Cookies and redirects are ours: the store sees every hop's cookies and
    // sends each host only its own.
    DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof(features));
    WinHttpSetTimeouts(request.get(), 0, ConnectionTimeout, SendTimeout, ResponseTimeout);
    // Some WinHTTP implementations ignore the receive timeout above but honour this one.
    DWORD responseTimeout = static_cast<DWORD>(ResponseTimeout);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                     sizeof(responseTimeout));

    std::wstring headers;
    for (const auto& header : FHeaders) {
        if (!Request.ContentType.empty() && SameAscii(header.first, L"Content-Type")) continue;
        headers += OneLine(header.first) + L": " + OneLine(header.second) + L"\r\n";
    }
    if (!Request.ContentType.empty()) headers += L"Content-Type: " + OneLine(Request.ContentType) + L"\r\n";
    std::wstring cookies = FCookies.HeaderFor(parts);
    if (!cookies.empty()) headers += L"Cookie: " + OneLine(cookies) + L"\r\n";
    if (!headers.empty() &&
        !WinHttpAddRequestHeaders(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
        DWORD code = GetLastError();
        Error = TransportErrorText(L"Error adding headers", code);
        return false;
    }

    void* body = SendBody ? const_cast<void*>(Request.Body) : nullptr;
    DWORD bodySize = SendBody && body ? static_cast<DWORD>(Request.BodySize) : 0;
    bool proxyLoginSent = false;
    DWORD status = 0;
    for (;;) {
        if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, bodySize, bodySize, 0)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error sending data", code);
            return false;
        }
        if (!WinHttpReceiveResponse(request.get(), nullptr)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error receiving data", code);
            return false;
        }
        DWORD size = sizeof(status);
        if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                 WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error reading the status", code);
            return false;
        }
        if (status != HTTP_STATUS_PROXY_AUTH_REQ || FProxyUser.empty() || proxyLoginSent) break;
        DWORD supported = 0, first = 0, target = 0;
        if (!WinHttpQueryAuthSchemes(request.get(), &supported, &first, &target)) break;
        DWORD scheme = 0;
        for (DWORD candidate : {WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
                                WINHTTP_AUTH_SCHEME_BASIC})
            if (supported & candidate) {
                scheme = candidate;
                break;
            }
        if (!scheme || !WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_PROXY, scheme, FProxyUser.c_str(),
                                              FProxyPassword.c_str(), nullptr))
            break;
        proxyLoginSent = true;
    }
    Response.StatusCode = static_cast<int>(status);

    DWORD index = 0;
    std::wstring setCookie;
    for (;;) {
        const DWORD at = index;
        if (!QueryHeader(request.get(), WINHTTP_QUERY_SET_COOKIE, setCookie, &index)) break;
        std::pair<std::wstring, std::wstring> pair;
        if (FCookies.Add(setCookie, parts, &pair)) Response.Cookies.push_back(std::move(pair));
        if (index == at) ++index;  // the query moves the index on; make sure of it
    }

    if (HandleRedirects && IsRedirect(Response.StatusCode)) {
        std::wstring location;
        if (QueryHeader(request.get(), WINHTTP_QUERY_LOCATION, location) && !location.empty()) {
            Location = ResolveLocation(parts, location);
            return true;
        }
    }

    std::wstring contentType;
    if (QueryHeader(request.get(), WINHTTP_QUERY_CONTENT_TYPE, contentType)) Response.CharSet = CharSetOf(contentType);
    QueryHeader(request.get(), WINHTTP_QUERY_CONTENT_ENCODING, Response.ContentEncoding);
    int64_t contentLength = -1;
    std::wstring lengthText;
    if (QueryHeader(request.get(), WINHTTP_QUERY_CONTENT_LENGTH, lengthText)) contentLength = _wtoi64(lengthText.c_str());

    const size_t limit = Request.Sink ? 0 : BodyLimit;
    if (limit && contentLength > static_cast<int64_t>(limit)) {
        Error = kBodyTooLarge;
        return false;
    }
    if (!Request.Sink && contentLength > 0) Response.Body.reserve(static_cast<size_t>(contentLength));
    std::vector<uint8_t> chunk;
    int64_t readCount = 0;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(request.get(), &available)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error receiving data", code);
            return false;
        }
        if (available == 0) break;
        DWORD got = 0;
        if (Request.Sink) {
            chunk.resize(available);
            if (!WinHttpReadData(request.get(), chunk.data(), available, &got)) {
                DWORD code = GetLastError();
                Error = TransportErrorText(L"Error receiving data", code);
                return false;
            }
            Request.Sink->Write(chunk.data(), got);
        } else {
            const size_t held = Response.Body.size();
            if (limit && held + available > limit) {
                Error = kBodyTooLarge;
                return false;
            }
            Response.Body.resize(held + available);
            BOOL read = WinHttpReadData(request.get(), Response.Body.data() + held, available, &got);
            DWORD code = GetLastError();
            Response.Body.resize(held + got);
            if (!read) {
                Error = TransportErrorText(L"Error receiving data", code);
                return false;
            }
        }
        if (got == 0) break;
        readCount += got;
        if (OnReceiveData) {
            bool abort = false;
            OnReceiveData(contentLength, readCount, abort);
            if (abort) {
                Error = L"The transfer was aborted";
                return false;
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------- decoding

std::wstring DecodeCharSet(const std::vector<uint8_t>& Bytes, const std::wstring& CharSet) {
    const char* data = reinterpret_cast<const char*>(Bytes.data());
    if (CharSet == L"utf-8") return CodePageToWide(data, Bytes.size(), CP_UTF8);
    // EUC-KR proper (51949) where the system has it, else its superset 949,
    // which decodes every EUC-KR text the same.
    static const bool hasEucKr = IsValidCodePage(51949) != FALSE;
    return CodePageToWide(data, Bytes.size(), hasEucKr ? 51949 : 949);
}

bool InflateGzip(const std::vector<uint8_t>& Input, std::vector<uint8_t>& Output, size_t Limit, std::wstring& Error) {
    Output.clear();
    if (Input.empty()) return true;
    z_stream z{};
    if (inflateInit2(&z, 31) != Z_OK) {
        Error = L"The gzip inflater could not start";
        return false;
    }
    struct End {
        z_stream* Stream;
        ~End() { inflateEnd(Stream); }
    } end{&z};
    z.next_in = const_cast<Bytef*>(Input.data());
    z.avail_in = static_cast<uInt>(Input.size());
    const size_t kChunk = 1u << 20;
    for (;;) {
        const size_t held = Output.size();
        // One byte past the limit is room enough to know the body is too large.
        size_t room = kChunk;
        if (Limit && held + room > Limit + 1) room = Limit + 1 - held;
        Output.resize(held + room);
        z.next_out = Output.data() + held;
        z.avail_out = static_cast<uInt>(room);
        int result = inflate(&z, Z_NO_FLUSH);
        Output.resize(held + room - z.avail_out);
        if (Limit && Output.size() > Limit) {
            Output.clear();
            Output.shrink_to_fit();
            Error = kBodyTooLarge;
            return false;
        }
        if (result == Z_STREAM_END) return true;
        if (result != Z_OK) {
            Output.clear();
            Error = L"Corrupt gzip data: " + Utf8ToWide(z.msg ? z.msg : "the body ends early");
            return false;
        }
    }
}

// ---------------------------------------------------------------- THTTP

THTTP::THTTP() : FClient(std::make_unique<TTransportClient>()) {
    FClient->SetHeader(L"Accept", L"text/html,application/xhtml+xml, */*");
    FClient->SetHeader(L"Accept-Encoding", L"gzip, deflate");
    FClient->SetHeader(L"Accept-Language", L"ko-KR");
    FClient->SetHeader(L"User-Agent",
                       L"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                       L"Chrome/126.0.0.0 Safari/537.36");
    FClient->SetHeader(L"DNT", L"1");
    FClient->SetHeader(L"Cache-Control", L"no-cache");
}

THTTP::~THTTP() = default;

std::wstring THTTP::Send(const std::wstring& Method, const std::wstring& URL, const void* Body, size_t BodySize,
                         const std::wstring& ContentType) {
    auto response = std::make_shared<TTransportResponse>();
    TTransportRequest request;
    request.Method = Method;
    request.URL = URL;
    request.Body = Body;
    request.BodySize = BodySize;
    request.ContentType = ContentType;
    std::wstring error;
    if (!FClient->Execute(request, *response, error)) {
        FStatusCode = -1;
        return error;
    }
    FResponse = std::move(response);
    FStatusCode = FResponse->StatusCode;
    if (Method == L"DELETE") return {};
    std::wstring text;
    if (!DecodeResponse(text, error)) {
        FStatusCode = -1;
        return error;
    }
    return text;
}

bool THTTP::DecodeResponse(std::wstring& Text, std::wstring& Error) {
    Text.clear();
    if (!FResponse) return true;
    std::wstring charset = FResponse->CharSet.empty() ? FContentCharSet : AsciiLower(FResponse->CharSet);
    // The body is not needed once decoded: take it rather than copy it.
    std::vector<uint8_t> bytes;
    if (FResponse->ContentEncoding == L"gzip") {
        bool inflated = InflateGzip(FResponse->Body, bytes, kMaxBodySize, Error);
        FResponse->Body = std::vector<uint8_t>();
        if (!inflated) return false;
    } else {
        bytes = std::move(FResponse->Body);
        FResponse->Body = std::vector<uint8_t>();
    }
    TMemoryStream stream(std::move(bytes));
    if (IsUtf8Text(stream, 4000)) charset = L"utf-8";
    Text = DecodeCharSet(stream.Bytes(), charset);
    if (FAllowCharSet) FContentCharSet = charset;
    return true;
}

std::wstring THTTP::Get(const std::wstring& URL) {
    return Send(L"GET", URL, nullptr, 0);
}

std::wstring THTTP::Options(const std::wstring& URL) {
    return Send(L"OPTIONS", URL, nullptr, 0);
}

std::wstring THTTP::Delete(const std::wstring& URL) {
    return Send(L"DELETE", URL, nullptr, 0);
}

std::wstring THTTP::Post(const std::wstring& URL, const std::wstring& Source) {
    if (ContentType().empty()) SetContentType(L"application/x-www-form-urlencoded");
    const std::string body = WideToUtf8(Source);
    return Send(L"POST", URL, body.data(), body.size());
}

std::wstring THTTP::Post(const std::wstring& URL, const std::vector<std::wstring>& Source) {
    const unsigned codePage = FContentCharSet == L"utf-8" ? CP_UTF8 : 949;
    std::wstring form;
    for (size_t i = 0; i < Source.size(); ++i) {
        const std::wstring& line = Source[i];
        size_t eq = line.find(L'=');
        std::wstring name, value;
        if (eq != std::wstring::npos && eq > 0) {
            name = line.substr(0, eq);
            value = line.substr(eq + 1);
        } else {
            value = line;
        }
        if (i > 0) form += L'&';
        if (!name.empty()) form += UrlEncode(name) + L"=";
        form += UrlEncodeCP(value, codePage);
    }
    return Post(URL, form);
}

std::wstring THTTP::Post(const std::wstring& URL, const TMultipartFormData& Source) {
    const std::string body = Source.Body();
    return Send(L"POST", URL, body.data(), body.size(), Source.ContentType());
}

bool THTTP::Download(const std::wstring& URL, TMemoryStream& Stream, TDownloadProgress Proc) {
    if (Proc) {
        FReceiveProc = std::move(Proc);
        FClient->OnReceiveData = [this](int64_t length, int64_t count, bool& abort) {
            ReceiveData(length, count, abort);
        };
    } else {
        FReceiveProc = nullptr;
        FClient->OnReceiveData = nullptr;
    }
    TTransportRequest request;
    request.URL = URL;
    request.Sink = &Stream;
    TTransportResponse response;
    std::wstring error;
    return FClient->Execute(request, response, error) && response.StatusCode == 200;
}

void THTTP::ReceiveData(int64_t ContentLength, int64_t ReadCount, bool& Abort) {
    if (FReceiveProc) FReceiveProc(static_cast<int32_t>(ReadCount), static_cast<int32_t>(ContentLength));
}

std::wstring THTTP::GetCookie() const {
    std::wstring out;
    if (!FResponse) return out;
    for (const auto& cookie : FResponse->Cookies) out += cookie.first + L"=" + cookie.second + L";";
    return out;
}

std::wstring THTTP::GetCookie(const std::wstring& Name) const {
    if (!FResponse) return {};
    for (const auto& cookie : FResponse->Cookies)
        if (cookie.first == Name) return cookie.second;
    return {};
}

void THTTP::SetCookie(const std::wstring& Cookie, const std::wstring& URL) {
    TUrlParts parts;
    if (CrackUrl(URL, parts)) FClient->Cookies().Add(Cookie, parts);
}

void THTTP::SetProxy(const std::wstring& Host, int Port, const std::wstring& UserID, const std::wstring& UserPW) {
    FClient->SetProxy(Host, Port, UserID, UserPW, L"");
}

} // namespace tidora
