// The cleaning run on real processes at real paths inside the Wine prefix.
// The termination call is replaced so that only the processes a test started
// can be ended: every other process of the prefix refuses.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "app/Clean.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "tests/Children.h"
#include "tests/TestSupport.h"

using namespace tidora;
using namespace tidora::test;

namespace {

// --- Protection files -----------------------------------------------------

// Replaces a file for the scope of a test and puts back what was there.
class TScopedFile {
public:
    TScopedFile(const std::wstring& Path, const std::string& Bytes) : FPath(Path) {
        const std::wstring folder = Path.substr(0, Path.find_last_of(L'\\'));
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            FCreatedFolder = CreateDirectoryW(folder.c_str(), nullptr) ? folder : L"";
        }
        FExisted = GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (FExisted) FOld = ReadFileBytes(Path);
        WriteFileBytes(Path, Bytes);
    }
    ~TScopedFile() {
        if (FExisted) WriteFileBytes(FPath, FOld);
        else DeleteFileW(FPath.c_str());
        if (!FCreatedFolder.empty()) RemoveDirectoryW(FCreatedFolder.c_str());
    }
    TScopedFile(const TScopedFile&) = delete;
    TScopedFile& operator=(const TScopedFile&) = delete;

private:
    std::wstring FPath, FCreatedFolder;
    std::string FOld;
    bool FExisted = false;
};

