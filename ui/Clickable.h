#pragma once
// A window that acts as a button without looking like one (a picture, a text
// link): a click, Enter or Space runs OnClick; it takes the focus with Tab and
// shows the hand cursor.
#include "ui/Window.h"

namespace tidora {

class TClickable : public TWindow {
public:
    TNotifyEvent OnClick;
    // A link: its default action runs OnClick.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    explicit TClickable(TWindow* Parent) : TWindow(Parent) {}
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    void OnMouseDown(POINT At) override;
    void OnMouseUp(POINT At) override;
    HCURSOR OnCursor() override;
    void OnAccessibleAction() override;

private:
    bool FPressed = false;
};

} // namespace tidora
