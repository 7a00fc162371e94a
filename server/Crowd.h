#pragma once
// What the pages say beyond one report: how a clean compares with the
// others and how common its startup entries and add-ons are. Figures are
// counts and shares only, and a key fewer than kMinUsers distinct users have
// shows none, so no figure can be traced to one user.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "BlackList.h"
#include "Store.h"

namespace tidora::server {

constexpr int64_t kMinUsers = 5;
constexpr int64_t kWindowDays = 30;  // the recent figures: today and the 29 days before
constexpr size_t kChartWeeks = 12;

// The first day of the recent window that ends on the day of `now`.
int64_t WindowStartDay(int64_t now);

// `users` of `of` users; shown only when at least kMinUsers have the key.
struct Share {
  int64_t users = 0;
  int64_t of = 0;
  bool shown = false;
};
Share ShareOf(int64_t users, int64_t of);

struct ProcessGroups {
  std::vector<const ProcessRecord*> closed, kept, running;
};
ProcessGroups GroupProcesses(const UsageReport& report);

struct EntryFigure {
  const StartRecord* record = nullptr;
  Share share;
};

struct ProgramFigure {
  const InstallRecord* record = nullptr;
  bool addOn = false;  // on the black list
  Share share;         // for add-ons only
};

struct ReportFigures {
  ProcessGroups groups;
  std::optional<FreedStanding> standing;  // none without kMinUsers other senders
  std::vector<EntryFigure> entries;       // rarest first
  std::vector<ProgramFigure> programs;    // add-ons first, then in report order
};

ReportFigures StudyReport(const Store& store, const StoredReport& stored,
                          const BlackList& blackList, int64_t now);

struct EntryFigures {
  EntryStats stats;
  bool enough = false;  // seen by kMinUsers users or more: figures may be shown
  Share share;          // of the recent window's startup-list senders
  std::vector<TargetSeen> targets;  // those kMinUsers users or more have
  size_t hiddenTargets = 0;
};

EntryFigures StudyEntry(const Store& store, const std::string& source, const std::string& name,
                        int64_t now);

}  // namespace tidora::server
