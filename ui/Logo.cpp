#include "ui/Logo.h"

#include <objidl.h>
#include <gdiplus.h>

#include "ui/Graphics.h"
#include "ui/QuenbyButtonStyles.h"

namespace tidora {

void PaintLogo(HDC DC, const RECT& Rect, COLORREF Background, bool HighContrast) {
    FillSolidRect(DC, Rect, Background);
    if (!EnsureGdiplus()) return;
    using namespace Gdiplus;
    const REAL h = static_cast<REAL>(Rect.bottom - Rect.top);
    const REAL k = h / 50.0f;  // the design is 112 x 50
    const REAL left = static_cast<REAL>(Rect.left), top = static_cast<REAL>(Rect.top);
    {
        Graphics g(DC);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        g.SetPixelOffsetMode(PixelOffsetModeHalf);

        // The mark: a rounded square of the accent blue.
        const REAL x = left + 4 * k, y = top + 10 * k, s = 30 * k, r = 7 * k;
        GraphicsPath square;
        square.AddArc(x, y, 2 * r, 2 * r, 180, 90);
        square.AddArc(x + s - 2 * r, y, 2 * r, 2 * r, 270, 90);
        square.AddArc(x + s - 2 * r, y + s - 2 * r, 2 * r, 2 * r, 0, 90);
        square.AddArc(x, y + s - 2 * r, 2 * r, 2 * r, 90, 90);
        square.CloseFigure();
        SolidBrush blue(Color(255, GetRValue(AccentColor), GetGValue(AccentColor), GetBValue(AccentColor)));
        g.FillPath(&blue, &square);

        // In it a white ring open at the top right, the freed room, and a
        // spark in the opening.
        Pen ring(Color(255, 255, 255, 255), 3.2f * k);
        ring.SetStartCap(LineCapRound);
        ring.SetEndCap(LineCapRound);
        const REAL cx = x + s / 2, cy = y + s / 2, rr = 8.5f * k;
        g.DrawArc(&ring, cx - rr, cy - rr, 2 * rr, 2 * rr, -20, 290);
        SolidBrush white(Color(255, 255, 255, 255));
        const REAL d = 4.6f * k;
        g.FillEllipse(&white, cx + rr * 0.62f - d / 2, cy - rr * 0.95f - d / 2, d, d);
    }

    // The word, in the window's dark text colour. Drawn by GDI: GDI+ text
    // took longer than the rest of the window's first paint under Wine.
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(19 * k + 0.5f);
    lf.lfWeight = FW_SEMIBOLD;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lstrcpynW(lf.lfFaceName, L"Segoe UI", LF_FACESIZE);
    UniqueGdiObject font(CreateFontIndirectW(&lf));
    if (!font) return;
    // GDI+ set the word off by a sixth of its height; the layout keeps that.
    const RECT box{static_cast<LONG>(left + 38 * k - lf.lfHeight / 6.0f + 0.5f), Rect.top, Rect.right, Rect.bottom};
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
