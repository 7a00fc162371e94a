#pragma once
// A filled rectangle with a one-pixel frame (a line, a separator).
#include "ui/Window.h"

namespace tidora {

class TShape : public TWindow {
public:
    explicit TShape(TWindow* Parent) : TWindow(Parent) {}

    COLORREF BrushColor() const { return FBrush; }
    COLORREF PenColor() const { return FPen; }
    void SetBrushColor(COLORREF Color);
    void SetPenColor(COLORREF Color);

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnPaint(HDC DC, const RECT& Client) override;

private:
    COLORREF FBrush = RGB(255, 255, 255);
    COLORREF FPen = RGB(0, 0, 0);
};

} // namespace tidora
