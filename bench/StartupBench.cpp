// From process start to the main window shown, painted and waiting for input:
// tidora.exe against the smallest painted Win32 window built the same way.
// Needs a display. Prints medians and their ratio.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "bench/Launch.h"

using namespace tidora;
using namespace tidora::bench;

namespace {

// Milliseconds until the window of Class is visible and its process idle; -1 on failure.
double TimeToWindow(const std::wstring& Exe, const wchar_t* Class) {
    const double start = Now();
    TLaunched launched = LaunchUntilPainted(Exe, Class);
    const double ms = Now() - start;
    const bool shown = launched.Window != nullptr;
    Close(launched);
    return shown ? ms : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int wmain() {
    const std::wstring tidora = BuildPath(L"tidora.exe"), plain = BuildPath(L"helpers/plainwindow.exe");
    constexpr int kRounds = 15;
    constexpr double kTarget = 1.4;
    std::vector<double> ours, bare, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const double b = TimeToWindow(plain, L"TidoraPlainWindow");
        const double o = TimeToWindow(tidora, L"TFrmTidora");
        bare.push_back(b);
        ours.push_back(o);
        if (b > 0 && o > 0) ratios.push_back(o / b);
    }
    std::sort(ratios.begin(), ratios.end());
    const double o = Median(ours), b = Median(bare), r = Median(ratios);
    std::printf("plain window: process start to painted window %8.1f ms (median of %d; %.1f to %.1f)\n", b, kRounds,
                *std::min_element(bare.begin(), bare.end()), *std::max_element(bare.begin(), bare.end()));
    std::printf("tidora.exe:   process start to painted window %8.1f ms (median of %d; %.1f to %.1f)\n", o, kRounds,
                *std::min_element(ours.begin(), ours.end()), *std::max_element(ours.begin(), ours.end()));
    std::printf("ratio of the medians %.2fx; median of the %u rounds' ratios %.2fx (%.2f to %.2f); "
                "target: at most %.2fx: %s\n",
                b > 0 ? o / b : -1.0, static_cast<unsigned>(ratios.size()), r, ratios.empty() ? -1 : ratios.front(),
                ratios.empty() ? -1 : ratios.back(), kTarget, r > 0 && r <= kTarget ? "ok" : "OVER TARGET");
    return 0;
}
