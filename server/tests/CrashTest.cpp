// The real server program killed with SIGKILL in the middle of a load: every
// report it acknowledged must be there, whole, after a restart.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "Support.h"

namespace tidora::server::test {
namespace {

TEST(CrashTest, NoAcknowledgedReportIsLostOrDamagedByAKill) {
  TempDir dir;
  const std::string db = dir.Path("service.db");
  auto server = std::make_unique<ServerProcess>(std::vector<std::string>{"--db", db});

  LoadPlan plan;
  plan.port = server->Port();
  plan.connections = 8;
  plan.reports = 400;
  plan.limit = std::chrono::seconds(60);
  plan.stopOnError = true;
  std::atomic<bool> killed{false};
  plan.onAck = [&](size_t acked) {
    if (acked >= 120 && !killed.exchange(true)) server->Kill();
  };
  LoadOutcome load = PostLoad(plan);
  ASSERT_TRUE(killed) << "the load ended before the kill";
  // Clients mid-request when the server died get no id.
  EXPECT_GT(load.failed, 0u);

  server = std::make_unique<ServerProcess>(std::vector<std::string>{"--db", db});
  auto client = httplib::Client("127.0.0.1", server->Port());
  for (const auto& acked : load.acked) {
    auto page = client.Get("/?report=" + acked.id);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200) << acked.id;
  }
  auto opened = OpenStore(db);
  Store& store = *opened;
  std::string detail;
  EXPECT_EQ(CountUnfaithful(store, load.acked, detail), 0u) << detail;
  EXPECT_EQ(store.IntegrityCheck(), "ok");
  int64_t stored = store.ReportCount();
  EXPECT_GE(stored, static_cast<int64_t>(load.acked.size()));
  std::printf("acknowledged %zu of %zu attempted before and at the kill, %zu failed; "
              "%lld stored after restart, all acknowledged ones intact\n",
              load.acked.size(), load.attempted, load.failed, static_cast<long long>(stored));

  auto after = client.Post("/report.php", WriteReport(SampleReport(1)), "application/json");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
  EXPECT_EQ(server->Stop(), 0);
}

}  // namespace
}  // namespace tidora::server::test
