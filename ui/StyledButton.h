#pragma once
// A push button drawn from a style family (ui/ButtonStyle). It stays a system
// button underneath, owner-drawn: its caption is its window text, it takes
// the keyboard focus and answers BM_CLICK, and screen readers see a button.
// Down holds it in the selected state (a speed button that stays pressed).
// Enter presses it as Space does: the focused button, not a default one.
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
    bool OnCommandReflected(WORD Code) override;
    bool OnDrawItemReflected(const DRAWITEMSTRUCT& Item) override;
    void OnAccessibleAction() override;

private:
    TButtonStyleSettings FStyle;
    bool FDown = false;
    bool FHot = false;
};

} // namespace tidora
