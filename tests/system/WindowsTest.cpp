// Starting the fixture probe (tests/fixtures/LaunchProbe.cpp), which writes
// the parameters it was given to "<its path>.args" and can be told to linger.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "system/Handles.h"
#include "system/Sync.h"
#include "system/Windows.h"
#include "tests/TestSupport.h"

using namespace tidora;
using tidora::test::BinaryPath;
using tidora::test::ReadFileBytes;
using tidora::test::TTempDir;

namespace {

std::wstring CopyProbe(const std::wstring& Path) {
    const std::wstring probe = BinaryPath(L"fixtures\\LaunchProbe.exe");
    return CopyFileW(probe.c_str(), Path.c_str(), FALSE) ? Path : std::wstring();
}

TEST(Execute, QuotedProgramWithSpacesGetsTrimmedParameters) {
    TTempDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.File(L"Program Files").c_str(), nullptr));
    const std::wstring probe = CopyProbe(dir.File(L"Program Files\\launch probe.exe"));
    ASSERT_FALSE(probe.empty());

    UniqueHandle ended(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    DWORD calledOn = 0;
    Execute(L"  \"" + probe + L"\"   alpha  \"b c\"  \t", SW_HIDE, [&] {
        calledOn = GetCurrentThreadId();
        SetEvent(ended.get());
    });
    ASSERT_EQ(WaitServing(ended.get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(calledOn, GetCurrentThreadId());
    EXPECT_EQ(ReadFileBytes(probe + L".args"), "alpha  \"b c\"");
}

TEST(Execute, NothingStartedCallsBackAtOnceOnTheCallingThread) {
    TTempDir dir;
    const std::wstring missing = dir.File(L"missing.exe");
    int calls = 0;
    DWORD calledOn = 0;
    auto callback = [&] {
        ++calls;
        calledOn = GetCurrentThreadId();
    };
    Execute(missing, L"/x", SW_SHOW, callback);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(calledOn, GetCurrentThreadId());
    Execute(L"\"" + missing + L"\" /x", SW_SHOW, callback);
    EXPECT_EQ(calls, 2);
    // Without a callback there is nothing to call.
    Execute(missing, L"", SW_SHOW);
}

TEST(Execute, CallbacksComeInTheOrderTheProcessesEnd) {
    TTempDir dir;
    const std::wstring slow = CopyProbe(dir.File(L"slow.exe"));
    const std::wstring quick = CopyProbe(dir.File(L"quick.exe"));
    ASSERT_FALSE(slow.empty());
    ASSERT_FALSE(quick.empty());

    UniqueHandle bothEnded(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::wstring> order;
    std::vector<DWORD> threads;
    auto record = [&](const wchar_t* Name) {
        return [&, Name] {
            order.push_back(Name);
            threads.push_back(GetCurrentThreadId());
            if (order.size() == 2) SetEvent(bothEnded.get());
        };
    };
    Execute(slow, L"sleep=3000", SW_HIDE, record(L"slow"));
    Execute(quick, L"", SW_HIDE, record(L"quick"));
    ASSERT_EQ(WaitServing(bothEnded.get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(order, (std::vector<std::wstring>{L"quick", L"slow"}));
    EXPECT_EQ(threads, (std::vector<DWORD>{GetCurrentThreadId(), GetCurrentThreadId()}));
}

} // namespace
