#pragma once
// A bar of styled tool buttons side by side, all drawn with the bar's style
// settings. At most one button is down at a time: pressing one releases the
// one pressed before.
#include "ui/StyledButton.h"

namespace tidora {

class TStyledToolbar;

class TStyledToolButton : public TStyledButton {
public:
    explicit TStyledToolButton(TWindow* Parent);
    TButtonStyleSettings StyleSettings() const override;
    void SetDown(bool Down) override;
    // Toolbars are flat: a button without a face shows no frame either, so
    // it is plain text on the bar until it is pointed at or pressed.
    TStyledButtonAttributes DrawnAttributes() const override;

protected:
    // The arrow keys move the focus along the bar (mirrored with the layout).
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;

private:
    TStyledToolbar* FToolbar;
};

class TStyledToolbar : public TWindow {
public:
    explicit TStyledToolbar(TWindow* Parent) : TWindow(Parent) {}

    const TButtonStyleSettings& StyleSettings() const { return FStyle; }
    void SetStyle(const TButtonStyleSettings& Settings);
    // Button size and the room before the first button, at 96 dpi.
    void SetButtonSize(int Width, int Height);
    void SetIndent(int Indent);

    TStyledToolButton* AddButton(const std::wstring& Name, const std::wstring& Caption);
    int ButtonCount() const;
    TStyledToolButton* Button(int Index) const;
    // The button that is down, -1 when none is.
    int DownIndex() const;
    int IndexOf(const TStyledToolButton* Button) const;

    void Realign() override;

protected:
    void CreateParams(TCreateParams& Params) override;
    bool PaintBuffered() const override { return false; }

private:
    friend class TStyledToolButton;
    void ButtonWentDown(TStyledToolButton* Button);

    TButtonStyleSettings FStyle;
    int FButtonWidth = 70;
    int FButtonHeight = 30;
    int FIndent = 0;
};

} // namespace tidora
