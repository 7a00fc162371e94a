#include "PostgresStore.h"

#include <libpq-fe.h>

#include <charconv>
#include <map>
#include <tuple>
#include <optional>

#include "Ids.h"

namespace tidora::server {

namespace {

// Every instance takes this lock while it creates or migrates the schema.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7591432081)";

// Schema steps in order; the database records how many it has taken, and an
// instance applies the ones it lacks. Steps are only ever appended.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE settings(
  name text PRIMARY KEY,
  value text NOT NULL);
CREATE TABLE holds(
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  received bigint NOT NULL,
  version text NOT NULL);
CREATE TABLE reports(
  id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  pk text NOT NULL UNIQUE,
  received bigint NOT NULL,
  version text NOT NULL,
  user_id text NOT NULL,
  mem_old bigint NOT NULL,
  mem_new bigint NOT NULL,
  mem_total bigint NOT NULL);
CREATE TABLE processes(
  report bigint NOT NULL REFERENCES reports(id),
  seq integer NOT NULL,
  file text NOT NULL,
  outcome integer NOT NULL,
  PRIMARY KEY(report, seq));
CREATE TABLE startups(
  report bigint NOT NULL REFERENCES reports(id),
  seq integer NOT NULL,
  item text NOT NULL,
  source text NOT NULL,
  enabled integer,
  entry_source text NOT NULL,
  entry_name text NOT NULL,
  PRIMARY KEY(report, seq));
CREATE INDEX startups_entry ON startups(entry_source, entry_name);
CREATE TABLE installs(
  report bigint NOT NULL REFERENCES reports(id),
  seq integer NOT NULL,
  name text NOT NULL,
  publisher text NOT NULL,
  PRIMARY KEY(report, seq));
)sql",
    // What the pages count, kept up to date as reports arrive so that no
    // page has to read the reports themselves. crowd_users: the last day each
    // known user reported a key. crowd_days: per key and day, the users whose
    // last day it is (a sum over days counts each user once), and the reports.
    // Keys fold ASCII letters only, as the service does everywhere.
    R"sql(
CREATE INDEX reports_received ON reports(received);
CREATE INDEX reports_freed ON reports((mem_new - mem_old), received);
CREATE TABLE crowd_users(
  kind integer NOT NULL,
  key text NOT NULL,
  sub text NOT NULL,
  user_id text NOT NULL,
  day bigint NOT NULL,
  PRIMARY KEY(kind, key, sub, user_id));
CREATE TABLE crowd_days(
  kind integer NOT NULL,
  key text NOT NULL,
  sub text NOT NULL,
  day bigint NOT NULL,
  users bigint NOT NULL DEFAULT 0,
  reports bigint NOT NULL DEFAULT 0,
  told bigint NOT NULL DEFAULT 0,
  off bigint NOT NULL DEFAULT 0,
  PRIMARY KEY(kind, key, sub, day));
INSERT INTO crowd_days(kind, key, sub, day, reports, told, off)
  SELECT 1, s.entry_source || '/' || s.entry_name, '', r.received / 86400,
         COUNT(DISTINCT s.report),
         COUNT(DISTINCT CASE WHEN s.enabled IS NOT NULL THEN s.report END),
         COUNT(DISTINCT CASE WHEN s.enabled = 0 THEN s.report END)
  FROM startups s JOIN reports r ON r.id = s.report GROUP BY 2, 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 4, s.entry_source || '/' || s.entry_name, s.item, r.received / 86400,
         COUNT(DISTINCT s.report)
  FROM startups s JOIN reports r ON r.id = s.report GROUP BY 2, 3, 4;
