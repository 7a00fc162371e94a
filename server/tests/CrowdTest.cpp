// The crowd figures: what the store counts as reports arrive, and what the
// pages may show of it, on small fixtures with a fixed clock.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "BlackList.h"
#include "Crowd.h"
#include "Support.h"

namespace tidora::server::test {
namespace {

constexpr int64_t kNow = 1714567890;  // 2024-05-01 12:51 UTC
constexpr int64_t kMB = 1 << 20;

ReportOrigin From(const std::string& user, int64_t daysAgo) {
  return {"1.0.0.1", user, kNow - daysAgo * kSecondsPerDay};
}

UsageReport Freeing(int64_t megabytes) {
  UsageReport report;
  report.memTotal = 8192 * kMB;
  report.memOld = 1024 * kMB;
  report.memNew = report.memOld + megabytes * kMB;
  return report;
}

UsageReport WithStartups(std::vector<std::string> items) {
  UsageReport report = Freeing(100);
  for (auto& item : items) report.startups.push_back({std::move(item), "HKCU", SwitchState::Unknown});
  return report;
}

const std::string kRun = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// Every back end counts alike; one it cannot reach in this run is skipped.
class CrowdTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (!StorePlace::Available(GetParam()))
      GTEST_SKIP() << BackendName(GetParam()) << " is not available to this run";
    place_ = std::make_unique<StorePlace>(GetParam());
    opened_ = OpenStore(place_->Location());
  }

  std::unique_ptr<StorePlace> place_;
  std::unique_ptr<Store> opened_;
};

TEST_P(CrowdTest, FreedMemoryStandsAmongTheLastThirtyDaysOthers) {
  Store& store = *opened_;
  // Six senders in the window, one report without a user id and one too old
  // to count.
  const int64_t freed[] = {100, 200, 300, 400, 500, 600};
  for (int i = 0; i < 6; ++i) store.AddReport(Freeing(freed[i]), From("U" + std::to_string(i), i));
  store.AddReport(Freeing(50), From("", 3));
  store.AddReport(Freeing(10000), From("U9", 31));
  std::string mine = store.AddReport(Freeing(350), From("U0", 0));
  const int64_t since = WindowStartDay(kNow) * kSecondsPerDay;

  FreedStanding standing = store.CompareFreed(mine, 350 * kMB, since);
  EXPECT_EQ(standing.others, 7);  // 50..600, not itself, not the old one
  EXPECT_EQ(standing.users, 5);   // counted up to five
  EXPECT_EQ(standing.median, 300 * kMB);
  EXPECT_EQ(standing.below, 4);
  EXPECT_EQ(standing.equal, 0);

  // An even count takes the mean of the two middle ones; ties are told apart.
  std::string tie = store.AddReport(Freeing(300), From("U5", 1));
  standing = store.CompareFreed(tie, 300 * kMB, since);
  EXPECT_EQ(standing.others, 8);
  EXPECT_EQ(standing.median, 325 * kMB);  // {50,100,200,300,350,400,500,600}
  EXPECT_EQ(standing.below, 3);
  EXPECT_EQ(standing.equal, 1);

  // The page compares only when five other senders stand behind the figure.
  auto studied = [&](const std::string& id) {
    auto stored = store.LoadReport(id);
    return StudyReport(store, *stored, BlackList(""), kNow).standing;
  };
  EXPECT_TRUE(studied(mine).has_value());
  StorePlace few(GetParam());
  auto opened = OpenStore(few.Location());
  Store& small = *opened;
  for (int i = 0; i < 4; ++i) small.AddReport(Freeing(100), From("U" + std::to_string(i), 1));
  for (int i = 0; i < 3; ++i) small.AddReport(Freeing(100), From("", 1));
  std::string lonely = small.AddReport(Freeing(100), From("U9", 0));
  auto stored = small.LoadReport(lonely);
  EXPECT_EQ(small.CompareFreed(lonely, 100 * kMB, since).others, 7);
  EXPECT_FALSE(StudyReport(small, *stored, BlackList(""), kNow).standing.has_value());
}

