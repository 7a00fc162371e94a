// The virtual list view, driven through its window on one shown form.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/TestSupport.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/ListView.h"
#include "ui/Pictures.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;

namespace {

constexpr UINT WM_DPICHANGED_ = 0x02E0;


struct TRow {
    std::wstring Name, Source;
    bool Grey = false;
};

// One form for the whole suite: a shown form costs seconds to destroy under a
// bare X server. Each test gets a fresh list on it.
class ListView : public testing::Test {
protected:
    static void SetUpTestSuite() {
        SetCursorPos(0, 0);
        TFormOptions o;
        o.ClassName = L"TidoraListViewTest";
        o.ClientWidth = 360;
        o.ClientHeight = 260;
        Host = new TForm(o);
        Host->CenterOnScreen();
        Host->ShowForm();
    }
    static void TearDownTestSuite() {
        delete Host;
        Host = nullptr;
    }

    void SetUp() override {
        List = TWindow::Create<TListView>(Host, UniqueList(), TBounds{0, 0, 360, 260}, TAlign::alClient);
        List->AddColumn(L"Program", 100);
        List->AddColumn(L"Loc", 60);
        List->SetAutoSizeColumn(0);
        List->SetColumnFontName(1, L"Consolas");
        List->SetRowHeight(24);
        AddPictures(Images, {TPicture::Document, TPicture::Program, TPicture::Clock, TPicture::Gears});
        List->SetImages(&Images);
        List->OnGetText = [this](int Row, int Column) {
            ++Asked[Row];
            const TRow& row = Rows[static_cast<size_t>(Row)];
            return Column == 0 ? row.Name : row.Source;
        };
        List->OnGetImageIndex = [](int Row, int Column) { return Column == 0 ? Row % 4 : -1; };
        List->OnGetTextColor = [this](int Row, int) {
            return Rows[static_cast<size_t>(Row)].Grey ? GetSysColor(COLOR_GRAYTEXT) : CLR_DEFAULT;
        };
    }
    void TearDown() override {
        // The list is owned by the form; take it off before the next one comes.
        List->ReleaseOwner();
        DestroyWindow(List->Handle());
        List->Hide();
    }

    static std::wstring UniqueList() {
        static int n = 0;
        return L"List" + std::to_wstring(++n);
    }

    void Fill(size_t Count) {
        Rows.clear();
        for (size_t i = 0; i < Count; ++i)
            Rows.push_back(TRow{L"Program " + std::to_wstring(i), i % 2 ? L"HKLM" : L"SERV", i % 3 == 1});
        List->SetRowCount(static_cast<int>(Rows.size()));
    }

    std::wstring CellText(int Row, int Column, int Buffer = 260) {
        std::vector<wchar_t> text(static_cast<size_t>(Buffer), L'#');
        LVITEMW item{};
        item.iSubItem = Column;
        item.pszText = text.data();
        item.cchTextMax = Buffer;
        const LRESULT length = SendMessageW(List->Handle(), LVM_GETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&item));
        return std::wstring(item.pszText, static_cast<size_t>(length));
    }

