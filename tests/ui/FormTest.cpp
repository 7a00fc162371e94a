// Forms lay out their children from 96-dpi pixels at the dpi they are shown
// at, follow WM_DPICHANGED, switch cards and mirror in right-to-left languages.
#include <gtest/gtest.h>

#include <memory>

#include "tests/TestSupport.h"
#include "ui/ActivityIndicator.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/Dpi.h"
#include "ui/Form.h"
#include "ui/HtmlLabel.h"
#include "ui/Logo.h"
#include "ui/Panel.h"
#include "ui/QuenbyButtonStyles.h"
#include "ui/RightToLeft.h"
#include "ui/StyledToolbar.h"
#include "ui/Theme.h"
#include "ui/Translate.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;

namespace {

constexpr UINT WM_DPICHANGED_ = 0x02E0;


// A window laid out as the program's main window is.
class TSampleForm : public TForm {
public:
    // Between: runs after the header exists and before everything else.
    explicit TSampleForm(const std::function<void(TSampleForm&)>& Between = nullptr)
        : TForm(Options()) {
        SetColor(RGB(255, 255, 255));
        PnlHead = Create<TPanel>(this, L"PnlHead", TBounds{0, 0, 464, 50}, TAlign::alTop);
        if (Between) Between(*this);
        PnlLogo = Create<TPanel>(PnlHead, L"PnlLogo", TBounds{344, 0, 120, 50}, TAlign::alRight);
        ImgLogo = Create<TLogoImage>(PnlLogo, L"ImgLogo", TBounds{3, 0, 112, 50});
        BtnHead = Create<TStyledToolbar>(PnlHead, L"BtnHead", TBounds{}, TAlign::alClient);
        BtnHead->SetMargins(TSpacing{10, 10, 10, 10});
        BtnHead->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Header", TStyledButtonDrawType::btRoundRect, 4});
        BtnHead->SetIndent(10);
        BtnHead->SetButtonSize(70, 30);
        BtnHome = BtnHead->AddButton(L"BtnHome", L"처음화면");
        BtnAutorun = BtnHead->AddButton(L"BtnAutorun", L"자동실행");
        BtnInstall = BtnHead->AddButton(L"BtnInstall", L"강제설치");
        PnlMain = Create<TCardPanel>(this, L"PnlMain", TBounds{}, TAlign::alClient);
        PnlMain->SetPadding(TSpacing{8, 0, 8, 0});
        PnlCleaner = Create<TPanel>(PnlMain, L"PnlCleaner", TBounds{});
        PnlAutorun = Create<TPanel>(PnlMain, L"PnlAutorun", TBounds{});
        PnlInstall = Create<TPanel>(PnlMain, L"PnlInstall", TBounds{});
        LblTitle = Create<TLabel>(PnlCleaner, L"LblTitle", TBounds{0, 40, 450, 81});
        LblTitle->SetCaption(L"티도라");
        LblTitle->SetAlignment(TTextAlign::taCenter);
        LblTitle->SetFont(TFontSpec{L"Tahoma", 59, false, true, RGB(0, 0, 0)});
        LblContent = Create<THtmlLabel>(PnlCleaner, L"LblContent", TBounds{2, 172, 449, 33});
        LblContent->SetVerticalCenter(true);
        LblContent->SetCaption(L"<C><FC:clGray>윈도우 필수 프로그램만 남기고 <B>종료</B>합니다.</FC></C>");
        BtnStart = Create<TStyledButton>(PnlCleaner, L"BtnStart", TBounds{142, 264, 162, 68});
        BtnStart->SetCaption(L"실행하기");
        BtnStart->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
        Indicator = Create<TActivityIndicator>(PnlCleaner, L"Indicator", TBounds{207, 282, 32, 32});
        Indicator->Hide();
        BtnHome->SetDown(true);
    }

    static TFormOptions Options() {
        TFormOptions o;
        o.ClassName = L"TidoraTestForm";
        o.BorderStyle = TBorderStyle::bsSingle;
        o.MaximizeBox = false;
        o.ClientWidth = 464;
        o.ClientHeight = 417;
        return o;
    }

