#include "service/Transport.h"

#include <algorithm>
#include <cwchar>

#include "system/Strings.h"

namespace tidora {
namespace {

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
        if (eq != std::wstring::npos && EqualsTextAscii(Trim(param.substr(0, eq)), L"charset")) {
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

// Hands the writer's pieces to WinHTTP. A writer that fails or writes other
// than the announced size fails the request: the server would otherwise wait
// for bytes that never come, or read the next request's bytes as this body.
bool WriteBody(HINTERNET Request, const TBodyWriter& Writer, DWORD Size, std::wstring& Error) {
    DWORD sent = 0;
    DWORD code = 0;
    const bool whole = Writer([&](const char* Data, size_t Length) {
        while (Length > 0) {
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(Length, Size - sent));
            DWORD taken = 0;
            if (piece == 0) return false;  // more than announced
            if (!WinHttpWriteData(Request, Data, piece, &taken) || taken == 0) {
                code = GetLastError();
                return false;
            }
            sent += taken;
            Data += taken;
            Length -= taken;
        }
        return true;
    });
    if (whole && sent == Size) return true;
    Error = code ? TransportErrorText(L"Error sending data", code)
                 : L"Error sending data: the body was not written as announced";
    return false;
}

} // namespace

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
        if (EqualsTextAscii(header.first, Name)) return header.second;
    return {};
}

void TTransportClient::SetHeader(const std::wstring& Name, const std::wstring& Value) {
    for (auto& header : FHeaders) {
        if (EqualsTextAscii(header.first, Name)) {
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

    // In the order the caller set them, then Content-Type and Cookie.
    std::vector<std::wstring> headers;
    for (const auto& header : FHeaders) {
        if (!Request.ContentType.empty() && EqualsTextAscii(header.first, L"Content-Type")) continue;
        headers.push_back(OneLine(header.first) + L": " + OneLine(header.second));
    }
    if (!Request.ContentType.empty()) headers.push_back(L"Content-Type: " + OneLine(Request.ContentType));
    std::wstring cookies = FCookies.HeaderFor(parts);
    if (!cookies.empty()) headers.push_back(L"Cookie: " + OneLine(cookies));
    // One call per header: Windows documents WINHTTP_ADDREQ_FLAG_REPLACE for a
    // single header per call, and only Wine is known to take several at once.
    for (const std::wstring& header : headers) {
        if (!WinHttpAddRequestHeaders(request.get(), header.c_str(), static_cast<DWORD>(header.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error adding headers", code);
            return false;
        }
    }

    const bool written = SendBody && Request.Writer;
    void* body = SendBody && !written ? const_cast<void*>(Request.Body) : nullptr;
    DWORD bodySize = written || body ? static_cast<DWORD>(Request.BodySize) : 0;
    bool proxyLoginSent = false;
    DWORD status = 0;
    for (;;) {
        if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, body ? bodySize : 0, bodySize,
                                0)) {
            DWORD code = GetLastError();
            Error = TransportErrorText(L"Error sending data", code);
            return false;
        }
        if (written && !WriteBody(request.get(), Request.Writer, bodySize, Error)) return false;
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

} // namespace tidora
