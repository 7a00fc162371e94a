#pragma once
// The program's HTTP client, the one face callers use: it brings in the
// parts it is made of (addresses, cookies, multipart bodies, the WinHTTP
// transport, gzip and charsets). TTransportClient is the thin layer over
// WinHTTP that the service conversation drives directly; THTTP adds what every
// web request of the program wants on top of it: browser-like headers, its own
// gzip inflation, decoding of the body by the reply's charset, and failures
// reported as status -1 with the error's text instead of exceptions.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "service/Cookies.h"
#include "service/Encoding.h"
#include "service/HttpText.h"
#include "service/Multipart.h"
#include "service/Transport.h"
#include "service/Url.h"
#include "system/Stream.h"

namespace tidora {

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
    // Text already in UTF-8, sent as it is (no copy is made).
    std::wstring Post(const std::wstring& URL, const std::string& Utf8);
    // A body of Size bytes that Writer hands over piece by piece, so that a
    // large one is never held whole.
    std::wstring Post(const std::wstring& URL, size_t Size, const TBodyWriter& Writer);
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
                      const std::wstring& ContentType = L"", const TBodyWriter& Writer = nullptr);
    bool DecodeResponse(std::wstring& Text, std::wstring& Error);
    void ReceiveData(int64_t ContentLength, int64_t ReadCount, bool& Abort);

    bool FAllowCharSet = false;
    std::unique_ptr<TTransportClient> FClient;
    std::shared_ptr<TTransportResponse> FResponse;
    TDownloadProgress FReceiveProc;
    std::wstring FContentCharSet = L"utf-8";
    int FStatusCode = 0;
};

} // namespace tidora
