#include "ui/Form.h"

#include "ui/Application.h"
#include "ui/Dpi.h"
#include "ui/RightToLeft.h"

namespace tidora {
namespace {

constexpr UINT WM_DPICHANGED_ = 0x02E0;
constexpr UINT WM_GETDPISCALEDSIZE_ = 0x02E4;

DWORD StyleFor(const TFormOptions& o) {
    DWORD style = WS_CLIPCHILDREN;
    switch (o.BorderStyle) {
    case TBorderStyle::bsNone: style |= WS_POPUP; break;
    case TBorderStyle::bsSingle: style |= WS_CAPTION | WS_SYSMENU; break;
    case TBorderStyle::bsSizeable: style |= WS_CAPTION | WS_SYSMENU | WS_THICKFRAME; break;
    case TBorderStyle::bsDialog: style |= WS_CAPTION | WS_SYSMENU | DS_MODALFRAME; break;
    }
    if (o.BorderStyle == TBorderStyle::bsSingle || o.BorderStyle == TBorderStyle::bsSizeable) {
        if (o.MinimizeBox) style |= WS_MINIMIZEBOX;
        if (o.MaximizeBox) style |= WS_MAXIMIZEBOX;
    }
    return style;
}

DWORD ExStyleFor(const TFormOptions& o) {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (o.AppWindow) ex |= WS_EX_APPWINDOW;
    if (o.StayOnTop) ex |= WS_EX_TOPMOST;
    if (o.BorderStyle == TBorderStyle::bsDialog) ex |= WS_EX_DLGMODALFRAME;
    if (IsRightToLeft()) ex |= WS_EX_LAYOUTRTL;
    return ex;
}

} // namespace

TForm::TForm(const TFormOptions& Options) : TWindow(nullptr), FOptions(Options) {
    InitControls();
    RequestPerMonitorDpiAwareness();
    ApplyProcessLayout();
    SetHasCaption(true);
    FDpi = SystemDpi();
    CreateHandle();
    if (!Handle()) return;
    FDpi = WindowDpi(Handle());
    SetClientSize(FOptions.ClientWidth, FOptions.ClientHeight);
}

TForm::~TForm() {
    // A handler set by a derived form must not run now that the derived part
    // is gone; the derived destructor did its own part already.
    OnDestroyed = nullptr;
    // Destroyed here, while WM_DESTROY still reaches this class's handler.
    if (Handle()) DestroyWindow(Handle());
    if (MainForm() == this) SetMainForm(nullptr);
}

void TForm::CreateParams(TCreateParams& Params) {
    Params.ClassName = FOptions.ClassName;
    Params.Style = StyleFor(FOptions);
    Params.ExStyle = ExStyleFor(FOptions);
    Params.ClassStyle = CS_DBLCLKS;
}

void TForm::SetClientSize(int Width, int Height) {
    FOptions.ClientWidth = Width;
    FOptions.ClientHeight = Height;
    if (!Handle()) return;
    RECT client{0, 0, ScaleForDpi(Width, FDpi), ScaleForDpi(Height, FDpi)};
    const RECT r = WindowRectForClient(client, static_cast<DWORD>(GetWindowLongW(Handle(), GWL_STYLE)),
                                       static_cast<DWORD>(GetWindowLongW(Handle(), GWL_EXSTYLE)), FDpi);
    SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RealignTree();
}

void TForm::UseDesktopFont() {
    LOGFONTW lf{};
    if (!DesktopFontForDpi(lf, 96)) return;
    TFontSpec font = Font();
    font.Name = lf.lfFaceName;
    font.Height = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
    SetFont(font);
}

void TForm::SetActiveControl(TWindow* Control) {
    if (!Control || !Control->Handle()) return;
    FLastFocus = Control->Handle();
    if (Handle() && GetActiveWindow() == Handle()) Control->SetFocus();
}

void TForm::CenterOnScreen() {
    if (!Handle()) return;
    RECT window{};
    GetWindowRect(Handle(), &window);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    HMONITOR monitor = MonitorFromWindow(Handle(), MONITOR_DEFAULTTOPRIMARY);
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (GetMonitorInfoW(monitor, &info)) work = info.rcWork;
    const int w = window.right - window.left, h = window.bottom - window.top;
    SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ShowForm() {
    if (!Handle()) return;
    SetVisible(true);
    ShowWindow(Handle(), SW_SHOW);
    UpdateWindow(Handle());
}

int TForm::ShowModal() {
    if (!Handle()) return IDCANCEL;
    HWND owner = FOptions.OwnerWindow;
    if (!owner && MainForm() && MainForm() != this) owner = MainForm()->Handle();
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    FModal = true;
    FModalResult = 0;
    ShowForm();
    RunModalLoop([this] { return FModalResult != 0 || !Handle() || !IsWindowVisible(Handle()); });
    FModal = false;
    // The owner comes back before this one hides, so activation returns to it.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    if (Handle()) ShowWindow(Handle(), SW_HIDE);
    return FModalResult ? FModalResult : IDCANCEL;
}

void TForm::SetModalResult(int Result) {
    FModalResult = Result;
    // Wake the modal loop, which may be waiting for a message.
    if (Handle()) PostMessageW(Handle(), WM_NULL, 0, 0);
}

void TForm::Close() {
    if (Handle()) SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TForm::OnDpiChanged(UINT NewDpi, const RECT& Suggested) {
    FDpi = NewDpi;
    FontChangedTree();
    SetWindowPos(Handle(), nullptr, Suggested.left, Suggested.top, Suggested.right - Suggested.left,
                 Suggested.bottom - Suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RealignTree();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_ERASE);
}

void TForm::AddMessageWatcher(const void* Key, TMessageWatcher Watcher) {
    RemoveMessageWatcher(Key);
    FWatchers.emplace_back(Key, std::move(Watcher));
}

void TForm::RemoveMessageWatcher(const void* Key) {
    for (auto i = FWatchers.begin(); i != FWatchers.end(); ++i)
        if (i->first == Key) {
            FWatchers.erase(i);
            return;
        }
}

LRESULT TForm::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    // By index: a watcher may add or remove watchers.
    for (size_t i = 0; i < FWatchers.size(); ++i) {
        const TMessageWatcher watcher = FWatchers[i].second;
        watcher(Msg, WParam, LParam);
    }
    if (Msg == WM_NCDESTROY) FWatchers.clear();
    switch (Msg) {
    case WM_DPICHANGED_: {
        const RECT* suggested = reinterpret_cast<const RECT*>(LParam);
        const UINT dpi = HIWORD(WParam) ? HIWORD(WParam) : 96;
        if (suggested) OnDpiChanged(dpi, *suggested);
        return 0;
    }
    case WM_GETDPISCALEDSIZE_: {
        // The exact size for the new dpi, so a fixed layout does not drift by
        // rounding as the window moves between monitors.
        const UINT dpi = static_cast<UINT>(WParam);
        RECT client{0, 0, ScaleForDpi(FOptions.ClientWidth, dpi), ScaleForDpi(FOptions.ClientHeight, dpi)};
        const RECT r = WindowRectForClient(client, static_cast<DWORD>(GetWindowLongW(Handle(), GWL_STYLE)),
                                           static_cast<DWORD>(GetWindowLongW(Handle(), GWL_EXSTYLE)), dpi);
        auto* size = reinterpret_cast<SIZE*>(LParam);
        size->cx = r.right - r.left;
        size->cy = r.bottom - r.top;
        return TRUE;
    }
    case WM_ACTIVATE:
        // Give the focus back to the control that had it.
        if (LOWORD(WParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(Handle(), focus)) FLastFocus = focus;
        } else if (FLastFocus && IsWindow(FLastFocus) && IsChild(Handle(), FLastFocus)) {
            ::SetFocus(FLastFocus);
            return 0;
        }
        break;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // High contrast on or off, or other system colours: every control
        // draws again in the colours that now hold.
        RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        break;
    case WM_CLOSE:
        if (FModal) {
            SetModalResult(IDCANCEL);
            return 0;
        }
        break;
    case WM_DESTROY:
        if (OnDestroyed) OnDestroyed();
        if (MainForm() == this) {
            SetMainForm(nullptr);
            PostQuitMessage(0);
        }
        break;
    }
    return TWindow::WndProc(Msg, WParam, LParam);
}

} // namespace tidora
