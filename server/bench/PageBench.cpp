// Page times with many stored reports: our own generator fills a database
// with reports spread over the last 60 days (users who keep their startup
// entries and programs from report to report, popular and rare entries,
// black-listed add-ons), then the real server program serves report and
// entry pages on 127.0.0.1 and the median and tail times are printed with
// the database's plan for each query behind them.
//
// The filled database is kept in the build tree (bench/pages-<n>.db with its
// ids beside it) and used again by later runs; --fresh fills a new one.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>

#include "BlackList.h"
#include "Crowd.h"
#include "Html.h"
#include "Support.h"

using namespace tidora::server;
using namespace tidora::server::test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kGeneratorVersion = 1;
constexpr size_t kEntryPool = 2000;
constexpr size_t kProgramPool = 3000;
const char* const kAddOns[] = {"AhnLab Safe Transaction", "INISAFE SandBox", "Veraport G3",
                               "nProtect Online Security", "TouchEn nxKey with E2E for 32bit",
                               "IPinside LWS Agent", "MagicLine4NP", "Delfino G3 (x86)"};
const double kAddOnShare[] = {0.45, 0.30, 0.25, 0.20, 0.15, 0.08, 0.03, 0.004};

struct Settings {
  size_t reports = 100000;
  size_t users = 25000;
  size_t fetches = 400;
  bool fresh = false;
};

// Popular entries have small numbers: k = pool * u^3 puts most draws low.
size_t Skewed(std::mt19937_64& random, size_t pool) {
  double u = std::uniform_real_distribution<double>(0, 1)(random);
  return std::min(pool - 1, static_cast<size_t>(pool * u * u * u));
}

std::string EntryItem(size_t k, bool variant) {
  if (k < 150) return "Svc" + std::to_string(k);  // services: the name is the target
  if (k % 5 == 0) return "\\Vendor" + std::to_string(k) + "\\Update Task " + std::to_string(k);
  return std::string(variant ? "HKLM\\SOFTWARE\\WOW6432Node" : "HKLM\\SOFTWARE") +
         "\\Microsoft\\Windows\\CurrentVersion\\Run\\App" + std::to_string(k);
}

const char* EntrySource(size_t k) { return k < 150 ? "SERV" : k % 5 == 0 ? "SCHE" : "HKLM"; }

// One user's machine: what it lists is the same in each of its reports,
// but for a few entries that come and go.
UsageReport GenerateReport(size_t user, std::mt19937_64& random) {
  std::mt19937_64 machine(user * 7919 + 17);
  UsageReport report;
  const int64_t gb = 1ll << 30;
  report.memTotal = (int64_t{4} << (machine() % 3)) * gb;
  report.memOld = static_cast<int64_t>(report.memTotal * (0.1 + 0.3 * (random() % 1000) / 1000.0));
  int64_t freed = static_cast<int64_t>((random() % 2000) * (1ll << 20) * (random() % 3 + 1) / 3);
  if (random() % 20 == 0) freed = -static_cast<int64_t>(random() % (200ll << 20));
  report.memNew = std::clamp<int64_t>(report.memOld + freed, 0, report.memTotal);

  size_t processes = 20 + machine() % 40;
  for (size_t i = 0; i < processes; ++i) {
    unsigned roll = random() % 100;
    ProcessOutcome outcome = roll < 70 ? ProcessOutcome::Ended
                             : roll < 95 ? ProcessOutcome::Kept
                                         : ProcessOutcome::StillRunning;
    report.processes.push_back({"%ProgramFiles%\\Vendor " + std::to_string(machine() % 500) +
                                    "\\proc" + std::to_string(i) + ".exe",
                                outcome});
  }
  if (random() % 100 < 40) {  // the user opened the Startup page
    size_t count = 15 + machine() % 20;
    for (size_t i = 0; i < count; ++i) {
      size_t k = Skewed(machine, kEntryPool);
      if (random() % 50 == 0) continue;
      report.startups.push_back({EntryItem(k, machine() % 4 == 0), EntrySource(k),
                                 SwitchState::Unknown});
    }
  }
  if (random() % 100 < 30) {  // the Bundle page
    size_t count = 25 + machine() % 30;
    for (size_t i = 0; i < count; ++i) {
      size_t k = Skewed(machine, kProgramPool);
      report.installs.push_back({"Program " + std::to_string(k), "Publisher " + std::to_string(k % 97)});
    }
    for (size_t a = 0; a < std::size(kAddOns); ++a)
      if (std::uniform_real_distribution<double>(0, 1)(machine) < kAddOnShare[a])
        report.installs.push_back({kAddOns[a] + std::string(" ") + std::to_string(machine() % 3),
                                   "Vendor"});
  }
  return report;
}

std::string UserId(size_t user) {
  char id[40];
  std::snprintf(id, sizeof id, "%016zX%016zX", user * 2654435761u, user);
  return id;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Fills the database from 64 threads, so that group commit writes many
// reports per transaction. Returns the ids, in no particular order.
std::vector<std::string> Fill(const std::string& db, const Settings& settings, int64_t now) {
  auto store = OpenStore(db, 4);
  std::atomic<size_t> next{0};
  std::mutex mutex;
  std::vector<std::string> ids;
  auto started = Clock::now();
  auto work = [&] {
    for (;;) {
      size_t n = next++;
      if (n >= settings.reports) return;
      std::mt19937_64 random(n * 104729 + 3);
      size_t user = Skewed(random, settings.users) * 3 % settings.users;
      // Spread over 60 days, more of them lately.
      int64_t ago = static_cast<int64_t>(60 * 86400 * std::pow(std::uniform_real_distribution<double>(0, 1)(random), 1.5));
      std::string id = store->AddReport(GenerateReport(user, random),
                                        {"1.0.0.1", n % 50 == 0 ? "" : UserId(user), now - ago});
      std::lock_guard<std::mutex> lock(mutex);
      ids.push_back(id);
      if (ids.size() % 10000 == 0)
        std::printf("  %zu reports stored (%.0f s)\n", ids.size(),
                    std::chrono::duration<double>(Clock::now() - started).count());
      std::fflush(stdout);
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 64; ++i) threads.emplace_back(work);
  for (auto& thread : threads) thread.join();
  std::printf("  filled in %.0f s\n", std::chrono::duration<double>(Clock::now() - started).count());
  return ids;
}

struct Timing {
  std::vector<double> ms;
  size_t failed = 0;
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p / 100 * (values.size() - 1) + 0.5)];
}

