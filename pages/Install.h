#pragma once
// The Bundle page: the installed programs whose names begin with an entry of
// the black list, one row per name with its publisher, and a button that starts
// the selected program's own uninstaller. Four registry watchers reload the
// page whenever an uninstall record comes, changes or goes, so a program
// leaves the list once its uninstaller has removed its record.
//
// The main window creates the page on its Bundle card the first time the card
// is picked, hands it the black list, and calls LoadInstall each time the card
// is picked again. The usage report reads Snapshot().
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "lib/Common.h"
#include "lib/Install.h"
#include "system/Path.h"
#include "system/Sync.h"
#include "ui/ImageCollection.h"
#include "ui/ListView.h"
#include "ui/Panel.h"
#include "ui/PopupMenu.h"
#include "ui/StyledButton.h"

namespace tidora {

// One row of the list, copied from the inventory.
class TInstallItem {
public:
    std::wstring DisplayName;
    std::wstring Publisher;  // as shown: the record's, or "알수없음" when it names none
    std::wstring InstallDate;
    std::wstring UninstallString;
    int Icon = 0;            // picture index in the page's image collection
    size_t Record = 0;       // the record's place in the inventory the rows were made from
};

class TFrmInstall : public TFrame {
public:
    // Makes the page on Card (it fills the card), translates it and starts the
    // watchers; the page reads nothing until LoadInstall. Same as
    // TWindow::Create<TFrmInstall>(Card, L"FrmInstall", {}, TAlign::alClient).
    // The inventory is read through the platform of the form the page sits
    // on (TWindow::Platform).
    static TFrmInstall* Create(TWindow* Card);

    explicit TFrmInstall(TWindow* Parent);
    // Stops the watchers, last first, before anything of the page goes; a
    // watcher handing a change over meanwhile is served without a reload.
    ~TFrmInstall() override;

    // The main window's black list; kept as a pointer, never changed. Null
    // matches nothing.
    void SetBlackList(const TStringList* NameBlack);

    // Reads the inventory again and rebuilds the rows. UI thread (the watchers
    // hand their reloads over to it).
    void LoadInstall();

    // The inventory of the last load, every installed program, newest first.
    // Any thread: a reload replaces it as a whole once it is complete. Never
    // null; empty before the first load.
    std::shared_ptr<const TInstallList> Snapshot() const;

    const std::vector<TInstallItem>& Rows() const { return FRows; }
    TImageCollection& DataIcon() { return FDataIcon; }
    // The watchers (four while the page lives; one whose key is missing has ended).
    const std::vector<std::unique_ptr<TBackgroundThread>>& Watchers() const { return FListInstThd; }

    // Writes the shown rows (All false) or the whole inventory (All true) in
    // the Startup page's format: "Publisher|DisplayName|UninstallString" per
    // program, the record's own publisher (empty when it names none).
    bool SaveToFile(const std::wstring& FileName, bool All, std::wstring& Error) const;

    // The page's controls.
    TListView* ListInstall = nullptr;
    TPanel* PnlInstall = nullptr;
    TStyledButton* BtnInstall = nullptr;
    TPopupMenu* Menu = nullptr;
    TPopupMenuItem* BtnSave = nullptr;
    TPopupMenuItem* BtnSaveAll = nullptr;

    // Event handlers, UI thread. The button and a double click on the list
    // start the selected program's uninstaller, without asking.
    void BtnInstallClick();
    void BtnSaveClick();
    void BtnSaveAllClick();

protected:
    void OnCreated() override;
    // What the destructor does first: the watchers cut off from the page,
    // then each asked to stop and waited for, last first, hand-overs served
    // (as no-ops) meanwhile. A derived page may call it in its own destructor.
    void StopWatchers();
    // Where the inventory comes from: GetInstall. Tests read their own.
    virtual void ReadInventory(TInstallList& List);
    // Asks the user where to save; false when the user cancels.
    virtual bool PromptSaveFileName(std::wstring& FileName);

private:
    void Save(bool All);

    const TStringList* FNameBlack = nullptr;
    std::shared_ptr<const TInstallList> FListInstObj;
    TIconCache FListIconObj;
    // The watchers' only way to the page (UI thread): null once it is going.
    std::shared_ptr<TFrmInstall*> FSelf;
    std::vector<std::unique_ptr<TBackgroundThread>> FListInstThd;
    TImageCollection FDataIcon;
    std::vector<TInstallItem> FRows;
};

} // namespace tidora
