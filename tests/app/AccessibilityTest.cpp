// The main window, its pages and the update prompt used without a mouse and
// through a screen reader: a helper program (helpers/accprobe.exe) presses
// keys as a user does and reads the focus and the accessible objects from
// outside the process; high contrast and the focus pictures from inside.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <sstream>

#include "app/Main.h"
#include "pages/Autorun.h"
#include "pages/Install.h"
#include "service/Service.h"
#include "service/Update.h"
#include "system/Handles.h"
#include "system/Strings.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"
#include "tests/app/MainWindowHost.h"
#include "tests/service/LoopbackServer.h"
#include "ui/ActivityIndicator.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/ErrorHandler.h"
#include "ui/HtmlLabel.h"
#include "ui/Logo.h"
#include "ui/StyledButton.h"
#include "ui/StyledToolbar.h"
#include "ui/Translate.h"
#include "service/UpdateDialog.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;
using tidora::test::TLoopbackServer;

namespace {

struct TLine {
    std::string Kind, Class, Text, Name;
    long Role = 0;
    unsigned long State = 0;
    std::string Action, Description;
};

std::vector<std::string> SplitTabs(const std::string& Line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = Line.find('\t', start);
        fields.push_back(Line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

// The probe on the window of Class, started at once; Finish serves this
// thread's messages until it has ended and gives its lines.
class TProbe {
public:
    TProbe(const std::wstring& Class, const std::vector<std::wstring>& Steps)
        : FClass(Class), FOut(test::TempFolder() + L"\\" + test::UniqueName(L"accprobe") + L".txt") {
        std::wstring command = L"\"" + test::BinaryPath(L"helpers/accprobe.exe") + L"\" \"" + FOut + L"\" " + Class;
        for (const auto& step : Steps) command += L" " + step;
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
        FProcess.reset(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    std::vector<TLine> Finish();

private:
    std::wstring FClass, FOut;
    UniqueHandle FProcess;
};

std::vector<TLine> TProbe::Finish() {
    if (!FProcess) return {};
    PumpUntil([&] { return WaitForSingleObject(FProcess.get(), 0) == WAIT_OBJECT_0; }, 90000);
    DWORD code = 1;
    GetExitCodeProcess(FProcess.get(), &code);
    EXPECT_EQ(code, 0u) << "probe of " << WideToUtf8(FClass);
    std::istringstream text(test::ReadFileBytes(FOut));
    DeleteFileW(FOut.c_str());
    std::vector<TLine> lines;
    for (std::string line; std::getline(text, line);) {
        const auto f = SplitTabs(line);
        TLine l;
        l.Kind = f[0];
        if (f.size() > 1) l.Class = f[1];
        if (f.size() > 2) l.Text = f[2];
        if (f.size() > 7) {
            l.Name = f[3];
            l.Role = std::stol(f[4]);
            l.State = std::stoul(f[5], nullptr, 16);
            l.Action = f[6];
            l.Description = f[7];
        }
        lines.push_back(l);
    }
    return lines;
}

std::vector<TLine> Probe(const std::wstring& Class, const std::vector<std::wstring>& Steps) {
    return TProbe(Class, Steps).Finish();
}

std::vector<std::string> FocusPath(const std::vector<TLine>& Lines) {
    std::vector<std::string> path;
    for (const auto& l : Lines)
        if (l.Kind == "focus") path.push_back(l.Class + ":" + l.Text);
    return path;
}

const TLine* Find(const std::vector<TLine>& Lines, const std::string& Class, const std::string& Name) {
    for (const auto& l : Lines)
        if (l.Kind == "acc" && l.Class == Class && l.Name == Name) return &l;
    return nullptr;
}

class AccessibilityTest : public test::TMainWindowHost {
protected:
    // Shown, since keys and screen readers reach only a visible window.
    void Open(const nlohmann::json& Reply) {
        ASSERT_NO_FATAL_FAILURE(TMainWindowHost::Open(Reply));
        Window->CenterOnScreen();
        Window->ShowForm();
        Pump(300);
    }
};

TEST_F(AccessibilityTest, TabArrowsAndSpaceWalkTheWindowAndBothPagesInReadingOrder) {
    Open(nlohmann::json::object());
    const auto lines = Probe(L"TFrmTidora", {L"focus", L"tab", L"tab", L"tab", L"tab", L"tab", L"shifttab",
                                             L"shifttab", L"right", L"left", L"left", L"space", L"tab", L"tab",
                                             L"tab", L"tab", L"tab", L"tab", L"right", L"right", L"space", L"tab",
                                             L"tab", L"tab", L"tab", L"enter"});
    const std::vector<std::string> expected = {
        "TidoraButton:Clean",  // the window opens with the focus on Start
        "TidoraButton:Home",   "TidoraButton:Startup", "TidoraButton:Bundle", "TidoraLogo:Tidora",
        "TidoraButton:Clean",  "TidoraLogo:Tidora",    "TidoraButton:Bundle",  // Shift+Tab goes back
        "TidoraButton:Home",   // the arrows go round the page buttons
        "TidoraButton:Bundle", "TidoraButton:Startup",
        "TidoraButton:Startup",  // Space opens the Startup page; the focus stays
        "TidoraButton:Bundle", "TidoraLogo:Tidora",    "SysListView32:",       "Button:All Programs",
        "TidoraButton:Disable", "TidoraButton:Home",
        "TidoraButton:Startup", "TidoraButton:Bundle",
        "TidoraButton:Bundle",  // Space opens the Bundle page
        "TidoraLogo:Tidora",   "SysListView32:",       "TidoraButton:Uninstall", "TidoraButton:Home",
        "TidoraButton:Home",  // Enter on Home goes back to the home card
    };
    EXPECT_EQ(FocusPath(lines), expected);
    EXPECT_EQ(Window->PnlMain->ActiveCardIndex(), 0);
    EXPECT_NE(Window->FrmAutorun, nullptr);
    EXPECT_NE(Window->FrmInstall, nullptr);
    EXPECT_TRUE(Window->BtnHome->Down());
}

TEST_F(AccessibilityTest, EnterOnStartStartsTheRunAndTheFocusMovesOnWhileItIsBusy) {
    ASSERT_TRUE(Server.Route("/report.php", {{"text", R"({"pk":"Kb1"})"}}));
    Platform.Pause = [](DWORD) { Sleep(700); };
    Open(nlohmann::json::object());
    // Everything in the prefix stays: Wine's own programs, the tests and the probe.
    for (const wchar_t* entry : {L"%SystemRoot%\\", L"tidora_"}) Window->FileWhite.push_back(entry);
    Window->FileWhite.push_back(test::BinaryPath(L"tests") + L"\\");
    Window->FileWhite.push_back(test::BinaryPath(L"helpers") + L"\\");

    const auto lines = Probe(L"TFrmTidora", {L"watch", L"focus", L"enter", L"acc", L"wait:300"});
    const auto path = FocusPath(lines);
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[0], "TidoraButton:Clean");
    // The disabled Start button gives the focus on instead of losing it.
    EXPECT_EQ(path[1], "TidoraButton:Home");
    const TLine* start = Find(lines, "TidoraButton", "Clean");
    ASSERT_NE(start, nullptr) << "Start keeps its name while its caption is empty";
    EXPECT_EQ(start->Text, "");
    EXPECT_TRUE(start->State & STATE_SYSTEM_UNAVAILABLE);
    const TLine* busy = Find(lines, "TidoraIndicator", "Clean");
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(busy->Role, ROLE_SYSTEM_PROGRESSBAR);
    EXPECT_TRUE(busy->State & STATE_SYSTEM_BUSY);
    EXPECT_FALSE(busy->State & STATE_SYSTEM_INVISIBLE);
    // The indicator announced that it turned busy.
    bool announced = false;
    for (const auto& l : lines)
        if (l.Kind == "event" && l.Class == "statechange" && l.Text == "TidoraIndicator") announced = true;
    EXPECT_TRUE(announced);
    // The run ends by opening the report page and closing the window.
    ASSERT_TRUE(PumpUntil([&] { return !Alive(); }, 60000));
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], Server.Url(L"/?report=Kb1"));
}

TEST_F(AccessibilityTest, ScreenReadersHearNamesRolesStatesAndActionsInKoreanAndEnglish) {
    struct TRow {
        const char* Class;
        const char* Korean;
        const char* English;
        long Role;
        unsigned long Has, HasNot;
        const char* Action;
    };
    const unsigned long pressed = STATE_SYSTEM_PRESSED, focusable = STATE_SYSTEM_FOCUSABLE;
    const unsigned long hidden = STATE_SYSTEM_INVISIBLE, busy = STATE_SYSTEM_BUSY;
    // Opened: Startup, then Bundle, which stays the current page.
    const TRow rows[] = {
        {"TidoraButton", "처음화면", "Home", ROLE_SYSTEM_PUSHBUTTON, focusable, pressed, "Press"},
        {"TidoraButton", "자동실행", "Startup", ROLE_SYSTEM_PUSHBUTTON, focusable, pressed, "Press"},
        {"TidoraButton", "강제설치", "Bundle", ROLE_SYSTEM_PUSHBUTTON, focusable | pressed, hidden, "Press"},
        {"TidoraLogo", "티도라", "Tidora", ROLE_SYSTEM_LINK, focusable, hidden, "Jump"},
        {"TidoraLabel", "티도라", "Tidora", ROLE_SYSTEM_STATICTEXT, hidden, focusable, ""},
        {"TidoraButton", "실행하기", "Clean", ROLE_SYSTEM_PUSHBUTTON, hidden | focusable, STATE_SYSTEM_UNAVAILABLE, "Press"},
        {"TidoraIndicator", "실행하기", "Clean", ROLE_SYSTEM_PROGRESSBAR, hidden, busy | focusable, ""},
        {"TidoraButton", "사용안함", "Disable", ROLE_SYSTEM_PUSHBUTTON, focusable | hidden, pressed, "Press"},
        {"TidoraButton", "삭제하기", "Uninstall", ROLE_SYSTEM_PUSHBUTTON, focusable, hidden, "Press"},
    };
    for (const wchar_t* language : {L"ko", L"en"}) {
        SCOPED_TRACE(WideToUtf8(language));
        const bool korean = std::wstring(language) == L"ko";
        SetCurrentLanguage(language);
        Open({{"notify", "https://notice.tidora.example/1"}});
        ASSERT_TRUE(PumpUntil([&] { return Window->FindComponent(L"StatusBar") != nullptr; }));
        Window->BtnAutorun->Click();
        Window->BtnInstall->Click();
        // Ticked in Korean, not in English: both states are heard.
        Window->FrmAutorun->ChkAllList->SetChecked(korean);
        const auto lines = Probe(L"TFrmTidora", {L"acc"});
        for (const TRow& row : rows) {
            const TLine* line = Find(lines, row.Class, korean ? row.Korean : row.English);
            ASSERT_NE(line, nullptr) << row.Class << " " << row.English;
            EXPECT_EQ(line->Role, row.Role) << row.English;
            EXPECT_EQ(line->State & row.Has, row.Has) << row.English;
            EXPECT_EQ(line->State & row.HasNot, 0u) << row.English;
            EXPECT_EQ(line->Action, row.Action) << row.English;
        }
        const TLine* all = Find(lines, "Button", korean ? "전체목록" : "All Programs");
        ASSERT_NE(all, nullptr);
        EXPECT_EQ(all->Role, ROLE_SYSTEM_CHECKBUTTON);
        EXPECT_EQ((all->State & STATE_SYSTEM_CHECKED) != 0, korean);
        EXPECT_EQ(all->Action, korean ? "Uncheck" : "Check");
        // The tip is read without its tags.
        const std::string tip = WideToUtf8(Window->LblContent->PlainText());
        const TLine* tipLine = Find(lines, "TidoraHtmlLabel", tip);
        ASSERT_NE(tipLine, nullptr) << tip;
        EXPECT_EQ(tipLine->Role, ROLE_SYSTEM_STATICTEXT);
        // The status line is a link described by its address.
        const TLine* status = nullptr;
        for (const auto& l : lines)
            if (l.Kind == "acc" && l.Class == "TidoraUpdateStatus") status = &l;
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->Role, ROLE_SYSTEM_LINK);
        EXPECT_EQ(status->Name, status->Text);
        EXPECT_FALSE(status->Name.empty());
        EXPECT_EQ(status->Description, "https://notice.tidora.example/1");
        // The lists are the system's own, with translated column headers.
        HWND header = FindWindowExW(Window->FrmInstall->ListInstall->Handle(), nullptr, WC_HEADERW, nullptr);
        ASSERT_NE(header, nullptr);
        wchar_t title[64] = {};
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = title;
        item.cchTextMax = 64;
        ASSERT_TRUE(Header_GetItem(header, 0, &item));
        EXPECT_EQ(std::wstring(title), korean ? L"프로그램 이름" : L"Program");
        Close();
    }
}

TEST_F(AccessibilityTest, EscapeAnswersTheUpdatePromptNoAndTabGoesRoundItsButtons) {
    // Started first: the prompt runs its own loop inside the service
    // callback, which the window's first pump already reaches.
    TProbe probe(L"TidoraUpdateDialog", {L"focus", L"tab", L"tab", L"tab", L"acc", L"escape"});
    Open({{"update", "https://download.tidora.example/new.exe"},
          {"info", {{"style", "hold"}, {"text", "Do not ask again"}, {"flag", ""}, {"url", ""}}},
          {"name_black", {"Zz Plugin"}}});
    const auto lines = probe.Finish();
    const auto path = FocusPath(lines);
    ASSERT_GE(path.size(), 4u);
    EXPECT_EQ(path[0], "TidoraButton:Yes");
    EXPECT_EQ(path[1], "TidoraButton:No");
    EXPECT_EQ(path[2], "Button:Do not ask again");
    EXPECT_EQ(path[3], "TidoraButton:Yes");
    const TLine* yes = Find(lines, "TidoraButton", "Yes");
    const TLine* no = Find(lines, "TidoraButton", "No");
    const TLine* hold = Find(lines, "Button", "Do not ask again");
    ASSERT_TRUE(yes && no && hold);
    EXPECT_EQ(yes->Role, ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_TRUE(yes->State & STATE_SYSTEM_FOCUSED);
    EXPECT_EQ(no->Role, ROLE_SYSTEM_PUSHBUTTON);
    EXPECT_EQ(hold->Role, ROLE_SYSTEM_CHECKBUTTON);
    const TLine* prompt = nullptr;
    for (const auto& l : lines)
        if (l.Kind == "acc" && l.Class == "TidoraLabel") prompt = &l;
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->Role, ROLE_SYSTEM_STATICTEXT);
    EXPECT_EQ(prompt->Name, prompt->Text);
    ASSERT_TRUE(PumpUntil([&] { return Window->NameBlack.size() == 38u; }));
    EXPECT_TRUE(Alive());
    EXPECT_TRUE(Opened.empty());
}

TEST_F(AccessibilityTest, ThePromptsNoteIsALinkTabReachesAndItsAddressDescribes) {
    TProbe probe(L"TidoraUpdateDialog", {L"focus", L"tab", L"tab", L"acc", L"escape"});
    Open({{"update", "https://download.tidora.example/new.exe"},
          {"info", {{"style", "note"}, {"text", "Read me"}, {"url", "https://notice.tidora.example/n"}}}});
    const auto lines = probe.Finish();
    const auto path = FocusPath(lines);
    ASSERT_GE(path.size(), 3u);
    EXPECT_EQ(path[0], "TidoraButton:Yes");
    EXPECT_EQ(path[1], "TidoraButton:No");
    EXPECT_NE(path[2].find(":Read me"), std::string::npos) << path[2];
    const TLine* note = nullptr;
    for (const auto& l : lines)
        if (l.Kind == "acc" && l.Name == "Read me") note = &l;
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->Role, ROLE_SYSTEM_LINK);
    EXPECT_TRUE(note->State & STATE_SYSTEM_FOCUSED);
    EXPECT_EQ(note->Description, "https://notice.tidora.example/n");
    EXPECT_EQ(note->Action, "Jump");
    EXPECT_TRUE(Alive());
}

