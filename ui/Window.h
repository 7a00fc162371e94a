#pragma once
// The widget layer's base: one object per window, bound to its handle when the
// window is created. Each message goes to a named handler; notifications a
// control sends its parent (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM, WM_CTLCOLOR*)
// are reflected back to the control that sent them. Controls of the system's
// classes are hooked with SetWindowSubclass.
//
// Those classes, and the subclassing, come from comctl32 (version 6, as the
// program's manifest asks), loaded and registered by EnsureCommonControls
// before the first such control is made. The main window's own controls are
// all of our classes, so its first paint does not wait for the library.
//
// Layout is declared in pixels at 96 dpi: each control has design bounds, an
// alignment, margins (used when AlignWithMargins is set) and inner padding;
// the parent places its children at its form's current dpi, aligned ones in
// the order top, bottom, left, right, client, the others at their scaled
// design position.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "system/Handles.h"
#include "system/Platform.h"
#include "ui/Accessible.h"
#include "ui/Component.h"

namespace tidora {

// Loads comctl32 and registers its window classes, once for the process.
void EnsureCommonControls();

struct TBounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
};
struct TSpacing {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TTextAlign { taLeft, taCenter, taRight };

// A font as a layout gives it: the character height in pixels at 96 dpi.
struct TFontSpec {
    std::wstring Name = L"Segoe UI";
    int Height = 12;
    bool Bold = false;
    bool Antialiased = false;
    COLORREF Color = RGB(0, 0, 0);
    bool operator==(const TFontSpec& o) const {
        return Name == o.Name && Height == o.Height && Bold == o.Bold && Antialiased == o.Antialiased &&
               Color == o.Color;
    }
};

// The colour "as my parent" (controls) or "the window colour" (forms).
constexpr COLORREF clDefault = 0xFF000000;

using TNotifyEvent = std::function<void(class TWindow* Sender)>;

class TForm;

class TWindow : public TComponent {
public:
    ~TWindow() override;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    HWND Handle() const { return FHandle; }
    static TWindow* FromHandle(HWND Window);

    TWindow* Parent() const { return FParent; }
    // The form this window sits on (itself for a form).
    TForm* Form();
    // The calls into the system that the form this window sits on was given;
    // the real ones for a window on no form.
    virtual const TPlatform& Platform() const;
    // Windows' high-contrast mode is on (Platform().HighContrast): our
    // controls then draw in the system's colours instead of their fixed ones.
    // Asked at each paint.
    bool HighContrastOn() const;
    // The component that owns this one: the nearest form or frame above it.
    TWindow* Owner() const { return FOwner; }
    const std::vector<TWindow*>& Children() const { return FChildren; }

    const std::wstring& Name() const { return FName; }
    void SetName(const std::wstring& Name) { FName = Name; }
    // The owned component of this name (ASCII case ignored), searched
    // through owned forms and frames too; null when there is none.
    TWindow* FindComponent(const std::wstring& Name);

    // Layout, in 96-dpi pixels.
    const TBounds& Bounds() const { return FBounds; }
    void SetBounds(const TBounds& Bounds);
    void SetSize(int Width, int Height);
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Align);
    void SetMargins(const TSpacing& Margins, bool AlignWithMargins = true);
    const TSpacing& Padding() const { return FPadding; }
    void SetPadding(const TSpacing& Padding);
    // First among the siblings of its alignment, whatever the creation order.
    void SendToAlignFront();
    // Where the control is now, in physical pixels of its parent's client area.
    RECT BoundsRect() const;
    RECT ClientRect() const;

    bool Visible() const { return FVisible; }
    void SetVisible(bool Visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const;
    void SetEnabled(bool Enabled);
    void SetFocus();
    bool Focused() const;
    // First in the Tab order among its siblings (the order is the creation
    // order until then).
    void BringToTabFront();

    // What screen readers are told: false leaves the window to the system's
    // own description. The name is the caption unless one is set here.
    virtual bool AccessibleInfo(TAccessibleInfo& Info) const { return false; }
    std::wstring AccessibleName() const;
    void SetAccessibleName(const std::wstring& Name);

    // The background: its own colour, else its parent's; the system's window
    // colour in high contrast.
    COLORREF Color() const;
    void SetColor(COLORREF Color);
    // The font: its own, else its parent's.
    const TFontSpec& Font() const;
    void SetFont(const TFontSpec& Font);
    bool ParentFont() const { return FParentFont; }
    // The font at the window's current dpi.
    HFONT FontHandle();

    UINT Dpi() const;
    int Scale(int Value) const;
    bool RightToLeft() const;

    void Invalidate();
    void Repaint();
    // Places the children again (one level) or the whole tree below.
    virtual void Realign();
    void RealignTree();

    // TComponent: captions are the window text.
    bool HasCaption() const override { return FHasCaption; }
    std::wstring Caption() const override;
    void SetCaption(const std::wstring& Caption) override;
    size_t OwnedCount() const override { return FComponents.size(); }
    TComponent* Owned(size_t Index) override;

    // Takes a component (a helper, a menu, an image collection) into this
    // window's ownership; it is destroyed with it, last created first.
    template <typename T>
    T* Adopt(std::unique_ptr<T> Component) {
        T* raw = Component.get();
        FComponents.push_back(std::move(Component));
        return raw;
    }
    // Destroys an owned component now rather than with this window (a page
    // before the lists it reads); nothing when this window does not own it.
    void DestroyComponent(TComponent* Component);

    // Owns the components of the windows on it (forms and page frames).
    virtual bool IsOwnerRoot() const { return false; }

    // Creates a control of type T on Parent, owned by Parent's form or frame.
    template <typename T, typename... A>
    static T* Create(TWindow* Parent, const std::wstring& Name, const TBounds& Bounds,
                     TAlign Align = TAlign::alNone, A&&... Args) {
        static_assert(std::is_base_of<TWindow, T>::value, "T is a window");
        auto control = std::make_unique<T>(Parent, std::forward<A>(Args)...);
        T* raw = control.get();
        raw->FName = Name;
        raw->FBounds = Bounds;
        raw->FAlign = Align;
        Parent->OwnerRootOrSelf()->Adopt(std::move(control));
        raw->CreateHandle();
        return raw;
    }

protected:
    struct TCreateParams {
        std::wstring ClassName;
        DWORD Style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
        DWORD ExStyle = 0;
        // A class of the system (BUTTON ...): hooked with SetWindowSubclass.
        bool SystemClass = false;
        UINT ClassStyle = CS_DBLCLKS;
        HCURSOR Cursor = nullptr;
    };

    // Parent null: a top-level window.
    explicit TWindow(TWindow* Parent);

    virtual void CreateParams(TCreateParams& Params) = 0;
    // Creates the window from CreateParams; controls are made by Create<T>,
    // which calls it once the object is complete. Forms call it themselves.
    void CreateHandle(const RECT* Initial = nullptr);
    void SetHasCaption(bool Has) { FHasCaption = Has; }
    TWindow* OwnerRootOrSelf();

    // Every message comes here first; the default routes to the handlers.
    virtual LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam);
    LRESULT DefaultProc(UINT Msg, WPARAM WParam, LPARAM LParam);