TEST(ReadNoCleanFile, EncodingsLinesAndMissingFiles) {
    TTempDir dir;
    struct Case {
        const char* Name;
        std::string Bytes;
        TStringList Expected;
    };
    const std::string ansi = "caf\xE9 \xC3\xA9";  // no mark: the ANSI code page, not UTF-8
    const Case cases[] = {
        {"utf8", "\xEF\xBB\xBF\xED\x8B\xB0\xEB\x8F\x84.exe*\r\n  x.exe*  \r\n", {L"티도.exe*", L"  x.exe*  "}},
        {"utf16le", std::string("\xFF\xFE" "a\0*\0\n\0\n\0/\0/\0", 14), {L"a*", L"", L"//"}},
        {"utf16be", std::string("\xFE\xFF\0b\0\r\0c", 8), {L"b", L"c"}},
        {"ansi", ansi + "\r\rlast", {CodePageToWide(ansi, CP_ACP), L"", L"last"}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        const std::wstring path = dir.File(Utf8ToWide(c.Name) + L".txt");
        ASSERT_TRUE(WriteFileBytes(path, c.Bytes));
        TStringList list{L"kept"};
        EXPECT_TRUE(ReadNoCleanFile(path, list)) << c.Name;
        TStringList expected{L"kept"};
        expected.insert(expected.end(), c.Expected.begin(), c.Expected.end());
        EXPECT_EQ(list, expected) << c.Name;
    }
    if (GetACP() == 1252) {
        EXPECT_EQ(CodePageToWide(ansi, CP_ACP), L"caf\xE9 \xC3\xA9");
    }

    TStringList list{L"kept"};
    EXPECT_FALSE(ReadNoCleanFile(dir.File(L"missing.txt"), list));
    EXPECT_EQ(list, TStringList{L"kept"});
}

TEST(NoCleanFiles, ExeFolderFirstThenRoamingAppData) {
    wchar_t exe[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.find_last_of(L'\\'));
    EXPECT_EQ(NoCleanFiles(), (TStringList{folder + L"\\NoClean.txt", GetFolderPath(26) + L"\\Tidora\\NoClean.txt"}));
}

// --- The run --------------------------------------------------------------

struct TTerminateRecord {
    DWORD Id;
    bool Ours;
};

// Shared with the seams, which are plain functions.
std::map<DWORD, TChild*> gOurs;
std::vector<TTerminateRecord> gTerminateCalls;
std::function<void(DWORD)> gOnFirstTerminate;

bool OnlyOursTerminate(DWORD Id, HANDLE Process) {
    const bool ours = gOurs.count(Id) != 0;
    gTerminateCalls.push_back({Id, ours});
    if (!ours) return false;
    if (gOnFirstTerminate) std::exchange(gOnFirstTerminate, nullptr)(Id);
    return TerminateProcess(Process, 0) != FALSE;
}


std::vector<ULONG> gPurgeClasses;
LONG NTAPI RecordPurge(ULONG InfoClass, PVOID, ULONG) {
    gPurgeClasses.push_back(InfoClass);
    return 0;
}

class CleanRunTest : public testing::Test {
protected:
    void SetUp() override {
        gOurs.clear();
        gTerminateCalls.clear();
        gOnFirstTerminate = nullptr;
        gCriticalId = 0;
        gPurgeClasses.clear();
        Job = CreateKillJob();
    }
    void TearDown() override { gOurs.clear(); }

    // Ends only the test's own processes, reports gCriticalId as critical and
    // records the purge instead of making it.
    static TPlatform TestPlatform() {
        TPlatform platform = RealPlatform();
        platform.Terminate = OnlyOursTerminate;
        platform.QueryInformationProcess = ReportCritical;
        platform.SetSystemInformation = RecordPurge;
        return platform;
    }

    // A sleeper copied to Folder\Name, started and known to the seams.
    TChild& Start(const std::wstring& Folder, const std::wstring& Name, const std::wstring& Arguments = L"") {
        const std::wstring path = Folder + L"\\" + Name;
        CopyFileW(BinaryPath(L"helpers/sleeper.exe").c_str(), path.c_str(), FALSE);
        Children.push_back(std::make_unique<TChild>(path, Arguments, Job.get()));
        TChild& child = *Children.back();
        EXPECT_NE(child.Id(), 0u) << path;
        gOurs[child.Id()] = &child;
        return child;
    }

    // Runs a whole cleaning run the way the window will: the click's part here
    // on the UI thread, which then serves the hand-over of the final step.
    std::shared_ptr<TCleanRun> Run(TStringList& FileWhite) {
        auto run = std::make_shared<TCleanRun>();
        UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        HANDLE finishedEvent = finished.get();
        run->Platform = TestPlatform();
        run->Platform.Pause = [this, run = run.get()](DWORD Ms) {
            Pauses.push_back(Ms);
            // Terminations are not instant: let the ended children go before the pass looks.
            for (const TTerminateRecord& call : gTerminateCalls)
                if (call.Ours) gOurs[call.Id]->Ended(5000);
            std::map<DWORD, TProcessState> states;
            for (const TProcessInfo& info : run->ProcessList) states[info.ProcessID] = info.State;
            StatesAtPause.push_back(states);
        };
        run->Finish = [this, finishedEvent](TCleanRun&) {
            FinishedOnMainThread = IsMainThread();
            SetEvent(finishedEvent);
        };
        EXPECT_TRUE(StartClean(run, FileWhite));
        AfterStart();
        EXPECT_EQ(WaitServing(finishedEvent, 60000), WAIT_OBJECT_0);
        return run;
    }

    static TProcessState StateOf(const TCleanRun& Run, DWORD Id) {
        TProcessState state{};
        int count = 0;
        for (const TProcessInfo& info : Run.ProcessList)
            if (info.ProcessID == Id) {
                state = info.State;
                ++count;
            }
        EXPECT_EQ(count, 1) << Id;
        return state;
    }

    static std::wstring NameOf(const TCleanRun& Run, DWORD Id) {
        for (const TProcessInfo& info : Run.ProcessList)
            if (info.ProcessID == Id) return info.FileName;
        return {};
    }

    bool TerminateCalledFor(DWORD Id) const {
        for (const TTerminateRecord& call : gTerminateCalls)
            if (call.Id == Id) return true;
        return false;
    }

    // Protects every process of the prefix that a test did not start here:
    // Wine's own, test programs and helpers of other tests running alongside
    // (in "tidora_" folders, or named so when their path cannot be read).
    static TStringList EverythingElse() {
        return {L"%SystemRoot%\\", BinaryPath(L"tests") + L"\\", BinaryPath(L"helpers") + L"\\", L"tidora_"};
    }

    std::function<void()> AfterStart = [] {};
    std::vector<DWORD> Pauses;
    std::vector<std::map<DWORD, TProcessState>> StatesAtPause;
    bool FinishedOnMainThread = false;
    UniqueHandle Job;
    // A new folder for the test's processes, outside the "tidora_" folders
    // that EverythingElse protects; it outlives the processes.
    const std::wstring& NewDir(const std::wstring& Parent) {
        Dirs.push_back(std::make_unique<TTempDir>(Parent, L"victims"));
        return Dirs.back()->Path();
    }
    std::vector<std::unique_ptr<TTempDir>> Dirs;  // destroyed after the children
    std::vector<std::unique_ptr<TChild>> Children;
};

TEST_F(CleanRunTest, ProtectedProcessesSurviveAndTheRestEnds) {
    const std::wstring dir = NewDir(TempFolder());
    const std::wstring programData = NewDir(GetFolderPath(35));
    const std::wstring byName = UniqueName(L"KeepByName") + L".exe";
    const std::wstring byFile = UniqueName(L"KeepByFile") + L".exe";
    TChild& keptByName = Start(dir, byName);
    TChild& keptByFile = Start(dir, byFile);
    TChild& keptByPath = Start(programData, L"keep.exe");
    TChild& critical = Start(dir, L"critical.exe");
    TChild& victim1 = Start(dir, L"victim1.exe");
    TChild& victim2 = Start(dir, L"victim2.exe");
    gCriticalId = critical.Id();

    // Both user files: the lines beside the exe must come first.
    TScopedFile besideExe(NoCleanFiles()[0], "\xEF\xBB\xBF// beside the exe\r\n");
    TScopedFile roaming(NoCleanFiles()[1], "\r\n   " + WideToUtf8(byFile) + "   \r\n");

    TStringList fileWhite;
    LoadResourceList(fileWhite, L"file_white");
    const size_t shipped = fileWhite.size();
    ASSERT_GT(shipped, 200u);
    fileWhite.push_back(byName + L"*");
    const std::wstring folder = programData.substr(programData.find_last_of(L'\\'));
    fileWhite.push_back(L"%ProgramData%" + folder + L"\\keep.exe");

    auto run = Run(fileWhite);

    // The user's lines are appended unchanged, exe folder first; the run works on that list.
    const TStringList tail(fileWhite.begin() + shipped + 2, fileWhite.end());
    EXPECT_EQ(tail, (TStringList{L"// beside the exe", L"", L"   " + byFile + L"   "}));
    EXPECT_EQ(run->FileWhite, fileWhite);

    EXPECT_EQ(StateOf(*run, keptByName.Id()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, keptByFile.Id()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, keptByPath.Id()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, critical.Id()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, GetCurrentProcessId()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, victim1.Id()), TProcessState::Terminated);
    EXPECT_EQ(StateOf(*run, victim2.Id()), TProcessState::Terminated);
    for (TChild* kept : {&keptByName, &keptByFile, &keptByPath, &critical}) {
        EXPECT_FALSE(kept->Ended());
        EXPECT_FALSE(TerminateCalledFor(kept->Id()));
    }
    EXPECT_FALSE(TerminateCalledFor(GetCurrentProcessId()));
    EXPECT_EQ(victim1.ExitCode(), 0u);
    EXPECT_EQ(victim2.ExitCode(), 0u);

    EXPECT_EQ(Pauses, (std::vector<DWORD>(4, 1000)));
    EXPECT_EQ(gPurgeClasses, (std::vector<ULONG>{21, 80, 80, 80, 130}));
    EXPECT_TRUE(FinishedOnMainThread);
    EXPECT_EQ(run->Key, L"");
    EXPECT_GT(run->OldAvailMemory, 0);
}

TEST_F(CleanRunTest, OwnProcessNeverMarkedWithEmptyList) {
    const std::wstring dir = NewDir(TempFolder());
    TChild& victim = Start(dir, L"victim.exe");
    TStringList fileWhite;
    auto run = Run(fileWhite);

    EXPECT_EQ(StateOf(*run, GetCurrentProcessId()), TProcessState::Collected);
    EXPECT_EQ(StateOf(*run, victim.Id()), TProcessState::Terminated);
    EXPECT_FALSE(TerminateCalledFor(GetCurrentProcessId()));
    // Nothing protects the rest of the prefix; it refused (the seam) and stays -2.
    for (const TProcessInfo& info : run->ProcessList)
        if (info.ProcessID != GetCurrentProcessId() && info.ProcessID != victim.Id()) {
            EXPECT_NE(info.State, TProcessState::Collected) << info.FileName;
        }
}

TEST_F(CleanRunTest, RefusingAndVanishingProcesses) {
    const std::wstring dir = NewDir(TempFolder());
    TChild& refusing = Start(dir, L"refusing.exe", L"--refuse");
    TChild& first = Start(dir, L"vanish1.exe");
    TChild& second = Start(dir, L"vanish2.exe");
    // The first of the two to be ended makes the other end by itself, so that
    // one is gone before its own turn in the kill pass.
    DWORD vanished = 0;
    gOnFirstTerminate = [&](DWORD Id) {
        TChild& other = Id == first.Id() ? second : first;
        vanished = other.Id();
        other.Quit();
    };
    TStringList fileWhite = EverythingElse();
    auto run = Run(fileWhite);

    ASSERT_NE(vanished, 0u);
    EXPECT_EQ(gOurs[vanished]->ExitCode(), 7u);  // it ended itself
    ASSERT_EQ(StatesAtPause.size(), 4u);
    for (DWORD id : {first.Id(), second.Id()}) {
        EXPECT_EQ(StatesAtPause[0].at(id), TProcessState::TerminationRequested);
        EXPECT_EQ(StateOf(*run, id), TProcessState::Terminated);
    }
    for (const auto& states : StatesAtPause) EXPECT_EQ(states.at(refusing.Id()), TProcessState::TerminationRequested);
    EXPECT_EQ(StateOf(*run, refusing.Id()), TProcessState::TerminationRequested);
    EXPECT_FALSE(refusing.Ended());
    for (const TTerminateRecord& call : gTerminateCalls) EXPECT_TRUE(call.Ours) << call.Id;
}

TEST_F(CleanRunTest, WorkerKeepsItsListAndPausesFourTimesWhenAllAreGone) {
    const std::wstring dir = NewDir(TempFolder());
    TChild& victim = Start(dir, L"late.exe");
    TStringList fileWhite = EverythingElse();
    // A service merge arriving after the click must not reach this run.
    AfterStart = [&] { fileWhite.push_back(L"late.exe*"); };
    auto run = Run(fileWhite);

    EXPECT_EQ(run->FileWhite, EverythingElse());
    EXPECT_EQ(StateOf(*run, victim.Id()), TProcessState::Terminated);
    EXPECT_EQ(Pauses, (std::vector<DWORD>(4, 1000)));
    ASSERT_EQ(StatesAtPause.size(), 4u);
    // After the first pass nothing waits any more, and still three pauses follow.
    for (size_t pass = 1; pass < 4; ++pass)
        for (const auto& [id, state] : StatesAtPause[pass]) EXPECT_NE(state, TProcessState::TerminationRequested) << NameOf(*run, id);
}

TEST_F(CleanRunTest, ReportHookGivesTheKey) {
    TStringList fileWhite = EverythingElse();
    auto run = std::make_shared<TCleanRun>();
    std::wstring key;
    UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE finishedEvent = finished.get();
    run->Platform = TestPlatform();
    run->Platform.Pause = [](DWORD) {};
    run->Report = [](TCleanRun& Run) { return L"id" + std::to_wstring(Run.ProcessList.size()); };
    run->Finish = [&key, finishedEvent](TCleanRun& Run) {
        key = Run.Key;
        SetEvent(finishedEvent);
    };
    ASSERT_TRUE(StartClean(run, fileWhite));
    ASSERT_EQ(WaitServing(finishedEvent, 60000), WAIT_OBJECT_0);
    EXPECT_EQ(key, L"id" + std::to_wstring(run->ProcessList.size()));
}

} // namespace
