#include "app/Main.h"

#include <nlohmann/json.hpp>

#include <random>

#include "app/Clean.h"
#include "app/Report.h"
#include "app/Startup.h"
#include "lib/Common.h"
#include "pages/Autorun.h"
#include "pages/Install.h"
#include "service/Service.h"
#include "service/Update.h"
#include "service/UpdateDialog.h"
#include "system/Handles.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Windows.h"
#include "ui/ActivityIndicator.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/ErrorHandler.h"
#include "ui/HtmlLabel.h"
#include "ui/Label.h"
#include "ui/Logo.h"
#include "ui/Panel.h"
#include "ui/StyledButton.h"
#include "ui/StyledToolbar.h"
#include "ui/Theme.h"
#include "ui/Translate.h"
#include "service_url.h"

namespace tidora {

const wchar_t* const kTips[2] = {
    L"윈도우 필수 프로그램만 남기고 <B>종료</B>합니다.",
    L"프로그램은 종료만 되며, <B>삭제</B>하지 않습니다.",
};

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
// Set by FormCreate: what waits until the window has painted.
constexpr UINT_PTR AfterFirstPaintTimer = 0x4650;

TFormOptions MainOptions(const TPlatform& Platform) {
    TFormOptions o;
    o.Platform = Platform;
    o.ClassName = L"TFrmTidora";
    o.BorderStyle = TBorderStyle::bsSingle;
    o.MinimizeBox = true;
    o.MaximizeBox = false;
    o.AppWindow = true;
    o.ClientWidth = 464;
    o.ClientHeight = 417;
    return o;
}

// Seeded once per program start, so the tip changes from start to start.
std::mt19937& Random() {
    static std::mt19937 generator(static_cast<unsigned>(GetTickCount64() ^ GetCurrentProcessId()));
    return generator;
}

} // namespace

// What outlives the window for the callbacks that may still come: the service
// reply and the run's final step find the window through it, or find it gone.
struct TFrmTidora::TContext {
    TFrmTidora* Window = nullptr;
};

std::wstring MakerPageURL() {
    return std::wstring(L"https://") + TIDORA_LINK_HOST + L"/tidora";
}

TFrmTidora::TFrmTidora(const TPlatform& Platform, TService Service)
    : TForm(MainOptions(Platform)), FService(std::move(Service)) {
    SetCaption(L"티도라");
    SetColor(kWhite);
    SetFont(TFontSpec{L"Segoe UI", 12});

    PnlHead = Create<TPanel>(this, L"PnlHead", TBounds{0, 0, 464, 50}, TAlign::alTop);
    PnlLogo = Create<TPanel>(PnlHead, L"PnlLogo", TBounds{344, 0, 120, 50}, TAlign::alRight);
    ImgLogo = Create<TLogoImage>(PnlLogo, L"ImgLogo", TBounds{3, 0, 112, 50});
    BtnHead = Create<TStyledToolbar>(PnlHead, L"BtnHead", TBounds{}, TAlign::alClient);
    BtnHead->SetMargins({10, 10, 10, 10});
    BtnHead->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Header", TStyledButtonDrawType::btRoundRect, 4});
    BtnHead->SetButtonSize(70, 30);
    BtnHead->SetIndent(10);
    BtnHome = BtnHead->AddButton(L"BtnHome", L"처음화면");
    BtnAutorun = BtnHead->AddButton(L"BtnAutorun", L"자동실행");
    BtnInstall = BtnHead->AddButton(L"BtnInstall", L"강제설치");
    BtnHome->SetDown(true);
    // Tab follows the reading order: the page buttons, then the logo.
    BtnHead->BringToTabFront();

    PnlMain = Create<TCardPanel>(this, L"PnlMain", TBounds{0, 50, 464, 367}, TAlign::alClient);
    PnlMain->SetPadding({8, 0, 8, 0});
    PnlCleaner = Create<TPanel>(PnlMain, L"PnlCleaner", TBounds{0, 0, 448, 367});
    PnlAutorun = Create<TPanel>(PnlMain, L"PnlAutorun", TBounds{0, 0, 448, 367});
    PnlInstall = Create<TPanel>(PnlMain, L"PnlInstall", TBounds{0, 0, 448, 367});

    LblTitle = Create<TLabel>(PnlCleaner, L"LblTitle", TBounds{0, 40, 450, 81});
    LblTitle->SetAlignment(TTextAlign::taCenter);
    LblTitle->SetFont(TFontSpec{L"Tahoma", 59, false, true});
    LblTitle->SetCaption(L"티도라");
    LblContent = Create<THtmlLabel>(PnlCleaner, L"LblContent", TBounds{2, 172, 449, 33});
    LblContent->SetVerticalCenter(true);
    BtnStart = Create<TStyledButton>(PnlCleaner, L"BtnStart", TBounds{142, 264, 162, 68});
    BtnStart->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
    BtnStart->SetCaption(L"실행하기");
    Indicator = Create<TActivityIndicator>(PnlCleaner, L"Indicator", TBounds{207, 282, 32, 32});

    for (TWindow* sender : {static_cast<TWindow*>(BtnHome), static_cast<TWindow*>(BtnAutorun),
                            static_cast<TWindow*>(BtnInstall)})
        static_cast<TStyledButton*>(sender)->OnClick = [this](TWindow* s) { BtnHomeClick(s); };
    ImgLogo->OnClick = [this](TWindow* s) { BtnHomeClick(s); };
    BtnStart->OnClick = [this](TWindow* s) { BtnStartClick(s); };
    OnDestroyed = [this] { FormDestroy(); };

    FormCreate();
}

