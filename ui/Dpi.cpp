#include "ui/Dpi.h"

#include "system/Handles.h"
#include "system/Library.h"

namespace tidora {
namespace {

HMODULE User32() {
    return GetModuleHandleW(L"user32.dll");
}

template <typename F>
F UserProc(const char* Name) {
    HMODULE user = User32();
    return user ? reinterpret_cast<F>(GetProcAddress(user, Name)) : nullptr;
}

// DPI_AWARENESS_CONTEXT values; the SDK of the toolchain may lack them.
const HANDLE ContextPerMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
const HANDLE ContextPerMonitor = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));

} // namespace

void RequestPerMonitorDpiAwareness() {
    static bool done = false;
    if (done) return;
    done = true;
    using SetProcessContext = BOOL(WINAPI*)(HANDLE);
    using SetThreadContext = HANDLE(WINAPI*)(HANDLE);
    // The manifest asks for the same; where it was honoured these calls fail
    // harmlessly with "access denied".
    if (auto set = UserProc<SetProcessContext>("SetProcessDpiAwarenessContext")) {
        if (set(ContextPerMonitorV2) || set(ContextPerMonitor)) return;
    }
    if (auto set = UserProc<SetThreadContext>("SetThreadDpiAwarenessContext")) {
        if (set(ContextPerMonitorV2) || set(ContextPerMonitor)) return;
    }
    if (HMODULE shcore = LoadSystemLibrary(L"shcore.dll").release()) {
        using SetAwareness = HRESULT(WINAPI*)(int);
        auto set = reinterpret_cast<SetAwareness>(GetProcAddress(shcore, "SetProcessDpiAwareness"));
        const bool ok = set && SUCCEEDED(set(2));
        // shcore stays loaded: the awareness it set lives in the process.
        if (ok) return;
    }
    if (auto set = UserProc<BOOL(WINAPI*)()>("SetProcessDPIAware")) set();
}

UINT SystemDpi() {
    if (auto get = UserProc<UINT(WINAPI*)()>("GetDpiForSystem")) {
        if (UINT dpi = get()) return dpi;
    }
    const UniqueWindowDC screen(nullptr);
    if (!screen) return 96;
    const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND Window) {
    if (Window) {
        if (auto get = UserProc<UINT(WINAPI*)(HWND)>("GetDpiForWindow")) {
            if (UINT dpi = get(Window)) return dpi;
        }
    }
    return SystemDpi();
}

RECT WindowRectForClient(const RECT& Client, DWORD Style, DWORD ExStyle, UINT Dpi) {
    RECT r = Client;
    using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    if (auto adjust = UserProc<AdjustForDpi>("AdjustWindowRectExForDpi")) {
        if (adjust(&r, Style, FALSE, ExStyle, Dpi)) return r;
        r = Client;
    }
    AdjustWindowRectEx(&r, Style, FALSE, ExStyle);
    return r;
}

bool DesktopFontForDpi(LOGFONTW& Font, UINT Dpi) {
    using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    if (auto get = UserProc<ParametersForDpi>("SystemParametersInfoForDpi")) {
        if (get(SPI_GETICONTITLELOGFONT, sizeof(Font), &Font, 0, Dpi)) return true;
    }
    if (!SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(Font), &Font, 0)) return false;
    // That answer is at the system dpi.
    Font.lfHeight = MulDiv(Font.lfHeight, static_cast<int>(Dpi), static_cast<int>(SystemDpi()));
    return true;
}

} // namespace tidora
