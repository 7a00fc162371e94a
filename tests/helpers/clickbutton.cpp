// Clicks a button of another program's window, for scripts that drive the
// program from outside as a user would.
//
//   clickbutton.exe CLASS SECONDS CAPTION [CAPTION...]
//
// Waits up to SECONDS for a visible top-level window of class CLASS with an
// enabled child whose text (without '&') is one of the captions, then posts
// BM_CLICK to it and ends with 0. Posting rather than sending: the click may
// start work that ends this very process. Ends with 1 when none turned up.
#include <windows.h>

#include <string>
#include <vector>

namespace {

struct TSearch {
    const std::vector<std::wstring>* Captions;
    HWND Found = nullptr;
};

std::wstring WindowText(HWND Window) {
    wchar_t text[256] = {};
    GetWindowTextW(Window, text, 256);
    std::wstring plain;
    for (const wchar_t* c = text; *c; ++c)
        if (*c != L'&') plain += *c;
    return plain;
}

BOOL CALLBACK CheckChild(HWND Child, LPARAM Param) {
    auto* search = reinterpret_cast<TSearch*>(Param);
    if (!IsWindowVisible(Child) || !IsWindowEnabled(Child)) return TRUE;
    const std::wstring text = WindowText(Child);
    for (const auto& caption : *search->Captions)
        if (text == caption) {
            search->Found = Child;
            return FALSE;
        }
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const std::wstring className = argv[1];
    const DWORD seconds = wcstoul(argv[2], nullptr, 10);
    std::vector<std::wstring> captions(argv + 3, argv + argc);
    const ULONGLONG deadline = GetTickCount64() + seconds * 1000ULL;
    do {
        HWND window = FindWindowW(className.c_str(), nullptr);
        if (window && IsWindowVisible(window)) {
            TSearch search{&captions};
            EnumChildWindows(window, CheckChild, reinterpret_cast<LPARAM>(&search));
            if (search.Found) return PostMessageW(search.Found, BM_CLICK, 0, 0) ? 0 : 1;
        }
        Sleep(200);
    } while (GetTickCount64() < deadline);
    return 1;
}
