// The Bundle page on a form of its own: rows from inventories made up here,
// then uninstall records of the prefix with a test program as uninstaller,
// the watchers, saving, and the usage report of a run with both pages.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "lib/Install.h"
#include "pages/Install.h"
#include "system/Handles.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "tests/TestSupport.h"
#include "tests/pages/PageHost.h"
#include "ui/Application.h"
#include "ui/CardPanel.h"
#include "ui/Form.h"
#include "ui/Translate.h"

using namespace tidora;
using tidora::test::Pump;
using tidora::test::PumpUntil;
using tidora::test::TTempDir;
using tidora::test::UniqueName;

namespace {

const std::wstring kUninstall = L"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";


// Pumps until Done() or the time is up; Done()'s last answer.

TInstallInfo Program(const std::wstring& Name, const std::wstring& Publisher, const std::wstring& Date,
                     const std::wstring& Icon = L"", const std::wstring& Uninstall = L"uninstall.exe") {
    TInstallInfo info;
    info.DisplayName = Name;
    info.Publisher = Publisher;
    info.InstallDate = Date;
    info.DisplayIcon = Icon;
    info.UninstallString = Uninstall;
    return info;
}

class TTestInstallPage : public TFrmInstall {
public:
    using TFrmInstall::TFrmInstall;
    // While this part still exists: the watchers end before any of it goes.
    ~TTestInstallPage() override { StopWatchers(); }

    bool Real = false;  // read the prefix's records instead of Inventory
    TInstallList Inventory;
    std::function<void(TInstallList&)> Reading;
    std::shared_ptr<std::atomic<int>> Reads = std::make_shared<std::atomic<int>>(0);
    std::vector<std::wstring> Answers;

protected:
    void ReadInventory(TInstallList& List) override {
        ++*Reads;
        if (Real) {
            TFrmInstall::ReadInventory(List);
            return;
        }
        List.clear();
        if (Reading) Reading(List);
        else List = Inventory;
    }
    bool PromptSaveFileName(std::wstring& FileName) override { return test::TakeSaveAnswer(Answers, FileName); }
};

class BundlePage : public test::TPageHost<TTestInstallPage> {
protected:
    BundlePage() : TPageHost(L"TidoraBundlePageTest", L"FrmInstall", 375, 444) {}
    void PageMade() override { Page->SetBlackList(&NameBlack); }

    std::vector<std::pair<std::wstring, std::wstring>> Shown() const {
        std::vector<std::pair<std::wstring, std::wstring>> rows;
        for (const TInstallItem& row : Page->Rows()) rows.emplace_back(row.DisplayName, row.Publisher);
        return rows;
    }
    int RowOf(const std::wstring& Name) const {
        const auto& rows = Page->Rows();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].DisplayName == Name) return static_cast<int>(i);
        return -1;
    }
    std::wstring Cell(int Row, int Column) const { return TPageHost::Cell(Page->ListInstall, Row, Column); }

    TStringList NameBlack;
};

TEST_F(BundlePage, ListsBlackListedNamesOnceEachWithTheNewestRecordsPublisher) {
    SetCurrentLanguage(L"en");
    MakePage();
    EXPECT_EQ(Page->BtnInstall->Caption(), L"Uninstall");
    NameBlack = {L"AhnLab", L" nProtect "};
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    // As the inventory comes: newest first.
    Page->Inventory = {
        Program(L"AhnLab Safe Transaction", L"AhnLab, Inc.", L"20240102", versioned),
        Program(L"ahnlab safe transaction", L"Other Maker", L"20230101"),
        Program(L"AhnLab Safe Transaction", L"Old Maker", L"20200101"),
        Program(L"NPROTECT Online Security", L"", L"20190101", L"C:\\nowhere\\icon.ico"),
        Program(L"My nProtect Helper", L"Someone", L"20180101"),
        Program(L"Notepad++", L"Notepad++ Team", L""),
    };
    Page->LoadInstall();
    const std::vector<std::pair<std::wstring, std::wstring>> expected = {
        {L"AhnLab Safe Transaction", L"AhnLab, Inc."},
        // No row for this text in the table: Korean in every language.
        {L"NPROTECT Online Security", L"\uC54C\uC218\uC5C6\uC74C"},
    };
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(Cell(1, 0), L"NPROTECT Online Security");
    EXPECT_EQ(Cell(1, 1), L"\uC54C\uC218\uC5C6\uC74C");
    EXPECT_GT(Page->Rows()[0].Icon, 3);  // its own icon, appended to the pictures
    EXPECT_EQ(Page->Rows()[1].Icon, 0);  // no such file: the blank document
    EXPECT_EQ(Page->ListInstall->OnGetImageIndex(1, 0), 0);
    EXPECT_EQ(Page->ListInstall->OnGetImageIndex(0, 1), -1);
    // Every load rebuilds the rows from the inventory; nothing doubles.
    Page->ListInstall->SelectRow(1);
    Page->LoadInstall();
    EXPECT_EQ(Shown(), expected);
    EXPECT_EQ(Page->ListInstall->RowCount(), 2);
    EXPECT_EQ(Page->ListInstall->SelectedRow(), -1);
    // The report's list is the whole inventory, not only the rows.
    EXPECT_EQ(Page->Snapshot()->size(), 6u);
}