    // The list painted into a bitmap: the darkest text pixel of a row's cell.
    int DarkestIn(int Row, int Column) {
        const test::TPrintedClient printed(List->Handle(), PRF_CLIENT | PRF_ERASEBKGND);
        RECT cell{};
        cell.top = Column;
        cell.left = LVIR_LABEL;
        SendMessageW(List->Handle(), LVM_GETSUBITEMRECT, Row, reinterpret_cast<LPARAM>(&cell));
        int darkest = 255;
        for (int y = cell.top; y < cell.bottom; ++y)
            for (int x = cell.left; x < cell.right; ++x) {
                const COLORREF c = GetPixel(printed.DC(), x, y);
                if (c == CLR_INVALID) continue;
                darkest = std::min(darkest, static_cast<int>((GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3));
            }
        return darkest;
    }

    static TForm* Host;
    TListView* List = nullptr;
    TImageCollection Images;
    std::vector<TRow> Rows;
    std::map<int, int> Asked;
};

TForm* ListView::Host = nullptr;

TEST_F(ListView, AsksOnlyForTheCellsItShowsAndCutsTextToTheBuffer) {
    Fill(5000);
    Asked.clear();
    List->Repaint();
    Pump(30);
    ASSERT_FALSE(Asked.empty());
    // A screenful of rows, not five thousand.
    EXPECT_LT(Asked.size(), 40u);
    EXPECT_LT(Asked.rbegin()->first, 40);

    EXPECT_EQ(CellText(7, 0), L"Program 7");
    EXPECT_EQ(CellText(7, 1), L"HKLM");
    EXPECT_EQ(CellText(7, 0, 5), L"Prog");
    // A row beyond the owner's count is blank, not a crash.
    EXPECT_EQ(CellText(6000, 0), L"");
}

TEST_F(ListView, RowsAreOfTheGivenHeightAtTheFormsDpiAndFollowItsChanges) {
    Fill(3);
    EXPECT_EQ(List->MeasuredRowHeight(), Host->Scale(24));
    EXPECT_EQ(List->RowRect(1).top - List->RowRect(0).top, Host->Scale(24));
    // The pictures are 16 pixels at the dpi too.
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(List->ImageListHandle(), &cx, &cy));
    EXPECT_EQ(cx, Host->Scale(16));

    const UINT from = Host->CurrentDpi();
    const UINT to = from == 144 ? 120 : 144;
    for (UINT dpi : {to, from}) {
        RECT window{};
        GetWindowRect(Host->Handle(), &window);
        SendMessageW(Host->Handle(), WM_DPICHANGED_, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&window));
        EXPECT_EQ(List->MeasuredRowHeight(), MulDiv(24, static_cast<int>(dpi), 96)) << dpi;
        ASSERT_TRUE(ImageList_GetIconSize(List->ImageListHandle(), &cx, &cy));
        EXPECT_EQ(cx, MulDiv(16, static_cast<int>(dpi), 96)) << dpi;
        EXPECT_EQ(List->ColumnWidth(1), MulDiv(60, static_cast<int>(dpi), 96)) << dpi;
    }
    // An empty list can be measured as well.
    List->SetRowCount(0);
    EXPECT_EQ(List->MeasuredRowHeight(), Host->Scale(24));
    EXPECT_EQ(ListView_GetItemCount(List->Handle()), 0);
}

TEST_F(ListView, TheAutoSizeColumnTakesTheRestOfTheWidth) {
    Fill(3);
    EXPECT_EQ(List->ColumnWidth(0) + List->ColumnWidth(1), List->ClientRect().right);
    // Enough rows for a scroll bar: the column gives way to it.
    Fill(200);
    Pump(20);
    EXPECT_EQ(List->ColumnWidth(0) + List->ColumnWidth(1), List->ClientRect().right);
    EXPECT_FALSE(GetWindowLongW(List->Handle(), GWL_STYLE) & WS_HSCROLL);
}

TEST_F(ListView, ANewCountShowsTheRowsAndScrollBarOnceAndAnUnchangedOneRedrawsTheRows) {
    Fill(3);
    Pump(20);
    EXPECT_FALSE(GetWindowLongW(List->Handle(), GWL_STYLE) & WS_VSCROLL);
    // The list is kept from drawing while the count changes, and shown again.
    Asked.clear();
    Fill(300);
    EXPECT_TRUE(IsWindowVisible(List->Handle()));
    EXPECT_TRUE(GetWindowLongW(List->Handle(), GWL_STYLE) & WS_VSCROLL);
    Pump(20);
    EXPECT_FALSE(GetUpdateRect(List->Handle(), nullptr, FALSE));
    EXPECT_TRUE(Asked.count(0));
    // Same count, new rows: drawn again, with what the owner has now.
    Asked.clear();
    Rows[0].Name = L"Renamed";
    List->SetRowCount(300);
    Pump(20);
    EXPECT_TRUE(Asked.count(0));
    EXPECT_EQ(CellText(0, 0), L"Renamed");
    Fill(2);
    Pump(20);
    EXPECT_TRUE(IsWindowVisible(List->Handle()));
    EXPECT_FALSE(GetWindowLongW(List->Handle(), GWL_STYLE) & WS_VSCROLL);
}

