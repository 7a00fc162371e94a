#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "system/Path.h"
#include "system/Process.h"
#include "system/Strings.h"
#include "tests/Children.h"
#include "tests/TestSupport.h"

using namespace tidora;
using namespace tidora::test;

namespace {

std::wstring Sleeper() { return BinaryPath(L"helpers/sleeper.exe"); }
std::wstring Holder() { return BinaryPath(L"helpers/windowholder.exe"); }

bool HaveDisplay() {
    return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0;
}

// A copy of the sleeper under a name no other process has.
std::wstring CopySleeper(const TTempDir& Dir, const std::wstring& Prefix) {
    const std::wstring path = Dir.File(UniqueName(Prefix) + L".exe");
    CopyFileW(Sleeper().c_str(), path.c_str(), FALSE);
    return path;
}

std::vector<const TProcessInfo*> EntriesOf(const TProcessList& List, DWORD Id) {
    std::vector<const TProcessInfo*> found;
    for (const TProcessInfo& info : List)
        if (info.ProcessID == Id) found.push_back(&info);
    return found;
}

std::wstring OwnPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return buffer;
}

TEST(CollectProcesses, RealPathsStateOneAndTwoEntriesPerProcessWhenCalledTwice) {
    TTempDir dir;
    const std::wstring path = CopySleeper(dir, L"collect");
    TChild child(path, L"");
    ASSERT_NE(child.Id(), 0u);

    TProcessList list;
    CollectProcesses(list);
    const size_t first = list.size();
    CollectProcesses(list);

    for (DWORD id : {child.Id(), GetCurrentProcessId()}) {
        auto entries = EntriesOf(list, id);
        ASSERT_EQ(entries.size(), 2u) << id;
        EXPECT_LT(entries[0] - list.data(), static_cast<ptrdiff_t>(first));
        EXPECT_GE(entries[1] - list.data(), static_cast<ptrdiff_t>(first));
        for (const TProcessInfo* info : entries) EXPECT_EQ(info->State, TProcessState::Collected);
    }
    EXPECT_TRUE(SameTextAscii(EntriesOf(list, child.Id())[0]->FileName, 0, path, path.size()));
    EXPECT_EQ(EntriesOf(list, GetCurrentProcessId())[0]->FileName, OwnPath());
    EXPECT_TRUE(std::none_of(list.begin(), list.end(), [](const TProcessInfo& i) { return i.ProcessID == 0; }));
}

TEST(CollectProcesses, ImagePathsOf32And64BitProcessesAlike) {
    // The same sleeper built for the other architecture (tests/CMakeLists.txt).
    const std::wstring other = BinaryPath(sizeof(void*) == 4 ? L"helpers/sleeper-x86_64.exe" : L"helpers/sleeper-i686.exe");
    if (GetFileAttributesW(other.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no sleeper built for the other architecture (its compiler is missing)";
    TTempDir dir;
    const std::wstring own = CopySleeper(dir, L"bits");
    const std::wstring foreign = dir.File(UniqueName(L"bits") + L".exe");
    ASSERT_TRUE(CopyFileW(other.c_str(), foreign.c_str(), FALSE));
    TChild a(own, L""), b(foreign, L"");
    ASSERT_NE(a.Id(), 0u);
    ASSERT_NE(b.Id(), 0u);
    BOOL wowA = FALSE, wowB = FALSE;
    ASSERT_TRUE(IsWow64Process(a.Process(), &wowA));
    ASSERT_TRUE(IsWow64Process(b.Process(), &wowB));
    ASSERT_NE(wowA, wowB) << "one 32-bit and one 64-bit process";

    TProcessList list;
    CollectProcesses(list);
    for (const auto& [id, path] : {std::pair{a.Id(), own}, std::pair{b.Id(), foreign}}) {
        auto entries = EntriesOf(list, id);
        ASSERT_EQ(entries.size(), 1u) << id;
        EXPECT_TRUE(SameTextAscii(entries[0]->FileName, 0, path, path.size()))
            << std::string(entries[0]->FileName.begin(), entries[0]->FileName.end());
        EXPECT_EQ(entries[0]->FileName.size(), path.size());
        EXPECT_EQ(entries[0]->State, TProcessState::Collected);
    }
}

TEST(CollectProcesses, UnreadablePathFallsBackToSnapshotName) {
    TTempDir dir;
    const std::wstring path = CopySleeper(dir, L"tidora_hidden");
    TChild child(path, L"--hide");
    ASSERT_NE(child.Id(), 0u);
    EXPECT_EQ(GetProcessFileName(child.Id()), L"");

    TProcessList list;
    CollectProcesses(list);
    auto entries = EntriesOf(list, child.Id());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->FileName, path.substr(path.find_last_of(L'\\') + 1));
}

TEST(GetProcessFileName, OwnAndMissingProcess) {
    EXPECT_EQ(GetProcessFileName(GetCurrentProcessId()), OwnPath());
    // Ids are multiples of four: this one is never handed out.
    EXPECT_EQ(GetProcessFileName(0xFFFFFFF1u), L"");
}

TEST(IsProcessRunning, FollowsTheProcessEnd) {
    TTempDir dir;
    auto child = std::make_unique<TChild>(CopySleeper(dir, L"running"), L"");
    const DWORD id = child->Id();
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(IsProcessRunning(id));
    EXPECT_TRUE(ContainsProcessId(RunningProcessIds(), id));
    EXPECT_TRUE(ContainsProcessId(RunningProcessIds(), GetCurrentProcessId()));
    child.reset();
    EXPECT_FALSE(IsProcessRunning(id));
    EXPECT_FALSE(ContainsProcessId(RunningProcessIds(), id));
    EXPECT_FALSE(IsProcessRunning(0xFFFFFFF1u));
}

// Records the termination calls, then makes the real one.
std::vector<DWORD> gTerminated;
bool RecordingTerminate(DWORD Id, HANDLE Process) {
    gTerminated.push_back(Id);
    return TerminateProcess(Process, 0) != FALSE;
}


class KillProcessTest : public testing::Test {
protected:
    void SetUp() override {
        gTerminated.clear();
        gCriticalId = 0;
        Platform.Terminate = RecordingTerminate;
    }
    TPlatform Platform = RealPlatform();
    TTempDir Dir;
};

TEST_F(KillProcessTest, EndsAPlainProcess) {
    TChild child(CopySleeper(Dir, L"kill"), L"");
    ASSERT_NE(child.Id(), 0u);
    KillProcess(child.Id(), Platform);
    EXPECT_TRUE(child.Ended(5000));
    EXPECT_EQ(child.ExitCode(), 0u);
    EXPECT_EQ(gTerminated, std::vector<DWORD>{child.Id()});
}

TEST_F(KillProcessTest, LeavesIdZeroOwnAndRefusingProcesses) {
    TChild refusing(CopySleeper(Dir, L"refuse"), L"--refuse");
    ASSERT_NE(refusing.Id(), 0u);
    KillProcess(0, Platform);
    KillProcess(GetCurrentProcessId(), Platform);
    KillProcess(refusing.Id(), Platform);
    EXPECT_TRUE(gTerminated.empty());
    EXPECT_FALSE(refusing.Ended(300));
    EXPECT_TRUE(IsProcessRunning(refusing.Id()));
}

TEST_F(KillProcessTest, NeverEndsACriticalProcess) {
    TChild critical(CopySleeper(Dir, L"critical"), L"");
    TChild plain(CopySleeper(Dir, L"plain"), L"");
    ASSERT_NE(critical.Id(), 0u);
    ASSERT_NE(plain.Id(), 0u);
    gCriticalId = critical.Id();
    Platform.QueryInformationProcess = ReportCritical;

    EXPECT_TRUE(IsProcessCritical(critical.Id(), Platform));
    EXPECT_FALSE(IsProcessCritical(plain.Id(), Platform));
    KillProcess(critical.Id(), Platform);
    KillProcess(plain.Id(), Platform);
    EXPECT_EQ(gTerminated, std::vector<DWORD>{plain.Id()});
    EXPECT_FALSE(critical.Ended(300));
}

TEST(IsProcessCritical, UnreadableFlagCountsAsNotCritical) {
    // Wine does not know the class: the answer must not block every termination.
    EXPECT_FALSE(IsProcessCritical(GetCurrentProcessId()));
    EXPECT_FALSE(IsProcessCritical(0xFFFFFFF1u));
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(window, message, wp, lp);
}

// A hidden top-level window of this process that helpers can own popups by.
class TOwnerWindow {
public:
    TOwnerWindow() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TidoraTestOwner";
        RegisterClassExW(&wc);
        FWindow = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    }
    ~TOwnerWindow() {
        if (FWindow) DestroyWindow(FWindow);
    }
    HWND Get() const { return FWindow; }

private:
    HWND FWindow = nullptr;
};