// Ten users in the window sent startup lists. Common: 6 users (one of them
// twice, one also 40 days ago); Rare: 4 users; Old: only outside the window.
class CrowdEntries : public CrowdTest {
 protected:
  void SetUp() override {
    CrowdTest::SetUp();
    if (IsSkipped()) return;
    for (int u = 0; u < 10; ++u) {
      std::vector<std::string> items = {kRun + "Everyone"};
      if (u < 6) items.push_back(kRun + (u == 0 ? "COMMON" : "Common"));
      if (u >= 6) items.push_back(kRun + "Rare");
      Add(WithStartups(items), "U" + std::to_string(u), u % 3);
    }
    Add(WithStartups({kRun + "Common"}), "U1", 2);  // again: still one user
    Add(WithStartups({kRun + "Common", kRun + "Old"}), "U5", 40);
    for (int u = 20; u < 26; ++u) Add(WithStartups({kRun + "Old"}), "U" + std::to_string(u), 45);
    Add(WithStartups({kRun + "Common"}), "", 1);  // no id: a report, not a user
  }
  std::string Add(const UsageReport& report, const std::string& user, int64_t daysAgo) {
    return opened_->AddReport(report, From(user, daysAgo));
  }
  int64_t Users(const std::string& name) {
    return Data().CrowdUsers(CrowdKind::Startup, {"hkcu/" + name}, WindowStartDay(kNow))[0];
  }

  Store& Data() { return *opened_; }
};

TEST_P(CrowdEntries, SharesCountEachUserOnceAndHideFewerThanFive) {
  Store& store = Data();
  const int64_t since = WindowStartDay(kNow);
  EXPECT_EQ(store.CrowdUsers(CrowdKind::StartupLists, {""}, since)[0], 10);
  EXPECT_EQ(Users("common"), 6);
  EXPECT_EQ(Users("rare"), 4);
  EXPECT_EQ(Users("old"), 0);
  EXPECT_EQ(Users("everyone"), 10);

  struct Case {
    int64_t users, of;
    bool shown;
  } cases[] = {{0, 10, false}, {4, 10, false}, {5, 10, true}, {5, 5, true}, {5, 0, false}};
  for (const auto& c : cases)
    EXPECT_EQ(ShareOf(c.users, c.of).shown, c.shown) << c.users << " of " << c.of;

  // The report page: rare ones (no figure) first, then by how few have them.
  std::string id = Add(WithStartups({kRun + "Everyone", kRun + "Common", kRun + "Rare",
                                     kRun + "Unheard"}), "U7", 0);
  auto stored = store.LoadReport(id);
  ReportFigures figures = StudyReport(store, *stored, BlackList(""), kNow);
  ASSERT_EQ(figures.entries.size(), 4u);
  EXPECT_EQ(figures.entries[0].record->item, kRun + "Rare");
  EXPECT_FALSE(figures.entries[0].share.shown);
  EXPECT_EQ(figures.entries[1].record->item, kRun + "Unheard");
  EXPECT_FALSE(figures.entries[1].share.shown);
  EXPECT_EQ(figures.entries[2].record->item, kRun + "Common");
  EXPECT_TRUE(figures.entries[2].share.shown);
  EXPECT_EQ(figures.entries[2].share.users, 7);  // U7 has it now
  EXPECT_EQ(figures.entries[2].share.of, 10);
  EXPECT_EQ(figures.entries[3].record->item, kRun + "Everyone");
}

TEST_P(CrowdEntries, EntryFiguresOverTimeAndTargetsSeenByFiveOrMore) {
  Store& store = Data();
  const int64_t today = DayOf(kNow);
  EntryFigures common = StudyEntry(store, "hkcu", "common", kNow);
  EXPECT_TRUE(common.enough);
  EXPECT_EQ(common.stats.reports, 9);  // 6 + U1 again + U5 40 days ago + no id
  EXPECT_EQ(common.stats.users, 6);
  EXPECT_EQ(common.share.users, 6);
  EXPECT_EQ(common.share.of, 10);
  EXPECT_EQ(common.stats.firstDay, today - 40);
  EXPECT_EQ(common.stats.lastDay, today);
  ASSERT_EQ(common.stats.weekly.size(), kChartWeeks);
  EXPECT_EQ(common.stats.weekly.back(), 8);
  EXPECT_EQ(common.stats.weekly[kChartWeeks - 1 - 5], 1);  // 40 days ago: six weeks back
  // "Run\Common" came from five users, "Run\COMMON" from one.
  ASSERT_EQ(common.targets.size(), 1u);
  EXPECT_EQ(common.targets[0].item, kRun + "Common");
  EXPECT_EQ(common.targets[0].users, 5);
  EXPECT_EQ(common.hiddenTargets, 1u);

  EntryFigures rare = StudyEntry(store, "hkcu", "rare", kNow);
  EXPECT_EQ(rare.stats.reports, 4);
  EXPECT_FALSE(rare.enough);

  // Enough users over all time, too few of them lately: figures, no share.
  EntryFigures old = StudyEntry(store, "hkcu", "old", kNow);
  EXPECT_TRUE(old.enough);
  EXPECT_EQ(old.stats.users, 7);
  EXPECT_FALSE(old.share.shown);
  EXPECT_EQ(old.stats.weekly.back(), 0);
}

