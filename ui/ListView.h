#pragma once
// A report list whose rows live with its owner: the control keeps only their
// number and asks for a cell's text, picture, colour and font when it draws
// the cell (a virtual list view, LVS_OWNERDATA). One row is selected at a
// time, the whole row; rows are of one height, given at 96 dpi and scaled.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/ImageList.h"
#include "ui/PopupMenu.h"
#include "ui/Window.h"

namespace tidora {

class TListView : public TWindow {
public:
    explicit TListView(TWindow* Parent);
    ~TListView() override;

    // Adds a column (the control must exist); Width is at 96 dpi. Returns its index.
    int AddColumn(const std::wstring& Title, int Width);
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    // The column that takes whatever width the others leave; -1: none.
    void SetAutoSizeColumn(int Column);
    // The column's width as shown, in device pixels.
    int ColumnWidth(int Column) const;
    // Draws one column in another typeface at the list's size.
    void SetColumnFontName(int Column, const std::wstring& Name);
    // The font a column is drawn with at the current dpi.
    HFONT ColumnFont(int Column);

    // Row pictures are indexes into Images, shown 16 pixels wide at 96 dpi.
    // The list follows additions to the collection; Images must outlive it.
    void SetImages(TImageCollection* Images);
    HIMAGELIST ImageListHandle() const;

    // Row height at 96 dpi (0: the platform's own).
    void SetRowHeight(int Height);
    // The height a row has now, in device pixels (0 when it cannot be had).
    int MeasuredRowHeight();

    int RowCount() const { return FRowCount; }
    // The owner has Count rows now; rows that stay keep their selection.
    void SetRowCount(int Count);
    // The owner removed row Row: the rows after it move up, selection with them.
    void DeleteRow(int Row);
    // No rows, no selection.
    void Clear();
    // Bulk changes without painting in between; nests.
    void BeginUpdate();
    void EndUpdate();
    // Repaints every row (their data changed).
    void InvalidateRows();

    // The first selected row and the row with the focus; -1 when none.
    int SelectedRow() const;
    int FocusedRow() const;
    // Selects and focuses Row (scrolled into view); -1 clears both.
    void SelectRow(int Row);
    // The first row in view, and how many rows fit wholly in view.
    int TopRow() const;
    int RowsPerPage() const;
    // Where a row is, in the list's client coordinates.
    RECT RowRect(int Row) const;

    void SetPopupMenu(TPopupMenu* Menu) { FPopupMenu = Menu; }

    // A notification the list sent its parent, for a parent that hands the
    // list's own over directly rather than by looking the list up by its
    // handle (it sends several for every row it paints). False when it is not
    // one of the list's, or not one the list answers.
    bool HandleNotify(NMHDR* Header, LRESULT& Result);

    // The owner is going before the list (a page's fields go before the
    // page's controls): no more questions about rows, no more pictures.
    void ReleaseOwner();

    // Cell data, asked for while drawing; the row is always below RowCount.
    std::function<std::wstring(int Row, int Column)> OnGetText;
    // -1: no picture.
    std::function<int(int Row, int Column)> OnGetImageIndex;
    // CLR_DEFAULT: the list's text colour.
    std::function<COLORREF(int Row, int Column)> OnGetTextColor;
    // A mouse click or double click on the list (rows or empty space).
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    // A key pressed while the list has the focus (virtual key code).
    std::function<void(WORD Key)> OnKeyDown;

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnCreated() override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    bool OnNotifyReflected(NMHDR* Header, LRESULT& Result) override;
    void OnFontChanged() override;

private:
    struct TColumn {
        int Width;  // 96 dpi
        std::wstring FontName;
        UniqueGdiObject Font;
        UINT FontDpi = 0;
    };

    void GetDispInfo(NMLVDISPINFOW& Info);
    LRESULT CustomDraw(NMLVCUSTOMDRAW& Draw);
    void ApplyDpi();
    void ApplyRowHeight();
    void FitAutoSizeColumn();
    void LayOutRows();
    // Sends the control one of our own questions or settings.
    LRESULT Control(UINT Msg, WPARAM WParam, LPARAM LParam) const;
    void ShowPopupMenu(LPARAM At);

    std::vector<TColumn> FColumns;
    int FAutoSizeColumn = -1;
    int FRowHeight = 0;
    int FRowCount = 0;
    int FUpdateDepth = 0;
    bool FFitting = false;
    TImageCollection* FImages = nullptr;
    std::unique_ptr<TImageList> FImageList;
    UniqueImageList FRowSizer;
    WNDPROC FControlProc = nullptr;  // the control's own window procedure
    TPopupMenu* FPopupMenu = nullptr;
};

} // namespace tidora
