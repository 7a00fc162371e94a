#include "tests/TestSupport.h"

#include <shellapi.h>

#include <atomic>
#include <vector>

#include "system/Handles.h"
#include "system/Strings.h"

namespace tidora::test {
namespace {

std::wstring WinePath(const char* unixPath, const std::wstring& relative) {
    std::wstring path = L"Z:" + Utf8ToWide(unixPath) + L"/" + relative;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

bool WriteBitmap(HDC Source, int X, int Y, int Width, int Height, const std::wstring& Path) {
    if (Width <= 0 || Height <= 0) return false;
    HDC memory = CreateCompatibleDC(Source);
    if (!memory) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdiObject bitmap(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap.get());
        ok = BitBlt(memory, 0, 0, Width, Height, Source, X, Y, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    DeleteDC(memory);
    if (!ok) return false;
    const DWORD stride = (static_cast<DWORD>(Width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(Height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + imageSize;
    info.bmiHeader.biSizeImage = imageSize;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    bytes.append(static_cast<const char*>(bits), imageSize);
    return WriteFileBytes(Path, bytes);
}

const wchar_t DpiVariable[] = L"TIDORA_CHILD_DPI";
const wchar_t ReadyVariable[] = L"TIDORA_CHILD_READY";

} // namespace

bool SaveWindowShot(HWND Window, const std::wstring& Path) {
    RECT r{};
    if (!GetWindowRect(Window, &r)) return false;
    // Other tests' windows may lie on top: lift this one above them while the
    // picture is taken, and let it paint first.
    SetWindowPos(Window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    GdiFlush();
    Sleep(50);
    HDC screen = GetDC(nullptr);
    bool ok = false;
    if (screen) {
        ok = WriteBitmap(screen, r.left, r.top, r.right - r.left, r.bottom - r.top, Path);
        ReleaseDC(nullptr, screen);
    }
    SetWindowPos(Window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return ok;
}

void KeepOffThePointer(HWND Window) {
    RECT r{};
    if (!GetWindowRect(Window, &r)) return;
    const int width = r.right - r.left, height = r.bottom - r.top;
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    POINT pointer{screenW / 2, screenH / 2};
    GetCursorPos(&pointer);
    const POINT avoid[] = {pointer, {screenW / 2, screenH / 2}, {0, 0}};
    const POINT corners[] = {{screenW - width - 8, 8}, {8, screenH - height - 8}, {screenW - width - 8, screenH - height - 8}};
    for (const POINT& corner : corners) {
        const RECT place{corner.x, corner.y, corner.x + width, corner.y + height};
        bool clear = true;
        for (const POINT& p : avoid) clear = clear && !PtInRect(&place, p);
        if (!clear) continue;
        SetWindowPos(Window, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
}

bool SaveScreenShot(const std::wstring& Path) {
    HDC screen = GetDC(nullptr);
    if (!screen) return false;
    const bool ok = WriteBitmap(screen, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), Path);
    ReleaseDC(nullptr, screen);
    return ok;
}

int RunTestsAtDpi(const std::wstring& Filter, DWORD Dpi, DWORD TimeoutMs) {
    const wchar_t* keyPath = L"Control Panel\\Desktop";
    UniqueHKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return -1;
    DWORD old = 0, type = 0, size = sizeof(old);
    const bool hadOld = RegQueryValueExW(key.get(), L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old),
                                         &size) == ERROR_SUCCESS && type == REG_DWORD;
    auto restore = [&] {
        if (hadOld) RegSetValueExW(key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old), sizeof(old));
        else RegDeleteValueW(key.get(), L"LogPixels");
    };

    const std::wstring readyName = UniqueName(L"TidoraDpiReady");
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + Filter;
    SetEnvironmentVariableW(DpiVariable, std::to_wstring(Dpi).c_str());
    SetEnvironmentVariableW(ReadyVariable, readyName.c_str());
    RegSetValueExW(key.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Dpi), sizeof(Dpi));

    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    const BOOL started = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(DpiVariable, nullptr);
    SetEnvironmentVariableW(ReadyVariable, nullptr);
    if (!started) {
        restore();
        return -1;
    }
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    // Other tests may start meanwhile: the changed value stays no longer than needed.
    HANDLE either[2] = {ready.get(), process.get()};
    WaitForMultipleObjects(2, either, FALSE, TimeoutMs);
    restore();
    if (WaitForSingleObject(process.get(), TimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return -2;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

DWORD ChildDpi() {
    wchar_t value[16] = {};
    if (!GetEnvironmentVariableW(DpiVariable, value, 16)) return 0;
    return static_cast<DWORD>(wcstoul(value, nullptr, 10));
}

void DpiChildStarted() {
    wchar_t name[128] = {};
    if (!GetEnvironmentVariableW(ReadyVariable, name, 128)) return;
    UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, name));
    if (ready) SetEvent(ready.get());
}

std::wstring UniqueName(const std::wstring& Prefix) {
    static std::atomic<unsigned> counter{0};
    return Prefix + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L"_" +
           std::to_wstring(++counter);
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path(temp);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring SourcePath(const std::wstring& Relative) {
    return WinePath(TIDORA_SOURCE_DIR, Relative);
}

std::wstring BinaryPath(const std::wstring& Relative) {
    return WinePath(TIDORA_BINARY_DIR, Relative);
}

std::string ReadFileBytes(const std::wstring& Path) {
    UniqueFileHandle file(CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
    return bytes;
}

bool WriteFileBytes(const std::wstring& Path, const std::string& Bytes) {
    UniqueFileHandle file(CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), Bytes.data(), static_cast<DWORD>(Bytes.size()), &written, nullptr) &&
           written == Bytes.size();
}

TTempDir::TTempDir() : TTempDir(TempFolder(), L"tidora") {}

TTempDir::TTempDir(const std::wstring& Parent, const std::wstring& Prefix)
    : FPath(Parent + L"\\" + UniqueName(Prefix)) {
    CreateDirectoryW(FPath.c_str(), nullptr);
}

TTempDir::~TTempDir() {
    // SHFileOperation wants a double-NUL-terminated list.
    std::wstring from = FPath + L'\0';
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&op);
}

TUserHive::TUserHive() : FName(L"Software\\" + UniqueName(L"TidoraTestUser")) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, FName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &FKey, nullptr) == ERROR_SUCCESS)
        RegOverridePredefKey(HKEY_CURRENT_USER, FKey);
}

TUserHive::~TUserHive() {
    if (!FKey) return;
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(FKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, FName.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, FName.c_str());
}

std::wstring ScreenshotPath(const std::wstring& Name) {
    CreateDirectoryW(BinaryPath(L"screenshots").c_str(), nullptr);
    return BinaryPath(L"screenshots\\" + Name + L".bmp");
}

std::wstring WindowText(HWND Window) {
    wchar_t text[512] = {};
    GetWindowTextW(Window, text, 512);
    return text;
}

TPrintedClient::TPrintedClient(HWND Window, UINT Flags) {
    GetClientRect(Window, &FClient);
    {
        const UniqueWindowDC screen(nullptr);
        FMemory.reset(CreateCompatibleDC(screen.get()));
        FBitmap.reset(CreateCompatibleBitmap(screen.get(), FClient.right, FClient.bottom));
    }
    FSelection.emplace(FMemory.get(), FBitmap.get());
    SendMessageW(Window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(FMemory.get()), Flags);
}

} // namespace tidora::test
