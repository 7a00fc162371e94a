#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "service/Service.h"
#include "service/Update.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"
#include "tests/service/LoopbackServer.h"
#include "ui/Translate.h"

using namespace tidora;
using nlohmann::json;
using tidora::test::HeaderNames;
using tidora::test::HeaderOf;
using tidora::test::TLoopbackServer;
using tidora::test::TUserHive;

namespace {

const std::wstring kVersion = L"1.0.0.1";  // the test programs carry the program's version resource

// Points the service at the loopback server and the user hive at a key of the
// test's own; records what would be opened, shown and called back.
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server.Ready()) << Server.Failure();
        Service = ServiceAt(Server.Url(L""));
        Service.RetryPause = [this] { ++Pauses; };
        Platform.ShellOpen = [this](const std::wstring& Target) { Opened.push_back(Target); };
        Windows.UpdateDialog = [this](const std::wstring& Data, int Offset) {
            Dialogs.push_back(Data);
            return DialogAnswer;
        };
        Windows.ShowUpdateStatus = [this](const std::wstring& URL) { Statuses.push_back(URL); };
    }

    // Runs the whole conversation and waits (serving hand-overs) for its callback.
    bool RunCheck(bool& Accepted, std::wstring& Data) {
        UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        bool called = false;
        CheckUpdate(
            Service, Platform, Windows,
            [&](bool accepted, const std::wstring& data) {
                EXPECT_TRUE(IsMainThread());
                called = true;
                Accepted = accepted;
                Data = data;
                SetEvent(done.get());
            },
            0);
        return WaitServing(done.get(), 60000) == WAIT_OBJECT_0 && called;
    }

    void ClearRecords() {
        Opened.clear();
        Dialogs.clear();
        Statuses.clear();
    }

    TUserHive Hive;
    TLoopbackServer Server;
    std::vector<std::wstring> Opened, Dialogs, Statuses;
    bool DialogAnswer = false;
    std::atomic<int> Pauses{0};
    TService Service;
    TPlatform Platform = RealPlatform();
    TUpdateHooks Windows;
};

TEST_F(UpdateTest, InitRequestCarriesTheServiceHeadersInOrderAndReadsAnyReplyAsUtf8) {
    // The status is not looked at, and the body is UTF-8 whatever it declares.
    Server.Route("/api.init.php", {{"status", 500},
                                   {"text", "{\"notice\":\"\xED\x95\x9C\"}"},
                                   {"headers", {{"Content-Type", "text/html; charset=euc-kr"}}}});
    std::wstring reply = L"untouched";
    ASSERT_TRUE(RequestService(Service, InitHeaders(), reply));
    EXPECT_EQ(reply, L"{\"notice\":\"\uD55C\"}");

    json requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const json& request = requests[0];
    EXPECT_EQ(request["method"], "GET");
    EXPECT_EQ(request["target"], "/api.init.php");
    EXPECT_EQ(HeaderOf(request, "User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
    std::vector<std::string> service;
    for (const std::string& name : HeaderNames(request))
        if (name.rfind("User-", 0) == 0 && name != "User-Agent") service.push_back(name);
    EXPECT_EQ(service, (std::vector<std::string>{"User-Version", "User-Language", "User-Debug", "User-Union"}));
    EXPECT_EQ(HeaderOf(request, "User-Version"), WideToUtf8(kVersion));
    EXPECT_EQ(HeaderOf(request, "User-Language"), WideToUtf8(CurrentLanguage()));
    EXPECT_EQ(HeaderOf(request, "User-Debug"), "false");
    EXPECT_EQ(HeaderOf(request, "User-Union").size(), 32u);
    EXPECT_EQ(HeaderOf(request, "User-Union"), WideToUtf8(GetUserID()));

    // A user id the registry could not give is sent empty, not left out.
    ASSERT_TRUE(RequestService(Service, {{L"User-Version", L"0.0.0.0"}, {L"User-Union", L""}}, reply));
    const json last = Server.Requests().back();
    const std::vector<std::string> names = HeaderNames(last);
    EXPECT_NE(std::find(names.begin(), names.end(), "User-Union"), names.end());
    EXPECT_EQ(HeaderOf(last, "User-Union"), "");

    // No response at all: false, and the reply is left alone.
    Service.URL = L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort());
    reply = L"untouched";
    EXPECT_FALSE(RequestService(Service, InitHeaders(), reply));
    EXPECT_EQ(reply, L"untouched");
}

TEST_F(UpdateTest, HoldNoticeSendsOnlyTheVersionAndTheCommand) {
    Server.Route("/api.init.php", {{"text", "{}"}});
    StartHoldNotice(Service);
    json requests;
    for (int i = 0; i < 200 && requests.empty(); ++i) {
        Sleep(25);
        requests = Server.Requests();
    }
    ASSERT_EQ(requests.size(), 1u);
    const json& request = requests[0];
    EXPECT_EQ(request["target"], "/api.init.php");
    EXPECT_EQ(HeaderOf(request, "User-Agent"), "Mozilla/5.0 (Windows NT 10.0; Win64; x64)");
    EXPECT_EQ(HeaderOf(request, "User-Version"), WideToUtf8(kVersion));
    EXPECT_EQ(HeaderOf(request, "User-Command"), "hold");
    for (const char* absent : {"User-Language", "User-Debug", "User-Union"})
        EXPECT_EQ(HeaderOf(request, absent), "") << absent;
}

TEST_F(UpdateTest, WithTheServiceDownTheCallbackRunsAfterTheSixthFailedAttempt) {
    Service.URL = L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort());
    bool accepted = true;
    std::wstring data = L"x";
    ASSERT_TRUE(RunCheck(accepted, data));
    EXPECT_EQ(Pauses.load(), 6);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(data, L"");
    EXPECT_TRUE(Dialogs.empty());
    EXPECT_TRUE(Statuses.empty());
    EXPECT_TRUE(Opened.empty());
}

