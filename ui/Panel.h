#pragma once
// Plain containers: a panel (a background for the controls on it) and a frame,
// the base of a page: a panel that owns its own controls and fills its parent.
#include "ui/Window.h"

namespace tidora {

class TPanel : public TWindow {
public:
    explicit TPanel(TWindow* Parent) : TWindow(Parent) {}

protected:
    void CreateParams(TCreateParams& Params) override;
    // Its colour under the controls on it.
    bool PaintBuffered() const override { return false; }
};

class TFrame : public TPanel {
public:
    explicit TFrame(TWindow* Parent) : TPanel(Parent) {}
    bool IsOwnerRoot() const override { return true; }
};

} // namespace tidora
