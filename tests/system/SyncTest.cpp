#include <gtest/gtest.h>

#include <stdexcept>

#include "system/Registry.h"
#include "system/Sync.h"
#include "tests/TestSupport.h"

using namespace tidora;

namespace {

// Serves hand-overs on this (the UI) thread for a while.
void ServeFor(DWORD ms) {
    UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    WaitServing(never.get(), ms);
}

TEST(HandOver, RunsOnTheUiThreadWhileItWaitsForTheWorker) {
    ASSERT_TRUE(IsMainThread());
    const DWORD ui = GetCurrentThreadId();
    DWORD ranOn = 0;
    int order = 0, handOverStep = 0, afterStep = 0;
    TBackgroundThread worker;
    worker.Start([&](TBackgroundThread&) {
        EXPECT_FALSE(IsMainThread());
        Synchronize([&] {
            ranOn = GetCurrentThreadId();
            handOverStep = ++order;
        });
        afterStep = ++order;  // only after the hand-over has run
    });
    worker.WaitFor();
    EXPECT_EQ(ranOn, ui);
    EXPECT_EQ(handOverStep, 1);
    EXPECT_EQ(afterStep, 2);
    EXPECT_TRUE(worker.Finished());
}

TEST(HandOver, OnTheUiThreadRunsAtOnceAndErrorsReachTheCaller) {
    bool ran = false;
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);

    bool caught = false;
    TBackgroundThread worker;
    worker.Start([&](TBackgroundThread&) {
        try {
            Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    worker.WaitFor();
    EXPECT_TRUE(caught);
}

TEST(HandOver, ManyWorkersHandOverConcurrently) {
    int total = 0;  // touched on the UI thread only
    {
        TBackgroundThread workers[4];
        for (TBackgroundThread& w : workers)
            w.Start([&](TBackgroundThread&) {
                for (int i = 0; i < 50; ++i) Synchronize([&] { ++total; });
            });
    }  // destruction waits, serving meanwhile
    EXPECT_EQ(total, 200);
}

TEST(HandOver, TerminationRequestIsSeenByTheLoop) {
    TBackgroundThread worker;
    worker.Start([](TBackgroundThread& self) {
        while (!self.Terminated()) Sleep(1);
    });
    EXPECT_FALSE(worker.Finished());
    worker.Terminate();
    worker.WaitFor();
    EXPECT_TRUE(worker.Finished());
}

class MonitorTest : public testing::Test {
protected:
    void SetUp() override { Name = test::UniqueName(L"TidoraMonitor"); Key = L"\\Software\\" + Name; }
    void TearDown() override { TReg::DeleteKey(HKEY_CURRENT_USER, L"\\Software", Name); }
    std::wstring Name, Key;
};

TEST_F(MonitorTest, FiresOnceForAWriteTwoLevelsBelowOnTheUiThread) {
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a\\b", L"v", L"0");
    int calls = 0;
    DWORD ranOn = 0;
    auto monitor = RegistryMonitor(HKEY_CURRENT_USER, Key, [&] {
        ++calls;
        ranOn = GetCurrentThreadId();
    }, true);
    ServeFor(100);
    EXPECT_EQ(calls, 0);

    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a\\b", L"v", L"1");
    for (int i = 0; i < 100 && calls == 0; ++i) ServeFor(10);
    ServeFor(200);  // no second call for the same change
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ranOn, GetCurrentThreadId());

    // Re-armed after the callback: the next change is seen too.
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a\\b", L"v", L"2");
    for (int i = 0; i < 100 && calls == 1; ++i) ServeFor(10);
    EXPECT_EQ(calls, 2);

    // Stopping takes one 10 ms wait slice; allow generously for a loaded machine.
    const ULONGLONG start = GetTickCount64();
    monitor.reset();
    EXPECT_LT(GetTickCount64() - start, 1000u);
}

// The callback is where a page reads the key: a change made while it reads
// must bring another call, or the page keeps what it read before the change.
TEST_F(MonitorTest, AChangeWhileTheCallbackReadsBringsAnotherCall) {
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a", L"v", L"0");
    int calls = 0;
    auto monitor = RegistryMonitor(HKEY_CURRENT_USER, Key, [&] {
        if (++calls == 1) TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a", L"v", L"during");
    }, true);
    ServeFor(100);
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a", L"v", L"1");
    for (int i = 0; i < 200 && calls < 2; ++i) ServeFor(10);
    EXPECT_EQ(calls, 2);
}

TEST_F(MonitorTest, WithoutSubtreeOnlyTheKeyItselfCounts) {
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a\\b", L"v", L"0");
    int calls = 0;
    auto monitor = RegistryMonitor(HKEY_CURRENT_USER, Key, [&] { ++calls; }, false);
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\a\\b", L"v", L"1");
    ServeFor(300);
    EXPECT_EQ(calls, 0);
    TReg::WriteString(HKEY_CURRENT_USER, Key, L"top", L"1");
    for (int i = 0; i < 100 && calls == 0; ++i) ServeFor(10);
    EXPECT_EQ(calls, 1);
}

TEST_F(MonitorTest, MissingKeyEndsAtOnceWithoutCalling) {
    int calls = 0;
    auto monitor = RegistryMonitor(HKEY_CURRENT_USER, Key + L"\\missing", [&] { ++calls; }, true);
    for (int i = 0; i < 100 && !monitor->Finished(); ++i) ServeFor(10);
    EXPECT_TRUE(monitor->Finished());
    TReg::WriteString(HKEY_CURRENT_USER, Key + L"\\missing", L"v", L"1");
    ServeFor(100);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(TReg::IsKey(HKEY_CURRENT_USER, Key + L"\\missing\\x"));
}

} // namespace
