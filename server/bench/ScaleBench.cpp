// Reports/s and latency percentiles of the service on each road, in one run
// on this machine: one instance on SQLite, one on PostgreSQL, one and two on
// PostgreSQL behind nginx (TLS). Each load posts the same reports from the
// same number of connections; afterwards every acknowledged report is read
// back from the database and compared with what was sent. Loopback only,
// bounded in count and time; everything it starts is stopped.
//
//   ScaleBench [--reports N] [--connections N] [--threads N] [--seconds N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "Support.h"

using namespace tidora::server;
using namespace tidora::server::test;

namespace {

struct Row {
  std::string road;
  LoadOutcome load;
  size_t lost = 0;
};

Row Measure(const std::string& road, const LoadSettings& settings, int port, bool tls,
            const std::string& location) {
  LoadPlan plan;
  plan.port = port;
  plan.tls = tls;
  plan.connections = settings.connections;
  plan.reports = settings.reports;
  plan.limit = std::chrono::seconds(settings.seconds);
  Row row{road, PostLoad(plan), 0};
  std::string detail;
  row.lost = CountUnfaithful(*OpenStore(location), row.load.acked, detail);
  std::fputs(detail.c_str(), stdout);
  std::printf("  %-38s done\n", road.c_str());
  std::fflush(stdout);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  const LoadSettings settings = ParseLoadSettings(argc, argv, {3000, 16, 16, 120});
  std::printf("ScaleBench: %zu reports per road from %zu keep-alive connections, %d threads "
              "per instance, report bodies %zu to %zu bytes; durable commits everywhere "
              "(SQLite synchronous=FULL, PostgreSQL synchronous_commit=on)\n",
              settings.reports, settings.connections, settings.threads,
              WriteReport(SampleReport(4)).size(), WriteReport(SampleReport(2)).size());
  const std::vector<std::string> threads = {"--threads", std::to_string(settings.threads)};
  auto instance = [&](const std::string& location) {
    std::vector<std::string> args = {"--db", location};
    args.insert(args.end(), threads.begin(), threads.end());
    return std::make_unique<ServerProcess>(args);
  };

  PostgresServer postgres;
  std::vector<Row> rows;
  {
    StorePlace place(Backend::Sqlite);
    auto one = instance(place.Location());
    rows.push_back(Measure("1 instance, SQLite", settings, one->Port(), false, place.Location()));
  }
  {
    StorePlace place(Backend::Postgres);
    auto one = instance(place.Location());
    rows.push_back(
        Measure("1 instance, PostgreSQL", settings, one->Port(), false, place.Location()));
  }
  {
    StorePlace place(Backend::Postgres);
    auto one = instance(place.Location());
    FrontDoor nginx({one->Port()});
    rows.push_back(Measure("1 instance, PostgreSQL, nginx (TLS)", settings, nginx.Port(), true,
                           place.Location()));
  }
  {
    StorePlace place(Backend::Postgres);
    auto one = instance(place.Location());
    auto two = instance(place.Location());
    FrontDoor nginx({one->Port(), two->Port()});
    rows.push_back(Measure("2 instances, PostgreSQL, nginx (TLS)", settings, nginx.Port(), true,
                           place.Location()));
  }

  std::printf("\n%-38s %9s %8s %8s %8s %7s %5s\n", "road", "reports/s", "p50 ms", "p95 ms",
              "p99 ms", "failed", "lost");
  for (const Row& row : rows) {
    const LoadOutcome& load = row.load;
    std::printf("%-38s %9.0f %8.2f %8.2f %8.2f %7zu %5zu\n", row.road.c_str(),
                load.seconds > 0 ? load.acked.size() / load.seconds : 0.0,
                Percentile(load.latencyMs, 50), Percentile(load.latencyMs, 95),
                Percentile(load.latencyMs, 99), load.failed + (settings.reports - load.attempted),
                row.lost);
  }
  const double base = rows[0].load.seconds > 0 ? rows[0].load.acked.size() / rows[0].load.seconds : 0;
  if (base > 0)
    for (const Row& row : rows)
      std::printf("%-38s %.2fx the SQLite instance\n", row.road.c_str(),
                  row.load.acked.size() / row.load.seconds / base);
  return 0;
}