    TPanel* PnlHead;
    TPanel* PnlLogo;
    TLogoImage* ImgLogo;
    TStyledToolbar* BtnHead;
    TStyledToolButton *BtnHome, *BtnAutorun, *BtnInstall;
    TCardPanel* PnlMain;
    TPanel *PnlCleaner, *PnlAutorun, *PnlInstall;
    TLabel* LblTitle;
    THtmlLabel* LblContent;
    TStyledButton* BtnStart;
    TActivityIndicator* Indicator;
};

// Where a window is, relative to its parent's client area.
struct Box {
    int Left, Top, Right, Bottom;
    bool operator==(const Box& o) const {
        return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
    }
};
std::ostream& operator<<(std::ostream& os, const Box& b) {
    return os << "{" << b.Left << "," << b.Top << "," << b.Right << "," << b.Bottom << "}";
}
Box BoxOf(const TWindow* w) {
    const RECT r = w->BoundsRect();
    return Box{r.left, r.top, r.right, r.bottom};
}

// Every element at its place for Dpi.
void ExpectLayout(TSampleForm& f, UINT Dpi) {
    auto S = [Dpi](int v) { return MulDiv(v, static_cast<int>(Dpi), 96); };
    ASSERT_EQ(f.CurrentDpi(), Dpi);
    const RECT client = f.ClientRect();
    EXPECT_EQ(client.right, S(464));
    EXPECT_EQ(client.bottom, S(417));
    EXPECT_EQ(BoxOf(f.PnlHead), (Box{0, 0, S(464), S(50)}));
    EXPECT_EQ(BoxOf(f.PnlLogo), (Box{S(464) - S(120), 0, S(464), S(50)}));
    EXPECT_EQ(BoxOf(f.ImgLogo), (Box{S(3), 0, S(3) + S(112), S(50)}));
    EXPECT_EQ(BoxOf(f.BtnHead), (Box{S(10), S(10), S(464) - S(120) - S(10), S(50) - S(10)}));
    EXPECT_EQ(BoxOf(f.BtnHome), (Box{S(10), 0, S(10) + S(70), S(30)}));
    EXPECT_EQ(BoxOf(f.BtnAutorun), (Box{S(80), 0, S(80) + S(70), S(30)}));
    EXPECT_EQ(BoxOf(f.BtnInstall), (Box{S(150), 0, S(150) + S(70), S(30)}));
    EXPECT_EQ(BoxOf(f.PnlMain), (Box{0, S(50), S(464), S(417)}));
    EXPECT_EQ(BoxOf(f.PnlCleaner), (Box{S(8), 0, S(464) - S(8), S(417) - S(50)}));
    EXPECT_EQ(BoxOf(f.LblTitle), (Box{0, S(40), S(450), S(40) + S(81)}));
    EXPECT_EQ(BoxOf(f.LblContent), (Box{S(2), S(172), S(2) + S(449), S(172) + S(33)}));
    EXPECT_EQ(BoxOf(f.BtnStart), (Box{S(142), S(264), S(142) + S(162), S(264) + S(68)}));
    EXPECT_EQ(BoxOf(f.Indicator), (Box{S(207), S(282), S(207) + S(32), S(282) + S(32)}));
    // Fonts follow too: 12 px at 96 dpi.
    LOGFONTW lf{};
    GetObjectW(f.FontHandle(), sizeof(lf), &lf);
    EXPECT_EQ(lf.lfHeight, -S(12));
}

// The rectangle Windows suggests for a move to Dpi: the frame kept, the
// client scaled. (Wine draws frames at the system dpi, so the frame's own
// metrics for Dpi would not match the window.)
RECT SuggestedFor(HWND Window, UINT Dpi, int DX = 0, int DY = 0) {
    RECT window{}, client{};
    GetWindowRect(Window, &window);
    GetClientRect(Window, &client);
    const int frameW = (window.right - window.left) - client.right, frameH = (window.bottom - window.top) - client.bottom;
    RECT r{window.left + DX, window.top + DY, 0, 0};
    r.right = r.left + frameW + MulDiv(464, static_cast<int>(Dpi), 96);
    r.bottom = r.top + frameH + MulDiv(417, static_cast<int>(Dpi), 96);
    return r;
}

TEST(Form, LaysOutItsChildrenAtItsDpi) {
    TSampleForm form;
    form.CenterOnScreen();
    form.ShowForm();
    Pump(100);
    ExpectLayout(form, WindowDpi(form.Handle()));
    EXPECT_TRUE(test::SaveWindowShot(form.Handle(), test::ScreenshotPath(L"form-" + std::to_wstring(form.CurrentDpi()))));
}

TEST(Form, DpiChangedAppliesTheSuggestedRectangleAndLaysOutAgain) {
    TSampleForm form;
    form.ShowForm();
    const UINT from = form.CurrentDpi();
    const UINT to = from == 144 ? 120 : 144;
    RECT suggested = SuggestedFor(form.Handle(), to, 20, 10);
    SendMessageW(form.Handle(), WM_DPICHANGED_, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));

    RECT now{};
    GetWindowRect(form.Handle(), &now);
    EXPECT_EQ(now.left, suggested.left);
    EXPECT_EQ(now.top, suggested.top);
    EXPECT_EQ(now.right, suggested.right);
    EXPECT_EQ(now.bottom, suggested.bottom);
    ExpectLayout(form, to);

