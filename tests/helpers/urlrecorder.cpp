// Stands in for the browser in a Wine prefix: registered as the https handler,
// it appends each address it is asked to open to a file, one UTF-8 line each,
// so a script on the Linux side can read what the program opened.
//
//   urlrecorder.exe FILE URL
#include <windows.h>

#include <string>

#include "system/Handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    // Only an address goes on; a line break would forge a second entry.
    const std::wstring url = argv[2];
    if (url.empty() || url.find_first_of(L"\r\n") != std::wstring::npos) return 2;
    const int size = WideCharToMultiByte(CP_UTF8, 0, url.data(), static_cast<int>(url.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return 2;
    std::string line(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, url.data(), static_cast<int>(url.size()), line.data(), size, nullptr, nullptr);
    line += '\n';
    tidora::UniqueFileHandle file(CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    DWORD written = 0;
    if (!WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return 1;
    return written == line.size() ? 0 : 1;
}
