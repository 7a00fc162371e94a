#include "ui/Window.h"

#include <commctrl.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <unordered_map>

#include "system/Strings.h"
#include "ui/Dpi.h"
#include "ui/ErrorHandler.h"
#include "ui/Form.h"
#include "ui/Graphics.h"

namespace tidora {
namespace {

// Which of our objects each window is. Not a window property: under Wine
// each GetPropW is a round trip to its server, and every message to every
// window asks. Never destroyed: windows may outlive static destruction.
class TWindowMap {
public:
    void Set(HWND Window, TWindow* Object) {
        const std::lock_guard<std::mutex> hold(FLock);
        FMap[Window] = Object;
    }
    void Erase(HWND Window) {
        const std::lock_guard<std::mutex> hold(FLock);
        FMap.erase(Window);
    }
    TWindow* Find(HWND Window) {
        const std::lock_guard<std::mutex> hold(FLock);
        const auto found = FMap.find(Window);
        return found == FMap.end() ? nullptr : found->second;
    }

private:
    std::mutex FLock;
    std::unordered_map<HWND, TWindow*> FMap;
};

TWindowMap& Windows() {
    static TWindowMap& map = *new TWindowMap;
    return map;
}
constexpr UINT_PTR SubclassId = 0x54494457;  // one hook per control

// Distinct control ids, clear of IDOK and the other dialog ids.
int NextControlId() {
    static int next = 0;
    next = (next + 1) % 0xEF00;
    return next + 0x100;
}

bool QueryAccessible(HWND Window, TAccessibleInfo& Info) {
    TWindow* window = TWindow::FromHandle(Window);
    return window && window->AccessibleInfo(Info);
}

} // namespace

TWindow::TWindow(TWindow* Parent) : FParent(Parent) {
    if (Parent) {
        FOwner = Parent->OwnerRootOrSelf();
        Parent->FChildren.push_back(this);
    }
}

TWindow::~TWindow() {
    while (!FComponents.empty()) {
        // Out of the list first: a component going away never sees itself in it.
        std::unique_ptr<TComponent> last = std::move(FComponents.back());
        FComponents.pop_back();
        last.reset();
    }
    for (TWindow* child : FChildren) child->FParent = nullptr;
    if (FParent) {
        auto& siblings = FParent->FChildren;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (FHandle) {
        HWND window = FHandle;
        DestroyWindow(window);
        // A window of another thread cannot be destroyed from here; forget it.
        if (FHandle) Detach();
    }
}

TWindow* TWindow::FromHandle(HWND Window) {
    return Window ? Windows().Find(Window) : nullptr;
}

TForm* TWindow::Form() {
    TWindow* w = this;
    while (w->FParent) w = w->FParent;
    return dynamic_cast<TForm*>(w);
}

const TPlatform& TWindow::Platform() const {
    return FParent ? FParent->Platform() : RealPlatform();
}

bool TWindow::HighContrastOn() const {
    const TPlatform& platform = Platform();
    return platform.HighContrast && platform.HighContrast();
}

TWindow* TWindow::OwnerRootOrSelf() {
    if (IsOwnerRoot() || !FOwner) return this;
    return FOwner;
}

TWindow* TWindow::FindComponent(const std::wstring& Name) {
    for (auto& component : FComponents) {
        auto* window = dynamic_cast<TWindow*>(component.get());
        if (!window) continue;
        if (EqualsTextAscii(window->FName, Name)) return window;
    }
    return nullptr;
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof(icc),
                                 ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_LINK_CLASS};
        return InitCommonControlsEx(&icc) != FALSE;
    }();
    (void)done;
}

