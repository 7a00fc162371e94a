#include "ui/ErrorHandler.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cwchar>
#include <stdexcept>
#include <system_error>

#include "system/Strings.h"
#include "ui/Dialogs.h"

namespace tidora {
namespace {

bool& Showing() {
    static bool showing = false;
    return showing;
}

void OnTerminate() {
    ShowErrorWindow(ExceptionText(std::current_exception()));
    std::_Exit(3);
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* Info) {
    wchar_t text[64];
    const DWORD code = Info && Info->ExceptionRecord ? Info->ExceptionRecord->ExceptionCode : 0;
    swprintf(text, 64, L"0x%08lX", static_cast<unsigned long>(code));
    ShowErrorWindow(text);
    return EXCEPTION_EXECUTE_HANDLER;
}

} // namespace

std::wstring ExceptionText(std::exception_ptr Error) {
    if (!Error) return {};
    try {
        std::rethrow_exception(Error);
    } catch (const std::exception& e) {
        return Utf8ToWide(e.what());
    } catch (...) {
    }
    return L"?";
}

void ShowErrorWindow(const std::wstring& Details) {
    if (Showing()) return;
    Showing() = true;
    TaskMessage(L"오류가 발생했습니다.", Details, TMsgDlgType::mtError, TDCBF_CLOSE_BUTTON);
    Showing() = false;
}

void HandleException(std::exception_ptr Error) {
    ShowErrorWindow(ExceptionText(Error));
}

void InstallErrorHandler() {
    std::set_terminate(OnTerminate);
    SetUnhandledExceptionFilter(OnUnhandled);
}

} // namespace tidora
