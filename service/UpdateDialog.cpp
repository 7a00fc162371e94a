#include "service/UpdateDialog.h"

#include <commctrl.h>

#include <algorithm>

#include "service/Update.h"
#include "system/Handles.h"
#include "system/Windows.h"
#include "ui/Application.h"
#include "ui/CheckBox.h"
#include "ui/Graphics.h"
#include "ui/Label.h"
#include "ui/Shape.h"
#include "ui/StyledButton.h"
#include "ui/Translate.h"

namespace tidora {
namespace {

constexpr int kDialogWidth = 420;
constexpr int kTextLeft = 64;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kLinkBlue = RGB(0, 0, 255);
constexpr COLORREF kSeparatorGrey = RGB(204, 204, 204);

TFormOptions DialogOptions(const TUpdateNotice& Notice, const TPlatform& Platform) {
    TFormOptions o;
    o.Platform = Platform;
    o.ClassName = L"TidoraUpdateDialog";
    o.BorderStyle = TBorderStyle::bsDialog;
    o.MinimizeBox = false;
    o.MaximizeBox = false;
    o.AppWindow = false;
    o.OwnerWindow = MainForm() ? MainForm()->Handle() : nullptr;
    o.ClientWidth = kDialogWidth;
    o.ClientHeight = 160;
    o.StayOnTop = Notice.Flag.find(L"stayontop") != std::wstring::npos;
    return o;
}

// The prompt's height at 96 dpi for the dialog's font and text width.
int TextHeight(HFONT Font, const std::wstring& Text, int Width, UINT Dpi) {
    const UniqueWindowDC dc(nullptr);
    const UniqueSelection font(dc.get(), Font);
    RECT r{0, 0, MulDiv(Width, static_cast<int>(Dpi), 96), 0};
    DrawTextW(dc.get(), Text.c_str(), static_cast<int>(Text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return MulDiv(r.bottom - r.top, 96, static_cast<int>(Dpi));
}

TButtonStyleSettings DialogButtonStyle(int Result) {
    TButtonStyleSettings s;
    s.Family = L"Quenby";
    // The family names the class and appearance for a dialog result.
    if (auto family = FindButtonStyleFamily(s.Family)) family->StyleForResult(Result, s.ButtonClass, s.Appearance);
    return s;
}

} // namespace

TUpdateDialog::TUpdateDialog(const std::wstring& Data, int DialogOffset, const TPlatform& Platform)
    : TForm(DialogOptions(ReplyNotice(Data), Platform)) {
    const TUpdateNotice notice = ReplyNotice(Data);
    const std::wstring prompt = UpdateText(utPrompt);
    SetCaption(TranslateText(ApplicationTitle()));
    SetColor(RGB(255, 255, 255));

    const int textWidth = kDialogWidth - kTextLeft - 16;
    const int textHeight = std::max(32, TextHeight(FontHandle(), prompt, textWidth, CurrentDpi()));
    FIconRect = {16, 16, 48, 48};
    LblPrompt = Create<TLabel>(this, L"LblPrompt", TBounds{kTextLeft, 16, textWidth, textHeight});
    LblPrompt->SetWordWrap(true);
    LblPrompt->SetCaption(prompt);

    const int buttonsTop = 16 + textHeight + 20;
    BtnYes = Create<TStyledButton>(this, L"BtnYes",
                                   TBounds{kDialogWidth - 16 - 2 * kButtonWidth - 8, buttonsTop, kButtonWidth, kButtonHeight});
    BtnYes->SetStyle(DialogButtonStyle(IDYES));
    BtnYes->SetCaption(UpdateText(utYes));
    BtnYes->OnClick = [this](TWindow*) { SetModalResult(IDYES); };
    BtnNo = Create<TStyledButton>(this, L"BtnNo",
                                  TBounds{kDialogWidth - 16 - kButtonWidth, buttonsTop, kButtonWidth, kButtonHeight});
    BtnNo->SetStyle(DialogButtonStyle(IDNO));
    BtnNo->SetCaption(UpdateText(utNo));
    BtnNo->OnClick = [this](TWindow*) { SetModalResult(IDNO); };

    int height = buttonsTop + kButtonHeight + 16;
    if (!notice.Style.empty()) {
        // The notice strip below the buttons: the dialog grows by 40 pixels
        // (less the offset) and the separator starts it; the check box or
        // link sits 10 pixels under the separator.
        height += 40 - DialogOffset;
        const int lineTop = height - (40 - DialogOffset);
        Separator = Create<TShape>(this, L"Separator", TBounds{0, lineTop, kDialogWidth, 1});
        Separator->SetBrushColor(kSeparatorGrey);
        Separator->SetPenColor(kSeparatorGrey);
        const int itemTop = lineTop + 10;
        if (notice.Style == L"hold") {
            ChkHold = Create<TCheckBox>(this, L"ChkHold", TBounds{10, itemTop, kDialogWidth - 10, 20});
            ChkHold->SetCaption(notice.Text);
        } else if (notice.Style == L"note") {
            LblNote = Create<TLinkLabel>(this, L"LblNote", TBounds{10, itemTop, kDialogWidth - 20, 20});
            LblNote->SetCaption(notice.Text);
            LblNote->Hint = notice.Url;
            LblNote->OnClick = TFormHelper::OpenURL;
        }
    }
    SetClientSize(kDialogWidth, height);
    CenterOnScreen();
    FStayOnTop = (GetWindowLongW(Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    SetWindowLongPtrW(BtnYes->Handle(), GWL_STYLE, GetWindowLongPtrW(BtnYes->Handle(), GWL_STYLE) | WS_TABSTOP);
    SendMessageW(Handle(), DM_SETDEFID, GetDlgCtrlID(BtnYes->Handle()), 0);
    BtnYes->SetFocus();
}

bool TUpdateDialog::OnCommand(WORD Id) {
    // Enter and Escape as a message box answers them.
    if (Id == IDOK) {
        SetModalResult(IDYES);
        return true;
    }
    if (Id == IDCANCEL) {
        SetModalResult(IDNO);
        return true;
    }
    return false;
}

void TUpdateDialog::OnPaint(HDC DC, const RECT& Client) {
    TForm::OnPaint(DC, Client);
    const int size = Scale(32);
    DrawIconEx(DC, Scale(FIconRect.left), Scale(FIconRect.top), LoadIconW(nullptr, IDI_WARNING), size, size, 0,
               nullptr, DI_NORMAL);
}

bool TLinkLabel::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!TClickable::AccessibleInfo(Info)) return false;
    Info.Description = Hint;
    return true;
}

void TLinkLabel::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraLinkLabel";
    Params.Style = (Params.Style & ~WS_CLIPCHILDREN) | WS_TABSTOP;
}

void TLinkLabel::OnPaint(HDC DC, const RECT& Client) {
    TWindow::OnPaint(DC, Client);
    LOGFONTW lf{};
    GetObjectW(FontHandle(), sizeof(lf), &lf);
    lf.lfUnderline = TRUE;
    UniqueGdiObject font(CreateFontIndirectW(&lf));
    const UniqueSelection selected(DC, font.get());
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, HighContrastOn() ? GetSysColor(COLOR_HOTLIGHT) : kLinkBlue);
    RECT r = Client;
    const std::wstring text = Caption();
    DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (Focused()) {
        RECT focus = Client;
        DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &focus, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
        DrawFocusRect(DC, &focus);
    }
}

TUpdateStatusBar::TUpdateStatusBar(TWindow* Parent) : TClickable(Parent) {
    SetHasCaption(true);
    TFontSpec font = Parent->Font();
    font.Bold = true;
    font.Color = kRed;
    SetFont(font);
}

TUpdateStatusBar::~TUpdateStatusBar() {
    if (FTip) DestroyWindow(FTip);
}

void TUpdateStatusBar::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraUpdateStatus";
    Params.Style = (Params.Style & ~WS_CLIPCHILDREN) | WS_TABSTOP;
}

