// The main window driven as a user drives it, against a loopback service.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "app/Main.h"
#include "app/Report.h"
#include "lib/Install.h"
#include "pages/Autorun.h"
#include "pages/Install.h"
#include "service/Service.h"
#include "service/Update.h"
#include "service/UpdateDialog.h"
#include "system/Handles.h"
#include "system/Process.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "tests/Children.h"
#include "tests/TestSupport.h"
#include "tests/app/MainWindowHost.h"
#include "tests/service/LoopbackServer.h"
#include "ui/ActivityIndicator.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/HtmlLabel.h"
#include "ui/Logo.h"
#include "ui/StyledButton.h"
#include "ui/StyledToolbar.h"
#include "ui/Translate.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;
using tidora::test::CreateKillJob;
using tidora::test::TChild;
using tidora::test::TLoopbackServer;

namespace {



// The child of Parent whose window text is Text.
HWND ChildWithText(HWND Parent, const std::wstring& Text) {
    struct Search {
        std::wstring Text;
        HWND Found = nullptr;
    } search{Text};
    for (HWND child = GetWindow(Parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (test::WindowText(child) == search.Text) return child;
    return search.Found;
}

// Answers the update prompt from another thread, as a user at the screen
// does, and tells what the prompt showed.
class TPromptAnswer {
public:
    TPromptAnswer(const std::wstring& Button, bool TickHold = false) {
        FThread = std::thread([this, Button, TickHold] {
            for (int i = 0; i < 1500 && !FWindow; ++i) {
                FWindow = FindWindowW(L"TidoraUpdateDialog", nullptr);
                if (!FWindow || !IsWindowVisible(FWindow)) {
                    FWindow = nullptr;
                    Sleep(10);
                }
            }
            if (!FWindow) return;
            // Before the picture, which lifts the window to the top and back.
            FTopmost = (GetWindowLongW(FWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            Sleep(300);  // let it paint for the picture
            test::SaveWindowShot(FWindow, test::ScreenshotPath(L"update-prompt-" + CurrentLanguage()));
            HWND hold = FindWindowExW(FWindow, nullptr, L"Button", nullptr);
            for (; hold; hold = FindWindowExW(FWindow, hold, L"Button", nullptr))
                if ((GetWindowLongW(hold, GWL_STYLE) & 0xF) == BS_AUTOCHECKBOX) break;
            FHadHold = hold != nullptr;
            if (hold && TickHold) SendMessageW(hold, BM_CLICK, 0, 0);
            HWND button = ChildWithText(FWindow, Button);
            if (button) PostMessageW(button, BM_CLICK, 0, 0);
            FAnswered = button != nullptr;
        });
    }
    ~TPromptAnswer() { Join(); }
    void Join() {
        if (FThread.joinable()) FThread.join();
    }
    bool Shown() const { return FWindow != nullptr; }
    bool Answered() const { return FAnswered; }
    bool Topmost() const { return FTopmost; }
    bool HadHold() const { return FHadHold; }

private:
    std::thread FThread;
    std::atomic<HWND> FWindow{nullptr};
    std::atomic<bool> FAnswered{false}, FTopmost{false}, FHadHold{false};
};

class MainWindowTest : public test::TMainWindowHost {
protected:
    void SetUp() override {
        TMainWindowHost::SetUp();
        Platform.Pause = [](DWORD) { Sleep(100); };
    }
    int InitRequests() {
        int n = 0;
        for (const auto& r : Server.Requests())
            if (r.value("path", "").rfind("/api.init.php", 0) == 0) ++n;
        return n;
    }
};

TEST_F(MainWindowTest, BuildsTranslatedWithListsAndOneTip) {
    Open(nlohmann::json::object());
    EXPECT_EQ(Window->Caption(), L"Tidora");
    EXPECT_EQ(ApplicationTitle(), L"Tidora");
    EXPECT_EQ(Window->BtnHome->Caption(), L"Home");
    EXPECT_EQ(Window->BtnAutorun->Caption(), L"Startup");
    EXPECT_EQ(Window->BtnInstall->Caption(), L"Bundle");
    EXPECT_EQ(Window->BtnStart->Caption(), L"Clean");
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 0);
    EXPECT_EQ(Window->BtnHead->DownIndex(), 0);
    EXPECT_FALSE(Window->Indicator->Visible());
    const std::wstring tip = Window->LblContent->Caption();
    EXPECT_TRUE(tip == L"<C><FC:clGray>Keeps only essential Windows programs and <B>closes</B> others.</FC></C>" ||
                tip == L"<C><FC:clGray>Programs are only <B>closed</B>, not <B>uninstalled</B>.</FC></C>")
        << tip;
    EXPECT_EQ(Window->FileWhite.size(), 264u);
    EXPECT_EQ(Window->NameWhite.size(), 84u);
    EXPECT_EQ(Window->NameBlack.size(), 37u);
    EXPECT_EQ(Window->ClientWidth(), 464);
    EXPECT_EQ(Window->ClientHeight(), 417);
}

TEST_F(MainWindowTest, HeaderButtonsSwitchCardsAndTheLinksOpenTheirPages) {
    Open(nlohmann::json::object());
    Window->BtnAutorun->Click();
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 1);
    EXPECT_EQ(Window->BtnHead->DownIndex(), 1);
    Window->BtnAutorun->Click();  // the current card's button does nothing
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 1);
    EXPECT_EQ(Window->BtnHead->DownIndex(), 1);
    // The Startup page opens an entry's page on the service through the
    // shell, encoded, as a web address.
    ASSERT_NE(Window->FrmAutorun, nullptr);
    ASSERT_TRUE(Window->FrmAutorun->EntryPageOpener());
    Window->FrmAutorun->EntryPageOpener()(TAutorunSource::MachineRun, L"HKLM\\Software\\Run\\Tidora Page #1?%\u00C4");
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], Service.Address(L"/entry/hklm/tidora%20page%20%231%3F%25%C3%84"));
    EXPECT_TRUE(IsWebAddress(Opened[0]));
    Opened.clear();
    Window->BtnInstall->Click();
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 2);
    EXPECT_EQ(Window->BtnHead->DownIndex(), 2);

    Window->BtnHomeClick(Window->ImgLogo);
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], MakerPageURL());
    EXPECT_EQ(MakerPageURL().rfind(L"https://", 0), 0u);
    EXPECT_EQ(MakerPageURL().substr(MakerPageURL().size() - 7), L"/tidora");
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 2);  // the logo leaves the card
    EXPECT_EQ(Window->BtnHead->DownIndex(), 2);

    Window->BtnHome->Click();
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 0);
    EXPECT_EQ(Window->BtnHead->DownIndex(), 0);
}

