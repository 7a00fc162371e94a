#include "service/Service.h"

#include <windows.h>

#include "system/Path.h"
#include "system/Strings.h"

#include "service_url.h"

namespace tidora {
namespace {

SRWLOCK gLock = SRWLOCK_INIT;

// Never destroyed: the update thread may still read it while the process ends.
std::wstring& CurrentURL() {
    static std::wstring* url = new std::wstring(TIDORA_SERVICE_URL);
    return *url;
}

} // namespace

std::wstring ServiceURL() {
    AcquireSRWLockShared(&gLock);
    std::wstring url = CurrentURL();
    ReleaseSRWLockShared(&gLock);
    return url;
}

std::wstring ServiceAddress(const std::wstring& Path) {
    return ServiceURL() + Path;
}

std::wstring EntryPagePath(const std::wstring& From, const std::wstring& Target) {
    return std::wstring(kEntryPagePath) + PercentEncode(LowerCaseAscii(From)) + L"/" +
           PercentEncode(LowerCaseAscii(FileNamePart(Target)));
}

void OverrideServiceURL(const std::wstring& URL) {
    std::wstring url = URL;
    while (!url.empty() && url.back() == L'/') url.pop_back();
    AcquireSRWLockExclusive(&gLock);
    CurrentURL() = url;
    ReleaseSRWLockExclusive(&gLock);
}

} // namespace tidora