TEST_F(BundlePage, SavesTheShownRowsOrTheWholeInventoryInTheStartupPagesFormat) {
    NameBlack = {L"Bank"};
    Page->Inventory = {
        Program(L"Bank Guard", L"", L"20240101", L"", L"\"C:\\Bank\\un.exe\" /x"),
        Program(L"Editor", L"Pub|Co", L"20230101", L"", L"C:\\Editor\\remove.exe"),
        Program(L"Bank \uD0A4\uBCF4\uB4DC", L"Key Co", L"", L"", L"C:\\Key\\u.exe"),
    };
    Page->LoadInstall();
    ASSERT_EQ(Page->Rows().size(), 2u);
    TTempDir dir;
    Page->Answers = {dir.File(L"shown.txt"), dir.File(L"all.txt"), L""};
    Page->BtnSave->OnClick(Page->BtnSave);
    Page->BtnSaveAll->OnClick(Page->BtnSaveAll);
    Page->BtnSaveAll->OnClick(Page->BtnSaveAll);  // cancelled: nothing more
    const std::string bank = "|Bank Guard|\"C:\\Bank\\un.exe\" /x\r\n";
    const std::string keyboard = "Key Co|Bank \xED\x82\xA4\xEB\xB3\xB4\xEB\x93\x9C|C:\\Key\\u.exe\r\n";
    EXPECT_EQ(test::ReadFileBytes(dir.File(L"shown.txt")), "\xEF\xBB\xBF" + bank + keyboard);
    EXPECT_EQ(test::ReadFileBytes(dir.File(L"all.txt")),
              "\xEF\xBB\xBF" + bank + "Pub|Co|Editor|C:\\Editor\\remove.exe\r\n" + keyboard);
    EXPECT_EQ(Page->BtnSave->Caption(), L"목록 저장");
    EXPECT_EQ(Page->BtnSaveAll->Caption(), L"목록 저장(전체)");
}

// Uninstall records under unique names, removed when the test ends.
class TRecords {
public:
    ~TRecords() {
        for (const std::wstring& name : FNames) TReg::DeleteKey(HKEY_LOCAL_MACHINE, kUninstall, name);
    }
    std::wstring Add(const std::wstring& DisplayName, const std::wstring& Uninstall) {
        const std::wstring name = UniqueName(L"TidoraBundlePage");
        FNames.push_back(name);
        TReg::WriteString(HKEY_LOCAL_MACHINE, kUninstall + L"\\" + name, L"DisplayName", DisplayName);
        TReg::WriteString(HKEY_LOCAL_MACHINE, kUninstall + L"\\" + name, L"UninstallString", Uninstall);
        return name;
    }
    void Remove(const std::wstring& Name) { TReg::DeleteKey(HKEY_LOCAL_MACHINE, kUninstall, Name); }

private:
    std::vector<std::wstring> FNames;
};

