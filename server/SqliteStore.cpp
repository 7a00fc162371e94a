#include "SqliteStore.h"

#include <sqlite3.h>


#include "Ids.h"

namespace tidora::server {

namespace {

struct StatementDeleter {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
      throw StoreError(std::string("prepare: ") + sqlite3_errmsg(db));
    statement_.reset(raw);
  }

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(statement_.get(), index, text.data(),
                            static_cast<int>(text.size()), SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, int64_t value) {
    Check(sqlite3_bind_int64(statement_.get(), index, value));
    return *this;
  }
  Statement& BindNull(int index) {
    Check(sqlite3_bind_null(statement_.get(), index));
    return *this;
  }

  // True while there is a row to read.
  bool Step() {
    int rc = sqlite3_step(statement_.get());
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StoreError(std::string("step: ") + sqlite3_errmsg(db_));
  }
  // Runs a statement that returns no rows, ready to run again.
  void Run() {
    Step();
    Reset();
  }
  void Reset() {
    sqlite3_reset(statement_.get());
    sqlite3_clear_bindings(statement_.get());
  }
  int ResultCode() const { return sqlite3_extended_errcode(db_); }

  std::string Text(int column) const {
    const auto* text =
        reinterpret_cast<const char*>(sqlite3_column_text(statement_.get(), column));
    return text ? std::string(text, sqlite3_column_bytes(statement_.get(), column))
                : std::string();
  }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_.get(), column); }
  bool IsNull(int column) const {
    return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
  }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw StoreError(std::string("bind: ") + sqlite3_errmsg(db_));
  }

  sqlite3* db_;
  std::unique_ptr<sqlite3_stmt, StatementDeleter> statement_;
};

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS settings(
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS holds(
  id INTEGER PRIMARY KEY,
  received INTEGER NOT NULL,
  version TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS reports(
  id INTEGER PRIMARY KEY,
  pk TEXT NOT NULL UNIQUE,
  received INTEGER NOT NULL,
  version TEXT NOT NULL,
  user_id TEXT NOT NULL,
  mem_old INTEGER NOT NULL,
  mem_new INTEGER NOT NULL,
  mem_total INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS processes(
  report INTEGER NOT NULL REFERENCES reports(id),
  seq INTEGER NOT NULL,
  file TEXT NOT NULL,
  outcome INTEGER NOT NULL,
  PRIMARY KEY(report, seq)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS startups(
  report INTEGER NOT NULL REFERENCES reports(id),
  seq INTEGER NOT NULL,
  item TEXT NOT NULL,
  source TEXT NOT NULL,
  enabled INTEGER,
  entry_source TEXT NOT NULL,
  entry_name TEXT NOT NULL,
  PRIMARY KEY(report, seq)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS startups_entry ON startups(entry_source, entry_name);
CREATE INDEX IF NOT EXISTS reports_received ON reports(received);
CREATE INDEX IF NOT EXISTS reports_freed ON reports(mem_new - mem_old, received);
CREATE TABLE IF NOT EXISTS installs(
  report INTEGER NOT NULL REFERENCES reports(id),
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  publisher TEXT NOT NULL,
  PRIMARY KEY(report, seq)) WITHOUT ROWID;
-- What the pages count, kept up to date as reports arrive so that no page
-- has to read the reports themselves. crowd_users: the last day each known
-- user reported a key. crowd_days: per key and day, the users whose last day
-- it is (so a sum over days counts each user once), and the reports.
CREATE TABLE IF NOT EXISTS crowd_users(
  kind INTEGER NOT NULL,
  key TEXT NOT NULL,
  sub TEXT NOT NULL,
  user_id TEXT NOT NULL,
  day INTEGER NOT NULL,
  PRIMARY KEY(kind, key, sub, user_id)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS crowd_days(
  kind INTEGER NOT NULL,
  key TEXT NOT NULL,
  sub TEXT NOT NULL,
  day INTEGER NOT NULL,
  users INTEGER NOT NULL DEFAULT 0,
  reports INTEGER NOT NULL DEFAULT 0,
  told INTEGER NOT NULL DEFAULT 0,
  off INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(kind, key, sub, day)) WITHOUT ROWID;
)sql";

// Fills the crowd tables from reports stored before they existed.
constexpr const char* kCrowdBackfill = R"sql(
INSERT INTO crowd_days(kind, key, sub, day, reports, told, off)
  SELECT 1, s.entry_source || '/' || s.entry_name, '', r.received / 86400,
         COUNT(DISTINCT s.report),
         COUNT(DISTINCT CASE WHEN s.enabled IS NOT NULL THEN s.report END),
         COUNT(DISTINCT CASE WHEN s.enabled = 0 THEN s.report END)
  FROM startups s JOIN reports r ON r.id = s.report WHERE true GROUP BY 2, 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 4, s.entry_source || '/' || s.entry_name, s.item, r.received / 86400,
         COUNT(DISTINCT s.report)
  FROM startups s JOIN reports r ON r.id = s.report WHERE true GROUP BY 2, 3, 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 3, lower(i.name), '', r.received / 86400, COUNT(DISTINCT i.report)
  FROM installs i JOIN reports r ON r.id = i.report WHERE true GROUP BY 2, 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 0, '', '', r.received / 86400, COUNT(*) FROM reports r
  WHERE EXISTS(SELECT 1 FROM startups WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 2, '', '', r.received / 86400, COUNT(*) FROM reports r
  WHERE EXISTS(SELECT 1 FROM installs WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 1, s.entry_source || '/' || s.entry_name, '', r.user_id, MAX(r.received / 86400)
  FROM startups s JOIN reports r ON r.id = s.report WHERE r.user_id <> '' GROUP BY 2, 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 4, s.entry_source || '/' || s.entry_name, s.item, r.user_id, MAX(r.received / 86400)
  FROM startups s JOIN reports r ON r.id = s.report WHERE r.user_id <> '' GROUP BY 2, 3, 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 3, lower(i.name), '', r.user_id, MAX(r.received / 86400)
  FROM installs i JOIN reports r ON r.id = i.report WHERE r.user_id <> '' GROUP BY 2, 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 0, '', '', r.user_id, MAX(r.received / 86400) FROM reports r
  WHERE r.user_id <> '' AND EXISTS(SELECT 1 FROM startups WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 2, '', '', r.user_id, MAX(r.received / 86400) FROM reports r
  WHERE r.user_id <> '' AND EXISTS(SELECT 1 FROM installs WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_days(kind, key, sub, day, users)
  SELECT kind, key, sub, day, COUNT(*) FROM crowd_users WHERE true GROUP BY 1, 2, 3, 4
  ON CONFLICT(kind, key, sub, day) DO UPDATE SET users = excluded.users;
)sql";

// The queries behind the pages, named so that their plans can be shown.
constexpr const char* kCrowdUsersSql =
    "SELECT COALESCE(SUM(users), 0) FROM crowd_days"
    " WHERE kind = ?1 AND key = ?2 AND sub = '' AND day >= ?3";
constexpr const char* kEntryDaysSql =
    "SELECT day, users, reports, told, off FROM crowd_days"
    " WHERE kind = 1 AND key = ?1 AND sub = '' ORDER BY day";
constexpr const char* kEntryTargetsSql =
    "SELECT sub, SUM(reports), SUM(users) AS people FROM crowd_days"
    " WHERE kind = 4 AND key = ?1 GROUP BY sub ORDER BY people DESC, sub LIMIT 50";
constexpr const char* kReportRowSql = "SELECT id FROM reports WHERE pk = ?1";
constexpr const char* kOthersSql =
    "SELECT COUNT(*) FROM reports WHERE received >= ?1 AND id <> ?2";
// Stops at the fifth sender: the pages only ask whether there are five.
constexpr const char* kSendersSql =
    "SELECT COUNT(*) FROM (SELECT DISTINCT user_id FROM reports"
    " WHERE received >= ?1 AND id <> ?2 AND user_id <> '' LIMIT 5)";
constexpr const char* kMedianSql =
    "SELECT mem_new - mem_old FROM reports INDEXED BY reports_freed"
    " WHERE received >= ?1 AND id <> ?2 ORDER BY mem_new - mem_old LIMIT ?3 OFFSET ?4";
constexpr const char* kStandingSql =
    "SELECT COALESCE(SUM(mem_new - mem_old < ?3), 0), COALESCE(SUM(mem_new - mem_old = ?3), 0)"
    " FROM reports WHERE mem_new - mem_old <= ?3 AND received >= ?1 AND id <> ?2";

}  // namespace

class SqliteConnection {
 public:
  SqliteConnection(const std::string& path, bool writer) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    db_.reset(raw);  // a failed open still hands back a handle to close
    if (rc != SQLITE_OK)
      throw StoreError("cannot open " + path + ": " +
                       (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    sqlite3_busy_timeout(raw, 10000);
    sqlite3_extended_result_codes(raw, 1);
    if (writer) {
      // WAL lets pages be read while a report is written. synchronous=FULL
      // fsyncs the log at every commit, so the reply with the id only leaves
      // after the report is on disk; reports are rare enough to afford it.
      Statement mode(raw, "PRAGMA journal_mode=WAL");
      if (!mode.Step() || mode.Text(0) != "wal")
        throw StoreError("cannot switch " + path + " to WAL mode");
      Exec("PRAGMA synchronous=FULL");
      Exec("PRAGMA foreign_keys=ON");
    } else {
      Exec("PRAGMA query_only=ON");
    }
  }

  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : "unknown error";
      sqlite3_free(message);
      throw StoreError(text);
    }
  }

  sqlite3* Db() const { return db_.get(); }

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

namespace {

// Rolls back unless committed, so an exception half-way leaves nothing behind.
class Transaction {
 public:
  explicit Transaction(SqliteConnection& connection) : connection_(connection) {
    connection_.Exec("BEGIN IMMEDIATE");
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(connection_.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    connection_.Exec("COMMIT");
    done_ = true;
  }

 private:
  SqliteConnection& connection_;
  bool done_ = false;
};

}  // namespace

namespace {

// One read transaction, so that all rows come from the same snapshot.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(sqlite3* db) : db_(db) { Statement(db, "BEGIN").Run(); }
  ~ReadSnapshot() { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  sqlite3* db_;
};

}  // namespace

SqliteStore::SqliteStore(const std::string& path, size_t readers)
    : commits_([this](const std::vector<PendingReport*>& batch) { CommitBatch(batch); }) {
  writer_ = std::make_unique<SqliteConnection>(path, true);
  writer_->Exec(kSchema);
  {
    Statement version(writer_->Db(), "PRAGMA user_version");
    if (!version.Step() || version.Int(0) < 1) {
      Transaction transaction(*writer_);
      writer_->Exec(kCrowdBackfill);
      writer_->Exec("PRAGMA user_version = 1");
      transaction.Commit();
    }
  }
  for (size_t i = 0; i < std::max<size_t>(readers, 1); ++i)
    readers_.Add(std::make_unique<SqliteConnection>(path, false));
}

SqliteStore::~SqliteStore() = default;

ConnectionPool<SqliteConnection>::Lease SqliteStore::Reader() const { return readers_.Take(); }

std::map<std::string, std::string> SqliteStore::Settings() const {
  auto reader = Reader();
  Statement select(reader->Db(), "SELECT name, value FROM settings");
  std::map<std::string, std::string> settings;
  while (select.Step()) settings[select.Text(0)] = select.Text(1);
  return settings;
}

void SqliteStore::ChangeSettings(const std::vector<std::pair<std::string, std::string>>& changes) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  Transaction transaction(*writer_);
  Statement put(writer_->Db(),
                "INSERT INTO settings(name, value) VALUES(?1, ?2) "
                "ON CONFLICT(name) DO UPDATE SET value = excluded.value");
  Statement remove(writer_->Db(), "DELETE FROM settings WHERE name = ?1");
  for (const auto& [name, value] : changes) {
    if (value.empty()) remove.Bind(1, name).Run();
    else put.Bind(1, name).Bind(2, value).Run();
  }
  transaction.Commit();
}

void SqliteStore::RecordHold(const std::string& version, int64_t when) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  Statement(writer_->Db(), "INSERT INTO holds(received, version) VALUES(?1, ?2)")
      .Bind(1, when)
      .Bind(2, version)
      .Run();
}

int64_t SqliteStore::HoldCount() const {
  auto reader = Reader();
  Statement count(reader->Db(), "SELECT COUNT(*) FROM holds");
  return count.Step() ? count.Int(0) : 0;
}

namespace {

// Adds one report to the crowd tables.
void CountCrowd(sqlite3* db, const UsageReport& report, const ReportOrigin& origin) {
  const int64_t day = DayOf(origin.received);
  Statement count(db,
                  "INSERT INTO crowd_days(kind, key, sub, day, users, reports, told, off)"
                  " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"
                  " ON CONFLICT(kind, key, sub, day) DO UPDATE SET"
                  " users = users + excluded.users, reports = reports + excluded.reports,"
                  " told = told + excluded.told, off = off + excluded.off");
  Statement lastDay(db,
                    "SELECT day FROM crowd_users"
                    " WHERE kind = ?1 AND key = ?2 AND sub = ?3 AND user_id = ?4");
  Statement setDay(db,
                   "INSERT INTO crowd_users(kind, key, sub, user_id, day) VALUES(?1, ?2, ?3, ?4, ?5)"
                   " ON CONFLICT(kind, key, sub, user_id) DO UPDATE SET day = excluded.day");
  auto add = [&](int kind, const std::string& key, const std::string& sub, int64_t onDay,
                 int64_t users, int64_t reports, int64_t told, int64_t off) {
    count.Bind(1, static_cast<int64_t>(kind)).Bind(2, key).Bind(3, sub).Bind(4, onDay);
    count.Bind(5, users).Bind(6, reports).Bind(7, told).Bind(8, off).Run();
  };
  for (const CrowdMark& mark : CrowdMarksOf(report)) {
    const int kind = static_cast<int>(mark.kind);
    const std::string& key = mark.key;
    const std::string& sub = mark.sub;
    int64_t newUser = 0;
    if (!origin.userId.empty()) {
      lastDay.Bind(1, static_cast<int64_t>(kind)).Bind(2, key).Bind(3, sub).Bind(4, origin.userId);
      std::optional<int64_t> before;
      if (lastDay.Step()) before = lastDay.Int(0);
      lastDay.Reset();
      // A user counts on their last day only; an older report (a clock that
      // went back) leaves the count as it was.
      if (!before || *before < day) {
        setDay.Bind(1, static_cast<int64_t>(kind)).Bind(2, key).Bind(3, sub);
        setDay.Bind(4, origin.userId).Bind(5, day).Run();
        newUser = 1;
        if (before) add(kind, key, sub, *before, -1, 0, 0, 0);
      }
    }
    add(kind, key, sub, day, newUser, 1, mark.told, mark.off);
  }
}

// Writes one report inside the open transaction and returns its id.
std::string InsertReport(sqlite3* db, const UsageReport& report, const ReportOrigin& origin) {
  Statement insert(db,
                   "INSERT INTO reports(pk, received, version, user_id, mem_old, mem_new, "
                   "mem_total) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  std::string id;
  // A clash of 144 random bits will not happen, but if it did the unique key
  // would refuse it and a fresh id is drawn.
  for (int attempt = 0;; ++attempt) {
    id = NewReportId();
    insert.Bind(1, id).Bind(2, origin.received).Bind(3, origin.version).Bind(4, origin.userId);
    insert.Bind(5, report.memOld).Bind(6, report.memNew).Bind(7, report.memTotal);
    try {
      insert.Run();
      break;
    } catch (const StoreError&) {
      if (insert.ResultCode() != SQLITE_CONSTRAINT_UNIQUE || attempt >= 3) throw;
      insert.Reset();
    }
  }
  int64_t row = sqlite3_last_insert_rowid(db);

  Statement process(db, "INSERT INTO processes(report, seq, file, outcome) VALUES(?1, ?2, ?3, ?4)");
  for (size_t i = 0; i < report.processes.size(); ++i) {
    const auto& p = report.processes[i];
    process.Bind(1, row).Bind(2, static_cast<int64_t>(i)).Bind(3, p.file);
    process.Bind(4, static_cast<int64_t>(p.outcome)).Run();
  }
  Statement start(db,
                  "INSERT INTO startups(report, seq, item, source, enabled, entry_source, "
                  "entry_name) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  for (size_t i = 0; i < report.startups.size(); ++i) {
    const auto& s = report.startups[i];
    EntryKey key = EntryKeyOf(s);
    start.Bind(1, row).Bind(2, static_cast<int64_t>(i)).Bind(3, s.item).Bind(4, s.from);
    if (s.state == SwitchState::Unknown) start.BindNull(5);
    else start.Bind(5, static_cast<int64_t>(s.state));
    start.Bind(6, key.source).Bind(7, key.name).Run();
  }
  Statement install(db, "INSERT INTO installs(report, seq, name, publisher) VALUES(?1, ?2, ?3, ?4)");
  for (size_t i = 0; i < report.installs.size(); ++i) {
    const auto& p = report.installs[i];
    install.Bind(1, row).Bind(2, static_cast<int64_t>(i)).Bind(3, p.name).Bind(4, p.publisher).Run();
  }
  CountCrowd(db, report, origin);
  return id;
}

}  // namespace

void SqliteStore::CommitBatch(const std::vector<PendingReport*>& batch) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  try {
    Transaction transaction(*writer_);
    // A report that fails is undone alone; the others of the batch go on.
    for (PendingReport* pending : batch) {
      writer_->Exec("SAVEPOINT report");
      try {
        pending->id = InsertReport(writer_->Db(), pending->report, pending->origin);
        writer_->Exec("RELEASE report");
      } catch (...) {
        pending->error = std::current_exception();
        writer_->Exec("ROLLBACK TO report");
        writer_->Exec("RELEASE report");
      }
    }
    transaction.Commit();
  } catch (...) {
    // Nothing of the batch is on disk: no report of it may be acknowledged.
    for (PendingReport* pending : batch) pending->error = std::current_exception();
  }
}

std::string SqliteStore::AddReport(const UsageReport& report, const ReportOrigin& origin) {
  return commits_.Add(report, origin);
}

std::optional<StoredReport> SqliteStore::LoadReport(const std::string& id) const {
  auto reader = Reader();
  sqlite3* db = reader->Db();
  ReadSnapshot snapshot(db);

  Statement head(db,
                 "SELECT id, received, version, user_id, mem_old, mem_new, mem_total "
                 "FROM reports WHERE pk = ?1");
  head.Bind(1, id);
  if (!head.Step()) return std::nullopt;
  StoredReport stored;
  stored.id = id;
  int64_t row = head.Int(0);
  stored.origin = {head.Text(2), head.Text(3), head.Int(1)};
  stored.report.memOld = head.Int(4);
  stored.report.memNew = head.Int(5);
  stored.report.memTotal = head.Int(6);

  Statement process(db, "SELECT file, outcome FROM processes WHERE report = ?1 ORDER BY seq");
  process.Bind(1, row);
  while (process.Step())
    stored.report.processes.push_back(
        {process.Text(0), static_cast<ProcessOutcome>(process.Int(1))});
  Statement start(db,
                  "SELECT item, source, enabled FROM startups WHERE report = ?1 ORDER BY seq");
  start.Bind(1, row);
  while (start.Step())
    stored.report.startups.push_back(
        {start.Text(0), start.Text(1),
         start.IsNull(2) ? SwitchState::Unknown : static_cast<SwitchState>(start.Int(2))});
  Statement install(db, "SELECT name, publisher FROM installs WHERE report = ?1 ORDER BY seq");
  install.Bind(1, row);
  while (install.Step()) stored.report.installs.push_back({install.Text(0), install.Text(1)});
  return stored;
}

int64_t SqliteStore::ReportCount() const {
  auto reader = Reader();
  Statement count(reader->Db(), "SELECT COUNT(*) FROM reports");
  return count.Step() ? count.Int(0) : 0;
}

EntryStats SqliteStore::LoadEntry(const std::string& source, const std::string& name,
                            int64_t sinceDay, int64_t today, size_t weeks) const {
  auto reader = Reader();
  sqlite3* db = reader->Db();
  ReadSnapshot snapshot(db);

  const std::string key = CrowdKeyOf(EntryKey{source, name});
  EntryDays folded(sinceDay, today, weeks);
  Statement days(db, kEntryDaysSql);
  days.Bind(1, key);
  while (days.Step()) folded.Add(days.Int(0), days.Int(1), days.Int(2), days.Int(3), days.Int(4));
  EntryStats& stats = folded.Stats();
  Statement lists(db, kCrowdUsersSql);
  lists.Bind(1, static_cast<int64_t>(CrowdKind::StartupLists)).Bind(2, std::string()).Bind(3, sinceDay);
  if (lists.Step()) stats.listUsers = lists.Int(0);

  Statement targets(db, kEntryTargetsSql);
  targets.Bind(1, key);
  while (targets.Step()) stats.targets.push_back({targets.Text(0), targets.Int(1), targets.Int(2)});
  return std::move(stats);
}

std::vector<int64_t> SqliteStore::CrowdUsers(CrowdKind kind, const std::vector<std::string>& keys,
                                       int64_t sinceDay) const {
  auto reader = Reader();
  sqlite3* db = reader->Db();
  ReadSnapshot snapshot(db);
  Statement users(db, kCrowdUsersSql);
  std::vector<int64_t> counts;
  counts.reserve(keys.size());
  for (const auto& key : keys) {
    users.Bind(1, static_cast<int64_t>(kind)).Bind(2, key).Bind(3, sinceDay);
    counts.push_back(users.Step() ? users.Int(0) : 0);
    users.Reset();
  }
  return counts;
}

FreedStanding SqliteStore::CompareFreed(const std::string& id, int64_t freed, int64_t since) const {
  auto reader = Reader();
  sqlite3* db = reader->Db();
  ReadSnapshot snapshot(db);

  FreedStanding standing;
  int64_t row = -1;  // no report has it: every report counts as another
  Statement self(db, kReportRowSql);
  self.Bind(1, id);
  if (self.Step()) row = self.Int(0);

  Statement others(db, kOthersSql);
  others.Bind(1, since).Bind(2, row);
  if (others.Step()) standing.others = others.Int(0);
  if (standing.others == 0) return standing;

  Statement senders(db, kSendersSql);
  senders.Bind(1, since).Bind(2, row);
  if (senders.Step()) standing.users = senders.Int(0);

  const bool even = standing.others % 2 == 0;
  Statement median(db, kMedianSql);
  median.Bind(1, since).Bind(2, row).Bind(3, int64_t{even ? 2 : 1});
  median.Bind(4, (standing.others - 1) / 2);
  int64_t sum = 0, taken = 0;
  while (median.Step()) {
    sum += median.Int(0);
    ++taken;
  }
  // Rounded towards minus infinity, as integer bytes; halves of a byte do not matter.
  if (taken > 0) standing.median = taken == 2 ? (sum - ((sum % 2 + 2) % 2)) / 2 : sum;

  Statement place(db, kStandingSql);
  place.Bind(1, since).Bind(2, row).Bind(3, freed);
  if (place.Step()) {
    standing.below = place.Int(0);
    standing.equal = place.Int(1);
  }
  return standing;
}

std::vector<std::pair<std::string, std::string>> SqliteStore::PagePlans() const {
  auto reader = Reader();
  std::vector<std::pair<std::string, std::string>> plans;
  for (const char* sql : {kReportRowSql, kOthersSql, kSendersSql, kMedianSql, kStandingSql,
                          kCrowdUsersSql, kEntryDaysSql, kEntryTargetsSql}) {
    Statement explain(reader->Db(), (std::string("EXPLAIN QUERY PLAN ") + sql).c_str());
    std::string plan;
    while (explain.Step()) plan += (plan.empty() ? "" : "\n") + explain.Text(3);
    plans.emplace_back(sql, plan);
  }
  return plans;
}

std::string SqliteStore::IntegrityCheck() const {
  auto reader = Reader();
  Statement check(reader->Db(), "PRAGMA integrity_check");
  return check.Step() ? check.Text(0) : std::string("no answer");
}

}  // namespace tidora::server
