#include "ui/Application.h"

#include "system/Sync.h"
#include "ui/Form.h"
#include "ui/Graphics.h"

namespace tidora {
namespace {

std::wstring& Title() {
    static std::wstring title = L"Tidora";
    return title;
}

TForm*& Main() {
    static TForm* form = nullptr;
    return form;
}

// Tab, arrow keys and the default button for the window the message is for.
bool IsNavigationMessage(MSG& Msg) {
    if (Msg.message < WM_KEYFIRST || Msg.message > WM_KEYLAST) return false;
    HWND root = GetAncestor(Msg.hwnd, GA_ROOT);
    return root && TWindow::FromHandle(root) && IsDialogMessageW(root, &Msg);
}

} // namespace

void InitControls() {
    static bool done = false;
    if (done) return;
    done = true;
    // Screen readers reach our controls' accessible objects through COM; in a
    // single-threaded apartment their calls arrive through this thread's
    // message loop, where the controls live. Kept for the life of the thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void LoadPageLibraries() {
    EnsureCommonControls();
    EnsureGdiplus();
}

const std::wstring& ApplicationTitle() {
    return Title();
}

void SetApplicationTitle(const std::wstring& NewTitle) {
    Title() = NewTitle;
}

TForm* MainForm() {
    return Main();
}

void SetMainForm(TForm* Form) {
    Main() = Form;
}

int RunMessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        if (IsNavigationMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

void RunModalLoop(const std::function<bool()>& Done) {
    MSG msg;
    while (!Done()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (IsNavigationMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave it for the loop that is waiting for it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        // Served once below: dispatched one by one, a thread that hands over
        // in a loop could keep this pump from ever returning.
        if (TakeHandOverWakeUp(msg)) continue;
        if (IsNavigationMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ServeHandOvers();
}

} // namespace tidora
