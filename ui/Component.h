#pragma once
// What the translation walk needs to know of a window tree: captions, the
// components each one owns (in creation order), forms and popup menus. Real
// windows and test doubles both answer through this interface.
#include <cstddef>
#include <string>

namespace tidora {

class TMenuItem {
public:
    virtual ~TMenuItem() = default;
    virtual std::wstring Caption() const = 0;
    virtual void SetCaption(const std::wstring& Caption) = 0;
    virtual size_t Count() const = 0;
    virtual TMenuItem* Item(size_t Index) = 0;
};

class TComponent {
public:
    virtual ~TComponent() = default;
    // The root item when this component is a popup menu, else null.
    virtual TMenuItem* PopupRoot() { return nullptr; }
    virtual bool HasCaption() const { return false; }
    virtual std::wstring Caption() const { return {}; }
    virtual void SetCaption(const std::wstring&) {}
    // A top-level window (a page frame is not one).
    virtual bool IsForm() const { return false; }
    virtual size_t OwnedCount() const { return 0; }
    virtual TComponent* Owned(size_t) { return nullptr; }
};

} // namespace tidora