TEST_F(BundlePage, TheButtonStartsTheUninstallerAndTheRowGoesWithItsRecord) {
    TTempDir dir;
    const std::wstring uninstaller = dir.File(L"uninstall.exe");
    ASSERT_TRUE(CopyFileW(test::BinaryPath(L"fixtures\\LaunchProbe.exe").c_str(), uninstaller.c_str(), FALSE));
    const std::wstring record = uninstaller + L".args";
    const std::wstring prefix = UniqueName(L"TidoraBlack");
    std::wstring lower = prefix;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    NameBlack = {lower};
    TRecords records;
    const std::wstring name = prefix + L" Plugin";
    const std::wstring key = records.Add(name, L"\"" + uninstaller + L"\" /uninstall quiet=no");
    Page->Real = true;
    Page->LoadInstall();
    ASSERT_GE(RowOf(name), 0);
    EXPECT_EQ(Page->Rows()[static_cast<size_t>(RowOf(name))].Publisher, L"\uC54C\uC218\uC5C6\uC74C");

    // No row selected: the click only reloads (a watcher's reload of the new
    // record may come on top).
    Page->ListInstall->SelectRow(-1);
    const int reads = *Page->Reads;
    SendMessageW(Page->BtnInstall->Handle(), BM_CLICK, 0, 0);
    EXPECT_GE(*Page->Reads, reads + 1);
    Pump(300);
    EXPECT_EQ(GetFileAttributesW(record.c_str()), INVALID_FILE_ATTRIBUTES);

    // The button starts the uninstaller at once, without a question; the row
    // stays while the record does.
    Page->ListInstall->SelectRow(RowOf(name));
    SendMessageW(Page->BtnInstall->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(Page->BtnInstall->Enabled());
    EXPECT_TRUE(PumpUntil([&] { return !test::ReadFileBytes(record).empty(); }, 15000));
    EXPECT_EQ(test::ReadFileBytes(record), "/uninstall quiet=no");
    EXPECT_GE(RowOf(name), 0);
    // A double click on the row does the same.
    DeleteFileW(record.c_str());
    Page->ListInstall->SelectRow(RowOf(name));
    const RECT r = Page->ListInstall->RowRect(RowOf(name));
    SendMessageW(Page->ListInstall->Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(r.left + 30, r.top + 5));
    EXPECT_TRUE(PumpUntil([&] { return !test::ReadFileBytes(record).empty(); }, 15000));

    // The uninstaller's work: the record goes, and a watcher takes the row
    // away with no action of the user.
    records.Remove(key);
    EXPECT_TRUE(PumpUntil([&] { return RowOf(name) < 0; }, 15000));
    Pump(200);  // the probe's own end
}

TEST_F(BundlePage, DestroyingThePageServesAWaitingWatcherWithoutAReload) {
    EXPECT_EQ(Page->Watchers().size(), 4u);
    Page->Real = true;
    std::shared_ptr<std::atomic<int>> reads = Page->Reads;
    TRecords records;
    Page->LoadInstall();
    const int before = *reads;
    // A change while the UI thread does not pump: the watcher hands the
    // reload over and waits. On a busy machine its watch may not be armed
    // yet, so the record changes again until a hand-over is waiting.
    const std::wstring name = records.Add(UniqueName(L"TidoraBundleWatch"), L"C:\\nowhere\\u.exe");
    bool handedOver = false;
    for (int i = 0; i < 40 && !handedOver; ++i) {
        handedOver = WaitForSingleObject(HandOverEvent(), 250) == WAIT_OBJECT_0;
        if (!handedOver)
            TReg::WriteString(HKEY_LOCAL_MACHINE, kUninstall + L"\\" + name, L"DisplayName",
                              L"TidoraBundleWatch" + std::to_wstring(i));
    }
    ASSERT_TRUE(handedOver);
    Sleep(300);
    EXPECT_EQ(*reads, before);
    // The destruction serves it on the way instead of waiting for ever, and
    // the hand-over no longer finds a page to reload.
    Host.reset();
    EXPECT_EQ(*reads, before);
    EXPECT_FALSE(ServeHandOvers());
}

// ---- pictures ----

TEST(BundlePageShots, InKoreanAndEnglish) {
    const std::wstring saved = CurrentLanguage();
    SetCursorPos(0, 0);
    TFormOptions o;
    o.ClassName = L"TidoraBundlePageShot";
    o.BorderStyle = TBorderStyle::bsSingle;
    o.ClientWidth = 448;
    o.ClientHeight = 367;
    TForm form(o);
    form.SetColor(RGB(255, 255, 255));
    form.SetFont(TFontSpec{L"Segoe UI", 12});
    auto* cards = TWindow::Create<TCardPanel>(&form, L"Cards", TBounds{0, 0, 448, 367}, TAlign::alClient);
    const TStringList black = {L"AhnLab", L"nProtect", L"\uD0A4\uBCF4\uB4DC"};
    const std::wstring versioned = test::BinaryPath(L"fixtures\\VersionedApp.exe");
    form.CenterOnScreen();
    form.ShowForm();
    struct Shot {
        const wchar_t* Language;
        const wchar_t* Uninstall;
    };
    for (const Shot& shot : {Shot{L"ko", L"삭제하기"}, Shot{L"en", L"Uninstall"}}) {
        SetCurrentLanguage(shot.Language);
        auto* card = TWindow::Create<TPanel>(cards, shot.Language, TBounds{}, TAlign::alClient);
        auto* page = TWindow::Create<TTestInstallPage>(card, L"FrmInstall", TBounds{0, 0, 375, 444}, TAlign::alClient);
        cards->SetActiveCardIndex(cards->CardCount() - 1);
        page->SetBlackList(&black);
        page->Inventory = {
            Program(L"AhnLab Safe Transaction", L"AhnLab, Inc.", L"20240102", versioned),
            Program(L"nProtect Online Security", L"INCA Internet", L"20231101"),
            Program(L"\uD0A4\uBCF4\uB4DC\uBCF4\uC548 \uD504\uB85C\uADF8\uB7A8", L"", L"20230301"),
            Program(L"Notepad++", L"Notepad++ Team", L"20220101"),
        };
        page->LoadInstall();
        EXPECT_EQ(page->Rows().size(), 3u);
        EXPECT_EQ(page->BtnInstall->Caption(), shot.Uninstall);
        const RECT panel = page->PnlInstall->BoundsRect(), button = page->BtnInstall->BoundsRect();
        EXPECT_EQ(panel.bottom - panel.top, form.Scale(49));
        EXPECT_EQ(button.right - button.left, form.Scale(84));
        EXPECT_EQ(page->ListInstall->ColumnWidth(1), form.Scale(140));
        EXPECT_EQ(page->ListInstall->MeasuredRowHeight(), form.Scale(24));
        Pump(100);
        EXPECT_TRUE(test::SaveWindowShot(form.Handle(), test::ScreenshotPath(std::wstring(L"install-") + shot.Language)));
    }
    SetCurrentLanguage(saved);
}

} // namespace
