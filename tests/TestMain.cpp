// Test programs start the program's units the way tidora.exe does, so every
// test sees the real placeholder table, translation table and hand-over.
#include <gtest/gtest.h>

#include "app/Startup.h"

int wmain(int argc, wchar_t** argv) {
    testing::InitGoogleTest(&argc, argv);
    tidora::InitializeUnits();
    return RUN_ALL_TESTS();
}
