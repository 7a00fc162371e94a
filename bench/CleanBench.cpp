// Figures for the cleaning run's hot spots, printed with their ratios:
//  1. process collection: ours (one window pass) against the per-process
//     window walk and against the floor (one snapshot, one window pass, the
//     path queries, nothing else), with 150 processes and 2,000 windows;
//  2. a watch pass: one snapshot for all waiting processes against one per process;
//  3. 300 paths against the shipped FILE_WHITE: MatchList against TPreparedList.
// Starts its own helper processes in a job and ends them at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <unordered_map>
#include <vector>

#include "app/Startup.h"
#include "bench/Launch.h"
#include "lib/Common.h"
#include "system/Path.h"
#include "system/Process.h"
#include "system/Strings.h"
#include "tests/Children.h"

using namespace tidora;
using namespace tidora::test;
using tidora::bench::BuildPath;

namespace {

constexpr size_t kProcesses = 150;
constexpr unsigned kHolders = 20;
constexpr unsigned kWindowsPerHolder = 100;
constexpr size_t kPaths = 300;

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

// Median time in milliseconds of Runs calls.
double Measure(int Runs, const std::function<void()>& Work) {
    std::vector<double> times;
    for (int i = 0; i < Runs; ++i) {
        const double start = Now();
        Work();
        times.push_back((Now() - start) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Median times of two pieces of work measured in alternation, so that load
// from elsewhere on the machine falls on both alike.
std::pair<double, double> MeasurePair(int Runs, const std::function<void()>& First,
                                      const std::function<void()>& Second) {
    std::vector<double> first, second;
    for (int i = 0; i < Runs; ++i) {
        first.push_back(Measure(1, First));
        second.push_back(Measure(1, Second));
    }
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    return {first[first.size() / 2], second[second.size() / 2]};
}

std::vector<DWORD> SnapshotIds() {
    std::vector<DWORD> ids;
    WalkProcesses([&](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID) ids.push_back(entry.th32ProcessID);
        return true;
    });
    return ids;
}

size_t TopLevelWindows() {
    size_t count = 0;
    for (HWND w = FindWindowW(nullptr, nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) ++count;
    return count;
}

// The lower bound of a collection: what any collection must ask.
size_t Floor() {
    size_t work = 0;
    const std::vector<DWORD> ids = SnapshotIds();
    for (HWND w = FindWindowW(nullptr, nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD owner = 0;
        work += GetWindowThreadProcessId(w, &owner) != 0;
    }
    for (DWORD id : ids) work += GetProcessFileName(id).size();
    return work;
}

// The straightforward collection: the whole window list walked once per process.
TProcessList PerProcessWalk() {
    TProcessList list;
    for (DWORD id : SnapshotIds()) {
        TProcessInfo info;
        info.ProcessID = id;
        info.Handle = FindProcessWindow(id);
        info.FileName = GetProcessFileName(id);
        list.push_back(std::move(info));
    }
    return list;
}

std::vector<std::wstring> SamplePaths(const TProcessList& Running) {
    const std::wstring win = GetFolderPath(36);
    const wchar_t* systemNames[] = {L"svchost.exe", L"csrss.exe", L"sihost.exe", L"notepad.exe", L"dllhost.exe",
                                    L"RuntimeBroker.exe", L"conhost.exe", L"taskhostw.exe"};
    std::vector<std::wstring> paths;
    for (const TProcessInfo& info : Running) paths.push_back(info.FileName);
    for (size_t i = 0; paths.size() < kPaths; ++i) {
        switch (i % 4) {
        case 0: paths.push_back(win + L"\\System32\\" + systemNames[i % 8]); break;
        case 1: paths.push_back(L"C:\\Program Files\\Vendor" + std::to_wstring(i) + L"\\App.exe"); break;
        case 2: paths.push_back(L"C:\\Program Files (x86)\\Tool" + std::to_wstring(i) + L"\\tool.exe"); break;
        default: paths.push_back(L"C:\\Users\\me\\AppData\\Local\\Temp\\setup" + std::to_wstring(i) + L".exe");
        }
    }
    paths.resize(kPaths);
    return paths;
}

} // namespace

int wmain() {
    InitializeUnits();
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
        std::printf("CleanBench needs a display (DISPLAY) for its windows\n");
        return 1;
    }
    UniqueHandle job = CreateKillJob();
    std::vector<std::unique_ptr<TChild>> children;
    const double setupStart = Now();
    for (unsigned i = 0; i < kHolders; ++i)
        children.push_back(std::make_unique<TChild>(
            BuildPath(L"helpers/windowholder.exe"),
            L"--windows " + std::to_wstring(kWindowsPerHolder) + L" --seconds 900", job.get()));
    const size_t already = SnapshotIds().size();
    for (size_t i = already; i < kProcesses; ++i)
        children.push_back(std::make_unique<TChild>(BuildPath(L"helpers/sleeper.exe"), L"--seconds 900", job.get()));
    for (const auto& child : children)
        if (!child->Id()) {
            std::printf("a helper did not start\n");
            return 1;
        }
    const size_t processes = SnapshotIds().size();
    const size_t windows = TopLevelWindows();
    std::printf("setup: %zu processes, %zu top-level windows (%.0f ms)\n\n", processes, windows,
                (Now() - setupStart) * 1000.0);

    // 1. Collection.
    TProcessList ours;
    const auto [oursMs, floorMs] = MeasurePair(
        15,
        [&] {
            ours.clear();
            CollectProcesses(ours);
        },
        [] { Floor(); });
    // The parts, to see where the time goes.
    const double snapshotMs = Measure(7, [] { SnapshotIds(); });
    const double idPassMs = Measure(7, [] {
        for (HWND w = FindWindowW(nullptr, nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
        }
    });
    const double firstPassMs = Measure(7, [] { FirstProcessWindows(); });
    const std::vector<DWORD> ids = SnapshotIds();
    const double pathsMs = Measure(7, [&] {
        for (DWORD id : ids) GetProcessFileName(id);
    });
    TProcessList walked;
    const double walkMs = Measure(1, [&] { walked = PerProcessWalk(); });
    std::unordered_map<DWORD, HWND> walkedWindows;
    for (const TProcessInfo& info : walked) walkedWindows[info.ProcessID] = info.Handle;
    size_t same = 0, compared = 0;
    for (const TProcessInfo& info : ours) {
        auto found = walkedWindows.find(info.ProcessID);
        if (found == walkedWindows.end()) continue;
        ++compared;
        same += found->second == info.Handle;
    }
    std::printf("CollectProcesses (%zu processes, %zu windows)\n", processes, windows);
    std::printf("  ours (one window pass)    %9.2f ms\n", oursMs);
    std::printf("  per-process window walk   %9.2f ms   ours is %.1fx faster\n", walkMs, walkMs / oursMs);
    std::printf("  floor                     %9.2f ms   ours / floor = %.2f (target <= 1.3)\n", floorMs,
                oursMs / floorMs);
    std::printf("  same window as the walk   %zu of %zu processes\n", same, compared);
    std::printf("  parts: snapshot %.2f ms, bare window pass %.2f ms, our window pass %.2f ms, path queries %.2f ms\n\n",
                snapshotMs, idPassMs, firstPassMs, pathsMs);

    // 2. Watch pass over every helper still waiting.
    std::vector<DWORD> waiting;
    for (const auto& child : children) waiting.push_back(child->Id());
    size_t running = 0;
    const double perProcessMs = Measure(5, [&] {
        running = 0;
        for (DWORD id : waiting) running += IsProcessRunning(id);
    });
    size_t runningOnce = 0;
    const double oneSnapshotMs = Measure(5, [&] {
        const std::vector<DWORD> ids = RunningProcessIds();
        runningOnce = 0;
        for (DWORD id : waiting) runningOnce += ContainsProcessId(ids, id);
    });
    std::printf("Watch pass (%zu waiting processes)\n", waiting.size());
    std::printf("  snapshot per process      %9.2f ms (%zu running)\n", perProcessMs, running);
    std::printf("  one snapshot              %9.2f ms (%zu running)   %.1fx faster\n\n", oneSnapshotMs, runningOnce,
                perProcessMs / oneSnapshotMs);

    // 3. Matching.
    TStringList white;
    LoadResourceList(white, L"file_white");
    const std::vector<std::wstring> paths = SamplePaths(ours);
    std::vector<char> plainAnswers, preparedAnswers;
    const double plainMs = Measure(5, [&] {
        plainAnswers.clear();
        for (const std::wstring& path : paths) plainAnswers.push_back(MatchList(white, path, true));
    });
    const double preparedMs = Measure(5, [&] {
        const TPreparedList prepared(white, true);
        preparedAnswers.clear();
        for (const std::wstring& path : paths) preparedAnswers.push_back(prepared.Match(path));
    });
    const size_t protectedCount = std::count(plainAnswers.begin(), plainAnswers.end(), 1);
    std::printf("MatchList, %zu paths against FILE_WHITE (%zu entries, %zu paths protected)\n", paths.size(),
                white.size(), protectedCount);
    std::printf("  MatchList                 %9.2f ms\n", plainMs);
    std::printf("  TPreparedList (with prep) %9.2f ms   %.1fx faster (target >= 10)\n", preparedMs,
                plainMs / preparedMs);
    std::printf("  identical answers         %s\n", plainAnswers == preparedAnswers ? "yes" : "NO");

    children.clear();
    return 0;
}
