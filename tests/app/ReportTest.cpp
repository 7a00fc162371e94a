#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/Clean.h"
#include "app/Report.h"
#include "lib/Autorun.h"
#include "lib/Install.h"
#include "pages/Autorun.h"
#include "pages/Install.h"
#include "service/Service.h"
#include "service/Update.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"
#include "tests/service/LoopbackServer.h"
#include "ui/Application.h"
#include "ui/Form.h"

using namespace tidora;
using nlohmann::json;
using tidora::test::BodyOf;
using tidora::test::HeaderOf;
using tidora::test::TLoopbackServer;
using tidora::test::TUserHive;

namespace {

TUsageReport SampleReport() {
    TUsageReport report;
    report.OldAvail = 8589934592ull;
    report.NewAvail = 9663676416ull;
    report.Total = 17179869184ull;
    report.Processes = {
        {GetFolderPath(CSIDL_WINDOWS) + L"\\system32\\svchost.exe", TProcessState::Collected},
        // A path that could not be read: the bare name.
        {L"ghost.exe", TProcessState::TerminationRequested},
        {L"D:\\\uC571/\uB3C4\uAD6C \"x\".exe", TProcessState::Terminated},
    };
    report.Startup = {{L"C:\\Program Files\\\uD55C\uAE00\\run.exe /min", TAutorunSource::UserRun},
                      {L"\ttab", TAutorunSource::Service}};
    report.Install = {{L"Name \"Q\"", L"Pub/Co"}, {L"", L""}};
    return report;
}

const char kMemoryAndProcesses[] =
    R"([{"cate":"memory","old":"8589934592","new":"9663676416","tot":"17179869184"},)"
    R"({"cate":"clean","file":"%SystemRoot%\\system32\\svchost.exe","state":"1"},)"
    R"({"cate":"clean","file":"ghost.exe","state":"-2"},)"
    R"({"cate":"clean","file":"D:\\\uC571\/\uB3C4\uAD6C \"x\".exe","state":"-1"})";

TEST(UsageReport, IsOneCompactAsciiArrayInTheFixedKeyOrder) {
    TUsageReport report = SampleReport();
    report.HasStartupPage = true;
    report.HasInstallPage = true;
    EXPECT_EQ(BuildReportJson(report),
              std::string(kMemoryAndProcesses) +
                  R"(,{"cate":"start","item":"C:\\Program Files\\\uD55C\uAE00\\run.exe \/min","from":"HKCU"},)"
                  R"({"cate":"start","item":"\ttab","from":"SERV"},)"
                  R"({"cate":"install","displayname":"Name \"Q\"","publisher":"Pub\/Co"},)"
                  R"({"cate":"install","displayname":"","publisher":""}])");
}

TEST(UsageReport, HoldsOnlyThePagesTheUserOpened) {
    TUsageReport report = SampleReport();
    EXPECT_EQ(BuildReportJson(report), std::string(kMemoryAndProcesses) + "]");
    report.HasInstallPage = true;
    report.Install.resize(1);
    EXPECT_EQ(BuildReportJson(report),
              std::string(kMemoryAndProcesses) +
                  R"(,{"cate":"install","displayname":"Name \"Q\"","publisher":"Pub\/Co"}])");
    // An opened page that collected nothing adds nothing.
    report.HasStartupPage = true;
    report.Startup.clear();
    report.Install.clear();
    EXPECT_EQ(BuildReportJson(report), std::string(kMemoryAndProcesses) + "]");
}

TEST(ReportID, IsTheTextAfterThePkTagUpToTheClosingQuote) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {LR"({"pk":"a1B2"})", L"a1B2"},
        {LR"({"ok":true,"PK":"x9"})", L"x9"},           // the tag ignores case
        {LR"({"pk":"a\"b"})", LR"(a\"b)"},              // kept as sent, escape and all
        {LR"({"pk":"one","pk":"two"})", L"one"},        // the first occurrence
        {LR"({"pk": "spaced"})", L""},                  // no white space in the tag
        {LR"({"pk":"unterminated)", L""},
        {L"Error sending data: (12029) cannot connect", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReportID(c.first), c.second) << WideToUtf8(c.first);
}

