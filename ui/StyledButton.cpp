#include "ui/StyledButton.h"

#include <oleacc.h>

#include "ui/Graphics.h"

namespace tidora {

TStyledButton::TStyledButton(TWindow* Parent) : TWindow(Parent) {
    SetHasCaption(true);
}

void TStyledButton::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"BUTTON";
    Params.SystemClass = true;
    Params.Style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_OWNERDRAW;
}

void TStyledButton::SetStyle(const TButtonStyleSettings& Settings) {
    FStyle = Settings;
    Invalidate();
}

void TStyledButton::SetStyleFamily(const std::wstring& Family) {
    FStyle.Family = Family;
    Invalidate();
}

void TStyledButton::SetStyleAppearance(const std::wstring& Appearance) {
    FStyle.Appearance = Appearance;
    Invalidate();
}

void TStyledButton::SetStyleDrawType(TStyledButtonDrawType DrawType) {
    FStyle.DrawType = DrawType;
    Invalidate();
}

void TStyledButton::SetStyleRadius(int Radius) {
    FStyle.Radius = Radius;
    Invalidate();
}

void TStyledButton::SetDown(bool Down) {
    if (FDown == Down) return;
    FDown = Down;
    Invalidate();
    NotifyStateChange(Handle());
}

bool TStyledButton::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!Handle()) return false;
    Info.Name = AccessibleName();
    Info.Role = ROLE_SYSTEM_PUSHBUTTON;
    Info.State = WindowAccessibleState(Handle()) | (FDown ? STATE_SYSTEM_PRESSED : 0);
    Info.DefaultAction = kActionPress;
    return true;
}

void TStyledButton::OnAccessibleAction() {
    if (Enabled()) Click();
}

TStyledButtonState TStyledButton::State() const {
    if (!Enabled()) return TStyledButtonState::Disabled;
    if (Handle() && (SendMessageW(Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED)) return TStyledButtonState::Pressed;
    if (FDown) return TStyledButtonState::Selected;
    if (FHot) return TStyledButtonState::Hot;
    return TStyledButtonState::Normal;
}

TStyledButtonAttributes TStyledButton::CurrentAttributes() const {
    const TButtonStyleSettings s = StyleSettings();
    const TStyledButtonState state = State();
    TStyledButtonAttributes a = ResolveButtonStyle(s.Family, s.ButtonClass, s.Appearance)[state];
    a.DrawType = s.DrawType;
    return HighContrastOn() ? SystemColorAttributes(state, a) : a;
}

void TStyledButton::Click() {
    if (OnClick) OnClick(this);
}

bool TStyledButton::OnCommandReflected(WORD Code) {
    if (Code != BN_CLICKED) return false;
    Click();
    return true;
}

LRESULT TStyledButton::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_ERASEBKGND:
        return 1;
    case WM_GETDLGCODE:
        // Enter reaches the button instead of the window's default button.
        if (WParam == VK_RETURN) return DLGC_WANTMESSAGE | DLGC_BUTTON;
        break;
    case WM_KEYDOWN:
        if (WParam == VK_RETURN) {
            if (Enabled()) Click();
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (!FHot) {
            FHot = true;
            TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
            TrackMouseEvent(&track);
            Invalidate();
        }
        break;
    case WM_MOUSELEAVE:
        FHot = false;
        Invalidate();
        break;
    case WM_ENABLE:
        FHot = false;
        Invalidate();
        break;
    }
    return TWindow::WndProc(Msg, WParam, LParam);
}

bool TStyledButton::OnDrawItemReflected(const DRAWITEMSTRUCT& Item) {
    const TButtonStyleSettings s = StyleSettings();
    TBufferedPaint buffer(Item.hDC, Item.rcItem);
    const bool focus = (Item.itemState & ODS_FOCUS) && !(Item.itemState & ODS_NOFOCUSRECT);
    const int radius = Scale(s.Radius < 0 ? DefaultButtonRadius : s.Radius);
    PaintStyledButton(buffer.DC(), buffer.Rect(), DrawnAttributes(), radius, Caption(), FontHandle(),
                      Parent() ? Parent()->Color() : Color(), focus);
    return true;
}

} // namespace tidora
