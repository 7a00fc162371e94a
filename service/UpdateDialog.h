#pragma once
// The windows of the start-up conversation: the update prompt (with the
// service's notice inside it) and the red status line at the bottom of the
// main window that points at a notice address. The conversation itself
// (service/Update) stays windowless and calls these through its hooks.
#include <string>

#include "service/Service.h"
#include "service/Update.h"
#include "ui/Clickable.h"
#include "ui/Form.h"

namespace tidora {

class TCheckBox;
class TLinkLabel;
class TShape;
class TStyledButton;
class TLabel;

// The update prompt: a warning, the prompt text, Yes and No, and the notice of
// the reply's "info" ("hold": a check box; "note": a link; any other style:
// the extra room and the separator only). Its note link opens through
// Platform.
class TUpdateDialog : public TForm {
public:
    TUpdateDialog(const std::wstring& Data, int DialogOffset, const TPlatform& Platform);

    TStyledButton* BtnYes = nullptr;
    TStyledButton* BtnNo = nullptr;
    TLabel* LblPrompt = nullptr;
    TShape* Separator = nullptr;      // null without a notice style
    TCheckBox* ChkHold = nullptr;     // style "hold" only
    TLinkLabel* LblNote = nullptr;    // style "note" only
    bool StayOnTop() const { return FStayOnTop; }

protected:
    bool OnCommand(WORD Id) override;
    void OnPaint(HDC DC, const RECT& Client) override;

private:
    bool FStayOnTop = false;
    RECT FIconRect{};  // at 96 dpi
};

// A text link: blue, underlined, with the hand cursor; it keeps its address as
// its hint, which it does not show.
class TLinkLabel : public TClickable {
public:
    explicit TLinkLabel(TWindow* Parent) : TClickable(Parent) { SetHasCaption(true); }
    std::wstring Hint;
    // A link whose description is its address.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnPaint(HDC DC, const RECT& Client) override;
};

// The status line: one centred bold red text, the notice address as its
// tooltip, a click (or Enter and Space once Tab has reached it) opens the
// address. Screen readers hear a link described by its address.
class TUpdateStatusBar : public TClickable {
public:
    explicit TUpdateStatusBar(TWindow* Parent);
    ~TUpdateStatusBar() override;
    const std::wstring& Hint() const { return FHint; }
    void SetHint(const std::wstring& Hint);
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnCreated() override;
    void OnPaint(HDC DC, const RECT& Client) override;

private:
    std::wstring FHint;
    HWND FTip = nullptr;
};

// Event handlers without state.
class TUpdateHelper {
public:
    static void DrawUpdateStatus(TUpdateStatusBar* StatusBar, HDC DC, const RECT& Rect);
    static void StatusClick(TWindow* Sender);
};
class TFormHelper {
public:
    static void OpenURL(TWindow* Sender);
};

// Shows the prompt modally; true when the user chose Yes. A ticked hold box
// sends the hold notice to Service, whichever button was chosen.
bool ShowUpdateDialog(const std::wstring& Data, int DialogOffset, const TService& Service,
                      const TPlatform& Platform);

// Shows or updates the main form's status line; nothing without a main form.
// A click opens its address through the main form's platform.
void ShowUpdateStatusLine(const std::wstring& URL);

// The two for the start-up conversation with Service.
TUpdateHooks UpdateWindows(const TService& Service, const TPlatform& Platform);

} // namespace tidora
