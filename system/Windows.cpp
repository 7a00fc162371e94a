#include "system/Windows.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <system_error>
#include <thread>

#include "system/Handles.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"

namespace tidora {
namespace {

// One per launch, shared by the caller and the wait thread: the texts the
// SHELLEXECUTEINFOW points into must outlive the call, and the callback the
// wait.
struct TLaunchRecord {
    SHELLEXECUTEINFOW Info{};
    std::wstring File;
    std::wstring Parameters;
    TExecuteCallback Callback;

    TLaunchRecord(const std::wstring& FileName, const std::wstring& Params, int ShowCmd, TExecuteCallback Proc)
        : File(FileName), Parameters(Params), Callback(std::move(Proc)) {
        Info.cbSize = sizeof(Info);
        // The shell's own error box would be a message the caller never asked
        // for (and a modal stop on the UI thread); a failure is silent here.
        Info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        Info.lpVerb = L"Open";
        Info.lpFile = File.c_str();
        Info.lpParameters = Parameters.c_str();
        Info.nShow = ShowCmd;
    }
};

void RunCallback(const TExecuteCallback& Callback) {
    if (Callback) Callback();
}

void WaitForProcess(std::shared_ptr<TLaunchRecord> Record, UniqueHandle Process) {
    // The handle is closed only after the callback has run.
    if (WaitForSingleObject(Process.get(), INFINITE) != WAIT_OBJECT_0 || !Record->Callback) return;
    try {
        Synchronize(Record->Callback);
    } catch (...) {
        // The callback's failure has nobody to go to on this thread.
    }
}

} // namespace

void Execute(const std::wstring& FileName, const std::wstring& Parameters, int ShowCmd,
             TExecuteCallback Callback) {
    auto record = std::make_shared<TLaunchRecord>(FileName, Parameters, ShowCmd, std::move(Callback));
    const BOOL started = ShellExecuteExW(&record->Info);
    UniqueHandle process(started ? record->Info.hProcess : nullptr);
    record->Info.hProcess = nullptr;
    if (!process) {
        RunCallback(record->Callback);
        return;
    }
    try {
        std::thread(WaitForProcess, record, std::move(process)).detach();
    } catch (const std::system_error&) {
        // No thread to wait with: answer now rather than never.
        RunCallback(record->Callback);
    }
}

void Execute(const std::wstring& CommandLine, int ShowCmd, TExecuteCallback Callback) {
    std::wstring program, parameters;
    SplitCommandLine(CommandLine, program, parameters);
    Execute(program, parameters, ShowCmd, std::move(Callback));
}

std::wstring SystemErrorMessage(DWORD Code) {
    wchar_t buffer[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0,
                                        buffer, ARRAYSIZE(buffer), nullptr);
    std::wstring message = TrimControl(std::wstring(buffer, length));
    return message.empty() ? L"System error " + std::to_wstring(Code) + L"." : message;
}

void ShellOpen(const std::wstring& Target, const TPlatform& Platform) {
    if (Platform.ShellOpen) Platform.ShellOpen(Target);
}

bool IsWebAddress(const std::wstring& Address) {
    size_t at = 0;
    if (StartsTextAscii(Address, L"https://"))
        at = 8;
    else if (StartsTextAscii(Address, L"http://"))
        at = 7;
    else
        return false;
    for (wchar_t c : Address) {
        // Blanks and quotes would end the browser's argument early; a trailing
        // backslash would swallow the closing quote; control characters have
        // no place in an address.
        if (c <= L' ' || c == L'"' || c == L'\\' || (c >= 0x7F && c <= 0x9F)) return false;
    }
    // The host: what lies between "//" and the path, without user and port.
    size_t end = Address.find_first_of(L"/?#", at);
    if (end == std::wstring::npos) end = Address.size();
    std::wstring host = Address.substr(at, end - at);
    const size_t user = host.rfind(L'@');
    if (user != std::wstring::npos) host.erase(0, user + 1);
    if (!host.empty() && host[0] != L'[') {
        const size_t port = host.find(L':');
        if (port != std::wstring::npos) host.erase(port);
    }
    return !host.empty();
}

void ShellOpenUrl(const std::wstring& Address, const TPlatform& Platform) {
    if (IsWebAddress(Address)) ShellOpen(Address, Platform);
}

} // namespace tidora