INSERT INTO crowd_days(kind, key, sub, day, reports)
  SELECT 3, translate(i.name, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz'),
         '', r.received / 86400, COUNT(DISTINCT i.report)
  FROM installs i JOIN reports r ON r.id = i.report GROUP BY 2, 4;
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
  SELECT 3, translate(i.name, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz'),
         '', r.user_id, MAX(r.received / 86400)
  FROM installs i JOIN reports r ON r.id = i.report WHERE r.user_id <> '' GROUP BY 2, 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 0, '', '', r.user_id, MAX(r.received / 86400) FROM reports r
  WHERE r.user_id <> '' AND EXISTS(SELECT 1 FROM startups WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_users(kind, key, sub, user_id, day)
  SELECT 2, '', '', r.user_id, MAX(r.received / 86400) FROM reports r
  WHERE r.user_id <> '' AND EXISTS(SELECT 1 FROM installs WHERE report = r.id) GROUP BY 4;
INSERT INTO crowd_days(kind, key, sub, day, users)
  SELECT kind, key, sub, day, COUNT(*) FROM crowd_users GROUP BY 1, 2, 3, 4
  ON CONFLICT(kind, key, sub, day) DO UPDATE SET users = excluded.users;
)sql",
};

// The queries behind the pages, named so that their plans can be shown.
constexpr const char* kCrowdUsersSql =
    "SELECT key, SUM(users) FROM crowd_days"
    " WHERE kind = $1 AND key = ANY($2::text[]) AND sub = '' AND day >= $3 GROUP BY key";
constexpr const char* kEntryDaysSql =
    "SELECT day, users, reports, told, off FROM crowd_days"
    " WHERE kind = 1 AND key = $1 AND sub = '' ORDER BY day";
// Byte order for ties, as the SQLite store sorts, whatever the collation.
constexpr const char* kEntryTargetsSql =
    "SELECT sub, SUM(reports), SUM(users) AS people FROM crowd_days"
    " WHERE kind = 4 AND key = $1 GROUP BY sub ORDER BY people DESC, sub COLLATE \"C\" LIMIT 50";
constexpr const char* kReportRowSql = "SELECT id FROM reports WHERE pk = $1";
constexpr const char* kOthersSql =
    "SELECT COUNT(*) FROM reports WHERE received >= $1 AND id <> $2";
// Stops at the fifth sender: the pages only ask whether there are five.
constexpr const char* kSendersSql =
    "SELECT COUNT(*) FROM (SELECT DISTINCT user_id FROM reports"
    " WHERE received >= $1 AND id <> $2 AND user_id <> '' LIMIT 5) senders";
constexpr const char* kMedianSql =
    "SELECT mem_new - mem_old FROM reports"
    " WHERE received >= $1 AND id <> $2 ORDER BY mem_new - mem_old LIMIT $3 OFFSET $4";
constexpr const char* kStandingSql =
    "SELECT COALESCE(SUM(CASE WHEN mem_new - mem_old < $3 THEN 1 ELSE 0 END), 0),"
    " COALESCE(SUM(CASE WHEN mem_new - mem_old = $3 THEN 1 ELSE 0 END), 0)"
    " FROM reports WHERE mem_new - mem_old <= $3 AND received >= $1 AND id <> $2";

// A text[] literal: every element quoted, quotes and backslashes escaped.
std::string TextArray(const std::vector<std::string>& items) {
  std::string out = "{";
  for (const auto& item : items) {
    if (out.size() > 1) out += ',';
    out += '"';
    for (char c : item) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  return out + "}";
}

class Result {
 public:
  explicit Result(PGresult* result) : result_(result) {}
  int Rows() const { return PQntuples(result_.get()); }
  bool IsNull(int row, int column) const { return PQgetisnull(result_.get(), row, column); }
  std::string Text(int row, int column) const {
    return std::string(PQgetvalue(result_.get(), row, column),
                       PQgetlength(result_.get(), row, column));
  }
  int64_t Int(int row, int column) const {
    const char* text = PQgetvalue(result_.get(), row, column);
    int64_t value = 0;
    std::from_chars(text, text + PQgetlength(result_.get(), row, column), value);
    return value;
  }

 private:
  struct Clear {
    void operator()(PGresult* result) const { PQclear(result); }
  };
  std::unique_ptr<PGresult, Clear> result_;
};

// Statement parameters as text; nullopt is SQL NULL. libpq takes each as a
// C string, so a value must hold no NUL byte (the report parser sees to it).
using Params = std::vector<std::optional<std::string>>;

}  // namespace

class PgConnection {
 public:
  explicit PgConnection(const std::string& address) {
    conn_.reset(PQconnectdb(address.c_str()));
    if (!conn_ || PQstatus(conn_.get()) != CONNECTION_OK)
      throw StoreError("cannot connect to PostgreSQL: " + LastError());
    Configure();
  }

  // A connection the server dropped (restart, fail-over) is opened again
  // before its next use rather than failing every later request.
  void EnsureOpen() {
    if (PQstatus(conn_.get()) == CONNECTION_OK) return;
    PQreset(conn_.get());
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw StoreError("lost the connection to PostgreSQL: " + LastError());
    Configure();
  }

  Result Run(const char* sql, const Params& params = {}) {
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
    return Checked(PQexecParams(conn_.get(), sql, static_cast<int>(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0));
  }

  // Statements without parameters, several in one round trip.
  void Exec(const char* sql) { Checked(PQexec(conn_.get(), sql)); }

  // Ends a transaction that failed half-way; harmless outside one.
  void Abandon() { PQclear(PQexec(conn_.get(), "ROLLBACK")); }

 private:
  void Configure() {
    if (PQsetClientEncoding(conn_.get(), "UTF8") != 0)
      throw StoreError("PostgreSQL refuses UTF8 text: " + LastError());
  }

  std::string LastError() const {
    std::string text = conn_ ? PQerrorMessage(conn_.get()) : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  Result Checked(PGresult* raw) {
    Result result(raw);  // freed on every way out
    ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
    const char* state = raw ? PQresultErrorField(raw, PG_DIAG_SQLSTATE) : nullptr;
    std::string message = raw ? PQresultErrorMessage(raw) : "";
    if (message.empty()) message = LastError();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    throw StoreError("PostgreSQL: " + message + (state ? std::string(" (") + state + ")" : ""));
  }

  struct Finish {
    void operator()(PGconn* conn) const { PQfinish(conn); }
  };
  std::unique_ptr<PGconn, Finish> conn_;
};

namespace {

// Rolls back unless committed, so an exception half-way leaves nothing behind.
class Transaction {
 public:
  Transaction(PgConnection& connection, const char* begin = "BEGIN")
      : connection_(connection) {
    connection_.Exec(begin);
  }
  ~Transaction() {
    if (!done_) connection_.Abandon();
  }
  void Commit() {
    done_ = true;  // a failed COMMIT has ended the transaction too
    connection_.Exec("COMMIT");
  }

 private:
  PgConnection& connection_;
  bool done_ = false;
};

std::string Number(int64_t value) { return std::to_string(value); }

// Inserts `count` rows of `columns` values each with multi-row VALUES, a
// few hundred rows per statement (PostgreSQL takes at most 65535
// parameters). `row(n, params)` appends row n's values; `tail` follows the
// VALUES list, and the statements' results go to `results` when given.
template <typename AddRow>
void InsertRows(PgConnection& db, const char* head, const char* tail, size_t columns,
                size_t count, AddRow row, std::vector<Result>* results = nullptr) {
  constexpr size_t kRowsPerStatement = 500;
  for (size_t first = 0; first < count; first += kRowsPerStatement) {
    size_t last = std::min(count, first + kRowsPerStatement);
    std::string sql = head;
    Params params;
    params.reserve((last - first) * columns);
    for (size_t n = first; n < last; ++n) {
      sql += n == first ? " VALUES(" : ",(";
      for (size_t c = 0; c < columns; ++c) {
        if (c) sql += ',';
        sql += '$' + std::to_string(params.size() + c + 1);
      }
      sql += ')';
      row(n, params);
    }
    sql += tail;
    Result result = db.Run(sql.c_str(), params);
    if (results) results->push_back(std::move(result));
  }
}

// Adds the stored reports of a batch to the crowd tables. Every instance
// changes the rows in one order (users' rows, then day rows, each sorted by
// key), whatever reports its batch holds, so two instances writing at once
// wait for each other but never deadlock.
void CountCrowd(PgConnection& db, const std::vector<const PendingReport*>& stored) {
  using Key = std::tuple<int64_t, std::string, std::string>;
  struct DayCounts {
    int64_t users = 0, reports = 0, told = 0, off = 0;
  };
  std::map<std::tuple<int64_t, std::string, std::string, int64_t>, DayCounts> days;
  std::map<std::tuple<int64_t, std::string, std::string, std::string>, int64_t> lastDays;
  for (const PendingReport* pending : stored) {
    const int64_t day = DayOf(pending->origin.received);
    for (const CrowdMark& mark : CrowdMarksOf(pending->report)) {
      Key key{static_cast<int64_t>(mark.kind), mark.key, mark.sub};
      DayCounts& counts = days[std::tuple_cat(key, std::make_tuple(day))];
      ++counts.reports;
      counts.told += mark.told;
      counts.off += mark.off;
      if (pending->origin.userId.empty()) continue;
      int64_t& last = lastDays.try_emplace(std::tuple_cat(key, std::make_tuple(pending->origin.userId)), day).first->second;
      last = std::max(last, day);
    }
  }
  for (const auto& [who, day] : lastDays) {
    const auto& [kind, key, sub, user] = who;
    const Params row = {Number(kind), key, sub, user, Number(day)};
    Result before = db.Run("SELECT day FROM crowd_users WHERE kind = $1 AND key = $2"
                           " AND sub = $3 AND user_id = $4 FOR UPDATE",
                           {row[0], row[1], row[2], row[3]});
    if (before.Rows() == 0) {
      // Another instance may have added the same user's row meanwhile;
      // then it counted them.
      if (db.Run("INSERT INTO crowd_users(kind, key, sub, user_id, day)"
                 " VALUES($1, $2, $3, $4, $5) ON CONFLICT DO NOTHING RETURNING 1",
                 row)
              .Rows() > 0)
        ++days[{kind, key, sub, day}].users;
    } else if (before.Int(0, 0) < day) {
      // A user counts on their last day only; an older report (a clock that
      // went back) leaves the count as it was.
      db.Run("UPDATE crowd_users SET day = $5 WHERE kind = $1 AND key = $2 AND sub = $3"
             " AND user_id = $4",
             row);
      ++days[{kind, key, sub, day}].users;
      --days[{kind, key, sub, before.Int(0, 0)}].users;
    }
  }
  for (const auto& [where, counts] : days) {
    const auto& [kind, key, sub, day] = where;
    db.Run("INSERT INTO crowd_days(kind, key, sub, day, users, reports, told, off)"
           " VALUES($1, $2, $3, $4, $5, $6, $7, $8) ON CONFLICT(kind, key, sub, day) DO UPDATE SET"
           " users = crowd_days.users + excluded.users,"
           " reports = crowd_days.reports + excluded.reports,"
           " told = crowd_days.told + excluded.told, off = crowd_days.off + excluded.off",
           {Number(kind), key, sub, Number(day), Number(counts.users), Number(counts.reports),
            Number(counts.told), Number(counts.off)});
  }
}

// Writes a batch of reports inside the open transaction and sets each one's
// id. A few statements carry the whole batch (all report rows in one, then
// the records of all reports table by table), since round trips to the
// server, not the server's work, bound how many reports one writer commits.
void InsertReports(PgConnection& db, const std::vector<PendingReport*>& batch) {
  std::vector<int64_t> rows(batch.size(), 0);
  std::vector<size_t> waiting(batch.size());
  for (size_t i = 0; i < batch.size(); ++i) waiting[i] = i;
  // A clash of 144 random bits will not happen, but if it did the unique key
  // would turn the row away (its id does not come back) and a fresh id is
  // drawn for it.
  for (int attempt = 0; !waiting.empty(); ++attempt) {
    if (attempt > 3) throw StoreError("no fresh report id");
    std::map<std::string, size_t> byId;
    for (size_t i : waiting) {
      batch[i]->id = NewReportId();
      byId[batch[i]->id] = i;
    }
    std::vector<Result> inserted;
    InsertRows(db,
               "INSERT INTO reports(pk, received, version, user_id, mem_old, mem_new, mem_total)",
               " ON CONFLICT (pk) DO NOTHING RETURNING pk, id", 7, waiting.size(),
               [&](size_t n, Params& params) {
                 const PendingReport& p = *batch[waiting[n]];
                 params.insert(params.end(),
                               {p.id, Number(p.origin.received), p.origin.version,
                                p.origin.userId, Number(p.report.memOld),
                                Number(p.report.memNew), Number(p.report.memTotal)});
               },
               &inserted);
    for (const Result& result : inserted)
      for (int r = 0; r < result.Rows(); ++r) {
        auto found = byId.find(result.Text(r, 0));
        if (found == byId.end()) continue;
        rows[found->second] = result.Int(r, 1);
        byId.erase(found);
      }
    waiting.clear();
    for (const auto& [id, i] : byId) waiting.push_back(i);
  }

  // Every record of the batch as (report, record index), table by table.
  std::vector<std::pair<size_t, size_t>> records;
  auto each = [&](auto count) {
    records.clear();
    for (size_t r = 0; r < batch.size(); ++r)
      for (size_t i = 0; i < count(batch[r]->report); ++i) records.emplace_back(r, i);
    return records.size();
  };
  InsertRows(db, "INSERT INTO processes(report, seq, file, outcome)", "", 4,
             each([](const UsageReport& u) { return u.processes.size(); }),
             [&](size_t n, Params& params) {
               auto [r, i] = records[n];
               const auto& p = batch[r]->report.processes[i];
               params.insert(params.end(), {Number(rows[r]), Number(static_cast<int64_t>(i)),
                                            p.file, Number(static_cast<int64_t>(p.outcome))});
             });
  InsertRows(db,
             "INSERT INTO startups(report, seq, item, source, enabled, entry_source, entry_name)",
             "", 7, each([](const UsageReport& u) { return u.startups.size(); }),
             [&](size_t n, Params& params) {
               auto [r, i] = records[n];
               const auto& s = batch[r]->report.startups[i];
               EntryKey key = EntryKeyOf(s);
               std::optional<std::string> enabled;
               if (s.state != SwitchState::Unknown) enabled = Number(static_cast<int64_t>(s.state));
               params.insert(params.end(), {Number(rows[r]), Number(static_cast<int64_t>(i)),
                                            s.item, s.from, enabled, key.source, key.name});
             });
  InsertRows(db, "INSERT INTO installs(report, seq, name, publisher)", "", 4,
             each([](const UsageReport& u) { return u.installs.size(); }),
             [&](size_t n, Params& params) {
               auto [r, i] = records[n];
               const auto& p = batch[r]->report.installs[i];
               params.insert(params.end(), {Number(rows[r]), Number(static_cast<int64_t>(i)),
                                            p.name, p.publisher});
             });
}

void BringSchemaUpToDate(PgConnection& db) {
  Result encoding = db.Run("SHOW server_encoding");
  std::string name = encoding.Rows() ? encoding.Text(0, 0) : "";
  if (name != "UTF8" && name != "SQL_ASCII")
    throw StoreError("the PostgreSQL database must use UTF8, not " + name);

  Transaction transaction(db);
  db.Exec(kSchemaLock);
  db.Exec("CREATE TABLE IF NOT EXISTS schema_steps(steps integer NOT NULL)");
  Result done = db.Run("SELECT COALESCE(MAX(steps), 0) FROM schema_steps");
  int64_t taken = done.Int(0, 0);
  int64_t known = static_cast<int64_t>(std::size(kMigrations));
  if (taken > known)
    throw StoreError("the database was set up by a newer version of this service");
  for (int64_t step = taken; step < known; ++step) db.Exec(kMigrations[step]);
  if (taken < known) {
    db.Exec("DELETE FROM schema_steps");
    db.Run("INSERT INTO schema_steps(steps) VALUES($1)", {Number(known)});
  }
  transaction.Commit();
}

}  // namespace

PostgresStore::PostgresStore(const std::string& address, size_t readers)
    : commits_([this](const std::vector<PendingReport*>& batch) { CommitBatch(batch); }) {
  writer_ = std::make_unique<PgConnection>(address);
  BringSchemaUpToDate(*writer_);
  for (size_t i = 0; i < std::max<size_t>(readers, 1); ++i)
    readers_.Add(std::make_unique<PgConnection>(address));
}

PostgresStore::~PostgresStore() = default;

ConnectionPool<PgConnection>::Lease PostgresStore::Reader() const {
  auto lease = readers_.Take();
  lease->EnsureOpen();
  return lease;
}

std::map<std::string, std::string> PostgresStore::Settings() const {
  auto reader = Reader();
  Result rows = reader->Run("SELECT name, value FROM settings");
  std::map<std::string, std::string> settings;
  for (int i = 0; i < rows.Rows(); ++i) settings[rows.Text(i, 0)] = rows.Text(i, 1);
  return settings;
}

void PostgresStore::ChangeSettings(
    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  writer_->EnsureOpen();
  Transaction transaction(*writer_);
  for (const auto& [name, value] : changes) {
    if (value.empty())
      writer_->Run("DELETE FROM settings WHERE name = $1", {name});
    else
      writer_->Run("INSERT INTO settings(name, value) VALUES($1, $2) "
                   "ON CONFLICT(name) DO UPDATE SET value = excluded.value",
                   {name, value});
  }
  transaction.Commit();
}

void PostgresStore::RecordHold(const std::string& version, int64_t when) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  writer_->EnsureOpen();
  writer_->Run("INSERT INTO holds(received, version) VALUES($1, $2)", {Number(when), version});
}

int64_t PostgresStore::HoldCount() const {
  auto reader = Reader();
  return reader->Run("SELECT COUNT(*) FROM holds").Int(0, 0);
}

void PostgresStore::CommitBatch(const std::vector<PendingReport*>& batch) {
  std::lock_guard<std::mutex> lock(writerMutex_);
  writer_->EnsureOpen();
  Transaction transaction(*writer_);
  // A report cannot fail alone here (its values are checked text, its id is
  // fresh): any error is the server's or the connection's and fails the
  // whole batch, which the queue then reports to every sender.
  InsertReports(*writer_, batch);
  CountCrowd(*writer_, std::vector<const PendingReport*>(batch.begin(), batch.end()));
  // When the commit fails the queue marks every report of the batch failed.
  transaction.Commit();
}

std::string PostgresStore::AddReport(const UsageReport& report, const ReportOrigin& origin) {
  return commits_.Add(report, origin);
}

std::optional<StoredReport> PostgresStore::LoadReport(const std::string& id) const {
  auto reader = Reader();
  PgConnection& db = *reader;
  // One snapshot for all rows of the report.
  Transaction read(db, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  Result head = db.Run(
      "SELECT id, received, version, user_id, mem_old, mem_new, mem_total "
      "FROM reports WHERE pk = $1",
      {id});
  if (head.Rows() == 0) return std::nullopt;
  StoredReport stored;
  stored.id = id;
  const std::string row = head.Text(0, 0);
  stored.origin = {head.Text(0, 2), head.Text(0, 3), head.Int(0, 1)};
  stored.report.memOld = head.Int(0, 4);
  stored.report.memNew = head.Int(0, 5);
  stored.report.memTotal = head.Int(0, 6);

  Result process =
      db.Run("SELECT file, outcome FROM processes WHERE report = $1 ORDER BY seq", {row});
  for (int i = 0; i < process.Rows(); ++i)
    stored.report.processes.push_back(
        {process.Text(i, 0), static_cast<ProcessOutcome>(process.Int(i, 1))});
  Result start = db.Run(
      "SELECT item, source, enabled FROM startups WHERE report = $1 ORDER BY seq", {row});
  for (int i = 0; i < start.Rows(); ++i)
    stored.report.startups.push_back(
        {start.Text(i, 0), start.Text(i, 1),
         start.IsNull(i, 2) ? SwitchState::Unknown : static_cast<SwitchState>(start.Int(i, 2))});
  Result install =
      db.Run("SELECT name, publisher FROM installs WHERE report = $1 ORDER BY seq", {row});
  for (int i = 0; i < install.Rows(); ++i)
    stored.report.installs.push_back({install.Text(i, 0), install.Text(i, 1)});
  read.Commit();
  return stored;
}

int64_t PostgresStore::ReportCount() const {
  auto reader = Reader();
  return reader->Run("SELECT COUNT(*) FROM reports").Int(0, 0);
}

EntryStats PostgresStore::LoadEntry(const std::string& source, const std::string& name,
                                    int64_t sinceDay, int64_t today, size_t weeks) const {
  auto reader = Reader();
  PgConnection& db = *reader;
  Transaction read(db, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  const std::string key = CrowdKeyOf(EntryKey{source, name});
  EntryDays folded(sinceDay, today, weeks);
  Result days = db.Run(kEntryDaysSql, {key});
  for (int i = 0; i < days.Rows(); ++i)
    folded.Add(days.Int(i, 0), days.Int(i, 1), days.Int(i, 2), days.Int(i, 3), days.Int(i, 4));
  EntryStats& stats = folded.Stats();
  Result lists = db.Run(kCrowdUsersSql, {Number(static_cast<int64_t>(CrowdKind::StartupLists)),
                                         TextArray({""}), Number(sinceDay)});
  if (lists.Rows() > 0) stats.listUsers = lists.Int(0, 1);
  Result targets = db.Run(kEntryTargetsSql, {key});
  for (int i = 0; i < targets.Rows(); ++i)
    stats.targets.push_back({targets.Text(i, 0), targets.Int(i, 1), targets.Int(i, 2)});
  read.Commit();
  return std::move(stats);
}

std::vector<int64_t> PostgresStore::CrowdUsers(CrowdKind kind, const std::vector<std::string>& keys,
                                               int64_t sinceDay) const {
  auto reader = Reader();
  Result rows = reader->Run(kCrowdUsersSql, {Number(static_cast<int64_t>(kind)), TextArray(keys),
                                             Number(sinceDay)});
  std::map<std::string, int64_t> found;
  for (int i = 0; i < rows.Rows(); ++i) found[rows.Text(i, 0)] = rows.Int(i, 1);
  std::vector<int64_t> counts;
  counts.reserve(keys.size());
  for (const auto& key : keys) {
    auto at = found.find(key);
    counts.push_back(at == found.end() ? 0 : at->second);
  }
  return counts;
}

FreedStanding PostgresStore::CompareFreed(const std::string& id, int64_t freed,
                                          int64_t since) const {
  auto reader = Reader();
  PgConnection& db = *reader;
  Transaction read(db, "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  FreedStanding standing;
  Result self = db.Run(kReportRowSql, {id});
  // No report has it: every report counts as another.
  const std::string row = self.Rows() > 0 ? self.Text(0, 0) : "-1";
  const Params window = {Number(since), row};
  standing.others = db.Run(kOthersSql, window).Int(0, 0);
  if (standing.others > 0) {
    standing.users = db.Run(kSendersSql, window).Int(0, 0);
    const bool even = standing.others % 2 == 0;
    Result middle = db.Run(kMedianSql, {Number(since), row, even ? "2" : "1",
                                        Number((standing.others - 1) / 2)});
    int64_t sum = 0;
    for (int i = 0; i < middle.Rows(); ++i) sum += middle.Int(i, 0);
    if (middle.Rows() == 2) standing.median = (sum - ((sum % 2 + 2) % 2)) / 2;
    else if (middle.Rows() == 1) standing.median = sum;
    Result place = db.Run(kStandingSql, {Number(since), row, Number(freed)});
    standing.below = place.Int(0, 0);
    standing.equal = place.Int(0, 1);
  }
  read.Commit();
  return standing;
}

std::vector<std::pair<std::string, std::string>> PostgresStore::PagePlans() const {
  auto reader = Reader();
  const std::pair<const char*, Params> queries[] = {
      {kReportRowSql, {"AAAAAAAAAAAAAAAAAAAAAAAA"}},
      {kOthersSql, {"0", "1"}},
      {kSendersSql, {"0", "1"}},
      {kMedianSql, {"0", "1", "2", "0"}},
      {kStandingSql, {"0", "1", "0"}},
      {kCrowdUsersSql, {"1", TextArray({"hkcu/x"}), "0"}},
      {kEntryDaysSql, {"hkcu/x"}},
      {kEntryTargetsSql, {"hkcu/x"}},
  };
  std::vector<std::pair<std::string, std::string>> plans;
  for (const auto& [sql, params] : queries) {
    Result explain = reader->Run((std::string("EXPLAIN ") + sql).c_str(), params);
    std::string plan;
    for (int i = 0; i < explain.Rows(); ++i) plan += (i ? "\n" : "") + explain.Text(i, 0);
    plans.emplace_back(sql, plan);
  }
  return plans;
}

std::string PostgresStore::IntegrityCheck() const {
  // The server keeps its own pages sound; what could go wrong here is rows
  // that lost their report, which the foreign keys forbid. Check anyway.
  auto reader = Reader();
  Result orphans = reader->Run(
      "SELECT (SELECT COUNT(*) FROM processes p WHERE NOT EXISTS"
      "        (SELECT 1 FROM reports r WHERE r.id = p.report))"
      " + (SELECT COUNT(*) FROM startups s WHERE NOT EXISTS"
      "        (SELECT 1 FROM reports r WHERE r.id = s.report))"
      " + (SELECT COUNT(*) FROM installs i WHERE NOT EXISTS"
      "        (SELECT 1 FROM reports r WHERE r.id = i.report))");
  int64_t lost = orphans.Int(0, 0);
  return lost == 0 ? "ok" : std::to_string(lost) + " rows without their report";
}

}  // namespace tidora::server
