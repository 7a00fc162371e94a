#include "ui/ListView.h"

#include <uxtheme.h>

#include <algorithm>


namespace tidora {
namespace {

constexpr int kPictureSize = 16;  // row pictures at 96 dpi

// Keeps a list from drawing while the control changes its row count, and has
// it drawn once afterwards, scroll bars and all. A new count sets the scroll
// ranges four times over, and each time the control draws its scroll bars
// anew (under Wine a trip to the X server every time). Only the default
// handling of WM_SETREDRAW is used: the control's own would skip the scroll
// ranges, and set them all again when drawing resumes. Does nothing where
// drawing is off already.
class TDrawingHeld {
public:
    explicit TDrawingHeld(HWND List)
        : FList(List && (GetWindowLongW(List, GWL_STYLE) & WS_VISIBLE) ? List : nullptr) {
        if (FList) DefWindowProcW(FList, WM_SETREDRAW, FALSE, 0);
    }
    ~TDrawingHeld() {
        if (!FList) return;
        DefWindowProcW(FList, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(FList, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    TDrawingHeld(const TDrawingHeld&) = delete;
    TDrawingHeld& operator=(const TDrawingHeld&) = delete;

private:
    HWND FList;
};

} // namespace

TListView::TListView(TWindow* Parent) : TWindow(Parent) {}

TListView::~TListView() {
    // The control must not draw with image lists that are about to go.
    if (Handle()) {
        SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_STATE, 0);
    }
}

void TListView::CreateParams(TCreateParams& Params) {
    Params.ClassName = WC_LISTVIEWW;
    Params.SystemClass = true;
    // The image lists stay ours (LVS_SHAREIMAGELISTS): the row-height list is
    // replaced at every dpi change and the picture list is a component.
    Params.Style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT | LVS_OWNERDATA |
                   LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_NOSORTHEADER;
}

void TListView::OnCreated() {
    FControlProc = reinterpret_cast<WNDPROC>(GetClassLongPtrW(Handle(), GCLP_WNDPROC));
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    SendMessageW(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    // The explorer look: hot rows and a blended selection.
    SetWindowTheme(Handle(), L"Explorer", nullptr);
    // No dotted focus rectangle around the focused row.
    SendMessageW(Handle(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS), 0);
}

LRESULT TListView::Control(UINT Msg, WPARAM WParam, LPARAM LParam) const {
    if (!Handle()) return 0;
    // Straight to the control: a message sent to the window passes the
    // subclass hook first, which under Wine looks up its data three times
    // over, a round trip to the server each. What the control sends itself
    // meanwhile still passes the hook.
    return FControlProc ? CallWindowProcW(FControlProc, Handle(), Msg, WParam, LParam)
                        : SendMessageW(Handle(), Msg, WParam, LParam);
}

// ---- columns ----

int TListView::AddColumn(const std::wstring& Title, int Width) {
    if (!Handle()) return -1;
    const int index = ColumnCount();
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(Title.c_str());
    column.cx = Scale(Width);
    column.iSubItem = index;
    if (SendMessageW(Handle(), LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) < 0) return -1;
    FColumns.push_back(TColumn{Width, L"", UniqueGdiObject(), 0});
    FitAutoSizeColumn();
    return index;
}

void TListView::SetAutoSizeColumn(int Column) {
    FAutoSizeColumn = Column;
    FitAutoSizeColumn();
}

int TListView::ColumnWidth(int Column) const {
    return static_cast<int>(Control(LVM_GETCOLUMNWIDTH, Column, 0));
}

void TListView::FitAutoSizeColumn() {
    if (!Handle() || FFitting || FAutoSizeColumn < 0 || FAutoSizeColumn >= ColumnCount()) return;
    // Setting a width can show or hide a scroll bar, which resizes the client
    // area and comes back here.
    FFitting = true;
    int rest = ClientRect().right;
    for (int i = 0; i < ColumnCount(); ++i)
        if (i != FAutoSizeColumn) rest -= ColumnWidth(i);
    Control(LVM_SETCOLUMNWIDTH, FAutoSizeColumn, std::max(rest, 0));
    FFitting = false;
}

void TListView::SetColumnFontName(int Column, const std::wstring& Name) {
    if (Column < 0 || Column >= ColumnCount()) return;
    FColumns[static_cast<size_t>(Column)].FontName = Name;
    FColumns[static_cast<size_t>(Column)].Font.reset();
    Invalidate();
}

HFONT TListView::ColumnFont(int Column) {
    if (Column < 0 || Column >= ColumnCount()) return FontHandle();
    TColumn& column = FColumns[static_cast<size_t>(Column)];
    if (column.FontName.empty()) return FontHandle();
    const UINT dpi = Dpi();
    if (!column.Font || column.FontDpi != dpi) {
        // The list's own font with another face, so the rows keep one size.
        LOGFONTW font{};
        if (!GetObjectW(FontHandle(), sizeof(font), &font)) return FontHandle();
        lstrcpynW(font.lfFaceName, column.FontName.c_str(), LF_FACESIZE);
        column.Font.reset(CreateFontIndirectW(&font));
        column.FontDpi = dpi;
    }
    return column.Font ? static_cast<HFONT>(column.Font.get()) : FontHandle();
}

// ---- pictures and row height ----

void TListView::SetImages(TImageCollection* Images) {
    FImages = Images;
    if (!Images) {
        if (Handle()) SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        FImageList.reset();
        return;
    }
    ApplyDpi();
}

HIMAGELIST TListView::ImageListHandle() const {
    return FImageList ? FImageList->Handle() : nullptr;
}

void TListView::SetRowHeight(int Height) {
    FRowHeight = Height;
    ApplyRowHeight();
}

void TListView::ApplyDpi() {
    if (!Handle()) return;
    std::unique_ptr<TImageList> pictures;
    if (FImages) pictures = std::make_unique<TImageList>(*FImages, Scale(kPictureSize));
    SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_SMALL,
                 reinterpret_cast<LPARAM>(pictures ? pictures->Handle() : nullptr));
    FImageList = std::move(pictures);
    for (int i = 0; i < ColumnCount(); ++i)
        if (i != FAutoSizeColumn)
            SendMessageW(Handle(), LVM_SETCOLUMNWIDTH, i, Scale(FColumns[static_cast<size_t>(i)].Width));
    ApplyRowHeight();
    FitAutoSizeColumn();
}

void TListView::ApplyRowHeight() {
    if (!Handle() || FRowHeight <= 0) return;
    // A report row is as high as the tallest of its font, its pictures and its
    // state pictures, plus a padding of the platform's choosing. An empty
    // state image list one pixel wide sets the height; what the platform adds
    // is measured and taken off again.
    const int want = Scale(FRowHeight);
    int cell = want - 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        UniqueImageList sizer(ImageList_Create(1, std::max(cell, 1), ILC_COLOR32, 0, 1));
        if (!sizer) return;
        SendMessageW(Handle(), LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(sizer.get()));
        FRowSizer = std::move(sizer);
        const int got = MeasuredRowHeight();
        if (got <= 0 || got == want) return;
        cell += want - got;
    }
}

int TListView::MeasuredRowHeight() {
    if (!Handle()) return 0;
    // A row must exist to be measured: an empty list gets one for a moment,
    // unpainted; the owner is not asked for it (it has none).
    const bool borrow = ListView_GetItemCount(Handle()) == 0;
    if (borrow) {
        BeginUpdate();
        SendMessageW(Handle(), LVM_SETITEMCOUNT, 1, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    }
    RECT r{};
    r.left = LVIR_BOUNDS;
    const bool got = SendMessageW(Handle(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&r)) != 0;
    if (borrow) {
        SendMessageW(Handle(), LVM_SETITEMCOUNT, 0, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        EndUpdate();
    }
    return got ? static_cast<int>(r.bottom - r.top) : 0;
}

void TListView::OnFontChanged() {
    TWindow::OnFontChanged();
    for (TColumn& column : FColumns) column.Font.reset();
    ApplyDpi();
}

// ---- rows ----

void TListView::SetRowCount(int Count) {
    FRowCount = std::max(Count, 0);
    // An unchanged count leaves the scroll bars as they are: the rows are
    // only drawn again.
    const int had = Handle() ? static_cast<int>(Control(LVM_GETITEMCOUNT, 0, 0)) : FRowCount;
    if (FRowCount != had) {
        const bool wasEmpty = had == 0;
        TDrawingHeld held(FUpdateDepth == 0 ? Handle() : nullptr);
        Control(LVM_SETITEMCOUNT, FRowCount, LVSICF_NOSCROLL);
        if (wasEmpty && FRowCount > 0) LayOutRows();
    }
    InvalidateRows();
}

void TListView::LayOutRows() {
    // The control works out its rows' size and its scroll bars on the first
    // paint that has rows, setting the scroll bars several times over, and
    // each time they are drawn at once if the list is shown (under Wine a
    // round of theme drawing every time). A paint while the list is kept from
    // drawing, into a device context that shows nothing, does that work
    // unseen and leaves the rows alone to the real paint. It is skipped where
    // the list could be seen; drawn into a buffer (double buffering) the
    // control would draw every row in view, so the buffer is off meanwhile.
    HDC dc = GetDC(Handle());
    if (!dc) return;
    RECT box{};
    if (GetClipBox(dc, &box) == NULLREGION) {
        const DWORD buffered =
            static_cast<DWORD>(Control(LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)) & LVS_EX_DOUBLEBUFFER;
        if (buffered) Control(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, 0);
        SendMessageW(Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        if (buffered) Control(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER, buffered);
    }
    ReleaseDC(Handle(), dc);
}

void TListView::DeleteRow(int Row) {
    if (Row < 0 || Row >= FRowCount) return;
    --FRowCount;
    if (Handle()) SendMessageW(Handle(), LVM_DELETEITEM, Row, 0);
}

void TListView::Clear() {
    FRowCount = 0;
    if (Handle()) SendMessageW(Handle(), LVM_DELETEALLITEMS, 0, 0);
}

void TListView::BeginUpdate() {
    if (FUpdateDepth++ == 0 && Handle()) SendMessageW(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    if (FUpdateDepth == 0) return;
    if (--FUpdateDepth == 0 && Handle()) {
        SendMessageW(Handle(), WM_SETREDRAW, TRUE, 0);
        InvalidateRows();
    }
}

void TListView::InvalidateRows() {
    if (Handle() && FUpdateDepth == 0) InvalidateRect(Handle(), nullptr, FALSE);
}

int TListView::SelectedRow() const {
    if (!Handle()) return -1;
    const int row = static_cast<int>(SendMessageW(Handle(), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    return row < FRowCount ? row : -1;
}

int TListView::FocusedRow() const {
    if (!Handle()) return -1;
    const int row = static_cast<int>(SendMessageW(Handle(), LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
    return row < FRowCount ? row : -1;
}

void TListView::SelectRow(int Row) {
    if (!Handle()) return;
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (Row < 0 || Row >= FRowCount) {
        SendMessageW(Handle(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        return;
    }
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Handle(), LVM_SETITEMSTATE, Row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(Handle(), LVM_ENSUREVISIBLE, Row, FALSE);
}

int TListView::TopRow() const {
    return static_cast<int>(Control(LVM_GETTOPINDEX, 0, 0));
}

int TListView::RowsPerPage() const {
    return static_cast<int>(Control(LVM_GETCOUNTPERPAGE, 0, 0));
}

RECT TListView::RowRect(int Row) const {
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (!Handle() || !SendMessageW(Handle(), LVM_GETITEMRECT, Row, reinterpret_cast<LPARAM>(&r))) return RECT{};
    return r;
}

void TListView::ReleaseOwner() {
    OnGetText = nullptr;
    OnGetImageIndex = nullptr;
    OnGetTextColor = nullptr;
    OnClick = nullptr;
    OnDblClick = nullptr;
    OnKeyDown = nullptr;
    FPopupMenu = nullptr;
    SetImages(nullptr);
}

// ---- messages ----

LRESULT TListView::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    switch (Msg) {
    case WM_SIZE: {
        // After the control has taken its new size, so the scroll bars it
        // works out see the final column widths.
        const LRESULT result = TWindow::WndProc(Msg, WParam, LParam);
        FitAutoSizeColumn();
        return result;
    }
    case WM_CONTEXTMENU:
        if (FPopupMenu) {
            ShowPopupMenu(LParam);
            return 0;
        }
        break;
    }
    return TWindow::WndProc(Msg, WParam, LParam);
}

void TListView::ShowPopupMenu(LPARAM At) {
    POINT screen{static_cast<short>(LOWORD(At)), static_cast<short>(HIWORD(At))};
    if (At == static_cast<LPARAM>(-1)) {
        // From the keyboard: below the focused row, else at the list's corner.
        const int row = FocusedRow();
        const RECT r = row >= 0 ? RowRect(row) : RECT{};
        screen = POINT{r.left, r.bottom};
        ClientToScreen(Handle(), &screen);
    }
    FPopupMenu->Popup(Handle(), screen);
}

bool TListView::HandleNotify(NMHDR* Header, LRESULT& Result) {
    return Header && Handle() && Header->hwndFrom == Handle() && OnNotifyReflected(Header, Result);
}

bool TListView::OnNotifyReflected(NMHDR* Header, LRESULT& Result) {
    switch (Header->code) {
    case LVN_GETDISPINFOW:
        GetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(Header));
        Result = 0;
        return true;
    case NM_CUSTOMDRAW:
        Result = CustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(Header));
        return true;
    case NM_CLICK:
        if (OnClick) OnClick(this);
        Result = 0;
        return true;
    case NM_DBLCLK:
        if (OnDblClick) OnDblClick(this);
        Result = 0;
        return true;
    case LVN_KEYDOWN:
        if (OnKeyDown) OnKeyDown(reinterpret_cast<NMLVKEYDOWN*>(Header)->wVKey);
        Result = 0;
        return true;
    case LVN_ODFINDITEMW:
        // No type-ahead search: the rows are the owner's.
        Result = -1;
        return true;
    }
    return false;
}

void TListView::GetDispInfo(NMLVDISPINFOW& Info) {
    LVITEMW& item = Info.item;
    // The control may ask about rows the owner no longer has (while a count
    // is being changed, or a row measured): they are blank.
    const bool known = item.iItem >= 0 && item.iItem < FRowCount;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = known && OnGetText ? OnGetText(item.iItem, item.iSubItem) : std::wstring();
        const size_t length = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
        text.copy(item.pszText, length);
        item.pszText[length] = L'\0';
    }
    if (item.mask & LVIF_IMAGE) {
        const int image = known && OnGetImageIndex ? OnGetImageIndex(item.iItem, item.iSubItem) : -1;
        item.iImage = image >= 0 ? image : I_IMAGENONE;
    }
}

LRESULT TListView::CustomDraw(NMLVCUSTOMDRAW& Draw) {
    const DWORD stage = Draw.nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (stage == CDDS_ITEMPREPAINT) return CDRF_NOTIFYSUBITEMDRAW;
    if (stage != (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) return CDRF_DODEFAULT;
    // The structure carries over from cell to cell: colour and font are set
    // for every cell, not only for those that differ.
    const int row = static_cast<int>(Draw.nmcd.dwItemSpec);
    const int column = Draw.iSubItem;
    COLORREF color = CLR_DEFAULT;
    if (row >= 0 && row < FRowCount && OnGetTextColor) color = OnGetTextColor(row, column);
    Draw.clrText = color == CLR_DEFAULT ? GetSysColor(COLOR_WINDOWTEXT) : color;
    SelectObject(Draw.nmcd.hdc, ColumnFont(column));
    return CDRF_NEWFONT;
}

} // namespace tidora
