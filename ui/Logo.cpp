#include "ui/Logo.h"

#include "ui/Graphics.h"
#include "ui/QuenbyButtonStyles.h"

namespace tidora {

void PaintLogo(HDC DC, const RECT& Rect, COLORREF Background, bool HighContrast) {
    FillSolidRect(DC, Rect, Background);
    const double h = Rect.bottom - Rect.top;
    const double k = h / 50.0;  // the design is 112 x 50
    const double left = Rect.left, top = Rect.top;
    {
        TShapeCanvas canvas(DC, Rect);
        // The mark: a rounded square of the accent blue.
        const double x = left + 4 * k, y = top + 10 * k, s = 30 * k;
        canvas.FillRoundRect(x, y, x + s, y + s, 7 * k, AccentColor);
        // In it a white ring open at the top right, the freed room, and a
        // spark in the opening.
        const double cx = x + s / 2, cy = y + s / 2, rr = 8.5 * k;
        canvas.StrokeArc(cx, cy, rr, -20, 290, 3.2 * k, RGB(255, 255, 255));
        canvas.FillCircle(cx + rr * 0.62, cy - rr * 0.95, 2.3 * k, RGB(255, 255, 255));
    }

    // The word, in the window's dark text colour.
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(19 * k + 0.5);
    lf.lfWeight = FW_SEMIBOLD;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lstrcpynW(lf.lfFaceName, L"Segoe UI", LF_FACESIZE);
    UniqueGdiObject font(CreateFontIndirectW(&lf));
    if (!font) return;
    // It starts a sixth of its height past the room the mark takes.
    const RECT box{static_cast<LONG>(left + 38 * k - lf.lfHeight / 6.0 + 0.5), Rect.top, Rect.right, Rect.bottom};
    const COLORREF word = HighContrast ? GetSysColor(COLOR_WINDOWTEXT) : RGB(40, 44, 52);
    DrawTextTransparent(DC, L"Tidora", box, static_cast<HFONT>(font.get()), word,
                        DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TLogoImage::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraLogo";
    Params.Style = (Params.Style & ~WS_CLIPCHILDREN) | WS_TABSTOP;
}

void TLogoImage::OnCreated() {
    // For screen readers: what the picture shows.
    SetWindowTextW(Handle(), L"Tidora");
}

void TLogoImage::OnPaint(HDC DC, const RECT& Client) {
    PaintLogo(DC, Client, Color(), HighContrastOn());
    const LRESULT cues = SendMessageW(Handle(), WM_QUERYUISTATE, 0, 0);
    if (Focused() && !(cues & UISF_HIDEFOCUS)) {
        RECT focus{Client.left + 1, Client.top + 1, Client.right - 1, Client.bottom - 1};
        SetTextColor(DC, RGB(0, 0, 0));
        SetBkColor(DC, RGB(255, 255, 255));
        DrawFocusRect(DC, &focus);
    }
}

} // namespace tidora
