#pragma once
// A stack of cards of which one is visible: each child created on it is a
// card that fills it, numbered in creation order from 0.
#include "ui/Panel.h"

namespace tidora {

class TCardPanel : public TPanel {
public:
    explicit TCardPanel(TWindow* Parent) : TPanel(Parent) {}

    int CardCount() const { return static_cast<int>(Children().size()); }
    TWindow* Card(int Index) const;
    // -1 when no card is active.
    int ActiveCardIndex() const { return FActive; }
    // Shows card Index and hides the others; an index without a card hides all.
    void SetActiveCardIndex(int Index);

protected:
    void OnChildAdded(TWindow* Child) override;

private:
    int FActive = 0;
};

} // namespace tidora
