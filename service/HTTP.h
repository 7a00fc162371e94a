#pragma once
// The program's HTTP client. TTransportClient is the thin layer over WinHTTP
// that the service conversation drives directly; THTTP adds what every web
// request of the program wants on top of it: browser-like headers, its own
// gzip inflation, decoding of the body by the reply's charset, and failures
// reported as status -1 with the error's text instead of exceptions.
#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/Handles.h"
#include "system/Stream.h"

namespace tidora {

// A reply body larger than this, as received or after inflation, fails the
// request: the service never sends anything close, and nothing a server sends
// may grow the program's memory without bound.
constexpr size_t kMaxBodySize = 16u * 1024u * 1024u;

// At most this many redirects are followed for one request.
constexpr int kMaxRedirects = 5;

using THeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

struct HInternetTraits {
    static HINTERNET invalid() noexcept { return nullptr; }
    static void close(HINTERNET h) noexcept { ::WinHttpCloseHandle(h); }
};
using UniqueInternet = UniqueResource<HINTERNET, HInternetTraits>;

// The parts of an http or https address that WinHTTP wants separately.
struct TUrlParts {
    bool Secure = false;
    std::wstring Host;
    INTERNET_PORT Port = 0;
    std::wstring PathAndQuery;  // "/" at least
};

// False for anything but an absolute http or https address.
bool CrackUrl(const std::wstring& URL, TUrlParts& Parts);

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

// A multipart form; the transport writes its wire format.
class TMultipartFormData {
public:
    TMultipartFormData();
    void AddField(const std::wstring& Name, const std::wstring& Value);
    // A file part from bytes in memory.
    void AddFile(const std::wstring& Name, const std::wstring& FileName, const std::string& Bytes,
                 const std::wstring& ContentType = L"application/octet-stream");
    // A file part read from disk; false (and no part) when it cannot be read.
    bool AddFile(const std::wstring& Name, const std::wstring& FilePath);

    std::wstring ContentType() const;  // with the boundary
    std::string Body() const;          // the whole request body

private:
    std::string FBoundary;
    std::string FParts;
};

struct TTransportRequest {
    std::wstring Method = L"GET";
    std::wstring URL;
    const void* Body = nullptr;  // not copied; must live until Execute returns
    size_t BodySize = 0;
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

// Progress of a download: bytes received so far and the announced total, both
// cut to 32 bits.
using TDownloadProgress = std::function<void(int32_t ReadCount, int32_t ContentLength)>;

class THTTP {
public:
    THTTP();
    ~THTTP();
    THTTP(const THTTP&) = delete;
    THTTP& operator=(const THTTP&) = delete;

    bool AllowCharSet() const { return FAllowCharSet; }
    void SetAllowCharSet(bool Value) { FAllowCharSet = Value; }
    std::wstring Accept() const { return GetCustomHeaders(L"Accept"); }
    void SetAccept(const std::wstring& Value) { SetCustomHeaders(L"Accept", Value); }
    std::wstring AcceptEncoding() const { return GetCustomHeaders(L"Accept-Encoding"); }
    void SetAcceptEncoding(const std::wstring& Value) { SetCustomHeaders(L"Accept-Encoding", Value); }
    std::wstring AcceptLanguage() const { return GetCustomHeaders(L"Accept-Language"); }
    void SetAcceptLanguage(const std::wstring& Value) { SetCustomHeaders(L"Accept-Language", Value); }
    int ConnectionTimeOut() const { return FClient->ConnectionTimeout; }
    void SetConnectionTimeOut(int Value) { FClient->ConnectionTimeout = Value; }
    int ResponseTimeout() const { return FClient->ResponseTimeout; }
    void SetResponseTimeout(int Value) { FClient->ResponseTimeout = Value; }
    std::wstring ContentType() const { return GetCustomHeaders(L"Content-Type"); }
    void SetContentType(const std::wstring& Value) { SetCustomHeaders(L"Content-Type", Value); }
    const std::wstring& ContentCharSet() const { return FContentCharSet; }
    void SetContentCharSet(const std::wstring& Value) { FContentCharSet = Value; }
    bool HandleRedirects() const { return FClient->HandleRedirects; }
    void SetHandleRedirects(bool Value) { FClient->HandleRedirects = Value; }
    std::wstring UserAgent() const { return GetCustomHeaders(L"User-Agent"); }
    void SetUserAgent(const std::wstring& Value) { SetCustomHeaders(L"User-Agent", Value); }
    int StatusCode() const { return FStatusCode; }
    std::wstring GetCustomHeaders(const std::wstring& AName) const { return FClient->Header(AName); }
    void SetCustomHeaders(const std::wstring& AName, const std::wstring& Value) { FClient->SetHeader(AName, Value); }

    std::wstring Get(const std::wstring& URL);
    std::wstring Options(const std::wstring& URL);
    // The text goes out as UTF-8 without a byte-order mark.
    std::wstring Post(const std::wstring& URL, const std::wstring& Source);
    // The lines as a URL-encoded form ("name=value" or a bare value each).
    std::wstring Post(const std::wstring& URL, const std::vector<std::wstring>& Source);
    std::wstring Post(const std::wstring& URL, const TMultipartFormData& Source);
    std::wstring Delete(const std::wstring& URL);
    void Get(const std::wstring& URL, std::wstring& Result) { Result = Get(URL); }
    void Post(const std::wstring& URL, const std::wstring& Source, std::wstring& Result) { Result = Post(URL, Source); }
    void Post(const std::wstring& URL, const std::vector<std::wstring>& Source, std::wstring& Result) {
        Result = Post(URL, Source);
    }
    void Post(const std::wstring& URL, const TMultipartFormData& Source, std::wstring& Result) {
        Result = Post(URL, Source);
    }

    // GET into the caller's stream at its position; true only for status 200.
    // Leaves StatusCode and the last response as they were.
    bool Download(const std::wstring& URL, TMemoryStream& Stream, TDownloadProgress Proc = nullptr);

    // Cookies of the last response: "a=1;b=2;" or the first value named Name.
    std::wstring GetCookie() const;
    std::wstring GetCookie(const std::wstring& Name) const;
    void SetCookie(const std::wstring& Cookie, const std::wstring& URL);
    void SetProxy(const std::wstring& Host, int Port, const std::wstring& UserID, const std::wstring& UserPW);

private:
    std::wstring Send(const std::wstring& Method, const std::wstring& URL, const void* Body, size_t BodySize,
                      const std::wstring& ContentType = L"");
    bool DecodeResponse(std::wstring& Text, std::wstring& Error);
    void ReceiveData(int64_t ContentLength, int64_t ReadCount, bool& Abort);

    bool FAllowCharSet = false;
    std::unique_ptr<TTransportClient> FClient;
    std::shared_ptr<TTransportResponse> FResponse;
    TDownloadProgress FReceiveProc;
    std::wstring FContentCharSet = L"utf-8";
    int FStatusCode = 0;
};

// Text of a WinHTTP or system error code, prefixed with what was being done:
// "Error sending data: (12029) ...".
std::wstring TransportErrorText(const std::wstring& Stage, DWORD Code);

// Decodes a body by charset: "utf-8" exactly as UTF-8, anything else as EUC-KR.
std::wstring DecodeCharSet(const std::vector<uint8_t>& Bytes, const std::wstring& CharSet);

// Inflates a gzip body into Output, in 1 MiB steps, failing past Limit bytes.
bool InflateGzip(const std::vector<uint8_t>& Input, std::vector<uint8_t>& Output, size_t Limit, std::wstring& Error);

} // namespace tidora