// Starts a window holder while serving the messages its owned windows send us.
std::unique_ptr<TChild> StartHolder(const std::wstring& Arguments) {
    struct Start {
        std::wstring Arguments;
        std::unique_ptr<TChild> Child;
    } start{Arguments, nullptr};
    UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread starter([&] {
        start.Child = std::make_unique<TChild>(Holder(), start.Arguments);
        SetEvent(done.get());
    });
    WaitPumping(done.get(), 60000);
    starter.join();
    return std::move(start.Child);
}

TEST(FindProcessWindow, FirstParentlessWindowAndOwnedOnlyProcesses) {
    if (!HaveDisplay()) GTEST_SKIP() << "window tests need a display";
    TOwnerWindow owner;
    ASSERT_TRUE(owner.Get());
    auto plain = StartHolder(L"--windows 3 --owned 2");
    auto ownedOnly = StartHolder(L"--windows 0 --owned 3 --owner " +
                                 std::to_wstring(reinterpret_cast<UINT_PTR>(owner.Get())));
    ASSERT_NE(plain->Id(), 0u);
    ASSERT_NE(ownedOnly->Id(), 0u);

    TProcessList list;
    CollectProcesses(list);
    auto holder = EntriesOf(list, plain->Id());
    ASSERT_EQ(holder.size(), 1u);
    HWND window = holder[0]->Handle;
    ASSERT_TRUE(window);
    DWORD windowOwner = 0;
    GetWindowThreadProcessId(window, &windowOwner);
    EXPECT_EQ(windowOwner, plain->Id());
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(window, FindProcessWindow(plain->Id()));

    auto owned = EntriesOf(list, ownedOnly->Id());
    ASSERT_EQ(owned.size(), 1u);
    EXPECT_EQ(owned[0]->Handle, nullptr);
    EXPECT_EQ(FindProcessWindow(ownedOnly->Id()), nullptr);

    // The single pass answers what the per-process walk answers, process by process.
    const auto first = FirstProcessWindows();
    for (const TProcessInfo& info : list) {
        auto found = first.find(info.ProcessID);
        EXPECT_EQ(found == first.end() ? nullptr : found->second, FindProcessWindow(info.ProcessID))
            << info.FileName;
    }
    EXPECT_EQ(first.count(ownedOnly->Id()), 0u);
    EXPECT_EQ(first.at(GetCurrentProcessId()), FindProcessWindow(GetCurrentProcessId()));
}

} // namespace
