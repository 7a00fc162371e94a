#pragma once
// The store on a PostgreSQL server, over libpq, for any number of service
// instances on one database. The schema is created or brought up to date at
// start under an advisory lock, so instances may start together. Reports go
// in through group commit on one writing connection per instance; each id is
// handed out only after its transaction committed (synchronous_commit as the
// server is set: on by default, which waits for the WAL flush). Nothing is
// cached: settings and figures are read from the database on every call.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ConnectionPool.h"
#include "Store.h"

namespace tidora::server {

class PgConnection;

class PostgresStore : public Store {
 public:
  // `address` is a libpq connection string or URI. Throws StoreError when
  // the server cannot be reached or the database cannot hold the schema.
  explicit PostgresStore(const std::string& address, size_t readers = 4);
  ~PostgresStore() override;
  PostgresStore(const PostgresStore&) = delete;
  PostgresStore& operator=(const PostgresStore&) = delete;

  std::map<std::string, std::string> Settings() const override;
  void ChangeSettings(const std::vector<std::pair<std::string, std::string>>& changes) override;
  void RecordHold(const std::string& version, int64_t when) override;
  int64_t HoldCount() const override;
  std::string AddReport(const UsageReport& report, const ReportOrigin& origin) override;
  std::optional<StoredReport> LoadReport(const std::string& id) const override;
  int64_t ReportCount() const override;
  EntryStats LoadEntry(const std::string& source, const std::string& name, int64_t sinceDay,
                       int64_t today, size_t weeks) const override;
  std::vector<int64_t> CrowdUsers(CrowdKind kind, const std::vector<std::string>& keys,
                                  int64_t sinceDay) const override;
  FreedStanding CompareFreed(const std::string& id, int64_t freed, int64_t since) const override;
  std::vector<std::pair<std::string, std::string>> PagePlans() const override;
  std::string IntegrityCheck() const override;

 private:
  // A reader, opened again first if the server dropped it.
  ConnectionPool<PgConnection>::Lease Reader() const;

  void CommitBatch(const std::vector<PendingReport*>& batch);

  mutable std::unique_ptr<PgConnection> writer_;
  mutable std::mutex writerMutex_;
  mutable ConnectionPool<PgConnection> readers_;
  CommitQueue commits_;
};

}  // namespace tidora::server
