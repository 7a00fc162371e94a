#include <gtest/gtest.h>

#include <windows.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "service/HTTP.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"
#include "tests/service/LoopbackServer.h"

using namespace tidora;
using nlohmann::json;
using tidora::test::BodyOf;
using tidora::test::HeaderNames;
using tidora::test::HeaderOf;
using tidora::test::ToHex;
using tidora::test::TLoopbackServer;

namespace {

// "한글" in EUC-KR and in UTF-8.
const std::string kEucKr = "\xC7\xD1\xB1\xDB";
const std::string kUtf8 = "\xED\x95\x9C\xEA\xB8\x80";
const std::wstring kKorean = L"\uD55C\uAE00";

std::string Gzip(const std::string& bytes) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class HTTPTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Server.Ready()) << Server.Failure(); }

    json Only(const std::string& path) {
        json found;
        int count = 0;
        for (const auto& request : Server.Requests())
            if (request["path"] == path) {
                found = request;
                ++count;
            }
        EXPECT_EQ(count, 1) << path;
        return found;
    }

    TLoopbackServer Server;
};

TEST_F(HTTPTest, DecodesBodiesByCharsetAndContentEncoding) {
    struct TCase {
        const char* Path;
        const char* ContentType;
        const char* Encoding;  // Content-Encoding header, "" for none
        std::string Body;      // as sent
        std::wstring Expected;
        std::wstring ContentCharSet = L"utf-8";  // the object's, for replies that name none
    };
    const std::string bom = "\xEF\xBB\xBF";
    const std::string gzipped = Gzip("plain " + kUtf8);
    const TCase cases[] = {
        // The declared charset is compared in lower case.
        {"/euckr", "text/html; charset=EUC-KR", "", kEucKr, kKorean},
        {"/quoted", "text/html; charset=\"euc-kr\"", "", kEucKr, kKorean},
        // No charset: the object's default, utf-8, or the content charset set on it.
        {"/nocharset", "text/html", "", kUtf8, kKorean},
        {"/nocharset-euckr", "text/html", "", kEucKr, kKorean, L"euc-kr"},
        // A UTF-8 byte-order mark beats the declared charset and stays in the text.
        {"/bom", "text/html; charset=euc-kr", "", bom + kUtf8, L"\uFEFF" + kKorean},
        // Well-formed UTF-8 wins over a declared charset as well.
        {"/utf8-declared-euckr", "text/plain; charset=euc-kr", "", "abc " + kUtf8, L"abc " + kKorean},
        // ... but only within the first 4000 bytes: later UTF-8 is read as EUC-KR.
        {"/late-utf8", "text/plain; charset=euc-kr", "", std::string(4000, 'a') + kUtf8,
         std::wstring(4000, L'a') + CodePageToWide(kUtf8, 949)},
        {"/gzip", "text/plain; charset=utf-8", "gzip", gzipped, L"plain " + kKorean},
        // Only "gzip" exactly is inflated; anything else arrives as it was sent.
        {"/gzip-upper", "text/plain; charset=utf-8", "GZIP", gzipped, L""},
        {"/deflate", "text/plain; charset=utf-8", "deflate", gzipped, L""},
    };
    for (const TCase& c : cases) {
        json headers = json::array({{"Content-Type", c.ContentType}});
        if (*c.Encoding) headers.push_back({"Content-Encoding", c.Encoding});
        ASSERT_TRUE(Server.Route(c.Path, {{"hex", ToHex(c.Body)}, {"headers", headers}}));
    }
    for (const TCase& c : cases) {
        THTTP http;
        http.SetContentCharSet(c.ContentCharSet);
        const std::wstring text = http.Get(Server.Url(Utf8ToWide(c.Path)));
        EXPECT_EQ(http.StatusCode(), 200) << c.Path << ": " << WideToUtf8(text);
        if (!c.Expected.empty()) {
            EXPECT_EQ(text, c.Expected) << c.Path;
        } else {
            // Not inflated: the compressed bytes come out as (unreadable) text.
            EXPECT_EQ(text.find(L"plain"), std::wstring::npos) << c.Path;
            EXPECT_FALSE(text.empty()) << c.Path;
        }
    }
}