void TWindow::CreateHandle(const RECT* Initial) {
    if (FHandle) return;
    if (FParent) FParent->OnChildAdded(this);
    TCreateParams params;
    CreateParams(params);
    if (!FVisible) params.Style &= ~WS_VISIBLE;
    if (!FEnabled) params.Style |= WS_DISABLED;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (params.SystemClass) EnsureCommonControls();
    if (!params.SystemClass) {
        static std::set<std::wstring> registered;
        if (!registered.count(params.ClassName)) {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.style = params.ClassStyle;
            wc.lpfnWndProc = StaticWndProc;
            wc.hInstance = instance;
            wc.hCursor = params.Cursor ? params.Cursor : LoadCursorW(nullptr, IDC_ARROW);
            wc.lpszClassName = params.ClassName.c_str();
            if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
                registered.insert(params.ClassName);
        }
    }
    // A child is made in its place: moving it afterwards costs another round
    // of messages for it and its siblings.
    RECT r = Initial ? *Initial : RECT{0, 0, 0, 0};
    if (!Initial && FParent && FParent->FHandle) r = FParent->LayoutRectOf(this);
    HWND parent = FParent ? FParent->FHandle : nullptr;
    const bool topLevel = !(params.Style & WS_CHILD);
    HWND window = CreateWindowExW(params.ExStyle, params.ClassName.c_str(), FCaption.c_str(), params.Style,
                                  topLevel && !Initial ? CW_USEDEFAULT : r.left, topLevel && !Initial ? 0 : r.top,
                                  r.right - r.left, r.bottom - r.top, parent,
                                  topLevel ? nullptr : reinterpret_cast<HMENU>(static_cast<INT_PTR>(NextControlId())),
                                  instance, params.SystemClass ? nullptr : this);
    if (!window) return;
    if (!topLevel) {
        FPlaced = r;
        FPlacedValid = true;
    }
    if (params.SystemClass) {
        FHandle = window;
        Windows().Set(window, this);
        FSubclassed = SetWindowSubclass(window, SubclassProc, SubclassId, reinterpret_cast<DWORD_PTR>(this)) != FALSE;
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
    }
    OnCreated();
    if (FParent) ApplyBounds();
}

LRESULT CALLBACK TWindow::StaticWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWindow* self = nullptr;
    if (Msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
        if (self) {
            self->FHandle = Window;
            Windows().Set(Window, self);
        }
    } else {
        self = FromHandle(Window);
    }
    if (!self) return DefWindowProcW(Window, Msg, WParam, LParam);
    return self->Dispatch(Msg, WParam, LParam);
}

LRESULT CALLBACK TWindow::SubclassProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                       DWORD_PTR Data) {
    auto* self = reinterpret_cast<TWindow*>(Data);
    if (!self || self->FHandle != Window) return DefSubclassProc(Window, Msg, WParam, LParam);
    return self->Dispatch(Msg, WParam, LParam);
}

LRESULT TWindow::Dispatch(UINT Msg, WPARAM WParam, LPARAM LParam) {
    // No exception may cross the system's frames: an error that escapes a
    // handler is shown here and the program goes on.
    LRESULT result = 0;
    try {
        result = WndProc(Msg, WParam, LParam);
    } catch (...) {
        if (Msg == WM_PAINT && FHandle) ValidateRect(FHandle, nullptr);
        HandleException(std::current_exception());
        result = 0;
    }
    if (Msg == WM_NCDESTROY) Detach();
    return result;
}

void TWindow::Detach() {
    if (!FHandle) return;
    if (FSubclassed) RemoveWindowSubclass(FHandle, SubclassProc, SubclassId);
    FSubclassed = false;
    FCaption = Caption();
    Windows().Erase(FHandle);
    FHandle = nullptr;
}

LRESULT TWindow::DefaultProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    return FSubclassed ? DefSubclassProc(FHandle, Msg, WParam, LParam)
                       : DefWindowProcW(FHandle, Msg, WParam, LParam);
}

