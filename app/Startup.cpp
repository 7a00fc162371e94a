#include "app/Startup.h"

#include "lib/Autorun.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Sync.h"
#include "ui/Translate.h"

namespace tidora {

void InitializeUnits() {
    InitMainThread();
    InitPlaceholders();
    InitTaskSchedulerLock();
    InitTranslation();
    EnablePrivileges();
}

} // namespace tidora
