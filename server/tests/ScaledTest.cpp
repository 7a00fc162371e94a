// The scaled road: two instances on one PostgreSQL database behind nginx.
// Loopback only, bounded in count and time; every process is stopped at the
// end, also when a check fails.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "Support.h"

namespace tidora::server::test {
namespace {

class ScaledTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!StorePlace::Available(Backend::Postgres))
      GTEST_SKIP() << "no PostgreSQL server for this run";
    place_ = std::make_unique<StorePlace>(Backend::Postgres);
  }
  std::unique_ptr<ServerProcess> Instance() {
    return std::make_unique<ServerProcess>(
        std::vector<std::string>{"--db", place_->Location(), "--threads", "8"});
  }
  size_t Unfaithful(const LoadOutcome& load, std::string& detail) {
    return CountUnfaithful(*OpenStore(place_->Location()), load.acked, detail);
  }

  std::unique_ptr<StorePlace> place_;
};

void Print(const char* what, const LoadOutcome& load) {
  std::printf("%s: %zu acknowledged, %zu failed of %zu in %.2f s; p50 %.1f ms, p99 %.1f ms\n",
              what, load.acked.size(), load.failed, load.attempted, load.seconds,
              Percentile(load.latencyMs, 50), Percentile(load.latencyMs, 99));
}

TEST_F(ScaledTest, EveryAcknowledgedReportSurvivesAnInstanceKilledMidLoad) {
  auto first = Instance();
  auto second = Instance();
  FrontDoor nginx({first->Port(), second->Port()});

  LoadPlan plan;
  plan.port = nginx.Port();
  plan.tls = true;
  plan.connections = 8;
  plan.reports = 400;
  plan.limit = std::chrono::seconds(60);
  LoadOutcome steady = PostLoad(plan);
  Print("two instances", steady);
  EXPECT_EQ(steady.failed, 0u);
  EXPECT_EQ(steady.acked.size(), plan.reports);
  std::string detail;
  EXPECT_EQ(Unfaithful(steady, detail), 0u) << detail;

  // Each instance reads what the other wrote: every report's page comes
  // back through the front door, whichever instance serves it.
  auto client = nginx.Client();
  for (size_t i = 0; i < 20; ++i) {
    auto page = client.Get("/?report=" + steady.acked[i].id);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
  }

  // The same again, with one instance killed half-way.
  std::atomic<bool> killed{false};
  plan.reports = 400;
  plan.onAck = [&](size_t acked) {
    if (acked >= 150 && !killed.exchange(true)) first->Kill();
  };
  int64_t before = OpenStore(place_->Location())->ReportCount();
  LoadOutcome hit = PostLoad(plan);
  Print("one killed", hit);
  ASSERT_TRUE(killed);
  EXPECT_EQ(Unfaithful(hit, detail), 0u) << detail;
  // Only posts in flight at the kill may fail; nginx sends the rest to the
  // survivor, and the clients carry on.
  EXPECT_LE(hit.failed, plan.connections);
  EXPECT_GE(hit.acked.size(), plan.reports - plan.connections);
  // No post was stored twice: nginx never repeats one that reached an
  // instance. At most the failed ones may have been stored unacknowledged.
  int64_t stored = OpenStore(place_->Location())->ReportCount() - before;
  EXPECT_GE(stored, static_cast<int64_t>(hit.acked.size()));
  EXPECT_LE(stored, static_cast<int64_t>(hit.acked.size() + hit.failed));

  auto after = client.Post("/report.php", WriteReport(SampleReport(5)), "application/json");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
  EXPECT_NE(after->body.find("\"pk\":\""), std::string::npos);
}

// Connections that trickle their headers a byte at a time are nginx's to
// hold (and to time out); the instance, with its few worker threads, never
// sees them, so a normal client is served meanwhile.
TEST_F(ScaledTest, SlowClientsDoNotStopANormalOne) {
  auto instance = Instance();  // 8 worker threads
  FrontDoor nginx({instance->Port()});

  std::vector<int> slow;
  for (int i = 0; i < 200; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(nginx.Port()));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      slow.push_back(fd);
    else
      close(fd);
  }
  ASSERT_EQ(slow.size(), 200u);
  // Not even TLS: these clients never finish their first message.
  const std::string head = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03 slow client";
  std::atomic<bool> trickling{true};
  std::thread trickle([&] {
    for (size_t at = 0; trickling && at < head.size(); ++at) {
      for (int fd : slow) (void)!send(fd, &head[at], 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  });

  auto client = nginx.Client();
  for (int i = 0; i < 5; ++i) {
    auto init = client.Get("/api.init.php");
    ASSERT_TRUE(init) << "the front door did not answer while slow clients were connected";
    EXPECT_EQ(init->status, 200);
    auto report = client.Post("/report.php", WriteReport(SampleReport(i)), "application/json");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->status, 200);
  }
  trickling = false;
  trickle.join();
  for (int fd : slow) close(fd);
}

// Reports beyond the per-address rate are turned away by nginx with 429;
// bodies beyond the size limit with 413, before any instance reads them.
TEST_F(ScaledTest, FrontDoorLimitsRateAndSize) {
  auto instance = Instance();
  FrontDoor nginx({instance->Port()}, "1r/m", 3);
  auto client = nginx.Client();
  std::vector<int> statuses;
  for (int i = 0; i < 6; ++i) {
    auto reply = client.Post("/report.php", WriteReport(SampleReport(i)), "application/json");
    statuses.push_back(reply ? reply->status : -1);
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200, 429, 429}));
  auto init = client.Get("/api.init.php");  // only reports are limited
  ASSERT_TRUE(init);
  EXPECT_EQ(init->status, 200);

  FrontDoor roomy({instance->Port()});
  auto huge = roomy.Client().Post("/report.php", std::string(5 << 20, ' '), "application/json");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);
  EXPECT_EQ(OpenStore(place_->Location())->ReportCount(), 4);
}

}  // namespace
}  // namespace tidora::server::test