TEST_F(MainWindowTest, ServiceListsAreMergedIntoTheProtectionLists) {
    Open({{"file_white", {"zz_added.exe*", "SVCHOST.EXE*"}}, {"name_white", {"ZzService"}},
          {"name_black", {"Zz Plugin"}}});
    ASSERT_TRUE(PumpUntil([&] { return Window->NameBlack.size() == 38u; }));
    EXPECT_EQ(Window->FileWhite.size(), 265u);  // the second is there already
    EXPECT_EQ(Window->FileWhite.back(), L"zz_added.exe*");
    EXPECT_EQ(Window->NameWhite.back(), L"ZzService");
    EXPECT_EQ(Window->NameBlack.back(), L"Zz Plugin");
    EXPECT_EQ(InitRequests(), 1);
    EXPECT_TRUE(Opened.empty());
}

// A reply the service sends as JSON that is no object carries no lists.
TEST_F(MainWindowTest, AReplyThatIsJsonButNoObjectMergesNothing) {
    Open(nlohmann::json::array({"zz_added.exe*", nlohmann::json{{"file_white", {"zz_added.exe*"}}}}));
    ASSERT_TRUE(PumpUntil([&] { return InitRequests() == 1; }));
    Pump(500);  // the reply's hand-over
    const size_t file = Window->FileWhite.size(), name = Window->NameWhite.size(), black = Window->NameBlack.size();
    for (const wchar_t* reply : {L"[{\"file_white\":[\"zz.exe\"]}]", L"\"file_white\"", L"42", L"null", L"true",
                                 L"", L"{\"file_white\":[\"zz.exe\"]"}) {
        Window->ServiceCallback(false, reply);
        EXPECT_EQ(Window->FileWhite.size(), file) << reply;
        EXPECT_EQ(Window->NameWhite.size(), name) << reply;
        EXPECT_EQ(Window->NameBlack.size(), black) << reply;
    }
    EXPECT_EQ(std::count(Window->FileWhite.begin(), Window->FileWhite.end(), L"zz_added.exe*"), 0);
    EXPECT_TRUE(Alive());
}

