#pragma once
// Message dialogs. Texts are written in Korean like every caption and are
// translated here; the title is the application title, translated too.
#include <windows.h>

#include <string>

namespace tidora {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// A message box: Buttons are the MB_ button sets (MB_OK, MB_YESNO ...); the
// answer is the pressed button's ID (IDOK, IDYES ...). Owner null: the active
// window of this thread. Details (an error's own text, a path) is shown on the
// next line as it is: translating it could turn a "\n" inside a path into a
// line break.
int MessageDlg(const std::wstring& Text, TMsgDlgType Type, UINT Buttons = MB_OK, HWND Owner = nullptr,
               const std::wstring& Details = L"");

// A task dialog with a translated main instruction over the content (shown as
// it is) and the common buttons TDCBF_* (Buttons); falls back to a message box
// where the system has no task dialog. The answer is the pressed button's ID.
int TaskMessage(const std::wstring& Instruction, const std::wstring& Content, TMsgDlgType Type,
                int Buttons, HWND Owner = nullptr);

} // namespace tidora
