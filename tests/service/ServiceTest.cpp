// The service's addresses: where an entry's page lives.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "service/Service.h"

using namespace tidora;

namespace {

TEST(EntryPagePath, NamesAreLowerCasedAndPercentEncoded) {
    const std::pair<std::pair<const wchar_t*, const wchar_t*>, const wchar_t*> cases[] = {
        {{L"SERV", L"Spooler"}, L"/entry/serv/spooler"},
        {{L"FILE", L"C:\\Users\\Me\\Startup\\Example.LNK"}, L"/entry/file/example.lnk"},
        {{L"HKLM", L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\My App"}, L"/entry/hklm/my%20app"},
        {{L"HKCU", L"HKCU\\Run\\a#b?c%d&e=f/g+h"}, L"/entry/hkcu/a%23b%3Fc%25d%26e%3Df%2Fg%2Bh"},
        {{L"HKCU", L"HKCU\\Run\\x:Tail-._~"}, L"/entry/hkcu/tail-._~"},
        // Letters outside ASCII keep their case, as UTF-8 bytes.
        {{L"HKLM", L"HKLM\\Run\\\uD55C\u00C4"}, L"/entry/hklm/%ED%95%9C%C3%84"},
        {{L"SCHE", L"\\Update Task"}, L"/entry/sche/update%20task"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EntryPagePath(c.first.first, c.first.second), c.second) << testing::PrintToString(c.first.second);
}

} // namespace