// Each visit of a page's card reloads its page (a new list is published);
// the button of the card already shown loads nothing.
TEST_F(MainWindowTest, GoingBackToACardReloadsItsPageAndItsOwnButtonDoesNot) {
    Open(nlohmann::json::object());
    Window->BtnAutorun->Click();
    Window->BtnInstall->Click();
    ASSERT_NE(Window->FrmAutorun, nullptr);
    ASSERT_NE(Window->FrmInstall, nullptr);
    // Held, so that a new list can never reuse an old one's address.
    std::vector<std::shared_ptr<const void>> held;
    auto startup = Window->FrmAutorun->Snapshot();
    auto bundle = Window->FrmInstall->Snapshot();
    held.push_back(startup);
    held.push_back(bundle);

    Window->BtnInstall->Click();
    EXPECT_EQ(Window->FrmInstall->Snapshot(), bundle);
    Window->BtnAutorun->Click();
    EXPECT_NE(Window->FrmAutorun->Snapshot(), startup);
    startup = Window->FrmAutorun->Snapshot();
    held.push_back(startup);
    Window->BtnAutorun->Click();
    EXPECT_EQ(Window->FrmAutorun->Snapshot(), startup);
    Window->BtnHome->Click();
    EXPECT_EQ(Window->FrmAutorun->Snapshot(), startup);
    Window->BtnInstall->Click();
    EXPECT_NE(Window->FrmInstall->Snapshot(), bundle);
    EXPECT_EQ(Window->FrmAutorun->Snapshot(), startup);
}

TEST_F(MainWindowTest, WithTheServiceDownTheBuiltInListsServe) {
    Service.URL = L"http://127.0.0.1:" + std::to_wstring(test::UnusedPort());
    Make();
    Pump(1500);  // six quick failures, then the callback with nothing
    EXPECT_EQ(Window->FileWhite.size(), 264u);
    EXPECT_EQ(Window->NameBlack.size(), 37u);
    Window->BtnAutorun->Click();
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 1);
    EXPECT_TRUE(Alive());
}

TEST_F(MainWindowTest, UpdatePromptYesOpensTheAddressAndCloses) {
    TPromptAnswer answer(L"Yes");
    Open({{"update", "https://download.tidora.example/new.exe"},
          {"info", {{"style", "note"}, {"text", "What is new"}, {"flag", "x,stayontop"}, {"url", "https://n.example/"}}},
          {"file_white", {"never_merged.exe*"}}});
    ASSERT_TRUE(PumpUntil([&] { return !Alive(); }));
    answer.Join();
    EXPECT_TRUE(answer.Shown());
    EXPECT_TRUE(answer.Topmost());
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], L"https://download.tidora.example/new.exe");
    EXPECT_EQ(Window->FileWhite.size(), 264u);
}

