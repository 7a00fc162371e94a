#pragma once
// The usage report sent at the end of a cleaning run: the memory figures, every
// process of the run with its outcome, and the startup entries and installed
// programs of the pages the user opened. The service answers with a report id
// whose page is then opened in the browser.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/Clean.h"
#include "lib/Autorun.h"
#include "lib/Install.h"
#include "service/Transport.h"
#include "service/Service.h"

namespace tidora {

// Plain copies of what the report reads, taken on the worker thread so that
// the UI thread may reload a page meanwhile.
struct TReportProcess {
    std::wstring FileName;  // full image path or bare executable name
    TProcessState State = TProcessState::Collected;
};
struct TReportStartup {
    std::wstring Target;
    TAutorunSource From = TAutorunSource::MachineRun;
};
struct TReportInstall {
    std::wstring DisplayName, Publisher;
};

// What the report takes from the Startup and Bundle pages, when they exist.
struct TReportPages {
    bool HasStartupPage = false;  // the user opened the Startup page
    std::vector<TReportStartup> Startup;
    bool HasInstallPage = false;  // the user opened the Bundle page
    std::vector<TReportInstall> Install;
};

struct TUsageReport : TReportPages {
    int64_t OldAvail = 0;  // available physical memory in bytes at the click
    int64_t NewAvail = 0;  // after the purge
    int64_t Total = 0;
    std::vector<TReportProcess> Processes;
};

// The report as one compact JSON array; every value is a string and the text
// is pure ASCII (so it is its own UTF-8), made in one buffer of its final size.
std::string BuildReportJson(const TUsageReport& Report);
// The same text's length, and the text handed to Send in pieces of a fixed
// size (false when Send refused one), as the report is posted.
size_t ReportJsonSize(const TUsageReport& Report);
bool WriteReportJson(const TUsageReport& Report, const TBodyPiece& Send);

// Posts Body as JSON with the service headers (a GET when Body is empty) and
// returns the reply, or the transport's error text when none came.
std::wstring PostJson(const std::wstring& URL, const std::wstring& Body);
// The same with a body already in UTF-8, sent without a copy.
std::wstring PostJson(const std::wstring& URL, const std::string& Utf8Body);
// Posts the report as JSON with the service headers, written in pieces.
std::wstring PostReport(const std::wstring& URL, const TUsageReport& Report);

// The id after "pk":" in a reply, up to the next unescaped quote, unchanged;
// "" when there is none.
std::wstring ReportID(const std::wstring& Reply);

// The report page of an id; any character outside the URL-safe set is
// percent-encoded so that an id cannot change the address around it.
std::wstring ReportPageURL(const TService& Service, const std::wstring& ID);

// Worker thread: builds, sends to Service and reads the id of a report.
std::wstring SendUsageReport(const TService& Service, const TUsageReport& Report);

// UI thread: opens the page of a non-empty id in the browser through Platform.
void OpenReportPage(const TService& Service, const std::wstring& ID, const TPlatform& Platform);

// What the report reads of the Startup page's entries and the Bundle page's
// programs (copies, taken on the UI thread).
std::vector<TReportStartup> ReportEntries(const TAutorunList& List);
std::vector<TReportInstall> ReportEntries(const TInstallList& List);

// The report of a cleaning run: the memory at the click, the memory measured
// now, every process with its final state, and the pages' entries.
TUsageReport MakeUsageReport(const TCleanRun& Run, TReportPages Pages);

// The cleaning run's report hook (TCleanRun::Report). On the worker thread it
// has Pages copy the pages' lists on the UI thread, so that a page created or
// reloaded meanwhile is seen wholly before or after the change; then it builds
// and sends the report to Service and returns the report id. Pages may be
// empty: no page exists. The run's final step opens the id with
// OpenReportPage.
std::function<std::wstring(TCleanRun&)> UsageReportHook(TService Service, std::function<TReportPages()> Pages);

} // namespace tidora
