#include "ui/ImageList.h"

namespace tidora {

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
        if (ImageList_ReplaceIcon(FList.get(), -1, icon ? icon : LoadIconW(nullptr, IDI_APPLICATION)) < 0) break;
    }
}

} // namespace tidora
