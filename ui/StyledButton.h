#pragma once
// A push button drawn from a style family (ui/ButtonStyle). A window class of
// our own that acts as the system's push button does: its caption is its
// window text; it takes the keyboard focus; a click is a press and a release
// on it with the mouse, Space pressed and released, or BM_CLICK; it answers
// BM_GETSTATE and BM_SETSTATE; screen readers see a push button. (The
// system's button class would load comctl32 for the main window's first
// paint; none of these buttons needs it.) Down holds it in the selected state
// (a speed button that stays pressed). Enter presses it as Space does: the
// focused button, not a default one.
#include "ui/ButtonStyle.h"
#include "ui/Window.h"

namespace tidora {

struct TButtonStyleSettings {
    std::wstring Family = L"";
    std::wstring ButtonClass = L"";
    std::wstring Appearance = L"";
    TStyledButtonDrawType DrawType = TStyledButtonDrawType::btRoundRect;
    int Radius = -1;  // at 96 dpi; -1: the framework's default
};

class TStyledButton : public TWindow {
public:
    explicit TStyledButton(TWindow* Parent);

    void SetStyle(const TButtonStyleSettings& Settings);
    void SetStyleFamily(const std::wstring& Family);
    void SetStyleAppearance(const std::wstring& Appearance);
    void SetStyleDrawType(TStyledButtonDrawType DrawType);
    void SetStyleRadius(int Radius);
    // What the button is drawn with (a tool button uses its toolbar's).
    virtual TButtonStyleSettings StyleSettings() const { return FStyle; }

    bool Down() const { return FDown; }
    virtual void SetDown(bool Down);

    // The state the button shows now, and the attribute set it draws it with.
    TStyledButtonState State() const;
    TStyledButtonAttributes CurrentAttributes() const;
    // What is drawn: the current set, as the kind of button draws it.
    virtual TStyledButtonAttributes DrawnAttributes() const { return CurrentAttributes(); }

    // Runs OnClick as a click by the user does.
    void Click();
    TNotifyEvent OnClick;

    // A push button; pressed while it is down.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    void OnPaint(HDC DC, const RECT& Client) override;
    void OnMouseDown(POINT At) override;
    void OnMouseUp(POINT At) override;
    void OnMouseMove(POINT At) override;
    void OnMouseLeave() override;
    void OnAccessibleAction() override;

private:
    // Drawn pushed in: held by the mouse or Space, or by BM_SETSTATE.
    void SetPushed(bool Pushed);
    // Ends a press by the mouse or by Space; true when it ends as a click.
    bool EndPress(bool Inside);

    TButtonStyleSettings FStyle;
    bool FDown = false;
    bool FHot = false;
    bool FPushed = false;
    bool FMousePress = false;  // the mouse holds it (and the capture)
    bool FSpacePress = false;
};

} // namespace tidora