    // Handlers. Paint draws the whole client area into an off-screen buffer
    // (straight into the window where PaintBuffered says no); the default
    // fills it with Color().
    virtual void OnCreated() {}
    virtual void OnPaint(HDC DC, const RECT& Client);
    // False for a window whose paint is one fill, which cannot flicker: a
    // buffer per paint cost more than all of the main window's first paint
    // besides under Wine.
    virtual bool PaintBuffered() const { return true; }
    virtual void OnSize() { Realign(); }
    virtual void OnTimer(UINT_PTR Id) {}
    virtual void OnMouseDown(POINT At) {}
    virtual void OnMouseUp(POINT At) {}
    virtual void OnMouseMove(POINT At) {}
    virtual void OnMouseLeave() {}
    virtual HCURSOR OnCursor() { return nullptr; }
    // Menu and accelerator commands (no control sent them).
    virtual bool OnCommand(WORD Id) { return false; }
    // The window's dpi or font changed: drop what was made for the old one.
    virtual void OnFontChanged();
    // A child joins: called before its window exists, so what is set here
    // (alignment, visibility) is what the window is created with.
    virtual void OnChildAdded(TWindow* Child) {}

    // A screen reader asked for the default action (from the message loop).
    virtual void OnAccessibleAction() {}
    // The focus is in this window or below it: it goes to the next control
    // that can take it, so it is not lost to one that cannot.
    bool HoldsFocus() const;
    void PassFocusOn();

    // Reflected notifications of this control; true when handled.
    virtual bool OnCommandReflected(WORD Code) { return false; }
    virtual bool OnNotifyReflected(NMHDR* Header, LRESULT& Result) { return false; }
    virtual bool OnDrawItemReflected(const DRAWITEMSTRUCT& Item) { return false; }
    virtual HBRUSH OnCtlColorReflected(HDC DC);

    // Where one aligned or free child goes inside Area (Area shrinks by what
    // an aligned child takes), and the same with the child moved there.
    RECT ChildRect(const TWindow* Child, RECT& Area) const;
    // A frame, edge or scroll bar: something the system draws around the client area.
    bool HasNonClientParts() const;
    void PlaceChild(TWindow* Child, RECT& Area, HDWP& Batch);
    // The client area less the padding, and the children in the order they
    // take their room.
    RECT LayoutArea() const;
    std::vector<TWindow*> LayoutOrder() const;
    // Where a realign would put Child now.
    RECT LayoutRectOf(const TWindow* Child) const;
    void ApplyBounds();
    void FontChangedTree();

private:
    static LRESULT CALLBACK StaticWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    static LRESULT CALLBACK SubclassProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam,
                                         UINT_PTR Id, DWORD_PTR Data);
    LRESULT Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam);
    void Detach();
    bool Reflect(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result);

    HWND FHandle = nullptr;
    TWindow* FParent = nullptr;
    TWindow* FOwner = nullptr;
    bool FSubclassed = false;
    bool FHasCaption = false;
    std::wstring FName;
    std::wstring FCaption;  // kept until the window exists
    std::wstring FAccessibleName;
    TBounds FBounds;
    // Where the layout last put the window: a realign moves only the children
    // whose place changed.
    RECT FPlaced{};
    bool FPlacedValid = false;
    TAlign FAlign = TAlign::alNone;
    TSpacing FMargins;
    bool FAlignWithMargins = false;
    TSpacing FPadding;
    int FAlignRank = 0;
    bool FVisible = true;
    bool FEnabled = true;
    COLORREF FColor = clDefault;
    bool FParentFont = true;
    TFontSpec FFont;
    UniqueGdiObject FFontHandle;
    UINT FFontDpi = 0;
    std::vector<TWindow*> FChildren;
    std::vector<std::unique_ptr<TComponent>> FComponents;
};

} // namespace tidora