TEST_F(MainWindowTest, UpdatePromptNoKeepsTheProgramAndHoldSendsTheNotice) {
    TPromptAnswer answer(L"No", true);
    Open({{"update", "https://download.tidora.example/new.exe"},
          {"info", {{"style", "hold"}, {"text", "Do not ask again"}, {"flag", ""}, {"url", ""}}},
          {"name_black", {"Zz Plugin"}}});
    ASSERT_TRUE(PumpUntil([&] { return Window->NameBlack.size() == 38u; }));
    answer.Join();
    EXPECT_TRUE(answer.Shown());
    EXPECT_TRUE(answer.HadHold());
    EXPECT_FALSE(answer.Topmost());
    EXPECT_TRUE(Alive());
    EXPECT_TRUE(Opened.empty());
    // The hold notice goes out on its own thread.
    ASSERT_TRUE(PumpUntil([&] { return InitRequests() == 2; }, 10000));
    const auto requests = Server.Requests();
    EXPECT_EQ(test::HeaderOf(requests.back(), "User-Command"), "hold");
}

TEST_F(MainWindowTest, NotifyOnlyShowsTheStatusLine) {
    Open({{"notify", "https://notice.tidora.example/1"}});
    ASSERT_TRUE(PumpUntil([&] { return Window->FindComponent(L"StatusBar") != nullptr; }));
    auto* bar = dynamic_cast<TUpdateStatusBar*>(Window->FindComponent(L"StatusBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->Caption(), L"Update available");
    EXPECT_EQ(bar->Hint(), L"https://notice.tidora.example/1");
    EXPECT_EQ(Window->ClientHeight(), 417 + 28);
    EXPECT_EQ(FindWindowW(L"TidoraUpdateDialog", nullptr), nullptr);
    TUpdateHelper::StatusClick(bar);
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], L"https://notice.tidora.example/1");
    EXPECT_TRUE(Alive());

    // A second status line only changes the first one's address: the window
    // does not grow again.
    ShowUpdateStatusLine(L"https://notice.tidora.example/2");
    EXPECT_EQ(Window->FindComponent(L"StatusBar"), bar);
    EXPECT_EQ(bar->Hint(), L"https://notice.tidora.example/2");
    EXPECT_EQ(Window->ClientHeight(), 417 + 28);
}

TEST_F(MainWindowTest, TheUpdatePromptsNoteLinkOpensItsAddress) {
    Open(nlohmann::json::object());
    const nlohmann::json reply = {{"update", "https://download.tidora.example/new.exe"},
                                  {"info", {{"style", "note"}, {"text", "Read me"}, {"url", "https://notice.tidora.example/n"}}}};
    TUpdateDialog dialog(Utf8ToWide(reply.dump()), 0, Platform);
    ASSERT_NE(dialog.LblNote, nullptr);
    EXPECT_EQ(dialog.LblNote->Caption(), L"Read me");
    // A click as the mouse makes it.
    SendMessageW(dialog.LblNote->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(dialog.LblNote->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], L"https://notice.tidora.example/n");
}

