#pragma once
// The Startup page: everything that starts with Windows, one row per entry
// with its name, picture and source; switched-off entries in grey, entries the
// protection lists mark as part of Windows hidden. The user switches the
// selected entry off or on, shows switched-off entries too, saves the whole
// collection to a text file, and opens the service's page about an entry.
//
// The main window creates the page on its Startup card the first time the
// card is picked, hands it the protection lists and the opener of an entry's
// page, and calls LoadAutorun each time the card is picked again. The usage report reads Snapshot().
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/Autorun.h"
#include "lib/Common.h"
#include "system/Path.h"
#include "ui/CheckBox.h"
#include "ui/ImageCollection.h"
#include "ui/ListView.h"
#include "ui/Panel.h"
#include "ui/PopupMenu.h"
#include "ui/StyledButton.h"

namespace tidora {

// One row of the list. A row stands for the entry with its From and Target.
class TAutorunItem {
public:
    std::wstring FileName;  // shown: the product name of the entry's file, else its Caption
    std::wstring Target;
    TAutorunSource From = TAutorunSource::MachineRun;  // shown in the second column
    int Icon = 1;           // picture index in the page's image collection
    bool Enabled = true;
    // The file whose product name and icon the row shows, until they are
    // read: when the row first comes into view, or in idle time before that.
    // Empty once read (and for rows that show no file's name).
    std::wstring Program;
    bool Pending = false;
};

// Opens the page about the entry with source From and address Target; the
// page knows no service, the main window does.
using TEntryPageOpener = std::function<void(TAutorunSource From, const std::wstring& Target)>;

class TFrmAutorun : public TFrame {
public:
    // Makes the page on Card (it fills the card) and translates it; the page
    // collects nothing until LoadAutorun. Same as
    // TWindow::Create<TFrmAutorun>(Card, L"FrmAutorun", {}, TAlign::alClient).
    // Collecting and switching go through the platform of the form the page
    // sits on (TWindow::Platform).
    static TFrmAutorun* Create(TWindow* Card);

    explicit TFrmAutorun(TWindow* Parent);
    ~TFrmAutorun() override;

    // The main window's protection lists; the page keeps the pointers and never
    // changes the lists. A list left null matches nothing.
    void SetProtectionLists(const TStringList* FileWhite, const TStringList* NameWhite,
                            const TStringList* NameBlack);

    // What a double click on a row calls; without one it does nothing.
    void SetEntryPageOpener(TEntryPageOpener Opener) { FOpenEntryPage = std::move(Opener); }
    const TEntryPageOpener& EntryPageOpener() const { return FOpenEntryPage; }

    // Collects the entries again and brings the rows up to date: rows keep
    // their place and take the new state, new entries are appended, gone ones
    // removed. UI thread.
    void LoadAutorun();

    // The entries of the last collection, all of them, shown or not, in
    // collection order. Any thread may call it: a reload replaces the list as
    // a whole once it is complete, so a reader holds either the list before
    // or the list after it, never one being filled. Never null; empty before
    // the first load.
    std::shared_ptr<const TAutorunList> Snapshot() const;

    // The rows as shown, in list order. A row's product name and icon are
    // read when the list first shows it, or in idle time after a load;
    // Pending rows still show the entry's caption and the program picture.
    const std::vector<TAutorunItem>& Rows() const { return FRows; }
    // Reads the product name and icon of every row still pending.
    void ReadPendingRows();
    TImageCollection& DataIcon() { return FDataIcon; }

    // Writes the collected entries as the save menu item does: one line
    // "From|Caption|Target" per entry, UTF-8 with a byte-order mark, CR LF.
    // False, with the system's message in Error, when the file cannot be written.
    bool SaveToFile(const std::wstring& FileName, std::wstring& Error) const;

    // The page's controls.
    TListView* ListAutorun = nullptr;
    TPanel* PnlAutorun = nullptr;
    TStyledButton* BtnAutorun = nullptr;
    TCheckBox* ChkAllList = nullptr;
    TPopupMenu* Menu = nullptr;
    TPopupMenuItem* BtnSave = nullptr;

    // Event handlers, UI thread.
    void ListAutorunClick();
    void ListAutorunDblClick();
    void ListAutorunKeyDown(WORD Key);
    void BtnAutorunClick();
    void ChkAllListClick();
    void BtnSaveClick();

protected:
    void OnCreated() override;
    void OnTimer(UINT_PTR Id) override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    // Where the entries come from: CollectAutorun with the page's platform.
    // Tests collect their own.
    virtual void CollectEntries(TAutorunList& List);
    // Asks the user where to save; false when the user cancels.
    virtual bool PromptSaveFileName(std::wstring& FileName);

private:
    // A file's product name and picture, as a new row shows them.
    struct TFileFacts {
        std::wstring Product;
        int Icon;
    };
    // Product names read, by file, with the file's write time and size then.
    struct TProductName {
        unsigned long long Written;
        unsigned long long Size;
        std::wstring Product;
    };
    TFileFacts ReadFileFacts(const std::wstring& FileName);
    TFileFacts FileFacts(const std::wstring& FileName);
    void ReadRow(size_t Row);
    void ReadRowsInView();
    void ListAutorunGetText(int Row, int Column, std::wstring& Text);
    int ListAutorunGetImageIndex(int Row, int Column);
    COLORREF ListAutorunPaintText(int Row, int Column) const;
    void ShowSwitchAction(bool RowEnabled);

    const TStringList* FFileWhite = nullptr;
    const TStringList* FNameWhite = nullptr;
    const TStringList* FNameBlack = nullptr;
    TEntryPageOpener FOpenEntryPage;
    std::shared_ptr<const TAutorunList> FListAutoObj;
    TIconCache FListIconObj;
    std::unordered_map<std::wstring, TProductName> FProductNames;
    // What each file gave since the last load (many entries start one file).
    std::unordered_map<std::wstring, TFileFacts> FLoadFacts;
    size_t FNextPending = 0;  // where idle reading goes on
    TImageCollection FDataIcon;
    std::vector<TAutorunItem> FRows;
};

} // namespace tidora
