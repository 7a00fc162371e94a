// Private bytes of tidora.exe after its main window has painted, and after
// the Startup page has been opened on a machine with 2,000 more Run values
// (bench/RunValues.h), beside the smallest painted Win32 window built the same
// way. Private bytes are the process's commit charge as Windows counts it
// (PROCESS_MEMORY_COUNTERS_EX.PrivateUsage, the same figure as PagefileUsage).
// Wine 8 leaves PrivateUsage at 0 and answers PagefileUsage with the
// anonymous memory its Linux process holds (RssAnon plus swap): Wine's own
// share is in the minimal window's figure too. What the Windows side of each
// process has committed is broken down from its address space: private
// allocations, and the images' writable pages by module. Needs a display and
// <build>/fixtures/VersionedApp.exe.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "bench/Launch.h"
#include "bench/RunValues.h"

using namespace tidora;
using namespace tidora::bench;

namespace {

constexpr int kEntries = 2000;
constexpr int kPrograms = 100;
constexpr int kRounds = 5;

constexpr double kMiB = 1024.0 * 1024.0;

double PrivateMiB(HANDLE Process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(Process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters)))
        return -1;
    const SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<double>(bytes) / kMiB;
}

// What the Windows side of a process has committed, by kind: private
// allocations (heaps, stacks, the program's own), the writable pages of each
// mapped image (its data and what it may copy on write), and mapped views.
struct TCommitted {
    double PrivateMiB = 0, ImageWritableMiB = 0, MappedMiB = 0;
    std::vector<std::pair<double, const void*>> Largest;  // MiB, allocation base
    std::vector<std::pair<double, std::wstring>> Images;  // writable MiB, module
};

std::wstring ModuleName(HANDLE Process, const void* Base) {
    wchar_t path[MAX_PATH] = {};
    if (!GetMappedFileNameW(Process, const_cast<void*>(Base), path, MAX_PATH)) return L"?";
    const wchar_t* name = wcsrchr(path, L'\\');
    return name ? name + 1 : path;
}

TCommitted Committed(HANDLE Process) {
    TCommitted result;
    std::map<const void*, double> allocations, images;
    MEMORY_BASIC_INFORMATION info{};
    const char* at = nullptr;
    while (VirtualQueryEx(Process, at, &info, sizeof(info)) == sizeof(info)) {
        const double mib = static_cast<double>(info.RegionSize) / kMiB;
        if (info.State == MEM_COMMIT) {
            if (info.Type == MEM_PRIVATE) {
                result.PrivateMiB += mib;
                allocations[info.AllocationBase] += mib;
            } else if (info.Type == MEM_IMAGE &&
                       (info.Protect & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                                        PAGE_EXECUTE_WRITECOPY))) {
                result.ImageWritableMiB += mib;
                images[info.AllocationBase] += mib;
            } else if (info.Type == MEM_MAPPED) {
                result.MappedMiB += mib;
            }
        }
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    for (const auto& [base, mib] : allocations) result.Largest.push_back({mib, base});
    std::sort(result.Largest.rbegin(), result.Largest.rend());
    if (result.Largest.size() > 6) result.Largest.resize(6);
    for (const auto& [base, mib] : images) result.Images.push_back({mib, ModuleName(Process, base)});
    std::sort(result.Images.rbegin(), result.Images.rend());
    return result;
}

void PrintCommitted(const char* Who, const TCommitted& C) {
    std::printf("  %-34s committed private %6.1f MiB, images' writable pages %5.1f MiB, mapped %5.1f MiB\n", Who,
                C.PrivateMiB, C.ImageWritableMiB, C.MappedMiB);
    std::printf("  %-34s largest private allocations:", "");
    for (const auto& [mib, base] : C.Largest) std::printf(" %.2f", mib);
    std::printf(" MiB\n  %-34s writable pages by image:", "");
    size_t shown = 0;
    for (const auto& [mib, name] : C.Images) {
        if (mib < 0.1 || ++shown > 8) break;
        std::printf(" %ls %.1f,", name.c_str(), mib);
    }
    std::printf(" MiB\n");
}

struct TFind {
    const wchar_t* ClassName;
    const std::vector<std::wstring>* Texts;
    HWND Found = nullptr;
};

