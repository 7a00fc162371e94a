#include "ui/QuenbyButtonStyles.h"

#include "system/Strings.h"

namespace tidora {
namespace {

const wchar_t FamilyNameText[] = L"Quenby";
const wchar_t ClassPrimary[] = L"Primary";
const wchar_t AppearanceNormal[] = L"Normal";
const wchar_t AppearanceHeader[] = L"Header";
const wchar_t AppearanceOutline[] = L"Outline";

constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
constexpr COLORREF Silver = RGB(192, 192, 192);

TStyledButtonAttributes Set(TButtonDrawStyle Face, TBorderDrawStyle Border, COLORREF FaceColor,
                            COLORREF BorderColor, COLORREF FontColor) {
    TStyledButtonAttributes a;
    a.DrawType = TStyledButtonDrawType::btRoundRect;
    a.ButtonDrawStyle = Face;
    a.BorderDrawStyle = Border;
    a.ButtonColor = FaceColor;
    a.BorderColor = BorderColor;
    a.BorderWidth = 0;
    a.FontColor = FontColor;
    a.FontStyle = 0;
    return a;
}

void Restyle(TStyledButtonAttributes& A, TButtonDrawStyle Face, TBorderDrawStyle Border, COLORREF FaceColor,
             COLORREF BorderColor, COLORREF FontColor) {
    A.ButtonDrawStyle = Face;
    A.BorderDrawStyle = Border;
    A.ButtonColor = FaceColor;
    A.BorderColor = BorderColor;
    A.FontColor = FontColor;
}

} // namespace

void TQuenbyButtonStyles::FillAttributes(const std::wstring&, const std::wstring&, const std::wstring& Appearance,
                                         TStyledButtonAttributes& Normal, TStyledButtonAttributes& Pressed,
                                         TStyledButtonAttributes& Selected, TStyledButtonAttributes& Hot,
                                         TStyledButtonAttributes& Disabled) {
    using B = TButtonDrawStyle;
    using R = TBorderDrawStyle;
    const COLORREF a = AccentColor;
    const COLORREF a10 = LighterColor(a, 10);
    if (EqualsTextAscii(Appearance, AppearanceHeader)) {
        Normal = Set(B::btnClear, R::brdSolid, White, Black, Black);
        Pressed = Selected = Hot = Disabled = Normal;
        Restyle(Pressed, B::btnSolid, R::brdClear, a, a, White);
        Restyle(Hot, B::btnSolid, R::brdClear, a, a, White);
        Restyle(Selected, B::btnSolid, R::brdClear, a10, a, White);
        Restyle(Disabled, B::btnClear, R::brdSolid, White, GreyColor(LighterColor(a, 50)),
                GreyColor(LighterColor(Black, 50)));
    } else if (EqualsTextAscii(Appearance, AppearanceOutline)) {
        Normal = Set(B::btnClear, R::brdSolid, a, a, Black);
        Pressed = Selected = Hot = Disabled = Normal;
        Restyle(Pressed, B::btnSolid, R::brdSolid, a, a, White);
        Restyle(Hot, B::btnSolid, R::brdSolid, a10, a, White);
        Restyle(Selected, B::btnSolid, R::brdSolid, a10, a, White);
        Restyle(Disabled, B::btnClear, R::brdSolid, a, GreyColor(LighterColor(a, 70)),
                GreyColor(LighterColor(Black, 70)));
    } else {
        // "Normal" and any appearance the family does not list.
        Normal = Set(B::btnSolid, R::brdSolid, a, a, White);
        Pressed = Selected = Hot = Disabled = Normal;
        Restyle(Hot, B::btnSolid, R::brdSolid, a10, a, White);
        Restyle(Disabled, B::btnSolid, R::brdSolid, White, Silver, Silver);
    }
}

std::wstring TQuenbyButtonStyles::FamilyName() const {
    return FamilyNameText;
}

const TButtonClasses& TQuenbyButtonStyles::ClassList() const {
    static const TButtonClasses classes{ClassPrimary};
    return classes;
}

const TButtonAppearances& TQuenbyButtonStyles::AppearanceList() const {
    static const TButtonAppearances appearances{AppearanceNormal, AppearanceHeader, AppearanceOutline};
    return appearances;
}

void TQuenbyButtonStyles::StyleForResult(int, std::wstring& ButtonClass, std::wstring& Appearance) const {
    ButtonClass = ClassPrimary;
    Appearance = AppearanceNormal;
}

void RegisterQuenbyButtonStyles() {
    RegisterButtonStyleFamily(std::make_shared<TQuenbyButtonStyles>());
}

} // namespace tidora
