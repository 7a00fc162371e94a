#include "ui/StyledButton.h"

#include <oleacc.h>

#include "ui/Graphics.h"

namespace tidora {

TStyledButton::TStyledButton(TWindow* Parent) : TWindow(Parent) {
    SetHasCaption(true);
}

void TStyledButton::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraButton";
    Params.Style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS;
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
    if (FPushed) return TStyledButtonState::Pressed;
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

void TStyledButton::SetPushed(bool Pushed) {
    if (FPushed == Pushed) return;
    FPushed = Pushed;
    Invalidate();
}

bool TStyledButton::EndPress(bool Inside) {
    const bool click = (FMousePress || FSpacePress) && FPushed && Inside;
    const bool captured = FMousePress;
    FMousePress = FSpacePress = false;
    SetPushed(false);
    // Cleared first: losing the capture comes back here as WM_CAPTURECHANGED.
    if (captured && GetCapture() == Handle()) ReleaseCapture();
    return click;
}

LRESULT TStyledButton::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_GETDLGCODE:
        // Enter reaches the button instead of the window's default button.
        if (WParam == VK_RETURN) return DLGC_WANTMESSAGE | DLGC_BUTTON;
        return DLGC_BUTTON;
    case WM_KEYDOWN:
        if (WParam == VK_RETURN) {
            if (Enabled()) Click();
            return 0;
        }
        if (WParam == VK_SPACE) {
            // Held down, the key repeats: the press began with the first.
            if (Enabled() && !FMousePress && !(LParam & 0x40000000)) {
                FSpacePress = true;
                SetPushed(true);
            }
            return 0;
        }
        break;
    case WM_KEYUP:
        if (WParam == VK_SPACE) {
            if (FSpacePress && EndPress(true)) Click();
            return 0;
        }
        break;
    case WM_LBUTTONDBLCLK:
        // A quick second click is a second press, as on a system button.
        OnMouseDown(POINT{});
        return 0;
    case WM_CAPTURECHANGED:
        if (FMousePress && reinterpret_cast<HWND>(LParam) != Handle()) EndPress(false);
        break;
    case WM_ENABLE:
        FHot = false;
        if (!WParam) EndPress(false);
        Invalidate();
        break;
    case WM_SETFOCUS:
    case WM_UPDATEUISTATE:
        Invalidate();
        break;
    case WM_KILLFOCUS:
        if (FSpacePress) EndPress(false);
        Invalidate();
        break;
    case BM_CLICK:
        // As a system button: pressed and released by the mouse, so it takes
        // the focus; a disabled button does nothing.
        if (Enabled()) {
            SendMessageW(Handle(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessageW(Handle(), WM_LBUTTONUP, 0, 0);
        }
        return 0;
    case BM_GETSTATE:
        return (FPushed ? BST_PUSHED : 0) | (Focused() ? BST_FOCUS : 0);
    case BM_SETSTATE:
        SetPushed(WParam != 0);
        return 0;
    }
    return TWindow::WndProc(Msg, WParam, LParam);
}

void TStyledButton::OnMouseDown(POINT) {
    if (!Enabled()) return;
    SetFocus();
    SetCapture(Handle());
    FSpacePress = false;
    FMousePress = true;
    SetPushed(true);
}

void TStyledButton::OnMouseUp(POINT At) {
    const RECT client = ClientRect();
    if (FMousePress && EndPress(PtInRect(&client, At) != FALSE)) Click();
}

void TStyledButton::OnMouseMove(POINT At) {
    // Pushed only while the pointer is on it, as a system button.
    const RECT client = ClientRect();
    if (FMousePress) SetPushed(PtInRect(&client, At) != FALSE);
    if (!FHot) {
        FHot = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
        TrackMouseEvent(&track);
        Invalidate();
    }
}

void TStyledButton::OnMouseLeave() {
    FHot = false;
    Invalidate();
}

void TStyledButton::OnPaint(HDC DC, const RECT& Client) {
    const TButtonStyleSettings s = StyleSettings();
    const LRESULT cues = SendMessageW(Handle(), WM_QUERYUISTATE, 0, 0);
    const bool focus = Focused() && !(cues & UISF_HIDEFOCUS);
    const int radius = Scale(s.Radius < 0 ? DefaultButtonRadius : s.Radius);
    PaintStyledButton(DC, Client, DrawnAttributes(), radius, Caption(), FontHandle(),
                      Parent() ? Parent()->Color() : Color(), focus);
}

} // namespace tidora
