// Times the Startup page's LoadAutorun on a machine with 2,000 more Run values
// against CollectAutorun alone, which every load runs first. The values start
// 100 distinct programs (copies of the fixture program, with a version
// resource and an icon) and, one in four, files that do not exist; one in five
// is switched off. Measured: the first load of a new page (every row new: the
// product names and icons read), the load when the card is picked again (rows
// found by source and address, their state brought up to date), and F5 (rows
// rebuilt, icons from the page's cache). For contrast, the same merge with a
// scan of the rows per entry. The page's own work is timed on a replay of one
// collection and added to the best collection; loads with a real collection
// are printed beside. Needs DISPLAY and <build>/fixtures/VersionedApp.exe.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/Clock.h"
#include "app/Startup.h"
#include "lib/Autorun.h"
#include "pages/Autorun.h"
#include "system/Handles.h"
#include "system/Path.h"
#include "system/Registry.h"
#include "system/Strings.h"
#include "ui/Form.h"

using namespace tidora;

namespace {

constexpr int kEntries = 2000;
constexpr int kPrograms = 100;
constexpr int kNewPages = 3;
constexpr int kRounds = 5;
constexpr double kTarget = 1.5;
const wchar_t kPrefix[] = L"TidoraPageBench_";
const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kApprovedRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";

using tidora::bench::Now;

template <typename F>
double Time(F&& Work) {
    const double start = Now();
    Work();
    return Now() - start;
}

UniqueHKey OpenWritable(const wchar_t* Key) {
    HKEY raw = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_READ | KEY_WRITE | KEY_WOW64_64KEY, nullptr, &raw,
                    nullptr);
    return UniqueHKey(raw);
}

// Also what an earlier run that was cut short left behind.
void RemoveValues() {
    for (const wchar_t* key : {kRun, kApprovedRun}) {
        TStrings names;
        TReg::ReadValueNames(HKEY_CURRENT_USER, key, names);
        UniqueHKey open = OpenWritable(key);
        for (const std::wstring& name : names)
            if (name.compare(0, wcslen(kPrefix), kPrefix) == 0) RegDeleteValueW(open.get(), name.c_str());
    }
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"tidora_pagebench_" + std::to_wstring(GetCurrentProcessId());
}

bool Fill(const std::wstring& Fixture, const std::wstring& Folder, std::vector<std::wstring>& Copies) {
    CreateDirectoryW(Folder.c_str(), nullptr);
    for (int i = 0; i < kPrograms; ++i) {
        const std::wstring copy = Folder + L"\\app" + std::to_wstring(i) + L".exe";
        if (!CopyFileW(Fixture.c_str(), copy.c_str(), FALSE)) return false;
        Copies.push_back(copy);
    }
    UniqueHKey run = OpenWritable(kRun), approved = OpenWritable(kApprovedRun);
    const std::vector<uint8_t> off = MakeStartupApprovedValue(false);
    for (int i = 0; i < kEntries; ++i) {
        const std::wstring name = kPrefix + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(i);
        const std::wstring command = i % 4 == 3 ? L"C:\\Missing\\tool" + std::to_wstring(i) + L".exe -q"
                                                : L"\"" + Copies[static_cast<size_t>(i % kPrograms)] + L"\" /tray";
        RegSetValueExW(run.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        if (i % 5 == 4)
            RegSetValueExW(approved.get(), name.c_str(), 0, REG_BINARY, off.data(), static_cast<DWORD>(off.size()));
    }
    return true;
}

// The merge of LoadAutorun with a scan of the rows for every entry instead of
// the hash, on lists already collected (no file is read: the rows exist).
double ScanMerge(const TAutorunList& Entries, std::vector<TAutorunItem>& Rows) {
    return Time([&] {
        for (const TAutorunInfo& entry : Entries) {
            for (TAutorunItem& row : Rows) {
                if (row.From == entry.From && row.Target.size() == entry.Target.size() &&
                    SameTextAscii(row.Target, 0, entry.Target, entry.Target.size())) {
                    row.Enabled = entry.Enabled;
                    break;
                }
            }
        }
    });
}

// The page with one collection replayed, so its own work can be timed apart.
class TReplayPage : public TFrmAutorun {
public:
    using TFrmAutorun::TFrmAutorun;
    const TAutorunList* Source = nullptr;

protected:
    void CollectEntries(TAutorunList& List) override { List = *Source; }
};

} // namespace

