#include "ui/Theme.h"

#include <stdexcept>

#include "system/Handles.h"
#include "system/Library.h"
#include "ui/QuenbyButtonStyles.h"

namespace tidora {
namespace {

constexpr DWORD DWMWA_USE_IMMERSIVE_DARK_MODE_ = 20;

} // namespace

void RequestDarkTitleBar(HWND Window) {
    UniqueModule dwm = LoadSystemLibrary(L"dwmapi.dll");
    if (!dwm) return;
    using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    auto set = reinterpret_cast<SetAttribute>(GetProcAddress(dwm.get(), "DwmSetWindowAttribute"));
    if (!set) return;
    const DWORD on = 0xFFFFFFFF;
    set(Window, DWMWA_USE_IMMERSIVE_DARK_MODE_, &on, sizeof(on));
}

TThemeHelper* TThemeHelper::Create(TComponent* AOwner) {
    auto* form = dynamic_cast<TForm*>(AOwner);
    if (!form) throw std::invalid_argument("TThemeHelper Owner must be a TForm");
    return form->Adopt(std::unique_ptr<TThemeHelper>(new TThemeHelper(form)));
}

TThemeHelper::TThemeHelper(TForm* Form) : FForm(Form), FActiveColor(AccentColor) {
    RequestDarkTitleBar(FForm->Handle());
    // Made after the form's own controls and put first among the top-aligned
    // ones, so it lies above the header.
    const RECT client = FForm->ClientRect();
    FShape = TWindow::Create<TShape>(FForm, L"", TBounds{0, 0, client.right - client.left, 2}, TAlign::alTop);
    FShape->SendToAlignFront();
    FShape->SetBrushColor(FActiveColor);
    FShape->SetPenColor(FActiveColor);
    if (FForm->Handle()) {
        FForm->AddMessageWatcher(this, [this](UINT Msg, WPARAM WParam, LPARAM) { FormMessage(Msg, WParam); });
        FWatching = true;
    }
    UpdateShape();
}

TThemeHelper::~TThemeHelper() {
    // Once the window is gone the form holds no watcher: the form object may
    // be partly gone too by the time its components are.
    if (FWatching) FForm->RemoveMessageWatcher(this);
}

void TThemeHelper::FormMessage(UINT Msg, WPARAM WParam) {
    switch (Msg) {
    case WM_SIZE:
        UpdateShape();
        break;
    case WM_ACTIVATE:
        FIsActive = LOWORD(WParam) != WA_INACTIVE;
        UpdateShape();
        break;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        UpdateShape();
        break;
    case WM_NCDESTROY:
        FWatching = false;
        break;
    }
}

void TThemeHelper::UpdateShape() {
    if (!FShape) return;
    // High contrast: the system's highlight instead of the fixed accent.
    const COLORREF active = FForm->HighContrastOn() ? GetSysColor(COLOR_HIGHLIGHT) : FActiveColor;
    const COLORREF color = FIsActive ? active : GetSysColor(COLOR_GRAYTEXT);
    FShape->SetBrushColor(color);
    FShape->SetPenColor(color);
    FShape->SetVisible(FForm->BorderStyle() != TBorderStyle::bsNone);
}

} // namespace tidora
