// Icons and version strings read from the fixture programs of
// tests/fixtures (their icon colours come from make-icons.py).
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "system/Handles.h"
#include "system/Path.h"
#include "tests/TestSupport.h"

using namespace tidora;
using tidora::test::BinaryPath;
using tidora::test::TTempDir;

namespace {

const COLORREF kAppColour = RGB(0x3D, 0x84, 0xDD);
const COLORREF kLibColour0 = RGB(0xE0, 0x20, 0x20);
const COLORREF kLibColour3 = RGB(0xF0, 0xC0, 0x10);

std::wstring Fixture(const wchar_t* Name) {
    return BinaryPath(std::wstring(L"fixtures\\") + Name);
}

struct MemoryDC {
    HDC Handle = CreateCompatibleDC(nullptr);
    ~MemoryDC() {
        if (Handle) DeleteDC(Handle);
    }
};

// The colour of the icon's middle pixel; CLR_INVALID when it cannot be read.
COLORREF IconColour(HICON Icon) {
    ICONINFO info{};
    if (!Icon || !GetIconInfo(Icon, &info)) return CLR_INVALID;
    UniqueGdiObject colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap{};
    if (!colour || !GetObjectW(colour.get(), sizeof(bitmap), &bitmap)) return CLR_INVALID;
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(header.bmiHeader);
    header.bmiHeader.biWidth = bitmap.bmWidth;
    header.bmiHeader.biHeight = -bitmap.bmHeight;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    std::vector<DWORD> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
    MemoryDC dc;
    if (!GetDIBits(dc.Handle, static_cast<HBITMAP>(colour.get()), 0, bitmap.bmHeight, pixels.data(), &header,
                   DIB_RGB_COLORS))
        return CLR_INVALID;
    const DWORD pixel = pixels[static_cast<size_t>(bitmap.bmHeight / 2) * bitmap.bmWidth + bitmap.bmWidth / 2];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

// A page's collection as IconIndex fills it: two built-in pictures first;
// it counts the icons handed to it.
class TPageSink : public TIconSink {
public:
    int AddIcon(const std::wstring& Location, UniqueIcon Icon) override {
        ++Told;
        FItems.emplace_back(Location, std::move(Icon));
        return Count() - 1;
    }
    int Count() const { return static_cast<int>(FItems.size()) + 2; }
    std::wstring Name(int Index) const { return Index >= 2 ? FItems.at(static_cast<size_t>(Index) - 2).first : L""; }
    HICON Icon(int Index) const { return Index >= 2 ? FItems.at(static_cast<size_t>(Index) - 2).second.get() : nullptr; }
    int Told = 0;

private:
    std::vector<std::pair<std::wstring, UniqueIcon>> FItems;
};

struct TPageImages {
    TPageSink Images;
    TIconCache Cache;
    const int& Told = Images.Told;
};

TEST(IconIndex, ReadsEachLocationOnceWhateverItsQuotes) {
    const std::wstring app = Fixture(L"VersionedApp.exe");
    TPageImages page;

    const int index = IconIndex(page.Cache, page.Images, L"\"" + app + L"\"", -1);
    ASSERT_EQ(index, 2);
    EXPECT_EQ(page.Images.Count(), 3);
    EXPECT_EQ(page.Images.Name(2), app);
    EXPECT_EQ(IconColour(page.Images.Icon(2)), kAppColour);
    EXPECT_EQ(page.Told, 1);

    for (const std::wstring& location : {app, L"  " + app + L" ", L"\"" + app + L"\"\t"})
        EXPECT_EQ(IconIndex(page.Cache, page.Images, location, -1), index) << location;
    EXPECT_EQ(page.Images.Count(), 3);
    EXPECT_EQ(page.Told, 1);
    EXPECT_EQ(page.Cache.size(), 1u);

    // The cache answers before the disk is looked at: a file read once stays
    // available to the page after it is gone.
    TTempDir dir;
    const std::wstring copy = dir.File(L"copy.exe");
    ASSERT_TRUE(CopyFileW(app.c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(IconIndex(page.Cache, page.Images, copy, -1), 3);
    ASSERT_TRUE(DeleteFileW(copy.c_str()));
    EXPECT_EQ(IconIndex(page.Cache, page.Images, copy, -1), 3);
    EXPECT_EQ(page.Images.Count(), 4);
}

TEST(IconIndex, NumberAfterCommaPicksTheIcon) {
    const std::wstring lib = Fixture(L"IconLib.dll");
    TPageImages page;

    const int third = IconIndex(page.Cache, page.Images, lib + L",3", -1);
    ASSERT_GE(third, 2);
    EXPECT_EQ(IconColour(page.Images.Icon(third)), kLibColour3);
    EXPECT_EQ(IconIndex(page.Cache, page.Images, L"\"" + lib + L"\",3", -1), third);

    const int first = IconIndex(page.Cache, page.Images, lib, -1);
    ASSERT_GE(first, 2);
    EXPECT_NE(first, third);
    EXPECT_EQ(IconColour(page.Images.Icon(first)), kLibColour0);
    EXPECT_EQ(page.Images.Count(), 4);
}

TEST(IconIndex, WhatCannotBeReadGivesTheDefaultAndIsNotCached) {
    TTempDir dir;
    const std::wstring locations[] = {
        L"",
        L"  \t ",
        L"\"\"",
        L",3",
        dir.File(L"missing.exe"),
        L"\"" + dir.File(L"missing.dll") + L"\",2",
        dir.Path(),                  // a folder
        Fixture(L"PlainApp.exe"),    // a program without icons
        Fixture(L"IconLib.dll,10"),  // past the last icon
    };
    TPageImages page;
    for (int round = 0; round < 2; ++round)
        for (const std::wstring& location : locations) EXPECT_EQ(IconIndex(page.Cache, page.Images, location, 7), 7) << location;
    EXPECT_TRUE(page.Cache.empty());
    EXPECT_EQ(page.Images.Count(), 2);
    EXPECT_EQ(page.Told, 0);
}

TEST(ReadVersionStrings, ReadsThroughTheFirstTranslation) {
    TVersionStrings strings;
    EXPECT_EQ(ReadVersionStrings(Fixture(L"VersionedApp.exe"), {L"ProductName", L"Comments", L"CompanyName"},
                                 strings),
              2);
    EXPECT_EQ(strings[L"ProductName"], L"Fixture Product");
    EXPECT_EQ(strings[L"CompanyName"], L"Fixture Maker");
    EXPECT_EQ(strings.count(L"Comments"), 0u);

    // Asking twice for one name is the caller's error and reaches the caller.
    strings.clear();
    EXPECT_THROW(ReadVersionStrings(Fixture(L"VersionedApp.exe"), {L"ProductName", L"ProductName"}, strings),
                 std::invalid_argument);
}

TEST(ReadVersionStrings, NoVersionResourceGivesZero) {
    TTempDir dir;
    for (const std::wstring& file : {Fixture(L"PlainApp.exe"), dir.File(L"missing.exe"), dir.Path()}) {
        TVersionStrings strings;
        EXPECT_EQ(ReadVersionStrings(file, {L"ProductName"}, strings), 0) << file;
        EXPECT_TRUE(strings.empty()) << file;
    }
}

} // namespace
