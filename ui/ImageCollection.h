#pragma once
// A page's pictures in list order: the built-in ones first, then every icon the
// page reads for its rows. List views show images by their index here, so
// images are only ever appended and an index stays valid for the page's life.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "system/Handles.h"
#include "system/Path.h"

namespace tidora {

class TImageCollection : public TIconSink {
public:
    using TChangeProc = std::function<void()>;

    TImageCollection() = default;
    TImageCollection(const TImageCollection&) = delete;
    TImageCollection& operator=(const TImageCollection&) = delete;

    // Appends Icon under Name and takes ownership of it; returns its index.
    // Views are not told: call Changed once a batch of additions is done.
    int Add(const std::wstring& Name, UniqueIcon Icon);
    // Add under Location, views told at once: each icon IconIndex reads is a
    // batch of its own.
    int AddIcon(const std::wstring& Location, UniqueIcon Icon) override;

    int Count() const { return static_cast<int>(FItems.size()); }
    // Null or empty for an index outside the collection.
    HICON Icon(int Index) const;
    std::wstring Name(int Index) const;

    // A view (a list's image list, say) asks to be told about additions. The
    // returned id removes it again; a view must go before it is destroyed.
    int AddView(TChangeProc Proc);
    void RemoveView(int Id);

    // Tells every view that images were added.
    void Changed();

private:
    struct TItem {
        std::wstring Name;
        UniqueIcon Icon;
    };
    struct TView {
        int Id;
        TChangeProc Proc;
    };
    std::vector<TItem> FItems;
    std::vector<TView> FViews;
    int FNextViewId = 1;
};

} // namespace tidora
