// The controls the windows are built from, driven through their windows.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"
#include "ui/ActivityIndicator.h"
#include "ui/Application.h"
#include "ui/CheckBox.h"
#include "ui/Dialogs.h"
#include "ui/Form.h"
#include "ui/ImageList.h"
#include "ui/Logo.h"
#include "ui/PopupMenu.h"
#include "ui/QuenbyButtonStyles.h"
#include "ui/StyledToolbar.h"
#include "ui/Translate.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;
using tidora::test::WindowText;

namespace {



class Controls : public testing::Test {
protected:
    void SetUp() override {
        SavedLanguage = CurrentLanguage();
        TFormOptions o;
        o.ClassName = L"TidoraControlsTest";
        o.BorderStyle = TBorderStyle::bsSingle;
        o.ClientWidth = 400;
        o.ClientHeight = 200;
        Form = std::make_unique<TForm>(o);
        Form->SetColor(RGB(255, 255, 255));
        Bar = TWindow::Create<TStyledToolbar>(Form.get(), L"BtnHead", TBounds{0, 0, 400, 30}, TAlign::alTop);
        Bar->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Header", TStyledButtonDrawType::btRoundRect, 4});
        Bar->SetButtonSize(70, 30);
        for (const wchar_t* name : {L"BtnHome", L"BtnAutorun", L"BtnInstall"})
            Buttons.push_back(Bar->AddButton(name, name == std::wstring(L"BtnHome") ? L"처음화면" : L"자동실행"));
        Start = TWindow::Create<TStyledButton>(Form.get(), L"BtnStart", TBounds{140, 60, 162, 68});
        Start->SetCaption(L"실행하기");
        Start->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
        // Not under the pointer, or a button there is drawn hot.
        test::KeepOffThePointer(Form->Handle());
        Form->ShowForm();
        Pump(50);
    }
    void TearDown() override {
        Form.reset();
        SetCurrentLanguage(SavedLanguage);
    }

    // The button painted into a bitmap: the colour at a point of it.
    COLORREF PixelOf(TWindow* Button, int X, int Y) {
        const test::TPrintedClient printed(Button->Handle());
        const RECT& r = printed.Client();
        return GetPixel(printed.DC(), X < 0 ? r.right + X : X, Y < 0 ? r.bottom + Y : Y);
    }