bool TWindow::Reflect(UINT Msg, WPARAM WParam, LPARAM LParam, LRESULT& Result) {
    TWindow* child = nullptr;
    switch (Msg) {
    case WM_COMMAND:
        child = FromHandle(reinterpret_cast<HWND>(LParam));
        if (child && child != this && child->OnCommandReflected(HIWORD(WParam))) {
            Result = 0;
            return true;
        }
        return false;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(LParam);
        child = header ? FromHandle(header->hwndFrom) : nullptr;
        return child && child != this && child->OnNotifyReflected(header, Result);
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(LParam);
        child = item ? FromHandle(item->hwndItem) : nullptr;
        if (child && child != this && child->OnDrawItemReflected(*item)) {
            Result = TRUE;
            return true;
        }
        return false;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        child = FromHandle(reinterpret_cast<HWND>(LParam));
        if (child && child != this) {
            if (HBRUSH brush = child->OnCtlColorReflected(reinterpret_cast<HDC>(WParam))) {
                Result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
        }
        return false;
    }
    return false;
}

LRESULT TWindow::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    LRESULT reflected = 0;
    if (Reflect(Msg, WParam, LParam, reflected)) return reflected;
    switch (Msg) {
    case WM_COMMAND:
        if (LParam == 0 && OnCommand(LOWORD(WParam))) return 0;
        break;
    case WM_GETOBJECT:
        if (static_cast<LONG>(LParam) == OBJID_CLIENT) {
            TAccessibleInfo info;
            if (AccessibleInfo(info))
                if (const LRESULT object = AnswerGetObject(FHandle, WParam, QueryAccessible)) return object;
        }
        break;
    case WM_ACCESSIBLEACTION:
        OnAccessibleAction();
        return 0;
    case WM_ERASEBKGND:
        if (!FSubclassed) return 1;
        break;
    case WM_NCPAINT:
        // A window without frame or scroll bars has no non-client area to
        // draw, yet the default handling costs a round trip per window under
        // Wine, for every control, every time the form is shown.
        if (!HasNonClientParts()) return 0;
        break;
    case WM_PAINT:
        if (FSubclassed) break;
        {
            TPaintScope paint(FHandle);
            RECT client = ClientRect();
            if (!PaintBuffered()) {
                OnPaint(paint.DC(), client);
                return 0;
            }
            TBufferedPaint buffer(paint.DC(), client);
            OnPaint(buffer.DC(), buffer.Rect());
        }
        return 0;
    case WM_PRINTCLIENT:
        if (FSubclassed) break;
        OnPaint(reinterpret_cast<HDC>(WParam), ClientRect());
        return 0;
    case WM_SIZE:
        OnSize();
        break;
    case WM_TIMER:
        OnTimer(WParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnMouseDown(POINT{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))});
        break;
    case WM_LBUTTONUP:
        OnMouseUp(POINT{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))});
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(POINT{static_cast<short>(LOWORD(LParam)), static_cast<short>(HIWORD(LParam))});
        break;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        break;
    case WM_SETCURSOR:
        if (LOWORD(LParam) == HTCLIENT) {
            if (HCURSOR cursor = OnCursor()) {
                ::SetCursor(cursor);
                return TRUE;
            }
        }
        break;
    }
    return DefaultProc(Msg, WParam, LParam);
}

bool TWindow::HasNonClientParts() const {
    if (!FHandle) return true;
    const auto style = static_cast<DWORD>(GetWindowLongW(FHandle, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(FHandle, GWL_EXSTYLE));
    return (style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_VSCROLL | WS_HSCROLL)) ||
           (exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME));
}

void TWindow::OnPaint(HDC DC, const RECT& Client) {
    FillSolidRect(DC, Client, Color());
}

HBRUSH TWindow::OnCtlColorReflected(HDC DC) {
    return nullptr;
}

void TWindow::OnFontChanged() {
    FFontHandle.reset();
    FFontDpi = 0;
    if (FSubclassed && FHandle) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
}

void TWindow::FontChangedTree() {
    OnFontChanged();
    for (TWindow* child : FChildren) child->FontChangedTree();
}

// Layout.