void Print(const char* what, const Timing& timing, double target) {
  double median = Percentile(timing.ms, 50);
  std::printf("  %-34s n=%-4zu median %6.2f ms  p90 %6.2f  p99 %6.2f  max %6.2f  failed %zu"
              "  (median/target %.2f)\n",
              what, timing.ms.size(), median, Percentile(timing.ms, 90),
              Percentile(timing.ms, 99), Percentile(timing.ms, 100), timing.failed,
              median / target);
}

void Fetch(httplib::Client& client, const std::string& path, Timing& timing,
           const char* language = "ko-KR,ko;q=0.9") {
  auto sent = Clock::now();
  auto reply = client.Get(path, {{"Accept-Language", language}});
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
  if (!reply || reply->status != 200) ++timing.failed;
  else timing.ms.push_back(ms);
}

std::string EntryPath(size_t k) {
  StartRecord record{EntryItem(k, false), EntrySource(k), SwitchState::Unknown};
  EntryKey key = EntryKeyOf(record);
  return "/entry/" + key.source + "/" + EncodeSegment(key.name);
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--fresh")) settings.fresh = true;
    else if (i + 1 < argc && !std::strcmp(argv[i], "--reports"))
      settings.reports = std::clamp<long>(std::atol(argv[++i]), 100, 200000);
    else if (i + 1 < argc && !std::strcmp(argv[i], "--fetches"))
      settings.fetches = std::clamp<long>(std::atol(argv[++i]), 10, 5000);
  }
  const int64_t now = std::time(nullptr);
  const std::string db = std::string(TIDORA_BENCH_DIR) + "/pages-v" +
                         std::to_string(kGeneratorVersion) + "-" +
                         std::to_string(settings.reports) + ".db";
  const std::string idFile = db + ".ids";
  std::printf("PageBench: %zu reports from up to %zu users over 60 days, %zu fetches per page "
              "kind, server on 127.0.0.1, SQLite store\n",
              settings.reports, settings.users, settings.fetches);

  std::vector<std::string> ids;
  if (!settings.fresh && Exists(db) && Exists(idFile)) {
    std::ifstream in(idFile);
    for (std::string id; std::getline(in, id);) ids.push_back(id);
    std::printf("using the database filled before: %s\n", db.c_str());
  }
  if (ids.size() != settings.reports) {
    for (const char* suffix : {"", "-wal", "-shm", ".ids"}) std::remove((db + suffix).c_str());
    std::printf("filling %s\n", db.c_str());
    ids = Fill(db, settings, now);
    std::ofstream out(idFile);
    for (const auto& id : ids) out << id << '\n';
  }

  {
    auto store = OpenStore(db, 1);
    std::printf("stored: %lld reports\n", static_cast<long long>(store->ReportCount()));
    std::printf("query plans (EXPLAIN QUERY PLAN):\n");
    for (const auto& [sql, plan] : store->PagePlans())
      std::printf("  %s\n    -> %s\n", sql.c_str(), plan.c_str());
  }

  ServerProcess server({"--db", db, "--threads", "4"});
  httplib::Client client("127.0.0.1", server.Port());
  client.set_keep_alive(true);
  client.set_read_timeout(30);

  std::mt19937_64 random(12345);
  // Warm the file cache as a running service would have it.
  Timing warm;
  for (size_t i = 0; i < 50; ++i) Fetch(client, "/?report=" + ids[random() % ids.size()], warm);

  Timing reports, rich, popular, middling, rare;
  for (size_t i = 0; i < settings.fetches; ++i) {
    const std::string& id = ids[random() % ids.size()];
    Fetch(client, "/?report=" + id, reports);
  }
  // Reports with both lists: the most queries per page.
  {
    auto store = OpenStore(db, 1);
    size_t found = 0;
    for (size_t i = 0; i < ids.size() && found < settings.fetches; ++i) {
      const std::string& id = ids[(i * 7919) % ids.size()];
      auto stored = store->LoadReport(id);
      if (!stored || stored->report.startups.empty() || stored->report.installs.empty()) continue;
      ++found;
      Fetch(client, "/?report=" + id, rich, i % 2 ? "en" : "ko");
    }
  }
  for (size_t i = 0; i < settings.fetches; ++i) {
    Fetch(client, EntryPath(random() % 20), popular);
    Fetch(client, EntryPath(150 + random() % 200), middling);
    Fetch(client, EntryPath(1200 + random() % 800), rare);
  }
  std::printf("page times over loopback HTTP (target: median under 50 ms):\n");
  Print("report page, any report", reports, 50);
  Print("report page, startups and programs", rich, 50);
  Print("entry page, 20 most common entries", popular, 50);
  Print("entry page, middling entries", middling, 50);
  Print("entry page, rare entries", rare, 50);
  return 0;
}
