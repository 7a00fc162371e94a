#pragma once
// A system image list that shows every picture of an image collection by the
// collection's index, also those appended after it was made (list views take
// their row pictures from it).
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "system/Handles.h"
#include "ui/Component.h"
#include "ui/ImageCollection.h"

namespace tidora {

struct ImageListTraits {
    static HIMAGELIST invalid() noexcept { return nullptr; }
    static void close(HIMAGELIST h) noexcept { ::ImageList_Destroy(h); }
};
using UniqueImageList = UniqueResource<HIMAGELIST, ImageListTraits>;

// Pixels (0xAARRGGBB, straight alpha, Width x Height, top-down) resized to
// Size x Size, each target pixel the mean of the source area it covers,
// weighted by alpha.
std::vector<uint32_t> ResampleArgb(const std::vector<uint32_t>& Pixels, int Width, int Height, int Size);

class TImageList : public TComponent {
public:
    // Size: the pictures' width and height in device pixels.
    TImageList(TImageCollection& Images, int Size);
    ~TImageList() override;

    HIMAGELIST Handle() const { return FList.get(); }
    int Count() const;
    // Takes in the pictures the collection gained since the last call.
    void Update();

private:
    TImageCollection& FImages;
    int FSize;
    UniqueImageList FList;
    int FViewId = 0;
};

} // namespace tidora
