#include "ui/Panel.h"

namespace tidora {

void TPanel::CreateParams(TCreateParams& Params) {
    Params.ClassName = L"TidoraPanel";
    // Tab moves into the controls on it.
    Params.ExStyle |= WS_EX_CONTROLPARENT;
}

} // namespace tidora
