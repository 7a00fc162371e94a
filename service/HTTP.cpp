#include "service/HTTP.h"

#include "system/Strings.h"

namespace tidora {

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
                         const std::wstring& ContentType, const TBodyWriter& Writer) {
    auto response = std::make_shared<TTransportResponse>();
    TTransportRequest request;
    request.Method = Method;
    request.URL = URL;
    request.Body = Body;
    request.BodySize = BodySize;
    request.ContentType = ContentType;
    request.Writer = Writer;
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
    std::wstring charset = FResponse->CharSet.empty() ? FContentCharSet : LowerCaseAscii(FResponse->CharSet);
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
    return Post(URL, WideToUtf8(Source));
}

std::wstring THTTP::Post(const std::wstring& URL, const std::string& Utf8) {
    if (ContentType().empty()) SetContentType(L"application/x-www-form-urlencoded");
    return Send(L"POST", URL, Utf8.data(), Utf8.size());
}

std::wstring THTTP::Post(const std::wstring& URL, size_t Size, const TBodyWriter& Writer) {
    if (ContentType().empty()) SetContentType(L"application/x-www-form-urlencoded");
    return Send(L"POST", URL, nullptr, Size, L"", Writer);
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
