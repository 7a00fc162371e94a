#include "ui/Graphics.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>

namespace tidora {
namespace {

struct GdiplusSession {
    ULONG_PTR Token = 0;
    bool Started = false;
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Started = Gdiplus::GdiplusStartup(&Token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession() {
        if (Started) Gdiplus::GdiplusShutdown(Token);
    }
};

// The part of a pixel inside a shape whose edge is Distance from its centre
// (negative inside).
double CoverageAt(double Distance) {
    return Distance <= -0.5 ? 1.0 : Distance >= 0.5 ? 0.0 : 0.5 - Distance;
}

// Signed distance from (X, Y) to the edge of a rectangle with rounded corners.
double RoundRectDistance(double X, double Y, double Left, double Top, double Right, double Bottom, double Radius) {
    const double halfW = (Right - Left) / 2, halfH = (Bottom - Top) / 2;
    const double r = std::min(std::max(Radius, 0.0), std::min(halfW, halfH));
    const double qx = std::fabs(X - (Left + halfW)) - halfW + r, qy = std::fabs(Y - (Top + halfH)) - halfH + r;
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - r;
}

} // namespace

bool EnsureGdiplus() {
    static GdiplusSession session;
    return session.Started;
}

TShapeCanvas::TShapeCanvas(HDC Target, const RECT& Area) : FTarget(Target), FArea(Area) {
    const int w = Area.right - Area.left, h = Area.bottom - Area.top;
    if (w <= 0 || h <= 0) return;
    // Row y starts at FBits + y * w.
    const BITMAPINFO info = TopDownArgbFormat(w, h);
    void* bits = nullptr;
    FBitmap.reset(CreateDIBSection(Target, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    FDC.reset(CreateCompatibleDC(Target));
    if (!FBitmap || !FDC || !bits) return;
    FSelection.emplace(FDC.get(), FBitmap.get());
    if (!BitBlt(FDC.get(), 0, 0, w, h, Target, Area.left, Area.top, SRCCOPY)) return;
    GdiFlush();
    FBits = static_cast<unsigned*>(bits);
}

TShapeCanvas::~TShapeCanvas() {
    if (!FBits) return;
    GdiFlush();
    BitBlt(FTarget, FArea.left, FArea.top, FArea.right - FArea.left, FArea.bottom - FArea.top, FDC.get(), 0, 0,
           SRCCOPY);
}

template <typename TCoverage>
void TShapeCanvas::Blend(double Left, double Top, double Right, double Bottom, COLORREF Color,
                         TCoverage&& Coverage) {
    if (!FBits) return;
    const int w = FArea.right - FArea.left, h = FArea.bottom - FArea.top;
    const int areaLeft = FArea.left, areaTop = FArea.top;
    // Whole pixels of the area that the shape's box touches.
    const int x0 = std::max(static_cast<int>(std::floor(Left)) - areaLeft, 0);
    const int y0 = std::max(static_cast<int>(std::floor(Top)) - areaTop, 0);
    const int x1 = std::min(static_cast<int>(std::ceil(Right)) - areaLeft, w);
    const int y1 = std::min(static_cast<int>(std::ceil(Bottom)) - areaTop, h);
    const unsigned red = GetRValue(Color), green = GetGValue(Color), blue = GetBValue(Color);
    for (int y = y0; y < y1; ++y) {
        unsigned* row = FBits + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = x0; x < x1; ++x) {
            const double c = Coverage(areaLeft + x + 0.5, areaTop + y + 0.5);
            if (c <= 0) continue;
            const unsigned a = static_cast<unsigned>(c * 256 + 0.5);
            if (a >= 256) {
                row[x] = (red << 16) | (green << 8) | blue;
                continue;
            }
            const unsigned old = row[x];
            const auto mix = [a](unsigned From, unsigned To) { return (From * (256 - a) + To * a + 128) >> 8; };
            row[x] = (mix((old >> 16) & 0xFF, red) << 16) | (mix((old >> 8) & 0xFF, green) << 8) |
                     mix(old & 0xFF, blue);
        }
    }
}

void TShapeCanvas::FillRoundRect(double Left, double Top, double Right, double Bottom, double Radius,
                                 COLORREF Color) {
    Blend(Left, Top, Right, Bottom, Color, [&](double X, double Y) {
        return CoverageAt(RoundRectDistance(X, Y, Left, Top, Right, Bottom, Radius));
    });
}

void TShapeCanvas::FrameRoundRect(double Left, double Top, double Right, double Bottom, double Radius,
                                  double Width, COLORREF Color) {
    // The inner edge runs Width inside the outer one, its corners as much
    // tighter, so the band is Width wide round the corners too.
    Blend(Left, Top, Right, Bottom, Color, [&](double X, double Y) {
        const double outer = CoverageAt(RoundRectDistance(X, Y, Left, Top, Right, Bottom, Radius));
        const double inner = CoverageAt(
            RoundRectDistance(X, Y, Left + Width, Top + Width, Right - Width, Bottom - Width, Radius - Width));
        return Right - Left <= 2 * Width || Bottom - Top <= 2 * Width ? outer : outer - inner;
    });
}

void TShapeCanvas::FillCircle(double CenterX, double CenterY, double Radius, COLORREF Color) {
    Blend(CenterX - Radius, CenterY - Radius, CenterX + Radius, CenterY + Radius, Color, [&](double X, double Y) {
        return CoverageAt(std::hypot(X - CenterX, Y - CenterY) - Radius);
    });
}

void TShapeCanvas::StrokeArc(double CenterX, double CenterY, double Radius, double StartDegrees,
                             double SweepDegrees, double Width, COLORREF Color) {
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    const double sweep = std::min(std::fabs(SweepDegrees), 360.0);
    const double start = SweepDegrees < 0 ? StartDegrees - sweep : StartDegrees;
    const double endX[2] = {CenterX + Radius * std::cos(start / kDegrees),
                            CenterX + Radius * std::cos((start + sweep) / kDegrees)};
    const double endY[2] = {CenterY + Radius * std::sin(start / kDegrees),
                            CenterY + Radius * std::sin((start + sweep) / kDegrees)};
    const double reach = Radius + Width / 2;
    Blend(CenterX - reach, CenterY - reach, CenterX + reach, CenterY + reach, Color, [&](double X, double Y) {
        const double angle = std::atan2(Y - CenterY, X - CenterX) * kDegrees;
        const double along = std::fmod(std::fmod(angle - start, 360.0) + 360.0, 360.0);
        // Beside the arc: from the circle; past its ends: from the nearer end,
        // which rounds them.
        const double distance =
            along <= sweep ? std::fabs(std::hypot(X - CenterX, Y - CenterY) - Radius)
                           : std::min(std::hypot(X - endX[0], Y - endY[0]), std::hypot(X - endX[1], Y - endY[1]));
        return CoverageAt(distance - Width / 2);
    });
}

TBufferedPaint::TBufferedPaint(HDC Target, const RECT& Area) : FTarget(Target), FArea(Area) {
    const int w = Area.right - Area.left, h = Area.bottom - Area.top;
    if (w <= 0 || h <= 0) return;
    FBuffer.reset(CreateCompatibleDC(Target));
    if (!FBuffer) return;
    FBitmap.reset(CreateCompatibleBitmap(Target, w, h));
    if (!FBitmap) {
        FBuffer.reset();
        return;
    }
    SetLayout(FBuffer.get(), 0);
    FSelection.emplace(FBuffer.get(), FBitmap.get());
}

TBufferedPaint::~TBufferedPaint() {
    if (!FBuffer) return;
    const int w = FArea.right - FArea.left, h = FArea.bottom - FArea.top;
    // A mirrored target is switched to plain layout for the copy: the copy
    // with NOMIRRORBITMAP lands a column off on some systems (Wine).
    const DWORD layout = GetLayout(FTarget);
    const bool mirrored = layout != GDI_ERROR && (layout & LAYOUT_RTL);
    if (mirrored) SetLayout(FTarget, 0);
    BitBlt(FTarget, FArea.left, FArea.top, w, h, FBuffer.get(), 0, 0, SRCCOPY);
    if (mirrored) SetLayout(FTarget, layout);
}

void DrawTextTransparent(HDC DC, const std::wstring& Text, RECT Rect, HFONT Font, COLORREF Color, UINT Format) {
    const UniqueSelection font(DC, Font);
    const int oldMode = SetBkMode(DC, TRANSPARENT);
    const COLORREF oldColor = SetTextColor(DC, Color);
    DrawTextW(DC, Text.c_str(), static_cast<int>(Text.size()), &Rect, Format);
    SetTextColor(DC, oldColor);
    SetBkMode(DC, oldMode);
}

BITMAPINFO TopDownArgbFormat(int Width, int Height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = Width;
    format.bmiHeader.biHeight = -Height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

void FillSolidRect(HDC DC, const RECT& Rect, COLORREF Color) {
    const COLORREF old = SetBkColor(DC, Color);
    ExtTextOutW(DC, 0, 0, ETO_OPAQUE, &Rect, nullptr, 0, nullptr);
    SetBkColor(DC, old);
}

void DrawRoundRect(HDC DC, const RECT& Rect, int Radius, bool Fill, COLORREF FillColor, bool Frame,
                   COLORREF FrameColor, int FrameWidth) {
    const int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
    if (w <= 0 || h <= 0 || (!Fill && !Frame)) return;
    const int pen = FrameWidth < 1 ? 1 : FrameWidth;
    {
        TShapeCanvas canvas(DC, Rect);
        if (canvas.Ready()) {
            const double r = Radius, left = Rect.left, top = Rect.top, right = Rect.right, bottom = Rect.bottom;
            // The face reaches under the frame's inner half, so no seam of the
            // background shows between them.
            if (Fill && Frame)
                canvas.FillRoundRect(left + pen / 2.0, top + pen / 2.0, right - pen / 2.0, bottom - pen / 2.0,
                                     r - pen / 2.0, FillColor);
            else if (Fill)
                canvas.FillRoundRect(left, top, right, bottom, r, FillColor);
            if (Frame) canvas.FrameRoundRect(left, top, right, bottom, r, pen, FrameColor);
            return;
        }
    }
    UniqueGdiObject brush(Fill ? CreateSolidBrush(FillColor) : nullptr);
    UniqueGdiObject framePen(Frame ? CreatePen(PS_INSIDEFRAME, pen, FrameColor) : nullptr);
    const UniqueSelection brushSelected(DC, brush ? brush.get() : GetStockObject(NULL_BRUSH));
    const UniqueSelection penSelected(DC, framePen ? framePen.get() : GetStockObject(NULL_PEN));
    RoundRect(DC, Rect.left, Rect.top, Rect.right + (Frame ? 0 : 1), Rect.bottom + (Frame ? 0 : 1),
              Radius * 2, Radius * 2);
}

} // namespace tidora
