#include "system/Platform.h"

#include "system/Handles.h"
#include "system/Library.h"
#include "system/Process.h"

namespace tidora {
namespace {

// ntdll is mapped into every process, so no search path is involved.
template <typename Call>
Call NtdllCall(const char* Name) {
    return reinterpret_cast<Call>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), Name));
}

void TrimEveryProcess() {
    // The idle process, protected processes and those that just ended cannot be opened: passed over.
    WalkProcesses([](const PROCESSENTRY32W& entry) {
        UniqueHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_SET_QUOTA, FALSE, entry.th32ProcessID));
        if (process) SetProcessWorkingSetSize(process.get(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
        return true;
    });
}

void ShellExecuteOpen(const std::wstring& Target) {
    // Looked up on first use, not imported: whatever links the platform (the
    // widgets ask it about high contrast) would otherwise import the shell,
    // and with it, under Wine, DLLs the shell imports, loaded before the
    // program restricts the DLL search. The shell stays loaded.
    using TShellExecute = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
    static const auto call = reinterpret_cast<TShellExecute>(
        GetProcAddress(LoadSystemLibrary(L"shell32.dll").release(), "ShellExecuteW"));
    // The shell's answer is of no use: a failure is neither reported nor retried.
    if (call) call(nullptr, L"open", Target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool SystemHighContrast() {
    HIGHCONTRASTW contrast{};
    contrast.cbSize = sizeof(contrast);
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

HRESULT CreateTaskScheduler(ITaskService** Service) {
    return CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                            IID_ITaskService, reinterpret_cast<void**>(Service));
}

bool DetectWindows10OrLater() {
    // RtlGetVersion tells the real version whatever the manifest declares.
    // Should it ever be missing, the Windows 10 rules are the safe guess: they
    // write a value where the older ones delete the entry.
    using TGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = NtdllCall<TGetVersion>("RtlGetVersion");
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!getVersion || getVersion(&info) != 0) return true;
    return info.dwMajorVersion >= 10;
}

TPlatform MakeRealPlatform() {
    using TQuery = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    using TSet = LONG(NTAPI*)(ULONG, PVOID, ULONG);
    TPlatform p;
    p.Terminate = [](DWORD, HANDLE Process) { return TerminateProcess(Process, 0) != FALSE; };
    if (auto query = NtdllCall<TQuery>("NtQueryInformationProcess")) p.QueryInformationProcess = query;
    if (auto set = NtdllCall<TSet>("NtSetSystemInformation")) p.SetSystemInformation = set;
    p.TrimProcesses = TrimEveryProcess;
    p.ShellOpen = ShellExecuteOpen;
    p.Pause = [](DWORD Milliseconds) { Sleep(Milliseconds); };
    p.HighContrast = SystemHighContrast;
    p.CreateTaskService = CreateTaskScheduler;
    p.Windows10OrLater = [] {
        static const bool detected = DetectWindows10OrLater();
        return detected;
    };
    return p;
}

} // namespace

const TPlatform& RealPlatform() {
    // Never destroyed: detached threads may still read it while the process ends.
    static const TPlatform* platform = new TPlatform(MakeRealPlatform());
    return *platform;
}

} // namespace tidora
