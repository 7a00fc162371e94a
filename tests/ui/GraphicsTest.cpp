// The antialiased shapes, drawn into a memory bitmap and read back pixel by
// pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "system/Handles.h"
#include "ui/Graphics.h"

using namespace tidora;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlue = RGB(0, 0, 200), kRed = RGB(200, 0, 0);

// A white 40 x 40 bitmap in a memory DC, offset by Origin so that shapes are
// drawn at coordinates that are not the bitmap's.
class TSurface {
public:
    explicit TSurface(POINT Origin = {0, 0}) {
        HDC screen = GetDC(nullptr);
        FDC.reset(CreateCompatibleDC(screen));
        FBitmap.reset(CreateCompatibleBitmap(screen, 40, 40));
        ReleaseDC(nullptr, screen);
        FSelection.emplace(FDC.get(), FBitmap.get());
        SetViewportOrgEx(FDC.get(), -Origin.x, -Origin.y, nullptr);
        FillSolidRect(FDC.get(), RECT{Origin.x, Origin.y, Origin.x + 40, Origin.y + 40}, kWhite);
    }
    HDC DC() const { return FDC.get(); }
    COLORREF At(int X, int Y) const { return GetPixel(FDC.get(), X, Y); }

private:
    UniqueMemoryDC FDC;
    UniqueGdiObject FBitmap;
    std::optional<UniqueSelection> FSelection;
};

bool Between(COLORREF C, COLORREF A, COLORREF B) {
    auto in = [](int v, int a, int b) { return v > std::min(a, b) && v < std::max(a, b); };
    return C != A && C != B && in(GetRValue(C) + GetGValue(C) + GetBValue(C), GetRValue(A) + GetGValue(A) + GetBValue(A),
                                  GetRValue(B) + GetGValue(B) + GetBValue(B) + 1);
}

TEST(ShapeCanvas, EdgesAreWholeOnPixelEdgesAndBlendedAcrossCurves) {
    for (POINT origin : {POINT{0, 0}, POINT{100, 50}}) {
        SCOPED_TRACE(origin.x);
        TSurface s(origin);
        const int x = origin.x, y = origin.y;
        {
            TShapeCanvas canvas(s.DC(), RECT{x, y, x + 40, y + 40});
            ASSERT_TRUE(canvas.Ready());
            // A rounded rectangle over [2, 30) x [2, 20) with a 2-wide frame.
            canvas.FillRoundRect(x + 3, y + 3, x + 29, y + 19, 5, kBlue);
            canvas.FrameRoundRect(x + 2, y + 2, x + 30, y + 20, 6, 2, kRed);
            canvas.FillCircle(x + 20.5, y + 30.5, 4, kBlue);
        }
        // Straight edges: the frame covers exactly its two pixels, nothing
        // spills outside, the face fills the rest.
        EXPECT_EQ(s.At(x + 1, y + 10), kWhite);
        EXPECT_EQ(s.At(x + 2, y + 10), kRed);
        EXPECT_EQ(s.At(x + 3, y + 10), kRed);
        EXPECT_EQ(s.At(x + 4, y + 10), kBlue);
        EXPECT_EQ(s.At(x + 16, y + 19), kRed);
        EXPECT_EQ(s.At(x + 16, y + 20), kWhite);
        EXPECT_EQ(s.At(x + 29, y + 10), kRed);
        EXPECT_EQ(s.At(x + 30, y + 10), kWhite);
        // The corner is cut off, and its curve is a blend, not a step.
        EXPECT_EQ(s.At(x + 2, y + 2), kWhite);
        EXPECT_TRUE(Between(s.At(x + 3, y + 4), kWhite, kRed) || Between(s.At(x + 4, y + 3), kWhite, kRed));
        // The circle: solid inside, blended on its rim, clear beyond.
        EXPECT_EQ(s.At(x + 20, y + 30), kBlue);
        EXPECT_TRUE(Between(s.At(x + 23, y + 33), kWhite, kBlue));
        EXPECT_EQ(s.At(x + 25, y + 35), kWhite);
    }
}

TEST(ShapeCanvas, AnArcLeavesItsOpeningClearAndRoundsItsEnds) {
    TSurface s;
    {
        TShapeCanvas canvas(s.DC(), RECT{0, 0, 40, 40});
        // Round (20, 20), from 0 (right) clockwise through 270: open from the
        // top round to the right.
        canvas.StrokeArc(20, 20, 12, 0, 270, 3, kBlue);
    }
    EXPECT_EQ(s.At(20, 32), kBlue);   // below: at 90
    EXPECT_EQ(s.At(8, 20), kBlue);    // left: at 180
    EXPECT_EQ(s.At(19, 8), kBlue);    // the end at the top, to the left of 270
    EXPECT_EQ(s.At(28, 12), kWhite);  // the opening at 315
    EXPECT_EQ(s.At(20, 20), kWhite);  // the centre
    // Each end reaches round, half the width past its angle: a cut end
    // would leave the pixel just above the start clear.
    EXPECT_NE(s.At(32, 18), kWhite);
    EXPECT_EQ(s.At(32, 17), kWhite);
}

TEST(ShapeCanvas, NothingIsDrawnOutsideTheArea) {
    TSurface s;
    {
        TShapeCanvas canvas(s.DC(), RECT{10, 10, 20, 20});
        canvas.FillCircle(15, 15, 30, kBlue);
    }
    EXPECT_EQ(s.At(10, 10), kBlue);
    EXPECT_EQ(s.At(19, 19), kBlue);
    EXPECT_EQ(s.At(9, 15), kWhite);
    EXPECT_EQ(s.At(20, 15), kWhite);
    // An empty area makes no canvas and draws nothing.
    TShapeCanvas empty(s.DC(), RECT{5, 5, 5, 30});
    EXPECT_FALSE(empty.Ready());
    empty.FillCircle(5, 5, 10, kRed);
}

} // namespace