TEST_F(HTTPTest, ErrorStatusesReturnTheirBodyAndTransportFailuresTheErrorText) {
    Server.Route("/missing", {{"status", 404}, {"text", "<html>gone</html>"}, {"headers", {{"Content-Type", "text/html"}}}});
    THTTP http;
    EXPECT_EQ(http.StatusCode(), 0);
    EXPECT_EQ(http.Get(Server.Url(L"/missing")), L"<html>gone</html>");
    EXPECT_EQ(http.StatusCode(), 404);

    const std::wstring error = http.Get(L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort()) + L"/x");
    EXPECT_EQ(http.StatusCode(), -1);
    EXPECT_NE(error.find(L"Error"), std::wstring::npos) << WideToUtf8(error);

    EXPECT_EQ(http.Get(L"not an address"), L"Invalid address: not an address");
    EXPECT_EQ(http.StatusCode(), -1);

    // A corrupt gzip body fails like the transport; the HTTP status is lost.
    Server.Route("/corrupt", {{"text", "this is not gzip"}, {"headers", {{"Content-Encoding", "gzip"}}}});
    const std::wstring corrupt = http.Get(Server.Url(L"/corrupt"));
    EXPECT_EQ(http.StatusCode(), -1);
    EXPECT_NE(corrupt.find(L"gzip"), std::wstring::npos) << WideToUtf8(corrupt);
}

