#include "ui/ButtonStyle.h"

#include <map>

#include "system/Strings.h"
#include "ui/Graphics.h"

namespace tidora {
namespace {

std::map<std::wstring, std::shared_ptr<TButtonStyleFamily>>& Families() {
    static std::map<std::wstring, std::shared_ptr<TButtonStyleFamily>> families;
    return families;
}

std::wstring Key(const std::wstring& Name) {
    return UpperCaseAscii(Name);
}

int LighterChannel(int Value, int Percent) {
    return Value + MulDiv(255 - Value, Percent, 100);
}

} // namespace

void RegisterButtonStyleFamily(std::shared_ptr<TButtonStyleFamily> Family) {
    if (!Family) return;
    Families()[Key(Family->FamilyName())] = std::move(Family);
}

std::shared_ptr<TButtonStyleFamily> FindButtonStyleFamily(const std::wstring& Name) {
    auto it = Families().find(Key(Name));
    return it == Families().end() ? nullptr : it->second;
}

TStyledButtonStyle ResolveButtonStyle(const std::wstring& Family, const std::wstring& ButtonClass,
                                      const std::wstring& Appearance) {
    TStyledButtonStyle style;
    if (auto family = FindButtonStyleFamily(Family)) {
        family->FillAttributes(Family, ButtonClass, Appearance, style.States[0], style.States[1],
                               style.States[2], style.States[3], style.States[4]);
        return style;
    }
    TStyledButtonAttributes& hot = style.States[static_cast<int>(TStyledButtonState::Hot)];
    hot.ButtonColor = RGB(229, 241, 251);
    hot.BorderColor = RGB(0, 120, 215);
    TStyledButtonAttributes& pressed = style.States[static_cast<int>(TStyledButtonState::Pressed)];
    pressed.ButtonColor = RGB(204, 228, 247);
    pressed.BorderColor = RGB(0, 84, 153);
    style.States[static_cast<int>(TStyledButtonState::Selected)] = pressed;
    TStyledButtonAttributes& disabled = style.States[static_cast<int>(TStyledButtonState::Disabled)];
    disabled.ButtonColor = RGB(204, 204, 204);
    disabled.BorderColor = RGB(191, 191, 191);
    disabled.FontColor = RGB(131, 131, 131);
    return style;
}

COLORREF LighterColor(COLORREF Color, int Percent) {
    return RGB(LighterChannel(GetRValue(Color), Percent), LighterChannel(GetGValue(Color), Percent),
               LighterChannel(GetBValue(Color), Percent));
}

COLORREF GreyColor(COLORREF Color) {
    // In thousandths, so the half is exact.
    const int scaled = 299 * GetRValue(Color) + 587 * GetGValue(Color) + 114 * GetBValue(Color);
    int grey = scaled / 1000;
    const int rest = scaled % 1000;
    if (rest > 500 || (rest == 500 && grey % 2 == 1)) ++grey;
    return RGB(grey, grey, grey);
}

TStyledButtonAttributes SystemColorAttributes(TStyledButtonState State, const TStyledButtonAttributes& Base) {
    TStyledButtonAttributes a = Base;
    a.ButtonDrawStyle = TButtonDrawStyle::btnSolid;
    a.BorderDrawStyle = TBorderDrawStyle::brdSolid;
    switch (State) {
    case TStyledButtonState::Normal:
        a.ButtonColor = GetSysColor(COLOR_BTNFACE);
        a.BorderColor = a.FontColor = GetSysColor(COLOR_BTNTEXT);
        break;
    case TStyledButtonState::Pressed:
    case TStyledButtonState::Selected:
    case TStyledButtonState::Hot:
        a.ButtonColor = a.BorderColor = GetSysColor(COLOR_HIGHLIGHT);
        a.FontColor = GetSysColor(COLOR_HIGHLIGHTTEXT);
        break;
    case TStyledButtonState::Disabled:
        a.ButtonColor = GetSysColor(COLOR_BTNFACE);
        a.BorderColor = a.FontColor = GetSysColor(COLOR_GRAYTEXT);
        break;
    }
    return a;
}

void PaintStyledButton(HDC DC, const RECT& Rect, const TStyledButtonAttributes& A, int Radius,
                       const std::wstring& Caption, HFONT Font, COLORREF Background, bool FocusRect) {
    FillSolidRect(DC, Rect, Background);
    const int radius = A.DrawType == TStyledButtonDrawType::btRect ? 0
                       : A.DrawType == TStyledButtonDrawType::btRounded
                           ? (Rect.bottom - Rect.top) / 2
                           : Radius;
    DrawRoundRect(DC, Rect, radius, A.ButtonDrawStyle == TButtonDrawStyle::btnSolid, A.ButtonColor,
                  A.BorderDrawStyle == TBorderDrawStyle::brdSolid, A.BorderColor, A.BorderWidth);

    LOGFONTW lf{};
    UniqueGdiObject styled;
    if (A.FontStyle && GetObjectW(Font, sizeof(lf), &lf)) {
        if (A.FontStyle & fsBold) lf.lfWeight = FW_BOLD;
        lf.lfItalic = (A.FontStyle & fsItalic) != 0;
        lf.lfUnderline = (A.FontStyle & fsUnderline) != 0;
        lf.lfStrikeOut = (A.FontStyle & fsStrikeOut) != 0;
        styled.reset(CreateFontIndirectW(&lf));
    }
    DrawTextTransparent(DC, Caption, Rect, styled ? static_cast<HFONT>(styled.get()) : Font, A.FontColor,
                        DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);

    if (FocusRect) {
        RECT focus{Rect.left + 3, Rect.top + 3, Rect.right - 3, Rect.bottom - 3};
        SetTextColor(DC, RGB(0, 0, 0));
        SetBkColor(DC, RGB(255, 255, 255));
        DrawFocusRect(DC, &focus);
    }
}

} // namespace tidora
