#include "ui/CheckBox.h"

#include <oleacc.h>

namespace tidora {

TCheckBox::TCheckBox(TWindow* Parent) : TWindow(Parent) {
    SetHasCaption(true);
}

void TCheckBox::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"BUTTON";
    Params.SystemClass = true;
    Params.Style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | BS_AUTOCHECKBOX;
}

bool TCheckBox::Checked() const {
    return Handle() && SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool Checked) {
    if (Handle()) SendMessageW(Handle(), BM_SETCHECK, Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!Handle()) return false;
    const bool checked = Checked();
    Info.Name = AccessibleName();
    Info.Role = ROLE_SYSTEM_CHECKBUTTON;
    Info.State = WindowAccessibleState(Handle()) | (checked ? STATE_SYSTEM_CHECKED : 0);
    Info.DefaultAction = checked ? kActionUncheck : kActionCheck;
    return true;
}

void TCheckBox::OnAccessibleAction() {
    if (Enabled()) SendMessageW(Handle(), BM_CLICK, 0, 0);
}

bool TCheckBox::OnCommandReflected(WORD Code) {
    if (Code != BN_CLICKED) return false;
    NotifyStateChange(Handle());
    if (OnClick) OnClick(this);
    return true;
}

HBRUSH TCheckBox::OnCtlColorReflected(HDC DC) {
    const COLORREF color = Color();
    if (!FBrush || FBrushColor != color) {
        FBrush.reset(CreateSolidBrush(color));
        FBrushColor = color;
    }
    SetBkColor(DC, color);
    SetTextColor(DC, HighContrastOn() ? GetSysColor(COLOR_WINDOWTEXT) : Font().Color);
    return static_cast<HBRUSH>(FBrush.get());
}

} // namespace tidora
