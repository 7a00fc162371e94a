// From nothing to a painted window: a bare Win32 window against a form of the
// widget layer with the main window's set of controls, each created, shown
// and painted to the last child. The first form pays for GDI+, fonts and class
// registration; the second shows the steady cost.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "bench/Clock.h"
#include "ui/ActivityIndicator.h"
#include "ui/CardPanel.h"
#include "ui/Form.h"
#include "ui/HtmlLabel.h"
#include "ui/Logo.h"
#include "ui/QuenbyButtonStyles.h"
#include "ui/StyledToolbar.h"
#include "ui/Theme.h"

using namespace tidora;

namespace {

using tidora::bench::Now;

LRESULT CALLBACK BareProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(Window, &ps);
        RECT r;
        GetClientRect(Window, &r);
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        DrawTextW(dc, L"Tidora", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(Window, &ps);
        return 0;
    }
    return DefWindowProcW(Window, Msg, WParam, LParam);
}

HWND BareWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = BareProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TidoraBenchBare";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"Tidora", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 100, 100,
                                  480, 456, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return window;
}

std::unique_ptr<TForm> LayerForm() {
    TFormOptions o;
    o.ClassName = L"TidoraBenchForm";
    o.BorderStyle = TBorderStyle::bsSingle;
    o.MaximizeBox = false;
    o.ClientWidth = 464;
    o.ClientHeight = 417;
    auto form = std::make_unique<TForm>(o);
    form->SetColor(RGB(255, 255, 255));
    auto* head = TWindow::Create<TPanel>(form.get(), L"PnlHead", TBounds{0, 0, 464, 50}, TAlign::alTop);
    auto* logo = TWindow::Create<TPanel>(head, L"PnlLogo", TBounds{0, 0, 120, 50}, TAlign::alRight);
    TWindow::Create<TLogoImage>(logo, L"ImgLogo", TBounds{3, 0, 112, 50});
    auto* bar = TWindow::Create<TStyledToolbar>(head, L"BtnHead", TBounds{}, TAlign::alClient);
    bar->SetMargins(TSpacing{10, 10, 10, 10});
    bar->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Header", TStyledButtonDrawType::btRoundRect, 4});
    bar->SetIndent(10);
    for (const wchar_t* caption : {L"Home", L"Startup", L"Bundle"}) bar->AddButton(caption, caption);
    bar->Button(0)->SetDown(true);
    auto* cards = TWindow::Create<TCardPanel>(form.get(), L"PnlMain", TBounds{}, TAlign::alClient);
    cards->SetPadding(TSpacing{8, 0, 8, 0});
    auto* home = TWindow::Create<TPanel>(cards, L"PnlCleaner", TBounds{});
    TWindow::Create<TPanel>(cards, L"PnlAutorun", TBounds{});
    TWindow::Create<TPanel>(cards, L"PnlInstall", TBounds{});
    auto* title = TWindow::Create<TLabel>(home, L"LblTitle", TBounds{0, 40, 450, 81});
    title->SetFont(TFontSpec{L"Tahoma", 59, false, true, RGB(0, 0, 0)});
    title->SetAlignment(TTextAlign::taCenter);
    title->SetCaption(L"Tidora");
    auto* tip = TWindow::Create<THtmlLabel>(home, L"LblContent", TBounds{2, 172, 449, 33});
    tip->SetCaption(L"<C><FC:clGray>Programs are only <B>closed</B>, not <B>uninstalled</B>.</FC></C>");
    auto* start = TWindow::Create<TStyledButton>(home, L"BtnStart", TBounds{142, 264, 162, 68});
    start->SetStyle(TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
    start->SetCaption(L"Clean");
    TWindow::Create<TActivityIndicator>(home, L"Indicator", TBounds{207, 282, 32, 32})->Hide();
    TThemeHelper::Create(form.get());
    form->ShowForm();
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return form;
}

} // namespace

int wmain() {
    RegisterQuenbyButtonStyles();
    double t = Now();
    HWND bare = BareWindow();
    const double bareMs = Now() - t;
    t = Now();
    auto cold = LayerForm();
    const double coldMs = Now() - t;
    t = Now();
    auto warm = LayerForm();
    const double warmMs = Now() - t;
    std::printf("bare window shown and painted:        %8.2f ms\n", bareMs);
    std::printf("layer form, first (cold) and painted: %8.2f ms  (%.1fx bare)\n", coldMs, coldMs / bareMs);
    std::printf("layer form, second (warm) and painted:%8.2f ms  (%.1fx bare)\n", warmMs, warmMs / bareMs);
    std::printf("controls per form: %zu owned components\n", warm->OwnedCount());
    DestroyWindow(bare);
    return 0;
}