TFrmTidora::~TFrmTidora() {
    FormDestroy();
    // The pages read the protection lists, and the Bundle page's watchers may
    // hand a reload over until they have stopped: both pages go before the
    // lists, which are members and would otherwise go first.
    DestroyComponent(FrmInstall);
    FrmInstall = nullptr;
    DestroyComponent(FrmAutorun);
    FrmAutorun = nullptr;
}

void TFrmTidora::FormCreate() {
    FContext = std::make_shared<TContext>();
    FContext->Window = this;
    TranslateComponent(this);
    // Screen readers call the logo by the program's name and the busy sign
    // by the action it stands for.
    ImgLogo->SetAccessibleName(Caption());
    Indicator->SetAccessibleName(BtnStart->Caption());
    TThemeHelper::Create(this);
    UseDesktopFont();
    Indicator->Hide();
    PnlMain->SetActiveCardIndex(0);
    SetApplicationTitle(Caption());
    const std::wstring tip = TranslateText(kTips[std::uniform_int_distribution<int>(0, 1)(Random())]);
    LblContent->SetCaption(L"<C><FC:clGray>" + tip + L"</FC></C>");
    ProcessList.clear();
    LoadResourceList(FileWhite, L"file_white");
    LoadResourceList(NameWhite, L"name_white");
    LoadResourceList(NameBlack, L"name_black");
    RealignTree();
    // Enter starts a run at once; Tab goes on to the page buttons.
    SetActiveControl(BtnStart);
    // What the window does not show waits until it has painted (a timer's
    // message comes only when no other waits): the service conversation,
    // whose DLLs and name lookup held the first paint back by some 15 ms
    // under Wine, and the libraries of the pages, loaded ahead of a click.
    SetTimer(Handle(), AfterFirstPaintTimer, USER_TIMER_MINIMUM, nullptr);
}

void TFrmTidora::StartConversation() {
    std::weak_ptr<TContext> context = FContext;
    CheckUpdate(FService, Platform(), UpdateWindows(FService, Platform()),
                [context](bool Accepted, const std::wstring& Data) {
                    if (auto c = context.lock(); c && c->Window) c->Window->ServiceCallback(Accepted, Data);
                },
                0);
}

LRESULT TFrmTidora::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_TIMER && WParam == AfterFirstPaintTimer) {
        KillTimer(Handle(), AfterFirstPaintTimer);
        StartConversation();
        LoadPageLibraries();
        return 0;
    }
    return TForm::WndProc(Msg, WParam, LParam);
}

void TFrmTidora::FormDestroy() {
    // Callbacks that arrive later find no window.
    if (FContext) FContext->Window = nullptr;
}