void TWindow::SetBounds(const TBounds& Bounds) {
    FBounds = Bounds;
    ApplyBounds();
}

void TWindow::SetSize(int Width, int Height) {
    TBounds b = FBounds;
    b.Width = Width;
    b.Height = Height;
    SetBounds(b);
}

void TWindow::SetAlign(TAlign Align) {
    FAlign = Align;
    ApplyBounds();
}

void TWindow::SetMargins(const TSpacing& Margins, bool AlignWithMargins) {
    FMargins = Margins;
    FAlignWithMargins = AlignWithMargins;
    ApplyBounds();
}

void TWindow::SetPadding(const TSpacing& Padding) {
    FPadding = Padding;
    Realign();
}

void TWindow::SendToAlignFront() {
    if (!FParent) return;
    int lowest = 0;
    for (TWindow* sibling : FParent->FChildren) lowest = std::min(lowest, sibling->FAlignRank);
    FAlignRank = lowest - 1;
    ApplyBounds();
}

void TWindow::ApplyBounds() {
    if (!FParent || !FHandle) return;
    if (FAlign != TAlign::alNone) {
        FParent->Realign();
        return;
    }
    RECT area = FParent->ClientRect();
    HDWP batch = nullptr;
    FParent->PlaceChild(this, area, batch);
}

RECT TWindow::ClientRect() const {
    RECT r{0, 0, 0, 0};
    if (FHandle) GetClientRect(FHandle, &r);
    return r;
}

RECT TWindow::BoundsRect() const {
    RECT r{0, 0, 0, 0};
    if (!FHandle) return r;
    GetWindowRect(FHandle, &r);
    if (FParent && FParent->FHandle) MapWindowPoints(HWND_DESKTOP, FParent->FHandle, reinterpret_cast<POINT*>(&r), 2);
    if (r.left > r.right) std::swap(r.left, r.right);  // a mirrored parent maps right to left
    return r;
}

