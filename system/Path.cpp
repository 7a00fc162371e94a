#include "system/Path.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <stdexcept>

#include "system/Handles.h"
#include "system/Strings.h"

namespace tidora {
namespace {

TPlaceholders& Table() {
    static TPlaceholders table;
    return table;
}

} // namespace

std::wstring GetFolderPath(int Csidl) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, Csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    std::wstring path(buffer);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring RemoveX86(const std::wstring& Path) {
    static const std::wstring kX86 = L" (x86)";
    const size_t at = FindTextAscii(Path, kX86);
    return at == std::wstring::npos ? Path : Path.substr(0, at) + Path.substr(at + kX86.size());
}

bool IsX64Windows() {
    // Asked once per uninstall record, and the answer never changes: under
    // Wine each query costs a trip to the server.
    static const bool x64 = [] {
        // On ARM64 Windows a 32-bit x86 program runs emulated beside the same
        // "Program Files (x86)" and ProgramW6432 as on x64. IsWow64Process2
        // (Windows 10 1511 and later) names the machine Windows runs on;
        // older systems run on no ARM64 and answer through the native
        // system information.
        using IsWow64Process2Proc = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        auto is2 = kernel ? reinterpret_cast<IsWow64Process2Proc>(GetProcAddress(kernel, "IsWow64Process2")) : nullptr;
        USHORT process = 0, native = 0;
        if (is2 && is2(GetCurrentProcess(), &process, &native))
            return native == IMAGE_FILE_MACHINE_AMD64 || native == IMAGE_FILE_MACHINE_ARM64;
        SYSTEM_INFO info{};
        GetNativeSystemInfo(&info);
        return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
               info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
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

namespace {

const std::wstring* FindShortening(const std::wstring& Path, const TPlaceholders& Table, size_t& FolderLength) {
    for (const auto& [name, folder] : Table) {
        if (Path.size() > folder.size() && Path[folder.size()] == L'\\' && StartsTextAscii(Path, folder)) {
            FolderLength = folder.size();
            return &name;
        }
    }
    return nullptr;
}

} // namespace

std::wstring ShortenPath(const std::wstring& Path, const TPlaceholders& Table) {
    size_t folder = 0;
    const std::wstring* name = FindShortening(Path, Table, folder);
    return name ? *name + Path.substr(folder) : Path;
}

std::wstring ShortenPath(const std::wstring& Path) {
    return ShortenPath(Path, Table());
}

const std::wstring* ShortenedPrefix(const std::wstring& Path, size_t& FolderLength) {
    return FindShortening(Path, Table(), FolderLength);
}

namespace {

// Where an unquoted program ends: right after the first of these found
// anywhere in the upper-cased line, wherever it stands.
const wchar_t* const kProgramExtensions[] = {L".EXE", L".BAT", L".COM", L".CMD", L".MSI"};

size_t FindProgramExtension(const std::wstring& Text) {
    const std::wstring upper = UpperCaseAscii(Text);
    size_t first = std::wstring::npos;
    for (const wchar_t* extension : kProgramExtensions) {
        size_t at = upper.find(extension);
        if (at < first) first = at;
    }
    return first;
}

// Leading blanks, an optional sign and decimal digits up to the end; anything
// else (or a value beyond 32 bits) gives Default.
int ParseIntDef(const std::wstring& Text, int Default) {
    size_t i = 0;
    while (i < Text.size() && (Text[i] == L' ' || Text[i] == L'\t')) ++i;
    bool negative = false;
    if (i < Text.size() && (Text[i] == L'+' || Text[i] == L'-')) negative = Text[i++] == L'-';
    if (i == Text.size()) return Default;
    long long value = 0;
    for (; i < Text.size(); ++i) {
        if (Text[i] < L'0' || Text[i] > L'9') return Default;
        value = value * 10 + (Text[i] - L'0');
        if (value > 2147483648LL) return Default;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return Default;
    return static_cast<int>(value);
}

std::wstring HexWord(WORD Value) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(4, L'0');
    for (int i = 3; i >= 0; --i, Value >>= 4) text[static_cast<size_t>(i)] = kDigits[Value & 15];
    return text;
}

} // namespace

std::wstring FileNamePart(const std::wstring& Path) {
    size_t at = Path.find_last_of(L"\\:");
    return at == std::wstring::npos ? Path : Path.substr(at + 1);
}

bool FileExists(const std::wstring& Path) {
    const DWORD attributes = GetFileAttributesW(Path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link: what counts is the file it leads to.
    UniqueFileHandle file(CreateFileW(Path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    return file && GetFileInformationByHandle(file.get(), &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void SplitCommandLine(const std::wstring& CommandLine, std::wstring& Program, std::wstring& Parameters) {
    std::wstring program, parameters;
    const std::wstring s = TrimControl(CommandLine);
    if (s.empty()) {
        // both stay empty
    } else if (s[0] == L'"') {
        const size_t close = s.find(L'"', 1);
        if (close == std::wstring::npos) {
            program = s.substr(1);
        } else {
            program = TrimControl(s.substr(1, close - 1));
            parameters = TrimControl(s.substr(close + 1));
        }
    } else if (const size_t at = FindProgramExtension(s); at != std::wstring::npos) {
        program = TrimControl(s.substr(0, at + 4));
        parameters = TrimControl(s.substr(at + 4));
    } else if (const size_t space = s.find(L' '); space != std::wstring::npos) {
        program = TrimControl(s.substr(0, space));
        parameters = TrimControl(s.substr(space + 1));
    } else {
        program = s;
    }
    Program = std::move(program);
    Parameters = std::move(parameters);
}

std::wstring CommandLineToFile(const std::wstring& CommandLine) {
    static const std::wstring kObjectPrefix = L"\\??\\";
    static const std::wstring kRundll = L"rundll32.exe";
    std::wstring s = CommandLine;
    if (s.compare(0, kObjectPrefix.size(), kObjectPrefix) == 0) s.erase(0, kObjectPrefix.size());

    std::wstring parameters;
    SplitCommandLine(s, s, parameters);
    const std::wstring name = FileNamePart(s);
    if (!parameters.empty() && EqualsTextAscii(name, kRundll)) {
        // rundll32.exe "dll path",EntryPoint arguments: the DLL is the file.
        s = TrimControl(parameters);
        if (!s.empty() && s[0] == L'"') {
            const size_t close = s.find(L'"', 1);
            s = close == std::wstring::npos ? std::wstring() : s.substr(1, close - 1);
        }
        const size_t comma = s.find(L',');
        if (comma != std::wstring::npos) s.erase(comma);
    }
    s = ExpandPlaceholders(s);

    std::wstring file;
    file.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        file += s[i];
        if (s[i] == L'\\' && i + 1 < s.size() && s[i + 1] == L'\\') ++i;
    }
    return file;
}

int IconIndex(TIconCache& Cache, TIconSink& Images, const std::wstring& IconLocation, int DefaultIndex) {
    std::wstring key;
    key.reserve(IconLocation.size());
    for (wchar_t c : IconLocation)
        if (c != L'"') key += c;
    key = TrimControl(key);
    if (key.empty()) return DefaultIndex;
    // The cache answers before anything touches the disk.
    const auto hit = Cache.find(key);
    if (hit != Cache.end()) return hit->second;

    std::wstring path = key;
    WORD number = 0;
    const size_t comma = key.find(L',');
    if (comma != std::wstring::npos) {
        path = TrimControl(key.substr(0, comma));
        number = static_cast<WORD>(ParseIntDef(key.substr(comma + 1), DefaultIndex));
    }
    // The shell writes the associated program's path back into the buffer, so
    // a longer path cannot be handed over intact.
    if (path.size() >= MAX_PATH || !FileExists(path)) return DefaultIndex;
    wchar_t buffer[MAX_PATH] = {};
    path.copy(buffer, path.size());
    try {
        UniqueIcon icon(ExtractAssociatedIconW(GetModuleHandleW(nullptr), buffer, &number));
        if (!icon) return DefaultIndex;
        const int index = Images.AddIcon(key, std::move(icon));
        Cache.emplace(key, index);
        return index;
    } catch (...) {
        return DefaultIndex;
    }
}

namespace {

// The version resource of an executable or DLL, found as GetFileVersionInfoW
// finds it (the English one first, then any), through one mapping of the file
// as data; GetFileVersionInfoSizeW and GetFileVersionInfoW map it once each,
// and under Wine a mapping costs several trips to the server. Loaded is false
// when the file cannot be mapped as an image (a 16-bit program, say).
std::vector<BYTE> VersionResource(const std::wstring& FileName, bool& Loaded) {
    UniqueModule module(LoadLibraryExW(FileName.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    Loaded = static_cast<bool>(module);
    if (!module) return {};
    HRSRC found = FindResourceExW(module.get(), RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
    if (!found) found = FindResourceW(module.get(), MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    const DWORD size = found ? SizeofResource(module.get(), found) : 0;
    const HGLOBAL loaded = size ? LoadResource(module.get(), found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return {};
    // Twice the room, as GetFileVersionInfoW's buffer has: VerQueryValue may
    // write converted texts behind the resource.
    std::vector<BYTE> block(static_cast<size_t>(size) * 2);
    memcpy(block.data(), data, size);
    return block;
}

} // namespace

int ReadVersionStrings(const std::wstring& FileName, const std::vector<std::wstring>& Names,
                       TVersionStrings& Strings) {
    if (!FileExists(FileName)) return 0;
    bool loaded = false;
    std::vector<BYTE> data = VersionResource(FileName, loaded);
    if (!loaded) {
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(FileName.c_str(), &ignored);
        if (size == 0) return 0;
        data.assign(size, 0);
        if (!GetFileVersionInfoW(FileName.c_str(), 0, size, data.data())) return 0;
    }
    if (data.empty()) return 0;

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation\\", &value, &length) || !value ||
        length < 2 * sizeof(WORD))
        return 0;
    // Only the first language and code page pair is read.
    const WORD* pair = static_cast<const WORD*>(value);
    const std::wstring block = L"\\StringFileInfo\\" + HexWord(pair[0]) + HexWord(pair[1]) + L"\\";

    for (const std::wstring& name : Names) {
        value = nullptr;
        length = 0;
        if (!VerQueryValueW(data.data(), (block + name).c_str(), &value, &length) || !value) continue;
        const wchar_t* text = static_cast<const wchar_t*>(value);
        if (Strings.count(name)) throw std::invalid_argument("version string name already in the dictionary");
        Strings.emplace(name, std::wstring(text, wcsnlen(text, length)));
    }
    return static_cast<int>(Strings.size());
}

} // namespace tidora
