// The list pictures a list view shows: icons of any size brought to the
// list's size by the area each pixel covers, transparency kept.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "system/Handles.h"
#include "ui/Graphics.h"
#include "ui/ImageCollection.h"
#include "ui/ImageList.h"

using namespace tidora;

namespace {

constexpr uint32_t kClear = 0x00000000;
constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// Width x Height pixels, each the colour Paint gives for (x, y).
template <typename F>
std::vector<uint32_t> Image(int Width, int Height, F&& Paint) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) pixels.push_back(Paint(x, y));
    return pixels;
}

// An icon with these colour pixels; Transparent marks the pixels its mask
// leaves out (a colour without alpha is drawn by the mask alone).
UniqueIcon MakeIcon(int Size, const std::vector<uint32_t>& Pixels, const std::vector<bool>& Transparent = {}) {
    BITMAPINFO format = TopDownArgbFormat(Size, Size);
    void* bits = nullptr;
    UniqueGdiObject color(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!color || !bits) return UniqueIcon();
    memcpy(bits, Pixels.data(), Pixels.size() * sizeof(uint32_t));
    const size_t stride = static_cast<size_t>((Size + 15) / 16 * 2);
    std::vector<BYTE> maskBits(stride * static_cast<size_t>(Size), 0);
    for (size_t i = 0; i < Transparent.size(); ++i)
        if (Transparent[i])
            maskBits[i / static_cast<size_t>(Size) * stride + i % static_cast<size_t>(Size) / 8] |=
                static_cast<BYTE>(0x80 >> (i % static_cast<size_t>(Size) % 8));
    UniqueGdiObject mask(CreateBitmap(Size, Size, 1, 1, maskBits.data()));
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(color.get());
    info.hbmMask = static_cast<HBITMAP>(mask.get());
    return UniqueIcon(CreateIconIndirect(&info));
}

// Picture Index of List drawn on a white ground, as a list view draws a row's
// picture; opaque pixels, top-down.
std::vector<uint32_t> DrawnOnWhite(HIMAGELIST List, int Index, int Size) {
    BITMAPINFO format = TopDownArgbFormat(Size, Size);
    void* bits = nullptr;
    UniqueGdiObject canvas(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, canvas.get());
    std::vector<uint32_t> white(static_cast<size_t>(Size) * static_cast<size_t>(Size), kWhite);
    memcpy(bits, white.data(), white.size() * sizeof(uint32_t));
    ImageList_Draw(List, Index, dc, 0, 0, ILD_NORMAL);
    GdiFlush();
    std::vector<uint32_t> drawn(white.size());
    memcpy(drawn.data(), bits, drawn.size() * sizeof(uint32_t));
    SelectObject(dc, old);
    DeleteDC(dc);
    for (uint32_t& p : drawn) p |= 0xFF000000u;
    return drawn;
}

} // namespace

TEST(ImageList, ResizesByTheAreaEachPixelCoversAndTransparentPixelsLendNoColour) {
    struct TCase {
        const char* What;
        int Width, Height, Size;
        std::vector<uint32_t> Source;
        // Expected target pixels by position; unlisted ones are not checked.
        std::vector<std::pair<int, uint32_t>> Expect;
    };
    const std::vector<TCase> cases = {
        {"same size: every pixel as it was", 2, 2, 2, {kRed, kClear, 0x80123456, kBlue},
         {{0, kRed}, {1, kClear}, {2, 0x80123456}, {3, kBlue}}},
        {"halved: the mean of four", 4, 2, 2,
         {kRed, kRed, kRed, kBlue, kRed, kRed, kBlue, kBlue},
         {{0, kRed}, {1, 0xFF800080}}},
        {"one opaque red pixel of four: a quarter as opaque, still pure red", 2, 2, 1,
         {kRed, kClear, kClear, kClear}, {{0, 0x40FF0000}}},
        {"all transparent stays transparent", 2, 2, 1, {kClear, kClear, kClear, kClear}, {{0, kClear}}},
        {"a third: nine pixels to one", 3, 3, 1, {kRed, kRed, kRed, kRed, kRed, kRed, kBlue, kBlue, kBlue},
         {{0, 0xFFAA0055}}},
        {"32 to 24 (150% dpi): a plain colour stays plain and opaque", 32, 32, 24,
         Image(32, 32, [](int, int) { return kBlue; }), {{0, kBlue}, {23, kBlue}, {24 * 24 - 1, kBlue}, {300, kBlue}}},
        {"16 to 24: enlarged without gaps", 16, 16, 24, Image(16, 16, [](int, int) { return kRed; }),
         {{0, kRed}, {24 * 24 - 1, kRed}, {24 * 12 + 12, kRed}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const std::vector<uint32_t> out = ResampleArgb(c.Source, c.Width, c.Height, c.Size);
        ASSERT_EQ(out.size(), static_cast<size_t>(c.Size) * static_cast<size_t>(c.Size));
        for (const auto& [index, pixel] : c.Expect)
            EXPECT_EQ(out[static_cast<size_t>(index)], pixel) << "pixel " << index;
    }
    // A source of the wrong size gives a transparent picture, not a crash.
    EXPECT_EQ(ResampleArgb({kRed}, 2, 2, 2), std::vector<uint32_t>(4, kClear));
}

TEST(ImageList, IconsOfAnySizeAndKindAreShownAtTheListsSizeWithTheirTransparency) {
    // Left half red, right half clear; the same with the clear half made by a
    // mask instead of alpha; and a 16-pixel icon that needs no resizing.
    auto halves = [](int Size, bool Alpha) {
        return Image(Size, Size, [=](int x, int) { return x < Size / 2 ? kRed : (Alpha ? kClear : kBlue); });
    };
    std::vector<bool> rightHalf;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) rightHalf.push_back(x >= 16);
    std::vector<uint32_t> noAlpha = halves(32, false);
    for (uint32_t& p : noAlpha) p &= 0x00FFFFFFu;

    TImageCollection images;
    images.Add(L"alpha", MakeIcon(32, halves(32, true)));
    images.Add(L"mask", MakeIcon(32, noAlpha, rightHalf));
    images.Add(L"small", MakeIcon(16, halves(16, true)));
    images.Add(L"none", UniqueIcon());
    images.Add(L"large", MakeIcon(48, halves(48, true)));
    TImageList list(images, 16);
    ASSERT_EQ(list.Count(), 5) << "every picture takes its index, a missing one too";
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(list.Handle(), &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    for (int index : {0, 1, 2, 4}) {
        SCOPED_TRACE(index);
        const std::vector<uint32_t> drawn = DrawnOnWhite(list.Handle(), index, 16);
        for (int y : {0, 7, 15}) {
            EXPECT_EQ(drawn[static_cast<size_t>(y * 16 + 0)], kRed);
            EXPECT_EQ(drawn[static_cast<size_t>(y * 16 + 7)], kRed);
            EXPECT_EQ(drawn[static_cast<size_t>(y * 16 + 8)], kWhite);
            EXPECT_EQ(drawn[static_cast<size_t>(y * 16 + 15)], kWhite);
        }
    }
    // Pictures added later follow, scaled the same way.
    images.Add(L"later", MakeIcon(32, halves(32, true)));
    images.Changed();
    ASSERT_EQ(list.Count(), 6);
    EXPECT_EQ(DrawnOnWhite(list.Handle(), 5, 16), DrawnOnWhite(list.Handle(), 0, 16));
}
