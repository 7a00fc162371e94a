#include <gtest/gtest.h>

#include <atomic>

#include "system/Sync.h"
#include "ui/Application.h"

using namespace tidora;

namespace {

// A worker that hands over in a loop (a report reading a page, a reader
// polling a list) must not keep the UI thread inside a pump: each pump serves
// what was waiting when it began and returns.
TEST(ProcessMessages, ReturnsWhileAWorkerKeepsHandingOver) {
    ASSERT_TRUE(IsMainThread());
    constexpr int kLimit = 3000;
    std::atomic<int> served{0};
    std::atomic<bool> stop{false};
    TBackgroundThread worker;
    worker.Start([&](TBackgroundThread&) {
        for (int i = 0; i < kLimit && !stop; ++i) Synchronize([&] { ++served; });
    });
    // Served first the way a long load serves them from inside its work, which
    // leaves the queue's wake-ups unread.
    while (served < 100) ServeHandOvers();

    int mostInOnePump = 0;
    for (int pump = 0; pump < 20; ++pump) {
        const int before = served;
        ProcessMessages();
        mostInOnePump = std::max(mostInOnePump, served - before);
    }
    stop = true;
    worker.WaitFor();
    EXPECT_LE(mostInOnePump, 3) << "a pump kept serving a worker that never paused";
    EXPECT_LT(served, kLimit);
}

// The wake-up message is posted once per wait, not once per hand-over: a
// worker served by waits that do not read the queue leaves no pile of them.
TEST(ProcessMessages, HandOversServedByWaitsLeaveAtMostOneWakeUp) {
    TBackgroundThread worker;
    worker.Start([&](TBackgroundThread&) {
        for (int i = 0; i < 200; ++i) Synchronize([] {});
    });
    worker.WaitFor();  // serves through the event, not the queue
    int wakeUps = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (TakeHandOverWakeUp(msg)) ++wakeUps;
    EXPECT_LE(wakeUps, 1);
}

} // namespace
