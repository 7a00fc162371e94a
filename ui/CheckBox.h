#pragma once
// The system's check box, on its parent's background.
#include "ui/Window.h"

namespace tidora {

class TCheckBox : public TWindow {
public:
    explicit TCheckBox(TWindow* Parent);
    bool Checked() const;
    void SetChecked(bool Checked);
    // Runs when the user (or BM_CLICK) changes the tick.
    TNotifyEvent OnClick;
    // A check box, checked while ticked.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    bool OnCommandReflected(WORD Code) override;
    HBRUSH OnCtlColorReflected(HDC DC) override;
    void OnAccessibleAction() override;

private:
    UniqueGdiObject FBrush;
    COLORREF FBrushColor = 0;
};

} // namespace tidora
