#include "pages/Shared.h"

#include <commdlg.h>

#include <algorithm>

#include "system/Handles.h"
#include "system/Strings.h"
#include "system/Windows.h"
#include "ui/Dialogs.h"
#include "ui/Translate.h"

namespace tidora {

TDisabledWhileRunning::TDisabledWhileRunning(TWindow* Control) : FControl(Control) {
    if (FControl) FControl->SetEnabled(false);
}

TDisabledWhileRunning::~TDisabledWhileRunning() {
    if (FControl) FControl->SetEnabled(true);
}

std::wstring ListFileLine(const std::wstring& A, const std::wstring& B, const std::wstring& C) {
    return A + L"|" + B + L"|" + C;
}

bool WriteListFile(const std::wstring& FileName, const std::vector<std::wstring>& Lines, std::wstring& Error) {
    std::string bytes = "\xEF\xBB\xBF";
    for (const std::wstring& line : Lines) bytes += WideToUtf8(line + L"\r\n");
    UniqueFileHandle file(
        CreateFileW(FileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        Error = SystemErrorMessage(code) + L" (" + FileName + L")";
        return false;
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1u << 20));
        DWORD done = 0;
        if (!WriteFile(file.get(), bytes.data() + written, chunk, &done, nullptr) || done == 0) {
            const DWORD code = GetLastError();
            Error = SystemErrorMessage(code) + L" (" + FileName + L")";
            return false;
        }
        written += done;
    }
    Error.clear();
    return true;
}

bool PromptListFileName(HWND Owner, std::wstring& FileName) {
    const std::wstring title = TranslateText(L"파일 저장");
    std::wstring filter = TranslateText(L"텍스트 파일") + L" (*.txt)|*.txt|" + TranslateText(L"모든 파일") + L" (*.*)|*.*";
    // The dialog takes its filter as pairs of texts each ended by a null.
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> buffer(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = L"txt";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return false;
    FileName = buffer.data();
    return !FileName.empty();
}

void ShowSaveError(HWND Owner, const std::wstring& Error) {
    MessageDlg(L"오류가 발생했습니다.", TMsgDlgType::mtWarning, MB_OK, Owner, Error);
}

} // namespace tidora
