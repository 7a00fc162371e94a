#include "ui/Shape.h"

#include "ui/Graphics.h"

namespace tidora {

void TShape::SetBrushColor(COLORREF Color) {
    FBrush = Color;
    Invalidate();
}

void TShape::SetPenColor(COLORREF Color) {
    FPen = Color;
    Invalidate();
}

void TShape::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraShape";
    Params.Style &= ~WS_CLIPCHILDREN;
}

void TShape::OnPaint(HDC DC, const RECT& Client) {
    FillSolidRect(DC, Client, FPen);
    RECT inner{Client.left + 1, Client.top + 1, Client.right - 1, Client.bottom - 1};
    if (inner.right > inner.left && inner.bottom > inner.top) FillSolidRect(DC, inner, FBrush);
}

} // namespace tidora