void TFrmTidora::ServiceCallback(bool Accepted, const std::wstring& Data) {
    if (Accepted) {
        Close();
        return;
    }
    const nlohmann::json reply = nlohmann::json::parse(WideToUtf8(Data), nullptr, false);
    if (!reply.is_object()) return;
    MergeJsonList(FileWhite, reply, "file_white");
    MergeJsonList(NameWhite, reply, "name_white");
    MergeJsonList(NameBlack, reply, "name_black");
}

void TFrmTidora::BtnHomeClick(TWindow* Sender) {
    static const wchar_t* const kSenders[] = {L"BtnHome", L"BtnAutorun", L"BtnInstall", L"ImgLogo"};
    int index = -1;
    for (int i = 0; i < 4; ++i)
        if (EqualsTextAscii(Sender->Name(), kSenders[i])) index = i;
    if (index < 0 || index == PnlMain->ActiveCardIndex()) return;
    if (index == 3) {
        ShellOpenUrl(MakerPageURL(), Platform());
        return;
    }
    static_cast<TStyledButton*>(Sender)->SetDown(true);
    PnlMain->SetActiveCardIndex(index);
    // The card is painted before the page loads.
    ProcessMessages();
    ShowPage(index);
}

TReportPages TFrmTidora::ReportPages() const {
    // Snapshots: a page reloaded meanwhile swaps in a whole new list.
    TReportPages pages;
    pages.HasStartupPage = FrmAutorun != nullptr;
    if (FrmAutorun) pages.Startup = ReportEntries(*FrmAutorun->Snapshot());
    pages.HasInstallPage = FrmInstall != nullptr;
    if (FrmInstall) pages.Install = ReportEntries(*FrmInstall->Snapshot());
    return pages;
}

void TFrmTidora::ShowPage(int Index) {
    if (Index == 1) {
        if (!FrmAutorun) {
            FrmAutorun = TFrmAutorun::Create(PnlAutorun);
            FrmAutorun->SetProtectionLists(&FileWhite, &NameWhite, &NameBlack);
            // The page lives inside the window: the window outlives the opener.
            FrmAutorun->SetEntryPageOpener([this](TAutorunSource From, const std::wstring& Target) {
                ShellOpenUrl(FService.Address(EntryPagePath(AutorunSourceText(From), Target)), Platform());
            });
        }
        FrmAutorun->LoadAutorun();
    } else if (Index == 2) {
        if (!FrmInstall) {
            FrmInstall = TFrmInstall::Create(PnlInstall);
            FrmInstall->SetBlackList(&NameBlack);
        }
        FrmInstall->LoadInstall();
    }
}

void TFrmTidora::BtnStartClick(TWindow*) {
    auto run = std::make_shared<TCleanRun>();
    run->MainWindow = Handle();
    // The button shows no caption while busy; screen readers keep its name.
    BtnStart->SetAccessibleName(BtnStart->Caption());
    BtnStart->SetCaption(L"");
    BtnStart->SetEnabled(false);
    Indicator->Show();
    Indicator->SetAnimate(true);
    run->Platform = Platform();

    std::weak_ptr<TContext> context = FContext;
    run->Report = UsageReportHook(FService, [context] {
        auto c = context.lock();
        return c && c->Window ? c->Window->ReportPages() : TReportPages();
    });
    run->Finish = [context](TCleanRun& Run) {
        auto c = context.lock();
        if (!c || !c->Window) return;
        c->Window->ProcessList = Run.ProcessList;
        OpenReportPage(c->Window->FService, Run.Key, Run.Platform);
        c->Window->Close();
    };
    StartClean(run, FileWhite);
}

int RunProgram() {
    InstallErrorHandler();
    InitializeUnits();

    // A second copy ends silently; the first one keeps the mutex until it ends.
    UniqueHandle other(OpenMutexW(MUTEX_ALL_ACCESS, FALSE, L"TidoraMutex"));
    if (other) return 0;
    static UniqueHandle mutex(CreateMutexW(nullptr, TRUE, L"TidoraMutex"));

    int code = 0;
    try {
        TFrmTidora window;
        SetMainForm(&window);
        window.CenterOnScreen();
        window.ShowForm();
        code = RunMessageLoop();
    } catch (...) {
        HandleException(std::current_exception());
    }
    return code;
}

} // namespace tidora
