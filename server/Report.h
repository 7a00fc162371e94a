#pragma once
// The usage report a cleaning run posts: a JSON array of flat records, every
// value a string. Parsing is strict about shape and bounded in every
// dimension, so nothing half-understood is ever stored.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidora::server {

// Final outcome of one process of the run.
enum class ProcessOutcome { Kept = 1, StillRunning = -2, Ended = -1 };

struct ProcessRecord {
  std::string file;
  ProcessOutcome outcome = ProcessOutcome::Kept;
};

// Switch state of a startup entry when the sender tells it (optional "enabled"
// member, "1" or "0"); the report of today's program carries none.
enum class SwitchState { Unknown = -1, Off = 0, On = 1 };

struct StartRecord {
  std::string item;   // the entry's target
  std::string from;   // HKLM, HKCU, FILE, SCHE or SERV
  SwitchState state = SwitchState::Unknown;
};

struct InstallRecord {
  std::string name;
  std::string publisher;
};

struct UsageReport {
  int64_t memOld = 0;  // available bytes at the click
  int64_t memNew = 0;  // available bytes after the purge
  int64_t memTotal = 0;
  std::vector<ProcessRecord> processes;
  std::vector<StartRecord> startups;
  std::vector<InstallRecord> installs;

  bool operator==(const UsageReport& other) const;
};

struct ReportLimits {
  size_t maxBody = 4u << 20;     // bytes of JSON text
  size_t maxRecords = 30000;     // all kinds together
  size_t maxValue = 8192;        // bytes of one decoded value
};

// Parses and checks a report body. On failure returns nothing and sets error
// to a short English reason that never quotes the body.
std::optional<UsageReport> ParseReport(std::string_view body, std::string& error,
                                       const ReportLimits& limits = {});

// The report text the program would send for this report (records in the
// order memory, clean, start, install; compact; non-ASCII as \u escapes).
std::string WriteReport(const UsageReport& report);

// Where a startup entry lives on the entry pages: the lower-cased source and
// the lower-cased text of the target after its last backslash or colon (ASCII
// letters only are folded, as the program folds them when it links here).
struct EntryKey {
  std::string source;
  std::string name;
};
EntryKey EntryKeyOf(const StartRecord& record);
std::string LowerAscii(std::string_view text);
bool IsEntrySource(std::string_view lowerSource);

}  // namespace tidora::server
