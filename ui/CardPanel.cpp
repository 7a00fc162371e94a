#include "ui/CardPanel.h"

namespace tidora {

TWindow* TCardPanel::Card(int Index) const {
    return Index >= 0 && Index < CardCount() ? Children()[static_cast<size_t>(Index)] : nullptr;
}

void TCardPanel::SetActiveCardIndex(int Index) {
    FActive = Index >= 0 && Index < CardCount() ? Index : -1;
    // Show the new card before hiding the old, so the panel never shows bare.
    if (TWindow* card = Card(FActive)) card->SetVisible(true);
    for (int i = 0; i < CardCount(); ++i)
        if (i != FActive) Card(i)->SetVisible(false);
}

void TCardPanel::OnChildAdded(TWindow* Child) {
    Child->SetAlign(TAlign::alClient);
    Child->SetVisible(CardCount() - 1 == FActive);
}

} // namespace tidora
