#include "ui/PopupMenu.h"

#include "system/Handles.h"
#include "ui/RightToLeft.h"

namespace tidora {
namespace {

struct MenuTraits {
    static HMENU invalid() noexcept { return nullptr; }
    static void close(HMENU h) noexcept { ::DestroyMenu(h); }
};
using UniqueMenu = UniqueResource<HMENU, MenuTraits>;

// Fills Menu with Item's children; command ids index Flat.
void Build(HMENU Menu, TPopupMenuItem& Item, std::vector<TPopupMenuItem*>& Flat) {
    for (size_t i = 0; i < Item.Count(); ++i) {
        auto* child = static_cast<TPopupMenuItem*>(Item.Item(i));
        if (child->Count() > 0) {
            HMENU sub = CreatePopupMenu();
            if (!sub) continue;
            Build(sub, *child, Flat);
            // Owned by Menu from here on.
            AppendMenuW(Menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), child->Caption().c_str());
        } else if (child->Caption() == L"-") {
            AppendMenuW(Menu, MF_SEPARATOR, 0, nullptr);
        } else {
            Flat.push_back(child);
            AppendMenuW(Menu, MF_STRING, Flat.size(), child->Caption().c_str());
        }
    }
}

} // namespace

TPopupMenuItem* TPopupMenuItem::Add(const std::wstring& Name, const std::wstring& Caption) {
    FItems.push_back(std::make_unique<TPopupMenuItem>(Name, Caption));
    return FItems.back().get();
}

TPopupMenuItem* TPopupMenu::Popup(HWND Owner, POINT Screen) {
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return nullptr;
    std::vector<TPopupMenuItem*> flat;
    Build(menu.get(), FRoot, flat);
    UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON;
    if (IsRightToLeft()) flags |= TPM_LAYOUTRTL | TPM_RIGHTALIGN;
    // The owner must be foreground or the menu does not close on a click elsewhere.
    SetForegroundWindow(Owner);
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(menu.get(), flags, Screen.x, Screen.y, Owner, nullptr));
    PostMessageW(Owner, WM_NULL, 0, 0);
    if (chosen == 0 || chosen > flat.size()) return nullptr;
    TPopupMenuItem* item = flat[chosen - 1];
    if (item->OnClick) item->OnClick(item);
    return item;
}

} // namespace tidora
