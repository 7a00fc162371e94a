#include "pages/Autorun.h"

#include <atomic>
#include <unordered_map>

#include "pages/Shared.h"
#include "system/Strings.h"
#include "system/Windows.h"
#include "ui/Application.h"
#include "ui/ErrorHandler.h"
#include "ui/Pictures.h"
#include "ui/Translate.h"

namespace tidora {
namespace {

// Pictures of the page's image collection.
constexpr int kProgramPicture = 1;
constexpr int kTaskPicture = 2;
constexpr int kServicePicture = 3;

constexpr int kRowHeight = 24;

// Rows not yet in view are read in idle time, a slice at a time, so that
// input and painting go first.
constexpr UINT_PTR kReadTimer = 1;
constexpr ULONGLONG kReadSliceMs = 6;
constexpr UINT kReadPauseMs = 10;
constexpr int kSourceColumnWidth = 50;

// Rows and entries are matched by source and address, the address's ASCII
// case ignored: found by a hash of both, with no key text made per entry.
size_t RowHash(TAutorunSource From, const std::wstring& Target) {
    return HashTextAscii(Target) * 31 + static_cast<size_t>(From);
}

std::wstring AfterLastBackslash(const std::wstring& Text) {
    const size_t slash = Text.rfind(L'\\');
    return slash == std::wstring::npos ? Text : Text.substr(slash + 1);
}

} // namespace

TFrmAutorun* TFrmAutorun::Create(TWindow* Card) {
    return TWindow::Create<TFrmAutorun>(Card, L"FrmAutorun", TBounds{0, 0, 448, 367}, TAlign::alClient);
}

TFrmAutorun::TFrmAutorun(TWindow* Parent)
    : TFrame(Parent), FListAutoObj(std::make_shared<const TAutorunList>()) {}

TFrmAutorun::~TFrmAutorun() {
    if (Handle()) KillTimer(Handle(), kReadTimer);
    // The list goes with the frame's components, after this page's fields.
    if (ListAutorun) ListAutorun->ReleaseOwner();
}

void TFrmAutorun::OnCreated() {
    TFrame::OnCreated();
    // The layout, at 96 dpi.
    PnlAutorun = TWindow::Create<TPanel>(this, L"PnlAutorun", TBounds{0, 318, 448, 49}, TAlign::alBottom);
    PnlAutorun->SetPadding(TSpacing{0, 8, 0, 8});
    BtnAutorun = TWindow::Create<TStyledButton>(PnlAutorun, L"BtnAutorun", TBounds{364, 8, 84, 33}, TAlign::alRight);
    BtnAutorun->SetCaption(L"사용안함");
    BtnAutorun->SetStyle(
        TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
    BtnAutorun->OnClick = [this](TWindow*) { BtnAutorunClick(); };
    ChkAllList = TWindow::Create<TCheckBox>(PnlAutorun, L"ChkAllList", TBounds{2, 16, 135, 17});
    ChkAllList->SetCaption(L"전체목록");
    ChkAllList->OnClick = [this](TWindow*) { ChkAllListClick(); };
    ListAutorun = TWindow::Create<TListView>(this, L"ListAutorun", TBounds{0, 0, 448, 318}, TAlign::alClient);
    Menu = Adopt(std::make_unique<TPopupMenu>());
    BtnSave = Menu->Items().Add(L"BtnSave", L"목록 저장");
    BtnSave->OnClick = [this](TPopupMenuItem*) { BtnSaveClick(); };
    AddPictures(FDataIcon, {TPicture::Document, TPicture::Program, TPicture::Clock, TPicture::Gears});
    // Tab in reading order: the list, then the check box and the button below it.
    ChkAllList->BringToTabFront();
    ListAutorun->BringToTabFront();

    TranslateComponent(this);

    ListAutorun->AddColumn(TranslateText(L"프로그램 이름"), 200);
    ListAutorun->AddColumn(TranslateText(L"출처"), kSourceColumnWidth);
    ListAutorun->SetAutoSizeColumn(0);
    ListAutorun->SetColumnFontName(1, L"Consolas");
    // Pictures before the row height: the list measures its rows once.
    ListAutorun->SetImages(&FDataIcon);
    ListAutorun->SetRowHeight(kRowHeight);
    ListAutorun->SetPopupMenu(Menu);
    ListAutorun->OnGetText = [this](int Row, int Column) {
        std::wstring text;
        ListAutorunGetText(Row, Column, text);
        return text;
    };
    ListAutorun->OnGetImageIndex = [this](int Row, int Column) { return ListAutorunGetImageIndex(Row, Column); };
    ListAutorun->OnGetTextColor = [this](int Row, int Column) { return ListAutorunPaintText(Row, Column); };
    ListAutorun->OnClick = [this](TWindow*) { ListAutorunClick(); };
    ListAutorun->OnDblClick = [this](TWindow*) { ListAutorunDblClick(); };
    ListAutorun->OnKeyDown = [this](WORD Key) { ListAutorunKeyDown(Key); };
}

LRESULT TFrmAutorun::WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) {
    // The list sends several notifications for every row it paints; they go
    // to it straight instead of the list being looked up by its handle each
    // time (under Wine a round trip to the server).
    if (Msg == WM_NOTIFY && ListAutorun) {
        LRESULT result = 0;
        if (ListAutorun->HandleNotify(reinterpret_cast<NMHDR*>(LParam), result)) return result;
    }
    return TFrame::WndProc(Msg, WParam, LParam);
}

void TFrmAutorun::SetProtectionLists(const TStringList* FileWhite, const TStringList* NameWhite,
                                     const TStringList* NameBlack) {
    FFileWhite = FileWhite;
    FNameWhite = NameWhite;
    FNameBlack = NameBlack;
}

void TFrmAutorun::CollectEntries(TAutorunList& List) {
    CollectAutorun(List, Platform());
}

std::shared_ptr<const TAutorunList> TFrmAutorun::Snapshot() const {
    return std::atomic_load(&FListAutoObj);
}

// ---- loading ----

void TFrmAutorun::LoadAutorun() {
    // The card is painted before the long collection starts.
    ProcessMessages();

    // Collected into a list of its own and published whole: the collection
    // may pump messages (COM calls of the task scheduler do), and a hand-over
    // served meanwhile must find the previous list intact.
    auto collected = std::make_shared<TAutorunList>();
    CollectEntries(*collected);
    std::shared_ptr<const TAutorunList> entries = std::move(collected);
    std::atomic_store(&FListAutoObj, entries);

    const TPreparedList fileWhite(FFileWhite ? *FFileWhite : TStringList(), true);
    const TPreparedList nameWhite(FNameWhite ? *FNameWhite : TStringList(), false);
    const bool showAll = ChkAllList && ChkAllList->Checked();

    // Row indexes by hash; which rows an entry still stands for. A row whose
    // entry is gone is marked by none.
    std::unordered_multimap<size_t, size_t> rows;
    rows.reserve(FRows.size() + entries->size());
    for (size_t i = 0; i < FRows.size(); ++i) rows.emplace(RowHash(FRows[i].From, FRows[i].Target), i);
    std::vector<bool> seen(FRows.size());
    auto findRow = [&](const TAutorunInfo& Entry, size_t Hash) -> std::ptrdiff_t {
        const auto range = rows.equal_range(Hash);
        for (auto it = range.first; it != range.second; ++it) {
            const TAutorunItem& row = FRows[it->second];
            if (row.From == Entry.From && EqualsTextAscii(row.Target, Entry.Target))
                return static_cast<std::ptrdiff_t>(it->second);
        }
        return -1;
    };
    // A file is read again at each load (it may have changed), once.
    FLoadFacts.clear();

    for (const TAutorunInfo& entry : *entries) {
        const size_t hash = RowHash(entry.From, entry.Target);
        const std::ptrdiff_t row = findRow(entry, hash);
        if (row >= 0) {
            seen[static_cast<size_t>(row)] = true;
            FRows[static_cast<size_t>(row)].Enabled = entry.Enabled;
            continue;
        }
        if (entry.Caption.empty()) continue;
        if (!entry.Enabled && !showAll) continue;

        int icon = kProgramPicture;
        bool readFile = false;
        switch (entry.From) {
        case TAutorunSource::StartupFile:
            if (fileWhite.Match(entry.Target)) continue;
            readFile = true;
            break;
        case TAutorunSource::ScheduledTask:
            if (nameWhite.Match(AfterLastBackslash(entry.Target))) continue;
            icon = kTaskPicture;
            break;
        case TAutorunSource::Service:
            if (nameWhite.Match(entry.Target)) continue;
            icon = kServicePicture;
            break;
        default:  // the Run values
            if (nameWhite.Match(FileNamePart(entry.Target))) continue;
            readFile = true;
            break;
        }

        // The product name and icon wait until the row is shown: reading
        // them for every row kept the whole list from showing.
        TAutorunItem item;
        item.FileName = entry.Caption;
        item.Target = entry.Target;
        item.From = entry.From;
        item.Icon = icon;
        item.Enabled = entry.Enabled;
        if (readFile) {
            item.Program = entry.FileName;
            item.Pending = true;
        }
        FRows.push_back(std::move(item));
        seen.push_back(true);
        rows.emplace(hash, FRows.size() - 1);
    }

    // Gone entries leave, last first, so the rows before keep their places;
    // the list moves its selection along. The list stops drawing only while
    // rows leave: turning its drawing back on costs more than the count change
    // alone that most loads make.
    bool deleting = false;
    for (size_t i = FRows.size(); i-- > 0;) {
        if (seen[i]) continue;
        if (!deleting) ListAutorun->BeginUpdate();
        deleting = true;
        FRows.erase(FRows.begin() + static_cast<std::ptrdiff_t>(i));
        ListAutorun->DeleteRow(static_cast<int>(i));
    }
    ListAutorun->SetRowCount(static_cast<int>(FRows.size()));
    if (deleting) ListAutorun->EndUpdate();
    // The rows in view are complete when the list paints; the others follow
    // in idle time.
    ReadRowsInView();
    ListAutorun->Repaint();
    FNextPending = 0;
    SetTimer(Handle(), kReadTimer, kReadPauseMs, nullptr);
}

TFrmAutorun::TFileFacts TFrmAutorun::FileFacts(const std::wstring& FileName) {
    auto known = FLoadFacts.find(FileName);
    if (known == FLoadFacts.end()) known = FLoadFacts.emplace(FileName, ReadFileFacts(FileName)).first;
    return known->second;
}

void TFrmAutorun::ReadRow(size_t Row) {
    if (Row >= FRows.size() || !FRows[Row].Pending) return;
    TAutorunItem& item = FRows[Row];
    const TFileFacts facts = FileFacts(item.Program);
    if (!facts.Product.empty()) item.FileName = facts.Product;
    item.Icon = facts.Icon;
    item.Pending = false;
    item.Program = std::wstring();
}

void TFrmAutorun::ReadRowsInView() {
    const int top = ListAutorun->TopRow();
    const int count = ListAutorun->RowsPerPage() + 1;  // a partly shown row at the bottom too
    for (int row = std::max(top, 0); row < top + count; ++row) ReadRow(static_cast<size_t>(row));
}

void TFrmAutorun::ReadPendingRows() {
    for (size_t row = 0; row < FRows.size(); ++row) ReadRow(row);
    FNextPending = FRows.size();
}

void TFrmAutorun::OnTimer(UINT_PTR Id) {
    if (Id != kReadTimer) return;
    const ULONGLONG until = GetTickCount64() + kReadSliceMs;
    while (FNextPending < FRows.size()) {
        ReadRow(FNextPending++);
        if (GetTickCount64() >= until) return;
    }
    KillTimer(Handle(), kReadTimer);
}

TFrmAutorun::TFileFacts TFrmAutorun::ReadFileFacts(const std::wstring& FileName) {
    auto read = [&](TFileFacts& Facts) {
        TVersionStrings versions;
        ReadVersionStrings(FileName, {L"ProductName"}, versions);
        const auto name = versions.find(L"ProductName");
        if (name != versions.end()) Facts.Product = name->second;
        Facts.Icon = IconIndex(FListIconObj, FDataIcon, FileName, kProgramPicture);
    };
    TFileFacts facts{L"", kProgramPicture};
    // A plain path (what the collection makes of a command line) is looked at
    // once: a file that is not there (the entry of a removed program, common)
    // has neither name nor icon, and a file unchanged since an earlier load
    // keeps the name read then. Anything else is read as it comes.
    const bool plain = !FileName.empty() && FileName.find_first_of(L",\"") == std::wstring::npos &&
                       TrimControl(FileName) == FileName;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!plain) {
        read(facts);
        return facts;
    }
    if (!GetFileAttributesExW(FileName.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return facts;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: its own times say nothing about the file it leads to.
        read(facts);
        return facts;
    }
    const unsigned long long written =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const auto known = FProductNames.find(FileName);
    if (known != FProductNames.end() && known->second.Written == written && known->second.Size == size) {
        facts.Product = known->second.Product;
        facts.Icon = IconIndex(FListIconObj, FDataIcon, FileName, kProgramPicture);
        return facts;
    }
    read(facts);
    FProductNames.insert_or_assign(FileName, TProductName{written, size, facts.Product});
    return facts;
}

// ---- the list's cells ----

void TFrmAutorun::ListAutorunGetText(int Row, int Column, std::wstring& Text) {
    if (Column == 0) ReadRow(static_cast<size_t>(Row));
    const TAutorunItem& item = FRows[static_cast<size_t>(Row)];
    if (Column == 0) Text = item.FileName;
    else if (Column == 1) Text = AutorunSourceText(item.From);
}

int TFrmAutorun::ListAutorunGetImageIndex(int Row, int Column) {
    if (Column != 0) return -1;
    ReadRow(static_cast<size_t>(Row));
    return FRows[static_cast<size_t>(Row)].Icon;
}

COLORREF TFrmAutorun::ListAutorunPaintText(int Row, int Column) const {
    return FRows[static_cast<size_t>(Row)].Enabled ? CLR_DEFAULT : GetSysColor(COLOR_GRAYTEXT);
}

// ---- events ----

void TFrmAutorun::ShowSwitchAction(bool RowEnabled) {
    // The button shows what it would do to the row: switch it off, or on
    // (then it stands pressed).
    BtnAutorun->SetDown(!RowEnabled);
    BtnAutorun->SetCaption(TranslateText(RowEnabled ? L"사용안함" : L"사용함"));
}

void TFrmAutorun::ListAutorunClick() {
    const int row = ListAutorun->FocusedRow();
    if (row >= 0) ShowSwitchAction(FRows[static_cast<size_t>(row)].Enabled);
}

void TFrmAutorun::BtnAutorunClick() {
    TDisabledWhileRunning disabled(BtnAutorun);
    const int row = ListAutorun->SelectedRow();
    if (row >= 0) {
        const TAutorunItem item = FRows[static_cast<size_t>(row)];
        try {
            SwitchAutorun(item.Target, item.From, !item.Enabled, Platform());
            ShowSwitchAction(!item.Enabled);
        } catch (const EAutorunError& error) {
            // A file that could not be deleted (Windows before 10): the
            // program's error window; the reload shows what became of it.
            ShowErrorWindow(error.Message());
        }
    }
    LoadAutorun();
}

void TFrmAutorun::ChkAllListClick() {
    // From scratch, under the box's new state.
    FRows.clear();
    ListAutorun->Clear();
    LoadAutorun();
}

void TFrmAutorun::ListAutorunKeyDown(WORD Key) {
    if (Key == VK_F5) ChkAllListClick();
}

void TFrmAutorun::ListAutorunDblClick() {
    const int row = ListAutorun->FocusedRow();
    if (row < 0) return;
    const TAutorunItem& item = FRows[static_cast<size_t>(row)];
    if (FOpenEntryPage) FOpenEntryPage(item.From, item.Target);
}

bool TFrmAutorun::PromptSaveFileName(std::wstring& FileName) {
    return PromptListFileName(GetAncestor(Handle(), GA_ROOT), FileName);
}

void TFrmAutorun::BtnSaveClick() {
    std::wstring fileName;
    if (!PromptSaveFileName(fileName)) return;
    std::wstring error;
    if (!SaveToFile(fileName, error)) ShowSaveError(GetAncestor(Handle(), GA_ROOT), error);
}

bool TFrmAutorun::SaveToFile(const std::wstring& FileName, std::wstring& Error) const {
    const std::shared_ptr<const TAutorunList> entries = Snapshot();
    std::vector<std::wstring> lines;
    lines.reserve(entries->size());
    for (const TAutorunInfo& entry : *entries)
        lines.push_back(ListFileLine(AutorunSourceText(entry.From), entry.Caption, entry.Target));
    return WriteListFile(FileName, lines, Error);
}

} // namespace tidora
