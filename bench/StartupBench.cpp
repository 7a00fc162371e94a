// From process start to the main window shown, painted and waiting for input:
// tidora.exe against the smallest painted Win32 window built the same way.
// Needs a display. Prints medians and their ratio.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "system/Handles.h"
#include "system/Strings.h"

using namespace tidora;

namespace {

std::wstring BuildPath(const std::wstring& Relative) {
    std::wstring path = L"Z:" + Utf8ToWide(TIDORA_BINARY_DIR) + L"/" + Relative;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// Milliseconds until the window of Class is visible and its process idle; -1 on failure.
double TimeToWindow(const std::wstring& Exe, const wchar_t* Class) {
    std::wstring command = L"\"" + Exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    HWND window = nullptr;
    for (int i = 0; i < 20000 && !window; ++i) {
        HWND found = FindWindowW(Class, nullptr);
        if (found && IsWindowVisible(found)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == pi.dwProcessId) window = found;
        }
        if (!window) Sleep(1);
    }
    if (window) {
        WaitForInputIdle(process.get(), 10000);
        // A painted window has no update region left.
        for (int i = 0; i < 2000 && GetUpdateRect(window, nullptr, FALSE); ++i) Sleep(1);
    }
    QueryPerformanceCounter(&t1);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    return window ? (t1.QuadPart - t0.QuadPart) * 1000.0 / f.QuadPart : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int wmain() {
    const std::wstring tidora = BuildPath(L"tidora.exe"), plain = BuildPath(L"helpers/plainwindow.exe");
    std::vector<double> ours, bare;
    for (int round = 0; round < 15; ++round) {
        bare.push_back(TimeToWindow(plain, L"TidoraPlainWindow"));
        ours.push_back(TimeToWindow(tidora, L"TFrmTidora"));
    }
    const double o = Median(ours), b = Median(bare);
    std::printf("plain window: process start to painted window %8.1f ms (median of 15)\n", b);
    std::printf("tidora.exe:   process start to painted window %8.1f ms (median of 15)\n", o);
    std::printf("ratio %.2fx (target: at most 2.00x)\n", b > 0 ? o / b : -1.0);
    return 0;
}