RECT TWindow::ChildRect(const TWindow* Child, RECT& Area) const {
    const TBounds& b = Child->FBounds;
    TSpacing m{};
    if (Child->FAlignWithMargins && Child->FAlign != TAlign::alNone) {
        m = TSpacing{Scale(Child->FMargins.Left), Scale(Child->FMargins.Top), Scale(Child->FMargins.Right),
                     Scale(Child->FMargins.Bottom)};
    }
    const int w = Scale(b.Width), h = Scale(b.Height);
    RECT r{};
    switch (Child->FAlign) {
    case TAlign::alNone: {
        const RECT client = ClientRect();
        r = RECT{client.left + Scale(b.Left), client.top + Scale(b.Top), 0, 0};
        r.right = r.left + w;
        r.bottom = r.top + h;
        break;
    }
    case TAlign::alTop:
        r = RECT{Area.left + m.Left, Area.top + m.Top, Area.right - m.Right, Area.top + m.Top + h};
        Area.top = r.bottom + m.Bottom;
        break;
    case TAlign::alBottom:
        r = RECT{Area.left + m.Left, Area.bottom - m.Bottom - h, Area.right - m.Right, Area.bottom - m.Bottom};
        Area.bottom = r.top - m.Top;
        break;
    case TAlign::alLeft:
        r = RECT{Area.left + m.Left, Area.top + m.Top, Area.left + m.Left + w, Area.bottom - m.Bottom};
        Area.left = r.right + m.Right;
        break;
    case TAlign::alRight:
        r = RECT{Area.right - m.Right - w, Area.top + m.Top, Area.right - m.Right, Area.bottom - m.Bottom};
        Area.right = r.left - m.Left;
        break;
    case TAlign::alClient:
        r = RECT{Area.left + m.Left, Area.top + m.Top, Area.right - m.Right, Area.bottom - m.Bottom};
        break;
    }
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

void TWindow::PlaceChild(TWindow* Child, RECT& Area, HDWP& Batch) {
    const RECT r = ChildRect(Child, Area);
    if (!Child->FHandle) return;
    if (Child->FPlacedValid && EqualRect(&r, &Child->FPlaced)) return;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (Batch) Batch = DeferWindowPos(Batch, Child->FHandle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
    else SetWindowPos(Child->FHandle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
    Child->FPlaced = r;
    Child->FPlacedValid = true;
}

RECT TWindow::LayoutArea() const {
    RECT area = ClientRect();
    area.left += Scale(FPadding.Left);
    area.top += Scale(FPadding.Top);
    area.right -= Scale(FPadding.Right);
    area.bottom -= Scale(FPadding.Bottom);
    return area;
}

std::vector<TWindow*> TWindow::LayoutOrder() const {
    // Aligned children by kind, then by rank (SendToAlignFront), then in
    // creation order; hidden ones take no room.
    std::vector<TWindow*> order;
    for (TAlign kind : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        std::vector<TWindow*> group;
        for (TWindow* child : FChildren)
            if (child->FAlign == kind && child->FVisible) group.push_back(child);
        std::stable_sort(group.begin(), group.end(),
                         [](const TWindow* a, const TWindow* b) { return a->FAlignRank < b->FAlignRank; });
        order.insert(order.end(), group.begin(), group.end());
    }
    for (TWindow* child : FChildren)
        if (child->FAlign == TAlign::alNone) order.push_back(child);
    return order;
}

RECT TWindow::LayoutRectOf(const TWindow* Child) const {
    RECT area = LayoutArea();
    if (Child->FAlign == TAlign::alNone) return ChildRect(Child, area);
    for (TWindow* child : LayoutOrder()) {
        const RECT r = ChildRect(child, area);
        if (child == Child) return r;
    }
    return RECT{0, 0, 0, 0};
}

void TWindow::Realign() {
    if (!FHandle || FChildren.empty()) return;
    RECT area = LayoutArea();
    const std::vector<TWindow*> order = LayoutOrder();
    HDWP batch = BeginDeferWindowPos(static_cast<int>(order.size()));
    const bool batched = batch != nullptr;
    for (TWindow* child : order) PlaceChild(child, area, batch);
    // A batch that failed on the way moved none of what it held.
    if (batched && !(batch && EndDeferWindowPos(batch)))
        for (TWindow* child : order) child->FPlacedValid = false;
}

void TWindow::RealignTree() {
    Realign();
    for (TWindow* child : FChildren) child->RealignTree();
}

// State.

void TWindow::SetVisible(bool Visible) {
    if (FVisible == Visible) return;
    FVisible = Visible;
    const bool focused = !Visible && HoldsFocus();
    if (FHandle) ShowWindow(FHandle, Visible ? SW_SHOWNA : SW_HIDE);
    if (focused) PassFocusOn();
    if (FParent && FAlign != TAlign::alNone) FParent->Realign();
}

bool TWindow::Enabled() const {
    return FHandle ? IsWindowEnabled(FHandle) != FALSE : FEnabled;
}

void TWindow::SetEnabled(bool Enabled) {
    FEnabled = Enabled;
    const bool focused = !Enabled && HoldsFocus();
    if (FHandle) EnableWindow(FHandle, Enabled);
    if (focused) PassFocusOn();
}

bool TWindow::HoldsFocus() const {
    HWND focus = GetFocus();
    return FHandle && focus && (focus == FHandle || IsChild(FHandle, focus));
}

void TWindow::PassFocusOn() {
    HWND root = FHandle && FParent ? GetAncestor(FHandle, GA_ROOT) : nullptr;
    if (!root) return;
    // The system drops the focus of a window it disables or hides; the next
    // control in the Tab order takes it, else the window itself.
    HWND next = GetNextDlgTabItem(root, FHandle, FALSE);
    if (next && next != FHandle && !IsChild(FHandle, next) && IsWindowEnabled(next) && IsWindowVisible(next))
        ::SetFocus(next);
    else if (!GetFocus() || GetFocus() == FHandle || IsChild(FHandle, GetFocus()))
        ::SetFocus(root);
}

void TWindow::BringToTabFront() {
    if (FHandle) SetWindowPos(FHandle, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

std::wstring TWindow::AccessibleName() const {
    return FAccessibleName.empty() ? Caption() : FAccessibleName;
}

void TWindow::SetAccessibleName(const std::wstring& Name) {
    FAccessibleName = Name;
    if (FHandle) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, FHandle, OBJID_CLIENT, CHILDID_SELF);
}

void TWindow::SetFocus() {
    if (FHandle) ::SetFocus(FHandle);
}

bool TWindow::Focused() const {
    return FHandle && GetFocus() == FHandle;
}

COLORREF TWindow::Color() const {
    // High contrast: every background is the system's window colour.
    if (HighContrastOn()) return GetSysColor(COLOR_WINDOW);
    if (FColor != clDefault) return FColor;
    if (FParent) return FParent->Color();
    return GetSysColor(COLOR_WINDOW);
}

void TWindow::SetColor(COLORREF Color) {
    FColor = Color;
    if (FHandle) RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

const TFontSpec& TWindow::Font() const {
    if (FParentFont && FParent) return FParent->Font();
    return FFont;
}

void TWindow::SetFont(const TFontSpec& Font) {
    FFont = Font;
    FParentFont = false;
    FontChangedTree();
    Invalidate();
}

HFONT TWindow::FontHandle() {
    if (FParentFont && FParent) return FParent->FontHandle();
    const UINT dpi = Dpi();
    if (!FFontHandle || FFontDpi != dpi) {
        LOGFONTW lf{};
        lf.lfHeight = -ScaleForDpi(FFont.Height, dpi);
        lf.lfWeight = FFont.Bold ? FW_BOLD : FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfQuality = FFont.Antialiased ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
        lstrcpynW(lf.lfFaceName, FFont.Name.c_str(), LF_FACESIZE);
        FFontHandle.reset(CreateFontIndirectW(&lf));
        FFontDpi = dpi;
    }
    return static_cast<HFONT>(FFontHandle ? FFontHandle.get() : GetStockObject(DEFAULT_GUI_FONT));
}

UINT TWindow::Dpi() const {
    const TWindow* w = this;
    while (w->FParent) w = w->FParent;
    if (auto* form = dynamic_cast<const TForm*>(w)) return form->CurrentDpi();
    return FHandle ? WindowDpi(FHandle) : SystemDpi();
}

int TWindow::Scale(int Value) const {
    return ScaleForDpi(Value, Dpi());
}

bool TWindow::RightToLeft() const {
    return FHandle && (GetWindowLongW(FHandle, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
}

void TWindow::Invalidate() {
    if (FHandle) InvalidateRect(FHandle, nullptr, FALSE);
}

void TWindow::Repaint() {
    if (FHandle) RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Captions and ownership.

std::wstring TWindow::Caption() const {
    if (!FHandle) return FCaption;
    const int length = GetWindowTextLengthW(FHandle);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(FHandle, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void TWindow::SetCaption(const std::wstring& Caption) {
    FCaption = Caption;
    if (FHandle) {
        SetWindowTextW(FHandle, Caption.c_str());
        Invalidate();
    }
}

void TWindow::DestroyComponent(TComponent* Component) {
    auto it = std::find_if(FComponents.begin(), FComponents.end(),
                           [Component](const std::unique_ptr<TComponent>& Owned) { return Owned.get() == Component; });
    if (it == FComponents.end()) return;
    // Out of the list first, as in the destructor.
    std::unique_ptr<TComponent> gone = std::move(*it);
    FComponents.erase(it);
    gone.reset();
}

TComponent* TWindow::Owned(size_t Index) {
    return Index < FComponents.size() ? FComponents[Index].get() : nullptr;
}

} // namespace tidora
