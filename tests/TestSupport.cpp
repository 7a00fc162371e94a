#include "tests/TestSupport.h"

#include <shellapi.h>

#include <atomic>

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

} // namespace

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

} // namespace tidora::test
