#pragma once
// The styled-button framework: named style families give a button, by its
// class and appearance, one attribute set per visual state; the styled
// buttons and toolbars ask the family named in their settings and draw each
// state with its set.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tidora {

enum class TStyledButtonDrawType { btRect, btRoundRect, btRounded };
enum class TButtonDrawStyle { btnClear, btnSolid };
enum class TBorderDrawStyle { brdClear, brdSolid };
enum class TStyledButtonState { Normal, Pressed, Selected, Hot, Disabled };

// Bits of TStyledButtonAttributes::FontStyle.
enum : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

struct TStyledButtonAttributes {
    TStyledButtonDrawType DrawType = TStyledButtonDrawType::btRoundRect;
    TButtonDrawStyle ButtonDrawStyle = TButtonDrawStyle::btnSolid;
    TBorderDrawStyle BorderDrawStyle = TBorderDrawStyle::brdSolid;
    COLORREF ButtonColor = RGB(225, 225, 225);
    COLORREF BorderColor = RGB(173, 173, 173);
    int BorderWidth = 1;
    COLORREF FontColor = RGB(0, 0, 0);
    unsigned FontStyle = 0;
    bool operator==(const TStyledButtonAttributes& o) const {
        return DrawType == o.DrawType && ButtonDrawStyle == o.ButtonDrawStyle &&
               BorderDrawStyle == o.BorderDrawStyle && ButtonColor == o.ButtonColor &&
               BorderColor == o.BorderColor && BorderWidth == o.BorderWidth && FontColor == o.FontColor &&
               FontStyle == o.FontStyle;
    }
    bool operator!=(const TStyledButtonAttributes& o) const { return !(*this == o); }
};

using TButtonClasses = std::vector<std::wstring>;
using TButtonAppearances = std::vector<std::wstring>;

// A family of button styles; the registry keeps each family for the life of
// the program.
class TButtonStyleFamily {
public:
    virtual ~TButtonStyleFamily() = default;
    virtual void FillAttributes(const std::wstring& Family, const std::wstring& ButtonClass,
                                const std::wstring& Appearance, TStyledButtonAttributes& Normal,
                                TStyledButtonAttributes& Pressed, TStyledButtonAttributes& Selected,
                                TStyledButtonAttributes& Hot, TStyledButtonAttributes& Disabled) = 0;
    virtual std::wstring FamilyName() const = 0;
    virtual const TButtonClasses& ClassList() const = 0;
    virtual const TButtonAppearances& AppearanceList() const = 0;
    // The class and appearance for a button of a dialog result (IDOK, IDYES ...).
    virtual void StyleForResult(int ModalResult, std::wstring& ButtonClass, std::wstring& Appearance) const = 0;
};

// Adds a family under its name (replacing one of the same name).
void RegisterButtonStyleFamily(std::shared_ptr<TButtonStyleFamily> Family);
// The family of that name (case ignored), or null.
std::shared_ptr<TButtonStyleFamily> FindButtonStyleFamily(const std::wstring& Name);

// The five sets of one button, in the order of the states.
struct TStyledButtonStyle {
    TStyledButtonAttributes States[5];
    const TStyledButtonAttributes& operator[](TStyledButtonState S) const { return States[static_cast<int>(S)]; }
};
// The sets a registered family gives; a family that is not registered gives
// the framework's plain grey button.
TStyledButtonStyle ResolveButtonStyle(const std::wstring& Family, const std::wstring& ButtonClass,
                                      const std::wstring& Appearance);

// The framework's colour rules. Lighter: each channel moves Percent of the way
// to 255, rounded as the platform's multiply-divide rounds. Grey: the
// luminance 0.299 R + 0.587 G + 0.114 B in all three channels, halves to even.
COLORREF LighterColor(COLORREF Color, int Percent);
COLORREF GreyColor(COLORREF Color);

// The set of a state in the system's colours (high contrast): a framed face of
// the button colour, the highlight colours while pointed at, pressed or held
// down, grey text when disabled; the shape stays as Base has it.
TStyledButtonAttributes SystemColorAttributes(TStyledButtonState State, const TStyledButtonAttributes& Base);

// Corner radius at 96 dpi for a button whose settings give none.
constexpr int DefaultButtonRadius = 5;

// Draws a button face with its caption into DC. Radius in device pixels.
void PaintStyledButton(HDC DC, const RECT& Rect, const TStyledButtonAttributes& Attributes, int Radius,
                       const std::wstring& Caption, HFONT Font, COLORREF Background, bool FocusRect);

} // namespace tidora