TEST_F(MainWindowTest, StartEndsTheSleepersReportsAndOpensTheReportPage) {
    ASSERT_TRUE(Server.Route("/report.php", {{"text", R"({"pk":"AbC123"})"}}));
    Open(nlohmann::json::object());
    ASSERT_TRUE(PumpUntil([&] { return InitRequests() == 1; }));
    Pump(200);

    test::TTempDir victims(test::TempFolder(), L"victims");
    UniqueHandle job(CreateKillJob());
    std::vector<std::unique_ptr<TChild>> sleepers;
    for (int i = 0; i < 2; ++i) {
        const std::wstring path = victims.File(L"sleeper_main" + std::to_wstring(i) + L".exe");
        CopyFileW(test::BinaryPath(L"helpers/sleeper.exe").c_str(), path.c_str(), FALSE);
        sleepers.push_back(std::make_unique<TChild>(path, L"", job.get()));
        ASSERT_NE(sleepers.back()->Id(), 0u);
    }
    // Everything else in the prefix stays: Wine's own programs and the test programs.
    for (const wchar_t* entry : {L"%SystemRoot%\\", L"tidora_"})
        Window->FileWhite.push_back(entry);
    Window->FileWhite.push_back(test::BinaryPath(L"tests") + L"\\");
    Window->FileWhite.push_back(test::BinaryPath(L"helpers") + L"\\");

    // Both pages opened before the run: the report carries their lists.
    Window->BtnAutorun->Click();
    Window->BtnInstall->Click();
    Window->BtnHome->Click();
    ASSERT_NE(Window->FrmAutorun, nullptr);
    ASSERT_NE(Window->FrmInstall, nullptr);
    const TReportPages pages = Window->ReportPages();

    Window->BtnStart->Click();
    EXPECT_FALSE(Window->BtnStart->Enabled());
    EXPECT_EQ(Window->BtnStart->Caption(), L"");
    EXPECT_TRUE(Window->Indicator->Visible());
    EXPECT_TRUE(Window->Indicator->Animate());

    ASSERT_TRUE(PumpUntil([&] { return !Alive(); }, 60000));
    for (auto& s : sleepers) EXPECT_TRUE(s->Ended(5000));
    int reports = 0;
    std::string body;
    for (const auto& r : Server.Requests())
        if (r.value("path", "") == "/report.php" && r.value("method", "") == "POST") {
            ++reports;
            body = test::BodyOf(r);
        }
    ASSERT_EQ(reports, 1);
    const nlohmann::json report = nlohmann::json::parse(body, nullptr, false);
    ASSERT_TRUE(report.is_array());
    std::vector<std::string> starts, installs;
    for (const auto& record : report) {
        if (record.value("cate", "") == "start") starts.push_back(record.value("item", ""));
        if (record.value("cate", "") == "install") installs.push_back(record.value("displayname", ""));
    }
    ASSERT_EQ(starts.size(), pages.Startup.size());
    for (size_t i = 0; i < starts.size(); ++i) EXPECT_EQ(Utf8ToWide(starts[i]), pages.Startup[i].Target);
    ASSERT_EQ(installs.size(), pages.Install.size());
    for (size_t i = 0; i < installs.size(); ++i) EXPECT_EQ(Utf8ToWide(installs[i]), pages.Install[i].DisplayName);
    EXPECT_FALSE(starts.empty());  // the prefix has Wine's own services at least
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], Server.Url(L"/?report=AbC123"));
    EXPECT_FALSE(Window->ProcessList.empty());
}

// An uninstaller that ends while the user closes the window: a Bundle page
// watcher is handing its reload over when the window goes. The pages must end
// before the lists they read, and the waiting hand-over must find no page.
TEST_F(MainWindowTest, ClosingWhileABundleReloadWaitsForItsHandOver) {
    Open(nlohmann::json::object());
    ASSERT_TRUE(PumpUntil([&] { return InitRequests() == 1; }));
    Window->BtnInstall->Click();
    ASSERT_NE(Window->FrmInstall, nullptr);
    Pump(200);

    const std::wstring uninstall = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::wstring name = test::UniqueName(L"TidoraMainClose");
    bool handedOver = false;
    // The UI thread does not pump now; on a busy machine the watch may not be
    // armed yet, so the record changes until a hand-over waits.
    for (int i = 0; i < 40 && !handedOver; ++i) {
        TReg::WriteString(HKEY_LOCAL_MACHINE, uninstall + L"\\" + name, L"DisplayName", name + std::to_wstring(i));
        handedOver = WaitForSingleObject(HandOverEvent(), 250) == WAIT_OBJECT_0;
    }
    TReg::DeleteKey(HKEY_LOCAL_MACHINE, uninstall, name);
    ASSERT_TRUE(handedOver);

    Window->Close();
    const ULONGLONG start = GetTickCount64();
    Window.reset();
    EXPECT_LT(GetTickCount64() - start, 5000u);
    // Every hand-over was served on the way; none is left for a page that is gone.
    EXPECT_FALSE(ServeHandOvers());
}

