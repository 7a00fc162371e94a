#include "ui/ImageList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ui/Graphics.h"

namespace tidora {
namespace {

// Pixels top-down, each 0xAARRGGBB with straight (not premultiplied) alpha.
struct TArgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;
};

bool ReadArgb(HDC Screen, HBITMAP Bitmap, int Width, int Height, std::vector<uint32_t>& Pixels) {
    BITMAPINFO format = TopDownArgbFormat(Width, Height);
    Pixels.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), 0);
    return GetDIBits(Screen, Bitmap, 0, static_cast<UINT>(Height), Pixels.data(), &format, DIB_RGB_COLORS) == Height;
}

// A colour icon's pixels. An icon whose colour carries no alpha at all is
// opaque where its mask is black, as the system draws it. False for a
// monochrome icon (it has no colour bitmap) or one that cannot be read.
bool ReadIcon(HICON Icon, TArgbImage& Image) {
    ICONINFO info{};
    if (!Icon || !GetIconInfo(Icon, &info)) return false;
    const UniqueGdiObject color(info.hbmColor);
    const UniqueGdiObject mask(info.hbmMask);
    BITMAP bitmap{};
    if (!info.hbmColor || !info.hbmMask || !GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap) ||
        bitmap.bmWidth <= 0 || bitmap.bmHeight <= 0)
        return false;
    const UniqueWindowDC screen(nullptr);
    std::vector<uint32_t> maskPixels;
    if (!screen.get() || !ReadArgb(screen.get(), info.hbmColor, bitmap.bmWidth, bitmap.bmHeight, Image.Pixels) ||
        !ReadArgb(screen.get(), info.hbmMask, bitmap.bmWidth, bitmap.bmHeight, maskPixels))
        return false;
    const bool hasAlpha =
        std::any_of(Image.Pixels.begin(), Image.Pixels.end(), [](uint32_t p) { return (p >> 24) != 0; });
    if (!hasAlpha)
        for (size_t i = 0; i < Image.Pixels.size(); ++i)
            Image.Pixels[i] = (maskPixels[i] & 0xFFFFFFu) ? 0 : (Image.Pixels[i] | 0xFF000000u);
    Image.Width = bitmap.bmWidth;
    Image.Height = bitmap.bmHeight;
    return true;
}

// How much source pixel I (of Count, on a line Size * Count long) and target
// pixel X (of Size) share of that line.
int64_t Overlap(int I, int X, int Count, int Size) {
    const int64_t from = std::max<int64_t>(int64_t{I} * Size, int64_t{X} * Count);
    const int64_t to = std::min<int64_t>(int64_t{I + 1} * Size, int64_t{X + 1} * Count);
    return std::max<int64_t>(to - from, 0);
}

} // namespace

std::vector<uint32_t> ResampleArgb(const std::vector<uint32_t>& Pixels, int Width, int Height, int Size) {
    std::vector<uint32_t> out(static_cast<size_t>(Size) * static_cast<size_t>(Size), 0);
    if (Width <= 0 || Height <= 0 || Size <= 0 ||
        Pixels.size() != static_cast<size_t>(Width) * static_cast<size_t>(Height))
        return out;
    const uint64_t area = static_cast<uint64_t>(Width) * static_cast<uint64_t>(Height);
    for (int y = 0; y < Size; ++y) {
        const int top = static_cast<int>(int64_t{y} * Height / Size);
        const int bottom = static_cast<int>(std::min<int64_t>(Height, (int64_t{y + 1} * Height + Size - 1) / Size));
        for (int x = 0; x < Size; ++x) {
            const int left = static_cast<int>(int64_t{x} * Width / Size);
            const int right = static_cast<int>(std::min<int64_t>(Width, (int64_t{x + 1} * Width + Size - 1) / Size));
            // Each source pixel counts by the area it shares and by its alpha,
            // so a transparent pixel lends no colour to its neighbours.
            uint64_t a = 0, r = 0, g = 0, b = 0;
            for (int sy = top; sy < bottom; ++sy) {
                const int64_t share = Overlap(sy, y, Height, Size);
                for (int sx = left; sx < right; ++sx) {
                    const uint32_t p = Pixels[static_cast<size_t>(sy) * static_cast<size_t>(Width) +
                                              static_cast<size_t>(sx)];
                    const uint64_t weight = static_cast<uint64_t>(share * Overlap(sx, x, Width, Size)) * (p >> 24);
                    a += weight;
                    r += weight * ((p >> 16) & 0xFF);
                    g += weight * ((p >> 8) & 0xFF);
                    b += weight * (p & 0xFF);
                }
            }
            const uint32_t alpha = static_cast<uint32_t>((a + area / 2) / area);
            if (alpha == 0) continue;
            auto mean = [a](uint64_t Sum) { return static_cast<uint32_t>((Sum + a / 2) / a); };
            out[static_cast<size_t>(y) * static_cast<size_t>(Size) + static_cast<size_t>(x)] =
                (alpha << 24) | (mean(r) << 16) | (mean(g) << 8) | mean(b);
        }
    }
    return out;
}

namespace {

// Appends Pixels (Size x Size) to List, with the mask their alpha makes.
// -1 when the list refuses them.
int AddArgb(HIMAGELIST List, const std::vector<uint32_t>& Pixels, int Size) {
    BITMAPINFO format = TopDownArgbFormat(Size, Size);
    void* bits = nullptr;
    const UniqueGdiObject image(CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image || !bits) return -1;
    memcpy(bits, Pixels.data(), Pixels.size() * sizeof(uint32_t));
    // Rows of a monochrome bitmap are padded to 16 bits; a set bit is
    // transparent.
    const size_t stride = static_cast<size_t>((Size + 15) / 16 * 2);
    std::vector<BYTE> maskBits(stride * static_cast<size_t>(Size), 0);
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if ((Pixels[static_cast<size_t>(y) * static_cast<size_t>(Size) + static_cast<size_t>(x)] >> 24) == 0)
                maskBits[static_cast<size_t>(y) * stride + static_cast<size_t>(x / 8)] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
    const UniqueGdiObject mask(CreateBitmap(Size, Size, 1, 1, maskBits.data()));
    if (!mask) return -1;
    return ImageList_Add(List, static_cast<HBITMAP>(image.get()), static_cast<HBITMAP>(mask.get()));
}

} // namespace

TImageList::TImageList(TImageCollection& Images, int Size) : FImages(Images), FSize(Size) {
    FList.reset(ImageList_Create(Size, Size, ILC_COLOR32 | ILC_MASK, Images.Count() > 4 ? Images.Count() : 4, 8));
    FViewId = FImages.AddView([this] { Update(); });
    Update();
}

TImageList::~TImageList() {
    FImages.RemoveView(FViewId);
}

int TImageList::Count() const {
    return FList ? ImageList_GetImageCount(FList.get()) : 0;
}

void TImageList::Update() {
    if (!FList) return;
    for (int i = Count(); i < FImages.Count(); ++i) {
        // A missing picture still takes its index, so indexes keep matching.
        HICON icon = FImages.Icon(i);
        if (!icon) icon = LoadIconW(nullptr, IDI_APPLICATION);
        // Scaled here rather than by the list: the list would have the system
        // make a resized copy of the icon first, which takes several times as
        // long (a program's icon is read at 32 pixels and shown at 16).
        TArgbImage image;
        if (ReadIcon(icon, image) &&
            AddArgb(FList.get(), ResampleArgb(image.Pixels, image.Width, image.Height, FSize), FSize) >= 0)
            continue;
        if (ImageList_ReplaceIcon(FList.get(), -1, icon) < 0) break;
    }
}

} // namespace tidora
