#pragma once
// A caption drawn on its parent's background; it never takes the focus.
#include "ui/Window.h"

namespace tidora {

class TLabel : public TWindow {
public:
    explicit TLabel(TWindow* Parent);

    TTextAlign Alignment() const { return FAlignment; }
    void SetAlignment(TTextAlign Alignment);
    // Centred between top and bottom instead of at the top.
    void SetVerticalCenter(bool Center);
    void SetWordWrap(bool Wrap);
    // Static text; its name is the text it shows.
    bool AccessibleInfo(TAccessibleInfo& Info) const override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void OnPaint(HDC DC, const RECT& Client) override;
    bool VerticalCenter() const { return FVerticalCenter; }
    bool WordWrap() const { return FWordWrap; }
    // The text colour: the font's, or the system's in high contrast.
    COLORREF TextColor() const;
    virtual std::wstring ShownText() const { return Caption(); }

private:
    TTextAlign FAlignment = TTextAlign::taLeft;
    bool FVerticalCenter = false;
    bool FWordWrap = false;
};

} // namespace tidora
