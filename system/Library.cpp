#include "system/Library.h"

#include <delayimp.h>

#include <string>

namespace tidora {
namespace {

// The delay-load helper asks before it loads a DLL by its bare name, which
// would search the program's folder first. A module returned here is used
// instead; null lets the helper go on, with the search left to
// SetDefaultDllDirectories where Windows has it.
FARPROC WINAPI DelayLoadNotify(unsigned Notify, PDelayLoadInfo Info) {
    if (Notify != dliNotePreLoadLibrary || !Info || !Info->szDll) return nullptr;
    // DLL names in import tables are ASCII.
    std::wstring name;
    for (const char* c = Info->szDll; *c; ++c) name += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return reinterpret_cast<FARPROC>(LoadSystemLibrary(name.c_str()).release());
}

} // namespace

UniqueModule LoadSystemLibrary(const wchar_t* Name) {
    UniqueModule module(LoadLibraryExW(Name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (module) return module;
    // Systems without the search flags (no KB2533623) reject it as an invalid
    // parameter: give them the full path into the system folder instead.
    if (GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A name the program's manifest redirects (comctl32 version 6) is found
    // through that redirection before any folder is searched; a full path
    // would bypass it and give the system folder's older version.
    ACTCTX_SECTION_KEYED_DATA redirected{};
    redirected.cbSize = sizeof(redirected);
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, Name, &redirected)) {
        module.reset(LoadLibraryW(Name));
        return module;
    }
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return module;
    const std::wstring path = std::wstring(folder, length) + L"\\" + Name;
    module.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    return module;
}

void RestrictDllSearch() {
    // Windows 8 and later, and Vista or 7 with KB2533623: looked up, since the
    // program must start without it.
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDirectories>(GetProcAddress(kernel, "SetDefaultDllDirectories")) : nullptr;
    if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    __pfnDliNotifyHook2 = DelayLoadNotify;
}

} // namespace tidora