// The SQLite file of an older service has reports but no crowd tables yet.
TEST_P(CrowdEntries, ReportsStoredBeforeTheCrowdTablesAreCountedOnOpening) {
  if (GetParam() != Backend::Sqlite) GTEST_SKIP() << "an SQLite file's upgrade";
  Store& store = Data();
  EntryFigures before = StudyEntry(store, "hkcu", "common", kNow);
  auto listsBefore = store.CrowdUsers(CrowdKind::StartupLists, {""}, 0);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(place_->Location().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DELETE FROM crowd_users; DELETE FROM crowd_days;"
                               " PRAGMA user_version = 0;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  auto opened = OpenStore(place_->Location());
  Store& reopened = *opened;
  EntryFigures after = StudyEntry(reopened, "hkcu", "common", kNow);
  EXPECT_EQ(after.stats.reports, before.stats.reports);
  EXPECT_EQ(after.stats.users, before.stats.users);
  EXPECT_EQ(after.share.users, before.share.users);
  EXPECT_EQ(after.stats.weekly, before.stats.weekly);
  ASSERT_EQ(after.targets.size(), before.targets.size());
  EXPECT_EQ(after.targets[0].users, before.targets[0].users);
  EXPECT_EQ(reopened.CrowdUsers(CrowdKind::StartupLists, {""}, 0), listsBefore);
}

TEST_P(CrowdTest, AddOnsAreTheBlackListsPrefixesWithHowCommonEach) {
  BlackList list("\xEF\xBB\xBF" "AhnLab Safe Transaction\r\n  // remark\r\n\r\n   \r\n"
                 "우리은행 보안\nINISAFE SandBox");
  struct Case {
    const char* name;
    bool addOn;
  } cases[] = {
      {"AhnLab Safe Transaction", true},
      {"ahnlab safe transaction 1.4.2", true},
      {"우리은행 보안 로그 수집기", true},
      {"INISAFE", false},                      // shorter than the entry
      {"Tool AhnLab Safe Transaction", false},  // prefix only
      {"// remark", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(list.Matches(c.name), c.addOn) << c.name;

  // The built-in list is the program's own; the service adds to it.
  BlackList served = BlackList::Load({{"name_black", "[\"Extra Bar\", 5]"}});
  EXPECT_TRUE(served.Matches("nProtect Online Security 2023"));
  EXPECT_TRUE(served.Matches("Extra Bar"));
  EXPECT_FALSE(BlackList::Load({{"name_black", "not json"}}).Matches("Extra Bar"));

  Store& store = *opened_;
  for (int u = 0; u < 8; ++u) {
    UsageReport report = Freeing(10);
    report.installs = {{"Editor", "E"}};
    if (u < 5) report.installs.push_back({u % 2 ? "AhnLab Safe Transaction" : "AHNLAB SAFE TRANSACTION", "A"});
    if (u == 0) report.installs.push_back({"INISAFE SandBox", "I"});
    store.AddReport(report, From("U" + std::to_string(u), 1));
  }
  UsageReport mine = Freeing(10);
  mine.installs = {{"Editor", "E"}, {"INISAFE SandBox", "I"}, {"ahnlab safe transaction", "A"}};
  auto stored = store.LoadReport(store.AddReport(mine, From("U0", 0)));
  ReportFigures figures = StudyReport(store, *stored, list, kNow);
  ASSERT_EQ(figures.programs.size(), 3u);
  EXPECT_EQ(figures.programs[0].record->name, "INISAFE SandBox");
  EXPECT_TRUE(figures.programs[0].addOn);
  EXPECT_FALSE(figures.programs[0].share.shown);  // one user
  EXPECT_EQ(figures.programs[1].record->name, "ahnlab safe transaction");
  EXPECT_TRUE(figures.programs[1].share.shown);
  EXPECT_EQ(figures.programs[1].share.users, 5);
  EXPECT_EQ(figures.programs[1].share.of, 8);
  EXPECT_EQ(figures.programs[2].record->name, "Editor");
  EXPECT_FALSE(figures.programs[2].addOn);
}

const auto kBackendName = [](const ::testing::TestParamInfo<Backend>& info) {
  return std::string(BackendName(info.param));
};
INSTANTIATE_TEST_SUITE_P(Backends, CrowdTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), kBackendName);
INSTANTIATE_TEST_SUITE_P(Backends, CrowdEntries,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), kBackendName);

}  // namespace
}  // namespace tidora::server::test
