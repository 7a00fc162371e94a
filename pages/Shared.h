#pragma once
// What both pages use: the saved list file (its line format, writing it, the
// save prompt and the error a failed save shows) and the guard that keeps a
// button disabled while its handler runs.
#include <windows.h>

#include <string>
#include <vector>

#include "ui/Window.h"

namespace tidora {

// The saved list format both pages write: three fields joined by "|". A field
// that holds "|" itself cannot be told apart when the line is read back.
std::wstring ListFileLine(const std::wstring& A, const std::wstring& B, const std::wstring& C);

// Writes Lines as UTF-8 with a byte-order mark, each ended by CR LF, replacing
// the file. False, with the system's message and the path in Error, on failure.
bool WriteListFile(const std::wstring& FileName, const std::vector<std::wstring>& Lines, std::wstring& Error);

// The save dialog of the pages' list menus: text files first, ".txt" added to
// a name without extension, asks before overwriting. False when cancelled.
bool PromptListFileName(HWND Owner, std::wstring& FileName);

// Disables a control while a handler runs and enables it again on every way
// out, an error included.
class TDisabledWhileRunning {
public:
    explicit TDisabledWhileRunning(TWindow* Control);
    ~TDisabledWhileRunning();
    TDisabledWhileRunning(const TDisabledWhileRunning&) = delete;
    TDisabledWhileRunning& operator=(const TDisabledWhileRunning&) = delete;

private:
    TWindow* FControl;
};

// The warning a failed save shows: "오류가 발생했습니다." in the user's
// language, the error's own message on the next line.
void ShowSaveError(HWND Owner, const std::wstring& Error);

} // namespace tidora
