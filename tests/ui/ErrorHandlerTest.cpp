// The last-resort handler: a hardware fault on a worker thread reaches the
// user as what it was (its exception code in the error window), and the
// process ends with that code. Run in a child process, since the process ends.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "system/Handles.h"
#include "tests/TestSupport.h"
#include "ui/ErrorHandler.h"

using namespace tidora;
using tidora::test::WindowText;

namespace {

constexpr const wchar_t* FaultVariable = L"TIDORA_TEST_FAULT";

struct TFound {
    DWORD Process;
    HWND Dialog;
};

BOOL CALLBACK FindDialogOf(HWND Window, LPARAM Found) {
    auto* found = reinterpret_cast<TFound*>(Found);
    DWORD process = 0;
    GetWindowThreadProcessId(Window, &process);
    wchar_t cls[16] = {};
    GetClassNameW(Window, cls, 16);
    if (process != found->Process || wcscmp(cls, L"#32770") != 0 || !IsWindowVisible(Window)) return TRUE;
    found->Dialog = Window;
    return FALSE;
}

BOOL CALLBACK CollectText(HWND Window, LPARAM Texts) {
    *reinterpret_cast<std::wstring*>(Texts) += WindowText(Window) + L"|";
    return TRUE;
}

BOOL CALLBACK ClickButtons(HWND Window, LPARAM) {
    wchar_t cls[16] = {};
    GetClassNameW(Window, cls, 16);
    if (_wcsicmp(cls, L"Button") == 0) PostMessageW(Window, BM_CLICK, 0, 0);
    return TRUE;
}

// Starts this test program as a child that faults (Fault names how), waits for
// its error window, reads it, closes it and returns the child's exit code.
DWORD RunFaultingChild(const std::wstring& Fault, std::wstring& Texts) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=FaultChild.*";
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    SetEnvironmentVariableW(FaultVariable, Fault.c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(FaultVariable, nullptr);
    if (!started) return 0;
    UniqueHandle process(pi.hProcess), thread(pi.hThread);

    TFound found{pi.dwProcessId, nullptr};
    for (int i = 0; i < 600 && !found.Dialog; ++i) {
        if (WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) break;
        EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&found));
    }
    if (found.Dialog) {
        Sleep(200);  // its texts are set right after it shows
        Texts = WindowText(found.Dialog) + L"|";
        EnumChildWindows(found.Dialog, CollectText, reinterpret_cast<LPARAM>(&Texts));
        EnumChildWindows(found.Dialog, ClickButtons, 0);
    }
    if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return 1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return code;
}

TEST(ErrorHandler, AFaultOnAWorkerThreadShowsItsCodeAndEndsTheProcessWithIt) {
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) GTEST_SKIP() << "the error window needs a display";
    struct Case {
        const wchar_t* Fault;
        DWORD Code;
        const wchar_t* Shown;
    };
    // Not 0xC000001D (illegal instruction) nor a floating-point code: what the
    // CPU reported is what the user and the exit code see.
    const Case cases[] = {
        {L"access", 0xC0000005, L"0xC0000005"},
        {L"divide", 0xC0000094, L"0xC0000094"},
    };
    for (const Case& c : cases) {
        std::wstring texts;
        EXPECT_EQ(RunFaultingChild(c.Fault, texts), c.Code) << testing::PrintToString(c.Fault);
        EXPECT_NE(texts.find(c.Shown), std::wstring::npos) << std::string(texts.begin(), texts.end());
    }
}

volatile int gZero = 0;
int* volatile gNowhere = nullptr;

TEST(FaultChild, FaultsOnAWorkerThread) {
    wchar_t fault[16] = {};
    if (GetEnvironmentVariableW(FaultVariable, fault, 16) == 0)
        GTEST_SKIP() << "runs only as the child of ErrorHandler.AFaultOnAWorkerThread...";
    InstallErrorHandler();
    std::thread worker([which = std::wstring(fault)] {
        if (which == L"access") *gNowhere = 1;
        else std::exit(100 / gZero);
    });
    worker.join();
    std::_Exit(2);  // not reached: the handler ends the process
}

} // namespace
