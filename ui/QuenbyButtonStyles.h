#pragma once
// The program's own button style family "Quenby": one class, "Primary", and
// three appearances built on the accent blue of the window theme.
#include "ui/ButtonStyle.h"

namespace tidora {

// The accent blue RGB(61, 132, 221).
constexpr COLORREF AccentColor = RGB(61, 132, 221);

class TQuenbyButtonStyles : public TButtonStyleFamily {
public:
    void FillAttributes(const std::wstring& Family, const std::wstring& ButtonClass, const std::wstring& Appearance,
                        TStyledButtonAttributes& Normal, TStyledButtonAttributes& Pressed,
                        TStyledButtonAttributes& Selected, TStyledButtonAttributes& Hot,
                        TStyledButtonAttributes& Disabled) override;
    std::wstring FamilyName() const override;
    const TButtonClasses& ClassList() const override;
    const TButtonAppearances& AppearanceList() const override;
    void StyleForResult(int ModalResult, std::wstring& ButtonClass, std::wstring& Appearance) const override;
};

// Registers the family; a start-up step, before any window exists.
void RegisterQuenbyButtonStyles();

} // namespace tidora
