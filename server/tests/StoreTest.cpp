// Storage on its own: persistence, concurrent use, a file that is no database.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "Support.h"

namespace tidora::server::test {
namespace {

TEST(StoreTest, ReportsAndSettingsSurviveReopening) {
  TempDir dir;
  std::vector<std::string> ids;
  {
    Store store(dir.Path("s.db"));
    for (size_t seed = 0; seed < 4; ++seed)
      ids.push_back(store.AddReport(SampleReport(seed), {"1.2.3.4", "U", 100 + int64_t(seed)}));
    store.ChangeSettings({{"update", "\"https://localhost/x\""}, {"notify", "\"https://a\""},
                          {"notify", ""}});
    store.RecordHold("1.0.0.1", 5);
  }
  Store store(dir.Path("s.db"));
  EXPECT_EQ(store.ReportCount(), 4);
  for (size_t seed = 0; seed < 4; ++seed) {
    auto stored = store.LoadReport(ids[seed]);
    ASSERT_TRUE(stored);
    EXPECT_TRUE(stored->report == SampleReport(seed));
    EXPECT_EQ(stored->origin.received, 100 + int64_t(seed));
  }
  EXPECT_EQ(store.Settings(),
            (std::map<std::string, std::string>{{"update", "\"https://localhost/x\""}}));
  EXPECT_EQ(store.HoldCount(), 1);
  EXPECT_EQ(store.IntegrityCheck(), "ok");
}

TEST(StoreTest, ConcurrentWritersAndReadersSeeWholeReports) {
  TempDir dir;
  Store store(dir.Path("s.db"), 3);
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

TEST(StoreTest, AFileThatIsNoDatabaseIsRefused) {
  TempDir dir;
  std::ofstream(dir.Path("junk.db")) << std::string(8192, 'x');
  EXPECT_THROW(Store(dir.Path("junk.db")), StoreError);
  EXPECT_THROW(Store(dir.Path("missing-folder/s.db")), StoreError);
}

}  // namespace
}  // namespace tidora::server::test
