#include "tests/service/LoopbackServer.h"

#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "system/Handles.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"

namespace tidora::test {
namespace {

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET ConnectLoopback(int port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    DWORD timeout = 30000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
    return s;
}

std::wstring WinePathOf(const std::string& unixPath) {
    std::wstring path = L"Z:" + Utf8ToWide(unixPath);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

} // namespace

TLoopbackServer::TLoopbackServer() {
    if (!StartWinsock()) {
        FFailure = "Winsock did not start";
        return;
    }
    // The server's one line of output goes to a file: Wine runs the Unix
    // program with our file handle as its standard output.
    TTempDir dir;
    const std::wstring readyFile = dir.File(L"ready.txt");
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    UniqueFileHandle out(CreateFileW(readyFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     &inherit, CREATE_ALWAYS, 0, nullptr));
    UniqueFileHandle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                    0, nullptr));
    if (!out) {
        FFailure = "cannot create the server's output file";
        return;
    }
    std::wstring command = L"\"" + WinePathOf(TIDORA_PYTHON3) + L"\" -u " +
                           Utf8ToWide(std::string(TIDORA_SOURCE_DIR) + "/tests/service/loopback_server.py");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = out.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        FFailure = "cannot start " + std::string(TIDORA_PYTHON3) + ": error " + std::to_string(GetLastError());
        return;
    }
    // Wine hands a Unix program no Windows handles; close any it did give.
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    out.reset();

    std::string text;
    for (int i = 0; i < 300 && text.find('\n') == std::string::npos; ++i) {
        Sleep(50);
        text = ReadFileBytes(readyFile);
    }
    if (sscanf(text.c_str(), "READY http=%d control=%d", &FHttpPort, &FControlPort) != 2) {
        FFailure = "the server did not report its ports: " + text;
        return;
    }
    FLease = ConnectLoopback(FControlPort);
    if (FLease == INVALID_SOCKET) FFailure = "cannot reach the server's control port";
}

TLoopbackServer::~TLoopbackServer() {
    if (FLease == INVALID_SOCKET) return;
    closesocket(FLease);
    // The server ends on the closed lease; wait until its port is gone so the
    // next test never meets it.
    for (int i = 0; i < 100; ++i) {
        SOCKET probe = ConnectLoopback(FHttpPort);
        if (probe == INVALID_SOCKET) return;
        closesocket(probe);
        Sleep(30);
    }
}

std::wstring TLoopbackServer::Url(const std::wstring& Path) const {
    return L"http://127.0.0.1:" + std::to_wstring(FHttpPort) + Path;
}

nlohmann::json TLoopbackServer::Command(const nlohmann::json& Command) {
    if (FLease == INVALID_SOCKET) return {{"ok", false}, {"error", FFailure}};
    std::string line = Command.dump() + "\n";
    if (send(FLease, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
        return {{"ok", false}, {"error", "send failed"}};
    for (;;) {
        size_t end = FPending.find('\n');
        if (end != std::string::npos) {
            std::string answer = FPending.substr(0, end);
            FPending.erase(0, end + 1);
            return nlohmann::json::parse(answer, nullptr, false);
        }
        char buffer[65536];
        int got = recv(FLease, buffer, sizeof(buffer), 0);
        if (got <= 0) return {{"ok", false}, {"error", "no answer"}};
        FPending.append(buffer, static_cast<size_t>(got));
    }
}

bool TLoopbackServer::Route(const std::string& Path, const nlohmann::json& Responses) {
    nlohmann::json list = Responses.is_array() ? Responses : nlohmann::json::array({Responses});
    return Command({{"cmd", "route"}, {"path", Path}, {"responses", list}}).value("ok", false);
}

nlohmann::json TLoopbackServer::Requests() {
    nlohmann::json answer = Command({{"cmd", "requests"}});
    return answer.contains("requests") ? answer["requests"] : nlohmann::json::array();
}

int TLoopbackServer::StartTls(nlohmann::json Command) {
    Command["cmd"] = "tls";
    nlohmann::json answer = this->Command(Command);
    if (!answer.value("ok", false)) FFailure = answer.value("error", std::string("tls failed"));
    return answer.value("port", 0);
}

int UnusedPort() {
    if (!StartWinsock()) return 0;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(s);
    return ntohs(address.sin_port);
}

std::string HeaderOf(const nlohmann::json& Request, const std::string& Name) {
    for (const auto& header : Request["headers"]) {
        std::string name = header[0].get<std::string>();
        if (name.size() == Name.size() &&
            std::equal(name.begin(), name.end(), Name.begin(), [](char a, char b) { return tolower(a) == tolower(b); }))
            return header[1].get<std::string>();
    }
    return {};
}

std::vector<std::string> HeaderNames(const nlohmann::json& Request) {
    std::vector<std::string> names;
    for (const auto& header : Request["headers"]) names.push_back(header[0].get<std::string>());
    return names;
}

std::string BodyOf(const nlohmann::json& Request) {
    const std::string hex = Request.value("body_hex", std::string());
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1]));
    return bytes;
}

std::string ToHex(const std::string& Bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : Bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

} // namespace tidora::test
