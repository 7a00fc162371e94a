// The store's behaviours, one suite run against every back end: persistence,
// concurrent use, several instances on one database, refusal of what is no
// database.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "Support.h"

namespace tidora::server::test {
namespace {

class StoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (!StorePlace::Available(GetParam()))
      GTEST_SKIP() << BackendName(GetParam()) << " is not available to this run";
    place_ = std::make_unique<StorePlace>(GetParam());
  }
  std::unique_ptr<Store> Open(size_t connections = 4) {
    return OpenStore(place_->Location(), connections);
  }

  std::unique_ptr<StorePlace> place_;
};

TEST_P(StoreTest, ReportsAndSettingsSurviveReopening) {
  std::vector<std::string> ids;
  {
    auto store = Open();
    for (size_t seed = 0; seed < 4; ++seed)
      ids.push_back(store->AddReport(SampleReport(seed), {"1.2.3.4", "U", 100 + int64_t(seed)}));
    store->ChangeSettings({{"update", "\"https://localhost/x\""}, {"notify", "\"https://a\""},
                           {"notify", ""}});
    store->RecordHold("1.0.0.1", 5);
  }
  auto store = Open();
  EXPECT_EQ(store->ReportCount(), 4);
  for (size_t seed = 0; seed < 4; ++seed) {
    auto stored = store->LoadReport(ids[seed]);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->report == SampleReport(seed));
    EXPECT_EQ(stored->origin.received, 100 + int64_t(seed));
    EXPECT_EQ(stored->origin.version, "1.2.3.4");
    EXPECT_EQ(stored->origin.userId, "U");
  }
  EXPECT_FALSE(store->LoadReport("AAAAAAAAAAAAAAAAAAAAAAAA"));
  EXPECT_EQ(store->Settings(),
            (std::map<std::string, std::string>{{"update", "\"https://localhost/x\""}}));
  EXPECT_EQ(store->HoldCount(), 1);
  EXPECT_EQ(store->IntegrityCheck(), "ok");
}

TEST_P(StoreTest, ConcurrentWritersAndReadersSeeWholeReports) {
  auto opened = Open(3);
  Store& store = *opened;
  std::mutex mutex;
  std::vector<Acked> written;
  std::atomic<bool> writing{true};
  std::atomic<size_t> partial{0};

  std::vector<std::thread> threads;
  for (size_t w = 0; w < 4; ++w)
    threads.emplace_back([&, w] {
      for (size_t i = 0; i < 25; ++i) {
        size_t seed = w * 100 + i;
        std::string id = store.AddReport(SampleReport(seed), {"1.0.0.1", "U", 1});
        std::lock_guard<std::mutex> lock(mutex);
        written.push_back({id, seed});
      }
    });
  // Readers load whatever has been acknowledged while writes go on: a report
  // is either absent or whole, never in part.
  for (int r = 0; r < 4; ++r)
    threads.emplace_back([&] {
      while (writing) {
        Acked last;
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (written.empty()) continue;
          last = written.back();
        }
        auto stored = store.LoadReport(last.id);
        if (!stored || !(stored->report == SampleReport(last.seed))) ++partial;
      }
    });
  for (size_t w = 0; w < 4; ++w) threads[w].join();
  writing = false;
  for (size_t r = 4; r < threads.size(); ++r) threads[r].join();

  EXPECT_EQ(partial, 0u);
  std::string detail;
  EXPECT_EQ(CountUnfaithful(store, written, detail), 0u) << detail;
  EXPECT_EQ(store.ReportCount(), 100);
}

// Instances that start together on a fresh database all bring it up, and
// each at once sees what another wrote: nothing is kept in memory.
TEST_P(StoreTest, InstancesOnOneDatabaseAnswerAlike) {
  std::vector<std::unique_ptr<Store>> stores(4);
  std::vector<std::thread> starting;
  std::atomic<int> failed{0};
  for (auto& store : stores)
    starting.emplace_back([&] {
      try {
        store = Open(2);
      } catch (const StoreError&) {
        ++failed;
      }
    });
  for (auto& thread : starting) thread.join();
  ASSERT_EQ(failed, 0);

  std::string id = stores[0]->AddReport(SampleReport(7), {"1.0.0.1", "U", 9});
  stores[1]->ChangeSettings({{"name_black", R"(["a.exe"])"}});
  stores[2]->RecordHold("1.0.0.1", 10);
  for (auto& store : stores) {
    auto stored = store->LoadReport(id);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->report == SampleReport(7));
    EXPECT_EQ(store->Settings().at("name_black"), R"(["a.exe"])");
    EXPECT_EQ(store->HoldCount(), 1);
    EXPECT_EQ(store->ReportCount(), 1);
  }
}

TEST_P(StoreTest, EntryFiguresCountReportsUsersAndSwitchStates) {
  auto store = Open();
  auto withEntry = [](const std::string& item, SwitchState state) {
    UsageReport report = SampleReport(4);  // no startup list of its own
    report.startups = {{item, "HKCU", state}, {item, "HKCU", state}};
    return report;
  };
  const std::string run = "HKCU\\Run\\";
  store->AddReport(withEntry(run + "Updater", SwitchState::Unknown), {"", "U1", 300});
  store->AddReport(withEntry(run + "Updater", SwitchState::Off), {"", "U2", 100});
  store->AddReport(withEntry(run + "UPDATER", SwitchState::On), {"", "U1", 200});
  store->AddReport(withEntry(run + "Updater", SwitchState::Off), {"", "", 400});
  store->AddReport(withEntry(run + "Updater2", SwitchState::Off), {"", "U3", 500});

  EntryStats stats = store->LoadEntry("hkcu", "updater", 0, 0, 2);
  EXPECT_EQ(stats.reports, 4);
  EXPECT_EQ(stats.users, 2);  // an unknown sender is no user
  EXPECT_EQ(stats.recentUsers, 2);
  EXPECT_EQ(stats.listUsers, 3);
  EXPECT_EQ(stats.switchKnown, 3);
  EXPECT_EQ(stats.switchedOff, 2);
  EXPECT_EQ(stats.firstDay, 0);
  EXPECT_EQ(stats.lastDay, 0);
  EXPECT_EQ(stats.weekly, (std::vector<int64_t>{0, 4}));
  ASSERT_EQ(stats.targets.size(), 2u);
  EXPECT_EQ(stats.targets[0].item, run + "Updater");
  EXPECT_EQ(stats.targets[0].reports, 3);
  EXPECT_EQ(stats.targets[0].users, 2);
  EXPECT_EQ(stats.targets[1].item, run + "UPDATER");
  EXPECT_EQ(stats.targets[1].reports, 1);
  EXPECT_EQ(store->LoadEntry("hkcu", "never", 0, 0, 2).reports, 0);
}

TEST_P(StoreTest, WhatIsNoDatabaseIsRefused) {
  EXPECT_THROW(OpenStore(place_->Unusable()), StoreError);
  if (GetParam() == Backend::Sqlite) {
    std::string junk = place_->Location() + ".junk";
    std::ofstream(junk) << std::string(8192, 'x');
    EXPECT_THROW(OpenStore(junk), StoreError);
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                           return std::string(BackendName(info.param));
                         });

}  // namespace
}  // namespace tidora::server::test
