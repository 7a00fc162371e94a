// The owners that pair a call with its undoing on the same thread or device
// context: a selection into a DC and COM initialisation.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <thread>

#include "system/Handles.h"

using namespace tidora;

namespace {

TEST(UniqueSelection, PutsBackWhatWasSelectedAndLeavesANullSelectionAlone) {
    UniqueMemoryDC dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const HGDIOBJ original = GetCurrentObject(dc.get(), OBJ_BRUSH);
    UniqueGdiObject red(CreateSolidBrush(RGB(255, 0, 0)));
    UniqueGdiObject blue(CreateSolidBrush(RGB(0, 0, 255)));
    {
        const UniqueSelection outer(dc.get(), red.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());
        {
            const UniqueSelection inner(dc.get(), blue.get());
            EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), blue.get());
        }
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());
        // Nothing to select (a font that could not be made): nothing changes.
        const UniqueSelection none(dc.get(), nullptr);
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), red.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), original);

    UniqueSelection early(dc.get(), blue.get());
    early.reset();
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), original);
}

TEST(UniqueComInit, BalancesEverySuccessfulCallAndOwnsNothingWhenTheModelDiffers) {
    // A thread of its own: the test thread's COM state stays as it was.
    std::thread([] {
        {
            UniqueComInit first(COINIT_MULTITHREADED);
            EXPECT_EQ(first.result(), S_OK);
            UniqueComInit second(COINIT_MULTITHREADED);
            EXPECT_EQ(second.result(), S_FALSE);  // counted all the same
            EXPECT_TRUE(second);
            UniqueComInit other(COINIT_APARTMENTTHREADED);
            EXPECT_EQ(other.result(), RPC_E_CHANGED_MODE);
            EXPECT_FALSE(other);
        }
        // Both calls were balanced: the thread may choose another model now.
        {
            UniqueComInit apartment(COINIT_APARTMENTTHREADED);
            EXPECT_EQ(apartment.result(), S_OK);
        }
        // Released, the owner leaves the balancing call to whoever took it.
        bool owed = false;
        {
            UniqueComInit handedOver(COINIT_MULTITHREADED);
            owed = handedOver.release();
        }
        EXPECT_TRUE(owed);
        UniqueComInit again(COINIT_APARTMENTTHREADED);
        EXPECT_EQ(again.result(), RPC_E_CHANGED_MODE);
        if (owed) CoUninitialize();
    }).join();
}

} // namespace