TEST_F(HTTPTest, SendsTheDefaultHeaderSetAndCustomHeaders) {
    Server.Route("/headers", {{"text", "ok"}});
    THTTP http;
    http.SetCustomHeaders(L"X-One", L"1");
    http.SetCustomHeaders(L"x-one", L"2");  // replaces, whatever the case
    http.SetAcceptLanguage(L"en-US");
    EXPECT_EQ(http.GetCustomHeaders(L"X-ONE"), L"2");
    EXPECT_EQ(http.GetCustomHeaders(L"X-Absent"), L"");
    EXPECT_EQ(http.Get(Server.Url(L"/headers")), L"ok");
    json request = Only("/headers");
    EXPECT_EQ(request["method"], "GET");
    EXPECT_EQ(HeaderOf(request, "Accept"), "text/html,application/xhtml+xml, */*");
    EXPECT_EQ(HeaderOf(request, "Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(HeaderOf(request, "Accept-Language"), "en-US");
    EXPECT_EQ(HeaderOf(request, "User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
              "Chrome/126.0.0.0 Safari/537.36");
    EXPECT_EQ(HeaderOf(request, "DNT"), "1");
    EXPECT_EQ(HeaderOf(request, "Cache-Control"), "no-cache");
    EXPECT_EQ(HeaderOf(request, "X-One"), "2");
    // Each header goes in with a call of its own, in the order they were set.
    http.SetCustomHeaders(L"X-Zulu", L"z");
    http.SetCustomHeaders(L"X-Alpha", L"a");
    http.SetCustomHeaders(L"X-Mike", L"m");
    http.Get(Server.Url(L"/headers"));
    std::vector<std::string> custom;
    for (const std::string& name : HeaderNames(Server.Requests().back()))
        if (name.rfind("X-", 0) == 0) custom.push_back(name);
    EXPECT_EQ(custom, (std::vector<std::string>{"X-One", "X-Zulu", "X-Alpha", "X-Mike"}));
    // A header value cannot smuggle in a header line of its own.
    http.SetCustomHeaders(L"X-Evil", L"a\r\nX-Injected: 1");
    http.Get(Server.Url(L"/headers"));
    EXPECT_EQ(HeaderOf(Server.Requests().back(), "X-Injected"), "");
}

TEST_F(HTTPTest, PostsTextAsUtf8WithTheDefaultThenTheChosenContentType) {
    Server.Route("/post", {{"text", "done"}});
    THTTP http;
    EXPECT_EQ(http.Post(Server.Url(L"/post"), L"x=" + kKorean), L"done");
    EXPECT_EQ(http.ContentType(), L"application/x-www-form-urlencoded");  // stays on the object
    http.SetContentType(L"application/json");
    http.Post(Server.Url(L"/post"), L"[{\"a\":\"b\"}]");
    json requests = Server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "POST");
    EXPECT_EQ(HeaderOf(requests[0], "Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(BodyOf(requests[0]), "x=" + kUtf8);  // no byte-order mark
    EXPECT_EQ(HeaderOf(requests[1], "Content-Type"), "application/json");
    EXPECT_EQ(BodyOf(requests[1]), "[{\"a\":\"b\"}]");
}

TEST_F(HTTPTest, PostsABodyWrittenInPiecesAndFailsOneNotWrittenAsAnnounced) {
    Server.Route("/pieces", {{"text", "got"}});
    Server.Route("/pieces307", {{"status", 307}, {"headers", {{"Location", "/pieces"}}}});
    std::string body(150000, 'x');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    // Pieces of unequal sizes, one of them empty.
    auto writeAll = [&](const TBodyPiece& Send) {
        return Send(body.data(), 70000) && Send(body.data() + 70000, 0) && Send(body.data() + 70000, 80000);
    };
    THTTP http;
    http.SetContentType(L"application/json");
    EXPECT_EQ(http.Post(Server.Url(L"/pieces"), body.size(), writeAll), L"got");
    // A 307 sends the body again: the writer starts over.
    EXPECT_EQ(http.Post(Server.Url(L"/pieces307"), body.size(), writeAll), L"got");
    std::vector<std::string> arrived;
    for (const auto& request : Server.Requests()) {
        if (request["path"] != "/pieces") continue;
        EXPECT_EQ(HeaderOf(request, "Content-Type"), "application/json");
        EXPECT_EQ(HeaderOf(request, "Content-Length"), std::to_string(body.size()));
        arrived.push_back(BodyOf(request) == body ? "whole" : "damaged");
    }
    EXPECT_EQ(arrived, (std::vector<std::string>{"whole", "whole"}));

    struct TCase {
        const char* What;
        TBodyWriter Writer;
    };
    const TCase failures[] = {
        {"fewer bytes than announced", [&](const TBodyPiece& Send) { return Send(body.data(), 1000); }},
        {"more bytes than announced",
         [&](const TBodyPiece& Send) { return writeAll(Send) && Send(body.data(), 10); }},
        {"the writer gives up", [&](const TBodyPiece& Send) { return Send(body.data(), 1000) && false; }},
    };
    for (const TCase& c : failures) {
        SCOPED_TRACE(c.What);
        const std::wstring error = http.Post(Server.Url(L"/pieces"), body.size(), c.Writer);
        EXPECT_EQ(http.StatusCode(), -1);
        EXPECT_EQ(error.rfind(L"Error sending data", 0), 0u) << WideToUtf8(error);
    }
    // The client stays usable, and no half-sent body runs into the next request.
    EXPECT_EQ(http.Post(Server.Url(L"/pieces"), body.size(), writeAll), L"got");
    EXPECT_TRUE(BodyOf(Server.Requests().back()) == body);
}

TEST_F(HTTPTest, PostsFormsInUtf8OrInTheCodePageTheLastReplyNamed) {
    Server.Route("/form", {{"text", "ok"}});
    Server.Route("/korean", {{"hex", ToHex(kEucKr)}, {"headers", {{"Content-Type", "text/html; charset=euc-kr"}}}});
    THTTP http;
    http.Post(Server.Url(L"/form"), std::vector<std::wstring>{L"a=1", L"b"});
    http.Post(Server.Url(L"/form"), std::vector<std::wstring>{});
    http.Post(Server.Url(L"/form"), std::vector<std::wstring>{L"=x y", L"name=" + kKorean + L" &"});

    http.SetAllowCharSet(true);
    EXPECT_EQ(http.Get(Server.Url(L"/korean")), kKorean);
    EXPECT_EQ(http.ContentCharSet(), L"euc-kr");
    http.Post(Server.Url(L"/form"), std::vector<std::wstring>{L"name=" + kKorean + L" &"});

    std::vector<std::string> bodies;
    for (const auto& request : Server.Requests())
        if (request["path"] == "/form") bodies.push_back(BodyOf(request));
    EXPECT_EQ(bodies, (std::vector<std::string>{"a=1&b", "", "%3Dx+y&name=%ED%95%9C%EA%B8%80+%26",
                                                "name=%C7%D1%B1%DB%20%26"}));
}

TEST_F(HTTPTest, KeepsCookiesSendsThemBackAndReportsThoseOfTheLastReply) {
    Server.Route("/login", {{"text", "in"},
                            {"headers", json::array({{"Set-Cookie", "a=1; Path=/"},
                                                     {"Set-Cookie", "b=2"},
                                                     {"Set-Cookie", "gone=x; Max-Age=0"},
                                                     {"Set-Cookie", "other=1; Domain=elsewhere.example"}})}});
    Server.Route("/next", {{"text", "next"}});
    THTTP http;
    EXPECT_EQ(http.GetCookie(), L"");
    http.Get(Server.Url(L"/login"));
    EXPECT_EQ(http.GetCookie(), L"a=1;b=2;gone=x;other=1;");
    EXPECT_EQ(http.GetCookie(L"b"), L"2");
    EXPECT_EQ(http.GetCookie(L"B"), L"");

    http.SetCookie(L"c=3; Path=/next", Server.Url(L"/"));
    http.SetCookie(L"d=4", L"http://elsewhere.example/");
    http.Get(Server.Url(L"/next"));
    EXPECT_EQ(http.GetCookie(), L"");  // the last reply set none
    EXPECT_EQ(HeaderOf(Only("/next"), "Cookie"), "c=3; a=1; b=2");
}

TEST_F(HTTPTest, FollowsAtMostFiveRedirectsCarryingCookiesAlong) {
    for (int i = 0; i < 6; ++i)
        Server.Route("/hop" + std::to_string(i),
                     {{"status", i % 2 ? 301 : 302},
                      {"headers", {{"Location", "/hop" + std::to_string(i + 1)}, {"Set-Cookie", "hop" + std::to_string(i) + "=1"}}}});
    Server.Route("/hop6", {{"text", "arrived"}});
    THTTP http;
    // Five redirects: from /hop1 to /hop6.
    EXPECT_EQ(http.Get(Server.Url(L"/hop1")), L"arrived");
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(HeaderOf(Server.Requests().back(), "Cookie"), "hop1=1; hop2=1; hop3=1; hop4=1; hop5=1");
    // Six are too many.
    const std::wstring error = http.Get(Server.Url(L"/hop0"));
    EXPECT_EQ(http.StatusCode(), -1);
    EXPECT_NE(error.find(L"redirect"), std::wstring::npos) << WideToUtf8(error);
    // Without redirects the first answer is the result.
    http.SetHandleRedirects(false);
    http.Get(Server.Url(L"/hop2"));
    EXPECT_EQ(http.StatusCode(), 302);

    // A redirected POST arrives as a GET; 307 keeps the method and the body.
    Server.Route("/post302", {{"status", 302}, {"headers", {{"Location", "/landing"}}}});
    Server.Route("/post307", {{"status", 307}, {"headers", {{"Location", "landing"}}}});
    Server.Route("/landing", {{"text", "landed"}});
    THTTP poster;
    EXPECT_EQ(poster.Post(Server.Url(L"/post302"), L"body"), L"landed");
    EXPECT_EQ(poster.Post(Server.Url(L"/post307"), L"body"), L"landed");
    std::vector<std::string> landings;
    for (const auto& request : Server.Requests())
        if (request["path"] == "/landing") landings.push_back(request["method"].get<std::string>() + ":" + BodyOf(request));
    EXPECT_EQ(landings, (std::vector<std::string>{"GET:", "POST:body"}));
}

TEST_F(HTTPTest, OptionsAndDeleteUseTheirMethods) {
    Server.Route("/thing", {{"text", "allowed"}, {"headers", {{"Allow", "GET, DELETE"}}}});
    THTTP http;
    EXPECT_EQ(http.Options(Server.Url(L"/thing")), L"allowed");
    EXPECT_EQ(http.Delete(Server.Url(L"/thing")), L"");
    EXPECT_EQ(http.StatusCode(), 200);
    json requests = Server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "OPTIONS");
    EXPECT_EQ(requests[1]["method"], "DELETE");
}

TEST_F(HTTPTest, PostsAMultipartForm) {
    Server.Route("/upload", {{"text", "stored"}});
    THTTP http;
    http.SetContentType(L"application/json");
    TMultipartFormData form;
    form.AddField(L"name", kKorean);
    form.AddFile(L"file", L"a.bin", std::string("\x00\x01\xFF", 3));
    EXPECT_EQ(http.Post(Server.Url(L"/upload"), form), L"stored");
    json request = Only("/upload");
    const std::string type = HeaderOf(request, "Content-Type");
    ASSERT_EQ(type.rfind("multipart/form-data; boundary=", 0), 0u) << type;
    const std::string boundary = type.substr(type.find('=') + 1);
    EXPECT_EQ(BodyOf(request), "--" + boundary + "\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\n" + kUtf8 +
                                   "\r\n--" + boundary +
                                   "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
                                   "Content-Type: application/octet-stream\r\n\r\n" +
                                   std::string("\x00\x01\xFF", 3) + "\r\n--" + boundary + "--\r\n");
    // The object's own content type is left as it was.
    EXPECT_EQ(http.ContentType(), L"application/json");
}

TEST_F(HTTPTest, DownloadsIntoTheCallersStreamWithProgressAndLeavesTheStatus) {
    const std::string payload(300000, 'x');
    Server.Route("/file", {{"text", payload}});
    Server.Route("/nofile", {{"status", 404}, {"text", "nope"}});
    THTTP http;
    http.Get(Server.Url(L"/file"));
    ASSERT_EQ(http.StatusCode(), 200);

    TMemoryStream stream(std::string("head"));
    stream.SetPosition(4);
    std::vector<std::pair<int32_t, int32_t>> progress;
    EXPECT_TRUE(http.Download(Server.Url(L"/file"), stream,
                              [&](int32_t read, int32_t total) { progress.emplace_back(read, total); }));
    EXPECT_EQ(stream.Size(), 4 + payload.size());
    EXPECT_EQ(stream.Position(), 4 + payload.size());  // neither rewound nor replaced
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(int32_t(payload.size()), int32_t(payload.size())));

    EXPECT_FALSE(http.Download(Server.Url(L"/nofile"), stream));
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_FALSE(http.Download(L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort()) + L"/", stream));
    EXPECT_EQ(http.StatusCode(), 200);
}

TEST_F(HTTPTest, RefusesBodiesBeyondTheCapAndStaysUsable) {
    const int cap = static_cast<int>(kMaxBodySize);
    Server.Route("/big", {{"zeros", cap + 1}});
    // Without a length the cap must stop the reading itself.
    Server.Route("/unannounced", {{"zeros", cap + 1}, {"unannounced", true}});
    // 17 MiB of zeros shrink to a few kilobytes: the cap holds for what inflation makes.
    Server.Route("/bomb", {{"zeros", cap + 1024 * 1024}, {"gzip", true}});
    Server.Route("/atcap", {{"zeros", cap}, {"gzip", true}});
    Server.Route("/small", {{"text", "fine"}});
    THTTP http;
    for (const wchar_t* path : {L"/big", L"/unannounced", L"/bomb"}) {
        const std::wstring error = http.Get(Server.Url(path));
        EXPECT_EQ(http.StatusCode(), -1) << WideToUtf8(path);
        EXPECT_EQ(error, L"The reply body exceeds the limit of 16 MiB") << WideToUtf8(path);
    }
    EXPECT_EQ(http.Get(Server.Url(L"/atcap")).size(), kMaxBodySize);
    EXPECT_EQ(http.StatusCode(), 200);
    EXPECT_EQ(http.Get(Server.Url(L"/small")), L"fine");
    EXPECT_EQ(http.StatusCode(), 200);
}

TEST_F(HTTPTest, TheResponseTimeoutEndsAWaitForAnAnswer) {
    Server.Route("/slow", {{"text", "late"}, {"delay", 3}});
    THTTP http;
    http.SetResponseTimeout(500);
    EXPECT_EQ(http.ResponseTimeout(), 500);
    const std::wstring error = http.Get(Server.Url(L"/slow"));
    EXPECT_EQ(http.StatusCode(), -1) << WideToUtf8(error);
    EXPECT_NE(error, L"late");
}

TEST_F(HTTPTest, GoesThroughAProxyAndLogsInWhenItAsks) {
    const std::string target = "http://origin.tidora.example/page";
    Server.Route("/page", json::array({
                             {{"if_header", {"Proxy-Authorization", "Basic dXNlcjpwYXNz"}}, {"text", "via proxy"}},
                             {{"status", 407}, {"headers", {{"Proxy-Authenticate", "Basic realm=\"loop\""}}}},
                         }));
    THTTP http;
    http.SetProxy(L"127.0.0.1", Server.Port(), L"user", L"pass");
    EXPECT_EQ(http.Get(Utf8ToWide(target)), L"via proxy");
    EXPECT_EQ(http.StatusCode(), 200);
    json requests = Server.Requests();
    ASSERT_FALSE(requests.empty());
    // The proxy got the whole address (WinHTTP may add the default port).
    const std::string sent = requests.back()["target"];
    EXPECT_EQ(sent.rfind("http://origin.tidora.example", 0), 0u) << sent;
    EXPECT_EQ(requests.back()["path"], "/page");
}

TEST_F(HTTPTest, RefusesASelfSignedCertificate) {
    const int port = Server.StartTls({{"mode", "self"}});
    ASSERT_NE(port, 0) << Server.Failure();
    Server.Route("/secure", {{"text", "secret"}});
    THTTP http;
    const std::wstring error = http.Get(L"https://localhost:" + std::to_wstring(port) + L"/secure");
    EXPECT_EQ(http.StatusCode(), -1);
    // Wine reports 12157 (secure channel error), Windows 12175 (secure failure).
    EXPECT_TRUE(error.find(L"(12157)") != std::wstring::npos || error.find(L"(12175)") != std::wstring::npos)
        << WideToUtf8(error);
    EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(HTTPTest, AcceptsACertificateOfATrustedAuthority) {
    // scripts/test makes a certificate authority, trusts it on this machine for
    // the run, and names the folder with a localhost certificate it issued.
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"TIDORA_TEST_TLS_DIR", folder, MAX_PATH))
        GTEST_SKIP() << "no trusted test certificate authority (scripts/test sets TIDORA_TEST_TLS_DIR)";
    const std::string dir = WideToUtf8(folder);
    const int port = Server.StartTls({{"mode", "files"}, {"cert", dir + "/localhost.crt"}, {"key", dir + "/localhost.key"}});
    ASSERT_NE(port, 0) << Server.Failure();
    Server.Route("/secure", {{"text", "secret"}});
    THTTP http;
    EXPECT_EQ(http.Get(L"https://localhost:" + std::to_wstring(port) + L"/secure"), L"secret");
    EXPECT_EQ(http.StatusCode(), 200);
}

} // namespace
