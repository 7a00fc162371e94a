#pragma once
// The program's logo, drawn as vector art at any size: a blue rounded square
// with a white ring and spark, beside the word "Tidora".
#include "ui/Window.h"

namespace tidora {

// Paints the logo into Rect (designed for 112 x 50, scaled to Rect's height).
void PaintLogo(HDC DC, const RECT& Rect, COLORREF Background);

// The logo as a clickable picture with the hand cursor. It takes the focus
// (Tab) and answers Enter and Space, so it can be used without a mouse.
class TLogoImage : public TWindow {
public:
    explicit TLogoImage(TWindow* Parent) : TWindow(Parent) {}
    TNotifyEvent OnClick;

protected:
    void CreateParams(TCreateParams& Params) override;
    LRESULT WndProc(UINT Msg, WPARAM WParam, LPARAM LParam) override;
    void OnCreated() override;
    void OnPaint(HDC DC, const RECT& Client) override;
    void OnMouseDown(POINT At) override;
    void OnMouseUp(POINT At) override;
    HCURSOR OnCursor() override;

private:
    bool FPressed = false;
};

} // namespace tidora