TEST(ReportPage, AppendsASafeIdAsItIsAndEncodesAnyOtherCharacter) {
    const TService service = BuiltInService();
    const std::wstring base = service.URL + L"/?report=";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"a1B2-._~", L"a1B2-._~"},
        {LR"(a\"b)", L"a%5C%22b"},
        {L"x y&z=1#f", L"x%20y%26z%3D1%23f"},
        {L"\uD55C", L"%ED%95%9C"},
        {L"\U0001F600", L"%F0%9F%98%80"},
    };
    for (const auto& c : cases) {
        const std::wstring url = ReportPageURL(service, c.first);
        EXPECT_EQ(url, base + c.second) << WideToUtf8(c.first);
        EXPECT_TRUE(IsWebAddress(url)) << WideToUtf8(url);
    }
}

class ReportServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Server.Ready()) << Server.Failure();
        Service = ServiceAt(Server.Url(L""));
        Platform.ShellOpen = [this](const std::wstring& Target) { Opened.push_back(Target); };
    }

    TUserHive Hive;
    TLoopbackServer Server;
    std::vector<std::wstring> Opened;
    TService Service;
    TPlatform Platform = RealPlatform();
};

TEST_F(ReportServiceTest, PostJsonSendsTheBodyAsJsonWithTheVersionAndUserId) {
    Server.Route("/report.php", {{"text", "{\"pk\":\"7\"}"}});
    const std::wstring body = L"[{\"cate\":\"memory\"}]";
    EXPECT_EQ(PostJson(Server.Url(L"/report.php"), body), L"{\"pk\":\"7\"}");
    EXPECT_EQ(PostJson(Server.Url(L"/report.php"), L""), L"{\"pk\":\"7\"}");
    json requests = Server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const json& post = requests[0];
    EXPECT_EQ(post["method"], "POST");
    EXPECT_EQ(BodyOf(post), "[{\"cate\":\"memory\"}]");
    EXPECT_EQ(HeaderOf(post, "Content-Type"), "application/json");
    EXPECT_EQ(HeaderOf(post, "User-Version"), "1.0.0.1");
    EXPECT_EQ(HeaderOf(post, "User-Union"), WideToUtf8(GetUserID()));
    EXPECT_EQ(HeaderOf(post, "User-Union").size(), 32u);
    EXPECT_EQ(HeaderOf(post, "User-Agent").rfind("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit", 0), 0u);
    EXPECT_EQ(HeaderOf(post, "User-Language"), "");
    EXPECT_EQ(HeaderOf(post, "User-Debug"), "");
    // An empty body is a plain GET.
    EXPECT_EQ(requests[1]["method"], "GET");
    EXPECT_EQ(HeaderOf(requests[1], "Content-Type"), "");
}

TEST_F(ReportServiceTest, AReportOfManyPiecesArrivesByteForByte) {
    Server.Route("/report.php", {{"text", R"({"pk":"big"})"}});
    TUsageReport report = SampleReport();
    report.HasStartupPage = report.HasInstallPage = true;
    const TUsageReport sample = report;
    for (int i = 0; i < 1500; ++i) {
        report.Processes.push_back(sample.Processes[i % sample.Processes.size()]);
        report.Startup.push_back(sample.Startup[i % sample.Startup.size()]);
        report.Install.push_back(sample.Install[i % sample.Install.size()]);
    }
    const std::string whole = BuildReportJson(report);
    ASSERT_GT(whole.size(), 4u * 64 * 1024);
    EXPECT_EQ(ReportJsonSize(report), whole.size());
    EXPECT_EQ(SendUsageReport(Service, report), L"big");
    const json requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(HeaderOf(requests[0], "Content-Type"), "application/json");
    EXPECT_EQ(HeaderOf(requests[0], "User-Union"), WideToUtf8(GetUserID()));
    EXPECT_TRUE(BodyOf(requests[0]) == whole);
}

