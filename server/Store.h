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


// Days are whole UTC days since 1970; "since" a day includes that day.
constexpr int64_t kSecondsPerDay = 86400;
inline int64_t DayOf(int64_t seconds) { return seconds >= 0 ? seconds / kSecondsPerDay : 0; }

// What the crowd figures count. A user "has" a key when one of their reports
// listed it; the List kinds count the users who sent such a list at all.
// Target: one target of a startup entry (key the entry's, sub the target).
enum class CrowdKind { StartupLists = 0, Startup = 1, InstallLists = 2, Install = 3, Target = 4 };

// The crowd key of a startup entry ("hkcu/updater") and of an installed
// program (its lower-cased display name).
std::string CrowdKeyOf(const EntryKey& entry);
std::string CrowdKeyOf(const InstallRecord& install);

// What one report adds to the crowd counts: each key once, however often the
// report lists it, in key order (so that writers lock rows in one order).
struct CrowdMark {
  CrowdKind kind;
  std::string key, sub;
  bool told = false;  // the report tells the entry's switch state
  bool off = false;   // and it was switched off
};
std::vector<CrowdMark> CrowdMarksOf(const UsageReport& report);

struct TargetSeen {
  std::string item;
  int64_t reports = 0;
  int64_t users = 0;  // distinct senders (known ids only)
};

// What the service knows of one startup entry across all reports.
struct EntryStats {
  int64_t reports = 0;      // reports that list the entry
  int64_t users = 0;        // distinct senders among them (known ids only)
  int64_t recentUsers = 0;  // of those, senders since the day asked for
  int64_t listUsers = 0;    // senders of any startup list since that day
  int64_t switchKnown = 0;  // reports that tell the entry's switch state
  int64_t switchedOff = 0;  // of those, reports where it was switched off
  int64_t firstDay = 0;
  int64_t lastDay = 0;
  std::vector<int64_t> weekly;      // reports per 7 days, oldest first, ending today
  std::vector<TargetSeen> targets;  // most users first
};

// Builds an entry's figures from its per-day counts, fed in day order; both
// back ends read the same rows.
class EntryDays {
 public:
  EntryDays(int64_t sinceDay, int64_t today, size_t weeks);
  void Add(int64_t day, int64_t users, int64_t reports, int64_t told, int64_t off);
  EntryStats& Stats() { return stats_; }

 private:
  EntryStats stats_;
  int64_t sinceDay_, today_, firstWeekDay_;
};

// Where one report's freed memory stands among the other reports received
// since a time.
struct FreedStanding {
  int64_t others = 0;  // other reports in the window
  int64_t users = 0;   // distinct known senders among them, counted up to 5
  int64_t median = 0;  // freed bytes, the mean of the two middle ones when even
  int64_t below = 0;   // others that freed less
  int64_t equal = 0;   // others that freed exactly as much
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

  // source and name as on the entry pages (lower-cased); recent figures since
  // sinceDay, `weeks` weeks of reports ending on day `today`.
  virtual EntryStats LoadEntry(const std::string& source, const std::string& name,
                               int64_t sinceDay, int64_t today, size_t weeks) const = 0;

  // Distinct users having each key since sinceDay (same order as keys).
  virtual std::vector<int64_t> CrowdUsers(CrowdKind kind, const std::vector<std::string>& keys,
                                          int64_t sinceDay) const = 0;
  // How the freed memory of report `id` compares with the other reports
  // received at or after `since` (seconds).
  virtual FreedStanding CompareFreed(const std::string& id, int64_t freed,
                                     int64_t since) const = 0;

  // The back end's plan for each query the pages run, as (query, plan) pairs.
  virtual std::vector<std::pair<std::string, std::string>> PagePlans() const = 0;

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
