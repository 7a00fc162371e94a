#pragma once
// The service's storage: one SQLite file in WAL mode. A report is written in
// one transaction that is on disk (fsync'd) before its id is handed out, so
// an acknowledged report survives a killed server and a power cut alike.
#include <condition_variable>
#include <exception>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Report.h"

struct sqlite3;

namespace tidora::server {

struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// What came with a report besides its body.
struct ReportOrigin {
  std::string version;  // User-Version, "" when absent or malformed
  std::string userId;   // User-Union, "" when absent or malformed
  int64_t received = 0; // seconds since 1970 (UTC)
};

struct StoredReport {
  std::string id;
  ReportOrigin origin;
  UsageReport report;
};

// What the service knows of one startup entry across all reports.
struct EntryStats {
  int64_t reports = 0;      // reports that list the entry
  int64_t users = 0;        // distinct senders among them (known ids only)
  int64_t switchKnown = 0;  // reports that tell the entry's switch state
  int64_t switchedOff = 0;  // of those, reports where it was switched off
  int64_t firstSeen = 0;
  int64_t lastSeen = 0;
  std::vector<std::pair<std::string, int64_t>> targets;  // most seen first
};

class Connection;

class Store {
 public:
  // Opens or creates the database; throws StoreError when the file cannot be
  // used as one.
  explicit Store(const std::string& path, size_t readers = 4);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // Settings: name -> JSON text of the value.
  std::map<std::string, std::string> Settings() const;
  // Sets each (name, JSON text) in order, an empty text removing the
  // setting, all in one transaction.
  void ChangeSettings(const std::vector<std::pair<std::string, std::string>>& changes);

  void RecordHold(const std::string& version, int64_t when);
  int64_t HoldCount() const;

  // Stores the report under a fresh id and returns the id once the write is
  // durable. Throws StoreError on failure (nothing is stored then). Reports
  // that arrive while another commit is on its way to disk are committed
  // together in the next transaction: one fsync for the lot.
  std::string AddReport(const UsageReport& report, const ReportOrigin& origin);
  std::optional<StoredReport> LoadReport(const std::string& id) const;
  int64_t ReportCount() const;

  // source and name as on the entry pages (lower-cased).
  EntryStats LoadEntry(const std::string& source, const std::string& name) const;

  // SQLite's own consistency check; "ok" when the file is sound.
  std::string IntegrityCheck() const;

 private:
  class ReaderLease;
  ReaderLease Reader() const;

  struct Pending;
  void CommitBatch(const std::vector<Pending*>& batch);

  std::unique_ptr<Connection> writer_;
  mutable std::mutex writerMutex_;
  mutable std::vector<std::unique_ptr<Connection>> idleReaders_;
  mutable std::mutex readerMutex_;
  mutable std::condition_variable readerFree_;

  std::mutex queueMutex_;
  std::condition_variable batchDone_;
  std::vector<Pending*> queue_;
  bool committing_ = false;
};

}  // namespace tidora::server