int wmain() {
    InitializeUnits();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder(self);
    folder.erase(folder.find_last_of(L'\\'));
    const std::wstring fixture = folder + L"\\..\\fixtures\\VersionedApp.exe";
    if (!FileExists(fixture)) {
        std::printf("VersionedApp.exe not found beside the tests' fixtures; build the tests first\n");
        return 1;
    }
    RemoveValues();
    const std::wstring temp = TempFolder();
    std::vector<std::wstring> copies;
    if (!Fill(fixture, temp, copies)) {
        std::printf("cannot copy the fixture program to the temp folder\n");
        return 1;
    }

    TFormOptions options;
    options.ClassName = L"TidoraPageBench";
    TForm form(options);
    TAutorunList list;
    CollectAutorun(list);  // warms the registry, file and service caches
    // The machine's other work makes single collections vary by a factor of
    // two, which would swamp the page's own share. So the page's work is timed
    // on a replay of one collection, and a load is that work plus the best
    // collection; the loads with a real collection are shown beside them.
    double collectMs = 1e30, firstMs = 1e30, againMs = 1e30, rebuildMs = 1e30, scanMs = 1e30;
    double realFirstMs = 1e30, realAgainMs = 1e30, realRebuildMs = 1e30;
    size_t rows = 0;
    for (int round = 0; round < kNewPages; ++round) {
        auto* card = TWindow::Create<TPanel>(&form, L"Replay" + std::to_wstring(round), TBounds{}, TAlign::alClient);
        auto* page = TWindow::Create<TReplayPage>(card, L"FrmAutorun", TBounds{}, TAlign::alClient);
        page->Source = &list;
        firstMs = std::min(firstMs, Time([&] { page->LoadAutorun(); }));
        for (int i = 0; i < kRounds; ++i) {
            collectMs = std::min(collectMs, Time([&] { CollectAutorun(list); }));
            againMs = std::min(againMs, Time([&] { page->LoadAutorun(); }));
            rebuildMs = std::min(rebuildMs, Time([&] { page->ChkAllListClick(); }));
        }
        rows = page->Rows().size();
        std::vector<TAutorunItem> copy = page->Rows();
        scanMs = std::min(scanMs, ScanMerge(list, copy));
        card->Hide();

        card = TWindow::Create<TPanel>(&form, L"Real" + std::to_wstring(round), TBounds{}, TAlign::alClient);
        TFrmAutorun* real = TFrmAutorun::Create(card);
        realFirstMs = std::min(realFirstMs, Time([&] { real->LoadAutorun(); }));
        for (int i = 0; i < kRounds; ++i) {
            realAgainMs = std::min(realAgainMs, Time([&] { real->LoadAutorun(); }));
            realRebuildMs = std::min(realRebuildMs, Time([&] { real->ChkAllListClick(); }));
        }
        card->Hide();
    }
    RemoveValues();
    for (const std::wstring& copy : copies) DeleteFileW(copy.c_str());
    RemoveDirectoryW(temp.c_str());

    auto ratio = [&](double Work) { return (collectMs + Work) / collectMs; };
    std::printf("AutorunPageBench: %d more Run values (%d programs, a quarter missing files, a fifth off); "
                "%u entries collected, %u rows shown\n",
                kEntries, kPrograms, static_cast<unsigned>(list.size()), static_cast<unsigned>(rows));
    std::printf("  CollectAutorun            %8.1f ms\n", collectMs);
    std::printf("  page's work, new page     %8.1f ms  load %5.2fx the collection  (every row new: names and icons read)\n",
                firstMs, ratio(firstMs));
    std::printf("  page's work, card again   %8.1f ms  load %5.2fx  target <= %.2fx  %s\n", againMs, ratio(againMs),
                kTarget, ratio(againMs) <= kTarget ? "ok" : "OVER TARGET");
    std::printf("  page's work, F5           %8.1f ms  load %5.2fx  target <= %.2fx  %s\n", rebuildMs,
                ratio(rebuildMs), kTarget, ratio(rebuildMs) <= kTarget ? "ok" : "OVER TARGET");
    std::printf("  with a real collection:   new page %.1f ms, card again %.1f ms, F5 %.1f ms\n", realFirstMs,
                realAgainMs, realRebuildMs);
    std::printf("  merge by scanning         %8.1f ms  (the rows searched once per entry, for contrast)\n", scanMs);
    std::printf("  (best of %d new pages and %d rounds of the others)\n", kNewPages, kNewPages * kRounds);
    return 0;
}
