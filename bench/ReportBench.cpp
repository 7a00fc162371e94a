// The usage report: writing its JSON as it is posted (measured, then handed
// over in pieces of a fixed size) must stay linear in the number of records
// (from 1,000 records on, where the records no longer fit in the processor's
// cache), and building and posting it together may add at most about one copy
// of the body (its UTF-8 form) to what the program holds. Heap figures count every allocation made
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
#include "bench/Clock.h"
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

struct TTiming {
    double Pieces = 0;  // ns per record, measured and handed over in pieces, as posted
    double Whole = 0;   // ns per record, built into one string of the whole body
};

// Best of several timings of a report of `records` records. The records keep
// the 1000:2000:500 mix.
TTiming NanosecondsPerRecord(size_t records) {
    const size_t processes = records * 2 / 7, startup = records * 4 / 7;
    const TUsageReport report = MakeReport(processes, startup, records - processes - startup);
    const int repeats = static_cast<int>(std::max<size_t>(3, 400000 / records));
    size_t length = 0;
    // What the connection would do with a piece: look at every byte once.
    unsigned sum = 0;
    const TBodyPiece send = [&](const char* data, size_t size) {
        for (size_t i = 0; i < size; i += 64) sum += static_cast<unsigned char>(data[i]);
        length += size;
        return true;
    };
    auto best = [&](auto&& build) {
        build();  // warm-up
        double fastest = 1e18;
        for (int trial = 0; trial < 5; ++trial) {
            const double start = bench::Now();
            for (int r = 0; r < repeats; ++r) build();
            fastest = std::min(fastest, (bench::Now() - start) / repeats);
        }
        return fastest * 1e6 / static_cast<double>(records);
    };
    TTiming timing;
    timing.Pieces = best([&] {
        length += ReportJsonSize(report);
        WriteReportJson(report, send);
    });
    timing.Whole = best([&] { length += BuildReportJson(report).size(); });
    if (!length || sum == 1) std::printf("(empty)\n");
    return timing;
}

} // namespace

int wmain() {
    InitializeUnits();

    std::printf("Writing the usage report JSON (best of 5 runs), ns per record\n");
    std::printf("%10s %12s %12s\n", "records", "in pieces", "one string");
    // Small reports live in the processor's cache, body and records, and
    // build faster per record; from 1,000 records on they do not, and the
    // time per record must stay the same up to 100,000. The one-string column
    // is the tests' form: its buffer of the whole body is fresh memory once it
    // is large, which the system hands out page by page.
    const size_t kCached = 1000;
    const size_t sizes[] = {100, 300, 1000, 3000, 10000, 30000, 100000};
    double low = 1e18, high = 0, wholeLow = 1e18, wholeHigh = 0;
    for (size_t records : sizes) {
        const TTiming t = NanosecondsPerRecord(records);
        if (records >= kCached) {
            low = std::min(low, t.Pieces);
            high = std::max(high, t.Pieces);
            wholeLow = std::min(wholeLow, t.Whole);
            wholeHigh = std::max(wholeHigh, t.Whole);
        }
        std::printf("%10zu %12.1f %12.1f%s\n", records, t.Pieces, t.Whole,
                    records < kCached ? "  (records fit in the cache)" : "");
    }
    const double spread = high / low;
    std::printf("in pieces, as posted: time per record from 1,000 to 100,000 records, slowest / fastest: %.2fx "
                "(limit 1.30x): %s\n",
                spread, spread <= 1.3 ? "linear" : "NOT LINEAR");
    std::printf("one string of the whole body (not posted): slowest / fastest %.2fx\n\n", wholeHigh / wholeLow);

    test::TLoopbackServer server;
    if (!server.Ready()) {
        std::printf("loopback server did not start: %s\n", server.Failure().c_str());
        return 1;
    }
    test::TUserHive hive;  // the user id the request sends stays out of the prefix
    const TService service = ServiceAt(server.Url(L""));
    server.Route("/report.php", {{"text", R"({"pk":"bench"})"}});

    for (size_t processes : {1000, 30000}) {
        const TUsageReport report = MakeReport(processes, processes * 2, processes / 2);
        // One warm-up report, so that one-time allocations (the session, the
        // user id, the version resource) are not charged to the measured one.
        PostReport(service.Address(kReportPath), report);
        const long long before = gHeldBytes.load();
        gPeakBytes.store(before);
        double start = bench::Now();
        const size_t size = ReportJsonSize(report);
        const double measureMs = bench::Now() - start;
        start = bench::Now();
        const std::wstring reply = PostReport(service.Address(kReportPath), report);
        const double postMs = bench::Now() - start;
        const long long added = gPeakBytes.load() - before;
        const long long utf8Bytes = static_cast<long long>(size);
        std::printf("Report of %zu processes, %zu startup entries, %zu programs\n", processes, processes * 2,
                    processes / 2);
        std::printf("  body: %lld bytes of UTF-8 (pure ASCII), measured in %.2f ms\n", utf8Bytes, measureMs);
        std::printf("  written and posted in pieces: %.2f ms, reply %s\n", postMs, WideToUtf8(reply).c_str());
        std::printf("  heap held before posting: %lld bytes; peak added while building and posting: %lld bytes\n",
                    before, added);
        std::printf("  peak added / UTF-8 body: %.2f copies (limit: one copy plus request overhead): %s\n",
                    static_cast<double>(added) / static_cast<double>(utf8Bytes),
                    added <= utf8Bytes + 64 * 1024 ? "ok" : "TOO MANY COPIES");
        const bool received = test::BodyOf(server.Requests().back()) == BuildReportJson(report);
        std::printf("  server received the whole body, byte for byte: %s\n", received ? "yes" : "NO");
    }
    return 0;
}
