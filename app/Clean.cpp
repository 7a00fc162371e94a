#include "app/Clean.h"

#include <system_error>
#include <thread>

#include "system/Handles.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"

namespace tidora {
namespace {

constexpr int kCsidlAppData = 26;

std::wstring ExeFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool ReadWholeFile(const std::wstring& Path, std::string& Bytes) {
    UniqueFileHandle file(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    // A protection list is a few lines; anything near 2 GB is not one.
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    Bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!Bytes.empty() && !ReadFile(file.get(), &Bytes[0], static_cast<DWORD>(Bytes.size()), &got, nullptr))
        return false;
    Bytes.resize(got);
    return true;
}

std::wstring Utf16Text(const std::string& Bytes, size_t From, bool BigEndian) {
    std::wstring text;
    text.reserve((Bytes.size() - From) / 2);
    for (size_t i = From; i + 1 < Bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(Bytes[i]);
        const auto second = static_cast<unsigned char>(Bytes[i + 1]);
        text += static_cast<wchar_t>(BigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

std::wstring DecodeByBom(const std::string& Bytes) {
    if (Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return Utf8ToWide(Bytes.substr(3));
    if (Bytes.compare(0, 2, "\xFF\xFE") == 0) return Utf16Text(Bytes, 2, false);
    if (Bytes.compare(0, 2, "\xFE\xFF") == 0) return Utf16Text(Bytes, 2, true);
    return CodePageToWide(Bytes, CP_ACP);
}

void MarkPass(TCleanRun& Run) {
    const DWORD self = GetCurrentProcessId();
    const TPreparedList protectedFiles(Run.FileWhite, true);
    for (TProcessInfo& info : Run.ProcessList) {
        if (info.ProcessID == self || protectedFiles.Match(info.FileName)) continue;
        // Ending a critical process stops Windows: it stays at 1 like a protected one.
        if (IsProcessCritical(info.ProcessID, Run.Platform)) continue;
        info.State = TProcessState::TerminationRequested;
    }
}

void WatchPasses(TCleanRun& Run) {
    for (int pass = 0; pass < kWatchPasses; ++pass) {
        Run.Platform.Pause(kWatchPauseMs);
        bool waiting = false;
        for (const TProcessInfo& info : Run.ProcessList) waiting = waiting || info.State == TProcessState::TerminationRequested;
        if (!waiting) continue;
        // One snapshot answers for every process still waiting.
        const std::vector<DWORD> running = RunningProcessIds();
        for (TProcessInfo& info : Run.ProcessList)
            if (info.State == TProcessState::TerminationRequested && !ContainsProcessId(running, info.ProcessID))
                info.State = TProcessState::Terminated;
    }
}

} // namespace

TStringList NoCleanFiles() {
    TStringList files;
    const std::wstring exeFolder = ExeFolder();
    if (!exeFolder.empty()) files.push_back(exeFolder + L"\\NoClean.txt");
    const std::wstring appData = GetFolderPath(kCsidlAppData);
    if (!appData.empty()) files.push_back(appData + L"\\Tidora\\NoClean.txt");
    return files;
}

bool ReadNoCleanFile(const std::wstring& Path, TStringList& List) {
    std::string bytes;
    if (!ReadWholeFile(Path, bytes)) return false;
    for (std::wstring& line : SplitLines(DecodeByBom(bytes))) List.push_back(std::move(line));
    return true;
}

bool StartClean(const std::shared_ptr<TCleanRun>& Run, TStringList& FileWhite) {
    Run->OldAvailMemory = GetAvailMemory();
    for (const std::wstring& file : NoCleanFiles()) ReadNoCleanFile(file, FileWhite);
    Run->FileWhite = FileWhite;
    try {
        std::thread([Run] {
            try {
                CleanWorker(*Run);
            } catch (...) {
                // The run defines no recovery: the window stays busy until closed.
            }
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CleanWorker(TCleanRun& Run) {
    CollectProcesses(Run.ProcessList);
    MarkPass(Run);
    for (const TProcessInfo& info : Run.ProcessList)
        if (info.State == TProcessState::TerminationRequested) KillProcess(info.ProcessID, Run.Platform);
    WatchPasses(Run);
    try {
        PurgeMemory(kCleanPurgeFlags, Run.Platform);
    } catch (...) {
        // A failed purge must not cost the report.
    }
    Run.Key = Run.Report ? Run.Report(Run) : std::wstring();
    if (Run.Finish) Synchronize([&Run] { Run.Finish(Run); });
}

} // namespace tidora
