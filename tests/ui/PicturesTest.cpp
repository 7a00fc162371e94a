// The pages' drawn pictures: real drawings of the size asked for, on a
// transparent ground, each its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <set>
#include <vector>

#include "system/Handles.h"
#include "ui/Graphics.h"
#include "ui/ImageCollection.h"
#include "ui/Pictures.h"

using namespace tidora;

namespace {

// The icon's colour bitmap as 32-bit BGRA rows, top-down; empty when unreadable.
std::vector<uint32_t> Pixels(HICON Icon, int& Size) {
    ICONINFO info{};
    if (!GetIconInfo(Icon, &info)) return {};
    UniqueGdiObject color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    if (!color || !GetObjectW(color.get(), sizeof(bitmap), &bitmap)) return {};
    Size = bitmap.bmWidth;
    BITMAPINFO format = TopDownArgbFormat(bitmap.bmWidth, bitmap.bmHeight);
    std::vector<uint32_t> pixels(static_cast<size_t>(bitmap.bmWidth) * static_cast<size_t>(bitmap.bmHeight));
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, static_cast<HBITMAP>(color.get()), 0, static_cast<UINT>(bitmap.bmHeight),
                               pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return rows == bitmap.bmHeight ? pixels : std::vector<uint32_t>();
}

TEST(Pictures, AreDrawingsOfTheSizeAskedForOnATransparentGround) {
    std::set<std::vector<uint32_t>> seen;
    for (TPicture picture :
         {TPicture::Document, TPicture::Program, TPicture::Registry, TPicture::Clock, TPicture::Gears}) {
        for (int size : {16, 32, 48}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(picture) << " at " << size);
            UniqueIcon icon = MakePicture(picture, size);
            ASSERT_TRUE(icon);
            int got = 0;
            const std::vector<uint32_t> pixels = Pixels(icon.get(), got);
            ASSERT_FALSE(pixels.empty());
            EXPECT_EQ(got, size);
            size_t clear = 0, solid = 0;
            for (uint32_t p : pixels) {
                clear += (p >> 24) == 0;
                solid += (p >> 24) == 255;
            }
            EXPECT_GT(clear, pixels.size() / 20) << "no transparent ground";
            EXPECT_GT(solid, pixels.size() / 10) << "hardly anything drawn";
            if (size == 32) seen.insert(pixels);
        }
    }
    EXPECT_EQ(seen.size(), 5u) << "two pictures look the same";
}

TEST(Pictures, AreAppendedNamedAfterTheirIndex) {
    TImageCollection images;
    images.Add(L"first", MakePicture(TPicture::Clock, 16));
    int told = 0;
    images.AddView([&] { ++told; });
    AddPictures(images, {TPicture::Document, TPicture::Gears});
    EXPECT_EQ(images.Count(), 3);
    EXPECT_EQ(images.Name(1), L"1");
    EXPECT_EQ(images.Name(2), L"2");
    EXPECT_NE(images.Icon(2), nullptr);
    EXPECT_EQ(told, 1);
}

TEST(Pictures, AnIconHandedInAsASinkIsAppendedUnderItsLocationAndViewsAreToldAtOnce) {
    TImageCollection images;
    AddPictures(images, {TPicture::Document, TPicture::Gears});
    int told = 0;
    images.AddView([&] { ++told; });
    TIconSink& sink = images;
    EXPECT_EQ(sink.AddIcon(L"C:\\app.exe,1", MakePicture(TPicture::Clock, 16)), 2);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(sink.AddIcon(L"C:\\other.dll", MakePicture(TPicture::Gears, 16)), 3);
    EXPECT_EQ(told, 2);
    EXPECT_EQ(images.Name(2), L"C:\\app.exe,1");
    EXPECT_NE(images.Icon(3), nullptr);
}

} // namespace