// The Bundle page opened for the first time while a run is under way, before
// its report is built: the report carries the page's programs.
TEST_F(MainWindowTest, APageOpenedFirstDuringTheRunIsInTheReport) {
    ASSERT_TRUE(Server.Route("/report.php", {{"text", R"({"pk":"DuRun1"})"}}));
    Open(nlohmann::json::object());
    ASSERT_TRUE(PumpUntil([&] { return InitRequests() == 1; }));
    // One program of our own, so that the page's list is not empty.
    const std::wstring uninstall = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::wstring name = test::UniqueName(L"TidoraRunPage");
    TReg::WriteString(HKEY_LOCAL_MACHINE, uninstall + L"\\" + name, L"DisplayName", name);
    TReg::WriteString(HKEY_LOCAL_MACHINE, uninstall + L"\\" + name, L"UninstallString", L"C:\\nowhere\\u.exe");
    // Everything in the prefix stays: Wine's own programs and the test programs.
    for (const wchar_t* entry : {L"%SystemRoot%\\", L"tidora_"}) Window->FileWhite.push_back(entry);
    Window->FileWhite.push_back(test::BinaryPath(L"tests") + L"\\");
    Window->FileWhite.push_back(test::BinaryPath(L"helpers") + L"\\");

    Window->BtnStart->Click();
    EXPECT_EQ(Window->FrmInstall, nullptr);
    Window->BtnInstall->Click();
    ASSERT_NE(Window->FrmInstall, nullptr);
    std::vector<std::wstring> shown;
    for (const TInstallInfo& record : *Window->FrmInstall->Snapshot()) shown.push_back(record.DisplayName);

    ASSERT_TRUE(PumpUntil([&] { return !Alive(); }, 60000));
    TReg::DeleteKey(HKEY_LOCAL_MACHINE, uninstall, name);
    std::vector<std::wstring> reported;
    for (const auto& r : Server.Requests())
        if (r.value("path", "") == "/report.php" && r.value("method", "") == "POST") {
            const nlohmann::json report = nlohmann::json::parse(test::BodyOf(r), nullptr, false);
            ASSERT_TRUE(report.is_array());
            for (const auto& record : report)
                if (record.value("cate", "") == "install")
                    reported.push_back(Utf8ToWide(record.value("displayname", "")));
        }
    EXPECT_NE(std::find(shown.begin(), shown.end(), name), shown.end());
    EXPECT_EQ(reported, shown);
}

TEST_F(MainWindowTest, ScreenshotsInKoreanAndEnglish) {
    // Also run by the 144 dpi test below, as its child process.
    if (test::ChildDpi()) test::DpiChildStarted();
    for (const wchar_t* language : {L"ko", L"en"}) {
        SetCurrentLanguage(language);
        Open(nlohmann::json::object());
        Window->CenterOnScreen();
        Window->ShowForm();
        Pump(400);
        const std::wstring dpi = std::to_wstring(Window->CurrentDpi());
        EXPECT_TRUE(test::SaveWindowShot(Window->Handle(), test::ScreenshotPath(L"main-" + std::wstring(language) + L"-" + dpi + L"dpi")));
        EXPECT_EQ(Window->Caption(), std::wstring(language) == L"ko" ? L"티도라" : L"Tidora");
        if (test::ChildDpi()) {
            EXPECT_EQ(Window->CurrentDpi(), test::ChildDpi());
            RECT client{};
            GetClientRect(Window->Handle(), &client);
            EXPECT_EQ(client.right, MulDiv(464, static_cast<int>(test::ChildDpi()), 96));
            EXPECT_EQ(client.bottom, MulDiv(417, static_cast<int>(test::ChildDpi()), 96));
        }
        Window.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
}

// Not in the fixture: its throw-away user hive would hide the dpi setting
// from the child.
TEST(MainWindowDpi, LaysOutAndPicturesAt144Dpi) {
    if (test::ChildDpi()) GTEST_SKIP() << "the child runs the other half";
    EXPECT_EQ(test::RunTestsAtDpi(L"MainWindowTest.ScreenshotsInKoreanAndEnglish", 144, 120000), 0);
}

// A second copy finds the first one's mutex and ends at once, with no window.
TEST(Program, SecondCopyEndsAtOnceWithoutAWindow) {
    UniqueHandle first(CreateMutexW(nullptr, TRUE, L"TidoraMutex"));
    ASSERT_TRUE(first);
    std::wstring command = L"\"" + test::BinaryPath(L"tidora.exe") + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(FindWindowW(L"TFrmTidora", nullptr), nullptr);
}

} // namespace