TEST_F(UpdateTest, ThePromptStatusLineAndCallbackFollowTheReply) {
    struct TCase {
        const char* Reply;
        bool Answer;  // the user's choice in the prompt
        bool Prompted;
        std::vector<std::wstring> Opened, Statuses;
        bool Accepted;
    };
    const TCase cases[] = {
        // Yes opens the (unescaped) address and ends in true; No opens nothing.
        {R"({"update":"https:\/\/example.com\/new.exe","notify":"https://example.com/n"})", true, true,
         {L"https://example.com/new.exe"}, {L"https://example.com/n"}, true},
        {R"({"update":"https://example.com/new.exe"})", false, true, {}, {}, false},
        // A notice alone shows no prompt.
        {R"({"info":{"style":"note","text":"t","url":"https://example.com/i"},"notify":"http://example.com/s"})", true,
         false, {}, {L"http://example.com/s"}, false},
        // Addresses the shell must not be handed are never offered.
        {R"({"update":"file:///C:/Windows/System32/calc.exe","notify":"C:\\x.exe"})", true, false, {}, {}, false},
        {R"x({"update":"javascript:alert(1)","notify":"https://example.com/a b"})x", true, false, {}, {}, false},
        // Not JSON at all: nothing shown, the callback still gets the text.
        {"<html>maintenance</html>", true, false, {}, {}, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Reply);
        ClearRecords();
        Server.Route("/api.init.php", {{"text", c.Reply}});
        DialogAnswer = c.Answer;
        bool accepted = !c.Accepted;
        std::wstring data;
        ASSERT_TRUE(RunCheck(accepted, data));
        EXPECT_EQ(data, Utf8ToWide(c.Reply));
        EXPECT_EQ(accepted, c.Accepted);
        EXPECT_EQ(Dialogs, c.Prompted ? std::vector<std::wstring>{Utf8ToWide(c.Reply)} : std::vector<std::wstring>{});
        EXPECT_EQ(Opened, c.Opened);
        EXPECT_EQ(Statuses, c.Statuses);
    }
    EXPECT_EQ(Pauses.load(), 0);
}

TEST(UpdateReply, CutsValuesAndTheNoticeOutOfACompactReply) {
    const std::wstring reply =
        LR"({"UPDATE":"https:\/\/x.example\/a\"b","notify":"","info":{"style":"hold","text":"\uD55C \"q\"",)"
        LR"("flag":"top,stayontop","url":"https:\/\/x.example\/i"},"url":"outside","spaced": "v"})";
    EXPECT_EQ(ReplyValue(reply, L"update"), L"https://x.example/a\"b");  // the tag ignores case
    EXPECT_EQ(ReplyValue(reply, L"notify"), L"");
    EXPECT_EQ(ReplyValue(reply, L"missing"), L"");
    EXPECT_EQ(ReplyValue(reply, L"spaced"), L"");  // no white space after the colon
    const TUpdateNotice notice = ReplyNotice(reply);
    EXPECT_EQ(notice.Style, L"hold");
    EXPECT_EQ(notice.Text, L"\uD55C \"q\"");
    EXPECT_EQ(notice.Flag, L"top,stayontop");
    EXPECT_EQ(notice.Url, L"https://x.example/i");  // the member of "info", not the later one
    // Members are looked for only inside "info", up to its first "}".
    const TUpdateNotice none = ReplyNotice(LR"({"style":"hold","info":{"text":"a}b","url":"u"}})");
    EXPECT_EQ(none.Style, L"");
    EXPECT_EQ(none.Text, L"");
    EXPECT_EQ(none.Url, L"");
}

TEST(UpdateText, GivesThePromptAndButtonsInTheCurrentLanguage) {
    const std::wstring language = CurrentLanguage();
    struct TCase {
        const wchar_t* Language;
        const wchar_t* Status;
        const wchar_t* Yes;
        const wchar_t* No;
        const wchar_t* PromptStart;
    };
    const TCase cases[] = {
        {L"ko", L"업데이트 가능", L"예", L"아니오", L"업데이트 정보가 있습니다.\r\r안정적으로"},
        {L"ja", L"アップデート可", L"はい", L"いいえ", L"このプログラムがアップデートされました。\r\r安定的に使用するために新しくダウンロード\u00B7実行"},
        {L"de", L"Update möglich", L"Ja", L"Nein", L"Dieses Programm ist aktualisiert worden.\r\rEs wird"},
        {L"it", L"Aggiornabile", L"Sì", L"No", L"È disponibile"},
        {L"en", L"Update available", L"Yes", L"No", L"This program has been updated.\r\rIt is recommended"},
        {L"ar", L"Update available", L"Yes", L"No", L"This program has been updated."},
        {L"KO", L"Update available", L"Yes", L"No", L"This program has been updated."},  // compared exactly
    };
    for (const TCase& c : cases) {
        SetCurrentLanguage(c.Language);
        EXPECT_EQ(UpdateText(utStatus), c.Status) << WideToUtf8(c.Language);
        EXPECT_EQ(UpdateText(utYes), c.Yes) << WideToUtf8(c.Language);
        EXPECT_EQ(UpdateText(utNo), c.No) << WideToUtf8(c.Language);
        const std::wstring prompt = UpdateText(utPrompt);
        EXPECT_EQ(prompt.rfind(c.PromptStart, 0), 0u) << WideToUtf8(prompt);
        EXPECT_EQ(prompt.find(L'\n'), std::wstring::npos);
        EXPECT_NE(prompt.back(), L'\r');
    }
    SetCurrentLanguage(L"en");
    EXPECT_EQ(UpdateText(utPrompt),
              L"This program has been updated.\r\rIt is recommended to download and execute new for stable use.\r\r"
              L"Do you want to download it?");
    EXPECT_EQ(UpdateText(4), L"");
    EXPECT_EQ(UpdateText(-1), L"");
    SetCurrentLanguage(language);
}

std::wstring StoredUserID() {
    return TReg::ReadString(HKEY_CURRENT_USER, L"Software\\Quenby", L"QUID", L"");
}

TEST(UserID, IsWrittenOnceOnFirstUseAndKeptAfterwards) {
    TUserHive hive;
    ASSERT_EQ(StoredUserID(), L"");
    const std::wstring id = GetUserID();
    // 8 hex digits, yymmdd, 4 hex digits, hhnnss, 8 hex digits.
    EXPECT_TRUE(std::regex_match(WideToUtf8(id), std::regex("[0-9A-F]{8}[0-9]{6}[0-9A-F]{4}[0-9]{6}[0-9A-F]{8}")))
        << WideToUtf8(id);
    EXPECT_EQ(StoredUserID(), id);
    EXPECT_EQ(GetUserID(), id);
    // An id that is already there is used as it is, whatever its form.
    TReg::WriteString(HKEY_CURRENT_USER, L"Software\\Quenby", L"QUID", L"kept-as-is");
    EXPECT_EQ(GetUserID(), L"kept-as-is");
}

TEST(UserID, TwoThreadsReachingTheFirstUseTogetherShareOneId) {
    for (int round = 0; round < 20; ++round) {
        TUserHive hive;
        std::atomic<bool> go{false};
        std::vector<std::wstring> ids(8);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < ids.size(); ++i)
            threads.emplace_back([&, i] {
                while (!go.load()) std::this_thread::yield();
                ids[i] = GetUserID();
            });
        go.store(true);
        for (auto& t : threads) t.join();
        const std::wstring stored = StoredUserID();
        ASSERT_EQ(stored.size(), 32u);
        for (const std::wstring& id : ids) EXPECT_EQ(id, stored);
    }
}

TEST(UserID, NewIdsCarryTheLocalDateAndTime) {
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const std::wstring id = NewUserID();
    ASSERT_EQ(id.size(), 32u);
    wchar_t date[8];
    swprintf(date, 8, L"%02u%02u%02u", before.wYear % 100, before.wMonth, before.wDay);
    EXPECT_EQ(id.substr(8, 6), date);
    const int seconds = std::stoi(id.substr(18, 2)) * 3600 + std::stoi(id.substr(20, 2)) * 60 + std::stoi(id.substr(22, 2));
    const int then = before.wHour * 3600 + before.wMinute * 60 + before.wSecond;
    EXPECT_LE(then, seconds);
    EXPECT_LE(seconds - then, 2);
    EXPECT_NE(NewUserID(), id);
}

TEST(AppVersion, FormatsTheFileVersionOfTheProgram) {
    EXPECT_EQ(GetAppVersion(L"%d.%d.%d.%d"), kVersion);
    EXPECT_EQ(GetAppVersion(L"v%d-%d (%%)"), L"v1-0 (%)");
    // Anything but "%d" is text, never a format for printf.
    EXPECT_EQ(GetAppVersion(L"%s %n %d"), L"%s %n 1");
}

} // namespace
