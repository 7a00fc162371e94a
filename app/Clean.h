#pragma once
// The one-click cleaning run: the click's part on the user-interface thread,
// the worker that ends unprotected processes and purges memory, and the final
// step handed back to the user-interface thread. The main window drives it and
// fills the hooks; the engine itself touches no window.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "lib/Common.h"
#include "system/Process.h"

namespace tidora {

// Run context, shared by the click, the worker and the final step; freed when
// the last of them lets go.
class TCleanRun {
public:
    HWND MainWindow = nullptr;
    // Available physical memory in bytes at the click.
    int64_t OldAvailMemory = 0;
    // The worker's own copy of FileWhite, taken at the click after the user's
    // files were appended, so a service merge during the run cannot reach it.
    TStringList FileWhite;
    // Every process of the run with its final State. The worker alone fills it;
    // the final step may hand it on to the window.
    TProcessList ProcessList;
    // Report id of the usage report; empty when none came back.
    std::wstring Key;

    // Builds and sends the usage report, returns its id. Unset: no report,
    // empty Key.
    std::function<std::wstring(TCleanRun&)> Report;
    // The final step, run on the user-interface thread while the worker waits.
    std::function<void(TCleanRun&)> Finish;
    // What the worker ends processes, purges memory and pauses before each
    // watch pass with; tests replace what they must not or cannot do.
    TPlatform Platform = RealPlatform();
};

constexpr int kWatchPasses = 4;
constexpr DWORD kWatchPauseMs = 1000;
constexpr uint8_t kCleanPurgeFlags = 126;

// The user's protection files in reading order: "NoClean.txt" beside the
// executable, then "\Tidora\NoClean.txt" under the roaming application data.
TStringList NoCleanFiles();

// Appends every line of a protection file unchanged (blank and "//" lines
// too). The encoding comes from a byte-order mark (UTF-8, UTF-16 LE or BE),
// else the system's ANSI code page. False, with nothing appended, when the
// file does not exist or cannot be read.
bool ReadNoCleanFile(const std::wstring& Path, TStringList& List);

// The click's part after the window went busy (user-interface thread):
// measures the available memory, appends the user's files to FileWhite, takes
// the run's copy of it and starts the worker, which frees itself. False when
// no thread could be started.
bool StartClean(const std::shared_ptr<TCleanRun>& Run, TStringList& FileWhite);

// The worker's steps: collect, mark, kill, four watch passes, purge, report,
// final step. An error escaping the report ends it before the final step.
void CleanWorker(TCleanRun& Run);

} // namespace tidora
