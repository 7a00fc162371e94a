#pragma once
// The program's one window: a header with the three page buttons and the logo,
// and three cards below it (home with the Start button, Startup, Bundle). It
// owns the protection lists and starts the service conversation and the
// cleaning run.
#include <memory>
#include <string>

#include "lib/Common.h"
#include "service/Service.h"
#include "system/Platform.h"
#include "system/Process.h"
#include "ui/Form.h"

namespace tidora {

class TActivityIndicator;
class TCardPanel;
class THtmlLabel;
class TLabel;
class TLogoImage;
class TPanel;
class TStyledButton;
class TStyledToolButton;
class TStyledToolbar;
class TCleanRun;
class TFrmAutorun;
class TFrmInstall;
struct TReportPages;

class TFrmTidora : public TForm {
public:
    // Platform: the calls into the system that the window, its pages, the
    // service conversation and the cleaning run go through. Service: where the
    // conversation and the usage report go.
    explicit TFrmTidora(const TPlatform& Platform = RealPlatform(), TService Service = BuiltInService());
    ~TFrmTidora() override;

    TCardPanel* PnlMain = nullptr;
    TPanel* PnlCleaner = nullptr;
    TPanel* PnlAutorun = nullptr;
    TPanel* PnlInstall = nullptr;
    TPanel* PnlHead = nullptr;
    TStyledToolbar* BtnHead = nullptr;
    TStyledToolButton* BtnHome = nullptr;
    TStyledToolButton* BtnAutorun = nullptr;
    TStyledToolButton* BtnInstall = nullptr;
    TPanel* PnlLogo = nullptr;
    TLogoImage* ImgLogo = nullptr;
    TLabel* LblTitle = nullptr;
    THtmlLabel* LblContent = nullptr;
    TStyledButton* BtnStart = nullptr;
    TActivityIndicator* Indicator = nullptr;
    TFrmAutorun* FrmAutorun = nullptr;
    TFrmInstall* FrmInstall = nullptr;
    TStringList FileWhite;
    TStringList NameWhite;
    TStringList NameBlack;
    TProcessList ProcessList;

    // Header buttons and the logo share this handler.
    void BtnHomeClick(TWindow* Sender);
    void BtnStartClick(TWindow* Sender);
    // The end of the service conversation (UI thread, once).
    void ServiceCallback(bool Accepted, const std::wstring& Data);

    // The pages' lists as the usage report reads them (UI thread).
    TReportPages ReportPages() const;

protected:
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    struct TContext;
    void FormCreate();
    // The start-up conversation with the service.
    void StartConversation();
    void FormDestroy();
    // Creates the page of card Index on first use and (re)loads it.
    void ShowPage(int Index);
    TService FService;
    std::shared_ptr<TContext> FContext;
};

// The tip line's two texts (Korean keys of the translation table).
extern const wchar_t* const kTips[2];

// The maker's page behind the logo.
std::wstring MakerPageURL();

// The program entry: the units start; then a second copy ends, and the first
// creates the main window and runs the message loop until it closes.
int RunProgram();

} // namespace tidora
