#include "ui/Label.h"

#include <oleacc.h>

#include "system/Handles.h"
#include "ui/Graphics.h"

namespace tidora {

TLabel::TLabel(TWindow* Parent) : TWindow(Parent) {
    SetHasCaption(true);
}

void TLabel::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraLabel";
    Params.Style &= ~WS_CLIPCHILDREN;
}

void TLabel::SetAlignment(TTextAlign Alignment) {
    FAlignment = Alignment;
    Invalidate();
}

void TLabel::SetVerticalCenter(bool Center) {
    FVerticalCenter = Center;
    Invalidate();
}

void TLabel::SetWordWrap(bool Wrap) {
    FWordWrap = Wrap;
    Invalidate();
}

bool TLabel::AccessibleInfo(TAccessibleInfo& Info) const {
    if (!Handle()) return false;
    Info.Name = AccessibleName() == Caption() ? ShownText() : AccessibleName();
    Info.Role = ROLE_SYSTEM_STATICTEXT;
    Info.State = WindowAccessibleState(Handle()) | STATE_SYSTEM_READONLY;
    return true;
}

COLORREF TLabel::TextColor() const {
    return HighContrastOn() ? GetSysColor(COLOR_WINDOWTEXT) : Font().Color;
}

void TLabel::OnPaint(HDC DC, const RECT& Client) {
    FillSolidRect(DC, Client, Color());
    const std::wstring text = Caption();
    const UniqueSelection font(DC, FontHandle());
    SetBkMode(DC, TRANSPARENT);
    SetTextColor(DC, TextColor());
    // The buffer is not mirrored, so a mirrored window's leading edge is the right.
    TTextAlign align = FAlignment;
    UINT flags = DT_NOPREFIX;
    if (RightToLeft()) {
        flags |= DT_RTLREADING;
        if (align == TTextAlign::taLeft) align = TTextAlign::taRight;
        else if (align == TTextAlign::taRight) align = TTextAlign::taLeft;
    }
    flags |= align == TTextAlign::taCenter ? DT_CENTER : align == TTextAlign::taRight ? DT_RIGHT : DT_LEFT;
    RECT r = Client;
    if (FWordWrap) {
        flags |= DT_WORDBREAK;
        if (FVerticalCenter) {
            RECT measure = Client;
            DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &measure, flags | DT_CALCRECT);
            const int h = measure.bottom - measure.top;
            r.top += (Client.bottom - Client.top - h) / 2;
        }
    } else {
        flags |= DT_SINGLELINE | (FVerticalCenter ? DT_VCENTER : 0);
    }
    DrawTextW(DC, text.c_str(), static_cast<int>(text.size()), &r, flags);
}

} // namespace tidora
