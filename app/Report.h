#pragma once
// The usage report sent at the end of a cleaning run: the memory figures, every
// process of the run with its outcome, and the startup entries and installed
// programs of the pages the user opened. The service answers with a report id
// whose page is then opened in the browser.
#include <cstdint>
#include <string>
#include <vector>

namespace tidora {

// Plain copies of what the report reads, taken on the worker thread so that
// the UI thread may reload a page meanwhile.
struct TReportProcess {
    std::wstring FileName;  // full image path or bare executable name
    int32_t State = 1;      // 1 collected, -2 termination requested, -1 terminated
};
struct TReportStartup {
    std::wstring Target, From;
};
struct TReportInstall {
    std::wstring DisplayName, Publisher;
};

struct TUsageReport {
    uint64_t OldAvail = 0;  // available physical memory in bytes at the click
    uint64_t NewAvail = 0;  // after the purge
    uint64_t Total = 0;
    std::vector<TReportProcess> Processes;
    bool HasStartupPage = false;  // the user opened the Startup page
    std::vector<TReportStartup> Startup;
    bool HasInstallPage = false;  // the user opened the Bundle page
    std::vector<TReportInstall> Install;
};

// The report as one compact JSON array; every value is a string and the text
// is pure ASCII.
std::wstring BuildReportJson(const TUsageReport& Report);

// Posts Body as JSON with the service headers (a GET when Body is empty) and
// returns the reply, or the transport's error text when none came.
std::wstring PostJson(const std::wstring& URL, const std::wstring& Body);

// The id after "pk":" in a reply, up to the next unescaped quote, unchanged;
// "" when there is none.
std::wstring ReportID(const std::wstring& Reply);

// The report page of an id; any character outside the URL-safe set is
// percent-encoded so that an id cannot change the address around it.
std::wstring ReportPageURL(const std::wstring& ID);

// Worker thread: builds, sends and reads the id of a report.
std::wstring SendUsageReport(const TUsageReport& Report);

// UI thread: opens the page of a non-empty id in the browser.
void OpenReportPage(const std::wstring& ID);

} // namespace tidora
