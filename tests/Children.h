#pragma once
// Helper processes that tests and benchmarks start: each runs in a job that
// ends it when the job is closed, so nothing outlives the test that started it.
// Header-only so the benchmark programs can use it without the test harness.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "system/Handles.h"

namespace tidora::test {

// A job whose processes end when it is closed.
inline UniqueHandle CreateKillJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    if (!job) return job;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    return job;
}

// Waits for Handle while dispatching this thread's messages (a helper that
// creates windows owned by ours sends us messages meanwhile).
inline bool WaitPumping(HANDLE Handle, DWORD TimeoutMs) {
    const ULONGLONG end = GetTickCount64() + TimeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        const DWORD r = MsgWaitForMultipleObjects(1, &Handle, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

// The process whose break-on-termination flag ReportCritical reports as set.
inline DWORD gCriticalId = 0;

// A stand-in for NtQueryInformationProcess that knows the break-on-termination
// class only (Wine answers that class with STATUS_INVALID_INFO_CLASS).
inline LONG NTAPI ReportCritical(HANDLE Process, ULONG InfoClass, PVOID Info, ULONG Length, PULONG) {
    if (InfoClass != 29 || Length != sizeof(ULONG)) return static_cast<LONG>(0xC0000003);
    *static_cast<ULONG*>(Info) = GetProcessId(Process) == gCriticalId ? 1 : 0;
    return 0;
}

class TChild {
public:
    // Starts Exe with Arguments plus "--ready <event> --quit <event>" and waits
    // until it reports ready. Job may be null (the child then gets its own).
    TChild(const std::wstring& Exe, const std::wstring& Arguments, HANDLE Job = nullptr) {
        static LONG counter = 0;
        const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) +
                                 L"_" + std::to_wstring(InterlockedIncrement(&counter));
        const std::wstring readyName = L"TidoraReady_" + tag, quitName = L"TidoraQuit_" + tag;
        FReady.reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        FQuit.reset(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
        if (!Job) {
            FOwnJob = CreateKillJob();
            Job = FOwnJob.get();
        }
        std::wstring command = L"\"" + Exe + L"\" " + Arguments + L" --ready " + readyName + L" --quit " + quitName;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(Exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                            &startup, &info))
            return;
        FProcess.reset(info.hProcess);
        UniqueHandle thread(info.hThread);
        FId = info.dwProcessId;
        AssignProcessToJobObject(Job, info.hProcess);
        ResumeThread(thread.get());
        HANDLE waits[2] = {FReady.get(), FProcess.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, 30000) != WAIT_OBJECT_0) FId = 0;
    }
    ~TChild() { Quit(); }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    // Nonzero once the child runs and has reported ready.
    DWORD Id() const { return FId; }
    HANDLE Process() const { return FProcess.get(); }
    bool Ended(DWORD TimeoutMs = 0) const {
        return !FProcess || WaitForSingleObject(FProcess.get(), TimeoutMs) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        if (FProcess) GetExitCodeProcess(FProcess.get(), &code);
        return code;
    }
    // Asks a sleeper to end by itself (exit code 7) and waits for it.
    bool Quit(DWORD TimeoutMs = 10000) {
        if (!FProcess) return true;
        SetEvent(FQuit.get());
        if (Ended(TimeoutMs)) return true;
        TerminateProcess(FProcess.get(), 9);
        return Ended(TimeoutMs);
    }

private:
    UniqueHandle FReady, FQuit, FOwnJob, FProcess;
    DWORD FId = 0;
};

} // namespace tidora::test
