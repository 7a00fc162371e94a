// Drives a program's window from outside as a keyboard and screen-reader user
// does, and writes down what it saw, for tests that must see the program the
// way another process does.
//
//   accprobe.exe OUTFILE CLASS STEP [STEP...]
//
// Waits up to 20 s for a visible top-level window of class CLASS, brings it
// to the front, then runs the steps in order:
//   tab, shifttab, left, right, enter, space, escape
//                 press that key (real input), wait, write the focus line
//   focus         write the focus line
//   wait:MS       wait MS milliseconds
//   acc           write one line per child window of CLASS's window, as
//                 AccessibleObjectFromWindow describes its client area
//   watch         from now on, write a line for each state change the
//                 program announces (EVENT_OBJECT_STATECHANGE)
// Lines, UTF-8, fields separated by tabs:
//   focus <class> <text>
//   acc <class> <text> <name> <role> <state, hex> <default action> <description> <role text>
//   event statechange <class> <text> <state, hex>
// Ends with 0, or 1 when the window did not turn up.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

FILE* Out = nullptr;

std::string Utf8(const std::wstring& Text) {
    if (Text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), &out[0], size, nullptr, nullptr);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
    return out;
}

std::wstring ClassOf(HWND Window) {
    wchar_t name[128] = {};
    GetClassNameW(Window, name, 128);
    return name;
}

std::wstring TextOf(HWND Window) {
    wchar_t text[512] = {};
    // Another process's window: WM_GETTEXT reaches its owner's thread.
    SendMessageTimeoutW(Window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return text;
}

HWND FocusOf(HWND Top) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(Top, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

void WriteFocus(HWND Top) {
    HWND focus = FocusOf(Top);
    fprintf(Out, "focus\t%s\t%s\n", Utf8(focus ? ClassOf(focus) : L"").c_str(), Utf8(focus ? TextOf(focus) : L"").c_str());
    fflush(Out);
}

void Press(WORD Key, bool Shift) {
    std::vector<INPUT> input;
    auto key = [&input](WORD Vk, bool Up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = Vk;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(Vk, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
        if (Vk == VK_LEFT || Vk == VK_RIGHT) i.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
        input.push_back(i);
    };
    if (Shift) key(VK_SHIFT, false);
    key(Key, false);
    key(Key, true);
    if (Shift) key(VK_SHIFT, true);
    SendInput(static_cast<UINT>(input.size()), input.data(), sizeof(INPUT));
}

HANDLE Program = nullptr;

// Serves this thread's messages (which carry the program's announcements)
// for Ms milliseconds.
void Serve(DWORD Ms) {
    const ULONGLONG end = GetTickCount64() + Ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
}

// Waits until the program has handled everything sent so far: it waits for
// input again with none pending (a page that loads for a while keeps keys
// pressed meanwhile in its queue, though it answers sent messages).
void Settle(HWND Top, DWORD Ms) {
    Serve(Ms);
    if (Program) WaitForInputIdle(Program, 20000);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(Top, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
}

std::wstring RoleName(long Role) {
    wchar_t text[128] = {};
    GetRoleTextW(static_cast<DWORD>(Role), text, 128);
    return text;
}

void WriteAccessible(HWND Window) {
    IAccessible* object = nullptr;
    std::wstring name, action, description;
    long role = 0, state = 0;
    if (SUCCEEDED(AccessibleObjectFromWindow(Window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object))) && object) {
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR text = nullptr;
        if (object->get_accName(self, &text) == S_OK && text) name = text;
        SysFreeString(text);
        text = nullptr;
        if (object->get_accDefaultAction(self, &text) == S_OK && text) action = text;
        SysFreeString(text);
        text = nullptr;
        if (object->get_accDescription(self, &text) == S_OK && text) description = text;
        SysFreeString(text);
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(object->get_accRole(self, &value)) && value.vt == VT_I4) role = value.lVal;
        VariantInit(&value);
        if (SUCCEEDED(object->get_accState(self, &value)) && value.vt == VT_I4) state = value.lVal;
        object->Release();
    }
    fprintf(Out, "acc\t%s\t%s\t%s\t%ld\t%lx\t%s\t%s\t%s\n", Utf8(ClassOf(Window)).c_str(), Utf8(TextOf(Window)).c_str(),
            Utf8(name).c_str(), role, static_cast<unsigned long>(state), Utf8(action).c_str(),
            Utf8(description).c_str(), Utf8(RoleName(role)).c_str());
}

long StateOf(HWND Window);

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD Event, HWND Window, LONG Object, LONG Child, DWORD, DWORD) {
    if (Event != EVENT_OBJECT_STATECHANGE || Object != OBJID_CLIENT || Child != CHILDID_SELF || !Window) return;
    fprintf(Out, "event\tstatechange\t%s\t%s\t%lx\n", Utf8(ClassOf(Window)).c_str(), Utf8(TextOf(Window)).c_str(),
            static_cast<unsigned long>(StateOf(Window)));
    fflush(Out);
}

long StateOf(HWND Window) {
    IAccessible* object = nullptr;
    long state = 0;
    if (SUCCEEDED(AccessibleObjectFromWindow(Window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object))) && object) {
        VARIANT self, value;
        VariantInit(&self);
        VariantInit(&value);
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        if (SUCCEEDED(object->get_accState(self, &value)) && value.vt == VT_I4) state = value.lVal;
        object->Release();
    }
    return state;
}

BOOL CALLBACK EachChild(HWND Child, LPARAM) {
    WriteAccessible(Child);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    Out = _wfopen(argv[1], L"wb");
    if (!Out) return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWND top = nullptr;
    for (int i = 0; i < 100 && !top; ++i) {
        top = FindWindowW(argv[2], nullptr);
        if (top && !IsWindowVisible(top)) top = nullptr;
        if (!top) Sleep(200);
    }
    if (!top) {
        fclose(Out);
        return 1;
    }
    DWORD id = 0;
    GetWindowThreadProcessId(top, &id);
    Program = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
    SetForegroundWindow(top);
    Settle(top, 100);
    for (int i = 3; i < argc; ++i) {
        const std::wstring step = argv[i];
        struct { const wchar_t* Name; WORD Key; bool Shift; } keys[] = {
            {L"tab", VK_TAB, false}, {L"shifttab", VK_TAB, true}, {L"left", VK_LEFT, false},
            {L"right", VK_RIGHT, false}, {L"enter", VK_RETURN, false}, {L"space", VK_SPACE, false},
            {L"escape", VK_ESCAPE, false}};
        bool done = false;
        for (const auto& k : keys)
            if (step == k.Name) {
                Press(k.Key, k.Shift);
                Settle(top, 150);
                WriteFocus(top);
                done = true;
            }
        if (done) continue;
        if (step == L"focus") WriteFocus(top);
        else if (step.rfind(L"wait:", 0) == 0) Serve(wcstoul(step.c_str() + 5, nullptr, 10));
        else if (step == L"watch")
            SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE, nullptr, OnEvent, id, 0,
                            WINEVENT_OUTOFCONTEXT);
        else if (step == L"acc") EnumChildWindows(top, EachChild, 0);
        fflush(Out);
    }
    fclose(Out);
    if (Program) CloseHandle(Program);
    CoUninitialize();
    return 0;
}
