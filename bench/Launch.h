#pragma once
// Files of the build tree, and starting a program of it and waiting until its
// window is shown, painted and waiting for input: what the window benchmarks
// measure against.
#include <windows.h>

#include <string>

#include "system/Handles.h"
#include "system/Strings.h"

namespace tidora::bench {

// A file of the build tree, as Wine sees it.
inline std::wstring BuildPath(const std::wstring& Relative) {
    std::wstring path = L"Z:" + Utf8ToWide(TIDORA_BINARY_DIR) + L"/" + Relative;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// A file of the tests' fixtures, beside the benchmark's own folder.
inline std::wstring FixturePath(const std::wstring& Name) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.find_last_of(L'\\'));
    return folder + L"\\..\\fixtures\\" + Name;
}

struct TLaunched {
    UniqueHandle Process;
    DWORD ProcessID = 0;
    HWND Window = nullptr;  // null when none came up
};

// Starts Exe and returns once its visible top-level window of Class has no
// update region left and the process waits for input.
inline TLaunched LaunchUntilPainted(const std::wstring& Exe, const wchar_t* Class) {
    TLaunched launched;
    std::wstring command = L"\"" + Exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return launched;
    launched.Process.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    launched.ProcessID = pi.dwProcessId;
    for (int i = 0; i < 20000 && !launched.Window; ++i) {
        HWND found = FindWindowW(Class, nullptr);
        if (found && IsWindowVisible(found)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == pi.dwProcessId) launched.Window = found;
        }
        if (!launched.Window) Sleep(1);
    }
    if (launched.Window) {
        WaitForInputIdle(launched.Process.get(), 10000);
        for (int i = 0; i < 2000 && GetUpdateRect(launched.Window, nullptr, FALSE); ++i) Sleep(1);
    }
    return launched;
}

// Closes the window and waits for the process to end (ends it after 10 s).
inline void Close(TLaunched& Launched) {
    if (!Launched.Process) return;
    if (Launched.Window) PostMessageW(Launched.Window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(Launched.Process.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(Launched.Process.get(), 1);
    Launched.Process.reset();
}

} // namespace tidora::bench
