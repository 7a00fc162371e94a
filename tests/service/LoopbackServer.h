#pragma once
// A loopback HTTP(S) server for the service tests: a Python process, listening
// on 127.0.0.1 only, that each test programs (routes with status, headers,
// charset, gzip, cookies, redirects, delays) and questions for the requests it
// received. It ends when its object goes, and by itself when the test process
// ends in any other way, because its lease connection then closes.
#include <winsock2.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace tidora::test {

class TLoopbackServer {
public:
    TLoopbackServer();
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    // False, with the reason in Failure(), when the server did not start.
    bool Ready() const { return FLease != INVALID_SOCKET; }
    const std::string& Failure() const { return FFailure; }

    int Port() const { return FHttpPort; }
    // "http://127.0.0.1:<port>" followed by Path.
    std::wstring Url(const std::wstring& Path) const;

    // Answers for requests to Path: one response object or an array of them
    // (see loopback_server.py for their fields).
    bool Route(const std::string& Path, const nlohmann::json& Responses);
    // Every request received so far, oldest first.
    nlohmann::json Requests();
    // Starts an HTTPS listener ({"mode": "self"} or {"mode": "files", ...});
    // its port, or 0.
    int StartTls(nlohmann::json Command);
    // Any command; the reply object ({"ok": false, ...} on failure).
    nlohmann::json Command(const nlohmann::json& Command);

private:
    SOCKET FLease = INVALID_SOCKET;
    int FHttpPort = 0;
    int FControlPort = 0;
    std::string FFailure;
    std::string FPending;
};

// A loopback port that nothing listens on (bound, then closed again).
int UnusedPort();

// A captured request's header value ("" when absent) and its body bytes.
std::string HeaderOf(const nlohmann::json& Request, const std::string& Name);
std::string BodyOf(const nlohmann::json& Request);
// The captured header names in the order they arrived.
std::vector<std::string> HeaderNames(const nlohmann::json& Request);

// Bytes as the hexadecimal text the server takes for a body.
std::string ToHex(const std::string& Bytes);

} // namespace tidora::test
