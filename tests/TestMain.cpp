// Test programs start the program's units the way tidora.exe does, so every
// test sees the real placeholder table, translation table and hand-over. A
// folder's tests start only the units of that folder and the ones below it,
// in the program's order; app's tests start them all.
#include <gtest/gtest.h>

#ifdef TIDORA_TEST_APP
#include "app/Startup.h"
#else
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Sync.h"
#ifdef TIDORA_TEST_LIB
#include "lib/Autorun.h"
#endif
#ifdef TIDORA_TEST_UI
#include "ui/QuenbyButtonStyles.h"
#include "ui/Translate.h"
#endif
#endif

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifdef TIDORA_TEST_APP
    tidora::InitializeUnits();
#else
    tidora::InitMainThread();
    tidora::InitPlaceholders();
#ifdef TIDORA_TEST_LIB
    tidora::InitTaskSchedulerLock();
#endif
#ifdef TIDORA_TEST_UI
    tidora::InitTranslation();
    tidora::RegisterQuenbyButtonStyles();
#endif
    tidora::EnablePrivileges();
#endif
    return RUN_ALL_TESTS();
}
