#include "pages/Install.h"

#include <atomic>
#include <unordered_set>

#include "pages/Shared.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Windows.h"
#include "ui/Application.h"
#include "ui/Pictures.h"
#include "ui/Translate.h"

namespace tidora {
namespace {

constexpr int kBlankPicture = 0;
constexpr int kRowHeight = 24;
constexpr int kPublisherColumnWidth = 140;

} // namespace

TFrmInstall* TFrmInstall::Create(TWindow* Card) {
    return TWindow::Create<TFrmInstall>(Card, L"FrmInstall", TBounds{0, 0, 375, 444}, TAlign::alClient);
}

TFrmInstall::TFrmInstall(TWindow* Parent)
    : TFrame(Parent), FListInstObj(std::make_shared<const TInstallList>()) {}

TFrmInstall::~TFrmInstall() {
    StopWatchers();
    if (ListInstall) ListInstall->ReleaseOwner();
}

void TFrmInstall::StopWatchers() {
    // A watcher may be handing a change over right now and waits until the
    // UI thread has run it; WaitFor serves it instead of waiting for a thread
    // that can never end. The watchers reach the page only through FSelf:
    // cleared first, such a hand-over finds no page and reads nothing.
    if (FSelf) *FSelf = nullptr;
    for (auto watcher = FListInstThd.rbegin(); watcher != FListInstThd.rend(); ++watcher) {
        if (!*watcher) continue;
        (*watcher)->Terminate();
        (*watcher)->WaitFor();
        watcher->reset();
    }
}

void TFrmInstall::OnCreated() {
    TFrame::OnCreated();
    // The layout, at 96 dpi.
    PnlInstall = TWindow::Create<TPanel>(this, L"PnlInstall", TBounds{0, 395, 375, 49}, TAlign::alBottom);
    PnlInstall->SetPadding(TSpacing{0, 8, 0, 8});
    BtnInstall = TWindow::Create<TStyledButton>(PnlInstall, L"BtnInstall", TBounds{291, 8, 84, 33}, TAlign::alRight);
    BtnInstall->SetCaption(L"삭제하기");
    BtnInstall->SetStyle(
        TButtonStyleSettings{L"Quenby", L"Primary", L"Outline", TStyledButtonDrawType::btRoundRect, -1});
    BtnInstall->OnClick = [this](TWindow*) { BtnInstallClick(); };
    ListInstall = TWindow::Create<TListView>(this, L"ListInstall", TBounds{0, 0, 375, 395}, TAlign::alClient);
    Menu = Adopt(std::make_unique<TPopupMenu>());
    BtnSave = Menu->Items().Add(L"BtnSave", L"목록 저장");
    BtnSave->OnClick = [this](TPopupMenuItem*) { BtnSaveClick(); };
    BtnSaveAll = Menu->Items().Add(L"BtnSaveAll", L"목록 저장(전체)");
    BtnSaveAll->OnClick = [this](TPopupMenuItem*) { BtnSaveAllClick(); };
    AddPictures(FDataIcon, {TPicture::Document, TPicture::Registry, TPicture::Clock, TPicture::Gears});
    // Tab in reading order: the list, then the button below it.
    ListInstall->BringToTabFront();

    TranslateComponent(this);

    ListInstall->AddColumn(TranslateText(L"프로그램 이름"), 200);
    ListInstall->AddColumn(TranslateText(L"출처"), kPublisherColumnWidth);
    ListInstall->SetAutoSizeColumn(0);
    ListInstall->SetRowHeight(kRowHeight);
    ListInstall->SetImages(&FDataIcon);
    ListInstall->SetPopupMenu(Menu);
    ListInstall->OnGetText = [this](int Row, int Column) {
        const TInstallItem& item = FRows[static_cast<size_t>(Row)];
        return Column == 0 ? item.DisplayName : Column == 1 ? item.Publisher : std::wstring();
    };
    ListInstall->OnGetImageIndex = [this](int Row, int Column) {
        return Column == 0 ? FRows[static_cast<size_t>(Row)].Icon : -1;
    };
    ListInstall->OnDblClick = [this](TWindow*) { BtnInstallClick(); };

    // Every uninstall key with its subkeys; a key that does not exist ends
    // its watcher at once, which stays in the list all the same.
    FSelf = std::make_shared<TFrmInstall*>(this);
    const std::weak_ptr<TFrmInstall*> self = FSelf;
    for (const TUninstallKey& key : UninstallKeys)
        FListInstThd.push_back(RegistryMonitor(key.RootKey, key.Key, [self] {
            if (auto page = self.lock(); page && *page) (*page)->LoadInstall();
        }, true));
}

void TFrmInstall::SetBlackList(const TStringList* NameBlack) {
    FNameBlack = NameBlack;
}

void TFrmInstall::ReadInventory(TInstallList& List) {
    GetInstall(List, Platform());
}

std::shared_ptr<const TInstallList> TFrmInstall::Snapshot() const {
    return std::atomic_load(&FListInstObj);
}

void TFrmInstall::LoadInstall() {
    ProcessMessages();

    // Read into a list of its own and published whole, so a reader never
    // meets it half filled.
    auto read = std::make_shared<TInstallList>();
    ReadInventory(*read);
    std::shared_ptr<const TInstallList> inventory = std::move(read);
    std::atomic_store(&FListInstObj, inventory);

    const TPreparedList black(FNameBlack ? *FNameBlack : TStringList(), false);
    std::unordered_set<std::wstring> seen;
    std::unordered_set<std::wstring> shown;  // ASCII upper-cased names of the rows
    ListInstall->BeginUpdate();
    FRows.clear();
    ListInstall->Clear();
    for (size_t i = 0; i < inventory->size(); ++i) {
        const TInstallInfo& record = (*inventory)[i];
        if (!seen.insert(record.DisplayName).second) continue;
        if (!black.Match(record.DisplayName)) continue;
        if (!shown.insert(UpperCaseAscii(record.DisplayName)).second) continue;
        TInstallItem item;
        item.DisplayName = record.DisplayName;
        // The table has no row for this text: it shows in Korean in every language.
        item.Publisher = record.Publisher.empty() ? TranslateText(L"알수없음") : record.Publisher;
        item.InstallDate = record.InstallDate;
        item.UninstallString = record.UninstallString;
        item.Icon = IconIndex(FListIconObj, FDataIcon, record.DisplayIcon, kBlankPicture);
        item.Record = i;
        FRows.push_back(std::move(item));
    }
    ListInstall->SetRowCount(static_cast<int>(FRows.size()));
    ListInstall->EndUpdate();
    ListInstall->Repaint();
}

void TFrmInstall::BtnInstallClick() {
    TDisabledWhileRunning disabled(BtnInstall);
    const int row = ListInstall->SelectedRow();
    // The uninstaller's own dialogs are the only questions; the row goes when
    // a watcher sees its record go.
    if (row >= 0) Execute(FRows[static_cast<size_t>(row)].UninstallString, SW_SHOW);
    LoadInstall();
}

bool TFrmInstall::PromptSaveFileName(std::wstring& FileName) {
    return PromptListFileName(GetAncestor(Handle(), GA_ROOT), FileName);
}

void TFrmInstall::BtnSaveClick() {
    Save(false);
}

void TFrmInstall::BtnSaveAllClick() {
    Save(true);
}

void TFrmInstall::Save(bool All) {
    std::wstring fileName;
    if (!PromptSaveFileName(fileName)) return;
    std::wstring error;
    if (!SaveToFile(fileName, All, error)) ShowSaveError(GetAncestor(Handle(), GA_ROOT), error);
}

bool TFrmInstall::SaveToFile(const std::wstring& FileName, bool All, std::wstring& Error) const {
    const std::shared_ptr<const TInstallList> inventory = Snapshot();
    auto line = [](const TInstallInfo& Record) {
        return ListFileLine(Record.Publisher, Record.DisplayName, Record.UninstallString);
    };
    std::vector<std::wstring> lines;
    if (All) {
        for (const TInstallInfo& record : *inventory) lines.push_back(line(record));
    } else {
        // The rows were made from the inventory last published: both change
        // together, on this thread.
        for (const TInstallItem& item : FRows)
            if (item.Record < inventory->size()) lines.push_back(line((*inventory)[item.Record]));
    }
    return WriteListFile(FileName, lines, Error);
}

} // namespace tidora