bool TUpdateStatusBar::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!TClickable::AccessibleInfo(Info)) return false;
    Info.Description = FHint;
    return true;
}

void TUpdateStatusBar::OnCreated() {
    FTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                           0, Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!FTip) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Handle());
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(FTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TUpdateStatusBar::SetHint(const std::wstring& Hint) {
    FHint = Hint;
    if (!FTip) return;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Handle());
    tool.lpszText = const_cast<wchar_t*>(FHint.c_str());
    SendMessageW(FTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void TUpdateStatusBar::OnPaint(HDC DC, const RECT& Client) {
    TUpdateHelper::DrawUpdateStatus(this, DC, Client);
}

void TUpdateHelper::DrawUpdateStatus(TUpdateStatusBar* StatusBar, HDC DC, const RECT& Rect) {
    UniqueGdiObject brush(CreateSolidBrush(StatusBar->Color()));
    FillRect(DC, &Rect, static_cast<HBRUSH>(brush.get()));
    DrawTextTransparent(DC, StatusBar->Caption(), Rect, StatusBar->FontHandle(),
                        StatusBar->HighContrastOn() ? GetSysColor(COLOR_WINDOWTEXT) : StatusBar->Font().Color,
                        DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    const LRESULT cues = SendMessageW(StatusBar->Handle(), WM_QUERYUISTATE, 0, 0);
    if (StatusBar->Focused() && !(cues & UISF_HIDEFOCUS)) {
        RECT focus{Rect.left + 1, Rect.top + 1, Rect.right - 1, Rect.bottom - 1};
        DrawFocusRect(DC, &focus);
    }
}

void TUpdateHelper::StatusClick(TWindow* Sender) {
    if (auto* bar = dynamic_cast<TUpdateStatusBar*>(Sender)) ShellOpenUrl(bar->Hint(), bar->Platform());
}

void TFormHelper::OpenURL(TWindow* Sender) {
    if (auto* link = dynamic_cast<TLinkLabel*>(Sender)) ShellOpenUrl(link->Hint, link->Platform());
}

bool ShowUpdateDialog(const std::wstring& Data, int DialogOffset, const TService& Service,
                      const TPlatform& Platform) {
    TUpdateDialog dialog(Data, DialogOffset, Platform);
    const bool yes = dialog.ShowModal() == IDYES;
    if (dialog.ChkHold && dialog.ChkHold->Checked()) StartHoldNotice(Service);
    return yes;
}

void ShowUpdateStatusLine(const std::wstring& URL) {
    TForm* form = MainForm();
    if (!form) return;
    auto* bar = dynamic_cast<TUpdateStatusBar*>(form->FindComponent(L"StatusBar"));
    if (!bar) {
        bar = TWindow::Create<TUpdateStatusBar>(form, L"StatusBar", TBounds{0, 0, form->ClientWidth(), 28},
                                                TAlign::alBottom);
        // The rest of the layout keeps its size: the window grows instead.
        form->SetClientSize(form->ClientWidth(), form->ClientHeight() + 28);
        form->Realign();
    }
    bar->SetCaption(UpdateText(utStatus));
    bar->SetHint(URL);
    bar->OnClick = TUpdateHelper::StatusClick;
    bar->Invalidate();
}

TUpdateHooks UpdateWindows(const TService& Service, const TPlatform& Platform) {
    TUpdateHooks hooks;
    hooks.UpdateDialog = [Service, Platform](const std::wstring& Data, int DialogOffset) {
        return ShowUpdateDialog(Data, DialogOffset, Service, Platform);
    };
    hooks.ShowUpdateStatus = ShowUpdateStatusLine;
    return hooks;
}

} // namespace tidora
