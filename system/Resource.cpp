#include "system/Resource.h"

#include <windows.h>

#include "system/Strings.h"

namespace tidora {

bool ReadResourceBytes(const wchar_t* Name, std::string& Bytes) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC info = FindResourceW(module, Name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!info) return false;
    HGLOBAL loaded = LoadResource(module, info);
    const DWORD size = SizeofResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return false;
    Bytes.assign(static_cast<const char*>(data), size);
    return true;
}

std::wstring DecodeUtf8Text(const std::string& Bytes) {
    const bool bom = Bytes.size() >= 3 && Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    return Utf8ToWide(bom ? Bytes.substr(3) : Bytes);
}

bool ReadResourceLines(const wchar_t* Name, std::vector<std::wstring>& Lines) {
    std::string bytes;
    if (!ReadResourceBytes(Name, bytes)) return false;
    Lines = SplitLines(DecodeUtf8Text(bytes));
    return true;
}

} // namespace tidora
