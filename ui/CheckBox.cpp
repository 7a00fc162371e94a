#include "ui/CheckBox.h"

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

bool TCheckBox::OnCommandReflected(WORD Code) {
    if (Code != BN_CLICKED) return false;
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
    SetTextColor(DC, Font().Color);
    return static_cast<HBRUSH>(FBrush.get());
}

} // namespace tidora
