#include "app/Startup.h"

#include "system/Memory.h"
#include "system/Path.h"
#include "system/Sync.h"
#include "ui/Translate.h"

namespace tidora {

void InitializeUnits() {
    InitMainThread();
    InitPlaceholders();
    InitTranslation();
    EnablePrivileges();
}

} // namespace tidora
