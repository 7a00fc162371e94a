#pragma once
// Painting helpers the controls share: an off-screen buffer per paint, so no
// control flickers, and antialiased shapes.
#include <windows.h>

#include <optional>
#include <string>

#include "system/Handles.h"

namespace tidora {

// Starts GDI+ once for the process; false when it is not available. Only the
// pictures and the busy sign draw with it: its start under Wine cost the main
// window's first paint more than all of that paint's drawing.
bool EnsureGdiplus();

// Antialiased shapes drawn into a 32-bit copy of an area of a DC, which goes
// back to the DC when the canvas goes out of scope. Coordinates are the DC's,
// with pixel edges on whole numbers (a pixel's centre at +0.5). Each shape is
// a signed distance from its edge; a pixel takes the shape's colour in the
// part of it within half a pixel inside that edge.
class TShapeCanvas {
public:
    TShapeCanvas(HDC Target, const RECT& Area);
    ~TShapeCanvas();
    TShapeCanvas(const TShapeCanvas&) = delete;
    TShapeCanvas& operator=(const TShapeCanvas&) = delete;

    // False when no copy could be made: nothing is drawn then.
    bool Ready() const { return FBits != nullptr; }

    // A rectangle with corners of Radius (0: square).
    void FillRoundRect(double Left, double Top, double Right, double Bottom, double Radius, COLORREF Color);
    // The band Width wide inside the edge of the same rectangle.
    void FrameRoundRect(double Left, double Top, double Right, double Bottom, double Radius, double Width,
                        COLORREF Color);
    void FillCircle(double CenterX, double CenterY, double Radius, COLORREF Color);
    // A line Width wide with round ends along the circle round the centre, from
    // StartDegrees on through SweepDegrees, clockwise on the screen (0 points
    // right, 90 down).
    void StrokeArc(double CenterX, double CenterY, double Radius, double StartDegrees, double SweepDegrees,
                   double Width, COLORREF Color);

private:
    // Blends Color into every pixel of Bounds by Coverage(x, y) of its centre.
    template <typename TCoverage>
    void Blend(double Left, double Top, double Right, double Bottom, COLORREF Color, TCoverage&& Coverage);

    HDC FTarget;
    RECT FArea;
    UniqueMemoryDC FDC;
    UniqueGdiObject FBitmap;
    std::optional<UniqueSelection> FSelection;
    unsigned* FBits = nullptr;
};

// Paints into a bitmap the size of Area and copies it to Target once, when it
// goes out of scope. The buffer is never mirrored: controls lay out their own
// content, and the copy keeps it unflipped on a mirrored window (Area then
// spans the whole width of Target, as a client area or a control does).
class TBufferedPaint {
public:
    TBufferedPaint(HDC Target, const RECT& Area);
    ~TBufferedPaint();
    TBufferedPaint(const TBufferedPaint&) = delete;
    TBufferedPaint& operator=(const TBufferedPaint&) = delete;

    // The buffer (Target itself when no buffer could be made); its origin is
    // Area's top-left corner.
    HDC DC() const { return FBuffer ? FBuffer.get() : FTarget; }
    RECT Rect() const { return RECT{0, 0, FArea.right - FArea.left, FArea.bottom - FArea.top}; }

private:
    HDC FTarget;
    RECT FArea;
    UniqueMemoryDC FBuffer;
    UniqueGdiObject FBitmap;
    // Declared after both: the bitmap leaves the buffer before either goes.
    std::optional<UniqueSelection> FSelection;
};

// BeginPaint and EndPaint as one scope.
class TPaintScope {
public:
    explicit TPaintScope(HWND Window) : FWindow(Window) { FDC = BeginPaint(Window, &FPaint); }
    ~TPaintScope() { EndPaint(FWindow, &FPaint); }
    TPaintScope(const TPaintScope&) = delete;
    TPaintScope& operator=(const TPaintScope&) = delete;
    HDC DC() const { return FDC; }

private:
    HWND FWindow;
    PAINTSTRUCT FPaint{};
    HDC FDC = nullptr;
};

void FillSolidRect(HDC DC, const RECT& Rect, COLORREF Color);

// The layout of 32-bit pixels, Width x Height, rows top-down (0xAARRGGBB), for
// CreateDIBSection and GetDIBits.
BITMAPINFO TopDownArgbFormat(int Width, int Height);

// DrawTextW in Font and Color on a transparent background; the DC's font,
// text colour and background mode are as they were afterwards.
void DrawTextTransparent(HDC DC, const std::wstring& Text, RECT Rect, HFONT Font, COLORREF Color, UINT Format);

// A rectangle with rounded corners (Radius 0: square), filled and framed as
// asked; the frame is at least one pixel wide.
void DrawRoundRect(HDC DC, const RECT& Rect, int Radius, bool Fill, COLORREF FillColor, bool Frame,
                   COLORREF FrameColor, int FrameWidth);

} // namespace tidora
