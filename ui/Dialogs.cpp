#include "ui/Dialogs.h"

#include <commctrl.h>

#include "ui/Application.h"
#include "ui/Window.h"
#include "ui/RightToLeft.h"
#include "ui/Translate.h"

namespace tidora {
namespace {

UINT IconFlag(TMsgDlgType Type) {
    switch (Type) {
    case TMsgDlgType::mtWarning: return MB_ICONWARNING;
    case TMsgDlgType::mtError: return MB_ICONERROR;
    case TMsgDlgType::mtInformation: return MB_ICONINFORMATION;
    case TMsgDlgType::mtConfirmation: return MB_ICONQUESTION;
    case TMsgDlgType::mtCustom: return 0;
    }
    return 0;
}

PCWSTR TaskIcon(TMsgDlgType Type) {
    switch (Type) {
    case TMsgDlgType::mtWarning: return TD_WARNING_ICON;
    case TMsgDlgType::mtError: return TD_ERROR_ICON;
    case TMsgDlgType::mtInformation:
    case TMsgDlgType::mtConfirmation: return TD_INFORMATION_ICON;
    case TMsgDlgType::mtCustom: return nullptr;
    }
    return nullptr;
}

constexpr UINT_PTR EscapeHookId = 0x45534343;

// Escape on a task dialog whose only way out is its Close button presses
// that button. Windows closes such a dialog on Escape by itself; Wine's task
// dialog (8.0) ignores the Escape key even with cancellation allowed.
LRESULT CALLBACK EscapePressesClose(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam, UINT_PTR, DWORD_PTR) {
    if (Msg == WM_COMMAND && LOWORD(WParam) == IDCANCEL && !GetDlgItem(Window, IDCANCEL) &&
        GetDlgItem(Window, IDCLOSE)) {
        PostMessageW(Window, TDM_CLICK_BUTTON, IDCLOSE, 0);
        return 0;
    }
    if (Msg == WM_NCDESTROY) RemoveWindowSubclass(Window, EscapePressesClose, EscapeHookId);
    return DefSubclassProc(Window, Msg, WParam, LParam);
}

HRESULT CALLBACK TaskDialogEvents(HWND Window, UINT Notification, WPARAM, LPARAM, LONG_PTR) {
    if (Notification == TDN_CREATED) SetWindowSubclass(Window, EscapePressesClose, EscapeHookId, 0);
    return S_OK;
}

HWND OwnerOr(HWND Owner) {
    return Owner ? Owner : GetActiveWindow();
}

UINT MessageBoxButtons(int TaskButtons) {
    const bool yes = TaskButtons & TDCBF_YES_BUTTON, no = TaskButtons & TDCBF_NO_BUTTON;
    const bool cancel = TaskButtons & (TDCBF_CANCEL_BUTTON | TDCBF_CLOSE_BUTTON);
    if (yes && no) return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (TaskButtons & TDCBF_RETRY_BUTTON) return MB_RETRYCANCEL;
    if ((TaskButtons & TDCBF_OK_BUTTON) && cancel) return MB_OKCANCEL;
    return MB_OK;
}

} // namespace

int MessageDlg(const std::wstring& Text, TMsgDlgType Type, UINT Buttons, HWND Owner, const std::wstring& Details) {
    const std::wstring title = TranslateText(ApplicationTitle());
    UINT flags = Buttons | IconFlag(Type) | MB_SETFOREGROUND;
    if (IsRightToLeft()) flags |= MB_RTLREADING | MB_RIGHT;
    std::wstring text = TranslateText(Text);
    if (!Details.empty()) text += L"\r\n" + Details;
    return MessageBoxW(OwnerOr(Owner), text.c_str(), title.c_str(), flags);
}

int TaskMessage(const std::wstring& Instruction, const std::wstring& Content, TMsgDlgType Type, int Buttons,
                HWND Owner) {
    const std::wstring title = TranslateText(ApplicationTitle());
    const std::wstring instruction = TranslateText(Instruction);
    const std::wstring& content = Content;

    // Only comctl32 version 6 has it; the program's manifest asks for that one.
    EnsureCommonControls();
    using TaskDialogProc = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    auto show = comctl ? reinterpret_cast<TaskDialogProc>(GetProcAddress(comctl, "TaskDialogIndirect")) : nullptr;
    if (show) {
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof(config);
        config.hwndParent = OwnerOr(Owner);
        config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
        if (IsRightToLeft()) config.dwFlags |= TDF_RTL_LAYOUT;
        config.dwCommonButtons = Buttons;
        config.pszWindowTitle = title.c_str();
        config.pszMainIcon = TaskIcon(Type);
        config.pszMainInstruction = instruction.c_str();
        config.pszContent = content.empty() ? nullptr : content.c_str();
        config.pfCallback = TaskDialogEvents;
        int pressed = 0;
        if (SUCCEEDED(show(&config, &pressed, nullptr, nullptr))) return pressed;
    }
    std::wstring text = instruction;
    if (!content.empty()) text += L"\r\n" + content;
    UINT flags = MessageBoxButtons(Buttons) | IconFlag(Type) | MB_SETFOREGROUND;
    if (IsRightToLeft()) flags |= MB_RTLREADING | MB_RIGHT;
    return MessageBoxW(OwnerOr(Owner), text.c_str(), title.c_str(), flags);
}

} // namespace tidora
