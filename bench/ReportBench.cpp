// The usage report: building its JSON must stay linear in the number of
// records (from 1,000 records on, where the report no longer fits in the
// processor's cache), and building and posting it together may add about one
// copy of the body (its UTF-8 form) to what the program holds. Heap figures count every allocation made
// through operator new (all of the program's strings and buffers); WinHTTP's
// own buffers are the system's and are not counted.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/Report.h"
#include "app/Startup.h"
#include "service/Service.h"
#include "system/Path.h"
#include "system/Strings.h"
#include "tests/TestSupport.h"
#include "tests/service/LoopbackServer.h"

namespace {

std::atomic<long long> gHeldBytes{0};
std::atomic<long long> gPeakBytes{0};

void* Allocate(size_t size) {
    // A header in front of each block remembers its size for the release.
    void* raw = std::malloc(size + 16);
    if (!raw) throw std::bad_alloc();
    *static_cast<size_t*>(raw) = size;
    long long held = gHeldBytes.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size);
    long long peak = gPeakBytes.load();
    while (held > peak && !gPeakBytes.compare_exchange_weak(peak, held)) {
    }
    return static_cast<char*>(raw) + 16;
}

void Release(void* block) {
    if (!block) return;
    void* raw = static_cast<char*>(block) - 16;
    gHeldBytes.fetch_sub(static_cast<long long>(*static_cast<size_t*>(raw)));
    std::free(raw);
}

} // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }

using namespace tidora;

namespace {

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A report shaped like a real one: system paths that shorten to placeholders,
// program paths, Korean names that the escape turns into \u sequences, quotes.
TUsageReport MakeReport(size_t processes, size_t startup, size_t programs) {
    const std::wstring windows = GetFolderPath(CSIDL_WINDOWS);
    TUsageReport report;
    report.OldAvail = 4123456789LL;
    report.NewAvail = 5234567890LL;
    report.Total = 17179869184LL;
    report.HasStartupPage = startup > 0;
    report.HasInstallPage = programs > 0;
    for (size_t i = 0; i < processes; ++i) {
        std::wstring n = std::to_wstring(i);
        switch (i % 3) {
        case 0:
            report.Processes.push_back({windows + L"\\System32\\svchost" + n + L".exe", TProcessState::Collected});
            break;
        case 1:
            report.Processes.push_back(
                {L"C:\\Program Files\\Vendor " + n + L"\\app.exe", TProcessState::Terminated});
            break;
        default:
            report.Processes.push_back(
                {L"\uD504\uB85C\uADF8\uB7A8" + n + L".exe", TProcessState::TerminationRequested});
            break;
        }
    }
    for (size_t i = 0; i < startup; ++i)
        report.Startup.push_back({L"\"C:\\Program Files\\Tool " + std::to_wstring(i) + L"\\tool.exe\" /background",
                                  i % 2 ? TAutorunSource::UserRun : TAutorunSource::Service});
    for (size_t i = 0; i < programs; ++i)
        report.Install.push_back({L"\uD55C\uAE00 \uD504\uB85C\uADF8\uB7A8 " + std::to_wstring(i), L"Publisher, Inc."});
    return report;
}

// Best of several timings of building a report of `records` records, in
// nanoseconds per record. The records keep the 1000:2000:500 mix.
double NanosecondsPerRecord(size_t records) {
    const size_t processes = records * 2 / 7, startup = records * 4 / 7;
    const TUsageReport report = MakeReport(processes, startup, records - processes - startup);
    const int repeats = static_cast<int>(std::max<size_t>(3, 400000 / records));
    double best = 1e9;
    size_t length = 0;
    BuildReportJson(report);  // the heap has the body's size at hand
    for (int trial = 0; trial < 5; ++trial) {
        double start = Seconds();
        for (int r = 0; r < repeats; ++r) length += BuildReportJson(report).size();
        best = std::min(best, (Seconds() - start) / repeats);
    }
    if (!length) std::printf("(empty)\n");
    return best * 1e9 / static_cast<double>(records);
}

} // namespace

int wmain() {
    InitializeUnits();

    std::printf("Building the usage report JSON (best of 5 runs)\n");
    std::printf("%10s %14s\n", "records", "ns/record");
    // Small reports live in the processor's cache, body and records, and
    // build faster per record; from 1,000 records on they do not, and the
    // time per record must stay the same up to 100,000.
    const size_t kCached = 1000;
    const size_t sizes[] = {100, 300, 1000, 3000, 10000, 30000, 100000};
    double low = 1e18, high = 0;
    for (size_t records : sizes) {
        double ns = NanosecondsPerRecord(records);
        if (records >= kCached) {
            low = std::min(low, ns);
            high = std::max(high, ns);
        }
        std::printf("%10zu %14.1f%s\n", records, ns, records < kCached ? "  (fits in the cache)" : "");
    }
    const double spread = high / low;
    std::printf("time per record from 1,000 to 100,000 records, slowest / fastest: %.2fx (limit 1.30x): %s\n\n",
                spread, spread <= 1.3 ? "linear" : "NOT LINEAR");

    test::TLoopbackServer server;
    if (!server.Ready()) {
        std::printf("loopback server did not start: %s\n", server.Failure().c_str());
        return 1;
    }
    test::TUserHive hive;  // the user id the request sends stays out of the prefix
    OverrideServiceURL(server.Url(L""));
    server.Route("/report.php", {{"text", R"({"pk":"bench"})"}});

    const TUsageReport report = MakeReport(1000, 2000, 500);
    // One warm-up report, so that one-time allocations (the session, the
    // user id, the version resource) are not charged to the measured one.
    PostJson(ServiceAddress(kReportPath), BuildReportJson(report));
    const long long before = gHeldBytes.load();
    gPeakBytes.store(before);
    double start = Seconds();
    const std::string body = BuildReportJson(report);
    const double buildMs = (Seconds() - start) * 1000;
    start = Seconds();
    const std::wstring reply = PostJson(ServiceAddress(kReportPath), body);
    const double postMs = (Seconds() - start) * 1000;
    const long long added = gPeakBytes.load() - before;
    const long long utf8Bytes = static_cast<long long>(body.size());
    std::printf("Report of 1000 processes, 2000 startup entries, 500 programs\n");
    std::printf("  body: %lld bytes of UTF-8 (pure ASCII), built in %.2f ms\n", utf8Bytes, buildMs);
    std::printf("  request: %.2f ms, reply %s\n", postMs, WideToUtf8(reply).c_str());
    std::printf("  heap held before building: %lld bytes; peak added while building and posting: %lld bytes\n",
                before, added);
    std::printf("  peak added / UTF-8 body: %.2f copies (limit: one copy plus request overhead): %s\n",
                static_cast<double>(added) / static_cast<double>(utf8Bytes),
                added <= utf8Bytes + 64 * 1024 ? "ok" : "TOO MANY COPIES");
    const bool received = test::BodyOf(server.Requests().back()).size() == static_cast<size_t>(utf8Bytes);
    std::printf("  server received the whole body: %s\n", received ? "yes" : "NO");
    return 0;
}
