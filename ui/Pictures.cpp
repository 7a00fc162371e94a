#include "ui/Pictures.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cmath>
#include <string>

#include "ui/Graphics.h"
#include "ui/QuenbyButtonStyles.h"

namespace tidora {
namespace {

using namespace Gdiplus;

Color Accent(BYTE Alpha = 255) {
    return Color(Alpha, GetRValue(AccentColor), GetGValue(AccentColor), GetBValue(AccentColor));
}

void RoundRect(GraphicsPath& Path, REAL X, REAL Y, REAL W, REAL H, REAL R) {
    const REAL d = 2 * R;
    Path.AddArc(X, Y, d, d, 180, 90);
    Path.AddArc(X + W - d, Y, d, d, 270, 90);
    Path.AddArc(X + W - d, Y + H - d, d, d, 0, 90);
    Path.AddArc(X, Y + H - d, d, d, 90, 90);
    Path.CloseFigure();
}

// Each drawing is designed on a 32 x 32 grid.

void DrawDocument(Graphics& G) {
    GraphicsPath page;
    page.AddLine(7.0f, 3.0f, 20.0f, 3.0f);
    page.AddLine(20.0f, 3.0f, 26.0f, 9.0f);
    page.AddLine(26.0f, 9.0f, 26.0f, 29.0f);
    page.AddLine(26.0f, 29.0f, 7.0f, 29.0f);
    page.CloseFigure();
    SolidBrush paper(Color(255, 255, 255, 255));
    G.FillPath(&paper, &page);
    Pen edge(Color(255, 120, 128, 140), 1.6f);
    G.DrawPath(&edge, &page);
    // The folded corner.
    Pen fold(Color(255, 120, 128, 140), 1.4f);
    G.DrawLine(&fold, 20.0f, 3.0f, 20.0f, 9.0f);
    G.DrawLine(&fold, 20.0f, 9.0f, 26.0f, 9.0f);
}

void DrawProgram(Graphics& G) {
    GraphicsPath window;
    RoundRect(window, 3, 5, 26, 22, 3);
    SolidBrush paper(Color(255, 255, 255, 255));
    G.FillPath(&paper, &window);
    SolidBrush accent(Accent());
    G.FillRectangle(&accent, RectF(3.5f, 5.5f, 25, 6));
    Pen edge(Accent(), 2.0f);
    G.DrawPath(&edge, &window);
    SolidBrush dots(Color(255, 255, 255, 255));
    G.FillEllipse(&dots, 22.5f, 7.0f, 3.0f, 3.0f);
}

void DrawCube(Graphics& G, REAL X, REAL Y, REAL S, BYTE Shade) {
    SolidBrush face(Color(255, static_cast<BYTE>(GetRValue(AccentColor) * Shade / 255),
                          static_cast<BYTE>(GetGValue(AccentColor) * Shade / 255),
                          static_cast<BYTE>(GetBValue(AccentColor) * Shade / 255)));
    G.FillRectangle(&face, RectF(X, Y, S, S));
    Pen edge(Color(255, 255, 255, 255), 1.2f);
    G.DrawRectangle(&edge, RectF(X, Y, S, S));
}

void DrawRegistry(Graphics& G) {
    DrawCube(G, 3, 16, 12, 200);
    DrawCube(G, 17, 16, 12, 255);
    DrawCube(G, 10, 3, 12, 230);
}

void DrawClock(Graphics& G) {
    SolidBrush face(Color(255, 255, 255, 255));
    G.FillEllipse(&face, 3.0f, 3.0f, 26.0f, 26.0f);
    Pen rim(Accent(), 3.0f);
    G.DrawEllipse(&rim, 4.0f, 4.0f, 24.0f, 24.0f);
    Pen hand(Color(255, 50, 56, 66), 2.4f);
    hand.SetStartCap(LineCapRound);
    hand.SetEndCap(LineCapRound);
    G.DrawLine(&hand, 16.0f, 16.0f, 16.0f, 8.5f);
    G.DrawLine(&hand, 16.0f, 16.0f, 21.5f, 19.0f);
}

void DrawGears(Graphics& G) {
    SolidBrush accent(Accent());
    const REAL cx = 16, cy = 16;
    // Eight teeth around a wheel, with a hole in the middle.
    for (int i = 0; i < 8; ++i) {
        GraphicsPath tooth;
        tooth.AddRectangle(RectF(cx - 3, 2, 6, 8));
        Matrix turn;
        turn.RotateAt(45.0f * static_cast<REAL>(i), PointF(cx, cy));
        tooth.Transform(&turn);
        G.FillPath(&accent, &tooth);
    }
    G.FillEllipse(&accent, cx - 10, cy - 10, 20.0f, 20.0f);
    SolidBrush hole(Color(255, 255, 255, 255));
    G.FillEllipse(&hole, cx - 4, cy - 4, 8.0f, 8.0f);
}

UniqueIcon ApplicationIcon() {
    return UniqueIcon(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)));
}

} // namespace

UniqueIcon MakePicture(TPicture Picture, int Size) {
    if (Size <= 0 || !EnsureGdiplus()) return ApplicationIcon();
    Bitmap bitmap(Size, Size, PixelFormat32bppARGB);
    if (bitmap.GetLastStatus() != Ok) return ApplicationIcon();
    {
        Graphics g(&bitmap);
        g.Clear(Color(0, 0, 0, 0));
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        g.SetPixelOffsetMode(PixelOffsetModeHalf);
        g.ScaleTransform(static_cast<REAL>(Size) / 32.0f, static_cast<REAL>(Size) / 32.0f);
        switch (Picture) {
        case TPicture::Document: DrawDocument(g); break;
        case TPicture::Program: DrawProgram(g); break;
        case TPicture::Registry: DrawRegistry(g); break;
        case TPicture::Clock: DrawClock(g); break;
        case TPicture::Gears: DrawGears(g); break;
        }
    }
    HICON icon = nullptr;
    if (bitmap.GetHICON(&icon) != Ok || !icon) return ApplicationIcon();
    return UniqueIcon(icon);
}

void AddPictures(TImageCollection& Images, std::initializer_list<TPicture> Pictures) {
    // Drawn at the size the icons read from files have; the lists scale them.
    const int size = GetSystemMetrics(SM_CXICON) > 0 ? GetSystemMetrics(SM_CXICON) : 32;
    for (TPicture picture : Pictures)
        Images.Add(std::to_wstring(Images.Count()), MakePicture(picture, size));
    Images.Changed();
}

} // namespace tidora
