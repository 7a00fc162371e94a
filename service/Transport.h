#pragma once
// The thin layer over WinHTTP: one session with its headers, cookies, proxy
// and timeouts, sending a request and following its redirects.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "service/Cookies.h"
#include "service/HttpText.h"
#include "service/Url.h"
#include "system/Handles.h"
#include "system/Stream.h"

namespace tidora {

// At most this many redirects are followed for one request.
constexpr int kMaxRedirects = 5;

using THeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

struct HInternetTraits {
    static HINTERNET invalid() noexcept { return nullptr; }
    static void close(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, HInternetTraits>;

// Sends one piece of a body; false when the connection took it not.
using TBodyPiece = std::function<bool(const char* Data, size_t Size)>;
// Writes a whole body through the piece sender, exactly the size announced,
// and again from its start when the request is sent again (a proxy's login, a
// redirect that keeps the body). A body made this way is never held whole.
using TBodyWriter = std::function<bool(const TBodyPiece& Send)>;

struct TTransportRequest {
    std::wstring Method = L"GET";
    std::wstring URL;
    const void* Body = nullptr;  // not copied; must live until Execute returns
    size_t BodySize = 0;
    // When set, writes the BodySize bytes of the body in place of Body.
    TBodyWriter Writer;
    // Replaces the client's "Content-Type" header for this request only.
    std::wstring ContentType;
    // When set, the body is written here (at its position) instead of into
    // the response, and no size cap applies.
    TMemoryStream* Sink = nullptr;
};

struct TTransportResponse {
    int StatusCode = 0;
    std::wstring CharSet;          // charset parameter of Content-Type, "" when absent
    std::wstring ContentEncoding;  // exactly as sent
    std::vector<uint8_t> Body;     // as received, never decompressed
    THeaderList Cookies;           // name and value of every cookie this response set
};

// Called while a body arrives: content length (-1 when not announced), bytes
// read so far, and a flag that ends the transfer when set.
using TReceiveDataHook = std::function<void(int64_t ContentLength, int64_t ReadCount, bool& Abort)>;

// One WinHTTP session with its header list, cookie store and settings.
// Certificates are validated as the platform does; no request can waive that.
class TTransportClient {
public:
    TTransportClient();
    ~TTransportClient();
    TTransportClient(const TTransportClient&) = delete;
    TTransportClient& operator=(const TTransportClient&) = delete;

    // Custom headers, sent with every request in the order first set (an
    // empty value too: the service reads an empty user id as "unknown").
    std::wstring Header(const std::wstring& Name) const;
    void SetHeader(const std::wstring& Name, const std::wstring& Value);
    const THeaderList& Headers() const { return FHeaders; }

    bool HandleRedirects = true;
    int ConnectionTimeout = 60000;
    int SendTimeout = 60000;
    int ResponseTimeout = 60000;
    // Cap of a body held in the response; 0 for none.
    size_t BodyLimit = kMaxBodySize;
    TReceiveDataHook OnReceiveData;

    void SetProxy(const std::wstring& Host, int Port, const std::wstring& UserName, const std::wstring& Password,
                  const std::wstring& Scheme);
    TCookieStore& Cookies() { return FCookies; }

    // Sends the request, following redirects when asked. False with the error's
    // text when no response could be had; HTTP error statuses are responses.
    bool Execute(const TTransportRequest& Request, TTransportResponse& Response, std::wstring& Error);

private:
    bool OpenSession(std::wstring& Error);
    bool ExecuteOnce(const TTransportRequest& Request, const std::wstring& Method, const std::wstring& URL,
                     bool SendBody, TTransportResponse& Response, std::wstring& Location, std::wstring& Error);

    UniqueInternet FSession;
    THeaderList FHeaders;
    TCookieStore FCookies;
    std::wstring FProxyHost, FProxyUser, FProxyPassword, FProxyScheme;
    int FProxyPort = 0;
};

// Text of a WinHTTP or system error code, prefixed with what was being done:
// "Error sending data: (12029) ...".
std::wstring TransportErrorText(const std::wstring& Stage, DWORD Code);

} // namespace tidora