    std::wstring SavedLanguage;
    std::unique_ptr<TForm> Form;
    TStyledToolbar* Bar = nullptr;
    std::vector<TStyledToolButton*> Buttons;
    TStyledButton* Start = nullptr;
};

TEST_F(Controls, ToolbarKeepsOneButtonDown) {
    EXPECT_EQ(Bar->ButtonCount(), 3);
    EXPECT_EQ(Bar->DownIndex(), -1);
    // A click handler that presses its sender, as the header's does.
    std::vector<std::wstring> clicked;
    for (auto* b : Buttons)
        b->OnClick = [&](TWindow* sender) {
            clicked.push_back(sender->Name());
            static_cast<TStyledToolButton*>(sender)->SetDown(true);
        };
    for (int i : {0, 2, 2, 1, 0}) {
        SendMessageW(Buttons[static_cast<size_t>(i)]->Handle(), BM_CLICK, 0, 0);
        EXPECT_EQ(Bar->DownIndex(), i);
        int down = 0;
        for (auto* b : Buttons) down += b->Down();
        EXPECT_EQ(down, 1);
    }
    EXPECT_EQ(clicked, (std::vector<std::wstring>{L"BtnHome", L"BtnInstall", L"BtnInstall", L"BtnAutorun", L"BtnHome"}));
    // Side by side from the indent, in creation order.
    EXPECT_EQ(Buttons[1]->BoundsRect().left, Form->Scale(70));
    EXPECT_EQ(Buttons[2]->BoundsRect().left, Form->Scale(140));
}

TEST_F(Controls, StyledButtonsActAsPushButtons) {
    // Caption as window text, for screen readers and tests in other processes.
    EXPECT_EQ(WindowText(Start->Handle()), L"실행하기");
    EXPECT_EQ(WindowText(Buttons[0]->Handle()), L"처음화면");
    TranslateComponent(Form.get(), L"en");
    EXPECT_EQ(WindowText(Start->Handle()), L"Clean");
    EXPECT_EQ(WindowText(Buttons[0]->Handle()), L"Home");
    // Not the system's button class: that would load comctl32 before the
    // main window's first paint.
    wchar_t className[32] = {};
    GetClassNameW(Start->Handle(), className, 32);
    EXPECT_STRNE(className, L"Button");

    // They take the keyboard focus, and Tab moves it on.
    Start->SetFocus();
    EXPECT_TRUE(Start->Focused());
    Buttons[0]->SetFocus();
    EXPECT_TRUE(Buttons[0]->Focused());
    PostMessageW(Buttons[0]->Handle(), WM_KEYDOWN, VK_TAB, 0);
    PostMessageW(Buttons[0]->Handle(), WM_KEYUP, VK_TAB, 0xC0000000);
    Pump(30);
    EXPECT_TRUE(Buttons[1]->Focused());

    int clicks = 0;
    Start->OnClick = [&](TWindow*) { ++clicks; };
    const HWND start = Start->Handle();
    const LPARAM inside = MAKELPARAM(10, 10), outside = MAKELPARAM(500, 10);
    struct TStep {
        UINT Msg;
        WPARAM WParam;
        LPARAM LParam;
    };
    // A click is a press and a release on the button, by the mouse or by
    // Space; pushed in meanwhile.
    const struct {
        const char* What;
        std::vector<TStep> Press, Release;
        int Clicks;
    } cases[] = {
        {"mouse", {{WM_LBUTTONDOWN, MK_LBUTTON, inside}}, {{WM_LBUTTONUP, 0, inside}}, 1},
        {"mouse dragged off", {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {WM_MOUSEMOVE, MK_LBUTTON, outside}},
         {{WM_LBUTTONUP, 0, outside}}, 0},
        {"mouse dragged off and back",
         {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {WM_MOUSEMOVE, MK_LBUTTON, outside},
          {WM_MOUSEMOVE, MK_LBUTTON, inside}},
         {{WM_LBUTTONUP, 0, inside}}, 1},
        {"space, repeating while held", {{WM_KEYDOWN, VK_SPACE, 1}, {WM_KEYDOWN, VK_SPACE, 0x40000001}},
         {{WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0000001)}}, 1},
        {"space with the focus gone", {{WM_KEYDOWN, VK_SPACE, 1}, {WM_KILLFOCUS, 0, 0}},
         {{WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0000001)}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        clicks = 0;
        Start->SetFocus();
        SendMessageW(start, c.Press.front().Msg, c.Press.front().WParam, c.Press.front().LParam);
        EXPECT_EQ(SendMessageW(start, BM_GETSTATE, 0, 0) & BST_PUSHED, BST_PUSHED);
        EXPECT_EQ(Start->State(), TStyledButtonState::Pressed);
        for (size_t i = 1; i < c.Press.size(); ++i)
            SendMessageW(start, c.Press[i].Msg, c.Press[i].WParam, c.Press[i].LParam);
        for (const TStep& step : c.Release) SendMessageW(start, step.Msg, step.WParam, step.LParam);
        EXPECT_EQ(clicks, c.Clicks);
        EXPECT_EQ(SendMessageW(start, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
        EXPECT_NE(GetCapture(), start);
    }

    // BM_CLICK as on a system button: a click that takes the focus.
    clicks = 0;
    Buttons[0]->SetFocus();
    SendMessageW(start, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(Start->Focused());
    // Disabled, nothing presses it.
    Start->SetEnabled(false);
    EXPECT_EQ(Start->State(), TStyledButtonState::Disabled);
    SendMessageW(start, BM_CLICK, 0, 0);
    SendMessageW(start, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageW(start, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Controls, ButtonsDrawTheirStateWithTheFamilysSet) {
    const COLORREF accent = RGB(61, 132, 221), lighter = RGB(80, 144, 224), white = RGB(255, 255, 255);
    const int midY = Buttons[0]->ClientRect().bottom / 2;
    Buttons[1]->SetDown(true);
    // The page button held down: the lighter blue; the others plain, no frame.
    EXPECT_EQ(Buttons[1]->State(), TStyledButtonState::Selected);
    EXPECT_EQ(PixelOf(Buttons[1], 3, midY), lighter);
    EXPECT_EQ(Buttons[1]->CurrentAttributes().FontColor, white);
    EXPECT_EQ(Buttons[0]->State(), TStyledButtonState::Normal);
    EXPECT_EQ(PixelOf(Buttons[0], 3, midY), white);
    EXPECT_EQ(PixelOf(Buttons[0], 0, midY), white);
    EXPECT_EQ(Buttons[0]->CurrentAttributes().FontColor, RGB(0, 0, 0));

    // Pointed at, then held down by the mouse.
    SendMessageW(Buttons[0]->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Buttons[0]->State(), TStyledButtonState::Hot);
    EXPECT_EQ(PixelOf(Buttons[0], 3, midY), accent);
    SendMessageW(Buttons[0]->Handle(), WM_MOUSELEAVE, 0, 0);
    SendMessageW(Buttons[0]->Handle(), BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(Buttons[0]->State(), TStyledButtonState::Pressed);
    EXPECT_EQ(PixelOf(Buttons[0], 3, midY), accent);
    SendMessageW(Buttons[0]->Handle(), BM_SETSTATE, FALSE, 0);

    // The outline button: a one-pixel accent frame round a clear face.
    const int startMid = Start->ClientRect().bottom / 2;
    EXPECT_EQ(PixelOf(Start, 0, startMid), accent);
    EXPECT_EQ(PixelOf(Start, -1, startMid), accent);
    EXPECT_EQ(PixelOf(Start, 2, startMid), white);
    Start->SetEnabled(false);
    EXPECT_EQ(PixelOf(Start, 0, startMid), RGB(215, 215, 215));
    EXPECT_EQ(Start->CurrentAttributes().FontColor, RGB(179, 179, 179));
}

TEST_F(Controls, IndicatorTurnsOnlyWhileTheThreadIsFree) {
    auto* indicator = TWindow::Create<TActivityIndicator>(Form.get(), L"Indicator", TBounds{207, 78, 32, 32});
    indicator->SetAnimate(true);
    Pump(30);
    const int first = indicator->Frame();
    Sleep(400);  // busy: no timer message is handled
    EXPECT_EQ(indicator->Frame(), first);
    Pump(400);
    EXPECT_NE(indicator->Frame(), first);
    indicator->SetAnimate(false);
    const int stopped = indicator->Frame();
    Pump(300);
    EXPECT_EQ(indicator->Frame(), stopped);
}

TEST_F(Controls, LogoClicksOnRelease) {
    auto* logo = TWindow::Create<TLogoImage>(Form.get(), L"ImgLogo", TBounds{280, 140, 112, 50});
    std::vector<std::wstring> clicked;
    logo->OnClick = [&](TWindow* sender) { clicked.push_back(sender->Name()); };
    EXPECT_EQ(WindowText(logo->Handle()), L"Tidora");
    SendMessageW(logo->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(logo->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(12, 11));
    EXPECT_EQ(clicked, std::vector<std::wstring>{L"ImgLogo"});
    // Released outside: no click.
    SendMessageW(logo->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(logo->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(500, 10));
    EXPECT_EQ(clicked.size(), 1u);
    // From the keyboard: it takes the focus and Enter or Space click it.
    EXPECT_TRUE(logo->Focused());
    SendMessageW(logo->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(logo->Handle(), WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(logo->Handle(), WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(clicked.size(), 3u);
    EXPECT_EQ(SendMessageW(logo->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(logo->Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(Controls, CheckBoxMenuAndImageList) {
    auto* check = TWindow::Create<TCheckBox>(Form.get(), L"ChkAllList", TBounds{2, 150, 135, 17});
    check->SetCaption(L"전체목록");
    int clicks = 0;
    check->OnClick = [&](TWindow*) { ++clicks; };
    EXPECT_FALSE(check->Checked());
    SendMessageW(check->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(clicks, 1);

    auto* menu = Form->Adopt(std::make_unique<TPopupMenu>());
    menu->Items().Add(L"BtnSave", L"목록 저장");
    menu->Items().Add(L"BtnEnable", L"사용함");
    TranslateComponent(Form.get(), L"en");
    EXPECT_EQ(check->Caption(), L"All Programs");
    EXPECT_EQ(WindowText(check->Handle()), L"All Programs");
    EXPECT_EQ(menu->Items().Item(0)->Caption(), L"목록 저장");  // the table has no row for it
    EXPECT_EQ(menu->Items().Item(1)->Caption(), L"Enable");

    TImageCollection images;
    images.Add(L"0", UniqueIcon(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION))));
    TImageList list(images, 16);
    EXPECT_EQ(list.Count(), 1);
    images.Add(L"1", UniqueIcon(CopyIcon(LoadIconW(nullptr, IDI_WARNING))));
    images.Add(L"2", UniqueIcon());
    EXPECT_EQ(list.Count(), 1);
    images.Changed();
    EXPECT_EQ(list.Count(), 3);
}

BOOL CALLBACK FindDialog(HWND Window, LPARAM Found) {
    wchar_t cls[16] = {};
    GetClassNameW(Window, cls, 16);
    if (wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(Window)) return TRUE;
    *reinterpret_cast<HWND*>(Found) = Window;
    return FALSE;
}

BOOL CALLBACK CollectText(HWND Window, LPARAM Texts) {
    *reinterpret_cast<std::wstring*>(Texts) += WindowText(Window) + L"|";
    return TRUE;
}

// Watches for a dialog of this thread, reads its texts and closes it.
class DialogWatcher {
public:
    explicit DialogWatcher(DWORD Thread) {
        FThread = std::thread([this, Thread] {
            for (int i = 0; i < 400 && !FDone; ++i) {
                Sleep(25);
                HWND dialog = nullptr;
                EnumThreadWindows(Thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
                if (!dialog) continue;
                Sleep(100);
                Texts = WindowText(dialog) + L"|";
                EnumChildWindows(dialog, CollectText, reinterpret_cast<LPARAM>(&Texts));
                PostMessageW(dialog, WM_COMMAND, IDCLOSE, 0);
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                Seen = true;
                return;
            }
        });
    }
    ~DialogWatcher() {
        FDone = true;
        if (FThread.joinable()) FThread.join();
    }
    void Join() {
        if (FThread.joinable()) FThread.join();
    }
    std::wstring Texts;
    std::atomic<bool> Seen{false};

private:
    std::atomic<bool> FDone{false};
    std::thread FThread;
};

bool Has(const std::wstring& Haystack, const std::wstring& Needle) {
    return Haystack.find(Needle) != std::wstring::npos;
}

TEST_F(Controls, AnErrorInAHandlerShowsTheErrorWindowAndTheProgramGoesOn) {
    SetCurrentLanguage(L"en");
    SetApplicationTitle(L"티도라");
    int clicks = 0;
    Start->OnClick = [&](TWindow*) {
        ++clicks;
        if (clicks == 1) throw std::runtime_error("Broken C:\\new\\list.txt");
    };
    {
        DialogWatcher watcher(GetCurrentThreadId());
        SendMessageW(Start->Handle(), BM_CLICK, 0, 0);  // returns once the window is closed
        watcher.Join();
        ASSERT_TRUE(watcher.Seen);
        EXPECT_TRUE(Has(watcher.Texts, L"An error has occurred.")) << std::string(watcher.Texts.begin(), watcher.Texts.end());
        EXPECT_TRUE(Has(watcher.Texts, L"Broken C:\\new\\list.txt"));
        EXPECT_TRUE(Has(watcher.Texts, L"Tidora|"));  // the title, translated
    }
    // Still alive: the next click is handled as usual.
    EXPECT_TRUE(IsWindow(Form->Handle()));
    SendMessageW(Start->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
    SetApplicationTitle(L"Tidora");
}

TEST_F(Controls, MessageDialogsTranslateTheirText) {
    SetCurrentLanguage(L"ja");
    DialogWatcher watcher(GetCurrentThreadId());
    const int answer = MessageDlg(L"오류가 발생했습니다.", TMsgDlgType::mtWarning, MB_OK, Form->Handle(), L"C:\\new folder");
    watcher.Join();
    ASSERT_TRUE(watcher.Seen);
    EXPECT_EQ(answer, IDOK);
    EXPECT_TRUE(Has(watcher.Texts, L"エラーが発生しました。\r\nC:\\new folder")) << std::string(watcher.Texts.begin(), watcher.Texts.end());
}

} // namespace
