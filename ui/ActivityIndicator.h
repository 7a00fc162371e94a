#pragma once
// A busy sign: a ring of dots whose bright end turns while Animate is on. It
// moves on a timer, so it turns only while the user-interface thread is free.
#include "ui/Window.h"

namespace tidora {

class TActivityIndicator : public TWindow {
public:
    static constexpr int FrameCount = 12;

    explicit TActivityIndicator(TWindow* Parent) : TWindow(Parent) {}

    bool Animate() const { return FAnimate; }
    void SetAnimate(bool Animate);
    int Frame() const { return FFrame; }
    COLORREF IndicatorColor() const { return FIndicatorColor; }
    void SetIndicatorColor(COLORREF Color);
    // A busy indicator: busy while it turns; screen readers hear each change.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnCreated() override;
    void OnPaint(HDC DC, const RECT& Client) override;
    void OnTimer(UINT_PTR Id) override;

private:
    bool FAnimate = false;
    int FFrame = 0;
    COLORREF FIndicatorColor = RGB(61, 132, 221);
};

} // namespace tidora