TEST_F(AccessibilityTest, EscapeClosesTheErrorWindow) {
    TProbe probe(L"#32770", {L"focus", L"escape"});
    // Modal: returns once Escape has closed it.
    ShowErrorWindow(L"a detail");
    const auto path = FocusPath(probe.Finish());
    EXPECT_EQ(path.size(), 2u);
}

TEST_F(AccessibilityTest, ArrowsFollowTheMirroredHeaderInArabic) {
    SetCurrentLanguage(L"ar");
    Open(nlohmann::json::object());
    ASSERT_TRUE(Window->BtnHome->RightToLeft());
    const auto path = FocusPath(Probe(L"TFrmTidora", {L"tab", L"left", L"left", L"right", L"tab"}));
    auto caption = [](TWindow* Control) { return "TidoraButton:" + WideToUtf8(Control->Caption()); };
    const std::vector<std::string> expected = {
        caption(Window->BtnHome),
        // Home is at the right; the next page button is to its left.
        caption(Window->BtnAutorun), caption(Window->BtnInstall), caption(Window->BtnAutorun),
        caption(Window->BtnInstall)};
    EXPECT_EQ(path, expected);
}

// Screen pixel at Window's client point.
COLORREF PixelAt(HWND Window, int X, int Y) {
    POINT p{X, Y};
    ClientToScreen(Window, &p);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

TEST_F(AccessibilityTest, HighContrastDrawsStartTheHeaderAndTheLineInSystemColours) {
    for (const bool contrast : {false, true}) {
        SCOPED_TRACE(contrast ? "high contrast" : "normal");
        Platform.HighContrast = [contrast] { return contrast; };
        Open(nlohmann::json::object());
        SetForegroundWindow(Window->Handle());
        Pump(300);
        RECT start{};
        GetClientRect(Window->BtnStart->Handle(), &start);
        const int mid = start.bottom / 2;
        // Face left of the caption, and the frame.
        const COLORREF startFace = PixelAt(Window->BtnStart->Handle(), 8, mid);
        const COLORREF startBorder = PixelAt(Window->BtnStart->Handle(), 0, mid);
        const COLORREF homeFace = PixelAt(Window->BtnHome->Handle(), 6, 15);
        const COLORREF otherFace = PixelAt(Window->BtnAutorun->Handle(), 6, 15);
        const COLORREF line = PixelAt(Window->Handle(), 100, 0);
        const bool active = GetActiveWindow() == Window->Handle();
        if (contrast) {
            EXPECT_EQ(startFace, GetSysColor(COLOR_BTNFACE));
            EXPECT_EQ(startBorder, GetSysColor(COLOR_BTNTEXT));
            EXPECT_EQ(homeFace, GetSysColor(COLOR_HIGHLIGHT));
            EXPECT_EQ(otherFace, GetSysColor(COLOR_BTNFACE));
            EXPECT_EQ(line, GetSysColor(active ? COLOR_HIGHLIGHT : COLOR_GRAYTEXT));
        } else {
            EXPECT_EQ(startFace, RGB(255, 255, 255));
            EXPECT_EQ(startBorder, RGB(61, 132, 221));
            EXPECT_EQ(homeFace, RGB(80, 144, 224));
            EXPECT_EQ(otherFace, RGB(255, 255, 255));
            EXPECT_EQ(line, active ? RGB(61, 132, 221) : GetSysColor(COLOR_GRAYTEXT));
        }
        test::SaveWindowShot(Window->Handle(), test::ScreenshotPath(contrast ? L"high-contrast" : L"normal-contrast"));
        Close();
    }
}

TEST_F(AccessibilityTest, FocusedStatesScreenshots) {
    // Also run by the 144 dpi test below, as its child process.
    if (test::ChildDpi()) test::DpiChildStarted();
    Open(nlohmann::json::object());
    const std::wstring dpi = std::to_wstring(Window->CurrentDpi()) + L"dpi";
    // The focus cues show as they do once the keyboard has been used.
    SendMessageW(Window->Handle(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    auto shot = [&](TWindow* Control, const std::wstring& Name) {
        Control->SetFocus();
        Pump(250);
        EXPECT_TRUE(Control->Focused()) << WideToUtf8(Name);
        EXPECT_TRUE(test::SaveWindowShot(Window->Handle(), test::ScreenshotPath(L"focus-" + Name + L"-" + dpi)));
    };
    shot(Window->BtnStart, L"start");
    shot(Window->BtnAutorun, L"header");
    shot(Window->ImgLogo, L"logo");
    Window->BtnAutorun->Click();
    SendMessageW(Window->Handle(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    shot(Window->FrmAutorun->ChkAllList, L"checkbox");
    shot(Window->FrmAutorun->BtnAutorun, L"page-button");
}

// Not in the fixture: its throw-away user hive would hide the dpi setting
// from the child.
TEST(AccessibilityDpi, FocusedStatesAt144Dpi) {
    if (test::ChildDpi()) GTEST_SKIP() << "the child runs the other half";
    EXPECT_EQ(test::RunTestsAtDpi(L"AccessibilityTest.FocusedStatesScreenshots", 144, 120000), 0);
}

} // namespace