BOOL CALLBACK FindChild(HWND Window, LPARAM Param) {
    auto* find = reinterpret_cast<TFind*>(Param);
    wchar_t text[256] = {}, name[64] = {};
    if (find->ClassName) {
        GetClassNameW(Window, name, 64);
        if (_wcsicmp(name, find->ClassName) == 0 && IsWindowVisible(Window)) find->Found = Window;
    } else {
        GetWindowTextW(Window, text, 256);
        for (const std::wstring& wanted : *find->Texts)
            if (wanted == text) find->Found = Window;
    }
    return find->Found ? FALSE : TRUE;
}

HWND Child(HWND Parent, const wchar_t* ClassName, const std::vector<std::wstring>& Texts = {}) {
    TFind find{ClassName, &Texts};
    EnumChildWindows(Parent, FindChild, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

void PrintRow(const char* What, const std::vector<double>& V) {
    std::printf("  %-44s %7.1f MiB  (median of %u; %.1f to %.1f)\n", What, Median(V), static_cast<unsigned>(V.size()),
                V.empty() ? -1 : *std::min_element(V.begin(), V.end()),
                V.empty() ? -1 : *std::max_element(V.begin(), V.end()));
}

} // namespace

int wmain() {
    InitializeUnits();
    TRunValues values(kEntries, kPrograms);
    std::string error;
    if (!values.Fill(error)) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    const std::wstring tidora = BuildPath(L"tidora.exe"), plain = BuildPath(L"helpers/plainwindow.exe");
    std::vector<double> bare, painted, opened, settled;
    TCommitted bareSides, paintedSides, settledSides;
    int rows = 0;
    for (int round = 0; round < kRounds; ++round) {
        TLaunched p = LaunchUntilPainted(plain, L"TidoraPlainWindow");
        if (p.Window) {
            bare.push_back(PrivateMiB(p.Process.get()));
            bareSides = Committed(p.Process.get());
        }
        Close(p);

        TLaunched t = LaunchUntilPainted(tidora, L"TFrmTidora");
        if (!t.Window) {
            Close(t);
            continue;
        }
        // What the window starts once it has painted (the service conversation,
        // the pages' libraries) counts too: it follows within milliseconds.
        Sleep(500);
        DWORD_PTR settledAnswer = 0;
        SendMessageTimeoutW(t.Window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &settledAnswer);
        painted.push_back(PrivateMiB(t.Process.get()));
        paintedSides = Committed(t.Process.get());
        // The header button of the Startup card, in whatever language the
        // program chose.
        const HWND button = Child(t.Window, nullptr, {L"Startup", L"\uC790\uB3D9\uC2E4\uD589"});
        if (button) PostMessageW(button, BM_CLICK, 0, 0);
        HWND list = nullptr;
        for (int i = 0; i < 60000 && button; i += 10) {
            list = list ? list : Child(t.Window, L"SysListView32");
            if (list && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0) break;
            Sleep(10);
        }
        // The load has ended when the window answers again.
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(t.Window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
        if (list) {
            rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            opened.push_back(PrivateMiB(t.Process.get()));
            // The rows out of view have their names and icons read in idle time.
            Sleep(3000);
            SendMessageTimeoutW(t.Window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer);
            settled.push_back(PrivateMiB(t.Process.get()));
            settledSides = Committed(t.Process.get());
        }
        Close(t);
    }
    values.Remove();

    std::printf("MemoryBench: private bytes (%d rounds, interleaved)\n", kRounds);
    PrintRow("minimal window, painted", bare);
    PrintRow("tidora.exe, main window painted", painted);
    PrintRow("tidora.exe, Startup page opened", opened);
    PrintRow("tidora.exe, 3 s later (every row read)", settled);
    const double b = Median(bare);
    if (b > 0)
        std::printf("  ratios to the minimal window: painted %.2fx, page opened %.2fx, every row read %.2fx\n",
                    Median(painted) / b, Median(opened) / b, Median(settled) / b);
    std::printf("  the Startup page showed %d rows (%d more Run values on the machine)\n", rows, kEntries);
    std::printf("Windows side of the last round's processes:\n");
    PrintCommitted("minimal window", bareSides);
    PrintCommitted("tidora.exe, main window painted", paintedSides);
    PrintCommitted("tidora.exe, every row read", settledSides);
    return 0;
}
