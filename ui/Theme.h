#pragma once
// The main window's look: a dark title bar where the desktop window manager
// offers one, and a 2-pixel accent line across the top of the client area,
// blue while the window is active and grey while it is not.
#include "ui/Form.h"
#include "ui/Shape.h"

namespace tidora {

class TThemeHelper : public TComponent {
public:
    // Builds the helper for the form AOwner, which owns it from then on.
    // Throws std::invalid_argument("TThemeHelper Owner must be a TForm") when
    // AOwner is not a form; nothing is created then.
    static TThemeHelper* Create(TComponent* AOwner);
    ~TThemeHelper() override;

    bool IsActive() const { return FIsActive; }
    COLORREF ActiveColor() const { return FActiveColor; }
    TShape* Shape() const { return FShape; }

private:
    explicit TThemeHelper(TForm* Form);
    void FormMessage(UINT Msg, WPARAM WParam);
    void UpdateShape();

    TForm* FForm;
    COLORREF FActiveColor;
    bool FIsActive = true;
    TShape* FShape = nullptr;
    // Whether the form still shows this helper its messages.
    bool FWatching = false;
};

// Asks the desktop window manager for a dark title bar; systems without the
// attribute keep their usual one.
void RequestDarkTitleBar(HWND Window);

} // namespace tidora
