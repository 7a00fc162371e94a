#include "ui/StyledToolbar.h"

namespace tidora {

TStyledToolButton::TStyledToolButton(TWindow* Parent)
    : TStyledButton(Parent), FToolbar(dynamic_cast<TStyledToolbar*>(Parent)) {}

TButtonStyleSettings TStyledToolButton::StyleSettings() const {
    return FToolbar ? FToolbar->StyleSettings() : TStyledButton::StyleSettings();
}

TStyledButtonAttributes TStyledToolButton::DrawnAttributes() const {
    TStyledButtonAttributes a = CurrentAttributes();
    if (a.ButtonDrawStyle == TButtonDrawStyle::btnClear) a.BorderDrawStyle = TBorderDrawStyle::brdClear;
    return a;
}

LRESULT TStyledToolButton::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    const bool arrow = WParam == VK_LEFT || WParam == VK_RIGHT || WParam == VK_UP || WParam == VK_DOWN;
    if (Msg == WM_GETDLGCODE && arrow) return DLGC_WANTARROWS | DLGC_BUTTON;
    if (Msg == WM_KEYDOWN && arrow && FToolbar) {
        // Forward is to the right, or to the left where the layout is mirrored.
        int step = WParam == VK_RIGHT || WParam == VK_DOWN ? 1 : -1;
        if ((WParam == VK_LEFT || WParam == VK_RIGHT) && RightToLeft()) step = -step;
        const int count = FToolbar->ButtonCount();
        const int here = FToolbar->IndexOf(this);
        for (int i = 1; here >= 0 && i < count; ++i) {
            TStyledToolButton* next = FToolbar->Button(((here + step * i) % count + count) % count);
            if (next->Enabled() && next->Visible()) {
                next->SetFocus();
                break;
            }
        }
        return 0;
    }
    return TStyledButton::WndProc(Msg, WParam, LParam);
}

void TStyledToolButton::SetDown(bool Down) {
    TStyledButton::SetDown(Down);
    if (Down && FToolbar) FToolbar->ButtonWentDown(this);
}

void TStyledToolbar::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraToolbar";
    Params.ExStyle |= WS_EX_CONTROLPARENT;
}

void TStyledToolbar::SetStyle(const TButtonStyleSettings& Settings) {
    FStyle = Settings;
    for (int i = 0; i < ButtonCount(); ++i) Button(i)->Invalidate();
}

void TStyledToolbar::SetButtonSize(int Width, int Height) {
    FButtonWidth = Width;
    FButtonHeight = Height;
    Realign();
}

void TStyledToolbar::SetIndent(int Indent) {
    FIndent = Indent;
    Realign();
}

TStyledToolButton* TStyledToolbar::AddButton(const std::wstring& Name, const std::wstring& Caption) {
    const int left = ButtonCount() * FButtonWidth;
    auto* button = Create<TStyledToolButton>(this, Name, TBounds{left, 0, FButtonWidth, FButtonHeight});
    button->SetCaption(Caption);
    Realign();
    return button;
}

int TStyledToolbar::ButtonCount() const {
    int count = 0;
    for (TWindow* child : Children())
        if (dynamic_cast<TStyledToolButton*>(child)) ++count;
    return count;
}

TStyledToolButton* TStyledToolbar::Button(int Index) const {
    for (TWindow* child : Children()) {
        auto* button = dynamic_cast<TStyledToolButton*>(child);
        if (button && Index-- == 0) return button;
    }
    return nullptr;
}

int TStyledToolbar::DownIndex() const {
    for (int i = 0; i < ButtonCount(); ++i)
        if (Button(i)->Down()) return i;
    return -1;
}

int TStyledToolbar::IndexOf(const TStyledToolButton* Wanted) const {
    for (int i = 0; i < ButtonCount(); ++i)
        if (Button(i) == Wanted) return i;
    return -1;
}

void TStyledToolbar::ButtonWentDown(TStyledToolButton* Pressed) {
    for (int i = 0; i < ButtonCount(); ++i)
        if (Button(i) != Pressed) Button(i)->SetDown(false);
}

void TStyledToolbar::Realign() {
    // Buttons stand side by side from the indent on, in creation order.
    int left = FIndent;
    for (int i = 0; i < ButtonCount(); ++i) {
        TStyledToolButton* button = Button(i);
        TBounds b{left, 0, FButtonWidth, FButtonHeight};
        if (button->Bounds().Left != b.Left || button->Bounds().Width != b.Width ||
            button->Bounds().Height != b.Height)
            button->SetBounds(b);
        left += FButtonWidth;
    }
    TWindow::Realign();
}

} // namespace tidora
