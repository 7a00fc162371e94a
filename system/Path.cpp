#include "system/Path.h"

#include <windows.h>
#include <shlobj.h>

namespace tidora {
namespace {

wchar_t FoldAscii(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
}

TPlaceholders& Table() {
    static TPlaceholders table;
    return table;
}

} // namespace

bool SameTextAscii(const std::wstring& A, size_t AFrom, const std::wstring& B, size_t Count) {
    if (A.size() < AFrom + Count || B.size() < Count) return false;
    for (size_t i = 0; i < Count; ++i)
        if (FoldAscii(A[AFrom + i]) != FoldAscii(B[i])) return false;
    return true;
}

std::wstring GetFolderPath(int Csidl) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, Csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    std::wstring path(buffer);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring RemoveX86(const std::wstring& Path) {
    static const std::wstring kX86 = L" (x86)";
    for (size_t i = 0; i + kX86.size() <= Path.size(); ++i)
        if (SameTextAscii(Path, i, kX86, kX86.size())) return Path.substr(0, i) + Path.substr(i + kX86.size());
    return Path;
}

bool IsX64Windows() {
    // Asked once per uninstall record, and the answer never changes: under
    // Wine each query costs a trip to the server.
    static const bool x64 = [] {
        SYSTEM_INFO info{};
        GetNativeSystemInfo(&info);
        return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    }();
    return x64;
}

TPlaceholders BuildPlaceholders(bool X64, const std::function<std::wstring(int)>& Folder) {
    const std::wstring windows = Folder(CSIDL_WINDOWS);
    const std::wstring common = Folder(CSIDL_PROGRAM_FILES_COMMON);
    const std::wstring programs = Folder(CSIDL_PROGRAM_FILES);
    // A 32-bit process on 64-bit Windows is told the "(x86)" folders; the
    // 64-bit ones are the same paths without that suffix.
    return {
        {L"%SystemRoot%", windows},
        {L"%Public%", Folder(CSIDL_COMMON_DOCUMENTS)},
        {L"%ProgramData%", Folder(CSIDL_COMMON_APPDATA)},
        {L"%WinDir%", windows},
        {L"%ProgramFiles(x86)%", X64 ? Folder(CSIDL_PROGRAM_FILESX86) : programs},
        {L"%CommonProgramFiles%", X64 ? RemoveX86(common) : common},
        {L"%AppData%", Folder(CSIDL_APPDATA)},
        {L"%ProgramFiles%", X64 ? RemoveX86(programs) : programs},
        {L"%CommonProgramFiles(x86)%", X64 ? Folder(CSIDL_PROGRAM_FILES_COMMONX86) : common},
    };
}

void InitPlaceholders() {
    Table() = BuildPlaceholders(IsX64Windows(), GetFolderPath);
}

const TPlaceholders& Placeholders() {
    return Table();
}

std::wstring ExpandPlaceholders(const std::wstring& Text, const TPlaceholders& Table) {
    for (const auto& [name, folder] : Table) {
        if (Text.size() > name.size() && Text[name.size()] == L'\\' && SameTextAscii(Text, 0, name, name.size()))
            return folder + Text.substr(name.size());
    }
    return Text;
}

std::wstring ExpandPlaceholders(const std::wstring& Text) {
    return ExpandPlaceholders(Text, Table());
}

std::wstring ShortenPath(const std::wstring& Path, const TPlaceholders& Table) {
    for (const auto& [name, folder] : Table) {
        if (Path.size() > folder.size() && Path[folder.size()] == L'\\' &&
            SameTextAscii(Path, 0, folder, folder.size()))
            return name + Path.substr(folder.size());
    }
    return Path;
}

std::wstring ShortenPath(const std::wstring& Path) {
    return ShortenPath(Path, Table());
}

} // namespace tidora
