#include "app/Report.h"

#include "service/HTTP.h"
#include "service/Service.h"
#include "service/Update.h"
#include "system/Memory.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "system/Sync.h"
#include "system/Windows.h"

namespace tidora {
namespace {

void AppendMember(std::wstring& Json, const wchar_t* Key, const std::wstring& Value, bool First = false) {
    if (!First) Json += L',';
    Json += L'"';
    Json += Key;
    Json += L"\":\"";
    Json += Value;
    Json += L'"';
}

} // namespace

std::wstring BuildReportJson(const TUsageReport& Report) {
    std::wstring json;
    json.reserve(96 + Report.Processes.size() * 64 + Report.Startup.size() * 80 + Report.Install.size() * 80);
    json += L"[{";
    AppendMember(json, L"cate", L"memory", true);
    AppendMember(json, L"old", std::to_wstring(Report.OldAvail));
    AppendMember(json, L"new", std::to_wstring(Report.NewAvail));
    AppendMember(json, L"tot", std::to_wstring(Report.Total));
    json += L'}';
    for (const TReportProcess& process : Report.Processes) {
        json += L",{";
        AppendMember(json, L"cate", L"clean", true);
        AppendMember(json, L"file", JsonEscape(ShortenPath(process.FileName)));
        AppendMember(json, L"state", std::to_wstring(static_cast<int32_t>(process.State)));
        json += L'}';
    }
    if (Report.HasStartupPage) {
        for (const TReportStartup& entry : Report.Startup) {
            json += L",{";
            AppendMember(json, L"cate", L"start", true);
            AppendMember(json, L"item", JsonEscape(entry.Target));
            AppendMember(json, L"from", AutorunSourceText(entry.From));
            json += L'}';
        }
    }
    if (Report.HasInstallPage) {
        for (const TReportInstall& program : Report.Install) {
            json += L",{";
            AppendMember(json, L"cate", L"install", true);
            AppendMember(json, L"displayname", JsonEscape(program.DisplayName));
            AppendMember(json, L"publisher", JsonEscape(program.Publisher));
            json += L'}';
        }
    }
    json += L']';
    return json;
}

std::wstring PostJson(const std::wstring& URL, const std::wstring& Body) {
    THTTP http;
    http.SetCustomHeaders(L"User-Version", GetAppVersion(L"%d.%d.%d.%d"));
    http.SetCustomHeaders(L"User-Union", GetUserID());
    if (Body.empty()) return http.Get(URL);
    http.SetContentType(L"application/json");
    return http.Post(URL, Body);
}

std::wstring ReportID(const std::wstring& Reply) {
    return ExtractBetween(Reply, L"\"pk\":\"", L"\"");
}

std::wstring ReportPageURL(const std::wstring& ID) {
    // An id of URL-safe characters comes out unchanged.
    return ServiceAddress(kReportPagePath) + PercentEncode(ID);
}

std::wstring SendUsageReport(const TUsageReport& Report) {
    return ReportID(PostJson(ServiceAddress(kReportPath), BuildReportJson(Report)));
}

void OpenReportPage(const std::wstring& ID) {
    if (!ID.empty()) ShellOpenUrl(ReportPageURL(ID));
}

std::vector<TReportStartup> ReportEntries(const TAutorunList& List) {
    std::vector<TReportStartup> entries;
    entries.reserve(List.size());
    for (const TAutorunInfo& info : List) entries.push_back({info.Target, info.From});
    return entries;
}

std::vector<TReportInstall> ReportEntries(const TInstallList& List) {
    std::vector<TReportInstall> entries;
    entries.reserve(List.size());
    for (const TInstallInfo& info : List) entries.push_back({info.DisplayName, info.Publisher});
    return entries;
}

TUsageReport MakeUsageReport(const TCleanRun& Run, TReportPages Pages) {
    TUsageReport report;
    static_cast<TReportPages&>(report) = std::move(Pages);
    report.OldAvail = Run.OldAvailMemory;
    report.NewAvail = GetAvailMemory();
    report.Total = GetTotalMemory();
    report.Processes.reserve(Run.ProcessList.size());
    for (const TProcessInfo& info : Run.ProcessList) report.Processes.push_back({info.FileName, info.State});
    return report;
}

std::function<std::wstring(TCleanRun&)> UsageReportHook(std::function<TReportPages()> Pages) {
    return [Pages = std::move(Pages)](TCleanRun& Run) {
        TReportPages pages;
        if (Pages) Synchronize([&] { pages = Pages(); });
        return SendUsageReport(MakeUsageReport(Run, std::move(pages)));
    };
}

} // namespace tidora
