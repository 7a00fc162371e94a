#pragma once
// The service's storage, one interface over two back ends: an SQLite file
// (SqliteStore, the embedded default) and a PostgreSQL server (PostgresStore,
// for several instances on one database). Whichever is used, a report's id is
// handed out only after the transaction that wrote it has committed, and an
// instance keeps nothing in memory that another instance would answer
// differently: every call reads the database.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "CommitQueue.h"
#include "Report.h"

namespace tidora::server {

struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
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

class Store {
 public:
  virtual ~Store() = default;

  // Settings: name -> JSON text of the value.
  virtual std::map<std::string, std::string> Settings() const = 0;
  // Sets each (name, JSON text) in order, an empty text removing the
  // setting, all in one transaction.
  virtual void ChangeSettings(const std::vector<std::pair<std::string, std::string>>& changes) = 0;

  virtual void RecordHold(const std::string& version, int64_t when) = 0;
  virtual int64_t HoldCount() const = 0;

  // Stores the report under a fresh id and returns the id once the write has
  // committed. Throws StoreError on failure (nothing is stored then).
  // Reports that arrive while another commit is under way are committed
  // together in the next transaction.
  virtual std::string AddReport(const UsageReport& report, const ReportOrigin& origin) = 0;
  virtual std::optional<StoredReport> LoadReport(const std::string& id) const = 0;
  virtual int64_t ReportCount() const = 0;

  // source and name as on the entry pages (lower-cased).
  virtual EntryStats LoadEntry(const std::string& source, const std::string& name) const = 0;

  // The back end's own consistency check; "ok" when the data is sound.
  virtual std::string IntegrityCheck() const = 0;
};

// True for a libpq connection address ("postgresql://..." or
// "postgres://..."); anything else names an SQLite file.
bool IsPostgresAddress(const std::string& location);

// Opens the store `location` names, creating or bringing its schema up to
// date; `connections` bounds the connections used for reading at once.
// Throws StoreError when it cannot be used.
std::unique_ptr<Store> OpenStore(const std::string& location, size_t connections = 4);

}  // namespace tidora::server
