// A process that owns top-level windows, for tests of window lookup.
//
//   windowholder.exe [--windows N] [--owned M] [--owner HWND] [--ready EVENT] [--quit EVENT]
//                    [--seconds S]
//
// Creates N plain parentless top-level windows, then M popup windows owned by
// another window: by the HWND given with --owner (any process's; decimal), or
// else by the first of its own plain windows. All stay hidden. Signals the
// named ready event when all exist, then serves messages until it is killed,
// the quit event is signalled (exit code 7) or S seconds (default 120) pass.
#include <windows.h>

#include <string>

namespace {

LRESULT CALLBACK HolderProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(window, message, wp, lp);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    unsigned plain = 1, owned = 0;
    HWND owner = nullptr;
    std::wstring ready, quit;
    DWORD seconds = 120;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--windows") plain = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--owned") owned = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--owner") owner = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoul(argv[++i], nullptr, 10)));
        else if (arg == L"--ready") ready = argv[++i];
        else if (arg == L"--quit") quit = argv[++i];
        else if (arg == L"--seconds") seconds = wcstoul(argv[++i], nullptr, 10);
    }

    // Without this every GUI thread gets a parentless "IME" window of its own,
    // and a holder of owned windows only could not exist.
    if (HMODULE imm = LoadLibraryExW(L"imm32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        using TImmDisableIME = BOOL(WINAPI*)(DWORD);
        if (auto disable = reinterpret_cast<TImmDisableIME>(GetProcAddress(imm, "ImmDisableIME")))
            disable(static_cast<DWORD>(-1));
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = HolderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TidoraWindowHolder";
    if (!RegisterClassExW(&wc)) return 2;

    HWND firstPlain = nullptr;
    for (unsigned i = 0; i < plain; ++i) {
        HWND window = CreateWindowExW(0, wc.lpszClassName, L"holder", WS_OVERLAPPED, 0, 0, 50, 50, nullptr,
                                      nullptr, wc.hInstance, nullptr);
        if (!window) return 3;
        if (!firstPlain) firstPlain = window;
    }
    if (!owner) owner = firstPlain;
    // GetParent reports the owner only for WS_POPUP windows.
    for (unsigned i = 0; i < owned; ++i)
        if (!CreateWindowExW(0, wc.lpszClassName, L"owned", WS_POPUP, 0, 0, 50, 50, owner, nullptr, wc.hInstance,
                             nullptr))
            return 4;

    if (!ready.empty()) {
        HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str());
        if (readyEvent) {
            SetEvent(readyEvent);
            CloseHandle(readyEvent);
        }
    }
    HANDLE quitEvent = quit.empty() ? nullptr : OpenEventW(SYNCHRONIZE, FALSE, quit.c_str());
    const ULONGLONG end = GetTickCount64() + seconds * 1000ull;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return 8;
        const DWORD r = MsgWaitForMultipleObjects(quitEvent ? 1 : 0, &quitEvent, FALSE,
                                                  static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (quitEvent && r == WAIT_OBJECT_0) return 7;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}
