// A process that waits until it is killed, for tests that collect and end
// processes. Tests copy it to the file names and folders they need.
//
//   sleeper.exe [--ready EVENT] [--quit EVENT] [--refuse | --hide] [--seconds N]
//
// --ready  signals the named event once it is set up.
// --quit   ends with exit code 7 when the named event is signalled, so a test
//          can end a sleeper that no termination reaches.
// --refuse sets its own DACL to SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
//          so OpenProcess(PROCESS_TERMINATE) is denied.
// --hide   grants SYNCHRONIZE only, so not even its image path can be read.
// --seconds ends with exit code 8 after N seconds (default 120), so a sleeper
//          a failed test leaves behind does not outlive it for long.
#include <windows.h>
#include <aclapi.h>

#include <string>

namespace {

bool RestrictAccess(DWORD Granted) {
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = Granted;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = const_cast<wchar_t*>(L"EVERYONE");
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS) return false;
    const DWORD result = SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT,
                                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                         nullptr, acl, nullptr);
    LocalFree(acl);
    return result == ERROR_SUCCESS;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring ready, quit;
    DWORD granted = 0;
    DWORD seconds = 120;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--ready" && i + 1 < argc) ready = argv[++i];
        else if (arg == L"--quit" && i + 1 < argc) quit = argv[++i];
        else if (arg == L"--seconds" && i + 1 < argc) seconds = wcstoul(argv[++i], nullptr, 10);
        else if (arg == L"--refuse") granted = SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
        else if (arg == L"--hide") granted = SYNCHRONIZE;
    }
    if (granted && !RestrictAccess(granted)) return 3;
    HANDLE quitEvent = quit.empty() ? nullptr : OpenEventW(SYNCHRONIZE, FALSE, quit.c_str());
    if (!ready.empty()) {
        HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str());
        if (readyEvent) {
            SetEvent(readyEvent);
            CloseHandle(readyEvent);
        }
    }
    const DWORD timeout = seconds * 1000;
    if (quitEvent) return WaitForSingleObject(quitEvent, timeout) == WAIT_OBJECT_0 ? 7 : 8;
    Sleep(timeout);
    return 8;
}
