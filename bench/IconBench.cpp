// What a page's icon cache costs: 1,000 IconIndex lookups of 50 distinct icon
// locations (each read once, then answered from the cache) against the
// 50 raw icon extractions that reading them needs anyway.
// Needs <build>/fixtures/IconLib.dll (built with the tests).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "bench/Launch.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "ui/ImageCollection.h"

using namespace tidora;

namespace {

constexpr int kCopies = 5;
constexpr int kIconsPerCopy = 10;
constexpr int kLookups = 1000;
constexpr int kRuns = 11;

using tidora::bench::Now;

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// The extraction alone, as IconIndex does it, without cache or collection.
double RawExtractions(const std::vector<std::wstring>& Paths, const std::vector<WORD>& Numbers) {
    const double start = Now();
    for (size_t i = 0; i < Paths.size(); ++i) {
        wchar_t buffer[MAX_PATH] = {};
        Paths[i].copy(buffer, MAX_PATH - 1);
        WORD number = Numbers[i];
        UniqueIcon icon(ExtractAssociatedIconW(GetModuleHandleW(nullptr), buffer, &number));
        if (!icon) std::printf("raw extraction failed for icon %u\n", Numbers[i]);
    }
    return Now() - start;
}

double CachedLookups(const std::vector<std::wstring>& Locations) {
    TIconCache cache;
    TImageCollection images;
    const double start = Now();
    for (int i = 0; i < kLookups; ++i) {
        if (IconIndex(cache, images, Locations[static_cast<size_t>(i) % Locations.size()], -1) < 0)
            std::printf("lookup %d failed\n", i);
    }
    return Now() - start;
}

} // namespace

int wmain() {
    const std::wstring library = bench::FixturePath(L"IconLib.dll");
    if (!FileExists(library)) {
        std::printf("IconLib.dll not found beside the tests' fixtures; build the tests first\n");
        return 1;
    }

    // Five copies of the library with ten icons each: 50 distinct files+numbers.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::vector<std::wstring> copies, paths, locations;
    std::vector<WORD> numbers;
    for (int c = 0; c < kCopies; ++c) {
        const std::wstring copy = std::wstring(temp) + L"tidora_iconbench_" + std::to_wstring(GetCurrentProcessId()) +
                                  L"_" + std::to_wstring(c) + L".dll";
        if (!CopyFileW(library.c_str(), copy.c_str(), FALSE)) {
            std::printf("cannot copy the library to the temp folder\n");
            return 1;
        }
        copies.push_back(copy);
        for (int n = 0; n < kIconsPerCopy; ++n) {
            paths.push_back(copy);
            numbers.push_back(static_cast<WORD>(n));
            locations.push_back(L"\"" + copy + L"\"," + std::to_wstring(n));
        }
    }

    RawExtractions(paths, numbers);  // warm the file cache
    std::vector<double> raw, cached;
    for (int run = 0; run < kRuns; ++run) {
        raw.push_back(RawExtractions(paths, numbers));
        cached.push_back(CachedLookups(locations));
    }
    for (const std::wstring& copy : copies) DeleteFileW(copy.c_str());

    const double rawMs = Median(raw), cachedMs = Median(cached);
    std::printf("raw extractions: %zu icons in %.2f ms (median of %d runs)\n", locations.size(), rawMs, kRuns);
    std::printf("IconIndex: %d lookups of %zu distinct locations in %.2f ms (median of %d runs)\n", kLookups,
                locations.size(), cachedMs, kRuns);
    std::printf("ratio: %.3f (target: at most 1.10)\n", cachedMs / rawMs);
    return 0;
}
