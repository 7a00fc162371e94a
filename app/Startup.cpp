#include "app/Startup.h"

#include "system/Path.h"
#include "system/Sync.h"
#include "ui/QuenbyButtonStyles.h"
#include "ui/Translate.h"

namespace tidora {

void InitializeUnits() {
    InitMainThread();
    InitPlaceholders();
    InitTranslation();
    RegisterQuenbyButtonStyles();
}

} // namespace tidora
