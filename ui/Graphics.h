#pragma once
// Painting helpers the controls share: an off-screen buffer per paint, so no
// control flickers, and antialiased shapes through GDI+.
#include <windows.h>

#include <optional>
#include <string>

#include "system/Handles.h"

namespace tidora {

// Starts GDI+ once for the process; false when it is not available (then the
// shapes are drawn with plain GDI).
bool EnsureGdiplus();

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

// DrawTextW in Font and Color on a transparent background; the DC's font,
// text colour and background mode are as they were afterwards.
void DrawTextTransparent(HDC DC, const std::wstring& Text, RECT Rect, HFONT Font, COLORREF Color, UINT Format);

// A rectangle with rounded corners (Radius 0: square), filled and framed as
// asked; the frame is at least one pixel wide.
void DrawRoundRect(HDC DC, const RECT& Rect, int Radius, bool Fill, COLORREF FillColor, bool Frame,
                   COLORREF FrameColor, int FrameWidth);

} // namespace tidora