    // A suggestion of another size is taken as it is; aligned children follow it.
    RECT odd{suggested.left, suggested.top, suggested.right + 30, suggested.bottom + 12};
    SendMessageW(form.Handle(), WM_DPICHANGED_, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&odd));
    GetWindowRect(form.Handle(), &now);
    EXPECT_EQ(now.right - now.left, odd.right - odd.left);
    const RECT client = form.ClientRect();
    EXPECT_EQ(BoxOf(form.PnlHead).Right, client.right);
    EXPECT_EQ(BoxOf(form.PnlMain).Bottom, client.bottom);
    EXPECT_EQ(BoxOf(form.PnlLogo).Left, client.right - MulDiv(120, to, 96));
}

TEST(Form, DpiChangedWhileTheFormIsStillBeingBuilt) {
    const UINT to = SystemDpi() == 144 ? 120 : 144;
    TSampleForm form([to](TSampleForm& f) {
        RECT suggested = SuggestedFor(f.Handle(), to);
        SendMessageW(f.Handle(), WM_DPICHANGED_, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    });
    ExpectLayout(form, to);
}

TEST(Form, At144DpiInAChildProcess) {
    if (test::ChildDpi() != 0) GTEST_SKIP() << "the child runs the other half";
    EXPECT_EQ(test::RunTestsAtDpi(L"FormDpiChild.*", 144), 0);
    // The prefix is back at its own dpi for everyone else.
    UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_QUERY_VALUE, key.put()), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof(value);
    if (RegQueryValueExW(key.get(), L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
        ERROR_SUCCESS) {
        EXPECT_NE(value, 144u);
    }
}

TEST(FormDpiChild, LaysOutAt144) {
    if (test::ChildDpi() == 0) GTEST_SKIP() << "runs only as the child of Form.At144DpiInAChildProcess";
    test::DpiChildStarted();
    EXPECT_EQ(SystemDpi(), 144u);
    TSampleForm form;
    form.CenterOnScreen();
    form.ShowForm();
    Pump(100);
    ExpectLayout(form, 144);
    EXPECT_TRUE(test::SaveWindowShot(form.Handle(), test::ScreenshotPath(L"form-144")));
}

// A panel that notes where its window was made and how often it was moved.
class TWatchedPanel : public TPanel {
public:
    explicit TWatchedPanel(TWindow* Parent) : TPanel(Parent) {}
    Box MadeAt{};
    int Moves = 0;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override {
        if (Msg == WM_CREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(LParam);
            MadeAt = Box{cs->x, cs->y, cs->x + cs->cx, cs->y + cs->cy};
        }
        // Any SetWindowPos counts, even one to where the window already is.
        if (Msg == WM_WINDOWPOSCHANGED) ++Moves;
        return TPanel::WndProc(Msg, WParam, LParam);
    }
};

// Each move of a child window is a round of messages and a repaint: children
// are made where they belong, and a realign moves only those whose place
// changed.
TEST(Form, ChildrenAreMadeInPlaceAndOnlyMovedWhenTheirPlaceChanges) {
    TForm form(TSampleForm::Options());
    const UINT dpi = form.CurrentDpi();
    auto S = [dpi](int v) { return MulDiv(v, static_cast<int>(dpi), 96); };
    auto* head = TWindow::Create<TPanel>(&form, L"Head", TBounds{0, 0, 464, 50}, TAlign::alTop);
    auto* body = TWindow::Create<TWatchedPanel>(&form, L"Body", TBounds{}, TAlign::alClient);
    auto* free = TWindow::Create<TWatchedPanel>(body, L"Free", TBounds{20, 30, 100, 40});
    EXPECT_EQ(body->MadeAt, (Box{0, S(50), S(464), S(417)}));
    EXPECT_EQ(free->MadeAt, (Box{S(20), S(30), S(120), S(70)}));
    // (A visible window made by CreateWindowEx is shown by it: that is no move.)
    body->Moves = free->Moves = 0;

    form.RealignTree();
    form.ShowForm();
    Pump(50);
    EXPECT_EQ(body->Moves, 0);
    EXPECT_EQ(free->Moves, 0);

    // The header grows: the body below it moves, the control inside it stays.
    head->SetBounds(TBounds{0, 0, 464, 80});
    EXPECT_EQ(body->Moves, 1);
    EXPECT_EQ(BoxOf(body), (Box{0, S(80), S(464), S(417)}));
    EXPECT_EQ(free->Moves, 0);
    free->SetBounds(TBounds{25, 30, 100, 40});
    EXPECT_EQ(free->Moves, 1);
    EXPECT_EQ(BoxOf(free), (Box{S(25), S(30), S(125), S(70)}));
}

TEST(Form, CardPanelShowsOneCard) {
    TSampleForm form;
    form.ShowForm();
    auto visible = [&](int i) { return IsWindowVisible(form.PnlMain->Card(i)->Handle()) != FALSE; };
    EXPECT_EQ(form.PnlMain->CardCount(), 3);
    EXPECT_EQ(form.PnlMain->ActiveCardIndex(), 0);
    EXPECT_TRUE(visible(0));
    EXPECT_FALSE(visible(1));
    EXPECT_FALSE(visible(2));
    for (int active : {2, 1, 1, 0}) {
        form.PnlMain->SetActiveCardIndex(active);
        EXPECT_EQ(form.PnlMain->ActiveCardIndex(), active);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(visible(i), i == active) << active << " " << i;
        // The visible card fills the panel inside its padding.
        EXPECT_EQ(BoxOf(form.PnlMain->Card(active)), BoxOf(form.PnlCleaner));
    }
    form.PnlMain->SetActiveCardIndex(7);
    EXPECT_EQ(form.PnlMain->ActiveCardIndex(), -1);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(visible(i));
}

TEST(Form, ComponentsAreOwnedInCreationOrderAndFoundByName) {
    TSampleForm form;
    EXPECT_TRUE(form.IsForm());
    EXPECT_FALSE(form.PnlHead->IsForm());
    ASSERT_GE(form.OwnedCount(), 4u);
    EXPECT_EQ(form.Owned(0), form.PnlHead);
    EXPECT_EQ(form.Owned(1), form.PnlLogo);
    EXPECT_EQ(form.FindComponent(L"btnstart"), form.BtnStart);
    EXPECT_EQ(form.FindComponent(L"BtnHome"), form.BtnHome);
    EXPECT_EQ(form.FindComponent(L"Nothing"), nullptr);
    EXPECT_EQ(form.BtnHome->Owner(), &form);
    EXPECT_EQ(form.BtnHome->Parent(), form.BtnHead);

    // The translation walk reaches every caption through the real windows.
    const std::wstring saved = CurrentLanguage();
    TranslateComponent(&form, L"en");
    EXPECT_EQ(form.Caption(), L"");  // no title was given
    EXPECT_EQ(form.BtnHome->Caption(), L"Home");
    EXPECT_EQ(form.BtnInstall->Caption(), L"Bundle");
    EXPECT_EQ(form.BtnStart->Caption(), L"Clean");
    EXPECT_EQ(form.LblTitle->Caption(), L"Tidora");
    SetCurrentLanguage(saved);
}

TEST(Form, FramesOwnTheirControls) {
    TSampleForm form;
    auto* frame = TWindow::Create<TFrame>(form.PnlAutorun, L"FrmAutorun", TBounds{}, TAlign::alClient);
    auto* button = TWindow::Create<TStyledButton>(frame, L"BtnAutorun", TBounds{0, 0, 84, 33}, TAlign::alRight);
    EXPECT_EQ(frame->Owner(), &form);
    EXPECT_EQ(button->Owner(), frame);
    EXPECT_EQ(frame->FindComponent(L"BtnAutorun"), button);
    form.PnlMain->SetActiveCardIndex(1);
    const RECT card = form.PnlAutorun->ClientRect();
    EXPECT_EQ(BoxOf(frame), (Box{0, 0, card.right, card.bottom}));
    EXPECT_EQ(BoxOf(button), (Box{card.right - form.Scale(84), 0, card.right, card.bottom}));
}

TEST(Form, RightToLeftLanguageMirrorsTheWindow) {
    const std::wstring saved = CurrentLanguage();
    SetCurrentLanguage(L"ar");
    {
        TSampleForm form;
        form.CenterOnScreen();
        form.ShowForm();
        Pump(100);
        EXPECT_TRUE(GetWindowLongW(form.Handle(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        EXPECT_TRUE(GetWindowLongW(form.BtnStart->Handle(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
        // The logo panel, aligned right, stands at the left edge on screen;
        // the first header button at the right.
        RECT client{}, logo{}, home{}, install{};
        GetWindowRect(form.Handle(), &client);
        GetWindowRect(form.PnlLogo->Handle(), &logo);
        GetWindowRect(form.BtnHome->Handle(), &home);
        GetWindowRect(form.BtnInstall->Handle(), &install);
        EXPECT_LT(logo.left - client.left, (client.right - client.left) / 4);
        EXPECT_GT(home.left, install.left);
        EXPECT_TRUE(test::SaveWindowShot(form.Handle(), test::ScreenshotPath(L"form-ar")));
        // Paths and registry names keep their order.
        EXPECT_EQ(LeftToRightText(L"C:\\Windows\\x.exe"), L"\x202A" L"C:\\Windows\\x.exe" L"\x202C");
    }
    SetCurrentLanguage(saved);
    ApplyProcessLayout();
    TSampleForm form;
    EXPECT_FALSE(GetWindowLongW(form.Handle(), GWL_EXSTYLE) & WS_EX_LAYOUTRTL);
    EXPECT_EQ(LeftToRightText(L"C:\\x"), L"C:\\x");
}

} // namespace
