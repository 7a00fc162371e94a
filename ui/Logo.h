#pragma once
// The program's logo, drawn as vector art at any size: a blue rounded square
// with a white ring and spark, beside the word "Tidora".
#include "ui/Clickable.h"

namespace tidora {

// Paints the logo into Rect (designed for 112 x 50, scaled to Rect's height);
// in high contrast the word takes the system's text colour.
void PaintLogo(HDC DC, const RECT& Rect, COLORREF Background, bool HighContrast);

// The logo as a clickable picture with the hand cursor. It takes the focus
// (Tab) and answers Enter and Space, so it can be used without a mouse.
class TLogoImage : public TClickable {
public:
    explicit TLogoImage(TWindow* Parent) : TClickable(Parent) {}

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnCreated() override;
    void OnPaint(HDC DC, const RECT& Client) override;
};

} // namespace tidora
