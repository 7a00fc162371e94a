#include "ui/ImageCollection.h"

#include <algorithm>

namespace tidora {

int TImageCollection::Add(const std::wstring& Name, UniqueIcon Icon) {
    FItems.push_back(TItem{Name, std::move(Icon)});
    return Count() - 1;
}

int TImageCollection::AddIcon(const std::wstring& Location, UniqueIcon Icon) {
    const int index = Add(Location, std::move(Icon));
    Changed();
    return index;
}

HICON TImageCollection::Icon(int Index) const {
    if (Index < 0 || Index >= Count()) return nullptr;
    return FItems[static_cast<size_t>(Index)].Icon.get();
}

std::wstring TImageCollection::Name(int Index) const {
    if (Index < 0 || Index >= Count()) return {};
    return FItems[static_cast<size_t>(Index)].Name;
}

int TImageCollection::AddView(TChangeProc Proc) {
    const int id = FNextViewId++;
    FViews.push_back(TView{id, std::move(Proc)});
    return id;
}

void TImageCollection::RemoveView(int Id) {
    FViews.erase(std::remove_if(FViews.begin(), FViews.end(), [Id](const TView& v) { return v.Id == Id; }),
                 FViews.end());
}

void TImageCollection::Changed() {
    // A view may remove itself while being told; walk a copy.
    const std::vector<TView> views = FViews;
    for (const TView& view : views)
        if (view.Proc) view.Proc();
}

} // namespace tidora
