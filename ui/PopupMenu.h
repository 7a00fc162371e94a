#pragma once
// A popup menu: a tree of items with captions (translated with their window,
// ui/Translate) and click handlers; the menu is built when it pops up.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Component.h"

namespace tidora {

class TPopupMenuItem : public TMenuItem {
public:
    TPopupMenuItem(const std::wstring& Name, const std::wstring& Caption) : FName(Name), FCaption(Caption) {}

    const std::wstring& Name() const { return FName; }
    std::wstring Caption() const override { return FCaption; }
    void SetCaption(const std::wstring& Caption) override { FCaption = Caption; }
    size_t Count() const override { return FItems.size(); }
    TMenuItem* Item(size_t Index) override { return Index < FItems.size() ? FItems[Index].get() : nullptr; }
    TPopupMenuItem* Add(const std::wstring& Name, const std::wstring& Caption);

    std::function<void(TPopupMenuItem* Sender)> OnClick;

private:
    friend class TPopupMenu;
    std::wstring FName;
    std::wstring FCaption;
    std::vector<std::unique_ptr<TPopupMenuItem>> FItems;
};

class TPopupMenu : public TComponent {
public:
    TMenuItem* PopupRoot() override { return &FRoot; }
    TPopupMenuItem& Items() { return FRoot; }

    // Shows the menu at a screen point for Owner and runs the chosen item's
    // OnClick; returns the chosen item, null when the menu was dismissed.
    TPopupMenuItem* Popup(HWND Owner, POINT Screen);

private:
    TPopupMenuItem FRoot{L"", L""};
};

} // namespace tidora