TEST_F(ReportServiceTest, TheReportIdComesBackAndOnlyItsPageIsOpened) {
    TUsageReport report = SampleReport();
    report.HasStartupPage = true;
    struct TCase {
        const char* Reply;
        int Status;
        const wchar_t* ID;
        std::vector<std::wstring> Opened;
    };
    const std::wstring page = Server.Url(L"/?report=");
    const TCase cases[] = {
        {R"({"pk":"r7"})", 200, L"r7", {page + L"r7"}},
        {R"({"pk":"a\"b"})", 200, LR"(a\"b)", {page + L"a%5C%22b"}},
        // The status is not looked at.
        {R"(<html>{"pk":"late"}</html>)", 500, L"late", {page + L"late"}},
        {R"({"error":"busy"})", 200, L"", {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Reply);
        Opened.clear();
        Server.Route("/report.php", {{"status", c.Status}, {"text", c.Reply}});
        const std::wstring id = SendUsageReport(Service, report);
        EXPECT_EQ(id, c.ID);
        OpenReportPage(Service, id, Platform);
        EXPECT_EQ(Opened, c.Opened);
        const json requests = Server.Requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.back()["path"], "/report.php");
        EXPECT_EQ(BodyOf(requests.back()), BuildReportJson(report));
    }
    // No service at all: the error text holds no id, and nothing is opened.
    Opened.clear();
    const TService nowhere = ServiceAt(L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort()));
    const std::wstring id = SendUsageReport(nowhere, report);
    EXPECT_EQ(id, L"");
    OpenReportPage(nowhere, id, Platform);
    EXPECT_TRUE(Opened.empty());
}

TEST_F(ReportServiceTest, TheCleaningRunsHookReportsTheRunWithThePagesCopiedOnTheUIThread) {
    Server.Route("/report.php", {{"text", R"({"pk":"run1"})"}});
    TCleanRun run;
    run.OldAvailMemory = 123456;
    TProcessInfo own, gone;
    own.FileName = L"C:\\own.exe";
    gone.FileName = L"gone.exe";
    gone.State = TProcessState::Terminated;
    run.ProcessList = {own, gone};
    // What the pages hold: the report takes Target and From, DisplayName and Publisher.
    TAutorunInfo entry;
    entry.Caption = L"Runner";
    entry.Target = L"run.exe";
    entry.From = TAutorunSource::MachineRun;
    TInstallInfo program;
    program.DisplayName = L"Tool";
    program.Publisher = L"Maker";
    program.DisplayVersion = L"2.0";
    const TAutorunList startup{entry};
    const TInstallList programs{program};
    bool pagesOnUIThread = false;
    auto hook = UsageReportHook(Service, [&] {
        pagesOnUIThread = IsMainThread();
        TReportPages pages;
        pages.HasStartupPage = true;
        pages.Startup = ReportEntries(startup);
        pages.HasInstallPage = true;
        pages.Install = ReportEntries(programs);
        return pages;
    });
    // The worker's side runs on its own thread while this (UI) thread serves
    // the hand-over, as in a real run.
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::wstring key;
    std::thread worker([&] {
        key = hook(run);
        SetEvent(done.get());
    });
    EXPECT_EQ(WaitServing(done.get(), 60000), WAIT_OBJECT_0);
    worker.join();
    EXPECT_TRUE(pagesOnUIThread);
    EXPECT_EQ(key, L"run1");
    const std::string body = BodyOf(Server.Requests().back());
    EXPECT_TRUE(std::regex_match(
        body, std::regex(R"(\[\{"cate":"memory","old":"123456","new":"[0-9]+","tot":"[0-9]+"\},)"
                         R"(\{"cate":"clean","file":"C:\\\\own.exe","state":"1"\},)"
                         R"(\{"cate":"clean","file":"gone.exe","state":"-1"\},)"
                         R"(\{"cate":"start","item":"run.exe","from":"HKLM"\},)"
                         R"(\{"cate":"install","displayname":"Tool","publisher":"Maker"\}\])")))
        << body;
}

// ---- a run with both pages ----

// The Bundle page with an inventory of the test's own that every reload reads
// again, pumping between records as a real read may.
class TReportBundlePage : public TFrmInstall {
public:
    using TFrmInstall::TFrmInstall;
    // While this part still exists, so reloads served on the way find it whole.
    ~TReportBundlePage() override { StopWatchers(); }
    TInstallList Inventory;

protected:
    void ReadInventory(TInstallList& List) override {
        List.clear();
        for (const TInstallInfo& info : Inventory) {
            List.push_back(info);
            ProcessMessages();
        }
    }
};

