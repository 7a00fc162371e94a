#pragma once
// The embedded store: one SQLite file in WAL mode. A report is written in one
// transaction that is on disk (fsync'd) before its id is handed out, so an
// acknowledged report survives a killed server and a power cut alike. One
// process at a time: several instances need PostgresStore.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ConnectionPool.h"
#include "Store.h"

namespace tidora::server {

class SqliteConnection;

class SqliteStore : public Store {
 public:
  // Opens or creates the database; throws StoreError when the file cannot be
  // used as one.
  explicit SqliteStore(const std::string& path, size_t readers = 4);
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

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
  ConnectionPool<SqliteConnection>::Lease Reader() const;

  void CommitBatch(const std::vector<PendingReport*>& batch);

  std::unique_ptr<SqliteConnection> writer_;
  mutable std::mutex writerMutex_;
  mutable ConnectionPool<SqliteConnection> readers_;
  CommitQueue commits_;
};

}  // namespace tidora::server
