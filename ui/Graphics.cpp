#include "ui/Graphics.h"

#include <objidl.h>
#include <gdiplus.h>

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

Gdiplus::Color ToColor(COLORREF c) {
    return Gdiplus::Color(255, GetRValue(c), GetGValue(c), GetBValue(c));
}

void AddRoundRect(Gdiplus::GraphicsPath& path, Gdiplus::REAL x, Gdiplus::REAL y, Gdiplus::REAL w,
                  Gdiplus::REAL h, Gdiplus::REAL r) {
    const Gdiplus::REAL d = r * 2;
    if (d <= 0 || d > w || d > h) {
        path.AddRectangle(Gdiplus::RectF(x, y, w, h));
        return;
    }
    path.AddArc(x, y, d, d, 180, 90);
    path.AddArc(x + w - d, y, d, d, 270, 90);
    path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
    path.AddArc(x, y + h - d, d, d, 90, 90);
    path.CloseFigure();
}

} // namespace

bool EnsureGdiplus() {
    static GdiplusSession session;
    return session.Started;
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
    if (EnsureGdiplus()) {
        Gdiplus::Graphics g(DC);
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        // Pixel centres lie on whole coordinates: a pen of width p along the
        // path covers the outer p pixels when the path runs (p - 1) / 2 inside.
        const Gdiplus::REAL inset = Frame ? (pen - 1) / 2.0f : -0.5f;
        Gdiplus::GraphicsPath path;
        AddRoundRect(path, Rect.left + inset, Rect.top + inset, w - 1 - 2 * inset, h - 1 - 2 * inset,
                     static_cast<Gdiplus::REAL>(Radius));
        if (Fill) {
            Gdiplus::SolidBrush brush(ToColor(FillColor));
            g.FillPath(&brush, &path);
        }
        if (Frame) {
            Gdiplus::Pen framePen(ToColor(FrameColor), static_cast<Gdiplus::REAL>(pen));
            g.DrawPath(&framePen, &path);
        }
        return;
    }
    UniqueGdiObject brush(Fill ? CreateSolidBrush(FillColor) : nullptr);
    UniqueGdiObject framePen(Frame ? CreatePen(PS_INSIDEFRAME, pen, FrameColor) : nullptr);
    const UniqueSelection brushSelected(DC, brush ? brush.get() : GetStockObject(NULL_BRUSH));
    const UniqueSelection penSelected(DC, framePen ? framePen.get() : GetStockObject(NULL_PEN));
    RoundRect(DC, Rect.left, Rect.top, Rect.right + (Frame ? 0 : 1), Rect.bottom + (Frame ? 0 : 1),
              Radius * 2, Radius * 2);
}

} // namespace tidora