TInstallInfo Program(const std::wstring& Name, const std::wstring& Publisher, const std::wstring& Date) {
    TInstallInfo info;
    info.DisplayName = Name;
    info.Publisher = Publisher;
    info.InstallDate = Date;
    info.UninstallString = L"uninstall.exe";
    return info;
}

TEST(UsageReport, ARunWithBothPagesHoldsTheirRecordsInListOrder) {
    test::TUserHive hive;  // the user id the report sends
    test::TLoopbackServer server;
    ASSERT_TRUE(server.Ready()) << server.Failure();
    server.Route("/report.php", {{"text", R"({"pk":"both"})"}});

    // The Startup page beside this one, each with a list of its own that
    // every reload collects again, pumping halfway as a real collection may.
    class TStartupPage : public TFrmAutorun {
    public:
        using TFrmAutorun::TFrmAutorun;

    protected:
        void CollectEntries(TAutorunList& List) override {
            List.clear();
            for (const wchar_t* name : {L"Zeta", L"Alpha", L"Mid"}) {
                TAutorunInfo info;
                info.Caption = name;
                info.Target = std::wstring(L"HKCU\\Run\\") + name;
                info.From = TAutorunSource::UserRun;
                List.push_back(info);
                ProcessMessages();
            }
        }
    };
    TFormOptions o;
    o.ClassName = L"TidoraBothPagesTest";
    TForm startupHost(o);
    auto* startup = TWindow::Create<TStartupPage>(&startupHost, L"FrmAutorun", TBounds{}, TAlign::alClient);
    o.ClassName = L"TidoraBothPagesBundleTest";
    TForm bundleHost(o);
    auto* bundle = TWindow::Create<TReportBundlePage>(&bundleHost, L"FrmInstall", TBounds{}, TAlign::alClient);
    bundle->Inventory = {Program(L"Newest", L"Maker \"A\"", L"20240101"), Program(L"Older", L"", L"20200101"),
                         Program(L"\uC624\uB798\uB41C", L"B", L"")};
    startup->LoadAutorun();
    bundle->LoadInstall();

    TCleanRun run;
    run.OldAvailMemory = 1;
    auto hook = UsageReportHook(ServiceAt(server.Url(L"")), [&] {
        TReportPages pages;
        pages.HasStartupPage = true;
        pages.Startup = ReportEntries(*startup->Snapshot());
        pages.HasInstallPage = true;
        pages.Install = ReportEntries(*bundle->Snapshot());
        return pages;
    });
    // The worker reports while the user keeps picking the cards.
    std::atomic<bool> done{false};
    std::wstring key;
    std::thread worker([&] {
        key = hook(run);
        done = true;
    });
    while (!done) {
        startup->LoadAutorun();
        bundle->LoadInstall();
        ServeHandOvers();
    }
    worker.join();
    EXPECT_EQ(key, L"both");
    const std::string body = test::BodyOf(server.Requests().back());
    EXPECT_TRUE(std::regex_match(
        body, std::regex(R"(\[\{"cate":"memory","old":"1","new":"[0-9]+","tot":"[0-9]+"\},)"
                         R"((\{"cate":"clean"[^}]*\},)*)"
                         R"(\{"cate":"start","item":"HKCU\\\\Run\\\\Zeta","from":"HKCU"\},)"
                         R"(\{"cate":"start","item":"HKCU\\\\Run\\\\Alpha","from":"HKCU"\},)"
                         R"(\{"cate":"start","item":"HKCU\\\\Run\\\\Mid","from":"HKCU"\},)"
                         R"(\{"cate":"install","displayname":"Newest","publisher":"Maker \\"A\\""\},)"
                         R"(\{"cate":"install","displayname":"Older","publisher":""\},)"
                         R"(\{"cate":"install","displayname":"\\uC624\\uB798\\uB41C","publisher":"B"\}\])")))
        << body;
}

} // namespace
