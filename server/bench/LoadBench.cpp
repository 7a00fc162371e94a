// Posts reports to the real server program from many connections on
// loopback, then kills it with SIGKILL in the middle of a second load and
// restarts it. Prints throughput, latencies, and what survived. Bounded in
// count and time; every server it starts is stopped.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "Support.h"

using namespace tidora::server;
using namespace tidora::server::test;

namespace {

// Every acknowledged report as a page from the server and, read back from the
// database, equal to what was sent.
void Verify(const char* phase, int port, const std::string& db, const LoadOutcome& load) {
  httplib::Client client("127.0.0.1", port);
  size_t readable = 0;
  for (const auto& acked : load.acked) {
    auto page = client.Get("/?report=" + acked.id);
    readable += page && page->status == 200;
  }
  auto opened = OpenStore(db);
  Store& store = *opened;
  std::string detail;
  size_t unfaithful = CountUnfaithful(store, load.acked, detail);
  std::printf("  %s: %zu of %zu acknowledged reports readable as pages, %zu missing or "
              "changed in the database, %lld stored in all, integrity %s\n%s",
              phase, readable, load.acked.size(), unfaithful,
              static_cast<long long>(store.ReportCount()), store.IntegrityCheck().c_str(),
              detail.c_str());
}

void PrintLoad(const char* phase, const LoadOutcome& load) {
  std::printf("  %s: %zu attempted, %zu acknowledged, %zu failed in %.2f s = %.0f reports/s\n",
              phase, load.attempted, load.acked.size(), load.failed, load.seconds,
              load.seconds > 0 ? load.acked.size() / load.seconds : 0.0);
  std::printf("  latency ms: p50 %.2f  p95 %.2f  p99 %.2f  max %.2f\n",
              Percentile(load.latencyMs, 50), Percentile(load.latencyMs, 95),
              Percentile(load.latencyMs, 99), Percentile(load.latencyMs, 100));
}

LoadOutcome Load(const LoadSettings& settings, int port, size_t connections, size_t reports) {
  LoadPlan plan;
  plan.port = port;
  plan.connections = connections;
  plan.reports = reports;
  plan.limit = std::chrono::seconds(settings.seconds);
  return PostLoad(plan);
}

}  // namespace

int main(int argc, char** argv) {
  const LoadSettings settings = ParseLoadSettings(argc, argv, {10000, 16, 16, 60});
  const std::string threads = std::to_string(settings.threads);
  std::printf("LoadBench: %zu reports per load, %zu connections, %d server threads, "
              "time limit %d s per load, database on disk with synchronous=FULL\n",
              settings.reports, settings.connections, settings.threads, settings.seconds);
  std::printf("report body: %zu to %zu bytes\n", WriteReport(SampleReport(4)).size(),
              WriteReport(SampleReport(2)).size());

  TempDir dir;
  {
    std::printf("1. steady load\n");
    std::string db = dir.Path("steady.db");
    ServerProcess server({"--db", db, "--threads", threads});
    LoadOutcome load = Load(settings, server.Port(), settings.connections, settings.reports);
    PrintLoad("posted", load);
    Verify("checked", server.Port(), db, load);
  }
  {
    size_t crowd = std::min<size_t>(settings.connections * 4, 256);
    std::printf("2. %zu connections on %d server threads\n", crowd, settings.threads);
    std::string db = dir.Path("crowd.db");
    ServerProcess server({"--db", db, "--threads", threads});
    LoadOutcome load = Load(settings, server.Port(), crowd, settings.reports / 2);
    PrintLoad("posted", load);
    Verify("checked", server.Port(), db, load);
  }
  {
    std::printf("3. SIGKILL half-way through a load, then a restart on the same database\n");
    std::string db = dir.Path("killed.db");
    auto server = std::make_unique<ServerProcess>(std::vector<std::string>{"--db", db, "--threads", threads});
    LoadPlan plan;
    plan.port = server->Port();
    plan.connections = settings.connections;
    plan.reports = settings.reports;
    plan.limit = std::chrono::seconds(settings.seconds);
    plan.stopOnError = true;
    std::atomic<bool> killed{false};
    plan.onAck = [&](size_t acked) {
      if (acked >= settings.reports / 2 && !killed.exchange(true)) server->Kill();
    };
    LoadOutcome load = PostLoad(plan);
    PrintLoad(killed ? "posted until the kill" : "posted (load ended before the kill)", load);
    std::printf("  %zu posts were in flight or refused when the server died\n", load.failed);
    server = std::make_unique<ServerProcess>(std::vector<std::string>{"--db", db, "--threads", threads});
    Verify("after restart", server->Port(), db, load);
    auto after = httplib::Client("127.0.0.1", server->Port())
                     .Post("/report.php", WriteReport(SampleReport(1)), "application/json");
    std::printf("  restarted server takes a new report: %s\n",
                after && after->status == 200 ? "yes" : "NO");
  }
  return 0;
}