TEST_F(ListView, GreyRowsAreDrawnGreyAndTheSecondColumnInItsOwnFace) {
    Fill(4);
    Pump(20);
    // Row 1 is grey, rows 0 and 2 are not; the list keeps no selection here.
    const int gray = (GetRValue(GetSysColor(COLOR_GRAYTEXT)) + GetGValue(GetSysColor(COLOR_GRAYTEXT)) +
                      GetBValue(GetSysColor(COLOR_GRAYTEXT))) / 3;
    for (int column : {0, 1}) {
        EXPECT_LT(DarkestIn(0, column), 60) << column;
        EXPECT_GE(DarkestIn(1, column), gray - 8) << column;
        EXPECT_LT(DarkestIn(2, column), 60) << column;
    }
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(List->ColumnFont(1), sizeof(font), &font));
    EXPECT_STREQ(font.lfFaceName, L"Consolas");
    LOGFONTW listFont{};
    ASSERT_TRUE(GetObjectW(List->FontHandle(), sizeof(listFont), &listFont));
    EXPECT_EQ(font.lfHeight, listFont.lfHeight);
    EXPECT_EQ(List->ColumnFont(0), List->FontHandle());
}

TEST_F(ListView, DeletingARowMovesTheSelectionWithTheRowsAfterIt) {
    Fill(5);
    List->SelectRow(3);
    EXPECT_EQ(List->SelectedRow(), 3);
    EXPECT_EQ(List->FocusedRow(), 3);
    Rows.erase(Rows.begin() + 1);
    List->DeleteRow(1);
    EXPECT_EQ(List->RowCount(), 4);
    EXPECT_EQ(List->SelectedRow(), 2);
    EXPECT_EQ(CellText(2, 0), L"Program 3");
    // Taking the selected row away leaves nothing selected.
    Rows.erase(Rows.begin() + 2);
    List->DeleteRow(2);
    EXPECT_EQ(List->SelectedRow(), -1);
    List->Clear();
    EXPECT_EQ(List->RowCount(), 0);
    EXPECT_EQ(ListView_GetItemCount(List->Handle()), 0);
}

TEST_F(ListView, ClicksKeysAndTheContextMenuReachTheOwner) {
    Fill(6);
    int clicks = 0, doubles = 0;
    std::vector<WORD> keys;
    List->OnClick = [&](TWindow*) { ++clicks; };
    List->OnDblClick = [&](TWindow*) { ++doubles; };
    List->OnKeyDown = [&](WORD Key) { keys.push_back(Key); };
    const RECT row = List->RowRect(2);
    const LPARAM at = MAKELPARAM(row.left + 40, (row.top + row.bottom) / 2);
    SendMessageW(List->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(List->Handle(), WM_LBUTTONUP, 0, at);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(List->FocusedRow(), 2);
    EXPECT_EQ(List->SelectedRow(), 2);
    SendMessageW(List->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    EXPECT_EQ(doubles, 1);
    SendMessageW(List->Handle(), WM_KEYDOWN, VK_F5, 0);
    EXPECT_EQ(keys, std::vector<WORD>{VK_F5});

    // The menu pops up at the point and runs the item picked from it.
    TPopupMenu menu;
    int saved = 0;
    menu.Items().Add(L"BtnSave", L"Save")->OnClick = [&](TPopupMenuItem*) { ++saved; };
    List->SetPopupMenu(&menu);
    PostMessageW(List->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(List->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    POINT screen{row.left + 40, row.bottom};
    ClientToScreen(List->Handle(), &screen);
    SendMessageW(List->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List->Handle()),
                 MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(saved, 1);
    List->SetPopupMenu(nullptr);
}

} // namespace
