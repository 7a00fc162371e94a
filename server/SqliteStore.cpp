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
CREATE TABLE IF NOT EXISTS installs(
  report INTEGER NOT NULL REFERENCES reports(id),
  seq INTEGER NOT NULL,
  name TEXT NOT NULL,
  publisher TEXT NOT NULL,
  PRIMARY KEY(report, seq)) WITHOUT ROWID;
)sql";

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

SqliteStore::SqliteStore(const std::string& path, size_t readers)
    : commits_([this](const std::vector<PendingReport*>& batch) { CommitBatch(batch); }) {
  writer_ = std::make_unique<SqliteConnection>(path, true);
  writer_->Exec(kSchema);
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
  // One read transaction, so the rows all come from the same snapshot.
  Statement(db, "BEGIN").Run();
  struct EndRead {
    sqlite3* db;
    ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
  } endRead{db};

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

EntryStats SqliteStore::LoadEntry(const std::string& source, const std::string& name) const {
  auto reader = Reader();
  sqlite3* db = reader->Db();
  EntryStats stats;
  Statement totals(db,
                   "SELECT COUNT(DISTINCT s.report),"
                   " COUNT(DISTINCT CASE WHEN r.user_id <> '' THEN r.user_id END),"
                   " COUNT(DISTINCT CASE WHEN s.enabled IS NOT NULL THEN s.report END),"
                   " COUNT(DISTINCT CASE WHEN s.enabled = 0 THEN s.report END),"
                   " MIN(r.received), MAX(r.received)"
                   " FROM startups s JOIN reports r ON r.id = s.report"
                   " WHERE s.entry_source = ?1 AND s.entry_name = ?2");
  totals.Bind(1, source).Bind(2, name);
  if (totals.Step()) {
    stats.reports = totals.Int(0);
    stats.users = totals.Int(1);
    stats.switchKnown = totals.Int(2);
    stats.switchedOff = totals.Int(3);
    stats.firstSeen = totals.Int(4);
    stats.lastSeen = totals.Int(5);
  }
  Statement targets(db,
                    "SELECT item, COUNT(DISTINCT report) AS seen FROM startups"
                    " WHERE entry_source = ?1 AND entry_name = ?2"
                    " GROUP BY item ORDER BY seen DESC, item LIMIT 10");
  targets.Bind(1, source).Bind(2, name);
  while (targets.Step()) stats.targets.emplace_back(targets.Text(0), targets.Int(1));
  return stats;
}

std::string SqliteStore::IntegrityCheck() const {
  auto reader = Reader();
  Statement check(reader->Db(), "PRAGMA integrity_check");
  return check.Step() ? check.Text(0) : std::string("no answer");
}

}  // namespace tidora::server
