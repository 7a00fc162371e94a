#include "ui/Clickable.h"

#include <oleacc.h>

namespace tidora {

LRESULT TClickable::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_UPDATEUISTATE:
        Invalidate();
        break;
    case WM_GETDLGCODE:
        // Enter and Space reach the control instead of the dialog navigation.
        if (WParam == VK_RETURN || WParam == VK_SPACE) return DLGC_WANTMESSAGE;
        break;
    case WM_KEYDOWN:
        if (WParam == VK_RETURN || WParam == VK_SPACE) {
            if (OnClick) OnClick(this);
            return 0;
        }
        break;
    }
    return TWindow::WndProc(Msg, WParam, LParam);
}

bool TClickable::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!Handle()) return false;
    Info.Name = AccessibleName();
    Info.Role = ROLE_SYSTEM_LINK;
    Info.State = WindowAccessibleState(Handle()) | STATE_SYSTEM_LINKED;
    Info.DefaultAction = kActionJump;
    return true;
}

void TClickable::OnAccessibleAction() {
    if (OnClick && Enabled()) OnClick(this);
}

void TClickable::OnMouseDown(POINT) {
    FPressed = true;
    SetFocus();
    SetCapture(Handle());
}

void TClickable::OnMouseUp(POINT At) {
    if (!FPressed) return;
    FPressed = false;
    ReleaseCapture();
    const RECT client = ClientRect();
    if (PtInRect(&client, At) && OnClick) OnClick(this);
}

HCURSOR TClickable::OnCursor() {
    return LoadCursorW(nullptr, IDC_HAND);
}

} // namespace tidora
