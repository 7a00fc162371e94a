#include "service/Service.h"

#include <windows.h>

#include "system/Path.h"
#include "system/Strings.h"

#include "service_url.h"

namespace tidora {

TService BuiltInService() {
    return ServiceAt(TIDORA_SERVICE_URL);
}

TService ServiceAt(const std::wstring& URL) {
    TService service;
    service.URL = URL;
    while (!service.URL.empty() && service.URL.back() == L'/') service.URL.pop_back();
    service.RetryPause = [] {
        for (int i = 0; i < 1000; ++i) Sleep(10);
    };
    return service;
}

std::wstring EntryPagePath(const std::wstring& From, const std::wstring& Target) {
    return std::wstring(kEntryPagePath) + PercentEncode(LowerCaseAscii(From)) + L"/" +
           PercentEncode(LowerCaseAscii(FileNamePart(Target)));
}

} // namespace tidora
